// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_TIFFENCODER_H
#define QUVELTA_TIFFENCODER_H

#include <QIODevice>
#include <QImage>
#include <QString>

namespace PixelPacking {
class PixelRows;
}

namespace TiffCodec {

// Writes the rows as TIFF through libtiff, losslessly and compressed: black and white as
// 1-bit with CCITT Group 4, two other colours as a 1-bit palette, grey as 8-bit, up to 256
// colours as an 8-bit palette, else 24-bit RGB, all but the first with Deflate; the resolution
// in pixels per inch. The device must be seekable. On failure *reason says why; libtiff itself
// prints nothing.
bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason);

}

#endif
