#ifndef QUVELTA_PDFWRITER_H
#define QUVELTA_PDFWRITER_H

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>

namespace PdfExport {

// The page of a pattern: its nominal size plus a 10 mm margin on every side.
QSizeF pageSizeMm(QSizeF nominalSizeMm);

// A PDF number: at most four decimals, no trailing zeros.
QByteArray number(double value);

// The 10 mm margin in device pixels at this resolution.
int marginPixels(int dpi);

// Writes a one-page PDF of the given page size at `dpi`, the image drawn pixel for pixel (and
// losslessly) with its top-left corner one margin in from the page's left and top edges.
// Atomic like the image writer; on failure *error receives one line naming the file.
bool writePdfPage(
    const QImage &image, const QString &fileName, QSizeF pageSizeMm, int dpi, QString *error);

}

#endif
