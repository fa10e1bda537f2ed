// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "arcs.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QImage>

#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cmath>
#include <map>

// The DXF and SVG files read by the programs makers import them with: each must see every mark
// of every track, as the pattern geometry has them.
class TestImporters : public QObject
{
    Q_OBJECT

private slots:
    void ezdxfSeesEveryMark_data() { settingsTable(); }
    void ezdxfSeesEveryMark();
    void ezdxfPlacesEveryMark_data() { settingsTable(); }
    void ezdxfPlacesEveryMark();
    void inkscapePngShowsEveryMark_data() { settingsTable(); }
    void inkscapePngShowsEveryMark();
    void inkscapeSvgSeesEveryMark_data() { settingsTable(); }
    void inkscapeSvgSeesEveryMark();
    void inkscapeDxfSeesEveryMark_data() { settingsTable(); }
    void inkscapeDxfSeesEveryMark();
    void compactDxfLosesMarksInInkscape();
    void librecadDrawsEveryEdge_data() { settingsTable(); }
    void librecadDrawsEveryEdge();

private:
    static void settingsTable();
    // Marks per track layer, keyed by the name the format gives the layer.
    using Counts = std::map<QString, int>;
    static Counts expectedMarks(const QStringList &arguments, bool dxf);
    QString written(const QStringList &arguments, const QString &suffix);
    static QString run(const QString &program, const QStringList &arguments, bool *ok);
    static QString compare(const Counts &found, const Counts &expected);
    QTemporaryDir dir;
};

void TestImporters::settingsTable()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("relative strip, quadrature and index")
        << QStringList { "--type", "relative", "--pairs", "100", "--width", "100", "--height",
               "10", "--quadrature", "--index" };
    QTest::newRow("6-bit absolute strip") << QStringList { "--bits", "6", "--width", "120" };
    QTest::newRow("6-bit Gray disc") << QStringList { "--shape", "disc", "--code", "gray",
        "--bits", "6", "--outer-radius", "40", "--inner-radius", "10" };
    QTest::newRow("360-pair relative disc with a hole")
        << QStringList { "--shape", "disc", "--type", "relative", "--pairs", "360",
               "--outer-radius", "50", "--inner-radius", "30" };
}

// The layer names of the writer: DXF R12 upper case with '_', SVG ids lower case with '-'.
static QString layerName(QString name, bool dxf)
{
    if (dxf) {
        name.replace(QStringLiteral("most significant"), QStringLiteral("MSB"));
        name.replace(QStringLiteral("least significant"), QStringLiteral("LSB"));
    }
    QString out;
    const QChar gap = dxf ? QLatin1Char('_') : QLatin1Char('-');
    for (const QChar c : dxf ? name.toUpper() : name.toLower()) {
        if (c.isLetterOrNumber())
            out += c;
        else if (!out.isEmpty() && !out.endsWith(gap))
            out += gap;
    }
    while (out.endsWith(gap))
        out.chop(1);
    return out;
}

TestImporters::Counts TestImporters::expectedMarks(const QStringList &arguments, bool dxf)
{
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << QStringLiteral("-o") << QStringLiteral("x.svg"));
    const PatternGeometry geometry = patternGeometry(parsed.job.settings);
    Counts counts;
    for (const Shapes::Layer &layer : geometry.layers()) {
        for (const PatternGeometry::Track &track : geometry.tracks) {
            if (track.name == layer.name)
                counts[layerName(layer.name, dxf)] = int(layer.contours.size());
        }
    }
    return counts;
}

QString TestImporters::written(const QStringList &arguments, const QString &suffix)
{
    const QString name = dir.filePath(QStringLiteral("pattern.") + suffix);
    QProcess process;
    process.start(renderProgram(), QStringList(arguments) << "-o" << name);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    return name;
}

QString TestImporters::run(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Inkscape keeps preferences and a font cache in the home folder.
    static QTemporaryDir home;
    environment.insert(QStringLiteral("HOME"), home.path());
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    *ok = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (!*ok)
        return QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Empty when every expected track layer holds its marks, else what differs.
QString TestImporters::compare(const Counts &found, const Counts &expected)
{
    QStringList wrong;
    for (const auto &[layer, marks] : expected) {
        const auto it = found.find(layer);
        const int seen = it == found.end() ? 0 : it->second;
        if (seen != marks)
            wrong << QStringLiteral("%1: %2 of %3 marks").arg(layer).arg(seen).arg(marks);
    }
    return wrong.join(QLatin1String("; "));
}

// ezdxf: the entities of each layer, as a reader that does not expand block arrays sees them.
void TestImporters::ezdxfSeesEveryMark()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    QFETCH(QStringList, arguments);
    const QString file = written(arguments, QStringLiteral("dxf"));
    QVERIFY(!file.isEmpty());
    bool ok = false;
    const QString report
        = run(QStringLiteral("/usr/bin/python3"), { QStringLiteral(QUVELTA_DXFCHECK_PATH), file }, &ok);
    QVERIFY2(ok, qPrintable(report));
    Counts found;
    int closed = 0;
    for (const QString &line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.first() == QLatin1String("layer")) {
            found[fields[1]] = fields[2].toInt();
            closed += fields[2].toInt();
        }
    }
    // 100 marks of A, 101 of B (one cut by the border line), the index and 4 frame outlines.
    if (QTest::currentDataTag() == QLatin1String("relative strip, quadrature and index"))
        QCOMPARE(closed, 206);
    const Counts expected = expectedMarks(arguments, true);
    QVERIFY(!expected.empty());
    const QString wrong = compare(found, expected);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// ezdxf's vertices of every mark where the pattern has them, to 0.005 mm: each polyline's box of
// vertices (arcs in pieces of at most 90 degrees, y up) against the geometry's.
void TestImporters::ezdxfPlacesEveryMark()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    QFETCH(QStringList, arguments);
    const QString file = written(arguments, QStringLiteral("dxf"));
    QVERIFY(!file.isEmpty());
    bool ok = false;
    const QString report = run(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QUVELTA_DXFCHECK_PATH), QStringLiteral("--boxes"), file }, &ok);
    QVERIFY2(ok, qPrintable(report));
    std::map<QString, std::vector<QRectF>> found;
    for (const QString &line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.first() == QLatin1String("box"))
            found[f[1]].push_back(QRectF(QPointF(f[2].toDouble(), f[3].toDouble()),
                QPointF(f[4].toDouble(), f[5].toDouble())));
    }
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << QStringLiteral("-o") << QStringLiteral("x.dxf"));
    const PatternGeometry g = patternGeometry(parsed.job.settings);
    const double height = g.page.height();
    int marks = 0;
    for (const Shapes::Layer &layer : g.layers(PatternGeometry::MarkEdges::InsideBorder)) {
        if (std::none_of(g.tracks.begin(), g.tracks.end(),
                [&layer](const PatternGeometry::Track &t) { return t.name == layer.name; }))
            continue;
        std::vector<QRectF> expected;
        for (const Shapes::Contour &c : layer.contours) {
            std::vector<QPointF> points { c.start };
            for (const Shapes::Segment &s : c.segments) {
                if (s.kind == Shapes::Segment::Kind::Line)
                    points.push_back(s.to);
                else
                    Arcs::forEachPiece(s.center, s.radius, s.startDegrees, s.sweepDegrees, s.to,
                        90.0, [&points](double, double, QPointF to) { points.push_back(to); });
            }
            double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
            for (const QPointF &p : points) {
                x0 = std::min(x0, p.x());
                x1 = std::max(x1, p.x());
                y0 = std::min(y0, height - p.y());
                y1 = std::max(y1, height - p.y());
            }
            expected.push_back(QRectF(QPointF(x0, y0), QPointF(x1, y1)));
        }
        std::vector<QRectF> seen = found[layerName(layer.name, true)];
        QCOMPARE(seen.size(), expected.size());
        // Each expected mark matched by its own mark of the file.
        std::vector<bool> used(seen.size());
        for (const QRectF &b : expected) {
            double nearest = INFINITY;
            size_t best = 0;
            for (size_t i = 0; i < seen.size(); ++i) {
                const QRectF &a = seen[i];
                const double off
                    = std::max({ std::fabs(a.left() - b.left()), std::fabs(a.top() - b.top()),
                        std::fabs(a.right() - b.right()), std::fabs(a.bottom() - b.bottom()) });
                if (!used[i] && off < nearest) {
                    nearest = off;
                    best = i;
                }
            }
            QVERIFY2(nearest <= 0.005,
                qPrintable(QStringLiteral("%1: a mark %2 mm off").arg(layer.name).arg(nearest)));
            used[best] = true;
            ++marks;
        }
    }
    QVERIFY(marks > 0);
}

// Inkscape draws the SVG into a PNG; along every track's centre line it shows as many marks as
// the renderer's own raster of the same pattern.
void TestImporters::inkscapePngShowsEveryMark()
{
    QUVELTA_NEEDS("inkscape");
    QFETCH(QStringList, arguments);
    const QStringList at { QStringLiteral("--dpi"), QStringLiteral("508") };
    const QString svg = written(QStringList(arguments) << at, QStringLiteral("svg"));
    const QString ours = written(QStringList(arguments) << at, QStringLiteral("png"));
    QVERIFY(!svg.isEmpty() && !ours.isEmpty());
    const QString drawn = dir.filePath(QStringLiteral("inkscape.png"));
    bool ok = false;
    const QString said = run(QStringLiteral("inkscape"),
        { QStringLiteral("--export-type=png"), QStringLiteral("--export-dpi=508"),
            QStringLiteral("--export-filename=") + drawn, svg },
        &ok);
    QVERIFY2(ok, qPrintable(said));
    const QImage theirs(drawn);
    const QImage mine(ours);
    QVERIFY(!theirs.isNull() && !mine.isNull());
    const EncoderSettings s = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << at << QStringLiteral("-o") << QStringLiteral("x.png"))
                                  .job.settings;
    const PatternGeometry g = patternGeometry(s);
    const QPointF k = patternPixelsPerMm(s);
    const QPointF offset = patternPixelOffset(s);
    const double inkscapeK = 508 / 25.4; // the page's top-left corner at pixel 0
    const auto dark = [](const QImage &image, QPointF px) {
        const QPoint p(int(std::floor(px.x())), int(std::floor(px.y())));
        return image.rect().contains(p) && qGray(image.pixel(p)) < 128;
    };
    const bool disc = g.shape == Shape::Disc;
    for (const PatternGeometry::Track &t : g.tracks) {
        const double middle = (t.from + t.to) / 2;
        // Points along the centre line a twentieth of a millimetre apart, inside the border lines.
        std::vector<QPointF> line;
        if (disc) {
            const int n = int(2 * M_PI * middle / 0.02);
            for (int i = 0; i < n; ++i)
                line.push_back(Arcs::pointOnCircle(g.center, middle, 360.0 * i / n));
        } else {
            for (double x = g.nominal.left() + g.lineWidth; x < g.nominal.right() - g.lineWidth;
                 x += 0.02)
                line.push_back(QPointF(x, middle));
        }
        const auto runs = [&](const QImage &image, QPointF scale, QPointF shift) {
            int count = 0;
            for (size_t i = 0; i < line.size(); ++i) {
                const auto on = [&](size_t j) {
                    const QPointF p = line[j];
                    return dark(image,
                        QPointF(p.x() * scale.x() + shift.x(), p.y() * scale.y() + shift.y()));
                };
                const size_t previous = i == 0 ? (disc ? line.size() - 1 : i) : i - 1;
                count += on(i) && (i == previous || !on(previous));
            }
            return count;
        };
        const int mineRuns = runs(mine, k, offset);
        QVERIFY2(mineRuns > 0, qPrintable(t.name));
        QCOMPARE(runs(theirs, QPointF(inkscapeK, inkscapeK), QPointF()), mineRuns);
    }
}

// Inkscape's --query-all lists every object in document order: a layer's group, then what it
// holds.
void TestImporters::inkscapeSvgSeesEveryMark()
{
    QUVELTA_NEEDS("inkscape");
    QFETCH(QStringList, arguments);
    const QString file = written(arguments, QStringLiteral("svg"));
    QVERIFY(!file.isEmpty());
    bool ok = false;
    const QString report
        = run(QStringLiteral("inkscape"), { QStringLiteral("--query-all"), file }, &ok);
    QVERIFY2(ok, qPrintable(report));
    const Counts expected = expectedMarks(arguments, false);
    QVERIFY(!expected.empty());
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << QStringLiteral("-o") << QStringLiteral("x.svg"));
    QStringList groups { QStringLiteral("background") };
    for (const Shapes::Layer &layer : patternGeometry(parsed.job.settings).layers())
        groups << layerName(layer.name, false);
    Counts found;
    QString current;
    for (const QString &line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString id = line.section(QLatin1Char(','), 0, 0);
        if (groups.contains(id))
            current = id;
        else if (!current.isEmpty())
            ++found[current];
    }
    const QString wrong = compare(found, expected);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong + QLatin1Char('\n') + report.left(2000)));
}

// Inkscape opens a DXF through its dxf_input extension: closed paths in a layer per DXF layer.
void TestImporters::inkscapeDxfSeesEveryMark()
{
    const QString importer = QStringLiteral("/usr/share/inkscape/extensions/dxf_input.py");
    QUVELTA_NEEDS(importer, "/usr/bin/python3 " + importer + " --help");
    QFETCH(QStringList, arguments);
    const QString file = written(arguments, QStringLiteral("dxf"));
    QVERIFY(!file.isEmpty());
    bool ok = false;
    const QString svg = run(QStringLiteral("/usr/bin/python3"), { importer, file }, &ok);
    QVERIFY2(ok, qPrintable(svg));
    Counts found;
    QXmlStreamReader xml(svg);
    QStringList layers; // the open groups' labels, innermost last
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("g"))
            layers << xml.attributes().value(QLatin1String("inkscape:label")).toString();
        else if (xml.isEndElement() && xml.name() == QLatin1String("g"))
            layers.removeLast();
        else if (xml.isStartElement() && xml.name() == QLatin1String("path") && !layers.isEmpty()
            && xml.attributes().value(QLatin1String("d")).trimmed().endsWith(QLatin1Char('z')))
            ++found[layers.last()];
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    const Counts expected = expectedMarks(arguments, true);
    QVERIFY(!expected.empty());
    const QString wrong = compare(found, expected);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// The reason the compact form is not the default: Inkscape draws a block array's first column
// only. If this starts to pass, the importer learnt column counts.
void TestImporters::compactDxfLosesMarksInInkscape()
{
    const QString importer = QStringLiteral("/usr/share/inkscape/extensions/dxf_input.py");
    QUVELTA_NEEDS(importer, "/usr/bin/python3 " + importer + " --help");
    const QStringList arguments = { "--bits", "6", "--width", "120", "--compact" };
    const QString file = written(arguments, QStringLiteral("dxf"));
    QVERIFY(!file.isEmpty());
    bool ok = false;
    const QString svg = run(QStringLiteral("/usr/bin/python3"), { importer, file }, &ok);
    QVERIFY2(ok, qPrintable(svg));
    int marks = 0;
    for (const auto &[layer, count] : expectedMarks(arguments, true))
        marks += count;
    QVERIFY(svg.count(QLatin1String("<path")) < marks);
}

// The edges of the DXF as the geometry has them: a polyline's straight pieces and arcs of at most
// 90 degrees, its closing edge, a whole cut circle as one.
static int dxfEdges(const PatternGeometry &geometry)
{
    int edges = 0;
    for (const Shapes::Layer &layer : geometry.layers()) {
        if (layer.name == QLatin1String("ruler") || layer.name == QLatin1String("legend"))
            continue; // a drawing has its own scale, and the legend is text
        for (const Shapes::Contour &c : layer.contours) {
            if (layer.kind == Shapes::Layer::Kind::Cut && c.segments.size() == 1
                && std::fabs(c.segments.front().sweepDegrees) >= 360.0) {
                ++edges;
                continue;
            }
            for (const Shapes::Segment &s : c.segments)
                edges += s.kind == Shapes::Segment::Kind::Line
                    ? 1
                    : int(std::ceil(std::fabs(s.sweepDegrees) / 90.0 - 1e-9));
            const QPointF end = c.segments.back().to;
            if (std::hypot(end.x() - c.start.x(), end.y() - c.start.y()) > 1e-9)
                ++edges;
        }
    }
    return edges;
}

// LibreCAD prints the DXF to PDF (its dxf2pdf command) stroking every edge on its own; poppler
// turns that into SVG paths to count.
void TestImporters::librecadDrawsEveryEdge()
{
    QUVELTA_NEEDS("librecad", "pdftocairo");
    QFETCH(QStringList, arguments);
    const QString file = written(arguments, QStringLiteral("dxf"));
    QVERIFY(!file.isEmpty());
    // dxf2pdf prints next to the drawing, under its name.
    const QString pdf = dir.filePath(QStringLiteral("pattern.pdf"));
    const QString svg = dir.filePath(QStringLiteral("librecad.svg"));
    QFile::remove(pdf);
    bool ok = false;
    const QString printed = run(QStringLiteral("librecad"),
        { QStringLiteral("dxf2pdf"), file }, &ok);
    QVERIFY2(ok && QFile::exists(pdf), qPrintable(printed));
    const QString converted
        = run(QStringLiteral("pdftocairo"), { QStringLiteral("-svg"), pdf, svg }, &ok);
    QVERIFY2(ok, qPrintable(converted));
    QFile drawn(svg);
    QVERIFY(drawn.open(QIODevice::ReadOnly));
    int strokes = 0;
    QXmlStreamReader xml(&drawn);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("path")
            && xml.attributes().value(QLatin1String("style")).contains(QLatin1String("stroke:")))
            ++strokes;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << arguments << QStringLiteral("-o") << QStringLiteral("x.svg"));
    QCOMPARE(strokes, dxfEdges(patternGeometry(parsed.job.settings)));
}

QTEST_GUILESS_MAIN(TestImporters)
#include "tst_importers.moc"
