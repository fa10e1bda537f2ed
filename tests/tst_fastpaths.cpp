#include "geometry.h"
#include "paintcommon.h"
#include "pixelpacking.h"
#include "pngencoder.h"
#include "renderer.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtTest>

Q_DECLARE_METATYPE(EncoderSettings)

// The fast renders against the straightforward drawing: one painter, the layered shapes.
class TestFastPaths : public QObject
{
    Q_OBJECT

private slots:
    void plainRenderIsIdentical_data();
    void plainRenderIsIdentical();
    void antialiasedDiscMatchesAwayFromEdges_data();
    void antialiasedDiscMatchesAwayFromEdges();
    void pngLayouts_data();
    void pngLayouts();
};

static QImage reference(const EncoderSettings &settings, bool antialias)
{
    const QSize size = Geometry::imageSize(settings);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    applyRenderHints(painter, antialias);
    paintEncoder(painter, settings, size);
    return image;
}

static EncoderSettings disc(EncoderType type, int count, int inner, bool border, bool gray = true)
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.type = type;
    s.count = count;
    s.grayCode = gray;
    s.dpi = 300;
    s.outerRadiusMm = 40;
    s.innerRadiusMm = inner;
    s.border = border;
    s.borderWidthMm = 0.5;
    return s;
}

void TestFastPaths::plainRenderIsIdentical_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::newRow("relative disc, 1024 pairs") << disc(EncoderType::Relative, 1024, 0, true);
    QTest::newRow("gray disc, 8 bits") << disc(EncoderType::Absolute, 8, 5, true);
    QTest::newRow("binary disc, no border") << disc(EncoderType::Absolute, 6, 10, false, false);
    EncoderSettings strip;
    strip.count = 10;
    strip.dpi = 300;
    strip.heightMm = 60;
    QTest::newRow("strip, 10 bits") << strip;
}

void TestFastPaths::plainRenderIsIdentical()
{
    QFETCH(EncoderSettings, settings);
    QCOMPARE(renderEncoderImage(settings, false), reference(settings, false));
}

void TestFastPaths::antialiasedDiscMatchesAwayFromEdges_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::newRow("relative disc, 100 pairs") << disc(EncoderType::Relative, 100, 8, true);
    QTest::newRow("gray disc, 6 bits, border") << disc(EncoderType::Absolute, 6, 8, true);
    QTest::newRow("binary disc, 6 bits, no border")
        << disc(EncoderType::Absolute, 6, 8, false, false);
    QTest::newRow("gray disc, to the centre") << disc(EncoderType::Absolute, 5, 0, true);
    EncoderSettings coloured = disc(EncoderType::Relative, 30, 12, true);
    coloured.foreground = QColor(200, 40, 10);
    coloured.background = QColor(250, 240, 200);
    QTest::newRow("coloured relative disc") << coloured;
}

void TestFastPaths::antialiasedDiscMatchesAwayFromEdges()
{
    QFETCH(EncoderSettings, settings);
    const QImage fast = renderEncoderImage(settings, true);
    const QImage slow = reference(settings, true);
    QCOMPARE(fast.size(), slow.size());

    const QRgb fg = settings.foreground.rgb();
    const QRgb bg = settings.background.rgb();
    // Away from edges: the pixel and its neighbours are plain foreground or background in both.
    const auto pure = [&](int x, int y) {
        const QRgb a = fast.pixel(x, y);
        const QRgb b = slow.pixel(x, y);
        return (a == fg || a == bg) && (b == fg || b == bg);
    };
    qint64 edgePixels = 0;
    qint64 edgeDifference = 0;
    int worst = 0;
    for (int y = 0; y < slow.height(); ++y) {
        for (int x = 0; x < slow.width(); ++x) {
            const QRgb a = fast.pixel(x, y);
            const QRgb b = slow.pixel(x, y);
            bool interior = true;
            for (int dy = -1; dy <= 1 && interior; ++dy)
                for (int dx = -1; dx <= 1 && interior; ++dx)
                    interior = !QRect(0, 0, slow.width(), slow.height()).contains(x + dx, y + dy)
                        || pure(x + dx, y + dy);
            if (interior) {
                QVERIFY2(a == b,
                    qPrintable(QStringLiteral("interior pixel %1,%2: %3 instead of %4")
                                   .arg(x)
                                   .arg(y)
                                   .arg(a, 0, 16)
                                   .arg(b, 0, 16)));
                continue;
            }
            const int d = qMax(qAbs(qRed(a) - qRed(b)),
                qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
            ++edgePixels;
            edgeDifference += d;
            worst = qMax(worst, d);
        }
    }
    // Along edges the coverage is the same to within rounding, except where two shapes meet in
    // one pixel: the painter blends them one after the other, the fill adds their exact areas.
    QVERIFY(edgePixels > 0);
    QVERIFY2(edgeDifference < 4 * edgePixels,
        qPrintable(QString::number(double(edgeDifference) / edgePixels)));
    QVERIFY2(worst <= 96, qPrintable(QString::number(worst)));
}

void TestFastPaths::pngLayouts_data()
{
    QTest::addColumn<int>("colours");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<int>("depth");
    QTest::newRow("one colour") << 1 << false << 1;
    QTest::newRow("two colours") << 2 << false << 1;
    QTest::newRow("grey levels") << 200 << true << 8;
    QTest::newRow("palette") << 256 << false << 8;
    QTest::newRow("true colour") << 300 << false << 32;
}

void TestFastPaths::pngLayouts()
{
    QFETCH(int, colours);
    QFETCH(bool, grey);
    QFETCH(int, depth);

    QImage image(333, 71, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int i = (x * 7 + y * 13) % colours;
            image.setPixel(x, y, grey ? qRgb(i, i, i) : qRgb(i % 256, (i * 3) % 256, i / 256 * 50));
        }
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(11811);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString reason;
    QVERIFY(PngCodec::encode(image, &buffer, &reason));
    QImage decoded;
    QVERIFY(decoded.loadFromData(buffer.data(), "png"));
    QCOMPARE(decoded.depth(), depth);
    QCOMPARE(decoded.dotsPerMeterX(), 11811);
    QCOMPARE(decoded.dotsPerMeterY(), 11811);
    QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32), image);
    QCOMPARE(PixelPacking::compact(image).convertToFormat(QImage::Format_RGB32), image);
}

QTEST_MAIN(TestFastPaths)
#include "tst_fastpaths.moc"
