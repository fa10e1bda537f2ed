// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "imagetools.h"
#include "pixelrule.h"
#include "renderer.h"
#include "testsupport.h"

#include <QtTest>

#include <limits>

class TestPixelRule : public QObject
{
    Q_OBJECT

private slots:
    void imageSize_data();
    void imageSize();
    void dotsPerMeter_data();
    void dotsPerMeter();
    void discSizeIgnoresInnerRadius();
    void renderedImageCarriesSizeAndResolution();
    void zeroPixelDimensionGivesNullImage();
    void integerRoundingMatchesX87();
    void trackRoom_data();
    void trackRoom();
};

static EncoderSettings strip(int width, int height, int dpi, bool border, double borderMm = 0.1)
{
    EncoderSettings s = classicSettings();
    s.widthMm = width;
    s.heightMm = height;
    s.dpi = dpi;
    s.border = border;
    s.borderWidthMm = borderMm;
    return s;
}

static EncoderSettings disc(int outer, int dpi, bool border, double borderMm = 0.1)
{
    EncoderSettings s = strip(100, 20, dpi, border, borderMm);
    s.shape = Shape::Disc;
    s.code = Code::Gray; // as the window draws a disc
    s.outerRadiusMm = outer;
    return s;
}

void TestPixelRule::imageSize_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("strip 100x20 600 dpi no border")
        << strip(100, 20, 600, false) << QSize(2362, 472);
    QTest::newRow("strip 100x20 600 dpi border 0.1")
        << strip(100, 20, 600, true) << QSize(2364, 474);
    QTest::newRow("strip 100 mm at 254 dpi") << strip(100, 20, 254, false) << QSize(1000, 200);
    QTest::newRow("disc r20 600 dpi no border") << disc(20, 600, false) << QSize(944, 944);
    QTest::newRow("largest disc") << disc(100, 1200, true, 5.0) << QSize(9684, 9684);
    // 1.40f is 1.39999997...; k * b = 6.99999998, truncated to 6.
    QTest::newRow("border 1.40 at 127 dpi")
        << strip(100, 20, 127, true, 1.40) << QSize(500 + 6, 100 + 6);
    // The extended product lies just below 13, where double precision would give 13.
    QTest::newRow("border 2.54 at 130 dpi")
        << strip(100, 20, 130, true, 2.54) << QSize(511 + 12, 102 + 12);
    QTest::newRow("1 mm height at 10 dpi") << strip(100, 1, 10, false) << QSize(39, 0);
}

void TestPixelRule::imageSize()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(QSize, expected);
    QCOMPARE(PixelRule::imageSize(settings), expected);
}

void TestPixelRule::dotsPerMeter_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("expected");
    QTest::newRow("10") << 10 << 393;
    QTest::newRow("72") << 72 << 2834;
    QTest::newRow("96") << 96 << 3779;
    QTest::newRow("300") << 300 << 11811;
    QTest::newRow("600") << 600 << 23622;
    QTest::newRow("1200") << 1200 << 47244;
}

void TestPixelRule::dotsPerMeter()
{
    QFETCH(int, dpi);
    QFETCH(int, expected);
    QCOMPARE(PixelRule::dotsPerMeter(dpi), expected);
}

void TestPixelRule::discSizeIgnoresInnerRadius()
{
    EncoderSettings s = disc(20, 600, true);
    const QSize reference = PixelRule::imageSize(s);
    for (int inner : { 0, 7, 19 }) {
        s.innerRadiusMm = inner;
        QCOMPARE(PixelRule::imageSize(s), reference);
    }
    QCOMPARE(reference.width(), reference.height());
}

void TestPixelRule::renderedImageCarriesSizeAndResolution()
{
    const QImage image = renderEncoderImage(classicSettings(), false);
    QCOMPARE(image.size(), QSize(2364, 474));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    QCOMPARE(image.dotsPerMeterX(), 23622);
    QCOMPARE(image.dotsPerMeterY(), 23622);
}

void TestPixelRule::zeroPixelDimensionGivesNullImage()
{
    QVERIFY(renderEncoderImage(strip(100, 1, 10, false), false).isNull());
}

// The rule was defined on the x87's 80-bit format; where this machine has it, every DPI with every
// length and every border width must give the same pixels as the integer computation.
void TestPixelRule::integerRoundingMatchesX87()
{
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_MSC_VER)
    static_assert(std::numeric_limits<long double>::digits == 64, "x87 extended format expected");
    int compared = 0;
    for (int dpi = 10; dpi <= 1200; ++dpi) {
        const long double k = static_cast<long double>(dpi) / static_cast<long double>(25.4f);
        QCOMPARE(
            PixelRule::dotsPerMeter(dpi), static_cast<int>(k * static_cast<long double>(1000.0f)));
        for (int mm = 0; mm <= 400; ++mm) {
            if (PixelRule::mmToPixels(dpi, mm) != static_cast<int>(k * mm))
                QFAIL(qPrintable(QStringLiteral("%1 mm at %2 dpi").arg(mm).arg(dpi)));
            ++compared;
        }
        for (int hundredths = 1; hundredths <= 500; ++hundredths) {
            const float b = static_cast<float>(hundredths / 100.0);
            if (PixelRule::borderPixels(dpi, hundredths / 100.0)
                != static_cast<int>(static_cast<long double>(b) * k))
                QFAIL(qPrintable(
                    QStringLiteral("border %1 mm at %2 dpi").arg(hundredths / 100.0).arg(dpi)));
            ++compared;
        }
    }
    QCOMPARE(compared, 1191 * (401 + 500));
#else
    QSKIP("no x87 extended format on this machine");
#endif
}

void TestPixelRule::trackRoom_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<QString>("problem");
    EncoderSettings s;
    s.type = EncoderType::Relative;
    s.quadrature = true;
    s.index = true;
    s.heightMm = 1;
    s.dpi = 10; // trunc(10 / 25.4) = 0 pixels of height
    QTest::newRow("strip of 0 px")
        << s << QStringLiteral("3 tracks do not fit in a strip 0 px wide at 10 dpi");
    s.dpi = 100; // 3 pixels
    QTest::newRow("strip of 3 px") << s << QString();
    s.dpi = 10;
    s.index = false;
    s.type = EncoderType::Absolute;
    QTest::newRow("absolute") << s << QString();
    s.type = EncoderType::Relative;
    s.quadrature = false;
    QTest::newRow("one track") << s << QString();
    s.shape = Shape::Disc;
    s.code = Code::Gray; // as the window draws a disc
    s.quadrature = true;
    s.outerRadiusMm = 10;
    s.innerRadiusMm = 9;
    QTest::newRow("ring of 0 px") << s
                                  << QStringLiteral(
                                         "2 tracks do not fit in a ring 0 px wide at 10 dpi");
}

void TestPixelRule::trackRoom()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(QString, problem);
    QCOMPARE(trackRoomProblem(settings), problem);
}

QTEST_APPLESS_MAIN(TestPixelRule)
#include "tst_pixelrule.moc"
