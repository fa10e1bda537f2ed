// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PDFWRITER_H
#define QUVELTA_PDFWRITER_H

#include "encodersettings.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace PixelPacking {
class PixelRows;
}

namespace PdfExport {

// A PDF number: at most `decimals` decimals, no trailing zeros.
QByteArray number(double value, int decimals = 4);
// The same appended to `out`, with no text of its own made on the way.
void appendNumber(QByteArray &out, double value, int decimals = 4);

// The font resource that invisibleText uses.
extern const char *const invisibleTextFont;

// A line of text that readers find and copy but that does not show (the page draws it in
// outlines or pixels), its baseline starting at `at`, `size` units to the em; `yDown` for a
// coordinate system whose y axis points down.
QByteArray invisibleText(const QString &text, double size, QPointF at, bool yDown);

// How a pattern's image is split over pages of the settings' PDF page size: each page shows an
// area of the image, whole pixels at the DPI, a margin in from its top-left corner; neighbours
// share an overlap, and alignment crosses in the margins sit at the same image point on both.
struct Tiles
{
    QSizeF pageMm; // as printed, portrait or landscape
    int columns = 1, rows = 1;
    int marginPx = 0; // from the page's top-left corner to the area
    QSize areaPx; // the image each page shows at most
    int overlapPx = 0;
    QSize stepPx; // from one page's area to the next
    static constexpr double crossMm = 5; // a cross's arms, end to end

    int count() const { return columns * rows; }
    QPoint origin(int column, int row) const
    {
        return QPoint(column * stepPx.width(), row * stepPx.height());
    }
    // The crosses on page (column, row), in image pixels (they lie outside the image's area on
    // that page, in its margins).
    std::vector<QPointF> crosses(int column, int row, QSize image) const;
};

// The tiles of an image of `image` pixels, when the settings ask for PDF pages of a size.
std::optional<Tiles> tiles(const EncoderSettings &settings, QSize image);

// Writes the one-page PDF of the pattern that `rows` hold for `settings` to a device: the page of
// PixelRule::pdfPageSizeMm() at the settings' DPI, the image drawn pixel for pixel (and losslessly)
// with its top-left corner one margin in from the page's left and top edges; or, with a PDF page
// size, the tiles of tiles() after a page map. On failure *reason says why.
bool writePdfPage(PixelPacking::PixelRows &rows, const EncoderSettings &settings, QIODevice *device,
    QString *reason);

}

#endif
