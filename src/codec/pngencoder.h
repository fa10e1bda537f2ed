// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PNGENCODER_H
#define QUVELTA_PNGENCODER_H

#include <QIODevice>
#include <QImage>
#include <QString>

namespace PixelPacking {
class PixelRows;
}

namespace PngCodec {

// Writes an RGB32 image as PNG through libpng in the smallest lossless layout (1-bit palette,
// 8-bit grey, 8-bit palette or 24-bit RGB) with its resolution, packing and compressing row by
// row. On failure *reason says why.
bool encode(const QImage &image, QIODevice *device, QString *reason);
bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason);

}

#endif
