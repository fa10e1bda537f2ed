#ifndef QUVELTA_PDFWRITER_H
#define QUVELTA_PDFWRITER_H

#include "encodersettings.h"

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>

namespace PdfExport {

// The page of a pattern: its nominal size plus a 10 mm margin on every side.
QSizeF pageSizeMm(const EncoderSettings &settings);

// A PDF number: at most four decimals, no trailing zeros.
QByteArray number(double value);

// The 10 mm margin in device pixels at this resolution.
int marginPixels(int dpi);

// Writes the one-page PDF of the pattern that `image` renders for `settings`: the page of
// pageSizeMm() at the settings' DPI, the image drawn pixel for pixel (and losslessly) with its
// top-left corner one margin in from the page's left and top edges. Atomic like the image
// writer; on failure *error receives one line naming the file.
bool writePdfPage(
    const QImage &image, const QString &fileName, const EncoderSettings &settings, QString *error);

}

#endif
