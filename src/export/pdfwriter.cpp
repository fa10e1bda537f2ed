#include "pdfwriter.h"

#include "deflater.h"
#include "patterngeometry.h"
#include "pdfoutput.h"
#include "pixelpacking.h"
#include "pixelrule.h"
#include "preciseraster.h"

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

QByteArray number(double value, int decimals)
{
    QByteArray text = QByteArray::number(value, 'f', decimals);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

bool writePdfPage(PixelPacking::PixelRows &rows, const EncoderSettings &settings, QIODevice *device,
    QString *reason)
{
    const QSizeF pageMm = PixelRule::pdfPageSizeMm(settings);
    const int dpi = settings.dpi;
    const QSize samples = rows.size();
    const PixelPacking::RowPacker packer(rows.layout(), samples.width());

    const double pointsPerMm = 72.0 / 25.4;
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

    pdf.beginObject(Image);
    pdf.write("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(samples.width())
        + " /Height " + QByteArray::number(samples.height()) + " /ColorSpace "
        + colorSpace(packer.layout()) + " /BitsPerComponent "
        + QByteArray::number(packer.layout().bitsPerPixel() == 1 ? 1 : 8)
        + " /Interpolate false /Filter /FlateDecode /Length " + ref(ImageLength) + " >>\nstream\n");
    const qint64 streamStart = pdf.position();
    bool written = false;
    {
        // A strip's rows repeat the row above: a fast search for it finds them (a tenth of the
        // size, faster). A disc's rows do not; runs of one byte compress them best.
        const bool strip = settings.shape == Shape::Strip;
        Deflater deflater(
            [&pdf](const char *data, int size) {
                return pdf.write(QByteArray::fromRawData(data, size));
            },
            strip ? 1 : 6, strip ? Z_DEFAULT_STRATEGY : Z_RLE);
        std::vector<uchar> row(size_t(packer.rowBytes()));
        written = true;
        for (int y = 0; written && y < samples.height(); ++y) {
            rows.packRow(y, packer, row.data());
            written = deflater.add(row.data(), int(row.size()));
        }
        written = written && deflater.finish();
    }
    const qint64 streamLength = pdf.position() - streamStart;
    pdf.write("\nendstream\nendobj\n");
    pdf.object(ImageLength, QByteArray::number(streamLength));

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

}
