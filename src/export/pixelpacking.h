#ifndef QUVELTA_PIXELPACKING_H
#define QUVELTA_PIXELPACKING_H

#include <QImage>
#include <QVector>

namespace PixelPacking {

// The distinct colours of an RGB32 image in order of first appearance, or an empty list when
// there are more than `limit`.
QVector<QRgb> distinctColors(const QImage &image, int limit = 256);

// The same pixels in the smallest format that loses nothing: 1-bit for two colours, 8-bit grey
// when every colour is a grey level, 8-bit palette for up to 256 colours, otherwise the image
// itself (shared, not copied). Resolution and text are kept.
QImage compact(const QImage &image);

}

#endif
