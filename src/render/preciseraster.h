#ifndef QUVELTA_PRECISERASTER_H
#define QUVELTA_PRECISERASTER_H

#include "encodersettings.h"
#include "shapes.h"

#include <QImage>

#include <vector>

// Pixels per millimetre of the precise raster: the true dpi / 25.4.
double precisePixelsPerMm(int dpi);

// The image size of the pattern: the window's, plus the margin that marks outside it need.
QSize patternImageSize(const EncoderSettings &settings);

// Paints the filled layers (millimetres, scaled by pixelsPerMm, then moved by offset pixels) over
// the background into an RGB32 image: plain pixels sample each pixel's centre, antialiased ones
// take the exact covered area. Cut layers are for cutters and are not painted.
void rasterizeLayers(QImage &image, const std::vector<Shapes::Layer> &layers, double pixelsPerMm,
    const QColor &foreground, const QColor &background, bool antialias, QPointF offset = {});

// The pattern geometry rasterised with every edge at its own exact position, no accumulated
// truncation: the image has the size and DPI of the specified render. Null when a dimension is
// 0 pixels or the image cannot be allocated.
QImage renderPreciseImage(const EncoderSettings &settings, bool antialias);

#endif
