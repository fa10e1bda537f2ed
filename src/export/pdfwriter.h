#ifndef QUVELTA_PDFWRITER_H
#define QUVELTA_PDFWRITER_H

#include "encodersettings.h"

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <QString>

namespace PixelPacking {
class PixelRows;
}

namespace PdfExport {

// A PDF number: at most `decimals` decimals, no trailing zeros.
QByteArray number(double value, int decimals = 4);

// The font resource that invisibleText uses.
extern const char *const invisibleTextFont;

// A line of text that readers find and copy but that does not show (the page draws it in
// outlines or pixels), its baseline starting at `at`, `size` units to the em; `yDown` for a
// coordinate system whose y axis points down.
QByteArray invisibleText(const QString &text, double size, QPointF at, bool yDown);

// Writes the one-page PDF of the pattern that `rows` hold for `settings` to a device: the page of
// PixelRule::pdfPageSizeMm() at the settings' DPI, the image drawn pixel for pixel (and losslessly)
// with its top-left corner one margin in from the page's left and top edges. On failure *reason
// says why.
bool writePdfPage(PixelPacking::PixelRows &rows, const EncoderSettings &settings, QIODevice *device,
    QString *reason);

}

#endif
