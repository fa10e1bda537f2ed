// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_BMPENCODER_H
#define QUVELTA_BMPENCODER_H

#include <QIODevice>
#include <QImage>
#include <QString>

namespace PixelPacking {
class PixelRows;
}

namespace BmpCodec {

// Writes the rows as an uncompressed Windows bitmap in the smallest lossless layout every
// reader opens: 1 bit a pixel with a two-colour table, 8 bits with a table of up to 256 colours
// (greys included), else 24-bit; the resolution in pixels per metre. On failure *reason says why.
bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason);

}

#endif
