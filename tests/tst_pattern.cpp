// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "renderer.h"
#include "shapes.h"
#include "summary.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>

using Runs = QList<QPair<double, double>>;

Q_DECLARE_METATYPE(BitOrder)

// The pattern geometry against worked values, and its precise raster against the ideal edges.
class TestPattern : public QObject
{
    Q_OBJECT

private slots:
    void flattenedIntoAKeptBuffer_data();
    void flattenedIntoAKeptBuffer();
    void trackRuns_data();
    void trackRuns();
    void foregroundArea_data();
    void foregroundArea();
    void preciseDutyCycle_data();
    void preciseDutyCycle();
    void preciseStripDecodes_data();
    void preciseStripDecodes();
    void summaryInWords_data();
    void summaryInWords();
};

static EncoderSettings strip(int bits, bool border, BitOrder order = BitOrder::LsbToMsb)
{
    EncoderSettings s;
    s.widthMm = 80;
    s.heightMm = 30;
    s.bits = s.pairs = bits;
    s.border = border;
    s.borderWidthMm = 0.1;
    s.bitOrder = order;
    return s;
}

static EncoderSettings disc(int bits, bool gray, BitOrder order = BitOrder::LsbToMsb)
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.outerRadiusMm = 20;
    s.innerRadiusMm = 5;
    s.bits = s.pairs = bits;
    s.code = gray ? Code::Gray : Code::Binary;
    s.border = false;
    s.bitOrder = order;
    return s;
}

// Disc runs as angles modulo 360, sorted, so a run across 0 degrees compares as its two parts.
static Runs normalised(const PatternGeometry::Track &track, Shape shape)
{
    Runs runs;
    for (const PatternGeometry::Run &r : track.runs) {
        double from = r.from;
        double to = r.to;
        if (shape == Shape::Disc && from < 0) {
            runs.append({ from + 360, 360 });
            from = 0;
        }
        runs.append({ from, to });
    }
    std::sort(runs.begin(), runs.end());
    return runs;
}

void TestPattern::trackRuns_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<int>("track");
    QTest::addColumn<double>("from"); // strip: top y; disc: inner radius
    QTest::addColumn<double>("to");
    QTest::addColumn<Runs>("runs");

    // A strip's steps lie between the left and right border lines' centres, half a width in.
    QTest::newRow("strip msb on top") << strip(3, false) << 0 << 0.0 << 10.0 << Runs { { 40, 80 } };
    QTest::newRow("strip middle") << strip(3, false) << 1 << 10.0 << 20.0
                                  << Runs { { 20, 40 }, { 60, 80 } };
    QTest::newRow("strip lsb at the bottom") << strip(
        3, false) << 2 << 20.0 << 30.0 << Runs { { 10, 20 }, { 30, 40 }, { 50, 60 }, { 70, 80 } };
    QTest::newRow("strip reversed: lsb on top")
        << strip(3, false, BitOrder::MsbToLsb) << 0 << 0.0 << 10.0
        << Runs { { 10, 20 }, { 30, 40 }, { 50, 60 }, { 70, 80 } };
    QTest::newRow("strip with border")
        << strip(3, true) << 1 << 10.05 << 20.05 << Runs { { 20.05, 40.05 }, { 60.05, 80.05 } };
    EncoderSettings relative = strip(1, true);
    relative.type = EncoderType::Relative;
    relative.bits = relative.pairs = 2;
    QTest::newRow("relative strip starts with a gap")
        << relative << 0 << 0.05 << 30.05 << Runs { { 20.05, 40.05 }, { 60.05, 80.05 } };

    // Outermost track first; angles counter-clockwise as seen, steps running clockwise.
    QTest::newRow("binary disc outer") << disc(3,
        false) << 0 << 15.0 << 20.0 << Runs { { 0, 45 }, { 90, 135 }, { 180, 225 }, { 270, 315 } };
    QTest::newRow("binary disc middle")
        << disc(3, false) << 1 << 10.0 << 15.0 << Runs { { 0, 90 }, { 180, 270 } };
    QTest::newRow("binary disc inner") << disc(3, false) << 2 << 5.0 << 10.0 << Runs { { 0, 180 } };
    QTest::newRow("gray disc outer")
        << disc(3, true) << 0 << 15.0 << 20.0 << Runs { { 45, 135 }, { 225, 315 } };
    QTest::newRow("gray disc middle") << disc(3, true) << 1 << 10.0 << 15.0 << Runs { { 90, 270 } };
    QTest::newRow("gray disc inner") << disc(3, true) << 2 << 5.0 << 10.0 << Runs { { 0, 180 } };
    QTest::newRow("gray disc reversed: msb outside")
        << disc(3, true, BitOrder::MsbToLsb) << 0 << 15.0 << 20.0 << Runs { { 0, 180 } };
    QTest::newRow("gray disc reversed: lsb inside") << disc(3, true, BitOrder::MsbToLsb) << 2 << 5.0
                                                    << 10.0 << Runs { { 45, 135 }, { 225, 315 } };
    EncoderSettings wheel = disc(1, false);
    wheel.type = EncoderType::Relative;
    wheel.bits = wheel.pairs = 2;
    QTest::newRow("relative disc first sector from 0 degrees")
        << wheel << 0 << 5.0 << 20.0 << Runs { { 0, 90 }, { 180, 270 } };
}

void TestPattern::trackRuns()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(int, track);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(Runs, runs);

    const PatternGeometry g = patternGeometry(settings);
    QVERIFY(track < int(g.tracks.size()));
    const PatternGeometry::Track &t = g.tracks[size_t(track)];
    QCOMPARE(t.from, from);
    QCOMPARE(t.to, to);
    const Runs actual = normalised(t, settings.shape);
    QCOMPARE(actual.size(), runs.size());
    for (int i = 0; i < runs.size(); ++i) {
        QVERIFY2(std::fabs(actual[i].first - runs[i].first) < 1e-9
                && std::fabs(actual[i].second - runs[i].second) < 1e-9,
            qPrintable(
                QStringLiteral("run %1: %2-%3").arg(i).arg(actual[i].first).arg(actual[i].second)));
    }
}

void TestPattern::foregroundArea_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<double>("area");

    // Every code track is foreground half of its length; border bands are added once.
    QTest::newRow("strip, no border") << strip(3, false) << 80.0 * 30 / 2;
    EncoderSettings binary = disc(4, false);
    QTest::newRow("binary disc, no border") << binary << M_PI * (400 - 25) / 2;
    // A 0.1 mm frame around three 10 mm tracks of 80 mm, whose marks stop at the lines.
    const double frames = 80.1 * 30.1 - 3 * 79.9 * 9.9;
    QTest::newRow("strip with border") << strip(3, true) << frames + 3 * 79.9 * 9.9 / 2;
    EncoderSettings ring = disc(1, false);
    ring.border = true;
    ring.borderWidthMm = 0.5;
    const double circles = M_PI * (20.25 * 20.25 - 19.75 * 19.75 + 5.25 * 5.25 - 4.75 * 4.75);
    QTest::newRow("disc with circles")
        << ring << circles + M_PI * (19.75 * 19.75 - 5.25 * 5.25) / 2;
}

void TestPattern::foregroundArea()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(double, area);
    settings.centerMark = false;
    QVERIFY2(std::fabs(patternGeometry(settings).foregroundArea() - area) < 1e-9 * area,
        qPrintable(QString::number(patternGeometry(settings).foregroundArea(), 'f', 9)));
}

// Lengths of the runs of equal colour along a row, the first and last (cut by the image) left out.
static QList<int> runLengths(const QImage &image, int y, QList<bool> *colours)
{
    QList<int> lengths;
    int start = 0;
    for (int x = 1; x <= image.width(); ++x) {
        if (x < image.width() && image.pixel(x, y) == image.pixel(start, y))
            continue;
        if (start > 0 && x < image.width()) {
            lengths.append(x - start);
            colours->append(qGray(image.pixel(start, y)) < 128);
        }
        start = x;
    }
    return lengths;
}

void TestPattern::preciseDutyCycle_data()
{
    QTest::addColumn<int>("pairs");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<bool>("border");
    QTest::newRow("1024 pairs on 200 mm at 1200 dpi") << 1024 << 1200 << false;
    QTest::newRow("1024 pairs with border") << 1024 << 1200 << true;
    QTest::newRow("300 pairs at 600 dpi") << 300 << 600 << false;
}

// Every mark and every gap of a relative strip is its ideal width to within one pixel: no
// truncation accumulates along the strip.
void TestPattern::preciseDutyCycle()
{
    QFETCH(int, pairs);
    QFETCH(int, dpi);
    QFETCH(bool, border);
    EncoderSettings s;
    s.type = EncoderType::Relative;
    s.bits = s.pairs = pairs;
    s.widthMm = 200;
    s.heightMm = 5;
    s.dpi = dpi;
    s.border = border;
    const QImage image = renderPreciseImage(s, false);
    QList<bool> colours;
    const QList<int> lengths = runLengths(image, image.height() / 2, &colours);
    const double ideal = 200.0 / (2 * pairs) * precisePixelsPerMm(dpi);
    QVERIFY(lengths.size() >= 2 * pairs - 3);
    // The runs next to the frame lines are cut by them.
    for (int i = 2; i < lengths.size() - 2; ++i)
        QVERIFY2(std::fabs(lengths[i] - ideal) < 1.0,
            qPrintable(
                QStringLiteral("run %1 is %2 px, ideal %3").arg(i).arg(lengths[i]).arg(ideal)));
}

void TestPattern::preciseStripDecodes_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("border");
    QTest::addColumn<BitOrder>("order");
    QTest::newRow("10 bits") << 10 << false << BitOrder::LsbToMsb;
    QTest::newRow("10 bits, border, reversed") << 10 << true << BitOrder::MsbToLsb;
    QTest::newRow("4 bits, border") << 4 << true << BitOrder::LsbToMsb;
}

// Read as a sensor would, every column gives its own code step, except within a pixel of a step
// boundary.
void TestPattern::preciseStripDecodes()
{
    QFETCH(int, bits);
    QFETCH(bool, border);
    QFETCH(BitOrder, order);
    EncoderSettings s;
    s.bits = s.pairs = bits;
    s.widthMm = 200;
    s.heightMm = 40;
    s.dpi = 1200;
    s.border = border;
    s.borderWidthMm = 0.2;
    s.bitOrder = order;
    const QImage image = renderPreciseImage(s, false);
    const PatternGeometry g = patternGeometry(s);
    const double k = precisePixelsPerMm(s.dpi);
    const double pitch = g.nominal.width() / g.positions * k;
    int checked = 0;
    for (int x = 0; x < image.width(); ++x) {
        const double along = (x + 0.5) - g.nominal.left() * k;
        const int step = int(std::floor(along / pitch));
        const double fromBoundary = std::min(along - step * pitch, (step + 1) * pitch - along);
        const double inside = std::min(x + 0.5, image.width() - x - 0.5) - g.lineWidth * k;
        if (step < 0 || step >= g.positions || fromBoundary <= 1.0 || inside <= 1.0)
            continue;
        unsigned word = 0;
        for (const PatternGeometry::Track &t : g.tracks) {
            const int y = int((t.from + t.to) / 2 * k);
            if (qGray(image.pixel(x, y)) < 128)
                word |= 1u << t.bit;
        }
        QVERIFY2(word == codeWord(s, step),
            qPrintable(QStringLiteral("column %1: %2, step %3").arg(x).arg(word).arg(step)));
        ++checked;
    }
    QVERIFY(checked > image.width() / 2);
}

void TestPattern::summaryInWords_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<QString>("summary");
    QTest::newRow("window's start") << EncoderSettings()
                                    << QStringLiteral("strip, absolute, 16 positions, binary code, "
                                                      "4 tracks, LSB\u00a0--->\u00a0MSB, 100 x "
                                                      "20 mm, border 0.1 mm, 600 dpi");
    EncoderSettings relative;
    relative.shape = Shape::Disc;
    relative.code = Code::Gray; // as the window draws a disc
    relative.type = EncoderType::Relative;
    relative.bits = relative.pairs = 16;
    relative.quadrature = true;
    relative.index = true;
    relative.border = false;
    QTest::newRow("relative disc")
        << relative
        << QStringLiteral("disc, relative, 16 pairs, quadrature, index 90 electrical degrees, "
                          "outer radius 20 mm, inner radius 0 mm, no border, 600 dpi");
}

void TestPattern::summaryInWords()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(QString, summary);
    QCOMPARE(settingsSummary(settings), summary);
}

void TestPattern::flattenedIntoAKeptBuffer_data()
{
    QTest::addColumn<Shapes::Contour>("contour");
    QTest::addColumn<int>("corners");
    QTest::newRow("rectangle") << Shapes::rectangle(1, 2, 5, 9, false) << 4;
    QTest::newRow("rectangle, a hole") << Shapes::rectangle(1, 2, 5, 9, true) << 4;
    QTest::newRow("circle") << Shapes::circle(QPointF(3, 4), 10, false) << 0;
    Shapes::Contour sector;
    sector.start = QPointF(100, 0);
    sector.arcTo(QPointF(0, 0), 100, 0, 30);
    sector.lineTo(QPointF(0, 0));
    QTest::newRow("sector") << sector << 0;
}

// A contour flattened into a buffer that held another's points is the contour alone: the
// coverage fill goes through every mark with one buffer.
void TestPattern::flattenedIntoAKeptBuffer()
{
    QFETCH(Shapes::Contour, contour);
    QFETCH(int, corners);
    std::vector<QPointF> kept(37, QPointF(-1, -1));
    contour.flattenInto(0.01, kept);
    QCOMPARE(kept, contour.flattened(0.01));
    QVERIFY(kept.size() > 2 && kept.front() != kept.back());
    if (corners > 0)
        QCOMPARE(int(kept.size()), corners);
    else
        QVERIFY(kept.size() > 8); // arcs in many chords
}

QTEST_GUILESS_MAIN(TestPattern)
#include "tst_pattern.moc"
