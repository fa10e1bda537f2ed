// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "patterngeometry.h"
#include "patternrows.h"
#include "preciseraster.h"
#include "readback.h"
#include "renderer.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// Every pattern decoded from its own pixels by a sampler that knows only the code and the sizes,
// the stated size measured in the image, and the read-back check against patterns that hide or
// misplace their tracks.
class TestReadBack : public QObject
{
    Q_OBJECT

private slots:
    void exactPixelsDecode_data();
    void exactPixelsDecode();
    void linesWhereTheyAreStated_data();
    void linesWhereTheyAreStated();
    void classicPixelsUnchanged_data();
    void classicPixelsUnchanged();
    void exactPixelsGolden_data();
    void exactPixelsGolden();
    void unreadablePatternsWarned_data();
    void unreadablePatternsWarned();
    void plainTrackCountsLikeQuadrature_data();
    void plainTrackCountsLikeQuadrature();
    void keptClassicPixelsReadAlike_data();
    void keptClassicPixelsReadAlike();
    void keptFromBandsAsFromTheWhole_data();
    void keptFromBandsAsFromTheWhole();
    void verdictsAsCounted_data();
    void verdictsAsCounted();
    void keptDarkAsGrey_data();
    void keptDarkAsGrey();
    void keptRowsAsGiven_data();
    void keptRowsAsGiven();

private:
    QTemporaryDir dir;
};

namespace {

EncoderSettings parsed(const QStringList &arguments)
{
    const ParseResult result
        = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") } << arguments);
    if (result.status != ParseResult::Status::Run)
        qFatal("%s", qPrintable(result.text));
    return result.job.settings;
}

// Draws the raster's rows band by band, as a file takes them.
void drawInBands(const PatternRaster &raster)
{
    PatternRows rows(raster);
    const PixelPacking::RowPacker packer(rows.layout(), rows.size().width());
    std::vector<uchar> packed(size_t(packer.rowBytes()));
    for (int y = 0; y < rows.size().height(); ++y)
        rows.packRow(y, packer, packed.data());
}

// Keeps every band the raster draws.
PatternRaster::Painted keeping(DrawnPixels &kept)
{
    return [&kept](const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors) {
        kept.keep(firstRow, stride, top, rows, colors);
    };
}

Run render(const QStringList &arguments, const QString &workDir)
{
    return runRender(arguments, workDir);
}

// The MD5 of an RGB32 image's pixels, row by row without the padding.
QByteArray pixelHash(const QImage &image)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(image.constScanLine(y)),
            image.width() * 4));
    return hash.result().toHex();
}

bool dark(const QImage &image, double x, double y)
{
    const int px = int(std::floor(x));
    const int py = int(std::floor(y));
    if (px < 0 || py < 0 || px >= image.width() || py >= image.height())
        return false;
    return qGray(image.pixel(px, py)) < 128;
}

// The word a sensor row sees at every step centre: strips along each track's centre line, discs
// along each ring's centre circle. Tracks split the stated height or ring equally, outermost or
// top first; the bit order puts the most significant bit on top of a strip and the least
// significant outside a disc while LSB ---> MSB.
int wrongPositions(const EncoderSettings &s, const QImage &image, int *skipped)
{
    const double k = s.dpi / 25.4;
    const QPointF offset = patternPixelOffset(s);
    const double half = s.border ? s.borderWidthMm / 2 : 0.0;
    const int n = Codes::positions(s);
    const int bits = Codes::wordBits(s);
    const bool disc = s.shape == Shape::Disc;
    const bool lowFirst = (s.bitOrder == BitOrder::LsbToMsb) == disc;
    int wrong = 0;
    *skipped = 0;
    for (int q = 0; q < n; ++q) {
        unsigned word = 0;
        for (int i = 0; i < bits; ++i) {
            const int bit = lowFirst ? i : bits - 1 - i;
            QPointF at;
            if (disc) {
                const double r = s.outerRadiusMm
                    - (s.outerRadiusMm - s.innerRadiusMm) * (i + 0.5) / bits;
                const double a = -(q + 0.5) / n * 2 * M_PI; // clockwise from 3 o'clock
                at = QPointF(half + s.outerRadiusMm + r * std::cos(a),
                    half + s.outerRadiusMm - r * std::sin(a));
            } else {
                const double x = (q + 0.5) * s.widthMm / n;
                if (x < half + 1 / k || s.widthMm - x < half + 1 / k) {
                    ++*skipped; // under the end lines: a note of its own
                    word = codeWord(s, q);
                    break;
                }
                at = QPointF(half + x, half + s.heightMm * (i + 0.5) / bits);
            }
            if (dark(image, at.x() * k + offset.x(), at.y() * k + offset.y()))
                word |= 1u << bit;
        }
        if (word != codeWord(s, q))
            ++wrong;
    }
    return wrong;
}

}

void TestReadBack::exactPixelsDecode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("decodes");
    const QStringList tenBits { "--bits", "10" };
    const QStringList fine { "--bits", "12", "--width", "200", "--dpi", "1200" };
    for (const bool antialias : { true, false }) {
        const QStringList aa = antialias ? QStringList() : QStringList { "--no-antialias" };
        const QString tag = antialias ? QStringLiteral(", antialiased") : QStringLiteral(", plain");
        QTest::newRow(qPrintable("10 bits" + tag)) << tenBits + aa << true;
        QTest::newRow(qPrintable("12 bits, 200 mm, 1200 dpi" + tag)) << fine + aa << true;
        QTest::newRow(qPrintable("12 bits, no border" + tag))
            << fine + aa + QStringList { "--no-border" } << true;
        QTest::newRow(qPrintable("1000 positions, gray strip, 0.5 mm border" + tag))
            << QStringList { "--positions", "1000", "--code", "gray", "--width", "150", "--dpi",
                   "1200", "--border", "0.5", "--height", "40" } + aa
            << true;
        QTest::newRow(qPrintable("8 bits, 50 dpi, msb-lsb" + tag))
            << QStringList { "--bits", "8", "--width", "200", "--dpi", "50", "--border", "0.3",
                   "--bit-order", "msb-lsb" } + aa
            << true;
        QTest::newRow(qPrintable("6 bits, 150 dpi, 1 mm border" + tag))
            << QStringList { "--bits", "6", "--height", "20", "--dpi", "150", "--border", "1" } + aa
            << true;
        QTest::newRow(qPrintable("6-bit gray disc, 300 dpi" + tag))
            << QStringList { "--shape", "disc", "--bits", "6", "--outer-radius", "40", "--dpi",
                   "300" } + aa
            << true;
        QTest::newRow(qPrintable("10-bit binary disc with a hole, 2 mm border" + tag))
            << QStringList { "--shape", "disc", "--bits", "10", "--code", "binary",
                   "--outer-radius", "100", "--inner-radius", "50", "--border", "2" } + aa
            << true;
        QTest::newRow(qPrintable("360-position disc, msb-lsb" + tag))
            << QStringList { "--shape", "disc", "--positions", "360", "--outer-radius", "60",
                   "--inner-radius", "20", "--bit-order", "msb-lsb", "--dpi", "1200" } + aa
            << true;
    }
    // The same sampler finds the truncated pixels' faults: it is not blind.
    QTest::newRow("classic, 10 bits") << tenBits + QStringList { "--classic-pixels" } << false;
    QTest::newRow("tracks under 5 mm lines")
        << QStringList { "--positions", "1000", "--width", "150", "--border", "5", "--height",
               "40" }
        << false;
    QTest::newRow("classic, 12 bits, 1200 dpi")
        << fine + QStringList { "--classic-pixels" } << false;
}

// Every position reads its own word at the step centres; a strip's end steps under the end
// lines are left to the note that says so.
void TestReadBack::exactPixelsDecode()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, decodes);
    const EncoderSettings s = parsed(arguments << "-o" << "x.png");
    const ParseResult job = parseRenderArguments(QStringList { "quvelta-render" } << arguments);
    const QImage image = renderEncoderImage(s, job.job.antialias);
    QVERIFY(!image.isNull());
    int skipped = 0;
    const int wrong = wrongPositions(s, image, &skipped);
    QVERIFY(skipped <= Codes::positions(s) / 20);
    if (!decodes) {
        QVERIFY2(wrong > Codes::positions(s) / 10, qPrintable(QString::number(wrong)));
        QVERIFY(!readBack(s, job.job.antialias).reads());
        return;
    }
    QVERIFY2(wrong == 0,
        qPrintable(QStringLiteral("%1 of %2 positions wrong").arg(wrong).arg(Codes::positions(s))));
    QVERIFY2(readBack(s, job.job.antialias).reads(),
        qPrintable(readBackReport(readBack(s, job.job.antialias), 0)));
}

void TestReadBack::linesWhereTheyAreStated_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("8 bits") << QStringList { "--bits", "8" };
    QTest::newRow("8 bits, 150 dpi") << QStringList { "--bits", "8", "--dpi", "150" };
    QTest::newRow("6 bits, 1 mm border") << QStringList { "--bits", "6", "--border", "1" };
    QTest::newRow("5 mm border, 50 dpi")
        << QStringList { "--bits", "3", "--border", "5", "--dpi", "50", "--height", "60" };
    QTest::newRow("disc, 8 bits, 30/10 mm")
        << QStringList { "--shape", "disc", "--bits", "8", "--outer-radius", "30",
               "--inner-radius", "10" };
    QTest::newRow("disc 100/50 at 300 dpi") << QStringList { "--shape", "disc", "--bits", "8",
        "--outer-radius", "100", "--inner-radius", "50", "--dpi", "300" };
    QTest::newRow("disc of 2 mm at 1200 dpi")
        << QStringList { "--shape", "disc", "--bits", "4", "--outer-radius", "2",
               "--inner-radius", "1", "--dpi", "1200", "--border", "0.01" };
}

// The border lines between the tracks, measured as the centroid of their darkness through
// position 0 where every track is a gap, lie where the stated sizes put them, within half a
// pixel: the tracks fill the whole height or ring.
void TestReadBack::linesWhereTheyAreStated()
{
    QFETCH(QStringList, arguments);
    const EncoderSettings s = parsed(arguments << "--code" << "binary" << "-o" << "x.png");
    const QImage image = renderEncoderImage(s, true);
    QVERIFY(!image.isNull());
    const double k = s.dpi / 25.4;
    const QPointF offset = patternPixelOffset(s);
    const double half = s.borderWidthMm / 2;
    const bool disc = s.shape == Shape::Disc;
    const int bits = Codes::wordBits(s);
    const auto darkness = [&image](QPointF p) {
        const int x = int(std::floor(p.x()));
        const int y = int(std::floor(p.y()));
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
            return 0.0;
        return 1 - qGray(image.pixel(x, y)) / 255.0;
    };
    // Darkness every tenth of a pixel along a line through position 0, from its start.
    std::vector<double> profile;
    const double stepPx = 0.1;
    QPointF start;
    QPointF along;
    if (disc) {
        const double a = -M_PI / Codes::positions(s); // the middle of step 0
        start = QPointF((half + s.outerRadiusMm) * k + offset.x(),
            (half + s.outerRadiusMm) * k + offset.y());
        along = QPointF(std::cos(a), -std::sin(a));
    } else {
        const double x = (half + s.widthMm / double(Codes::positions(s)) / 2) * k + offset.x();
        start = QPointF(x, 0);
        along = QPointF(0, 1);
    }
    const double length = disc ? (s.outerRadiusMm + 2 * half) * k + 2 : image.height();
    // From inside a disc's hole, past its centre mark.
    const double first = disc ? 0.75 * s.innerRadiusMm * k : 0.0;
    for (double t = first; t < length; t += stepPx)
        profile.push_back(darkness(start + along * t));
    // The lines, in order, by the centroid of each dark run, in pixels from the start.
    std::vector<double> lines;
    double mass = 0;
    double moment = 0;
    for (size_t i = 0; i <= profile.size(); ++i) {
        const double v = i < profile.size() ? profile[i] : 0.0;
        if (v > 0.001) {
            mass += v;
            moment += v * (first + i * stepPx);
        } else if (mass > 0) {
            lines.push_back(moment / mass);
            mass = moment = 0;
        }
    }
    std::vector<double> ideal;
    for (int i = 0; i <= bits; ++i) {
        if (disc)
            ideal.insert(ideal.begin(),
                (s.outerRadiusMm - (s.outerRadiusMm - s.innerRadiusMm) * i / double(bits)) * k);
        else
            ideal.push_back((half + s.heightMm * i / double(bits)) * k + offset.y());
    }
    QVERIFY2(lines.size() == ideal.size(),
        qPrintable(QStringLiteral("%1 lines, %2 stated").arg(lines.size()).arg(ideal.size())));
    // A pixel's darkness stands for its whole width: the centroid of a line is exact to within
    // the pixel grid's half step along a slanted ray.
    // A strip's outer lines may lose up to half a pixel at the image's edges.
    for (size_t i = 0; i < ideal.size(); ++i)
        QVERIFY2(std::fabs(lines[i] - ideal[i]) <= (!disc && (i == 0 || i + 1 == ideal.size())
                         ? 1.0 : 0.5),
            qPrintable(QStringLiteral("line %1 at %2 px, stated %3").arg(i).arg(lines[i]).arg(
                ideal[i])));
}

void TestReadBack::classicPixelsUnchanged_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("md5");
    // The pixels of the truncating rules as they were drawn before the exact raster became the
    // default, RGB32 bytes hashed.
    const auto row = [](const char *name, const QStringList &a, const char *hash) {
        QTest::newRow(name) << a << QByteArray(hash);
    };
#include "classicpixels.inc"
    (void)row;
}

// The classic pixels are the pixels older files were made of, byte for byte.
void TestReadBack::classicPixelsUnchanged()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, md5);
    const ParseResult job = parseRenderArguments(QStringList { "quvelta-render" } << arguments
                                                 << "--classic-pixels" << "-o" << "x.png");
    QCOMPARE(int(job.status), int(ParseResult::Status::Run));
    QImage image = renderEncoderImage(job.job.settings, job.job.antialias);
    QVERIFY(!image.isNull());
    QCOMPARE(pixelHash(image), md5);
}

void TestReadBack::exactPixelsGolden_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("md5");
    // The exact raster's bytes, the same on every platform and compiler: the fill's arithmetic
    // is fixed (no fused multiply-adds, no wider intermediates).
    QTest::newRow("start strip") << QStringList {} << QByteArray("1000ec13eaa77bc0bf05b6553f9a4c12");
    QTest::newRow("12 bits, 1200 dpi, plain")
        << QStringList { "--bits", "12", "--width", "200", "--dpi", "1200", "--height", "10",
               "--no-antialias" }
        << QByteArray("a07f527dc61b21dc42bdf886bc7e7af2");
    QTest::newRow("8-bit gray disc with a hole")
        << QStringList { "--shape", "disc", "--bits", "8", "--outer-radius", "30", "--inner-radius",
               "8", "--dpi", "300" }
        << QByteArray("1c6e634ef3566ce2267b4f50b778699e");
    QTest::newRow("quadrature disc, index, sensor marks")
        << QStringList { "--shape", "disc", "--type", "relative", "--pairs", "50", "--quadrature",
               "--index", "--sensor-marks", "--inner-radius", "8", "--dpi", "300" }
        << QByteArray("97833851ff9bf51c4d3d3fbcac7d7d45");
    QTest::newRow("single-track disc, colours, bias")
        << QStringList { "--shape", "disc", "--code", "single-track", "--outer-radius", "25",
               "--inner-radius", "10", "--mark-bias", "0.02", "--foreground", "steelblue",
               "--background", "wheat" }
        << QByteArray("039b9b5c997cb0dc3844dc818c401b7f");
}

// The exact pixels byte for byte, so that a platform or a change that moves them is seen.
void TestReadBack::exactPixelsGolden()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, md5);
    const ParseResult job = parseRenderArguments(QStringList { "quvelta-render" } << arguments
                                                 << "-o" << "x.png");
    QCOMPARE(int(job.status), int(ParseResult::Status::Run));
    const QImage image = renderEncoderImage(job.job.settings, job.job.antialias);
    QVERIFY(!image.isNull());
    QCOMPARE(pixelHash(image), md5);
}

void TestReadBack::unreadablePatternsWarned_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("warning");
    QTest::newRow("1 mm disc, 8 bits")
        << QStringList { "--shape", "disc", "--outer-radius", "1", "--bits", "8", "-o", "t.png" }
        << "track 1 (bit 0, least significant)";
    QTest::newRow("6 bits under a 5 mm border")
        << QStringList { "--bits", "6", "--border", "5", "-o", "t.png" } << "6 tracks";
    QTest::newRow("quadrature under a 3 mm border")
        << QStringList { "--type", "relative", "--pairs", "128", "--width", "200", "--height", "2",
               "--quadrature", "--index", "--border", "3", "-o", "t.png" }
        << "channel A, channel B, index Z would not read";
    QTest::newRow("classic 10-bit strip")
        << QStringList { "--bits", "10", "--classic-pixels", "-o", "t.png" }
        << "10 tracks, track 1 (bit 9, most significant)";
    QTest::newRow("end step 75 % under the line")
        << QStringList { "--positions", "3000", "--width", "200", "--dpi", "1200", "-o",
               "t.png" }
        << "the border lines cover 75 % of the first and last steps";
    QTest::newRow("hidden tracks in an SVG")
        << QStringList { "--shape", "disc", "--outer-radius", "1", "--bits", "8", "-o", "t.svg" }
        << "would not read";
}

// One warning line and the file; under --strict status 3, the reason, and no file.
void TestReadBack::unreadablePatternsWarned()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, warning);
    const QString file = dir.filePath(arguments.last());
    QFile::remove(file);
    const Run warned = render(arguments, dir.path());
    QCOMPARE(warned.exitCode, 0);
    QCOMPARE(warned.err.count('\n'), 1);
    QVERIFY2(warned.err.startsWith("quvelta-render: warning: ") && warned.err.contains(warning.toUtf8()),
        warned.err.constData());
    QVERIFY(QFileInfo::exists(file));
    QFile::remove(file);
    const Run strict = render(QStringList(arguments) << "--strict", dir.path());
    QCOMPARE(strict.exitCode, 3);
    QVERIFY2(strict.err.startsWith("quvelta-render: nothing written: ")
            && strict.err.contains(warning.toUtf8()),
        strict.err.constData());
    QVERIFY(!QFileInfo::exists(file));
    // --check names what does not read.
    const Run check = render(QStringList(arguments.mid(0, arguments.size() - 2)) << "--check",
        dir.path());
    QCOMPARE(check.exitCode, 0);
    QVERIFY2(check.out.contains("does not read") || check.out.contains("hidden under the border")
            || check.out.contains("note: the border lines cover"),
        check.out.constData());
}

void TestReadBack::plainTrackCountsLikeQuadrature_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("strip") << QStringList { "--type", "relative", "--pairs", "16" };
    QTest::newRow("disc") << QStringList { "--shape", "disc", "--type", "relative", "--pairs", "24",
        "--inner-radius", "5" };
}

// The two sensors that a plain track is read by give A and B in the order of the two quadrature
// channels: A leads B moving left to right, or clockwise.
void TestReadBack::plainTrackCountsLikeQuadrature()
{
    QFETCH(QStringList, arguments);
    const EncoderSettings plain = parsed(arguments << "-o" << "x.png");
    EncoderSettings quadrature = plain;
    quadrature.quadrature = true;
    const auto states = [](const EncoderSettings &s) {
        const PatternGeometry g = patternGeometry(s);
        const bool disc = s.shape == Shape::Disc;
        const double steps = 2.0 * s.pairs;
        const double pitch = (disc ? 360.0 : s.widthMm) / steps;
        // Channel A and B: two tracks, or the one track seen by two sensors.
        const auto read = [&](const PatternGeometry::Track &t, double at) {
            for (const PatternGeometry::Run &r : t.runs) {
                const double lo = r.from, hi = r.to;
                if ((at >= lo && at <= hi) || (disc && at - 360 >= lo && at - 360 <= hi)
                    || (disc && at + 360 >= lo && at + 360 <= hi))
                    return 1;
            }
            return 0;
        };
        QString seen;
        for (int j = 8; j < 16; ++j) { // away from a strip's ends
            const double p = j * 0.5 + 0.25; // quarter periods
            const double move = p * pitch;
            int a = 0;
            int b = 0;
            if (s.quadrature) {
                const double at = disc ? g.sensors[0].at - move : g.sensors[0].at + move;
                a = read(g.tracks[0], at);
                b = read(g.tracks[1], at);
            } else {
                a = read(g.tracks[0], disc ? g.sensors[0].at - move : g.sensors[0].at + move);
                b = read(g.tracks[0], disc ? g.sensors[1].at - move : g.sensors[1].at + move);
            }
            seen += QStringLiteral("%1%2 ").arg(a).arg(b);
        }
        return seen;
    };
    const QString q = states(quadrature);
    QCOMPARE(states(plain), q);
    // A leads: 00 -> 10 -> 11 -> 01.
    const QString order = QStringLiteral("00 10 11 01 00 10 11 01 ");
    QVERIFY2((order + order).contains(q), qPrintable(q));
}

void TestReadBack::keptClassicPixelsReadAlike_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("antialias");
    QTest::addColumn<bool>("readsKept"); // the render's pixels are those the read-back draws
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(' '); };
    QTest::newRow("binary disc, misread")
        << words("--classic-pixels --bits 10 --shape disc --outer-radius 20 --dpi 200") << true
        << true;
    QTest::newRow("relative disc, plain")
        << words("--classic-pixels --shape disc --type relative --pairs 100 --outer-radius 20 "
                 "--dpi 300")
        << false << true;
    QTest::newRow("strip") << words("--classic-pixels --bits 12 --width 100 --dpi 300") << true
                           << true;
    // Read along a few rows, whose bands alone are drawn to be read.
    QTest::newRow("relative strip, wide frames") << words(
        "--classic-pixels --type relative --pairs 100 --width 60 --height 9 --border 1 "
        "--dpi 300") << true << true;
    QTest::newRow("strip of wide frames")
        << words("--classic-pixels --bits 6 --width 60 --height 30 --border 1 --dpi 300") << false
        << true;
    QTest::newRow("grey on white")
        << words("--classic-pixels --bits 8 --shape disc --outer-radius 30 --dpi 300 "
                 "--foreground #303030")
        << true << false;
    // Plain pixels in any two colours are the marks' colour where the read-back's are black.
    QTest::newRow("plain disc in colours")
        << words("--classic-pixels --bits 10 --code binary --shape disc --outer-radius 20 "
                 "--dpi 200 --foreground #10605f --background #abdc35")
        << false << true;
    QTest::newRow("plain strip, light marks on dark")
        << words("--classic-pixels --bits 9 --width 60 --height 12 --border 0.3 --dpi 300 "
                 "--foreground #f0e0a0 --background #1c65a9")
        << false << true;
    // An antialiased disc in colours is a coverage, read as black on white but where its
    // centre mark is: there the read-back draws its own (lines through the mark's square).
    QTest::newRow("antialiased disc in colours")
        << words("--classic-pixels --bits 8 --shape disc --outer-radius 30 --dpi 300 "
                 "--foreground #10605f --background #abdc35")
        << true << true;
    QTest::newRow("antialiased disc in colours, lines through the mark")
        << words("--classic-pixels --bits 6 --shape disc --outer-radius 25 --inner-radius 1 "
                 "--border 0.5 --dpi 300 --foreground #f0e0a0 --background #1c65a9")
        << true << true;
    QTest::newRow("antialiased strip in colours") << words(
        "--classic-pixels --bits 8 --width 60 --dpi 300 --foreground #10605f "
        "--background #abdc35") << true << false;
    QTest::newRow("antialiased disc in greys")
        << words("--classic-pixels --bits 8 --shape disc --outer-radius 30 --dpi 300 "
                 "--foreground #303030 --background #e0e0e0")
        << true << false;
    QTest::newRow("plain, one colour for both") << words(
        "--classic-pixels --bits 8 --width 60 --dpi 300 --foreground #10605f "
        "--background #10605f") << false << false;
    QTest::newRow("exact pixels") << words("--bits 8 --shape disc --outer-radius 30 --dpi 300")
                                  << true << false;
    // Over 32,768 pixels wide, drawn and read in bands of 64 rows.
    QTest::newRow("long strip, short bands")
        << words("--classic-pixels --bits 4 --width 700 --height 4 --border 0.1 --dpi 1200")
        << false << true;
}

// Classic pixels kept as a render draws them in black on white read as those the read-back
// draws itself; other renders are not read from.
void TestReadBack::keptClassicPixelsReadAlike()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, antialias);
    QFETCH(bool, readsKept);
    const EncoderSettings settings = parsed(arguments << QStringLiteral("-o") << "x.png");
    DrawnPixels kept(settings, antialias);
    QCOMPARE(kept.readsFor(settings, antialias), readsKept);
    QVERIFY(!kept.readsFor(settings, !antialias));
    PatternRaster raster(settings, antialias);
    raster.alsoShow(keeping(kept));
    QVERIFY(!kept.complete());
    if (raster.coverageAt(0, raster.size().height()))
        drawInBands(raster); // as a file takes a coverage
    else
        (void)raster.image();
    QVERIFY(kept.complete());
    if (!readsKept)
        return;
    const ReadBack drawn = readBack(settings, antialias);
    const ReadBack read = readBack(settings, antialias, 0, &kept);
    QCOMPARE(readBackReport(read, 0), readBackReport(drawn, 0));
    QCOMPARE(readBackWarning(read), readBackWarning(drawn));
    // The kept pixels are what is read: all dark or all light, some track reads otherwise.
    const auto wrong = [](const ReadBack &r) {
        QList<int> counts;
        for (const ReadBack::Track &t : r.tracks)
            counts << t.wrong;
        return counts;
    };
    bool differs = false;
    const QRgb *colors = raster.colors();
    for (const int coverage : { 255, 0 }) {
        QImage line(raster.size().width(), 1, QImage::Format_RGB32);
        line.fill(colors[coverage]);
        const std::vector<uchar> bytes(size_t(line.width()), uchar(coverage));
        for (int y = 0; y < raster.size().height(); ++y) {
            if (raster.coverageAt(0, raster.size().height()))
                kept.keep(bytes.data(), 0, y, 1, colors);
            else
                kept.keep(line.constBits(), line.bytesPerLine(), y, 1);
        }
        differs = differs || wrong(readBack(settings, antialias, 0, &kept)) != wrong(drawn);
    }
    QVERIFY(differs);
}

QTEST_MAIN(TestReadBack)
void TestReadBack::keptFromBandsAsFromTheWhole_data()
{
    QTest::addColumn<QStringList>("arguments");
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(' '); };
    // Antialiased classic discs go to a file as coverage bytes but for the centre mark's rows.
    QTest::newRow("Gray disc, centre mark across bands")
        << words("--classic-pixels --bits 12 --shape disc --outer-radius 15 --inner-radius 9 "
                 "--dpi 600");
    QTest::newRow("relative disc, no centre mark")
        << words("--classic-pixels --shape disc --type relative --pairs 300 --outer-radius 14 "
                 "--no-center-mark --dpi 600");
    // Dark below a coverage, not from it; and colours, the mark drawn into the coverage.
    QTest::newRow("white on black")
        << words("--classic-pixels --shape disc --type relative --pairs 300 --outer-radius 14 "
                 "--foreground #ffffff --background #000000 --dpi 600");
    QTest::newRow("colours, centre mark across bands")
        << words("--classic-pixels --bits 10 --shape disc --outer-radius 15 --inner-radius 9 "
                 "--foreground #1c65a9 --background #f0e0a0 --dpi 600");
}

// The pixels a file's bands keep, coverage or painted, are those the whole image has.
void TestReadBack::keptFromBandsAsFromTheWhole()
{
    QFETCH(QStringList, arguments);
    const EncoderSettings settings = parsed(arguments << QStringLiteral("-o") << "x.png");
    DrawnPixels whole(settings, true), banded(settings, true);
    PatternRaster wholeRaster(settings, true);
    wholeRaster.alsoShow(keeping(whole));
    const QSize size = wholeRaster.size();
    if (wholeRaster.coverageAt(0, size.height())) { // a disc in colours: one coverage
        std::vector<uchar> coverage(size_t(size.width()) * size_t(size.height()));
        wholeRaster.coverageRows(coverage.data(), size.width(), 0, size.height());
    } else {
        (void)wholeRaster.image();
    }
    PatternRaster bandedRaster(settings, true);
    bandedRaster.alsoShow(keeping(banded));
    drawInBands(bandedRaster);
    QVERIFY(whole.complete() && banded.complete());
    int darkPixels = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            darkPixels += whole.dark(x, y);
            if (banded.dark(x, y) != whole.dark(x, y)) // the message only then
                QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
        }
    }
    QVERIFY(darkPixels > 0);
}

void TestReadBack::verdictsAsCounted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("apertureMm");
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(' '); };
    QTest::newRow("reads") << words("--bits 8 --shape disc --outer-radius 30 --dpi 300") << 0.0;
    QTest::newRow("innermost track vanishes")
        << words("--shape disc --outer-radius 1 --bits 8") << 0.0;
    QTest::newRow("classic strip, every track misread")
        << words("--classic-pixels --bits 10") << 0.0;
    QTest::newRow("classic disc through an aperture")
        << words("--classic-pixels --bits 10 --shape disc --outer-radius 20 --dpi 200") << 0.2;
    QTest::newRow("hidden under the border") << words(
        "--type relative --pairs 128 --width 200 --height 2 --quadrature --index "
        "--border 3") << 0.0;
}

// Read only as far as a verdict, every track reads or fails as when every reading is counted,
// at the same first wrong reading.
void TestReadBack::verdictsAsCounted()
{
    QFETCH(QStringList, arguments);
    QFETCH(double, apertureMm);
    const EncoderSettings settings = parsed(arguments << QStringLiteral("-o") << "x.png");
    const ReadBack counted = readBack(settings, true, apertureMm);
    const ReadBack verdicts = readBack(settings, true, apertureMm, nullptr, ReadingDepth::Verdicts);
    QCOMPARE(readBackWarning(verdicts), readBackWarning(counted));
    QCOMPARE(verdicts.tracks.size(), counted.tracks.size());
    for (size_t i = 0; i < counted.tracks.size(); ++i) {
        const ReadBack::Track &c = counted.tracks[i];
        const ReadBack::Track &v = verdicts.tracks[i];
        QCOMPARE(v.reads(), c.reads());
        QCOMPARE(v.hidden, c.hidden);
        if (c.hidden)
            continue; // not read at all
        QCOMPARE(v.wrong, std::min(c.wrong, 1));
        QCOMPARE(v.firstWrong, c.firstWrong);
        QVERIFY(v.readings <= c.readings);
    }
}

void TestReadBack::keptDarkAsGrey_data()
{
    QTest::addColumn<QStringList>("arguments");
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(' '); };
    // Image widths of a few pixels, of whole words and not.
    QTest::newRow("narrow") << words("--classic-pixels --width 1 --height 1 --dpi 100");
    QTest::newRow("a word and more") << words("--classic-pixels --width 19 --height 2 --dpi 100");
    QTest::newRow("wide") << words("--classic-pixels --width 100 --height 1 --dpi 300");
    // Plain pixels in other colours: a mark where the marks' colour, grey or not.
    QTest::newRow("plain in colours") << words("--classic-pixels --width 19 --height 2 --dpi 100 "
                                               "--foreground #c8643c --background #648296");
    QTest::newRow("white marks on black")
        << words("--classic-pixels --width 100 --height 1 --dpi 300 --foreground #ffffff "
                 "--background #000000");
}

// A kept RGB32 pixel of black on white is dark where its grey is under half, near the line both
// ways; of plain pixels in other colours, where it is the marks' colour: whatever its place in
// the row and its alpha byte.
void TestReadBack::keptDarkAsGrey()
{
    QFETCH(QStringList, arguments);
    const EncoderSettings settings = parsed(arguments << QStringLiteral("-o") << "x.png");
    const bool blackOnWhite
        = settings.foreground == QColor(Qt::black) && settings.background == QColor(Qt::white);
    const QRgb mark = settings.foreground.rgb() & 0xffffffu;
    const auto dark
        = [&](QRgb c) { return blackOnWhite ? qGray(c) < 128 : (c & 0xffffffu) == mark; };
    const QSize size = patternImageSize(settings);
    QVERIFY(!size.isEmpty());
    const QVector<QRgb> colours { qRgb(128, 128, 128), qRgb(127, 127, 127), qRgb(255, 0, 0),
        qRgb(0, 255, 0), qRgb(0, 255, 10), qRgb(0, 0, 255), qRgb(255, 255, 0), qRgb(200, 100, 60),
        qRgb(100, 130, 150), qRgb(0, 0, 0) & 0x00ffffffu, 0x00ffffffu, qRgb(255, 255, 255) };
    DrawnPixels kept(settings, false);
    std::vector<QRgb> line(size_t(size.width()));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            line[size_t(x)] = colours[(x * 5 + y) % colours.size()];
        kept.keep(reinterpret_cast<const uchar *>(line.data()), 0, y, 1);
        for (int x = 0; x < size.width(); ++x) {
            const QRgb c = line[size_t(x)];
            if (kept.dark(x, y) != dark(c))
                QFAIL(qPrintable(QStringLiteral("%1 at %2, %3").arg(c, 8, 16).arg(x).arg(y)));
        }
    }
    QVERIFY(kept.complete());
}

#include "tst_readback.moc"

void TestReadBack::keptRowsAsGiven_data()
{
    QTest::addColumn<QString>("rows"); // a letter a row: the same letter, the same pixels
    QTest::addColumn<int>("top");
    QTest::newRow("repeats, then the first again") << "aabbba" << 0;
    QTest::newRow("every row new") << "abcd" << 3;
    QTest::newRow("one row, the last") << "c" << 9;
    QTest::newRow("past the last row") << "aaabbbbbbbbbbbb" << 2;
}

// Rows kept together are read as they were given, those that repeat the row above and those
// that do not; rows not given are not kept.
void TestReadBack::keptRowsAsGiven()
{
    QFETCH(QString, rows);
    QFETCH(int, top);
    const EncoderSettings settings = parsed(
        { "--classic-pixels", "--width", "30", "--height", "1", "--dpi", "254", "-o", "x.png" });
    const QSize size = patternImageSize(settings);
    QVERIFY(size.width() > 64 && size.height() >= 10);
    const auto dark
        = [](QChar letter, int x) { return (x * (letter.unicode() - 'a' + 3)) % 7 < 3; };
    QImage given(size.width(), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < given.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            given.setPixel(x, y, dark(rows[y], x) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    DrawnPixels kept(settings, false);
    kept.keep(given.constBits(), given.bytesPerLine(), top, given.height());
    for (int y = 0; y < size.height(); ++y) {
        const bool inside = y >= top && y < top + given.height();
        for (int x = 0; x < size.width(); ++x) {
            if (kept.dark(x, y) != (inside && dark(rows[y - top], x)))
                QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
        }
    }
    QVERIFY(!kept.complete());
}
