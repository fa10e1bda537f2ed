// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PIXELRULE_H
#define QUVELTA_PIXELRULE_H

#include "encodersettings.h"

#include <QSize>
#include <QSizeF>
#include <QString>

namespace PixelRule {

// 25.4 as a single-precision constant (0x41CB3333), the divisor of every conversion.
constexpr float mmPerInch = 25.4f;

// The pixel counts of the pattern are defined by extended arithmetic: k = dpi / 25.4f and each
// product with k rounded to a 64-bit significand, then truncated. These functions compute exactly
// that in integer arithmetic, so every compiler and processor gets the same pixels, whether or not
// it has the x87 80-bit format.

// floor and ceil of a pixel coordinate (within int's range) by truncation, which the processor
// does in one step where std::floor and std::ceil are calls; the same values.
inline int floorToInt(double v)
{
    const int i = int(v);
    return i - (double(i) > v ? 1 : 0);
}

inline int ceilToInt(double v)
{
    const int i = int(v);
    return i + (double(i) < v ? 1 : 0);
}

// trunc(k * mm) for a whole number of millimetres (0 or more).
int mmToPixels(int dpi, int mm);
// The same for any length: a whole number as above, a fraction as trunc(mm * dpi / 25.4f).
int mmToPixels(int dpi, double mm);

// trunc(b * k) with b the border width rounded to single precision.
int borderPixels(int dpi, double borderWidthMm);

// trunc(k * 1000.0f), the dots per metre stored in the image.
int dotsPerMeter(int dpi);

// Pixels of a length in millimetres that no rule above fixes (margins beside the pattern):
// trunc(mm * dpi / 25.4).
int lengthToPixels(int dpi, double mm);

// The pixel size of the image for these settings; the border widens it once each way.
QSize imageSize(const EncoderSettings &settings);

// The nominal physical size in millimetres (no border allowance): the PDF page less its margins.
QSizeF nominalSizeMm(const EncoderSettings &settings);

// The one-page PDF of a pattern: its nominal size and the room of marks beside it, plus a 10 mm
// margin on every side; over the printer scale each way where that is compensated.
QSizeF pdfPageSizeMm(const EncoderSettings &settings);

// The 10 mm margin of the raster PDF in whole pixels at this resolution: the image sits there,
// so it is trunc(k * 10) pixels (9.991 mm at 600 dpi).
int pdfMarginPixels(int dpi);

}

// Why the tracks of a relative pattern (channels and index) do not fit into the pixels of the
// strip's height or the disc's ring at the DPI, or an empty string.
QString trackRoomProblem(const EncoderSettings &settings);

#endif
