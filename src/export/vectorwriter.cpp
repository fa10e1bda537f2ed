// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "vectorwriter.h"

#include "arcs.h"
#include "deflater.h"
#include "description.h"
#include "exporterror.h"
#include "outputfile.h"
#include "patterngeometry.h"
#include "pdfoutput.h"
#include "pdfwriter.h"
#include "pixelrule.h"
#include "units.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>

namespace VectorExport {

namespace {

using Shapes::Contour;
using Shapes::Layer;
using Shapes::Segment;

// Millimetres to the nanometre, no trailing zeros: a mark repeated thousands of times keeps its
// width exactly enough.
QByteArray num(double value)
{
    return PdfExport::number(value, 6);
}

// A length that is multiplied (a spacing, a scale): every digit a double holds, so that a
// thousand repeats add no rounding.
QByteArray exact(double value)
{
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

// A point appended to a path, followed by `then`: a fine disc's million points make no text of
// their own.
void appendPoint(QByteArray &out, QPointF p, const char *then)
{
    PdfExport::appendNumber(out, p.x(), 6);
    out.append(' ');
    PdfExport::appendNumber(out, p.y(), 6);
    out.append(then);
}

// Cut lines are red in every format, whatever the pattern's colours: cutters and their
// programs take red for "cut", and it tells them from the print.
constexpr char cutColour[] = "#ff0000";

QByteArray hexColor(const QColor &color)
{
    return color.name(QColor::HexRgb).toLatin1();
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a));
}

bool near(QPointF a, QPointF b)
{
    return near(a.x(), b.x()) && near(a.y(), b.y());
}

// Whether `b` is `a` moved right by dx.
bool translated(const Contour &a, const Contour &b, double dx)
{
    const QPointF d(dx, 0);
    if (a.segments.size() != b.segments.size() || !near(a.start + d, b.start))
        return false;
    for (size_t i = 0; i < a.segments.size(); ++i) {
        const Segment &s = a.segments[i];
        const Segment &t = b.segments[i];
        if (s.kind != t.kind || !near(s.to + d, t.to))
            return false;
        if (s.kind == Segment::Kind::Arc
            && (!near(s.center + d, t.center) || !near(s.radius, t.radius)
                || !near(s.sweepDegrees, t.sweepDegrees)))
            return false;
    }
    return true;
}

// Contours first, first + 1, ... that are one shape repeated `count` times at a horizontal
// pitch `step`: a fine strip track is thousands of equal marks, written once and repeated.
struct Repeat
{
    size_t first = 0;
    int count = 1;
    double step = 0;
};

constexpr int minimumRepeat = 8;

std::vector<Repeat> repeats(const std::vector<Contour> &contours, bool compact)
{
    std::vector<Repeat> result;
    if (!compact) {
        result.reserve(contours.size());
        for (size_t i = 0; i < contours.size(); ++i)
            result.push_back({ i, 1, 0 });
        return result;
    }
    for (size_t i = 0; i < contours.size();) {
        Repeat r { i, 1, 0 };
        if (i + 1 < contours.size()) {
            r.step = contours[i + 1].start.x() - contours[i].start.x();
            while (i + r.count < contours.size() && r.step > 0
                && translated(contours[i], contours[i + r.count], r.step * r.count))
                ++r.count;
        }
        if (r.count < minimumRepeat)
            r.count = 1;
        result.push_back(r);
        i += size_t(r.count);
    }
    return result;
}

// Arcs cut into pieces of at most `maxDegrees`, for formats whose arcs cannot go all the way round.
template<typename Visit> void forEachArcPiece(const Segment &s, double maxDegrees, Visit visit)
{
    Arcs::forEachPiece(s.center, s.radius, s.startDegrees, s.sweepDegrees, s.to, maxDegrees, visit);
}

// The file written as it is made: a strip of 65,535 marks is tens of megabytes of text that
// need not sit in memory whole.
class StreamedFile
{
public:
    explicit StreamedFile(const QString &fileName)
        : file(fileName)
    {
    }
    bool open(QString *error) { return file.open(error); }
    // Writes what has gathered in `text` once it is large (or now) and empties it.
    void spill(QByteArray &text, bool now = false)
    {
        if (text.size() < (1 << 20) && !now)
            return;
        if (reason.isEmpty() && file.device()->write(text) != text.size())
            reason = file.device()->errorString();
        text.resize(0); // keeps the capacity for the next chunk
    }
    bool finish(QByteArray &text, QString *error)
    {
        spill(text, true);
        if (!reason.isEmpty()) {
            *error = file.failure(reason);
            file.cancel();
            return false;
        }
        return file.commit(error);
    }

private:
    OutputFile file;
    QString reason;
};

QByteArray xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray svgPath(const std::vector<const Contour *> &contours)
{
    QByteArray d;
    for (const Contour *contour : contours) {
        const Contour &c = *contour;
        d += 'M';
        appendPoint(d, c.start, "");
        for (const Segment &s : c.segments) {
            if (s.kind == Segment::Kind::Line) {
                d += 'L';
                appendPoint(d, s.to, "");
                continue;
            }
            // With y down, SVG's sweep flag 1 is clockwise as seen; ours are counter-clockwise.
            // Pieces of at most 90 degrees: an end point near 180 degrees leaves the centre
            // ill-determined, and a reader's centre off the circle.
            forEachArcPiece(s, 90.0, [&](double, double sweep, QPointF to) {
                d += 'A' + num(s.radius) + ' ' + num(s.radius) + " 0 0 " + (sweep > 0 ? '0' : '1')
                    + ' ';
                appendPoint(d, to, "");
            });
        }
        d += 'Z';
    }
    return d;
}

QByteArray svgId(const QString &name)
{
    QByteArray id;
    for (const QChar c : name.toLower()) {
        if (c.isLetterOrNumber())
            id += char(c.toLatin1());
        else if (!id.endsWith('-'))
            id += '-';
    }
    while (id.endsWith('-'))
        id.chop(1);
    return id;
}

// R12 layer names take letters, digits, '_' and '-' only.
QByteArray dxfLayerName(QString name)
{
    name.replace(QStringLiteral("most significant"), QStringLiteral("MSB"));
    name.replace(QStringLiteral("least significant"), QStringLiteral("LSB"));
    QByteArray out;
    for (const QChar c : name.toUpper()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            out += char(c.toLatin1());
        else if (!out.isEmpty() && !out.endsWith('_'))
            out += '_';
    }
    while (out.endsWith('_'))
        out.chop(1);
    return out.left(31);
}

class DxfOutput
{
public:
    void group(int code, const QByteArray &value)
    {
        code3(code);
        text.append(value).append('\n');
    }
    void group(int code, double value)
    {
        code3(code);
        PdfExport::appendNumber(text, value, 6);
        text.append('\n');
    }
    // A point's x, y and z (always 0: the drawing is flat).
    void point(QPointF p = {})
    {
        group(10, p.x());
        group(20, p.y());
        group(30, 0.0);
    }
    void groups(std::initializer_list<std::pair<int, QByteArray>> list)
    {
        for (const auto &[code, value] : list)
            group(code, value);
    }
    QByteArray text;

private:
    // "%3d\n" without snprintf, which was a tenth of a fine strip's file.
    void code3(int code)
    {
        char head[16] = { ' ', ' ', ' ' };
        char digits[12];
        const int length = int(std::to_chars(digits, digits + sizeof digits, code).ptr - digits);
        const int pad = std::max(0, 3 - length);
        std::memcpy(head + pad, digits, size_t(length));
        head[pad + length] = '\n';
        text.append(head, pad + length + 1);
    }
};

// A closed polyline; a vertex's bulge shapes the piece from it to the next vertex: tan(sweep / 4),
// positive counter-clockwise, which flipping y keeps as it is seen.
template<typename Flip>
void dxfPolyline(DxfOutput &dxf, const Contour &c, const QByteArray &layer, Flip flip)
{
    dxf.group(0, "POLYLINE");
    dxf.group(8, layer);
    dxf.group(66, "1");
    dxf.point();
    dxf.group(70, "1"); // closed
    const auto vertex = [&](QPointF p, double bulge) {
        const QPointF q = flip(p);
        dxf.group(0, "VERTEX");
        dxf.group(8, layer);
        dxf.point(q);
        if (bulge != 0)
            dxf.group(42, QByteArray::number(bulge, 'g', 12));
    };
    QPointF at = c.start;
    for (const Segment &s : c.segments) {
        if (s.kind == Segment::Kind::Line) {
            vertex(at, 0);
            at = s.to;
            continue;
        }
        forEachArcPiece(s, 90.0, [&](double, double sweep, QPointF to) {
            vertex(at, Arcs::bulge(sweep));
            at = to;
        });
    }
    if (std::hypot(at.x() - c.start.x(), at.y() - c.start.y()) > 1e-9)
        vertex(at, 0);
    dxf.group(0, "SEQEND");
    dxf.group(8, layer);
}

// Marks held at a time while a writer streams a track's layer: a few megabytes.
constexpr size_t layerPart = 8192;

// The layers written, in parts as they come: the pattern's, or a part's cut contours alone.
void forEachDrawnLayer(const PatternGeometry &geometry, const Options &options,
    const std::function<void(const Layer &)> &visit)
{
    if (options.cut)
        visit(*options.cut);
    else
        geometry.forEachLayer(PatternGeometry::MarkEdges::InsideBorder,
            [&visit](Layer &&layer) { visit(layer); }, layerPart);
}
}

static bool writeSvgUnguarded(const EncoderSettings &settings, const QString &fileName,
    QString *error, const Options &options)
{
    const PatternGeometry geometry = patternGeometry(settings);
    StreamedFile file(fileName);
    if (!file.open(error))
        return false;
    const QSizeF page = geometry.page;
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                     "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                     "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
                     "version=\"1.1\" width=\""
        + num(page.width()) + "mm\" height=\"" + num(page.height()) + "mm\" viewBox=\"0 0 "
        + num(page.width()) + ' ' + num(page.height())
        + "\">\n<title>Quvelta encoder pattern</title>\n";
    const QString description = describePattern(settings) + options.comment;
    svg += "<desc>" + xmlEscaped(description) + "</desc>\n<!--\n"
        + description.toUtf8().replace("--", "- -") + "\n-->\n";
    if (!options.transparent && !options.cut)
        svg += "<rect id=\"background\" width=\"" + num(page.width()) + "\" height=\""
            + num(page.height()) + "\" fill=\"" + hexColor(settings.background) + "\"/>\n";
    // A layer's later parts go into the group its first part opened.
    bool opened = false;
    QString openName;
    QByteArray id;
    int block = 0;
    forEachDrawnLayer(geometry, options, [&](const Layer &layer) {
        if (!opened || openName != layer.name) {
            if (opened)
                svg += "</g>\n";
            opened = true;
            openName = layer.name;
            id = svgId(layer.name);
            block = 0;
            const QByteArray paint = layer.kind == Layer::Kind::Fill
                ? "fill=\"" + hexColor(settings.foreground) + '"'
                : QByteArray("fill=\"none\" stroke=\"") + cutColour + "\" stroke-width=\"0.01\"";
            svg += "<g id=\"" + id + "\" inkscape:groupmode=\"layer\" inkscape:label=\""
                + xmlEscaped(layer.name) + "\" " + paint + ">\n";
        }
        std::vector<const Contour *> single;
        QByteArray instances;
        for (const Repeat &r : repeats(layer.contours, options.compact)) {
            if (r.count == 1) {
                single.push_back(&layer.contours[r.first]);
                continue;
            }
            // Blocks of 1, 2, 4, ... marks, each two of the one before; the count is made of
            // the blocks its binary digits name.
            const QByteArray name = id + "-mark" + QByteArray::number(block++);
            int levels = 0;
            while ((2 << levels) <= r.count)
                ++levels;
            instances += "<defs><path id=\"" + name + "-0\" d=\""
                + svgPath({ &layer.contours[r.first] }) + "\"/>";
            for (int j = 1; j <= levels; ++j) {
                const QByteArray previous = "#" + name + '-' + QByteArray::number(j - 1);
                instances += "<g id=\"" + name + '-' + QByteArray::number(j)
                    + "\"><use xlink:href=\"" + previous + "\"/><use xlink:href=\"" + previous
                    + "\" x=\"" + exact(r.step * (1 << (j - 1))) + "\"/></g>";
            }
            instances += "</defs>\n";
            long long offset = 0;
            for (int j = levels; j >= 0; --j) {
                if (!(r.count & (1 << j)))
                    continue;
                instances += "<use xlink:href=\"#" + name + '-' + QByteArray::number(j) + '"'
                    + (offset ? " x=\"" + exact(r.step * double(offset)) + '"' : QByteArray())
                    + "/>\n";
                offset += 1LL << j;
            }
        }
        if (layer.name == QLatin1String("legend") && geometry.calibration)
            svg += "<desc>" + xmlEscaped(geometry.calibration->legendLines.join(QLatin1Char(' ')))
                + "</desc>\n";
        // Each mark its own element, so importers that count or move objects see every one;
        // a layer with holes (frames, circles, glyphs) stays one path for the fill rule.
        const bool holes = layer.kind == Layer::Kind::Fill
            && std::any_of(
                single.begin(), single.end(), [](const Contour *c) { return c->signedArea() < 0; });
        if (!options.compact && !holes) {
            for (const Contour *c : single) {
                svg += "<path d=\"" + svgPath({ c }) + "\"/>\n";
                file.spill(svg);
            }
        } else if (!single.empty()) {
            svg += "<path d=\"" + svgPath(single) + "\"/>\n";
        }
        svg += instances;
        file.spill(svg);
    });
    if (opened)
        svg += "</g>\n";
    svg += "</svg>\n";
    return file.finish(svg, error);
}

static bool writeVectorPdfUnguarded(const EncoderSettings &settings, const QString &fileName,
    QString *error, const Options &options)
{
    const PatternGeometry geometry = patternGeometry(settings);
    const QSizeF pageMm = PixelRule::pdfPageSizeMm(settings);
    constexpr double pointsPerMm = Units::pointsPerMm;
    constexpr double margin = 10.0;
    using PdfExport::number;
    using PdfExport::ref;

    OutputFile file(fileName);
    if (!file.open(error))
        return false;
    PdfExport::PdfOutput pdf(file.device());
    enum { Catalog = 1, Pages, Page, Contents, ContentsLength, Info, FirstLayer };
    pdf.write("%PDF-1.5\n%\xe2\xe3\xcf\xd3\n");

    // The content goes to the file as it is made, a layer at a time: a fine disc's marks would
    // take tens of megabytes held whole. Level 4 packs the text of thousands of marks within 1 %
    // of level 6's size (smaller on fine discs) in a third of the time.
    pdf.beginObject(Contents);
    pdf.write("<< /Length " + ref(ContentsLength) + " /Filter /FlateDecode >>\nstream\n");
    const qint64 streamStart = pdf.position();
    ParallelDeflater deflater(
        [&pdf](const char *data, int size) {
            return pdf.write(QByteArray::fromRawData(data, size));
        },
        4, Z_DEFAULT_STRATEGY);
    const auto deflate = [&deflater](QByteArray &text) {
        deflater.add(reinterpret_cast<const unsigned char *>(text.constData()), int(text.size()));
        text.resize(0);
    };
    // Page space in millimetres with y down, the pattern's page one margin in from the top left.
    // A compensated pattern's millimetres are drawn 1 / scale as large; the margin stays.
    // The scale with every digit: 2.8346 points per mm would make 200 mm 3 um short.
    QByteArray content = "q " + exact(pointsPerMm / settings.scaleX) + " 0 0 "
        + exact(-pointsPerMm / settings.scaleY) + ' ' + exact(margin * pointsPerMm) + ' '
        + exact((pageMm.height() - margin) * pointsPerMm) + " cm\n";
    const auto rgb = [](const QColor &c) {
        return number(c.redF()) + ' ' + number(c.greenF()) + ' ' + number(c.blueF());
    };
    if (!options.transparent && !options.cut)
        content += rgb(settings.background) + " rg 0 0 " + num(geometry.page.width()) + ' '
            + num(geometry.page.height()) + " re f\n";
    content += rgb(settings.foreground) + " rg 0 w\n";
    std::vector<std::pair<QString, Layer::Kind>> drawn;
    const auto endLayer = [](Layer::Kind kind) {
        return QByteArray(kind == Layer::Kind::Fill ? "f\nEMC\n" : "S\nEMC\n");
    };
    const auto draw = [&](const Layer &layer) {
        // A layer's later parts go on with the path its first part began: one fill, as one
        // layer (fills of parts would blend apart where a reader draws marks finer than pixels).
        if (drawn.empty() || drawn.back().first != layer.name) {
            if (!drawn.empty())
                content += endLayer(drawn.back().second);
            content += "/OC /L" + QByteArray::number(qulonglong(drawn.size())) + " BDC\n";
            drawn.emplace_back(layer.name, layer.kind);
        }
        if (layer.kind == Layer::Kind::Cut)
            content += "1 0 0 RG\n";
        for (const Contour &c : layer.contours) {
            appendPoint(content, c.start, " m\n");
            for (const Segment &s : c.segments) {
                if (s.kind == Segment::Kind::Line) {
                    appendPoint(content, s.to, " l\n");
                    continue;
                }
                // Cubic pieces of at most 45 degrees: within 0.0005 mm of the circle at 100 mm.
                forEachArcPiece(s, 45.0, [&](double start, double sweep, QPointF to) {
                    const Arcs::Cubic c = Arcs::cubic(s.center,
                        Shapes::pointOnCircle(s.center, s.radius, start), to, sweep * M_PI / 180);
                    appendPoint(content, c.c1, " ");
                    appendPoint(content, c.c2, " ");
                    appendPoint(content, to, " c\n");
                });
            }
            content += "h\n";
            if (content.size() >= (1 << 20))
                deflate(content);
        }
    };
    forEachDrawnLayer(geometry, options, draw);
    if (!drawn.empty())
        content += endLayer(drawn.back().second);
    if (geometry.calibration) {
        // The legend is drawn in glyph outlines; this invisible copy makes it text a reader can
        // search and copy.
        const Calibration &c = *geometry.calibration;
        for (int i = 0; i < c.legendLines.size(); ++i)
            content += PdfExport::invisibleText(
                c.legendLines[i], c.textSize, c.legendBaselines[size_t(i)], true);
    }
    content += "Q\n";
    deflate(content);
    const bool packed = deflater.finish();
    const qint64 streamLength = pdf.position() - streamStart;
    pdf.write("\nendstream\nendobj\n");
    pdf.object(ContentsLength, QByteArray::number(streamLength));

    QByteArray ocgs;
    QByteArray properties;
    for (size_t i = 0; i < drawn.size(); ++i) {
        ocgs += ref(FirstLayer + int(i)) + ' ';
        properties += "/L" + QByteArray::number(qulonglong(i)) + ' ' + ref(FirstLayer + int(i)) + ' ';
    }
    ocgs = ocgs.trimmed();
    pdf.object(Catalog,
        "<< /Type /Catalog /Pages " + ref(Pages) + " /OCProperties << /OCGs [" + ocgs
            + "] /D << /Order [" + ocgs + "] /AS [<< /Event /Print /Category [/Print] /OCGs ["
            + ocgs + "] >>] >> >> >>");
    pdf.object(Pages, "<< /Type /Pages /Kids [" + ref(Page) + "] /Count 1 >>");
    pdf.object(Page,
        "<< /Type /Page /Parent " + ref(Pages) + " /MediaBox [0 0 "
            + number(pageMm.width() * pointsPerMm, 6) + ' '
            + number(pageMm.height() * pointsPerMm, 6) + "] /Resources << /Properties << "
            + properties + ">> " + PdfExport::invisibleTextFont + " >> /Contents "
            + ref(Contents) + " >>");
    pdf.object(
        Info, "<< /Producer (Quvelta) /Creator (Quvelta) /Title (Quvelta encoder pattern) >>");
    for (size_t i = 0; i < drawn.size(); ++i) {
        const auto &[layerName, kind] = drawn[i];
        QByteArray name;
        for (const QChar c : layerName)
            name += (c == QLatin1Char('(') || c == QLatin1Char(')') || c == QLatin1Char('\\'))
                ? QByteArray("\\") + char(c.toLatin1())
                : QByteArray(1, char(c.toLatin1()));
        // A cut outline guides a cutter or scissors; printed, it would be a line too many.
        const QByteArray usage = kind == Layer::Kind::Cut
            ? " /Usage << /Print << /Subtype /Print /PrintState /OFF >> >>"
            : QByteArray();
        pdf.object(FirstLayer + int(i), "<< /Type /OCG /Name (" + name + ")" + usage + " >>");
    }
    pdf.finish(Catalog, Info);
    if (!pdf.ok() || !packed) {
        *error = file.failure(file.device()->errorString());
        file.cancel();
        return false;
    }
    return file.commit(error);
}

static bool writeDxfUnguarded(const EncoderSettings &settings, const QString &fileName,
    QString *error, const Options &options)
{
    const PatternGeometry geometry = patternGeometry(settings);
    // A drawing has its own scale: no ruler, and the legend as text rather than outlines.
    // The layers come in parts, three times over (names, blocks, entities), rather than held
    // whole: a fine disc's marks would take tens of megabytes.
    const auto eachLayer = [&](const std::function<void(const Layer &)> &visit) {
        forEachDrawnLayer(geometry, options, [&visit](const Layer &l) {
            if (l.name != QLatin1String("ruler") && l.name != QLatin1String("legend"))
                visit(l);
        });
    };
    std::vector<std::pair<QString, Layer::Kind>> layers;
    eachLayer([&layers](const Layer &l) {
        if (layers.empty() || layers.back().first != l.name)
            layers.emplace_back(l.name, l.kind);
    });
    if (geometry.calibration)
        layers.emplace_back(QStringLiteral("legend"), Layer::Kind::Fill);
    const double height = geometry.page.height();
    // DXF's y axis points up.
    const auto flip = [height](QPointF p) { return QPointF(p.x(), height - p.y()); };

    StreamedFile file(fileName);
    if (!file.open(error))
        return false;
    DxfOutput dxf;
    for (const QString &line :
        (describePattern(settings) + options.comment).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        dxf.group(999, line.toUtf8());
    dxf.groups({ { 0, "SECTION" }, { 2, "HEADER" }, { 9, "$ACADVER" }, { 1, "AC1009" },
        { 9, "$INSUNITS" }, { 70, "4" } /* millimetres */, { 9, "$MEASUREMENT" },
        { 70, "1" } /* metric */, { 9, "$EXTMIN" }, { 10, "0" }, { 20, "0" }, { 9, "$EXTMAX" },
        { 10, num(geometry.page.width()) }, { 20, num(height) }, { 0, "ENDSEC" } });
    dxf.groups({ { 0, "SECTION" }, { 2, "TABLES" }, { 0, "TABLE" }, { 2, "LTYPE" }, { 70, "1" },
        { 0, "LTYPE" }, { 2, "CONTINUOUS" }, { 70, "0" }, { 3, "Solid line" }, { 72, "65" },
        { 73, "0" }, { 40, "0" }, { 0, "ENDTAB" } });
    dxf.groups({ { 0, "TABLE" }, { 2, "LAYER" },
        { 70, QByteArray::number(qulonglong(layers.size() + 1)) } });
    const auto layerEntry = [&dxf](const QByteArray &name, const QByteArray &colour) {
        dxf.groups(
            { { 0, "LAYER" }, { 2, name }, { 70, "0" }, { 62, colour }, { 6, "CONTINUOUS" } });
    };
    layerEntry("0", "7");
    for (const auto &[name, kind] : layers)
        layerEntry(dxfLayerName(name), kind == Layer::Kind::Cut ? "1" : "7"); // cut red
    dxf.group(0, "ENDTAB");
    dxf.group(0, "ENDSEC");

    // A repeated mark is a block, placed once as an array of columns.
    dxf.group(0, "SECTION");
    dxf.group(2, "BLOCKS");
    int blocks = 0;
    eachLayer([&](const Layer &layer) {
        if (!options.compact)
            return;
        for (const Repeat &r : repeats(layer.contours, true)) {
            if (r.count == 1)
                continue;
            const QByteArray block = "MARK" + QByteArray::number(blocks++);
            dxf.group(0, "BLOCK");
            dxf.group(8, "0");
            dxf.group(2, block);
            dxf.group(70, "0");
            dxf.point();
            dxf.group(3, block);
            dxfPolyline(dxf, layer.contours[r.first], "0", flip);
            dxf.group(0, "ENDBLK");
            dxf.group(8, "0");
        }
        file.spill(dxf.text);
    });
    dxf.group(0, "ENDSEC");

    dxf.group(0, "SECTION");
    dxf.group(2, "ENTITIES");
    blocks = 0;
    eachLayer([&](const Layer &layer) {
        const QByteArray name = dxfLayerName(layer.name);
        for (const Repeat &r : repeats(layer.contours, options.compact)) {
            const Contour &c = layer.contours[r.first];
            if (r.count > 1) {
                dxf.group(0, "INSERT");
                dxf.group(8, name);
                dxf.group(2, "MARK" + QByteArray::number(blocks++));
                dxf.point();
                dxf.group(70, QByteArray::number(r.count)); // columns
                dxf.group(44, exact(r.step)); // column spacing
                continue;
            }
            const bool wholeCircle = c.segments.size() == 1
                && c.segments.front().kind == Segment::Kind::Arc
                && std::fabs(c.segments.front().sweepDegrees) >= 360.0;
            if (wholeCircle && layer.kind == Layer::Kind::Cut) {
                const Segment &s = c.segments.front();
                const QPointF center = flip(s.center);
                dxf.group(0, "CIRCLE");
                dxf.group(8, name);
                dxf.point(center);
                dxf.group(40, s.radius);
                continue;
            }
            dxfPolyline(dxf, c, name, flip);
            file.spill(dxf.text);
        }
    });
    if (geometry.calibration) {
        // What the drawing holds: no rulers and no printing, so the legend says neither.
        const Calibration &c = *geometry.calibration;
        const QStringList lines { calibrationLegend(settings, 0, 0).first(),
            QStringLiteral("Drawn 1:1 in millimetres.") };
        const double spacing = c.textSize * 1.3;
        for (int i = 0; i < lines.size(); ++i) {
            const QPointF at = flip(c.legendBaselines.front() + QPointF(0, spacing * i));
            dxf.group(0, "TEXT");
            dxf.group(8, "LEGEND");
            dxf.point(at);
            dxf.group(40, c.textSize * 0.72); // cap height
            dxf.group(1, lines[i].toLatin1());
        }
    }
    dxf.group(0, "ENDSEC");
    dxf.group(0, "EOF");
    return file.finish(dxf.text, error);
}

bool writeSvg(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options)
{
    return reportingMemory(
        fileName, error, [&] { return writeSvgUnguarded(settings, fileName, error, options); });
}

bool writeVectorPdf(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options)
{
    return reportingMemory(fileName, error,
        [&] { return writeVectorPdfUnguarded(settings, fileName, error, options); });
}

bool writeDxf(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options)
{
    return reportingMemory(
        fileName, error, [&] { return writeDxfUnguarded(settings, fileName, error, options); });
}

bool write(Export::Format format, const EncoderSettings &settings, const QString &fileName,
    QString *error, const Options &options)
{
    switch (format) {
    case Export::Format::Svg:
        return writeSvg(settings, fileName, error, options);
    case Export::Format::Pdf:
        return writeVectorPdf(settings, fileName, error, options);
    case Export::Format::Dxf:
        return writeDxf(settings, fileName, error, options);
    default:
        *error = cantWrite(fileName, QStringLiteral("not a vector format"));
        return false;
    }
}

}
