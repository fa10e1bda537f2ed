// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "pdfwriter.h"

#include "deflater.h"
#include "patterngeometry.h"
#include "pdfoutput.h"
#include "pixelpacking.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "units.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

// A PDF of one page with one image, written directly rather than through QPdfWriter: Qt 6.4's PDF
// engine rounds the page to whole points (120 x 40 mm becomes 340 x 113 pt instead of
// 340.16 x 113.39) and stores an RGB32 image as 24-bit RGB, 32 times the size of the 1-bit
// image a two-colour pattern needs. Here the page is exact and the pixels go in losslessly,
// in the smallest form, row by row through zlib without a second full-size copy.

namespace PdfExport {

namespace {

QByteArray hexPalette(const QVector<QRgb> &colors)
{
    QByteArray hex;
    for (QRgb c : colors) {
        const char rgb[3] = { char(qRed(c)), char(qGreen(c)), char(qBlue(c)) };
        hex += QByteArray(rgb, 3).toHex();
    }
    return '<' + hex.toUpper() + '>';
}

// The image's colour space entry for the packed rows.
QByteArray colorSpace(const PixelPacking::Layout &layout)
{
    using Kind = PixelPacking::Layout::Kind;
    switch (layout.kind) {
    case Kind::Bilevel:
    case Kind::Indexed:
        return "[/Indexed /DeviceRGB " + QByteArray::number(layout.palette.size() - 1) + ' '
            + hexPalette(layout.palette) + ']';
    case Kind::Gray:
        return "/DeviceGray";
    case Kind::Rgb:
        break;
    }
    return "/DeviceRGB";
}

}

const char *const invisibleTextFont = "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont "
                                      "/Helvetica /Encoding /WinAnsiEncoding >> >>";

QByteArray invisibleText(const QString &text, double size, QPointF at, bool yDown)
{
    return "BT 3 Tr /F1 " + number(size, 6) + (yDown ? " Tf 1 0 0 -1 " : " Tf 1 0 0 1 ")
        + number(at.x(), 6) + ' ' + number(at.y(), 6) + " Tm " + literal(text) + " Tj ET\n";
}

namespace {

// The decimal number text..end, its last digit one more, carried: 0.0312 to 0.0313, 9.99 to
// 10.00. Returns the new end.
char *awayFromZero(char *text, char *end)
{
    for (char *digit = end - 1;; --digit) {
        if (digit >= text && *digit == '.')
            continue;
        if (digit < text || *digit == '-') {
            char *first = digit + 1;
            std::memmove(first + 1, first, size_t(end - first));
            *first = '1';
            return end + 1;
        }
        if (*digit == '9') {
            *digit = '0';
            continue;
        }
        ++*digit;
        return end;
    }
}

}

namespace {

// Whether the value may be a tie at these decimals, its next digit a 5 and the last: then it is
// a whole number ending in 5 once scaled by ten to the decimals and one, within the rounding of
// the double and the scaling. Most numbers are not, and skip working out their shortest digits.
bool mayBeTie(double value, int decimals)
{
    constexpr double powers[] = { 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12,
        1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };
    if (decimals < 0 || decimals >= int(std::size(powers)))
        return true;
    const double scaled = std::fabs(value) * powers[decimals];
    if (!(scaled < 0x1p52))
        return true;
    const double whole = std::nearbyint(scaled);
    return std::fabs(scaled - whole) <= 1e-9 * std::max(1.0, scaled) && std::fmod(whole, 10) == 5;
}

}

QByteArray number(double value, int decimals)
{
    QByteArray out;
    appendNumber(out, value, decimals);
    return out;
}

void appendNumber(QByteArray &out, double value, int decimals)
{
    // std::to_chars, not QByteArray::number, which goes through snprintf: a fine pattern's
    // vector file is millions of numbers. The digits are the same but for exact ties, which
    // to_chars rounds to even and Qt away from zero, as the files always have.
    char text[400];
    char *end = text;
    const bool byQt = !std::isfinite(value) || std::fabs(value) >= 1e300;
    if (byQt) {
        const QByteArray qt = QByteArray::number(value, 'f', decimals);
        end = std::copy(qt.begin(), qt.end(), text);
    } else {
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals)
                  .ptr;
    }
    if (!byQt && mayBeTie(value, decimals)) {
        char shortest[400];
        const char *shortestEnd
            = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::fixed)
                  .ptr;
        const char *point = std::find(static_cast<const char *>(shortest), shortestEnd, '.');
        if (shortestEnd - point == decimals + 2 && shortestEnd[-1] == '5') {
            // Maybe a tie: it is one when those digits are the value itself, a whole number
            // over 10^(decimals + 1) that is one over a power of two (then no nearer double
            // stands for it). Its digits as a whole number then divide by 5^(decimals + 1).
            uint64_t digits = 0;
            int count = 0;
            for (const char *c = shortest; c < shortestEnd; ++c) {
                if (*c >= '0' && *c <= '9') {
                    digits = digits * 10 + uint64_t(*c - '0');
                    ++count;
                }
            }
            uint64_t five = 1;
            for (int i = 0; i <= decimals && five <= UINT64_MAX / 5; ++i)
                five *= 5;
            if (count > 18 || decimals > 25) {
                const QByteArray qt = QByteArray::number(value, 'f', decimals);
                end = std::copy(qt.begin(), qt.end(), text);
            } else if (digits % five == 0) {
                // A tie: away from zero, where to_chars went down to even.
                const std::string down(static_cast<const char *>(shortest), shortestEnd - 1);
                const std::string kept = decimals == 0 ? down.substr(0, down.size() - 1) : down;
                if (std::string(text, size_t(end - text)) == kept)
                    end = awayFromZero(text, end);
            }
        }
    }
    if (std::find(text, end, '.') != end) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    if (end - text == 2 && text[0] == '-' && text[1] == '0')
        out.append('0');
    else
        out.append(text, int(end - text));
}

namespace {

// The image as a deflated XObject stream: objects `image` and `length`.
bool writeImageObject(
    PdfOutput &pdf, PixelPacking::PixelRows &rows, bool strip, int image, int length)
{
    const QSize samples = rows.size();
    const PixelPacking::RowPacker packer(rows.layout(), samples.width());
    pdf.beginObject(image);
    pdf.write("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(samples.width())
        + " /Height " + QByteArray::number(samples.height()) + " /ColorSpace "
        + colorSpace(packer.layout()) + " /BitsPerComponent "
        + QByteArray::number(packer.layout().bitsPerPixel() == 1 ? 1 : 8)
        + " /Interpolate false /Filter /FlateDecode /Length " + ref(length) + " >>\nstream\n");
    const qint64 start = pdf.position();
    bool written = true;
    {
        // A strip's rows repeat the row above: a fast search for it finds them (a tenth of the
        // size, faster). A disc's rows do not; runs of one byte compress them best.
        ParallelDeflater deflater(
            [&pdf](const char *data, int size) {
                return pdf.write(QByteArray::fromRawData(data, size));
            },
            strip ? 1 : 6, strip ? Z_DEFAULT_STRATEGY : Z_RLE);
        std::vector<uchar> row(size_t(packer.rowBytes()));
        for (int y = 0; written && y < samples.height(); ++y) {
            rows.packRow(y, packer, row.data());
            written = deflater.add(row.data(), int(row.size()));
        }
        written = written && deflater.finish();
    }
    const qint64 streamLength = pdf.position() - start;
    pdf.write("\nendstream\nendobj\n");
    pdf.object(length, QByteArray::number(streamLength));
    return written;
}

bool writeTiledPdf(PixelPacking::PixelRows &rows, const EncoderSettings &settings, const Tiles &t,
    QIODevice *device, QString *reason);
}

bool writePdfPage(PixelPacking::PixelRows &rows, const EncoderSettings &settings, QIODevice *device,
    QString *reason)
{
    if (const std::optional<Tiles> t = tiles(settings, rows.size()))
        return writeTiledPdf(rows, settings, *t, device, reason);
    const QSizeF pageMm = PixelRule::pdfPageSizeMm(settings);
    const int dpi = settings.dpi;
    const QSize samples = rows.size();

    const double pointsPerMm = Units::pointsPerMm;
    const double pointsPerPixel = 72.0 / dpi;
    const double pageWidth = pageMm.width() * pointsPerMm;
    const double pageHeight = pageMm.height() * pointsPerMm;
    // The image's top-left corner lies one margin (in device pixels) from the top-left corner.
    const int margin = PixelRule::pdfMarginPixels(dpi);
    const double x = margin * pointsPerPixel;
    const double y = pageHeight - (margin + samples.height()) * pointsPerPixel;
    const double width = samples.width() * pointsPerPixel;
    const double height = samples.height() * pointsPerPixel;

    enum { Catalog = 1, Pages, Page, Image, ImageLength, Contents, Info };
    PdfOutput pdf(device);
    pdf.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    pdf.object(Catalog, "<< /Type /Catalog /Pages " + ref(Pages) + " >>");
    pdf.object(Pages, "<< /Type /Pages /Kids [" + ref(Page) + "] /Count 1 >>");
    pdf.object(Page,
        "<< /Type /Page /Parent " + ref(Pages) + " /MediaBox [0 0 " + number(pageWidth) + ' '
            + number(pageHeight) + "] /Resources << /XObject << /Im0 " + ref(Image) + " >> "
            + invisibleTextFont + " >> /Contents " + ref(Contents) + " >>");

    const bool written
        = writeImageObject(pdf, rows, settings.shape == Shape::Strip, Image, ImageLength);

    QByteArray contents = "q " + number(width) + " 0 0 " + number(height) + ' ' + number(x) + ' '
        + number(y) + " cm /Im0 Do Q";
    if (settings.calibration) {
        // The legend in the image is pixels; an invisible copy makes it text a reader finds.
        const PatternGeometry g = patternGeometry(settings);
        const QPointF k = patternPixelsPerMm(settings);
        for (int i = 0; i < g.calibration->legendLines.size(); ++i) {
            const QPointF at = g.calibration->legendBaselines[size_t(i)];
            contents += '\n'
                + invisibleText(g.calibration->legendLines[i],
                    g.calibration->textSize * pointsPerMm,
                    QPointF((margin + at.x() * k.x()) * pointsPerPixel,
                        pageHeight - (margin + at.y() * k.y()) * pointsPerPixel),
                    false);
        }
    }
    pdf.object(Contents,
        "<< /Length " + QByteArray::number(contents.size()) + " >>\nstream\n" + contents
            + "\nendstream");
    pdf.object(Info, "<< /Producer (Quvelta) /Creator (Quvelta) >>");
    pdf.finish(Catalog, Info);

    if (!written || !pdf.ok()) {
        *reason = device->errorString().isEmpty() ? QStringLiteral("write failed")
                                                  : device->errorString();
        return false;
    }
    return true;
}

namespace {

constexpr double tileMarginMm = 15; // room for the crosses, labels and rulers
constexpr double overlapMm = 10;
constexpr double crossOffsetMm = 9; // from the area's edge into the margin

// Visible Helvetica text, `size` pt, its baseline starting at (x, y) pt from the bottom left.
QByteArray label(const QString &text, double size, double x, double y)
{
    return "BT /F1 " + number(size) + " Tf " + number(x) + ' ' + number(y) + " Td " + literal(text)
        + " Tj ET\n";
}

}

std::vector<QPointF> Tiles::crosses(int column, int row, QSize image) const
{
    const double k = marginPx / tileMarginMm; // pixels per mm, near enough for a mark's place
    const QPoint o = origin(column, row);
    const double half = overlapPx / 2.0;
    const double away = crossOffsetMm * k;
    const double right = std::min(o.x() + areaPx.width(), image.width());
    const double bottom = std::min(o.y() + areaPx.height(), image.height());
    std::vector<QPointF> points;
    // Seams with the pages left and right: crosses above and below the area, mid-overlap.
    for (int c : { column - 1, column }) {
        if (c < 0 || c + 1 >= columns)
            continue;
        const double x = (c + 1) * stepPx.width() + half;
        points.push_back(QPointF(x, o.y() - away));
        points.push_back(QPointF(x, bottom + away));
    }
    for (int r : { row - 1, row }) {
        if (r < 0 || r + 1 >= rows)
            continue;
        const double y = (r + 1) * stepPx.height() + half;
        points.push_back(QPointF(o.x() - away, y));
        points.push_back(QPointF(right + away, y));
    }
    return points;
}

std::optional<Tiles> tiles(const EncoderSettings &settings, QSize image)
{
    if (settings.pdfPageWidthMm <= 0 || settings.pdfPageHeightMm <= 0)
        return std::nullopt;
    const double k = Units::dotsPerMm(settings.dpi);
    std::optional<Tiles> best;
    for (bool landscape : { false, true }) {
        Tiles t;
        t.pageMm = landscape ? QSizeF(settings.pdfPageHeightMm, settings.pdfPageWidthMm)
                             : QSizeF(settings.pdfPageWidthMm, settings.pdfPageHeightMm);
        t.marginPx = int(std::trunc(tileMarginMm * k));
        t.areaPx = QSize(int(std::floor(t.pageMm.width() * k)) - 2 * t.marginPx,
            int(std::floor(t.pageMm.height() * k)) - 2 * t.marginPx);
        t.overlapPx = qRound(overlapMm * k);
        t.stepPx = t.areaPx - QSize(t.overlapPx, t.overlapPx);
        if (t.stepPx.width() <= 0 || t.stepPx.height() <= 0)
            continue;
        const auto count = [](int length, int area, int step) {
            return length <= area ? 1 : 1 + (length - area + step - 1) / step;
        };
        t.columns = count(image.width(), t.areaPx.width(), t.stepPx.width());
        t.rows = count(image.height(), t.areaPx.height(), t.stepPx.height());
        if (!best || t.count() < best->count())
            best = t;
    }
    return best;
}

namespace {

bool writeTiledPdf(PixelPacking::PixelRows &rows, const EncoderSettings &settings, const Tiles &t,
    QIODevice *device, QString *reason)
{
    const QSize image = rows.size();
    const double pt = 72.0 / settings.dpi; // points per pixel
    const double ptPerMm = Units::pointsPerMm;
    const double pageWidth = t.pageMm.width() * ptPerMm, pageHeight = t.pageMm.height() * ptPerMm;
    const bool map = t.count() > 1;
    const int pages = t.count() + (map ? 1 : 0);
    // Objects: catalog, pages, image, its length, info, then a page and its contents each.
    enum { Catalog = 1, Pages, Image, ImageLength, Info, First };
    PdfOutput pdf(device);
    pdf.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    pdf.object(Catalog, "<< /Type /Catalog /Pages " + ref(Pages) + " >>");
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += ref(First + 2 * i) + ' ';
    pdf.object(
        Pages, "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    const bool written
        = writeImageObject(pdf, rows, settings.shape == Shape::Strip, Image, ImageLength);
    pdf.object(Info, "<< /Producer (Quvelta) /Creator (Quvelta) >>");

    const auto page = [&](int index, const QByteArray &contents) {
        const int id = First + 2 * index;
        pdf.object(id,
            "<< /Type /Page /Parent " + ref(Pages) + " /MediaBox [0 0 " + number(pageWidth) + ' '
                + number(pageHeight) + "] /Resources << /XObject << /Im0 " + ref(Image)
                + " >> /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                  "/Encoding /WinAnsiEncoding >> >> >> /Contents "
                + ref(id + 1) + " >>");
        pdf.object(id + 1,
            "<< /Length " + QByteArray::number(contents.size()) + " >>\nstream\n" + contents
                + "\nendstream");
    };
    // A point of the page in pixels from its top-left corner, as PDF coordinates.
    const auto at
        = [&](QPointF px) { return number(px.x() * pt) + ' ' + number(pageHeight - px.y() * pt); };
    const double mm = Units::dotsPerMm(settings.dpi);
    const QString pageName = QStringLiteral("%1 x %2 mm")
                                 .arg(t.pageMm.width(), 0, 'g', 5)
                                 .arg(t.pageMm.height(), 0, 'g', 5);

    int index = 0;
    if (map) {
        // The map: the pattern's outline and every page's area, numbered, scaled to the page.
        const double room = std::min((pageWidth - 2 * 15 * ptPerMm) / image.width(),
            (pageHeight - 2 * 40 * ptPerMm) / image.height());
        const double x0 = 15 * ptPerMm, top = pageHeight - 40 * ptPerMm;
        QByteArray c = label(QStringLiteral("Quvelta: %1 pages of %2, %3 across, %4 down.")
                                 .arg(t.count())
                                 .arg(pageName)
                                 .arg(t.columns)
                                 .arg(t.rows),
            9, x0, pageHeight - 15 * ptPerMm);
        c += label(QStringLiteral("Print every page at 100 %. Neighbours overlap by 10 mm:"), 7, x0,
            pageHeight - 21 * ptPerMm);
        c += label(QStringLiteral("lay them over each other, crosses on crosses."), 7, x0,
            pageHeight - 25 * ptPerMm);
        c += "0.6 w 0 G " + number(x0) + ' ' + number(top - image.height() * room) + ' '
            + number(image.width() * room) + ' ' + number(image.height() * room) + " re S\n";
        c += "0.3 w 0.5 G\n";
        for (int r = 0; r < t.rows; ++r)
            for (int col = 0; col < t.columns; ++col) {
                const QPoint o = t.origin(col, r);
                const double w = std::min(t.areaPx.width(), image.width() - o.x());
                const double h = std::min(t.areaPx.height(), image.height() - o.y());
                c += number(x0 + o.x() * room) + ' ' + number(top - (o.y() + h) * room) + ' '
                    + number(w * room) + ' ' + number(h * room) + " re S\n";
                c += label(QString::number(r * t.columns + col + 1), 9,
                    x0 + (o.x() + w / 2) * room - 3, top - (o.y() + h / 2) * room - 3);
            }
        page(index++, c);
    }

    for (int r = 0; r < t.rows; ++r)
        for (int col = 0; col < t.columns; ++col) {
            const QPoint o = t.origin(col, r);
            const int number1 = r * t.columns + col + 1;
            const double w = std::min(t.areaPx.width(), image.width() - o.x());
            const double h = std::min(t.areaPx.height(), image.height() - o.y());
            const QPointF area(t.marginPx, t.marginPx);
            // The image, clipped to this page's area.
            QByteArray c = "q " + number(area.x() * pt) + ' '
                + number(pageHeight - (area.y() + h) * pt) + ' ' + number(w * pt) + ' '
                + number(h * pt) + " re W n\n" + number(image.width() * pt) + " 0 0 "
                + number(image.height() * pt) + ' ' + number((area.x() - o.x()) * pt) + ' '
                + number(pageHeight - (area.y() - o.y() + image.height()) * pt) + " cm /Im0 Do Q\n";
            // Crosses where the neighbours overlap, in the margins.
            c += "0 G " + number(0.15 * ptPerMm) + " w\n";
            const double half = Tiles::crossMm / 2 * mm;
            for (const QPointF &p : t.crosses(col, r, image)) {
                const QPointF q = p - QPointF(o) + area;
                c += at(q - QPointF(half, 0)) + " m " + at(q + QPointF(half, 0)) + " l S\n";
                c += at(q - QPointF(0, half)) + " m " + at(q + QPointF(0, half)) + " l S\n";
            }
            // The page's number, and its neighbours' on the edges they share.
            QStringList neighbours;
            if (r > 0)
                neighbours << QStringLiteral("%1 above").arg(number1 - t.columns);
            if (r + 1 < t.rows)
                neighbours << QStringLiteral("%1 below").arg(number1 + t.columns);
            c += label(QStringLiteral("Quvelta page %1 of %2 (row %3, column %4)%5; print at 100 %")
                           .arg(number1)
                           .arg(t.count())
                           .arg(r + 1)
                           .arg(col + 1)
                           .arg(neighbours.isEmpty()
                                   ? QString()
                                   : QStringLiteral(", ") + neighbours.join(QStringLiteral(", "))),
                7, area.x() * pt, pageHeight - 12.5 * ptPerMm);
            const double midY = pageHeight - (area.y() + h / 2) * pt;
            if (col > 0)
                c += label(QStringLiteral("< %1").arg(number1 - 1), 7, 1.5 * ptPerMm, midY);
            if (col + 1 < t.columns)
                c += label(QStringLiteral("%1 >").arg(number1 + 1), 7,
                    (area.x() + w) * pt + 7 * ptPerMm, midY);
            if (settings.calibration) {
                // A millimetre ruler under the area and one right of it, drawn for the printer.
                const QPointF per(mm / settings.scaleX, mm / settings.scaleY);
                const double y0 = area.y() + h + 0.5 * mm, x0 = area.x() + w + 0.5 * mm;
                const int across = int(w / per.x()), down = int(h / per.y());
                for (int i = 0; i <= across; ++i) {
                    const double x = area.x() + i * per.x();
                    const double l = (i % 10 == 0 ? 3.0 : i % 5 == 0 ? 2.0 : 1.5) * mm;
                    c += at(QPointF(x, y0)) + " m " + at(QPointF(x, y0 + l)) + " l S\n";
                    if (i % 10 == 0 && i > 0)
                        c += label(
                            QString::number(i), 5, x * pt - 3, pageHeight - (y0 + 5 * mm) * pt);
                }
                for (int i = 0; i <= down; ++i) {
                    const double y = area.y() + i * per.y();
                    const double l = (i % 10 == 0 ? 3.0 : i % 5 == 0 ? 2.0 : 1.5) * mm;
                    c += at(QPointF(x0, y)) + " m " + at(QPointF(x0 + l, y)) + " l S\n";
                    if (i % 10 == 0 && i > 0)
                        c += label(
                            QString::number(i), 5, (x0 + 3.5 * mm) * pt, pageHeight - y * pt - 2);
                }
            }
            page(index++, c);
        }
    pdf.finish(Catalog, Info);
    if (!written || !pdf.ok()) {
        *reason = device->errorString().isEmpty() ? QStringLiteral("write failed")
                                                  : device->errorString();
        return false;
    }
    return true;
}

}

}
