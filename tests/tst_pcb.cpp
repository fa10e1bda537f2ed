// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "testsupport.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <set>

// The KiCad footprint as KiCad's own Python module loads it, and the sensor mask laid over the
// pattern it goes with.
class TestPcb : public QObject
{
    Q_OBJECT

private slots:
    void footprintLoadsInKicad_data();
    void footprintLoadsInKicad();
    void footprintRefusals_data();
    void footprintRefusals();
    void maskShowsEveryPosition_data();
    void maskShowsEveryPosition();
    void maskInEveryFormat();

private:
    QTemporaryDir dir;
};

void TestPcb::footprintLoadsInKicad_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("layers");
    QTest::newRow("6-bit Gray disc") << QStringList { "--shape", "disc", "--bits", "6",
        "--outer-radius", "30", "--inner-radius", "10" }
                                     << QStringList { "F.Cu" };
    QTest::newRow("360-pair relative disc") << QStringList { "--shape", "disc", "--type",
        "relative", "--pairs", "360", "--outer-radius", "50", "--inner-radius", "30" }
                                            << QStringList { "F.Cu" };
    QTest::newRow("6-bit strip") << QStringList { "--bits", "6", "--width", "120" }
                                 << QStringList { "F.Cu" };
    QTest::newRow("relative strip, quadrature and index") << QStringList { "--type", "relative",
        "--pairs", "100", "--width", "100", "--height", "10", "--quadrature", "--index" }
                                                          << QStringList { "F.Cu" };
    QTest::newRow("bore, flat and holes; copper with mask openings") << QStringList { "--shape",
        "disc", "--bits", "4", "--outer-radius", "30", "--inner-radius", "12", "--bore", "5",
        "--d-flat", "0.5", "--holes", "3,3,16", "--no-center-mark", "--pcb-layer",
        "F.Cu,f.mask" } << QStringList { "F.Cu", "F.Mask" };
    QTest::newRow("silkscreen, single track") << QStringList { "--shape", "disc", "--code",
        "single-track", "--outer-radius", "40", "--inner-radius", "30", "--pcb-layer",
        "F.SilkS" } << QStringList { "F.Silkscreen" }; // KiCad 6's name for F.SilkS
}

// Every mark a polygon on every chosen layer, their area the tracks' (from the runs, not from the
// shapes written), the board edge closed.
void TestPcb::footprintLoadsInKicad()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('pcbnew')");
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, layers);
    const QString library = dir.filePath(QStringLiteral("encoders.pretty"));
    QVERIFY(QDir().mkpath(library));
    const QString file = library + QStringLiteral("/wheel.kicad_mod");
    QFile::remove(file);
    const Run render = runRender(QStringList(arguments) << QStringLiteral("-o") << file);
    QVERIFY2(render.exitCode == 0, render.err.constData());
    const Run check = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(QUVELTA_KICADCHECK_PATH), library, QStringLiteral("wheel") });
    QVERIFY2(check.exitCode == 0, (check.out + check.err).constData());
    const QString report = QString::fromUtf8(check.out);

    const int layerOption = arguments.indexOf(QStringLiteral("--pcb-layer"));
    if (layerOption >= 0)
        arguments.remove(layerOption, 2); // not a setting of the pattern
    EncoderSettings settings = parsedSettings(arguments);
    settings.border = false; // a board has no border lines: marks fill their tracks
    const PatternGeometry g = patternGeometry(settings);
    int marks = 0;
    double area = 0;
    for (const PatternGeometry::Track &t : g.tracks) {
        for (const PatternGeometry::Run &r : t.runs) {
            ++marks;
            if (g.shape == Shape::Disc)
                area += (r.to - r.from) / 360.0 * M_PI * (t.to * t.to - t.from * t.from);
            else
                area += (std::min(r.to, g.nominal.right()) - std::max(r.from, g.nominal.left()))
                    * (t.to - t.from);
        }
    }
    QVERIFY(marks > 0);
    for (const QString &layer : layers) {
        const QRegularExpression line(QStringLiteral("layer %1 polygons (\\d+) area ([\\d.]+)")
                                          .arg(QRegularExpression::escape(layer)));
        const QRegularExpressionMatch m = line.match(report);
        QVERIFY2(m.hasMatch(), qPrintable(report));
        QCOMPARE(m.captured(1).toInt(), marks);
        const double found = m.captured(2).toDouble();
        QVERIFY2(std::fabs(found - area) <= 0.001 * area,
            qPrintable(QStringLiteral("%1: %2 mm² in KiCad, %3 in the model")
                           .arg(layer)
                           .arg(found)
                           .arg(area)));
    }
    QVERIFY2(report.contains(QLatin1String("edge closed")), qPrintable(report));
    QVERIFY2(report.contains(QLatin1String("reference REF** value wheel")), qPrintable(report));
}

void TestPcb::footprintRefusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("words");
    QTest::newRow("unknown layer")
        << QStringList { "--pcb-layer", "F.Paste", "-o", "x.kicad_mod" } << "not \"F.Paste\"";
    QTest::newRow("layer without a footprint")
        << QStringList { "--pcb-layer", "F.Cu", "-o", "x.svg" } << "goes with a .kicad_mod";
    QTest::newRow("printer scale")
        << QStringList { "--scale-x", "0.99", "-o", "x.kicad_mod" } << "drawn true";
    QTest::newRow("mask with a check") << QStringList { "--mask", "--check" } << "leave out --mask";
}

void TestPcb::footprintRefusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, words);
    const Run run = runRender(arguments, dir.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(QString::fromUtf8(run.err).contains(words), run.err.constData());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.kicad_mod"))));
}

void TestPcb::maskShowsEveryPosition_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("4-bit Gray disc") << QStringList { "--shape", "disc", "--bits", "4",
        "--outer-radius", "20", "--inner-radius", "6" };
    QTest::newRow("5-bit binary strip")
        << QStringList { "--bits", "5", "--width", "64", "--height", "10" };
    QTest::newRow("single-track disc, 30 positions") << QStringList { "--shape", "disc", "--code",
        "single-track", "--positions", "30", "--outer-radius", "25", "--inner-radius", "18" };
    QTest::newRow("relative strip, two channels and index") << QStringList { "--type", "relative",
        "--pairs", "8", "--width", "64", "--height", "12", "--quadrature", "--index" };
    QTest::newRow("relative disc, one track read twice") << QStringList { "--shape", "disc",
        "--type", "relative", "--pairs", "12", "--outer-radius", "25", "--inner-radius", "15" };
}

// The mask's clear pixels inside the tracks, moved as the pattern moves under it, fall on the
// pattern's pixels: through each slit a sensor sees a mark or a gap. Absolute patterns must show
// the code's word at every position; relative ones the four quadrature states in turn (one bit
// changing at a time) and the index once.
void TestPcb::maskShowsEveryPosition()
{
    QFETCH(QStringList, arguments);
    arguments << QStringLiteral("--dpi") << QStringLiteral("400");
    const QString pattern = dir.filePath(QStringLiteral("pattern.png"));
    const QString mask = dir.filePath(QStringLiteral("mask.png"));
    QCOMPARE(runRender(QStringList(arguments) << QStringLiteral("-o") << pattern).exitCode, 0);
    QCOMPARE(runRender(
                 QStringList(arguments) << QStringLiteral("--mask") << QStringLiteral("-o") << mask)
                 .exitCode,
        0);
    const QImage p(pattern);
    const QImage m(mask);
    QCOMPARE(m.size(), p.size());

    const EncoderSettings s = parsedSettings(arguments);
    const PatternGeometry g = patternGeometry(s);
    const bool disc = g.shape == Shape::Disc;
    const QPointF k = patternPixelsPerMm(s);
    const QPointF offset = patternPixelOffset(s);
    const double clear = g.lineWidth + 0.2; // keep off the border lines
    const auto dark = [](const QImage &image, QPoint at) {
        return image.rect().contains(at) && qGray(image.pixel(at)) < 128;
    };
    // Slits: runs of clear mask pixels along each track's centre line, keyed by track and place.
    struct Slit
    {
        int track;
        std::vector<QPointF> points; // mm
    };
    std::vector<Slit> slits;
    for (size_t t = 0; t < g.tracks.size(); ++t) {
        const PatternGeometry::Track &track = g.tracks[t];
        std::vector<QPointF> open;
        for (int y = 0; y < m.height(); ++y) {
            for (int x = 0; x < m.width(); ++x) {
                const QPointF mm((x + 0.5 - offset.x()) / k.x(), (y + 0.5 - offset.y()) / k.y());
                const double across
                    = disc ? std::hypot(mm.x() - g.center.x(), mm.y() - g.center.y()) : mm.y();
                if (across < track.from + clear || across > track.to - clear
                    || (!disc
                        && (mm.x() < g.nominal.left() + clear
                            || mm.x() > g.nominal.right() - clear)))
                    continue;
                if (!dark(m, QPoint(x, y)))
                    open.push_back(mm);
            }
        }
        // Group by place along the track: a new slit where the place jumps.
        const auto place = [&](QPointF q) {
            return disc ? std::fmod(
                       std::atan2(-(q.y() - g.center.y()), q.x() - g.center.x()) * 180 / M_PI + 360,
                       360)
                        : q.x();
        };
        std::sort(
            open.begin(), open.end(), [&](QPointF a, QPointF b) { return place(a) < place(b); });
        for (size_t i = 0; i < open.size(); ++i) {
            if (i == 0 || place(open[i]) - place(open[i - 1]) > 1.0)
                slits.push_back({ int(t), {} });
            slits.back().points.push_back(open[i]);
        }
    }
    QVERIFY(!slits.empty());

    const int steps = s.type == EncoderType::Absolute ? Codes::positions(s) : 4 * s.count;
    const double step = readingStep(s);
    std::vector<unsigned> words;
    for (int q = 0; q < steps; ++q) {
        unsigned word = 0;
        for (const Slit &slit : slits) {
            int seen = 0;
            for (const QPointF &point : slit.points) {
                QPointF at = point + QPointF(q * step, 0);
                if (disc) {
                    // The disc turned on by q steps clockwise: read where it was q steps before.
                    const double a = -q * step * M_PI / 180;
                    const QPointF r = point - g.center;
                    at = g.center
                        + QPointF(r.x() * std::cos(a) + r.y() * std::sin(a),
                            -r.x() * std::sin(a) + r.y() * std::cos(a));
                }
                seen += dark(p,
                    QPoint(int(std::floor(at.x() * k.x() + offset.x())),
                        int(std::floor(at.y() * k.y() + offset.y()))));
            }
            word = word << 1 | (2 * seen > int(slit.points.size()) ? 1u : 0u);
        }
        words.push_back(word);
    }

    if (s.type == EncoderType::Absolute) {
        QCOMPARE(std::set<unsigned>(words.begin(), words.end()).size(), size_t(steps));
        if (!s.singleTrack) {
            for (int q = 0; q < steps; ++q) {
                unsigned expected = 0;
                for (const Slit &slit : slits)
                    expected
                        = expected << 1 | (codeWord(s, q) >> g.tracks[size_t(slit.track)].bit & 1u);
                QVERIFY2(words[size_t(q)] == expected,
                    qPrintable(QStringLiteral("position %1 reads %2, not %3")
                                   .arg(q)
                                   .arg(words[size_t(q)], 0, 2)
                                   .arg(expected, 0, 2)));
            }
        }
        return;
    }
    // Relative: A and B (the first two slits) step through four states, one bit at a time.
    const bool index = s.index;
    int indexReadings = 0;
    const int shift = int(slits.size()) - 2;
    for (int q = 0; q < steps; ++q) {
        const unsigned ab = words[size_t(q)] >> shift & 3u;
        const unsigned next = words[size_t((q + 1) % steps)] >> shift & 3u;
        QVERIFY2(ab != next && ((ab ^ next) & ((ab ^ next) - 1)) == 0,
            qPrintable(QStringLiteral("step %1: %2 then %3").arg(q).arg(ab).arg(next)));
        if (q >= 4)
            QCOMPARE(ab, words[size_t(q - 4)] >> shift & 3u);
        indexReadings += index && (words[size_t(q)] & 1u);
    }
    if (index)
        QCOMPARE(indexReadings, 1);
}

// The mask is written in every format, slits and all.
void TestPcb::maskInEveryFormat()
{
    const QStringList arguments { "--shape", "disc", "--bits", "3", "--outer-radius", "20",
        "--inner-radius", "5", "--mask" };
    for (const char *suffix : { "png", "pdf", "svg", "dxf", "kicad_mod" }) {
        const QString file = dir.filePath(QStringLiteral("mask.") + QLatin1String(suffix));
        QStringList all = QStringList(arguments) << QStringLiteral("-o") << file;
        if (QLatin1String(suffix) == QLatin1String("pdf"))
            all << QStringLiteral("--vector");
        const Run run = runRender(all);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(QFileInfo(file).size() > 0);
    }
    // Three tracks, one slit each: each track is one opaque piece; the border circles are one
    // path with holes, the outline the outer and inner circle.
    QFile svg(dir.filePath(QStringLiteral("mask.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QCOMPARE(text.count("<path"), 3 + 1 + 1 + 2);
    const Run describe = runRender(QStringList(arguments) << QStringLiteral("--describe"));
    QCOMPARE(QString::fromUtf8(describe.out).count(QStringLiteral("slit in")), 3);
}

QTEST_GUILESS_MAIN(TestPcb)
#include "tst_pcb.moc"
