// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "decodetable.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "renderer.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <set>

// Reads rendered patterns as sensors would: quadrature channels and index along a strip and
// round a disc, absolute codes of any count, single-track codes at their sensor angles.
class TestEncoders : public QObject
{
    Q_OBJECT

private slots:
    void cyclicGrayForEveryEvenCount();
    void singleTrackLibraryIsVerified();
    void quadrature_data();
    void quadrature();
    void codesDecodeInOrder_data();
    void codesDecodeInOrder();
    void singleTrackReadsDistinctWords();
    void headerCompilesAndDecodes();
};

// Samples a rendered pattern at positions along a track, in millimetres of the geometry.
class Sensor
{
public:
    Sensor(const EncoderSettings &settings)
        : settings(settings), geometry(patternGeometry(settings)),
          image(renderEncoderImageForTest(settings)), k(precisePixelsPerMm(settings.dpi))
    {
        shift = patternPixelOffset(settings);
    }

    // Foreground at `position` (in steps, growing left to right or clockwise) on a track.
    bool read(const PatternGeometry::Track &track, double position, double steps) const
    {
        const QPointF p = pointAt((track.from + track.to) / 2, position, steps);
        return qGray(image.pixel(int(std::floor(p.x())), int(std::floor(p.y())))) < 128;
    }

    // The pixel point of a place on the pattern.
    QPointF pointAt(double across, double position, double steps) const
    {
        if (settings.shape == Shape::Strip) {
            const double x = geometry.nominal.left() + geometry.nominal.width() * position / steps;
            return QPointF(x * k + shift.x(), across * k + shift.y());
        }
        const double angle = qDegreesToRadians(360.0 * position / steps);
        const QPointF c = geometry.center;
        return QPointF((c.x() + across * std::cos(angle)) * k + shift.x(),
            (c.y() + across * std::sin(angle)) * k + shift.y()); // clockwise as seen: y grows
    }

    // Pixels along the track between two positions.
    double pixels(const PatternGeometry::Track &track, double positions, double steps) const
    {
        const double length = settings.shape == Shape::Strip
            ? geometry.nominal.width()
            : 2 * M_PI * (track.from + track.to) / 2;
        return length * positions / steps * k;
    }

    static QImage renderEncoderImageForTest(EncoderSettings s)
    {
        s.classicPixels = false;
        return renderPreciseImage(s, false);
    }

    EncoderSettings settings;
    PatternGeometry geometry;
    QImage image;
    double k;
    QPointF shift;
};

void TestEncoders::cyclicGrayForEveryEvenCount()
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.code = Code::Gray;
    for (int n = 2; n <= 4096; n += 2) {
        s.positions = n;
        std::set<unsigned> words;
        for (int p = 0; p < n; ++p) {
            const unsigned a = codeWord(s, p);
            const unsigned b = codeWord(s, (p + 1) % n);
            QVERIFY2(qPopulationCount(a ^ b) == 1,
                qPrintable(QStringLiteral("%1 positions: %2 to %3").arg(n).arg(p).arg(p + 1)));
            QVERIFY(a < (1u << Codes::wordBits(s)));
            words.insert(a);
        }
        QCOMPARE(int(words.size()), n);
    }
}

// Every code of the library: distinct words, one sensor changing per step, wrap-around included.
void TestEncoders::singleTrackLibraryIsVerified()
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.code = Code::SingleTrack;
    int codes = 0;
    for (int n = 2; n <= 400; ++n) {
        if (!Codes::singleTrack(n))
            continue;
        ++codes;
        s.positions = n;
        std::set<unsigned> words;
        for (int p = 0; p < n; ++p) {
            words.insert(codeWord(s, p));
            QCOMPARE(qPopulationCount(codeWord(s, p) ^ codeWord(s, (p + 1) % n)), 1);
        }
        QCOMPARE(int(words.size()), n);
    }
    // 30, 60, 126, 240 and 360 published (30 also Johnson) and the fifteen Johnson tracks of 4 to
    // 32 positions: nineteen counts.
    QCOMPARE(codes, 19);
}

void TestEncoders::quadrature_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    EncoderSettings strip;
    strip.type = EncoderType::Relative;
    strip.quadrature = true;
    strip.index = true;
    strip.bits = strip.pairs = 40;
    strip.widthMm = 120;
    strip.heightMm = 15;
    EncoderSettings disc = strip;
    disc.shape = Shape::Disc;
    disc.code = Code::Gray; // as the window draws a disc
    disc.outerRadiusMm = 30;
    disc.innerRadiusMm = 12;
    disc.bits = disc.pairs = 64;
    QTest::newRow("strip") << strip;
    QTest::newRow("disc") << disc;
    disc.indexWidthDegrees = 180;
    disc.border = false;
    disc.sensorMarks = true;
    QTest::newRow("disc, index 180, no border, sensor marks") << disc;
    strip.index = false;
    strip.bits = strip.pairs = 101;
    QTest::newRow("strip without index") << strip;
}

// States follow 00, 10, 11, 01 (A first) in the positive direction, each a quarter period to
// within a pixel, 4P of them per turn; one index mark of the asked width in the A-and-B quarter.
void TestEncoders::quadrature()
{
    QFETCH(EncoderSettings, settings);
    const Sensor sensor(settings);
    const std::vector<PatternGeometry::Track> &tracks = sensor.geometry.tracks;
    QCOMPARE(int(tracks.size()), settings.index ? 3 : 2);
    const double steps = 2.0 * settings.pairs;
    const int samples = int(steps) * 200;
    const bool disc = settings.shape == Shape::Disc;

    // Strips keep clear of the frame lines at the ends; a disc is read once round from just
    // past 3 o'clock, crossing every boundary once.
    const double margin = 0.6;
    int previous = -1;
    int changes = 0;
    QList<double> boundaries;
    int zMarks = 0;
    double zFrom = -1, zTo = -1;
    bool zWasOn = false;
    for (int i = 0; i <= samples; ++i) {
        const double position
            = disc ? 0.1 + steps * i / samples : margin + (steps - 2 * margin) * i / samples;
        const int state = (sensor.read(tracks[0], position, steps) ? 2 : 0)
            | (sensor.read(tracks[1], position, steps) ? 1 : 0);
        if (previous >= 0 && state != previous) {
            // 00 -> 10 -> 11 -> 01 -> 00 as A,B: 0 -> 2 -> 3 -> 1 -> 0.
            static const int next[4] = { 2, 0, 3, 1 };
            QVERIFY2(state == next[previous],
                qPrintable(
                    QStringLiteral("%1 to %2 at %3").arg(previous).arg(state).arg(position)));
            ++changes;
            boundaries.append(position);
        }
        previous = state;
        if (settings.index) {
            const bool z = sensor.read(tracks[2], position, steps);
            if (z && !zWasOn) {
                ++zMarks;
                zFrom = position;
                if (settings.indexWidthDegrees <= 90)
                    QCOMPARE(state, 3); // a 90 degree index lies inside the A-and-B quarter
            }
            if (!z && zWasOn)
                zTo = position;
            zWasOn = z;
        }
    }
    // Boundaries every half segment (a quarter period), to within a pixel of arc or length.
    for (double b : boundaries) {
        const double ideal = std::round(b * 2) / 2;
        QVERIFY2(sensor.pixels(tracks[1], std::fabs(b - ideal), steps) <= 1.0,
            qPrintable(QStringLiteral("boundary at %1").arg(b)));
    }
    if (disc)
        QCOMPARE(changes, 4 * settings.pairs);
    else
        QVERIFY(changes >= 4 * settings.pairs - 3);
    if (settings.index) {
        QCOMPARE(zMarks, 1);
        const double width = settings.indexWidthDegrees / 360.0 * 2;
        QVERIFY(sensor.pixels(tracks[2], std::fabs((zTo - zFrom) - width), steps) <= 1.0);
        QVERIFY(sensor.pixels(tracks[2], std::fabs((zTo + zFrom) / 2 - 1.75), steps) <= 1.0);
    }
}

void TestEncoders::codesDecodeInOrder_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    const auto disc = [](int positions, bool gray) {
        EncoderSettings s;
        s.shape = Shape::Disc;
        s.positions = positions;
        s.code = gray ? Code::Gray : Code::Binary;
        s.outerRadiusMm = 100;
        s.innerRadiusMm = 60;
        s.border = false;
        return s;
    };
    QTest::newRow("gray disc, 360") << disc(360, true);
    QTest::newRow("gray disc, 1000") << disc(1000, true);
    QTest::newRow("gray disc, 3000") << disc(3000, true);
    QTest::newRow("gray disc, 2") << disc(2, true);
    QTest::newRow("gray disc, 4") << disc(4, true);
    QTest::newRow("binary disc, 1000") << disc(1000, false);
    EncoderSettings reversed = disc(360, true);
    reversed.bitOrder = BitOrder::MsbToLsb;
    QTest::newRow("gray disc, 360, msb outside") << reversed;
    EncoderSettings strip;
    strip.widthMm = 200;
    strip.heightMm = 40;
    strip.positions = 1001;
    strip.code = Code::Gray;
    QTest::newRow("gray strip, 1001 (odd)") << strip;
    strip.code = Code::Binary;
    strip.positions = 777;
    QTest::newRow("binary strip, 777") << strip;
}

// Reading every track at each position's centre and looking the word up in the decode table
// gives 0 ... N-1 in order; Gray neighbours differ in one bit, round a disc's end too.
void TestEncoders::codesDecodeInOrder()
{
    QFETCH(EncoderSettings, settings);
    const Sensor sensor(settings);
    const std::vector<int> table = DecodeTable::positionsByWord(settings);
    const int n = Codes::positions(settings);
    const bool gray = Codes::isGray(settings);
    unsigned first = 0;
    unsigned previous = 0;
    for (int p = 0; p < n; ++p) {
        unsigned word = 0;
        for (const PatternGeometry::Track &t : sensor.geometry.tracks)
            word |= unsigned(sensor.read(t, p + 0.5, n)) << t.bit;
        QVERIFY(word < table.size());
        QVERIFY2(
            table[word] == p, qPrintable(QStringLiteral("position %1 reads %2").arg(p).arg(word)));
        if (p == 0)
            first = word;
        else if (gray)
            QCOMPARE(qPopulationCount(word ^ previous), 1);
        previous = word;
    }
    if (gray && settings.shape == Shape::Disc)
        QCOMPARE(qPopulationCount(first ^ previous), 1);
}

// The 9 x 360 disc read at its nine sensor angles gives 360 distinct words, the code's own.
void TestEncoders::singleTrackReadsDistinctWords()
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.code = Code::SingleTrack;
    s.positions = 360;
    s.outerRadiusMm = 40;
    s.innerRadiusMm = 30;
    s.sensorMarks = true;
    const Sensor sensor(s);
    const Codes::SingleTrack *code = Codes::singleTrack(360);
    QVERIFY(code);
    QCOMPARE(int(sensor.geometry.sensors.size()), 9);
    std::set<unsigned> words;
    for (int p = 0; p < 360; ++p) {
        unsigned word = 0;
        for (size_t j = 0; j < code->sensorOffset.size(); ++j)
            word |= unsigned(sensor.read(
                        sensor.geometry.tracks.front(), p + 0.5 + code->sensorOffset[j], 360))
                << j;
        QCOMPARE(word, codeWord(s, p));
        words.insert(word);
    }
    QCOMPARE(int(words.size()), 360);
}

// The .h table is C a sketch includes as it is: it compiles without warnings and decodes.
void TestEncoders::headerCompilesAndDecodes()
{
    QUVELTA_NEEDS("cc");
    QTemporaryDir dir;
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.code = Code::Gray; // as the window draws a disc
    s.positions = 1000;
    QString error;
    QVERIFY2(
        DecodeTable::write(s, dir.filePath(QStringLiteral("decode.h")), &error), qPrintable(error));
    QFile program(dir.filePath(QStringLiteral("main.c")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#include <stdio.h>\n#include \"decode.h\"\n"
                  "int main(void) {\n"
                  "    unsigned w;\n"
                  "    long sum = 0;\n"
                  "    int invalid = 0;\n"
                  "    for (w = 0; w < (1u << QUVELTA_WORD_BITS); ++w) {\n"
                  "        if (QUVELTA_DECODE[w] < 0) ++invalid; else sum += QUVELTA_DECODE[w];\n"
                  "    }\n"
                  "    printf(\"%d %ld %d\\n\", QUVELTA_POSITIONS, sum, invalid);\n"
                  "    return 0;\n}\n");
    program.close();
    QProcess cc;
    cc.setWorkingDirectory(dir.path());
    cc.start(QStringLiteral("cc"),
        { QStringLiteral("-std=c99"), QStringLiteral("-Wall"), QStringLiteral("-Wextra"),
            QStringLiteral("-pedantic"), QStringLiteral("-Werror"), QStringLiteral("main.c"),
            QStringLiteral("-o"), QStringLiteral("decode") });
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitCode() == 0, cc.readAllStandardError().constData());
    QProcess run;
    run.start(dir.filePath(QStringLiteral("decode")), {});
    QVERIFY(run.waitForFinished(10000));
    // Every position once: 0 + 1 + ... + 999; the 24 words of 1024 that no position shows.
    QCOMPARE(run.readAllStandardOutput().trimmed(), QByteArray("1000 499500 24"));
}

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
