// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "printtarget.h"

#include "calibration.h"

#include "exporter.h"
#include "exporterror.h"
#include "imagewriter.h"
#include "outputfile.h"
#include "pdfoutput.h"
#include "pdfwriter.h"
#include "units.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>

#include <cmath>

namespace PrintTarget {

namespace {

constexpr double margin = 10; // printers leave the outer 4-6 mm blank
constexpr double cornerMark = 8;
constexpr double cornerHole = 3;
constexpr double tickWidth = 0.2;
constexpr double numberSize = 2.6;
constexpr double labelSize = 2.0;
constexpr double textSize = 3.0;
constexpr double lineHeight = 4.2;
constexpr double slitBlock = 2.0;
constexpr double patchHeight = 8.0;
const double root2 = std::sqrt(2.0);

double tickLength(int mm)
{
    return mm % 10 == 0 ? 5.0 : mm % 5 == 0 ? 3.5 : 2.0;
}

bool hasFonts()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}



// Text in glyph outlines, `size` mm to the em, its baseline starting at `origin`.
void addText(QPainterPath &ink, const QString &text, double size, QPointF origin)
{
    if (!hasFonts())
        return;
    QPainterPath glyphs;
    glyphs.addText(0, 0, CalibrationText::font(), text);
    ink.addPath(QTransform::fromScale(size / 100, size / 100)
                    .translate(origin.x() * 100 / size, origin.y() * 100 / size)
                    .map(glyphs));
}

// A filled rectangle, or (reversed) a hole in one under the non-zero rule.
void addRectangle(QPainterPath &ink, QRectF r, bool hole = false)
{
    if (!hole) {
        ink.addRect(r);
        return;
    }
    ink.moveTo(r.topLeft());
    ink.lineTo(r.bottomLeft());
    ink.lineTo(r.bottomRight());
    ink.lineTo(r.topRight());
    ink.closeSubpath();
}

void addRuler(QPainterPath &ink, QPainterPath &text, const Ruler &ruler, bool numbersAlong)
{
    const QPointF d = ruler.direction, a = ruler.across;
    for (int mm = 0; mm <= ruler.lengthMm; ++mm) {
        const QPointF c = ruler.start + mm * d;
        const QPointF w = d * (tickWidth / 2), l = a * tickLength(mm);
        QPolygonF tick({ c - w, c + w, c + w + l, c - w + l });
        ink.addPolygon(tick);
        ink.closeSubpath();
        if (mm % 10 != 0)
            continue;
        const QString label = QString::number(mm);
        const double width = CalibrationText::width(label, numberSize);
        // Beyond the longest tick: centred under a tick across, beside it down.
        const QPointF at = c + a * (tickLength(0) + 1.0);
        if (numbersAlong)
            addText(text, label, numberSize, at + QPointF(-width / 2, numberSize * 0.75));
        else
            addText(text, label, numberSize, at + QPointF(0.3, numberSize * 0.36));
    }
}

QString number(double mm)
{
    return QString::number(mm, 'g', 6);
}

using CalibrationText::wrapped;

}

std::vector<double> patchWidths()
{
    return { 0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.7, 1.0 };
}

std::vector<Page> knownPages()
{
    return { { QStringLiteral("A4"), QStringLiteral("a4"), QSizeF(210, 297) },
        { QStringLiteral("Letter"), QStringLiteral("letter"), QSizeF(215.9, 279.4) },
        { QStringLiteral("A3"), QStringLiteral("a3"), QSizeF(297, 420) } };
}

std::optional<Page> pageOfWord(const QString &word, QString *why, QSizeF least)
{
    const QString lower = word.trimmed().toLower();
    for (const Page &p : knownPages())
        if (p.word == lower)
            return p;
    static const QRegularExpression size(
        QStringLiteral(R"(^(\d+(?:\.\d+)?)\s*x\s*(\d+(?:\.\d+)?)$)"));
    const QRegularExpressionMatch m = size.match(lower);
    if (!m.hasMatch()) {
        if (why)
            *why = QStringLiteral("a page is a4, letter, a3 or WxH in mm (e.g. 150x200)");
        return std::nullopt;
    }
    const double w = m.captured(1).toDouble(), h = m.captured(2).toDouble();
    // Room for the corner marks, the rulers, the 45 degree rulers, the bars and the text.
    if (w < least.width() || h < least.height() || w > 1000 || h > 1000) {
        if (why)
            *why = QStringLiteral("a %1 page is %2 x %3 mm to 1000 x 1000 mm")
                       .arg(least == QSizeF(140, 200) ? QStringLiteral("target")
                                                      : QStringLiteral("PDF"),
                           number(least.width()), number(least.height()));
        return std::nullopt;
    }
    return Page { QStringLiteral("%1 x %2 mm").arg(number(w), number(h)),
        QStringLiteral("%1x%2").arg(number(w), number(h)), QSizeF(w, h) };
}

Layout layout(const Page &page, QPointF printerScale)
{
    Layout t;
    t.page = page;
    t.printerScale = printerScale;
    const bool compensated = printerScale != QPointF(1, 1);
    const double W = page.sizeMm.width(), H = page.sizeMm.height();
    t.markSizeMm = cornerMark;
    t.holeSizeMm = cornerHole;
    t.tickWidthMm = tickWidth;
    t.shortTickMm = tickLength(1);
    t.slitBlockMm = slitBlock;
    const double c = margin + cornerMark / 2;
    t.corners = { QPointF(c, c), QPointF(W - c, c), QPointF(W - c, H - c), QPointF(c, H - c) };

    // The rulers run between the corner marks along the top and the left edge.
    const double inset = margin + cornerMark + 4;
    t.across = { QPointF(inset, margin), QPointF(1, 0), QPointF(0, 1), int(W - 2 * inset) };
    t.down = { QPointF(margin, inset), QPointF(0, 1), QPointF(1, 0), int(H - 2 * inset) };

    // The 45 degree rulers side by side under the top ruler, ticks outwards: "\" then "/".
    const double left = 25, right = W - 25, top = 26;
    const int diagonal = int(std::floor(((right - left - 20) / 2) * root2 / 10)) * 10;
    const double run = diagonal / root2;
    const QPointF down(1 / root2, 1 / root2), up(1 / root2, -1 / root2);
    t.diagonalDown = { QPointF(left + 2, top + 8), down, up, diagonal };
    const double x2 = left + 2 + run + 14;
    t.diagonalUp = { QPointF(x2, top + 8 + run), up, down, diagonal };

    // Bars in one row, slits under them, each labelled with its width.
    const std::vector<double> widths = patchWidths();
    const double pitch = std::min(7.0, (right - left) / double(widths.size()));
    const double x0 = W / 2 - pitch * (double(widths.size()) - 1) / 2;
    const double marksY = top + 8 + run + 14, slitsY = marksY + patchHeight + 8;
    for (size_t i = 0; i < widths.size(); ++i) {
        const double x = x0 + double(i) * pitch;
        t.patches.push_back({ widths[i], true, QPointF(x, marksY), patchHeight });
    }
    for (size_t i = 0; i < widths.size(); ++i) {
        const double x = x0 + double(i) * pitch;
        t.patches.push_back({ widths[i], false, QPointF(x, slitsY), patchHeight });
    }

    QPainterPath &ink = t.shapes;
    QPainterPath text;
    ink.setFillRule(Qt::WindingFill);
    text.setFillRule(Qt::WindingFill);
    for (size_t i = 0; i < 4; ++i) {
        const QPointF p = t.corners[i];
        const QPointF half(cornerMark / 2, cornerMark / 2), hole(cornerHole / 2, cornerHole / 2);
        addRectangle(ink, QRectF(p - half, p + half));
        if (i == 0)
            addRectangle(ink, QRectF(p - hole, p + hole), true);
    }
    addRuler(ink, text, t.across, true);
    addRuler(ink, text, t.down, false);
    addRuler(ink, text, t.diagonalDown, false);
    addRuler(ink, text, t.diagonalUp, false);
    for (const Patch &p : t.patches) {
        const double h = p.heightMm / 2, w = p.widthMm / 2;
        const QPointF c = p.center;
        if (p.mark) {
            addRectangle(ink, QRectF(c.x() - w, c.y() - h, p.widthMm, p.heightMm));
        } else {
            addRectangle(ink, QRectF(c.x() - w - slitBlock, c.y() - h, slitBlock, p.heightMm));
            addRectangle(ink, QRectF(c.x() + w, c.y() - h, slitBlock, p.heightMm));
        }
        const QString label = number(p.widthMm);
        addText(text, label, labelSize,
            QPointF(c.x() - CalibrationText::width(label, labelSize) / 2, c.y() + h + 1 + labelSize * 0.75));
    }

    QStringList widthWords;
    for (double w : widths)
        widthWords << number(w);
    const QString compensation = compensated
        ? QStringLiteral("Drawn for a printer at x %1 %, y %2 %: printed by it, the target "
                         "measures 100 % if that is right.")
              .arg(number(printerScale.x() * 100), number(printerScale.y() * 100))
        : QString();
    t.text = wrapped(
        { compensation,
            QStringLiteral("Quvelta calibration target for the printer's scale and ink spread, "
                           "%1.")
                .arg(page.word.contains(QLatin1Char('x'))
                        ? QStringLiteral("a %1 page").arg(page.name)
                        : QStringLiteral("%1 page, %2 x %3 mm")
                              .arg(page.name, number(W), number(H))),
            QStringLiteral("Print it at 100 % (actual size), not fitted to the page, with no "
                           "scale correction."),
            QStringLiteral("Rulers with 1 mm ticks: %1 mm across the top, %2 mm down the left "
                           "side, 0 beside the top-left corner mark; 45 degree rulers of %3 mm.")
                .arg(t.across.lengthMm)
                .arg(t.down.lengthMm)
                .arg(diagonal),
            QStringLiteral("Bars (upper row) and slits in ink (lower row) %1 mm wide, for the "
                           "ink spread.")
                .arg(widthWords.join(QLatin1Char(' '))),
            QStringLiteral("Scan it flat at 100 % and 600 dpi or more, then run: quvelta-render "
                           "--measure scan.png --printer-profile printer.txt"),
            QStringLiteral("Or measure the rulers across and down with a steel rule and run: "
                           "quvelta-render --measured-x MM --measured-y MM --page %1")
                .arg(page.word) },
        textSize, right - left);
    if (!compensated)
        t.text.removeFirst();
    double baseline = slitsY + patchHeight / 2 + 1 + labelSize + 6;
    t.textOrigin = QPointF(left, baseline);
    t.textSizeMm = textSize;
    t.lineHeightMm = lineHeight;
    for (const QString &line : t.text) {
        addText(text, line, textSize, QPointF(left, baseline));
        baseline += lineHeight;
    }
    if (compensated) {
        const QPointF c(W / 2, H / 2);
        const QTransform grow = QTransform::fromTranslate(-c.x(), -c.y())
            * QTransform::fromScale(1 / printerScale.x(), 1 / printerScale.y())
            * QTransform::fromTranslate(c.x(), c.y());
        ink = grow.map(ink);
        text = grow.map(text);
        t.textOrigin = grow.map(t.textOrigin);
    }
    t.lettering = text;
    t.ink = t.shapes;
    t.ink.addPath(text);
    return t;
}

void draw(QPainter &painter, const Layout &layout)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(layout.ink, Qt::black);
    painter.restore();
}

QImage render(const Layout &layout, int dpi)
{
    const double k = Units::dotsPerMm(dpi);
    QImage image(qRound(layout.page.sizeMm.width() * k), qRound(layout.page.sizeMm.height() * k),
        QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    image.fill(255);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    QPainter painter(&image);
    painter.scale(k, k);
    draw(painter, layout);
    return image;
}

namespace {

// The page as a PDF: the ink as one path in millimetres, the text also as invisible text that
// readers find.
QByteArray pdfPage(const Layout &layout)
{
    using PdfExport::number;
    const double pt = Units::pointsPerMm;
    const double height = layout.page.sizeMm.height() * pt;
    QByteArray path
        = "q " + number(pt, 6) + " 0 0 " + number(-pt, 6) + " 0 " + number(height, 6) + " cm 0 g\n";
    const QPainterPath &ink = layout.ink;
    for (int i = 0; i < ink.elementCount(); ++i) {
        const QPainterPath::Element e = ink.elementAt(i);
        const QByteArray xy = number(e.x) + ' ' + number(e.y);
        if (e.isMoveTo()) {
            path += xy + " m\n";
        } else if (e.isLineTo()) {
            path += xy + " l\n";
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c1 = ink.elementAt(i + 1), c2 = ink.elementAt(i + 2);
            path += xy + ' ' + number(c1.x) + ' ' + number(c1.y) + ' ' + number(c2.x) + ' '
                + number(c2.y) + " c\n";
            i += 2;
        }
    }
    path += "f Q\n";
    QPointF at = layout.textOrigin;
    for (const QString &line : layout.text) {
        path += PdfExport::invisibleText(
            line, layout.textSizeMm * pt, QPointF(at.x() * pt, height - at.y() * pt), false);
        at.ry() += layout.lineHeightMm;
    }
    return path;
}

bool writePdf(const Layout &layout, const QString &fileName, QString *error)
{
    using PdfExport::number;
    using PdfExport::ref;
    OutputFile file(fileName);
    if (!file.open(error))
        return false;
    const double pt = Units::pointsPerMm;
    const QByteArray contents = pdfPage(layout);
    enum { Catalog = 1, Pages, PageObject, Contents, Info };
    PdfExport::PdfOutput pdf(file.device());
    pdf.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    pdf.object(Catalog, "<< /Type /Catalog /Pages " + ref(Pages) + " >>");
    pdf.object(Pages, "<< /Type /Pages /Kids [" + ref(PageObject) + "] /Count 1 >>");
    pdf.object(PageObject,
        "<< /Type /Page /Parent " + ref(Pages) + " /MediaBox [0 0 "
            + number(layout.page.sizeMm.width() * pt) + ' '
            + number(layout.page.sizeMm.height() * pt) + "] /Resources << "
            + PdfExport::invisibleTextFont + " >> /Contents " + ref(Contents) + " >>");
    pdf.object(Contents,
        "<< /Length " + QByteArray::number(contents.size()) + " >>\nstream\n" + contents
            + "endstream");
    pdf.object(Info, "<< /Producer (Quvelta) /Creator (Quvelta) /Title (Calibration target) >>");
    pdf.finish(Catalog, Info);
    if (!pdf.ok()) {
        *error = file.failure(file.device()->errorString());
        file.cancel();
        return false;
    }
    return file.commit(error);
}

}

bool write(const Layout &layout, const QString &fileName, int dpi, QString *error)
{
    const std::optional<Export::Format> format = Export::formatOfName(fileName);
    if (format == Export::Format::Pdf)
        return reportingMemory(fileName, error, [&] { return writePdf(layout, fileName, error); });
    if (!format || !Export::isRaster(*format)) {
        *error = cantWrite(fileName,
            QStringLiteral("the calibration target is written as .pdf or an image (%1)")
                .arg(Export::knownSuffixes(true)));
        return false;
    }
    return reportingMemory(fileName, error, [&] {
        const QImage image = render(layout, dpi);
        if (image.isNull())
            throw std::bad_alloc();
        return Export::writeImage(image, {}, *format, fileName, error);
    });
}

}
