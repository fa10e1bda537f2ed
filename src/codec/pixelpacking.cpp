#include "pixelpacking.h"

#include <algorithm>
#include <cstring>

namespace PixelPacking {

// A small open-addressing set of opaque colours that remembers each colour's index. Colours of
// a pattern change every few pixels along its edges, so the lookup must be cheap.
class ColorIndex
{
public:
    // Returns the colour's index, adding it when new; -1 once more than `limit` colours came.
    int indexOf(QRgb color, int limit)
    {
        quint32 slot = (color * 0x9E3779B1u) >> (32 - bits);
        while (keys[slot] != 0) {
            if (keys[slot] == color)
                return values[slot];
            slot = (slot + 1) & (size - 1);
        }
        if (int(order.size()) >= limit)
            return -1;
        keys[slot] = color;
        values[slot] = int(order.size());
        order.push_back(color);
        return values[slot];
    }

    QVector<QRgb> order;

private:
    static constexpr int bits = 10;
    static constexpr quint32 size = 1u << bits; // at least four times the 256 colours it holds
    QRgb keys[size] = {}; // 0 is free: every colour stored here is opaque
    int values[size] = {};
};

QVector<QRgb> distinctColors(const QImage &image, int limit)
{
    if (image.format() != QImage::Format_RGB32 || limit > 256)
        return {};
    ColorIndex index;
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb last = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb c = line[x] | 0xff000000u;
            // Patterns are long runs of one colour; look up only where it changes.
            if (c == last)
                continue;
            last = c;
            if (index.indexOf(c, limit) < 0)
                return {};
        }
    }
    return index.order;
}

RowPacker::RowPacker(const QImage &image) : image(image)
{
    colors = distinctColors(image);
    if (colors.isEmpty()) {
        packing = Kind::Rgb;
    } else if (colors.size() <= 2) {
        packing = Kind::Bilevel;
        if (colors.size() == 1)
            colors.append(colors.first());
    } else if (std::all_of(colors.cbegin(), colors.cend(),
                   [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); })) {
        packing = Kind::Gray;
    } else {
        packing = Kind::Indexed;
        indices = std::make_shared<ColorIndex>();
        for (QRgb c : colors)
            indices->indexOf(c, 256);
    }
}

int RowPacker::bitsPerPixel() const
{
    switch (packing) {
    case Kind::Bilevel:
        return 1;
    case Kind::Gray:
    case Kind::Indexed:
        return 8;
    case Kind::Rgb:
        break;
    }
    return 24;
}

void RowPacker::pack(int y, uchar *out) const
{
    const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    const int width = image.width();
    switch (packing) {
    case Kind::Bilevel: {
        std::memset(out, 0, size_t(rowBytes()));
        const QRgb one = colors[1] & 0xffffffu;
        for (int x = 0; x < width; ++x) {
            if ((in[x] & 0xffffffu) == one)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
        }
        return;
    }
    case Kind::Gray:
        for (int x = 0; x < width; ++x)
            out[x] = uchar(qRed(in[x]));
        return;
    case Kind::Indexed: {
        QRgb last = 0;
        uchar value = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb c = in[x] | 0xff000000u;
            if (c != last) {
                last = c;
                value = uchar(indices->indexOf(c, 256));
            }
            out[x] = value;
        }
        return;
    }
    case Kind::Rgb:
        for (int x = 0; x < width; ++x) {
            out[3 * x] = uchar(qRed(in[x]));
            out[3 * x + 1] = uchar(qGreen(in[x]));
            out[3 * x + 2] = uchar(qBlue(in[x]));
        }
        return;
    }
}

QImage compact(const QImage &image)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return image;
    const RowPacker packer(image);
    QImage::Format format = QImage::Format_RGB32;
    switch (packer.kind()) {
    case RowPacker::Kind::Bilevel:
        format = QImage::Format_Mono;
        break;
    case RowPacker::Kind::Gray:
        format = QImage::Format_Grayscale8;
        break;
    case RowPacker::Kind::Indexed:
        format = QImage::Format_Indexed8;
        break;
    case RowPacker::Kind::Rgb:
        return image;
    }
    QImage packed(image.size(), format);
    if (packed.isNull())
        return image;
    if (format != QImage::Format_Grayscale8)
        packed.setColorTable(packer.palette());
    for (int y = 0; y < image.height(); ++y)
        packer.pack(y, packed.scanLine(y));
    packed.setDotsPerMeterX(image.dotsPerMeterX());
    packed.setDotsPerMeterY(image.dotsPerMeterY());
    for (const QString &key : image.textKeys())
        packed.setText(key, image.text(key));
    return packed;
}

}
