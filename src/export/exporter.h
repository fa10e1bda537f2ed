// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_EXPORTER_H
#define QUVELTA_EXPORTER_H

#include "encodersettings.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace PixelPacking {
class PixelRows;
}

// The one front door of every export, for the window and the command line alike: the format
// from the file name, one atomic save, one message per failure.
namespace Export {

enum class Format { Png, Jpeg, Bmp, Tiff, Pdf, Svg, Dxf, KicadMod };

// The format a file name's suffix asks for (case-insensitive), or none.
std::optional<Format> formatOfName(const QString &fileName);
// The format a word names ("png", "tif", ...), as --format takes it.
std::optional<Format> formatOfWord(const QString &word);
// ".png, .jpg, .jpeg, .bmp, .tif, .tiff, .pdf, .svg, .dxf or .kicad_mod", or only the image
// files'.
QString knownSuffixes(bool imagesOnly = false);
bool isRaster(Format format); // an image file (PDF holds an image too, but is a page)

// The message for a pattern without pixels.
QString nothingToWrite();
// Why a file of the format cannot hold an image of this size, or nothing: a JPEG's sides end at
// 65,500 pixels.
QString sizeProblem(Format format, QSize size);

// Writes a rendered image: PNG, JPEG (lossy), BMP, TIFF, or the one-page PDF of the settings.
bool writeImage(const QImage &image, const EncoderSettings &settings, Format format,
    const QString &fileName, QString *error);

// Writes pixel rows (a rendered image, or a pattern drawn band by band) in an image format or as
// the one-page PDF of the settings.
bool writeRows(PixelPacking::PixelRows &rows, const EncoderSettings &settings, Format format,
    const QString &fileName, QString *error);

// Renders the pattern and writes it in an image format or as its one-page PDF: a large image
// band by band, without ever holding the whole of it, in the very bytes writeImage makes of it.
// `painted` is shown each band of classic pixels as it is drawn: RGB32 pixels, or coverage
// bytes with the colour of each.
bool writePattern(const EncoderSettings &settings, bool antialias, Format format,
    const QString &fileName, QString *error,
    const std::function<void(
        const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors)> &painted
    = {});
// Images of up to this many pixels are drawn whole.
constexpr qint64 wholeImagePixels = 4'000'000;

// "not enough memory to render W x H"
QString notEnoughMemory(QSize size);

// Writes the image in another format Qt's image writers know, by its suffix ("ppm", ...).
bool writeQtImage(
    const QImage &image, const QString &suffix, const QString &fileName, QString *error);

}

#endif
