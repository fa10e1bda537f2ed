#ifndef QUVELTA_RENDERER_H
#define QUVELTA_RENDERER_H

#include "encodersettings.h"

#include <QImage>
#include <QSize>

class QPainter;

// Clears and paints the whole pattern with the painter that the shape, type and code call for.
void paintEncoder(QPainter &painter, const EncoderSettings &settings, QSize size);

// A fresh RGB32 image of the pattern at its physical size, the DPI recorded in it: the window's
// painters, or the precise raster of the pattern geometry for what they do not draw.
// Null when a dimension truncates to 0 pixels or the memory for the render cannot be had.
QImage renderEncoderImage(const EncoderSettings &settings, bool antialias);

#endif
