// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_JPEGENCODER_H
#define QUVELTA_JPEGENCODER_H

#include <QIODevice>
#include <QString>

namespace PixelPacking {
class PixelRows;
}

namespace JpegCodec {

// libjpeg's longest side, in pixels.
constexpr int largestSide = 65500;

// Writes the rows as a baseline JPEG through libjpeg, row by row: 8-bit RGB at quality 75 with
// the resolution in a JFIF header, the very bytes Qt's JPEG writer makes of an RGB32 image. A
// large image is coded in pieces on every core, joined by restart markers: the pixels Qt's file
// reads as. On failure *reason says why.
bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason);

}

#endif
