#ifndef QUVELTA_GEOMETRY_H
#define QUVELTA_GEOMETRY_H

#include "encodersettings.h"

#include <QSize>
#include <QSizeF>

#include <limits>

// The pixel counts of the pattern are defined by 80-bit extended arithmetic; a compiler whose
// long double is narrower would draw different pixels, so refuse to build there.
static_assert(std::numeric_limits<long double>::digits == 64,
    "long double must be the x87 extended format with a 64-bit significand");

namespace Geometry {

// 25.4 as a single-precision constant (0x41CB3333), the divisor of every conversion.
constexpr float mmPerInch = 25.4f;

// Pixels per millimetre, k = dpi / 25.4f, in extended precision.
long double pixelsPerMm(int dpi);

// trunc(k * mm): whole millimetres (or any length in mm) to whole pixels.
int mmToPixels(int dpi, long double mm);

// trunc(b * k) with b the border width rounded to single precision.
int borderPixels(int dpi, double borderWidthMm);

// trunc(k * 1000.0f), the dots per metre stored in the image.
int dotsPerMeter(int dpi);

// The pixel size of the image for these settings; the border widens it once each way.
QSize imageSize(const EncoderSettings &settings);

// The nominal physical size in millimetres (no border allowance): the PDF page less its margins.
QSizeF nominalSizeMm(const EncoderSettings &settings);

}

#endif
