#include "pdfwriter.h"

#include "exporterror.h"
#include "geometry.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace PdfExport {

QSizeF pageSizeMm(QSizeF nominalSizeMm)
{
    return nominalSizeMm + QSizeF(20, 20);
}

int marginPixels(int dpi)
{
    return Geometry::mmToPixels(dpi, 10);
}

bool writePdfPage(
    const QImage &image, const QString &fileName, QSizeF pageSizeMm, int dpi, QString *error)
{
    if (image.isNull()) {
        *error = cantWrite(fileName, QStringLiteral("the image has no pixels"));
        return false;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Quvelta"));
        writer.setResolution(dpi);
        // An exact custom size: Qt would otherwise snap a near-standard size to the standard one.
        const QPageSize pageSize(
            pageSizeMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
        writer.setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF()));

        QPainter painter;
        if (!painter.begin(&writer)) {
            *error = cantWrite(fileName, QStringLiteral("the PDF page could not be started"));
            file.cancelWriting();
            return false;
        }
        // Without this hint Qt may store the pattern as JPEG, which blurs every edge.
        painter.setRenderHint(QPainter::LosslessImageRendering);
        const int margin = marginPixels(dpi);
        painter.drawImage(QPointF(margin, margin), image);
        painter.end();
    }
    if (!file.commit()) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    return true;
}

}
