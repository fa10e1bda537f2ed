#include "pixelpacking.h"

#include <QHash>

#include <algorithm>

namespace PixelPacking {

QVector<QRgb> distinctColors(const QImage &image, int limit)
{
    QVector<QRgb> colors;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        return colors;
    QRgb last = 0;
    bool haveLast = false;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x];
            // Patterns are long runs of one colour; skip the search while the run lasts.
            if (haveLast && c == last)
                continue;
            last = c;
            haveLast = true;
            if (std::find(colors.cbegin(), colors.cend(), c) == colors.cend()) {
                if (colors.size() == limit)
                    return {};
                colors.append(c);
            }
        }
    }
    return colors;
}

namespace {

QImage toMono(const QImage &image, const QVector<QRgb> &colors)
{
    QImage mono(image.size(), QImage::Format_Mono);
    if (mono.isNull())
        return image;
    mono.setColorTable(colors);
    const QRgb one = colors.value(1);
    for (int y = 0; y < image.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *out = mono.scanLine(y);
        std::fill(out, out + mono.bytesPerLine(), uchar(0));
        for (int x = 0; x < image.width(); ++x) {
            if (in[x] == one)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    return mono;
}

QImage toIndexed(const QImage &image, const QVector<QRgb> &colors, bool gray)
{
    QImage packed(image.size(), gray ? QImage::Format_Grayscale8 : QImage::Format_Indexed8);
    if (packed.isNull())
        return image;
    QHash<QRgb, uchar> index;
    for (int i = 0; i < colors.size(); ++i)
        index.insert(colors[i] | 0xff000000u, uchar(gray ? qRed(colors[i]) : i));
    if (!gray)
        packed.setColorTable(colors);
    for (int y = 0; y < image.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *out = packed.scanLine(y);
        QRgb last = in[0] | 0xff000000u;
        uchar value = index.value(last);
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = in[x] | 0xff000000u;
            if (c != last) {
                last = c;
                value = index.value(c);
            }
            out[x] = value;
        }
    }
    return packed;
}

}

QImage compact(const QImage &image)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return image;
    QVector<QRgb> colors = distinctColors(image);
    if (colors.isEmpty())
        return image;
    for (QRgb &c : colors)
        c |= 0xff000000u; // RGB32 keeps 0xff in the unused byte, but be sure
    QImage packed;
    if (colors.size() <= 2) {
        if (colors.size() == 1)
            colors.append(colors.first());
        packed = toMono(image, colors);
    } else {
        const bool gray = std::all_of(colors.cbegin(), colors.cend(),
            [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); });
        packed = toIndexed(image, colors, gray);
    }
    packed.setDotsPerMeterX(image.dotsPerMeterX());
    packed.setDotsPerMeterY(image.dotsPerMeterY());
    for (const QString &key : image.textKeys())
        packed.setText(key, image.text(key));
    return packed;
}

}
