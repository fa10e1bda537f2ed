#include "vectorwriter.h"

#include "exporterror.h"
#include "geometry.h"
#include "pdfwriter.h"
#include "renderer.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

namespace VectorExport {

namespace {

bool noPixels(const QSize &size, const QString &fileName, QString *error)
{
    if (size.width() > 0 && size.height() > 0)
        return false;
    *error = cantWrite(fileName, QStringLiteral("the pattern is 0 pixels wide or high"));
    return true;
}

// Qt's PDF engine writes the page rounded to whole points and maps device y = 0 to the rounded
// height. Restate the MediaBox with the exact size, keeping its top at that height, so the page
// is exact and the pattern stays where it was drawn. The replacement is padded to the same
// length, so the cross-reference offsets stay valid.
bool fixMediaBox(QByteArray &pdf, QSizeF pagePoints)
{
    static const QRegularExpression box(QStringLiteral(R"(/MediaBox \[0 0 ([0-9.]+) ([0-9.]+)\])"));
    const QString text = QString::fromLatin1(pdf);
    const QRegularExpressionMatch match = box.match(text);
    if (!match.hasMatch() || box.match(text, match.capturedEnd()).hasMatch())
        return false;
    const double top = match.captured(2).toDouble();
    using PdfExport::number;
    QByteArray exact = "/MediaBox [0 " + number(top - pagePoints.height()) + ' '
        + number(pagePoints.width()) + ' ' + number(top) + ']';
    const int length = int(match.capturedLength());
    if (exact.size() > length)
        return false;
    exact.insert(exact.size() - 1, QByteArray(length - exact.size(), ' '));
    pdf.replace(int(match.capturedStart()), length, exact);
    return true;
}

bool save(const QByteArray &data, const QString &fileName, QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    return true;
}

}

bool writeSvg(const EncoderSettings &settings, const QString &fileName, QString *error)
{
    const QSize size = Geometry::imageSize(settings);
    if (noPixels(size, fileName, error))
        return false;

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(settings.dpi);
        svg.setTitle(QStringLiteral("Quvelta encoder pattern"));
        QPainter painter(&svg);
        paintEncoder(painter, settings, size);
    }
    return save(buffer.data(), fileName, error);
}

bool writeVectorPdf(const EncoderSettings &settings, const QString &fileName, QString *error)
{
    const QSize size = Geometry::imageSize(settings);
    if (noPixels(size, fileName, error))
        return false;
    const QSizeF pageMm = PdfExport::pageSizeMm(settings);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Quvelta"));
        writer.setResolution(settings.dpi);
        writer.setPageLayout(
            QPageLayout(QPageSize(pageMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                QPageLayout::Portrait, QMarginsF()));
        QPainter painter(&writer);
        const int margin = PdfExport::marginPixels(settings.dpi);
        painter.translate(margin, margin);
        painter.setClipRect(QRect(QPoint(0, 0), size));
        paintEncoder(painter, settings, size);
    }
    QByteArray pdf = buffer.data();
    if (!fixMediaBox(pdf, pageMm * (72.0 / 25.4))) {
        *error = cantWrite(fileName, QStringLiteral("unexpected PDF page layout from Qt"));
        return false;
    }
    return save(pdf, fileName, error);
}

}
