// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "pixelrule.h"

#include "patterngeometry.h"

#include <cmath>
#include <cstdint>

namespace PixelRule {

namespace {

// An unsigned integer of up to 128 bits as four 32-bit limbs, most significant first: just
// enough arithmetic for the rounding below, portable to compilers without __int128.
struct Wide
{
    uint32_t limb[4] = { 0, 0, 0, 0 };

    static Wide of(uint64_t value)
    {
        Wide w;
        w.limb[2] = uint32_t(value >> 32);
        w.limb[3] = uint32_t(value);
        return w;
    }

    int bitLength() const
    {
        for (int i = 0; i < 4; ++i) {
            if (limb[i] == 0)
                continue;
            int bits = 32;
            while (!(limb[i] >> (bits - 1) & 1u))
                --bits;
            return (3 - i) * 32 + bits;
        }
        return 0;
    }

    bool bit(int n) const { return limb[3 - n / 32] >> (n % 32) & 1u; }

    Wide shiftedLeft(int n) const
    {
        Wide w;
        for (int i = 0; i < 128; ++i)
            if (i + n < 128 && bit(i))
                w.limb[3 - (i + n) / 32] |= 1u << ((i + n) % 32);
        return w;
    }

    // The low 64 bits of this value shifted right by n.
    uint64_t shiftedRight(int n) const
    {
        uint64_t out = 0;
        for (int i = 0; i < 64 && i + n < 128; ++i)
            if (bit(i + n))
                out |= uint64_t(1) << i;
        return out;
    }

    // Whether any of the lowest n bits is set.
    bool anyBelow(int n) const
    {
        for (int i = 0; i < n && i < 128; ++i)
            if (bit(i))
                return true;
        return false;
    }

    Wide times(uint32_t factor) const
    {
        Wide w;
        uint64_t carry = 0;
        for (int i = 3; i >= 0; --i) {
            const uint64_t v = uint64_t(limb[i]) * factor + carry;
            w.limb[i] = uint32_t(v);
            carry = v >> 32;
        }
        return w;
    }

    // The quotient; the remainder goes to *rest.
    Wide dividedBy(uint32_t divisor, uint64_t *rest) const
    {
        Wide w;
        uint64_t r = 0;
        for (int i = 0; i < 4; ++i) {
            const uint64_t v = r << 32 | limb[i];
            w.limb[i] = uint32_t(v / divisor);
            r = v % divisor;
        }
        *rest = r;
        return w;
    }
};

// A positive number significand * 2^exponent with a 64-bit significand, as the x87 holds it.
struct Extended
{
    uint64_t significand = 0;
    int exponent = 0;
};

// value rounded to 64 significant bits, to nearest, ties to even; `sticky` says whether a
// remainder below the value's last bit was already dropped.
Extended roundTo64Bits(const Wide &value, int exponent, bool sticky = false)
{
    const int excess = value.bitLength() - 64;
    if (excess <= 0)
        return { value.shiftedRight(0) << -excess, exponent + excess };
    uint64_t significand = value.shiftedRight(excess);
    const bool half = value.bit(excess - 1);
    const bool below = sticky || value.anyBelow(excess - 1);
    if (half && (below || (significand & 1u))) {
        ++significand;
        if (significand == 0) // carried out of 64 bits
            return { uint64_t(1) << 63, exponent + excess + 1 };
    }
    return { significand, exponent + excess };
}

// 25.4f is 13316915 * 2^-19 exactly.
constexpr uint32_t mmPerInchSignificand = 13316915;
constexpr int mmPerInchExponent = -19;

// k = dpi / 25.4f rounded to 64 bits: dpi * 2^(s + 19) / 13316915 with s chosen so that the
// quotient has 66 or more bits, the remainder kept for the rounding.
Extended pixelsPerMm(int dpi)
{
    const int shift = 100;
    uint64_t rest = 0;
    const Wide quotient
        = Wide::of(uint64_t(dpi)).shiftedLeft(shift).dividedBy(mmPerInchSignificand, &rest);
    return roundTo64Bits(quotient, -shift - mmPerInchExponent, rest != 0);
}

// trunc(k * m * 2^e): the product rounded to 64 bits, then truncated toward zero.
int truncatedProduct(int dpi, uint32_t m, int e)
{
    if (dpi <= 0 || m == 0)
        return 0;
    const Extended k = pixelsPerMm(dpi);
    const Extended p = roundTo64Bits(Wide::of(k.significand).times(m), k.exponent + e);
    if (p.exponent >= 0)
        return int(p.significand << p.exponent);
    return p.exponent <= -64 ? 0 : int(p.significand >> -p.exponent);
}

}

int mmToPixels(int dpi, int mm)
{
    return mm <= 0 ? 0 : truncatedProduct(dpi, uint32_t(mm), 0);
}

int mmToPixels(int dpi, double mm)
{
    if (!(mm > 0))
        return 0;
    if (mm == std::floor(mm) && mm <= 1e6)
        return mmToPixels(dpi, int(mm));
    // A fraction of a millimetre: the same constant, in double precision.
    return static_cast<int>(mm * dpi / double(mmPerInch));
}

int borderPixels(int dpi, double borderWidthMm)
{
    const float b = static_cast<float>(borderWidthMm);
    if (!(b > 0))
        return 0;
    // b = m * 2^e with a 24-bit integer m.
    int e = 0;
    const float fraction = std::frexp(b, &e);
    const uint32_t m = uint32_t(std::ldexp(fraction, 24));
    return truncatedProduct(dpi, m, e - 24);
}

int dotsPerMeter(int dpi)
{
    return truncatedProduct(dpi, 1000, 0);
}

int lengthToPixels(int dpi, double mm)
{
    return mm <= 0 ? 0 : static_cast<int>(mm * dpi / 25.4);
}

QSize imageSize(const EncoderSettings &settings)
{
    int width;
    int height;
    if (settings.shape == Shape::Strip) {
        width = mmToPixels(settings.dpi, settings.widthMm);
        height = mmToPixels(settings.dpi, settings.heightMm);
    } else {
        width = height = mmToPixels(settings.dpi, 2 * settings.outerRadiusMm);
    }
    if (settings.border) {
        const int e = borderPixels(settings.dpi, settings.borderWidthMm);
        width += e;
        height += e;
    }
    return QSize(width, height);
}

QSizeF pdfPageSizeMm(const EncoderSettings &settings)
{
    // A compensated pattern is drawn 1 / scale as large, its page with it.
    const QSizeF page = nominalSizeMm(settings) + QSizeF(20, 20) + patternRoomMm(settings);
    return QSizeF(page.width() / settings.scaleX, page.height() / settings.scaleY);
}

int pdfMarginPixels(int dpi)
{
    return mmToPixels(dpi, 10);
}

QSizeF nominalSizeMm(const EncoderSettings &settings)
{
    if (settings.shape == Shape::Strip)
        return QSizeF(settings.widthMm, settings.heightMm);
    return QSizeF(2 * settings.outerRadiusMm, 2 * settings.outerRadiusMm);
}

}

QString trackRoomProblem(const EncoderSettings &s)
{
    const int tracks = (s.quadrature ? 2 : 1) + (s.index ? 1 : 0);
    const bool disc = s.shape == Shape::Disc;
    const int room = disc ? PixelRule::mmToPixels(s.dpi, s.outerRadiusMm)
            - PixelRule::mmToPixels(s.dpi, s.innerRadiusMm)
                          : PixelRule::mmToPixels(s.dpi, s.heightMm);
    if (s.type != EncoderType::Relative || tracks < 2 || room >= tracks)
        return QString();
    return QStringLiteral("%1 tracks do not fit in a %2 %3 px wide at %4 dpi")
        .arg(tracks)
        .arg(disc ? QStringLiteral("ring") : QStringLiteral("strip"))
        .arg(room)
        .arg(s.dpi);
}
