// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "coveragefill.h"
#include "discpainter.h"
#include "imagetools.h"
#include "paintcommon.h"
#include "pixelrule.h"
#include "renderer.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <functional>

class TestDiscPainter : public QObject
{
    Q_OBJECT

private slots:
    void workedExampleCodeWords_data();
    void workedExampleCodeWords();
    void workedExampleClearsInsideAndOutside();
    void centerMark();
    void oneBitIsTheUpperHalf();
    void grayRankOneIsTurnedAQuarter();
    void tracksNarrowerThanAPixel();
    void zeroInnerRadiusReachesTheCentre();
    void relativeDiscWith1024Pairs();
    void borderCirclesBoundTheTracks();
    void sectorBoundariesAreExact();
    void solidRimHasNoPinholes_data();
    void solidRimHasNoPinholes();
    void antialiasedOverlapIsAUnion();
    void colouredPixelsAreBlends_data();
    void colouredPixelsAreBlends();
    void fillSharedOnlyForTheSameShapes_data();
    void fillSharedOnlyForTheSameShapes();
};

// 254 DPI makes a millimetre ten pixels: Ro = 20 mm is 200 px, Ri = 5 mm is 50 px.
static EncoderSettings discSettings(int bits, bool gray, BitOrder order)
{
    EncoderSettings s = classicSettings();
    s.shape = Shape::Disc;
    s.type = EncoderType::Absolute;
    s.code = gray ? Code::Gray : Code::Binary;
    s.bitOrder = order;
    s.bits = s.pairs = bits;
    s.dpi = 254;
    s.outerRadiusMm = 20;
    s.innerRadiusMm = 5;
    s.border = false;
    s.centerMark = false;
    return s;
}

// The pixel under the point at `radius` and `degrees` (counter-clockwise from 3 o'clock).
static bool foregroundAt(const QImage &image, qreal radius, qreal degrees)
{
    const qreal c = image.width() * 0.5;
    const qreal a = qDegreesToRadians(degrees);
    return isForeground(image, static_cast<int>(std::floor(c + radius * std::cos(a))),
        static_cast<int>(std::floor(c - radius * std::sin(a))));
}

void TestDiscPainter::workedExampleCodeWords_data()
{
    QTest::addColumn<bool>("gray");
    QTest::addColumn<bool>("msbOutside");
    QTest::newRow("binary, LSB outside") << false << false;
    QTest::newRow("binary, MSB outside") << false << true;
    QTest::newRow("gray, LSB outside") << true << false;
    QTest::newRow("gray, MSB outside") << true << true;
}

void TestDiscPainter::workedExampleCodeWords()
{
    QFETCH(bool, gray);
    QFETCH(bool, msbOutside);
    const QImage image = renderEncoderImage(
        discSettings(3, gray, msbOutside ? BitOrder::MsbToLsb : BitOrder::LsbToMsb), false);
    QCOMPARE(image.size(), QSize(400, 400));

    // Tracks j = 0 (outermost) to 2 span radii 150-201, 100-151 and 50-101.
    const qreal middles[] = { 175.5, 125.5, 75.5 };
    for (int step = 0; step < 8; ++step) {
        const int word = gray ? step ^ (step >> 1) : step;
        // Steps run clockwise from 3 o'clock.
        const qreal degrees = 360.0 - (45.0 * step + 22.5);
        for (int j = 0; j < 3; ++j) {
            const int bit = msbOutside ? 2 - j : j;
            QVERIFY2(foregroundAt(image, middles[j], degrees) == bool((word >> bit) & 1),
                qPrintable(QStringLiteral("step %1 track %2").arg(step).arg(j)));
        }
    }
}

void TestDiscPainter::workedExampleClearsInsideAndOutside()
{
    const QImage image = renderEncoderImage(discSettings(3, true, BitOrder::LsbToMsb), false);
    for (qreal degrees = 0; degrees < 360; degrees += 7.5) {
        QVERIFY(!foregroundAt(image, 45, degrees)); // inside the inner radius
        QVERIFY(!foregroundAt(image, 5, degrees));
    }
    for (qreal degrees = 22.5; degrees < 360; degrees += 45) {
        QVERIFY(!foregroundAt(image, 204, degrees)); // beyond the outermost track
    }
}

void TestDiscPainter::centerMark()
{
    EncoderSettings s = discSettings(3, false, BitOrder::LsbToMsb);
    s.centerMark
        = true; // arms of 25 px through (200, 200), 1 px pen, dot of radius 5 at (225, 200)
    const QImage image = renderEncoderImage(s, false);
    for (int d : { -25, -12, 12, 25 }) {
        QVERIFY2(isForeground(image, 200 + d, 200), qPrintable(QString::number(d)));
        QVERIFY2(isForeground(image, 200, 200 + d), qPrintable(QString::number(d)));
    }
    QVERIFY(!isForeground(image, 200, 230));
    QVERIFY(!isForeground(image, 170, 200));
    QVERIFY(!isForeground(image, 210, 190));
    QVERIFY(isForeground(image, 227, 202)); // inside the dot, off the arm
    QVERIFY(!isForeground(image, 225, 208)); // below the dot
}

void TestDiscPainter::oneBitIsTheUpperHalf()
{
    for (bool gray : { false, true }) {
        const QImage image = renderEncoderImage(discSettings(1, gray, BitOrder::LsbToMsb), false);
        // One track from 50 to 201 px.
        for (qreal degrees = 10; degrees < 180; degrees += 20) {
            QVERIFY(foregroundAt(image, 120, degrees));
            QVERIFY(!foregroundAt(image, 120, degrees + 180));
        }
        QVERIFY(foregroundAt(image, 199.5, 90));
    }
    QCOMPARE(renderEncoderImage(discSettings(1, false, BitOrder::LsbToMsb), false),
        renderEncoderImage(discSettings(1, true, BitOrder::LsbToMsb), false));
}

void TestDiscPainter::grayRankOneIsTurnedAQuarter()
{
    // Two Gray bits: the outer track (rank 1) is the left half, 90 to 270 degrees.
    const QImage image = renderEncoderImage(discSettings(2, true, BitOrder::LsbToMsb), false);
    for (qreal degrees = 95; degrees < 270; degrees += 20)
        QVERIFY(foregroundAt(image, 160, degrees));
    for (qreal degrees = -85; degrees < 90; degrees += 20)
        QVERIFY(!foregroundAt(image, 160, degrees));
}

void TestDiscPainter::tracksNarrowerThanAPixel()
{
    // 16 bits on 10 px of radius: every track is the ring from 190 to 191 px.
    EncoderSettings s = discSettings(16, false, BitOrder::LsbToMsb);
    s.innerRadiusMm = 19;
    const QImage image = renderEncoderImage(s, false);
    const QPointF centre(200, 200);
    int ringPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!isForeground(image, x, y))
                continue;
            const qreal r = QLineF(centre, QPointF(x + 0.5, y + 0.5)).length();
            if (!(r > 188 && r < 193)) // the message only then
                QFAIL(qPrintable(QStringLiteral("%1,%2 at %3").arg(x).arg(y).arg(r)));
            ++ringPixels;
        }
    }
    QVERIFY(ringPixels > 300);
}

void TestDiscPainter::zeroInnerRadiusReachesTheCentre()
{
    EncoderSettings s = discSettings(3, false, BitOrder::LsbToMsb);
    s.innerRadiusMm = 0;
    s.centerMark = true;
    const QImage image = renderEncoderImage(s, false);
    // The innermost track (MSB, upper half) now runs from the centre to 67 px.
    QVERIFY(foregroundAt(image, 4, 90));
    QVERIFY(foregroundAt(image, 30, 135));
    QVERIFY(!foregroundAt(image, 30, 270));
}

void TestDiscPainter::relativeDiscWith1024Pairs()
{
    EncoderSettings s = discSettings(1, false, BitOrder::LsbToMsb);
    s.type = EncoderType::Relative;
    s.bits = s.pairs = 1024;
    s.outerRadiusMm = 100; // 1000 px: a sector is 2.9 px wide at 950 px
    s.innerRadiusMm = 90;
    const QImage image = renderEncoderImage(s, false);
    const qreal sweep = 360.0 / 2048;
    for (int i = 0; i < 1024; ++i) {
        QVERIFY2(foregroundAt(image, 950, (2 * i + 0.5) * sweep), qPrintable(QString::number(i)));
        QVERIFY2(!foregroundAt(image, 950, (2 * i + 1.5) * sweep), qPrintable(QString::number(i)));
    }
    QVERIFY(!foregroundAt(image, 880, 0.5 * sweep)); // inside the inner radius
}

void TestDiscPainter::borderCirclesBoundTheTracks()
{
    EncoderSettings s = discSettings(3, false, BitOrder::LsbToMsb);
    s.border = true;
    s.borderWidthMm = 0.5; // 5 px; the image grows to 405 px, centre 202.5
    const QImage image = renderEncoderImage(s, false);
    QCOMPARE(image.size(), QSize(405, 405));
    // Step 0 (just below 3 o'clock) is all background, so only the circles show there.
    const qreal degrees = 360 - 22.5;
    for (qreal r : { 50.0, 100.0, 101.0, 150.0, 151.0, 201.0 })
        QVERIFY2(foregroundAt(image, r, degrees), qPrintable(QString::number(r)));
    for (qreal r : { 75.5, 125.5, 175.5, 47.0, 45.0 })
        QVERIFY2(!foregroundAt(image, r, degrees), qPrintable(QString::number(r)));
    // Step 7 is all foreground; the sectors stop where the outer circle's stroke begins.
    QVERIFY(foregroundAt(image, 175.5, 22.5));
    QVERIFY(!foregroundAt(image, 205, 22.5));
}

void TestDiscPainter::sectorBoundariesAreExact()
{
    // The largest disc the form allows, 1024 pairs: sectors 0.17578125 degrees wide.
    const qreal radius = 4842;
    const QPointF centre(4842, 4842);
    const QPainterPath path = sectorPath(centre, radius, 2048, 0.0f);
    const qreal sweep = 360.0 / 2048;

    const auto angleOf = [&](QPointF p) {
        qreal a = qRadiansToDegrees(std::atan2(centre.y() - p.y(), p.x() - centre.x()));
        return a < 0 ? a + 360 : a;
    };
    const auto offGrid = [&](qreal degrees) {
        const qreal k = std::round(degrees / sweep);
        return std::abs(degrees - k * sweep);
    };

    int boundaries = 0;
    qreal worstAngle = 0;
    qreal worstRadius = 0;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type == QPainterPath::LineToElement && QPointF(e) != centre) {
            worstAngle = qMax(worstAngle, offGrid(angleOf(e)));
            ++boundaries;
        }
        if (e.type == QPainterPath::CurveToElement) {
            const QPointF p0 = path.elementAt(i - 1);
            const QPointF p1 = e, p2 = path.elementAt(i + 1), p3 = path.elementAt(i + 2);
            const QPointF mid = (p0 + 3 * p1 + 3 * p2 + p3) / 8;
            worstRadius = qMax(worstRadius, std::abs(QLineF(centre, mid).length() - radius));
            const bool lastPiece = i + 3 >= path.elementCount()
                || path.elementAt(i + 3).type != QPainterPath::CurveToElement;
            if (lastPiece) {
                worstAngle = qMax(worstAngle, offGrid(angleOf(p3)));
                ++boundaries;
            }
        }
    }
    QCOMPARE(boundaries, 2048);
    QVERIFY2(worstAngle < 0.001, qPrintable(QString::number(worstAngle)));
    QVERIFY2(worstRadius < 0.1, qPrintable(QString::number(worstRadius)));
}

void TestDiscPainter::solidRimHasNoPinholes_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    EncoderSettings start = classicSettings();
    start.shape = Shape::Disc;
    start.code = Code::Gray; // as the window draws a disc
    EncoderSettings wheel = start;
    wheel.type = EncoderType::Relative;
    wheel.dpi = 1200;
    wheel.outerRadiusMm = 80;
    wheel.innerRadiusMm = 40;
    wheel.bits = wheel.pairs = 90;
    wheel.borderWidthMm = 1.0;
    QTest::newRow("start values, plain") << start << false;
    QTest::newRow("start values, antialiased") << start << true;
    QTest::newRow("90 pairs, 1 mm circles, plain") << wheel << false;
    QTest::newRow("90 pairs, 1 mm circles, antialiased") << wheel << true;
}

// Where a foreground sector meets its circles the pattern is solid: sector and strokes leave no
// background pixel between them at either rim of the outermost track.
void TestDiscPainter::solidRimHasNoPinholes()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    const QImage image = renderEncoderImage(settings, antialias);
    const DiscTrack track = discTracks(settings).front();
    const qreal half = PixelRule::borderPixels(settings.dpi, settings.borderWidthMm) / 2.0;
    const qreal c = image.width() * 0.5;
    const qreal sweep = 360.0 / track.segments;
    const qreal offset = sweep * track.phase;
    const QList<QPair<qreal, qreal>> rims
        = { { track.innerRadius - half + 1, track.innerRadius + half + 3 },
              { track.outerRadius - half - 3, std::min(track.outerRadius + half, c) - 1 } };
    int checked = 0;
    for (const auto &[r0, r1] : rims) {
        for (int y = 0; y < image.height(); ++y) {
            const qreal dy = y + 0.5 - c;
            if (std::fabs(dy) >= r1)
                continue;
            const qreal from = std::sqrt(std::max<qreal>(0, r0 * r0 - dy * dy));
            const qreal to = std::sqrt(r1 * r1 - dy * dy);
            for (int side : { -1, 1 }) {
                for (int dx = int(from) - 1; dx <= int(to) + 1; ++dx) {
                    const qreal px = side * (dx + 0.5);
                    const qreal r = std::hypot(px, dy);
                    const int x = int(std::floor(c + px));
                    if (r < r0 || r > r1 || x < 0 || x >= image.width())
                        continue;
                    const qreal angle = qRadiansToDegrees(std::atan2(-dy, px));
                    const qreal into = std::fmod(angle - offset + 720.0, 2 * sweep);
                    const qreal margin = qRadiansToDegrees(1.5 / r);
                    if (into < margin || into > sweep - margin)
                        continue;
                    ++checked;
                    QVERIFY2(qGray(image.pixel(x, y)) < 64,
                        qPrintable(QStringLiteral("background at (%1,%2), radius %3")
                                       .arg(x)
                                       .arg(y)
                                       .arg(r)));
                }
            }
        }
    }
    QVERIFY(checked > 1000);
}

// Neighbouring tracks overlap by a pixel; antialiased, their edges must be a union, not a sum.
void TestDiscPainter::antialiasedOverlapIsAUnion()
{
    EncoderSettings s = classicSettings();
    s.shape = Shape::Disc;
    s.code = Code::Binary;
    s.bits = s.pairs = 8;
    s.outerRadiusMm = 20;
    s.innerRadiusMm = 5;
    s.border = false;
    const QImage image = renderEncoderImage(s, true);
    // An independent model of the layered drawing gives 56 % coverage here; a sum gives 100 %.
    const qreal coverage = 1 - qGray(image.pixel(342, 159)) / 255.0;
    QVERIFY2(std::fabs(coverage - 0.56) < 0.03, qPrintable(QString::number(coverage)));
}

void TestDiscPainter::colouredPixelsAreBlends_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    EncoderSettings s = discSettings(8, true, BitOrder::LsbToMsb);
    s.centerMark = true;
    s.border = true;
    s.borderWidthMm = 0.4;
    s.foreground = QColor(0x8d, 0x15, 0xd7);
    s.background = QColor(0x4e, 0xa6, 0x2b);
    QTest::newRow("purple on green") << s;
    s.foreground = QColor(0x10, 0x60, 0x5f);
    s.background = QColor(0xab, 0xdc, 0x35);
    s.innerRadiusMm = 12; // a long cross, its dot off the pixel grid
    QTest::newRow("teal on lime, a wide hole") << s;
    s.foreground = QColor(0xf0, 0xe0, 0xa0);
    s.background = QColor(0xf3, 0xd2, 0xe7); // close: blends repeat
    s.type = EncoderType::Relative;
    s.pairs = 200;
    QTest::newRow("near colours, relative") << s;
    // A strip is the painter's alone: its tracks' frames meet between them on half pixels.
    EncoderSettings strip = classicSettings();
    strip.type = EncoderType::Absolute;
    strip.bits = 8;
    strip.widthMm = 30;
    strip.heightMm = 8;
    strip.dpi = 300;
    strip.borderWidthMm = 0.13;
    strip.foreground = QColor(0xf0, 0xe0, 0xa0);
    strip.background = QColor(0x1c, 0x65, 0xa9);
    QTest::newRow("absolute strip, light on dark") << strip;
}

// Classic antialiased pixels in colours are drawn into a coverage (a disc's centre mark, a
// strip whole), so every pixel is one of the 256 blends of the two colours, within a level of
// each channel of the painter drawing in the colours.
void TestDiscPainter::colouredPixelsAreBlends()
{
    QFETCH(EncoderSettings, settings);
    const QImage image = renderEncoderImage(settings, true);
    QVERIFY(!image.isNull() && settings.drawsClassicPixels());
    QImage painted(image.size(), QImage::Format_RGB32);
    if (settings.shape == Shape::Disc) {
        discCoverage(settings, image.size())
            ->fillRows(painted.bits(), painted.bytesPerLine(), 0, painted.height(),
                settings.foreground.rgb(), settings.background.rgb(), CoverageFill::Sampling::Area);
        QPainter painter(&painted);
        drawDiscOverlay(painter, settings, image.size());
    } else {
        QPainter painter(&painted);
        applyRenderHints(painter, true);
        paintEncoder(painter, settings, image.size());
    }
    QSet<QRgb> blends;
    for (int a = 0; a < 256; ++a)
        blends.insert(CoverageFill::blend(settings.foreground.rgb(), settings.background.rgb(), a));
    int worst = 0, marked = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *got = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const QRgb *want = reinterpret_cast<const QRgb *>(painted.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!blends.contains(got[x] | 0xff000000u))
                QFAIL(qPrintable(QStringLiteral("(%1, %2) is no blend").arg(x).arg(y)));
            const int apart = std::max({ std::abs(qRed(got[x]) - qRed(want[x])),
                std::abs(qGreen(got[x]) - qGreen(want[x])),
                std::abs(qBlue(got[x]) - qBlue(want[x])) });
            worst = std::max(worst, apart);
            marked += apart > 0;
        }
    }
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("%1 levels apart").arg(worst)));
    QVERIFY(marked > 0); // antialiased edges, where the two ways round differently
}

void TestDiscPainter::fillSharedOnlyForTheSameShapes_data()
{
    QTest::addColumn<EncoderSettings>("held");
    QTest::addColumn<EncoderSettings>("drawn");
    QTest::addColumn<bool>("shared");
    EncoderSettings disc = discSettings(8, true, BitOrder::MsbToLsb);
    disc.border = true;
    disc.borderWidthMm = 0.3;
    EncoderSettings coloured = disc;
    coloured.foreground = QColor(0x10, 0x60, 0x5f);
    coloured.background = QColor(0xab, 0xdc, 0x35);
    coloured.centerMark = true;
    QTest::newRow("other colours and a centre mark") << disc << coloured << true;
    const auto changed = [&](const std::function<void(EncoderSettings &)> &change) {
        EncoderSettings s = coloured;
        change(s);
        return s;
    };
    QTest::newRow("wider circles")
        << disc << changed([](EncoderSettings &s) { s.borderWidthMm = 0.5; }) << false;
    QTest::newRow("binary") << disc << changed([](EncoderSettings &s) { s.code = Code::Binary; })
                            << false;
    // Two Gray tracks of two sectors each, a quarter turn apart: swapped, only their phases differ.
    EncoderSettings twoBits = discSettings(2, true, BitOrder::MsbToLsb);
    QTest::newRow("two Gray bits the other way") << twoBits << changed([](EncoderSettings &s) {
        s.bits = s.pairs = 2;
        s.border = false;
        s.bitOrder = BitOrder::LsbToMsb;
    }) << false;
    QTest::newRow("other inner radius")
        << disc << changed([](EncoderSettings &s) { s.innerRadiusMm = 6; }) << false;
    QTest::newRow("half the resolution, twice the size: thinner circles")
        << disc << changed([](EncoderSettings &s) {
               s.dpi = 127;
               s.outerRadiusMm = 40;
               s.innerRadiusMm = 10;
           })
        << false;
}

// A classic antialiased disc's fill, made once while a render holds it, goes to another render
// only of the same shapes (in whatever colours): each draws the pixels it draws on its own.
void TestDiscPainter::fillSharedOnlyForTheSameShapes()
{
    QFETCH(EncoderSettings, held);
    QFETCH(EncoderSettings, drawn);
    QFETCH(bool, shared);
    const QImage alone = renderEncoderImage(drawn, true);
    QVERIFY(!alone.isNull());
    const QSize size = alone.size();
    const std::shared_ptr<const CoverageFill> holding = discCoverage(held, size);
    QCOMPARE(discCoverage(drawn, size) == holding, shared);
    QCOMPARE(renderEncoderImage(drawn, true), alone);
}

QTEST_APPLESS_MAIN(TestDiscPainter)
#include "tst_discpainter.moc"
