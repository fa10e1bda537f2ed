// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "pixelpacking.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

ColorCensus::ColorCensus() : index(std::make_unique<ColorIndex>()) { }
ColorCensus::~ColorCensus() = default;
ColorCensus::ColorCensus(ColorCensus &&) noexcept = default;
ColorCensus &ColorCensus::operator=(ColorCensus &&) noexcept = default;

void ColorCensus::add(const QRgb *pixels, int count)
{
    if (tooMany)
        return;
    // Patterns are runs of one colour, and two colours take turns along their edges and fine
    // marks: look up only a colour that is neither of the last two new ones, one test a pixel
    // (which of the two it is would be a guess).
    QRgb a = 0, b = 0;
    int x = 0;
    while (x < count) {
#ifdef __SSE2__
        // Eight pixels a test while all are those two: a two-colour row is a few tests a
        // hundred pixels. A group with another colour goes one pixel at a time, as below.
        const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
        const __m128i first = _mm_set1_epi32(int(a));
        const __m128i second = _mm_set1_epi32(int(b));
        const auto known = [&](const QRgb *p) {
            const __m128i c
                = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), opaque);
            return _mm_or_si128(_mm_cmpeq_epi32(c, first), _mm_cmpeq_epi32(c, second));
        };
        while (x + 8 <= count
            && _mm_movemask_epi8(_mm_and_si128(known(pixels + x), known(pixels + x + 4))) == 0xffff)
            x += 8;
        const int end = std::min(count, x + 8);
#else
        const int end = count;
#endif
        for (; x < end; ++x) {
            const QRgb c = pixels[x] | 0xff000000u;
            if ((c == a) | (c == b))
                continue;
            b = a;
            a = c;
            if (index->indexOf(c, 256) < 0) {
                tooMany = true;
                return;
            }
        }
    }
}

void ColorCensus::add(const ColorCensus &later)
{
    tooMany = tooMany || later.tooMany;
    for (int i = 0; !tooMany && i < later.index->order.size(); ++i)
        tooMany = index->indexOf(later.index->order[i], 256) < 0;
}

int ColorCensus::count() const
{
    return tooMany ? 257 : int(index->order.size());
}

QVector<QRgb> ColorCensus::colors() const
{
    return tooMany ? QVector<QRgb>() : index->order;
}

QVector<QRgb> distinctColors(const QImage &image)
{
    if (image.format() != QImage::Format_RGB32)
        return {};
    ColorCensus census;
    for (int y = 0; y < image.height() && !census.overflowed(); ++y)
        census.add(reinterpret_cast<const QRgb *>(image.constScanLine(y)), image.width());
    return census.colors();
}

namespace {

bool isGray(QRgb c)
{
    return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
}

}

Layout::Layout(const QVector<QRgb> &distinct) : palette(distinct)
{
    if (palette.isEmpty()) {
        kind = Kind::Rgb;
    } else if (palette.size() <= 2) {
        kind = Kind::Bilevel;
        if (palette.size() == 1)
            palette.append(palette.first());
    } else if (std::all_of(palette.cbegin(), palette.cend(), isGray)) {
        kind = Kind::Gray;
    } else {
        kind = Kind::Indexed;
    }
}

bool Layout::onlyGreys() const
{
    return kind != Kind::Rgb && std::all_of(palette.cbegin(), palette.cend(), isGray);
}

int Layout::bitsPerPixel() const
{
    switch (kind) {
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

RowPacker::RowPacker(const Layout &layout, int width) : target(layout), width(width)
{
    if (target.kind == Layout::Kind::Indexed) {
        indices = std::make_unique<ColorIndex>();
        for (QRgb c : target.palette)
            indices->indexOf(c, 256);
    }
}

RowPacker::~RowPacker() = default;

void RowPacker::pack(const QRgb *in, uchar *out) const
{
    switch (target.kind) {
    case Layout::Kind::Bilevel: {
        // A byte at a time from its eight pixels, none waiting on the last byte written.
        const QRgb one = target.palette[1] & 0xffffffu;
        const auto bit = [one](QRgb c, int shift) { return int((c & 0xffffffu) == one) << shift; };
        const int whole = width / 8;
        int b = 0;
#ifdef __SSE2__
        // Eight comparisons at once; their mask has the first pixel lowest, the file highest.
        static constexpr std::array<uchar, 256> reversed = [] {
            std::array<uchar, 256> r {};
            for (int v = 0; v < 256; ++v)
                for (int k = 0; k < 8; ++k)
                    r[size_t(v)] = uchar(r[size_t(v)] | ((v >> k) & 1) << (7 - k));
            return r;
        }();
        const __m128i colour = _mm_set1_epi32(int(0xffffffu));
        const __m128i wanted = _mm_set1_epi32(int(one));
        const auto ones = [&](const QRgb *p) {
            const __m128i c
                = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), colour);
            return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(c, wanted)));
        };
        for (; b < whole; ++b) {
            const QRgb *p = in + 8 * b;
            out[b] = reversed[size_t(ones(p) | ones(p + 4) << 4)];
        }
#endif
        for (; b < whole; ++b) {
            const QRgb *p = in + 8 * b;
            out[b] = uchar(bit(p[0], 7) | bit(p[1], 6) | bit(p[2], 5) | bit(p[3], 4) | bit(p[4], 3)
                | bit(p[5], 2) | bit(p[6], 1) | bit(p[7], 0));
        }
        std::memset(out + whole, 0, size_t(rowBytes() - whole));
        for (int x = 8 * whole; x < width; ++x)
            out[x >> 3] |= uchar(bit(in[x], 7 - (x & 7)));
        return;
    }
    case Layout::Kind::Gray:
        for (int x = 0; x < width; ++x)
            out[x] = uchar(qRed(in[x]));
        return;
    case Layout::Kind::Indexed: {
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
    case Layout::Kind::Rgb:
        for (int x = 0; x < width; ++x) {
            out[3 * x] = uchar(qRed(in[x]));
            out[3 * x + 1] = uchar(qGreen(in[x]));
            out[3 * x + 2] = uchar(qBlue(in[x]));
        }
        return;
    }
}

ImageRows::ImageRows(const QImage &image) : image(image.convertToFormat(QImage::Format_RGB32)) { }

const Layout &ImageRows::layout()
{
    if (!packing)
        packing = std::make_unique<Layout>(distinctColors(image));
    return *packing;
}

QImage compact(const QImage &image)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return image;
    const RowPacker packer(Layout(distinctColors(image)), image.width());
    QImage::Format format = QImage::Format_RGB32;
    switch (packer.layout().kind) {
    case Layout::Kind::Bilevel:
        format = QImage::Format_Mono;
        break;
    case Layout::Kind::Gray:
        format = QImage::Format_Grayscale8;
        break;
    case Layout::Kind::Indexed:
        format = QImage::Format_Indexed8;
        break;
    case Layout::Kind::Rgb:
        return image;
    }
    QImage packed(image.size(), format);
    if (packed.isNull())
        return image;
    if (format != QImage::Format_Grayscale8)
        packed.setColorTable(packer.layout().palette);
    for (int y = 0; y < image.height(); ++y)
        packer.pack(reinterpret_cast<const QRgb *>(image.constScanLine(y)), packed.scanLine(y));
    packed.setDotsPerMeterX(image.dotsPerMeterX());
    packed.setDotsPerMeterY(image.dotsPerMeterY());
    for (const QString &key : image.textKeys())
        packed.setText(key, image.text(key));
    return packed;
}

}
