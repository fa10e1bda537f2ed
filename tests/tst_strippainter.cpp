// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "imagetools.h"
#include "paintcommon.h"
#include "strippainter.h"
#include "testsupport.h"

#include <QtTest>

class TestStripPainter : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void lastTrackRowsStayBackground();
    void narrowStripKeepsOnlyTheLastPixel();
    void zeroWidthBorderStillDrawsTheFrame();
    void oddBorderSpansItsColumnsExactly();
    void bitOrderMirrorsTheTracks();
};

// At 254 DPI one millimetre is ten pixels, so a 1 mm border is 10 px and 0.3 mm is 3 px.
static EncoderSettings stripSettings(
    EncoderType type, int count, bool border, double borderMm = 1.0)
{
    EncoderSettings s = classicSettings();
    s.type = type;
    s.bits = s.pairs = count;
    s.dpi = 254;
    s.border = border;
    s.borderWidthMm = borderMm;
    return s;
}

static QImage paintStrip(const EncoderSettings &settings, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red); // every pixel must be painted
    QPainter painter(&image);
    applyRenderHints(painter, false);
    if (settings.type == EncoderType::Absolute)
        drawAbsoluteStrip(painter, settings, size);
    else
        drawRelativeStrip(painter, settings, size);
    return image;
}

using Rects = QVector<QRect>;

void TestStripPainter::workedExamples_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<Rects>("foreground");
    // The frame's bevel joins cut its four outer corners (and leave a notch where the middle and
    // last tracks' frames meet at the edges); the corners are checked separately.
    const auto corners = [](QSize size, int half) {
        return Rects { { 0, 0, half, half }, { size.width() - half, 0, half, half },
            { 0, size.height() - half, half, half },
            { size.width() - half, size.height() - half, half, half } };
    };
    QTest::addColumn<Rects>("ignored");

    QTest::newRow("absolute, 3 bits, no border")
        << stripSettings(EncoderType::Absolute, 3, false) << QSize(300, 90)
        << Rects { { 150, 0, 151, 30 }, { 75, 30, 75, 30 }, { 225, 30, 76, 30 }, { 37, 60, 37, 30 },
               { 112, 60, 37, 30 }, { 187, 60, 37, 30 }, { 262, 60, 38, 30 } }
        << Rects();

    // Segments over each track's 103 rows; frame bands 0-10, 88-108, 196-211, 304-310 and the
    // left and right lines 0-10 and 300-310.
    QTest::newRow("absolute, 3 bits, 10 px border")
        << stripSettings(EncoderType::Absolute, 3, true) << QSize(310, 310)
        << Rects { { 155, 0, 150, 103 }, { 80, 103, 75, 103 }, { 230, 103, 75, 103 },
               { 42, 206, 37, 103 }, { 117, 206, 37, 103 }, { 192, 206, 37, 103 },
               { 267, 206, 37, 103 }, { 0, 0, 310, 10 }, { 0, 88, 310, 20 }, { 0, 196, 310, 15 },
               { 0, 304, 310, 6 }, { 0, 0, 10, 310 }, { 300, 0, 10, 310 } }
        << corners(QSize(310, 310), 5) + Rects { { 0, 201, 5, 5 }, { 305, 201, 5, 5 } };

    QTest::newRow("relative, 2 pairs, 10 px border")
        << stripSettings(EncoderType::Relative, 2, true) << QSize(210, 60)
        << Rects { { 55, 1, 50, 58 }, { 155, 1, 50, 58 }, { 0, 0, 210, 10 }, { 0, 50, 210, 10 },
               { 0, 0, 10, 60 }, { 200, 0, 10, 60 } }
        << corners(QSize(210, 60), 5);

    QTest::newRow("one bit: right half over the full height")
        << stripSettings(EncoderType::Absolute, 1, false) << QSize(100, 7)
        << Rects { { 50, 0, 51, 7 } } << Rects();

    QTest::newRow("relative, 3 pairs, no border: last segment one pixel wider")
        << stripSettings(EncoderType::Relative, 3, false) << QSize(61, 4)
        << Rects { { 10, 0, 10, 4 }, { 30, 0, 10, 4 }, { 50, 0, 11, 4 } } << Rects();
}

void TestStripPainter::workedExamples()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(QSize, size);
    QFETCH(Rects, foreground);
    QFETCH(Rects, ignored);
    const QImage image = paintStrip(settings, size);
    const QString difference = firstDifference(image, expectedImage(size, foreground), ignored);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    if (!ignored.isEmpty()) {
        // Bevelled: the very corner is background, the pixel diagonally inside it foreground.
        QVERIFY(!isForeground(image, 0, 0));
        QVERIFY(isForeground(image, 4, 4));
    }
}

void TestStripPainter::lastTrackRowsStayBackground()
{
    // 3 tracks of 10 rows in 32 rows: rows 30 and 31 carry no segments.
    const QImage image = paintStrip(stripSettings(EncoderType::Absolute, 3, false), QSize(80, 32));
    QCOMPARE(rowPattern(image, 29), rowPattern(image, 20));
    QVERIFY(rowPattern(image, 29).contains(QLatin1Char('#')));
    QCOMPARE(rowPattern(image, 30), QString(80, QLatin1Char('.')));
    QCOMPARE(rowPattern(image, 31), QString(80, QLatin1Char('.')));
}

void TestStripPainter::narrowStripKeepsOnlyTheLastPixel()
{
    // 20 segments on 15 pixels: every segment truncates to width 0 but the last keeps 1 pixel.
    const QImage image = paintStrip(stripSettings(EncoderType::Relative, 10, false), QSize(15, 3));
    const int x = static_cast<int>(0.75L * 19); // left edge of the last foreground segment
    QString expected(15, QLatin1Char('.'));
    expected[x] = QLatin1Char('#');
    QCOMPARE(rowPattern(image, 1), expected);
}

void TestStripPainter::zeroWidthBorderStillDrawsTheFrame()
{
    EncoderSettings s = stripSettings(EncoderType::Relative, 1, true, 0.01); // 0.1 px -> 0
    const QImage image = paintStrip(s, QSize(40, 20));
    // The frame runs along the image's edges one pixel wide: the top row and the left column.
    QCOMPARE(rowPattern(image, 0), QString(40, QLatin1Char('#')));
    for (int y = 0; y < 20; ++y)
        QVERIFY2(isForeground(image, 0, y), qPrintable(QString::number(y)));
    QVERIFY(!isForeground(image, 1, 10));
}

void TestStripPainter::oddBorderSpansItsColumnsExactly()
{
    // bpx = 3: the frame's x is 1.5, so the left line covers columns 0-2 and nothing more.
    const QImage image
        = paintStrip(stripSettings(EncoderType::Relative, 1, true, 0.3), QSize(63, 30));
    const QString row = rowPattern(image, 15);
    QCOMPARE(row.left(5), QStringLiteral("###.."));
    QCOMPARE(row.right(4), QStringLiteral("####"));
}

void TestStripPainter::bitOrderMirrorsTheTracks()
{
    EncoderSettings s = stripSettings(EncoderType::Absolute, 4, false);
    const QImage normal = paintStrip(s, QSize(160, 40));
    s.bitOrder = BitOrder::MsbToLsb;
    const QImage mirrored = paintStrip(s, QSize(160, 40));
    for (int track = 0; track < 4; ++track) {
        for (int row = 0; row < 10; ++row)
            QCOMPARE(
                rowPattern(mirrored, track * 10 + row), rowPattern(normal, (3 - track) * 10 + row));
    }
    QVERIFY(rowPattern(normal, 0) != rowPattern(mirrored, 0));
}

QTEST_APPLESS_MAIN(TestStripPainter)
#include "tst_strippainter.moc"
