// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "outsidetools.h"
#include "patterngeometry.h"
#include "pdfwriter.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

#include <zlib.h>

#include <cmath>

// The numbers of the vector files: scale and spacing to every digit, arcs a reader cannot get
// wrong, each line drawn once, the cut outline apart from the print, legends true to the file.
class TestExactVectors : public QObject
{
    Q_OBJECT

private slots:
    void numbersAsQtWritesThem_data();
    void numbersAsQtWritesThem();
    void numbersAtEveryScale_data();
    void numbersAtEveryScale();
    void pdfScaleIsExact();
    void pdfOutlineHiddenInPrint();
    void compactDxfSpacingHoldsOver200Mm();
    void svgArcsAtMostAQuarter();
    void ringIsTwoCircles();
    void noEdgeDrawnTwice_data();
    void noEdgeDrawnTwice();
    void dxfLegendSaysWhatItHolds();
    void largeLayersStayWhole_data();
    void largeLayersStayWhole();

private:
    QByteArray written(const QStringList &arguments, const QString &name);
    QTemporaryDir dir;
};

QByteArray TestExactVectors::written(const QStringList &arguments, const QString &name)
{
    const QString file = dir.filePath(name);
    const Run run = runRender(QStringList(arguments) << QStringLiteral("-o") << file);
    if (run.exitCode != 0)
        return {};
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

static QByteArray inflated(const QByteArray &packed)
{
    QByteArray out(int(packed.size()) * 40 + 4096, Qt::Uninitialized);
    uLongf size = uLongf(out.size());
    if (uncompress(reinterpret_cast<Bytef *>(out.data()), &size,
            reinterpret_cast<const Bytef *>(packed.constData()), uLong(packed.size()))
        != Z_OK)
        return {};
    out.resize(int(size));
    return out;
}

// The page's matrix maps millimetres to points as 72 / 25.4 to a double's last digits: a 200 mm
// strip comes out 200 mm to far below a micrometre (2.8346 would make it 3.2 um short).
void TestExactVectors::pdfScaleIsExact()
{
    const QByteArray pdf
        = written({ "--width", "200", "--bits", "8", "--vector" }, QStringLiteral("strip.pdf"));
    QVERIFY(!pdf.isEmpty());
    const int from = pdf.indexOf("stream\n") + 7;
    const QByteArray content = inflated(pdf.mid(from, pdf.indexOf("\nendstream") - from));
    static const QRegularExpression cm(QStringLiteral("^q (\\S+) 0 0 (\\S+) \\S+ \\S+ cm"));
    const QRegularExpressionMatch m = cm.match(QString::fromLatin1(content.left(200)));
    QVERIFY2(m.hasMatch(), content.left(200).constData());
    const double exact = 72.0 / 25.4;
    QVERIFY(std::fabs(m.captured(1).toDouble() * 200 / exact - 200) < 1e-9);
    QVERIFY(std::fabs(-m.captured(2).toDouble() * 200 / exact - 200) < 1e-9);
}

// The outline is a layer shown on screen, not printed, and red.
void TestExactVectors::pdfOutlineHiddenInPrint()
{
    const QByteArray pdf = written(
        { "--shape", "disc", "--foreground", "navy", "--vector" }, QStringLiteral("disc.pdf"));
    static const QRegularExpression ocg(QStringLiteral(
        "(\\d+) 0 obj\\s*<< /Type /OCG /Name \\(outline\\) /Usage << /Print << /Subtype /Print "
        "/PrintState /OFF >> >> >>"));
    const QRegularExpressionMatch m = ocg.match(QString::fromLatin1(pdf));
    QVERIFY2(m.hasMatch(), pdf.left(2000).constData());
    // The print event applies the usage: readers that print honour it.
    QVERIFY(pdf.contains("/AS [<< /Event /Print /Category [/Print] /OCGs ["));
    QVERIFY(QString::fromLatin1(pdf).contains(
        QRegularExpression(QStringLiteral("/OCGs \\[[^\\]]*\\b%1 0 R").arg(m.captured(1)))));
    const int from = pdf.indexOf("stream\n") + 7;
    const QByteArray content = inflated(pdf.mid(from, pdf.indexOf("\nendstream") - from));
    const int outline = content.lastIndexOf("BDC\n");
    QVERIFY(content.mid(outline, 20).contains("1 0 0 RG")); // the last layer is the outline
    QVERIFY(!content.left(outline).contains(" RG")); // nothing else strokes
    const QByteArray svg
        = written({ "--shape", "disc", "--foreground", "navy" }, QStringLiteral("disc.svg"));
    QVERIFY(
        svg.contains("<g id=\"outline\" inkscape:groupmode=\"layer\" inkscape:label=\"outline\" "
                     "fill=\"none\" stroke=\"#ff0000\""));
}

// A 16-bit strip's finest track is one block placed 32768 times: ezdxf expands the array, and its
// last mark lies where the pattern has it, to a micrometre.
void TestExactVectors::compactDxfSpacingHoldsOver200Mm()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    const QStringList arguments { "--bits", "16", "--width", "200", "--no-border" };
    QVERIFY(
        !written(QStringList(arguments) << QStringLiteral("--compact"), QStringLiteral("fine.dxf"))
             .isEmpty());
    const Run run = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import ezdxf,sys\n"
                           "d=ezdxf.readfile(sys.argv[1])\n"
                           "xs=[v.dxf.location.x for i in d.modelspace().query('INSERT') "
                           "if i.dxf.layer.endswith('BIT_0_LSB') for c in i.multi_insert() "
                           "for e in c.virtual_entities() for v in e.vertices]\n"
                           "print(len(xs), repr(max(xs)))"),
            dir.filePath(QStringLiteral("fine.dxf")) });
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QStringList fields = QString::fromUtf8(run.out).split(QLatin1Char(' '));
    const PatternGeometry g = patternGeometry(parsedSettings(arguments));
    const PatternGeometry::Track &lsb = g.tracks.back();
    QCOMPARE(lsb.bit, 0);
    QCOMPARE(fields.first().toInt(), 4 * int(lsb.runs.size()));
    QVERIFY2(std::fabs(fields.last().toDouble() - lsb.runs.back().to) < 0.001,
        qPrintable(QStringLiteral("last mark ends at %1, not %2")
                       .arg(fields.last().trimmed())
                       .arg(lsb.runs.back().to, 0, 'f', 9)));
}

// No SVG arc goes further than 90 degrees: its end points' distance is at most r * sqrt(2).
void TestExactVectors::svgArcsAtMostAQuarter()
{
    const QByteArray svg
        = written({ "--shape", "disc", "--type", "relative", "--pairs", "3", "--inner-radius", "5",
                      "--bore", "3", "--d-flat", "0.4", "--no-center-mark" },
            QStringLiteral("arcs.svg"));
    QVERIFY(!svg.isEmpty());
    static const QRegularExpression piece(QStringLiteral(
        "([-\\d.]+) ([-\\d.]+)(?=A([\\d.]+) [\\d.]+ 0 0 [01] ([-\\d.]+) ([-\\d.]+))"));
    int arcs = 0;
    for (auto it = piece.globalMatch(QString::fromLatin1(svg)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const double chord = std::hypot(m.captured(4).toDouble() - m.captured(1).toDouble(),
            m.captured(5).toDouble() - m.captured(2).toDouble());
        QVERIFY2(
            chord <= m.captured(3).toDouble() * std::sqrt(2.0) + 1e-5, qPrintable(m.captured(0)));
        ++arcs;
    }
    QVERIFY(arcs > 20);
}

// An index mark the whole way round is a ring: two circles, no straight edge from one to the
// other for a cutter to slit.
void TestExactVectors::ringIsTwoCircles()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    const QStringList arguments { "--shape", "disc", "--type", "relative", "--pairs", "1",
        "--index", "--index-width", "360", "--inner-radius", "6", "--outer-radius", "20" };
    const QByteArray svg = written(arguments, QStringLiteral("ring.svg"));
    const int from = svg.indexOf("<g id=\"index-z\"");
    const QByteArray group = svg.mid(from, svg.indexOf("</g>", from) - from);
    QCOMPARE(group.count('M'), 2);
    QCOMPARE(group.count('L'), 0);
    QVERIFY(!written(arguments, QStringLiteral("ring.dxf")).isEmpty());
    const Run run = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QUVELTA_DXFCHECK_PATH), dir.filePath(QStringLiteral("ring.dxf")) });
    QVERIFY2(run.exitCode == 0, run.out.constData());
    static const QRegularExpression line(QStringLiteral("layer INDEX_Z (\\d+) ([-\\d.]+)"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(run.out));
    QVERIFY2(m.hasMatch(), run.out.constData());
    QCOMPARE(m.captured(1).toInt(), 2);
    // The index track is the inner third; border lines 0.1 mm wide, the mark a quarter into each.
    const PatternGeometry g = patternGeometry(parsedSettings(arguments));
    const PatternGeometry::Track &z = g.tracks.back();
    const double outer = z.to - 0.05 + 0.025;
    const double inner = z.from + 0.05 - 0.025;
    QVERIFY(std::fabs(m.captured(2).toDouble() - M_PI * (outer * outer - inner * inner)) < 1e-3);
}

void TestExactVectors::noEdgeDrawnTwice_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("6-bit strip") << QStringList { "--bits", "6", "--width", "120" };
    QTest::newRow("relative strip, quadrature and index")
        << QStringList { "--type", "relative", "--pairs", "20", "--quadrature", "--index" };
    QTest::newRow("6-bit Gray disc") << QStringList { "--shape", "disc", "--bits", "6",
        "--outer-radius", "40", "--inner-radius", "10" };
}

namespace {

// An edge of a contour: a line, or an arc (its circle; `to` unused).
struct Edge
{
    bool arc;
    QPointF from, to;
    QPointF center;
    double radius;
    QString layer;
};

std::vector<Edge> edgesOf(const std::vector<Shapes::Layer> &layers)
{
    std::vector<Edge> edges;
    for (const Shapes::Layer &layer : layers) {
        if (layer.kind != Shapes::Layer::Kind::Fill)
            continue;
        for (const Shapes::Contour &c : layer.contours) {
            QPointF at = c.start;
            for (const Shapes::Segment &s : c.segments) {
                edges.push_back({ s.kind == Shapes::Segment::Kind::Arc, at, s.to, s.center,
                    s.radius, layer.name });
                at = s.to;
            }
            edges.push_back({ false, at, c.start, {}, 0, layer.name });
        }
    }
    return edges;
}

// Whether two edges of different layers lie on each other for some length.
bool shared(const Edge &a, const Edge &b)
{
    constexpr double eps = 1e-9;
    if (a.layer == b.layer || a.arc != b.arc)
        return false;
    if (a.arc)
        return std::hypot(a.center.x() - b.center.x(), a.center.y() - b.center.y()) < eps
            && std::fabs(a.radius - b.radius) < eps;
    // Axis-parallel lines (strips) overlapping; slanted ones (disc sector sides) never lie on a
    // border line.
    const auto horizontal = [](const Edge &e) { return std::fabs(e.from.y() - e.to.y()) < eps; };
    const auto vertical = [](const Edge &e) { return std::fabs(e.from.x() - e.to.x()) < eps; };
    const auto overlap = [](double a0, double a1, double b0, double b1) {
        return std::min(std::max(a0, a1), std::max(b0, b1))
            - std::max(std::min(a0, a1), std::min(b0, b1))
            > 1e-6;
    };
    if (horizontal(a) && horizontal(b) && std::fabs(a.from.y() - b.from.y()) < eps)
        return overlap(a.from.x(), a.to.x(), b.from.x(), b.to.x());
    if (vertical(a) && vertical(b) && std::fabs(a.from.x() - b.from.x()) < eps)
        return overlap(a.from.y(), a.to.y(), b.from.y(), b.to.y());
    return false;
}

int sharedEdges(const std::vector<Shapes::Layer> &layers)
{
    const std::vector<Edge> edges = edgesOf(layers);
    int count = 0;
    for (size_t i = 0; i < edges.size(); ++i)
        for (size_t j = i + 1; j < edges.size(); ++j)
            count += shared(edges[i], edges[j]);
    return count;
}

}

// Marks clipped at the border lines share their edges (the raster's shapes, which must not
// overlap); the vector files' marks reach into the lines instead, and no two layers share an
// edge. The union, what prints, is the same.
void TestExactVectors::noEdgeDrawnTwice()
{
    QFETCH(QStringList, arguments);
    const PatternGeometry g = patternGeometry(parsedSettings(arguments));
    QVERIFY(sharedEdges(g.layers()) > 0);
    QCOMPARE(sharedEdges(g.layers(PatternGeometry::MarkEdges::InsideBorder)), 0);
}

// The DXF has no rulers and is not printed: its legend names the pattern and the units only.
void TestExactVectors::dxfLegendSaysWhatItHolds()
{
    const QByteArray dxf = written({ "--calibration", "--bits", "3" }, QStringLiteral("cal.dxf"));
    const int legend = dxf.indexOf("\n  8\nLEGEND\n");
    QVERIFY(legend > 0);
    const QByteArray texts = dxf.mid(legend);
    QVERIFY(texts.contains("Quvelta: strip"));
    QVERIFY(texts.contains("Drawn 1:1 in millimetres."));
    QVERIFY(!texts.contains("ruler"));
    QVERIFY(!texts.contains("Print at"));
    QVERIFY(!dxf.contains("\n  8\nRULER\n"));
}

void TestExactVectors::largeLayersStayWhole_data()
{
    QTest::addColumn<QStringList>("arguments");
    // Tens of thousands of marks on a track: the writers take the layers in parts.
    QTest::newRow("quadrature disc") << QStringList { "--shape", "disc", "--type", "relative",
        "--pairs", "20000", "--quadrature", "--index" };
    QTest::newRow("16-bit strip") << QStringList { "--bits", "16", "--width", "300" };
}

// A layer written in parts is still one layer of every mark: one group and one fill in the PDF,
// one group in the SVG, one table entry in the DXF, and each mark once.
void TestExactVectors::largeLayersStayWhole()
{
    QFETCH(QStringList, arguments);
    const std::vector<Shapes::Layer> layers
        = patternGeometry(parsedSettings(arguments)).layers(PatternGeometry::MarkEdges::InsideBorder);
    int contours = 0;
    int largest = 0;
    for (const Shapes::Layer &layer : layers) {
        contours += int(layer.contours.size());
        largest = std::max(largest, int(layer.contours.size()));
    }
    QVERIFY(largest > 16384);
    const int count = int(layers.size());

    const QByteArray pdf = written(QStringList(arguments) << "--vector", QStringLiteral("l.pdf"));
    const int from = pdf.indexOf("stream\n") + 7;
    const QByteArray content = inflated(pdf.mid(from, pdf.indexOf("\nendstream") - from));
    QCOMPARE(int(content.count(" BDC\n")), count);
    QCOMPARE(int(content.count("\nEMC\n")), count);
    QCOMPARE(int(pdf.count("/Type /OCG ")), count);
    QCOMPARE(int(content.count(" m\n")), contours);
    QCOMPARE(int(content.count("\nf\n")) + int(content.count("\nS\n")), count);

    const QByteArray svg = written(arguments, QStringLiteral("l.svg"));
    QCOMPARE(int(svg.count("inkscape:groupmode=\"layer\"")), count);
    QCOMPARE(int(svg.count("</g>")), count);
    const QByteArray dxf = written(arguments, QStringLiteral("l.dxf"));
    QCOMPARE(int(dxf.count("\n  0\nLAYER\n")), count + 1); // and layer 0
    QCOMPARE(int(dxf.count("\n  0\nPOLYLINE\n")) + int(dxf.count("\n  0\nCIRCLE\n")), contours);
}

// Qt's digits, without trailing zeros, and never "-0".
static QByteArray qtDigits(double value, int decimals)
{
    QByteArray text = QByteArray::number(value, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text == "-0" ? QByteArray("0") : text;
}

void TestExactVectors::numbersAsQtWritesThem_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    // Exact ties, which Qt rounds away from zero where to_chars would round to even; near
    // ties, which are no ties; carries through nines; signs; whole numbers.
    QTest::newRow("tie down to even") << 0.03125 << 4;
    QTest::newRow("tie, odd") << 0.03135 << 4;
    QTest::newRow("negative tie") << -0.03125 << 4;
    QTest::newRow("tie at a whole number") << 2.5 << 0;
    QTest::newRow("a hair under a tie") << 0.0000005 << 6;
    QTest::newRow("carried through nines") << 9.99995 << 4;
    QTest::newRow("negative nines") << -0.9999995 << 6;
    QTest::newRow("tiny negative") << -0.00001 << 4;
    QTest::newRow("large") << 123456.1234565 << 6;
    QTest::newRow("whole") << 120.0 << 4;
    QTest::newRow("zero") << 0.0 << 6;
    QTest::newRow("a third") << 1.0 / 3 << 6;
}

// Vector files' numbers are written the quick way, with Qt's digits as before.
void TestExactVectors::numbersAsQtWritesThem()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QCOMPARE(PdfExport::number(value, decimals), qtDigits(value, decimals));
    // And every 1/64 and 1/2048 round them, which hold the ties at 4 and 6 decimals.
    for (int k = -3000; k <= 3000; ++k) {
        for (const auto &[v, d] : { std::pair { k / 64.0, 4 }, std::pair { k / 2048.0, 6 } })
            QCOMPARE(PdfExport::number(v, d), qtDigits(v, d));
    }
}

void TestExactVectors::numbersAtEveryScale_data()
{
    QTest::addColumn<int>("decimals");
    for (const int d : { 0, 1, 3, 6, 9, 15 })
        QTest::newRow(qPrintable(QStringLiteral("%1 decimals").arg(d))) << d;
}

// Only what may be a tie is looked at twice: at any scale, Qt's digits still, ties (a power of
// two's fractions) and numbers from a page's millimetres to its points alike.
void TestExactVectors::numbersAtEveryScale()
{
    QFETCH(int, decimals);
    std::mt19937_64 random(2026);
    std::uniform_real_distribution<double> mm(-1000, 1000);
    for (int i = 0; i < 20000; ++i) {
        const int power = i % 40;
        const double values[] = { mm(random), mm(random) * 72 / 25.4,
            std::ldexp(double(qint64(random() % 20001) - 10000), -power) };
        for (const double v : values) {
            if (PdfExport::number(v, decimals) != qtDigits(v, decimals)) // the message only then
                QFAIL(qPrintable(QStringLiteral("%1").arg(v, 0, 'g', 17)));
        }
    }
}

QTEST_GUILESS_MAIN(TestExactVectors)
#include "tst_exactvectors.moc"
