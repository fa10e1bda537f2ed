#ifndef QUVELTA_PNGWRITER_H
#define QUVELTA_PNGWRITER_H

#include <QIODevice>
#include <QImage>
#include <QString>

namespace PngExport {

// Writes an RGB32 image as PNG in the smallest lossless layout (1-bit palette, 8-bit grey,
// 8-bit palette or 24-bit RGB) with its resolution, converting and compressing row by row.
// On failure *reason says why.
bool writePng(const QImage &image, QIODevice *device, QString *reason);

}

#endif
