// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "decodetable.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "readback.h"
#include "renderer.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <set>

// Pseudo-random codes read back from their pixels by a sampler that knows only the rule (n
// sensors one cell apart, L + n - 1 cells on a strip, L round a disc), lengths in millimetres and
// inches, and the sizes a sensor fixes measured in the raster and in the vector files.
class TestSensorCodes : public QObject
{
    Q_OBJECT

private slots:
    void mSequenceWindowsDistinct_data();
    void mSequenceWindowsDistinct();
    void shortenedWindowsDistinct_data();
    void shortenedWindowsDistinct();
    void everyDiscCountCloses();
    void decodeTableReadsThePixels_data();
    void decodeTableReadsThePixels();
    void directionAndInvertFlipTheTable();
    void lengths_data();
    void lengths();
    void refusals_data();
    void refusals();
    void hugeImageRefusedCleanly();
    void opticalRadiusMeasured();
    void linesPerInchMeasured();

private:
    QTemporaryDir dir;
};

namespace {

ParseResult parse(QStringList arguments)
{
    return parseRenderArguments(QStringList { QStringLiteral("quvelta-render") } << arguments
                                                                                 << "-o"
                                                                                 << "x.png");
}

EncoderSettings parsed(const QStringList &arguments)
{
    const ParseResult result = parse(arguments);
    if (result.status != ParseResult::Status::Run)
        qFatal("%s", qPrintable(result.text));
    return result.job.settings;
}

bool dark(const QImage &image, QPointF px)
{
    const int x = int(std::floor(px.x()));
    const int y = int(std::floor(px.y()));
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return false;
    return qGray(image.pixel(x, y)) < 128;
}

}

void TestSensorCodes::mSequenceWindowsDistinct_data()
{
    QTest::addColumn<int>("n");
    for (int n = 2; n <= 16; ++n)
        QTest::addRow("n = %d", n) << n;
}

// Period 2^n - 1 with every cyclic window a different nonzero word: the taps are primitive.
void TestSensorCodes::mSequenceWindowsDistinct()
{
    QFETCH(int, n);
    const std::vector<bool> s = Codes::mSequence(n);
    const int length = (1 << n) - 1;
    QCOMPARE(int(s.size()), length);
    std::vector<bool> seen(size_t(1) << n);
    for (int a = 0; a < length; ++a) {
        unsigned word = 0;
        for (int i = 0; i < n; ++i)
            word |= unsigned(s[size_t((a + i) % length)]) << i;
        QVERIFY(word != 0);
        QVERIFY2(!seen[word], qPrintable(QStringLiteral("window at %1 repeats").arg(a)));
        seen[word] = true;
    }
}

void TestSensorCodes::shortenedWindowsDistinct_data()
{
    QTest::addColumn<int>("positions");
    QTest::addColumn<bool>("disc");
    QTest::addColumn<int>("sensors");
    // Whole sequences, one short of them, one past (a sensor more), and counts between.
    const QList<std::pair<int, int>> counts = { { 2, 2 }, { 7, 3 }, { 8, 4 }, { 15, 4 }, { 20, 5 },
        { 100, 7 }, { 360, 9 }, { 511, 9 }, { 1000, 10 }, { 2047, 11 }, { 3000, 12 }, { 5000, 13 },
        { 10000, 14 }, { 30000, 15 }, { 32768, 16 }, { 65534, 16 }, { 65535, 16 } };
    for (const auto &[positions, sensors] : counts)
        for (const bool disc : { false, true })
            QTest::addRow("%s, %d", disc ? "disc" : "strip", positions)
                << positions << disc << sensors;
}

// Every position of a shortened code reads a word no other position reads, wrap-around included
// on a disc, with the fewest sensors the count allows.
void TestSensorCodes::shortenedWindowsDistinct()
{
    QFETCH(int, positions);
    QFETCH(bool, disc);
    QFETCH(int, sensors);
    EncoderSettings s;
    s.shape = disc ? Shape::Disc : Shape::Strip;
    s.code = Code::PseudoRandom;
    s.positions = positions;
    const Codes::SingleTrack *code = Codes::oneTrack(s);
    QVERIFY(code);
    QCOMPARE(Codes::wordBits(s), sensors);
    QCOMPARE(int(code->cells.size()), disc ? positions : positions + sensors - 1);
    std::vector<bool> seen(size_t(1) << sensors);
    for (int p = 0; p < positions; ++p) {
        unsigned word = 0;
        for (int j = 0; j < sensors; ++j)
            word |= unsigned(code->cells[size_t((p + j) % int(code->cells.size()))]) << j;
        QCOMPARE(codeWord(s, p), word);
        QVERIFY2(!seen[word], qPrintable(QStringLiteral("position %1 repeats a word").arg(p)));
        seen[word] = true;
    }
    // The cells are the m-sequence's own: a strip its start, a disc a cut-out ring.
    const std::vector<bool> m = Codes::mSequence(sensors);
    if (!disc)
        QVERIFY(std::equal(code->cells.begin(),
            code->cells.begin() + std::min(positions, int(m.size())), m.begin()));
}

// Every disc count closes with the fewest sensors: for each n, the distances between the two
// places each (n - 1)-cell word occurs in the m-sequence cover every cut 2^n - 1 - L needs.
void TestSensorCodes::everyDiscCountCloses()
{
    for (int n = 2; n <= 16; ++n) {
        const std::vector<bool> s = Codes::mSequence(n);
        const int length = int(s.size());
        std::vector<int> first(size_t(1) << (n - 1), -1);
        std::vector<bool> cut(size_t(length) + 1);
        cut[0] = true;
        for (int a = 0; a < length; ++a) {
            unsigned word = 0;
            for (int i = 0; i < n - 1; ++i)
                word |= unsigned(s[size_t((a + i) % length)]) << i;
            if (first[word] >= 0) {
                cut[size_t(a - first[word])] = true;
                cut[size_t(length - (a - first[word]))] = true;
            }
            first[word] = a;
        }
        for (int positions = (1 << (n - 1)); positions <= length; ++positions)
            QVERIFY2(positions < 2 || cut[size_t(length - positions)],
                qPrintable(QStringLiteral("%1 positions").arg(positions)));
    }
    QVERIFY(Codes::pseudoRandom(40000, Shape::Disc));
    QCOMPARE(int(Codes::pseudoRandom(40000, Shape::Disc)->sensorOffset.size()), 16);
}

void TestSensorCodes::decodeTableReadsThePixels_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QStringList strip { "--code", "pseudo-random", "--width", "300", "--height", "8", "--dpi",
        "300" };
    const QStringList disc { "--shape", "disc", "--code", "pseudo-random", "--outer-radius", "60",
        "--inner-radius", "30", "--dpi", "300" };
    QTest::newRow("strip, 1000") << strip + QStringList { "--positions", "1000" };
    QTest::newRow("strip, 100, clock, ccw, invert") << strip
            + QStringList { "--positions", "100", "--clock", "--direction", "ccw", "--invert" };
    QTest::newRow("strip, 37, msb-lsb, 0.01in border") << strip
            + QStringList { "--positions", "37", "--bit-order", "msb-lsb", "--border", "0.01in" };
    QTest::newRow("disc, 360") << disc + QStringList { "--positions", "360" };
    QTest::newRow("disc, 1000, clock") << disc + QStringList { "--positions", "1000", "--clock" };
    QTest::newRow("disc, 200, ccw")
        << disc + QStringList { "--positions", "200", "--direction", "ccw" };
    QTest::newRow("disc, 64, invert, clock")
        << disc + QStringList { "--positions", "64", "--invert", "--clock" };
}

// The sampler reads each cell's middle where the rule puts it, builds each position's word from
// the n cells its sensors see (a dark pixel is a 1) and looks it up in the decode table: every
// position finds itself. A clock track alternates at every cell.
void TestSensorCodes::decodeTableReadsThePixels()
{
    QFETCH(QStringList, arguments);
    const EncoderSettings s = parsed(arguments);
    const QImage image = renderEncoderImage(s, true);
    QVERIFY(!image.isNull());
    const bool disc = s.shape == Shape::Disc;
    const int positions = s.positions;
    int n = 2;
    while ((1 << n) - 1 < positions)
        ++n;
    const int cells = disc ? positions : positions + n - 1;
    const double k = s.dpi / 25.4;
    const QPointF offset = patternPixelOffset(s);
    const double half = s.border ? s.borderWidthMm / 2 : 0.0;
    // The code track: the top or outer half with a clock, else all of it.
    const auto place = [&](int cell, bool clockTrack) {
        const double along = (s.counterClockwise ? cells - cell - 0.5 : cell + 0.5) / cells;
        QPointF mm;
        if (disc) {
            const double ring = s.outerRadiusMm - s.innerRadiusMm;
            const double r = s.clock ? s.outerRadiusMm - ring * (clockTrack ? 0.75 : 0.25)
                                     : (s.outerRadiusMm + s.innerRadiusMm) / 2;
            const double a = -along * 2 * M_PI; // clockwise from 3 o'clock
            mm = QPointF(
                half + s.outerRadiusMm + r * std::cos(a), half + s.outerRadiusMm - r * std::sin(a));
        } else {
            const double y = s.clock ? s.heightMm * (clockTrack ? 0.75 : 0.25) : s.heightMm / 2;
            mm = QPointF(half + along * s.widthMm, half + y);
        }
        return mm * k + offset;
    };
    std::vector<bool> cellDark(static_cast<size_t>(cells));
    for (int c = 0; c < cells; ++c)
        cellDark[size_t(c)] = dark(image, place(c, false));
    const std::vector<int> table = DecodeTable::positionsByWord(s);
    QCOMPARE(int(table.size()), 1 << n);
    for (int p = 0; p < positions; ++p) {
        unsigned word = 0;
        for (int j = 0; j < n; ++j) {
            const int bit = s.bitOrder == BitOrder::LsbToMsb ? j : n - 1 - j;
            word |= unsigned(cellDark[size_t((p + j) % cells)]) << bit;
        }
        QVERIFY2(table[word] == p,
            qPrintable(QStringLiteral("position %1 reads %2, which decodes to %3")
                           .arg(p)
                           .arg(word)
                           .arg(table[word])));
    }
    if (s.clock)
        for (int c = 1; c < cells; ++c)
            QVERIFY(dark(image, place(c, true)) != dark(image, place(c - 1, true)));
    QVERIFY2(readBack(s).reads(), qPrintable(readBackReport(readBack(s), 0)));
}

// Inverted, each word is its complement; counted the other way, the words are the same and the
// pattern is mirrored, so the cell a sensor sees at the left end is the last one.
void TestSensorCodes::directionAndInvertFlipTheTable()
{
    const EncoderSettings plain = parsed({ "--bits", "6", "--code", "gray" });
    EncoderSettings inverted = plain;
    inverted.invert = true;
    EncoderSettings mirrored = plain;
    mirrored.counterClockwise = true;
    const std::vector<int> a = DecodeTable::positionsByWord(plain);
    const std::vector<int> b = DecodeTable::positionsByWord(inverted);
    QCOMPARE(DecodeTable::positionsByWord(mirrored), a);
    for (unsigned w = 0; w < 64; ++w)
        QCOMPARE(b[w ^ 63u], a[w]);
    // The top track (most significant bit) of position 0 and 63, read at either end.
    const PatternGeometry g = patternGeometry(plain);
    const PatternGeometry m = patternGeometry(mirrored);
    const PatternGeometry i = patternGeometry(inverted);
    const auto markAt = [](const PatternGeometry &geometry, double x) {
        for (const PatternGeometry::Run &r : geometry.tracks.front().runs)
            if (r.from <= x && x < r.to)
                return true;
        return false;
    };
    const double step = plain.widthMm / 64;
    for (int q = 0; q < 64; ++q) {
        const double x = g.nominal.left() + (q + 0.5) * step;
        const bool msb = codeWord(plain, q) >> 5 & 1u;
        QCOMPARE(markAt(g, x), msb);
        QCOMPARE(markAt(i, x), !msb);
        QCOMPARE(markAt(m, g.nominal.right() - (q + 0.5) * step), msb);
    }
}

void TestSensorCodes::lengths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("mm"); // NaN: refused
    const double no = std::nan("");
    QTest::newRow("whole") << "12" << 12.0;
    QTest::newRow("decimal") << "23.36" << 23.36;
    QTest::newRow("mm suffix") << "12.5mm" << 12.5;
    QTest::newRow("upper case, space") << " 3.5 IN " << 88.9;
    QTest::newRow("quarter inch") << "0.25in" << 6.35;
    QTest::newRow("thousandth") << "0.001" << 0.001;
    QTest::newRow("rounded to the micrometre") << "2.0006" << 2.001;
    QTest::newRow("below half a micrometre") << "1.0004" << 1.0;
    QTest::newRow("negative") << "-0.2" << -0.2;
    QTest::newRow("exponent") << "1e1" << 10.0;
    QTest::newRow("centimetres") << "12cm" << no;
    QTest::newRow("unit alone") << "in" << no;
    QTest::newRow("word") << "wide" << no;
    QTest::newRow("empty") << "" << no;
    QTest::newRow("infinite") << "inf" << no;
    QTest::newRow("two units") << "1inmm" << no;
}

void TestSensorCodes::lengths()
{
    QFETCH(QString, text);
    QFETCH(double, mm);
    const std::optional<double> value = parseLength(text);
    QCOMPARE(bool(value), !std::isnan(mm));
    if (value)
        QCOMPARE(*value, mm);
}

void TestSensorCodes::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("too many pseudo-random positions") << QStringList { "--code", "pseudo-random",
        "--positions", "65536" } << "a pseudo-random code has 2 to 65535 positions";
    QTest::newRow("clock on another code")
        << QStringList { "--code", "gray", "--clock" } << "--clock goes with --code pseudo-random";
    QTest::newRow("clock round an odd disc") << QStringList {
        "--shape", "disc", "--code", "pseudo-random", "--positions", "101", "--clock"
    } << "a clock track round a disc needs an even number of cells, not 101";
    QTest::newRow("strip too long") << QStringList { "--width", "80in" }
                                    << "--width takes a length "
                                       "from 1 to 2000 mm";
    QTest::newRow("optical radius on a strip")
        << QStringList { "--optical-radius", "11" } << "--optical-radius is for discs";
    QTest::newRow("optical ring past the centre")
        << QStringList { "--cpr", "100", "--optical-radius", "0.5", "--track-width", "2" }
        << "a ring 2 mm wide centred at 0.5 mm reaches from -0.5 to 1.5 mm";
    QTest::newRow("lpi on an absolute strip")
        << QStringList { "--lpi", "150" } << "--lpi sets a relative strip's period";
    QTest::newRow("cpr on a strip") << QStringList { "--shape", "bar", "--cpr", "100" }
                                    << "--cpr counts a relative disc's pairs";
    QTest::newRow("cpr of an absolute disc") << QStringList { "--shape", "disc", "--type",
        "absolute", "--cpr", "100" } << "--cpr counts a relative disc's pairs";
    QTest::newRow("too many periods") << QStringList { "--type", "relative", "--pitch", "0.01",
        "--width", "1000" } << "a 1000 mm strip at a 0.01 mm period has 100000 periods";
    QTest::newRow("classic pixels of a fraction of a millimetre") << QStringList { "--width",
        "100.5", "--classic-pixels" } << "--classic-pixels draws only what the window's form sets";
    QTest::newRow("inches out of range") << QStringList { "--shape", "disc", "--outer-radius",
        "4in" } << "--outer-radius takes a length from 1 to 100 mm, not \"4in\"";
}

void TestSensorCodes::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ParseResult result = parse(arguments);
    QCOMPARE(int(result.status), int(ParseResult::Status::UsageError));
    QVERIFY2(result.text.startsWith(message), qPrintable(result.text));
}

// A strip longer than a JPEG may be is refused with the format's limit, and no file is left.
void TestSensorCodes::hugeImageRefusedCleanly()
{
    const QString jpeg = dir.filePath(QStringLiteral("long.jpg"));
    const Run run = runRender({ "--type", "relative", "--pairs", "65536", "--width", "2000",
        "--height", "1", "--dpi", "900", "-o", jpeg });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("65500 pixels"), run.err.constData());
    QVERIFY(!QFileInfo::exists(jpeg));
}

// A 500-count wheel for a 23.36 mm optical radius: the ring's middle where the sensor reads, in
// the pixels and in the SVG's arcs and the DXF's vertices (read by ezdxf).
void TestSensorCodes::opticalRadiusMeasured()
{
    const QStringList arguments { "--cpr", "500", "--optical-radius", "23.36", "--track-width",
        "1.5", "--no-border", "--no-center-mark" };
    const EncoderSettings s = parsed(arguments);
    QCOMPARE(s.pairs, 500);
    const QImage image = renderEncoderImage(s, false);
    QVERIFY(!image.isNull());
    const double k = s.dpi / 25.4;
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    // Along rays through the marks' middles (every 0.72 degrees, the first at 0.36 degrees past
    // a mark's start): the dark run from the ring's inner to outer edge.
    double sum = 0;
    int rays = 0;
    for (int i = 0; i < 3600; ++i) {
        const double a = i * 0.1 / 180 * M_PI;
        int first = -1, last = -1;
        for (int step = int(20 * k); step < int(26 * k); ++step) {
            const QPointF at = centre + QPointF(std::cos(a), -std::sin(a)) * (step + 0.5);
            if (dark(image, at)) {
                if (first < 0)
                    first = step;
                last = step;
            }
        }
        if (first < 0 || (last - first + 1) < 1.4 * k)
            continue;
        QVERIFY(std::fabs((last - first + 1) / k - 1.5) < 2 / k);
        sum += (first + last + 1) / 2.0;
        ++rays;
    }
    QVERIFY(rays > 1000);
    QVERIFY2(
        std::fabs(sum / rays / k - 23.36) < 1 / k, qPrintable(QString::number(sum / rays / k)));

    QStringList svgArguments = arguments;
    svgArguments << "-o" << dir.filePath(QStringLiteral("wheel.svg"));
    const Run svg = runRender(svgArguments);
    QCOMPARE(svg.exitCode, 0);
    QFile file(dir.filePath(QStringLiteral("wheel.svg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const int from = text.indexOf(QStringLiteral("<g id=\"segments\""));
    const QString marks = text.mid(from, text.indexOf(QStringLiteral("</g>"), from) - from);
    QCOMPARE(int(marks.count(QStringLiteral("<path"))), 500);
    std::set<double> radii;
    static const QRegularExpression arc(QStringLiteral("A([0-9.]+) \\1 "));
    for (const QRegularExpressionMatch &m : arc.globalMatch(marks))
        radii.insert(m.captured(1).toDouble());
    QCOMPARE(int(radii.size()), 2);
    QVERIFY(std::fabs(*radii.begin() - 22.61) < 1e-6);
    QVERIFY(std::fabs(*radii.rbegin() - 24.11) < 1e-6);

    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    QStringList dxfArguments = arguments;
    dxfArguments << "-o" << dir.filePath(QStringLiteral("wheel.dxf"));
    QCOMPARE(runRender(dxfArguments).exitCode, 0);
    // Every vertex of the marks' layer as its distance from the disc's centre.
    const char *script = R"(import ezdxf, math, sys
doc = ezdxf.readfile(sys.argv[1])
ext = [e for e in doc.modelspace() if e.dxf.layer.upper() == 'SEGMENTS']
pts = []
for e in ext:
    if e.dxftype() == 'POLYLINE':
        pts += [(v.dxf.location[0], v.dxf.location[1]) for v in e.vertices]
    elif e.dxftype() == 'LWPOLYLINE':
        pts += [(p[0], p[1]) for p in e.get_points()]
cx = sum(p[0] for p in pts) / len(pts)
cy = sum(p[1] for p in pts) / len(pts)
r = [math.hypot(x - cx, y - cy) for x, y in pts]
print(len(ext), min(r), max(r)))";
    const Run dxf = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"), QString::fromLatin1(script),
            dir.filePath(QStringLiteral("wheel.dxf")) });
    QVERIFY2(dxf.exitCode == 0, dxf.err.constData());
    const QStringList read = QString::fromUtf8(dxf.out).split(QLatin1Char(' '));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0].toInt(), 500);
    QVERIFY2(std::fabs(read[1].toDouble() - 22.61) < 0.001, dxf.out.constData());
    QVERIFY2(std::fabs(read[2].toDouble() - 24.11) < 0.001, dxf.out.constData());
}

// A 200 mm strip for a 150 LPI sensor: 1181 whole periods of 25.4 / 150 mm, the mean period
// measured along the pixels, between the SVG's marks and between the DXF's (read by ezdxf).
void TestSensorCodes::linesPerInchMeasured()
{
    const QStringList arguments { "--type", "relative", "--lpi", "150", "--width", "200",
        "--height", "4", "--no-border", "--dpi", "1200" };
    const ParseResult result = parse(arguments);
    QCOMPARE(int(result.status), int(ParseResult::Status::Run));
    QCOMPARE(result.job.settings.pairs, 1181);
    QVERIFY(result.job.notes.join(QString()).contains(QStringLiteral("1181 whole periods")));
    const double pitch = 25.4 / 150;
    const EncoderSettings &s = result.job.settings;
    const QImage image = renderEncoderImage(s, false);
    QVERIFY(!image.isNull());
    const double k = s.dpi / 25.4;
    std::vector<int> rising;
    const int y = image.height() / 2;
    for (int x = 1; x < image.width(); ++x)
        if (dark(image, QPointF(x, y)) && !dark(image, QPointF(x - 1, y)))
            rising.push_back(x);
    QCOMPARE(int(rising.size()), 1181);
    const double measured = double(rising.back() - rising.front()) / (rising.size() - 1) / k;
    QVERIFY2(std::fabs(measured - pitch) < 2e-5, qPrintable(QString::number(measured, 'g', 10)));

    QStringList svgArguments = arguments;
    svgArguments << "-o" << dir.filePath(QStringLiteral("strip.svg"));
    QCOMPARE(runRender(svgArguments).exitCode, 0);
    QFile file(dir.filePath(QStringLiteral("strip.svg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression mark(QStringLiteral("<path d=\"M([0-9.]+) "));
    std::vector<double> starts;
    for (const QRegularExpressionMatch &m : mark.globalMatch(text))
        starts.push_back(m.captured(1).toDouble());
    QCOMPARE(int(starts.size()), 1181);
    for (size_t i = 1; i < starts.size(); ++i)
        QVERIFY(std::fabs(starts[i] - starts[i - 1] - pitch) < 2e-6);
    QVERIFY(std::fabs(starts.back() - starts.front() - 1180 * pitch) < 1e-5);

    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    QStringList dxfArguments = arguments;
    dxfArguments << "-o" << dir.filePath(QStringLiteral("strip.dxf"));
    QCOMPARE(runRender(dxfArguments).exitCode, 0);
    // The marks' left edges as ezdxf reads them: how many, and their mean spacing.
    const char *script = R"(import ezdxf, sys
doc = ezdxf.readfile(sys.argv[1])
left = []
for e in doc.modelspace():
    if e.dxf.layer.upper() != 'SEGMENTS':
        continue
    if e.dxftype() == 'POLYLINE':
        left.append(min(v.dxf.location[0] for v in e.vertices))
    elif e.dxftype() == 'LWPOLYLINE':
        left.append(min(p[0] for p in e.get_points()))
left.sort()
print(len(left), (left[-1] - left[0]) / (len(left) - 1)))";
    const Run dxf = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"), QString::fromLatin1(script),
            dir.filePath(QStringLiteral("strip.dxf")) });
    QVERIFY2(dxf.exitCode == 0, dxf.err.constData());
    const QStringList read = QString::fromUtf8(dxf.out).split(QLatin1Char(' '));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].toInt(), 1181);
    QVERIFY2(std::fabs(read[1].toDouble() - pitch) < 1e-6, dxf.out.constData());
}

QTEST_GUILESS_MAIN(TestSensorCodes)
#include "tst_sensorcodes.moc"
