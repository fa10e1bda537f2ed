// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "exporter.h"
#include "imagetools.h"
#include "jpegencoder.h"
#include "paintcommon.h"
#include "patternrows.h"
#include "pixelpacking.h"
#include "renderer.h"
#include "testsupport.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtTest>

// A pattern written band by band, never whole, gives the very file its whole image gives, in every
// format and packing; the bands of a render are the rows of the whole.
class TestBanded : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void bandedFilesAreIdentical_data();
    void bandedFilesAreIdentical();
    void anyBandsMakeTheWholeImage_data();
    void anyBandsMakeTheWholeImage();
    void classicStripRowsAsPainted_data();
    void classicStripRowsAsPainted();
    void rgbRowsAreTheRowsColours_data();
    void rgbRowsAreTheRowsColours();
    void rowsAsideAreTheRows_data();
    void rowsAsideAreTheRows();
    void jpegAsQtWritesIt_data();
    void jpegAsQtWritesIt();
    void largeJpegReadsAsQtWrites_data();
    void largeJpegReadsAsQtWrites();

private:
    QTemporaryDir dir;
};

namespace {

EncoderSettings disc(int bits, int radiusMm, int dpi)
{
    EncoderSettings s = classicSettings();
    s.shape = Shape::Disc;
    s.code = Code::Gray; // as the window draws a disc
    s.bits = s.pairs = bits;
    s.outerRadiusMm = radiusMm;
    s.innerRadiusMm = 3;
    s.dpi = dpi;
    return s;
}

EncoderSettings inColours(EncoderSettings s, QColor foreground, QColor background)
{
    s.foreground = foreground;
    s.background = background;
    return s;
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}

void TestBanded::bandedFilesAreIdentical_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    // Several bands each; widths that are not whole bytes of 1-bit rows.
    const EncoderSettings gray = disc(12, 13, 600); // 614 px: three bands
    QTest::newRow("two colours") << gray << false; // 1-bit rows from the first pass
    QTest::newRow("greys") << gray << true;
    // A classic disc in greys is its coverage but for the rows the painter draws its centre
    // mark in: a mark across a band's edge, one over two bands, and none.
    EncoderSettings across = disc(12, 15, 600); // the centre's row at 354, the arms 106 px long
    across.innerRadiusMm = 9;
    QTest::newRow("greys, centre mark across bands") << across << true;
    EncoderSettings wide = disc(6, 40, 300);
    wide.innerRadiusMm = 35;
    wide.borderWidthMm = 2;
    QTest::newRow("greys, centre mark over bands") << wide << true;
    EncoderSettings bare = gray;
    bare.centerMark = false;
    QTest::newRow("greys, no centre mark") << bare << true;
    EncoderSettings grey = gray;
    grey.foreground = QColor(0x30, 0x30, 0x30);
    grey.background = QColor(0xc8, 0xc8, 0xc8);
    QTest::newRow("other greys") << grey << true;
    // The exact raster's coverage: black on white packs each coverage's inverse, white on
    // black the coverage itself.
    EncoderSettings exact = gray;
    exact.classicPixels = false;
    QTest::newRow("exact greys") << exact << true;
    exact.foreground = Qt::white;
    exact.background = Qt::black;
    QTest::newRow("exact greys, white on black") << exact << true;
    const EncoderSettings colours
        = inColours(gray, QColor(0x20, 0x40, 0x80), QColor(0xf0, 0xe0, 0xd0));
    QTest::newRow("palette") << colours << true;
    // In colours, every row is coverage, the mark's rows with the mark drawn into it.
    QTest::newRow("palette, centre mark across bands")
        << inColours(across, colours.foreground, colours.background) << true;
    EncoderSettings paletteStrip = classicSettings();
    paletteStrip.bits = 10;
    paletteStrip.heightMm = 30;
    paletteStrip.dpi = 600;
    paletteStrip.borderWidthMm = 0.13;
    QTest::newRow("palette strip")
        << inColours(paletteStrip, colours.foreground, colours.background) << true;
    QTest::newRow("two other colours") << colours << false;
    EncoderSettings single = gray;
    single.background = single.foreground;
    QTest::newRow("one colour") << single << false;
    // The second band begins on the index track's ground-coloured mark, the others on the
    // ground: a band's own two colours come in the other order.
    EncoderSettings channels = classicSettings();
    channels.type = EncoderType::Relative;
    channels.bits = channels.pairs = 20;
    channels.quadrature = true;
    channels.index = true;
    channels.border = false;
    channels.widthMm = 40;
    channels.heightMm = 24;
    QTest::newRow("quadrature strip") << channels << false;
    EncoderSettings rulers = classicSettings();
    rulers.type = EncoderType::Relative;
    rulers.bits = rulers.pairs = 40;
    rulers.widthMm = 50;
    rulers.heightMm = 25;
    rulers.dpi = 300;
    rulers.calibration = true;
    QTest::newRow("calibrated strip") << rulers << false;
    EncoderSettings quadrature = disc(1, 12, 500);
    quadrature.type = EncoderType::Relative;
    quadrature.bits = quadrature.pairs = 90;
    quadrature.quadrature = true;
    quadrature.index = true;
    quadrature.sensorMarks = true;
    QTest::newRow("precise quadrature") << quadrature << true;
}

void TestBanded::bandedFilesAreIdentical()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    const PatternRaster raster(settings, antialias);
    QVERIFY(raster.size().height() > 2 * PatternRaster::bandRows);
    const QImage whole = renderEncoderImage(settings, antialias);
    // Antialiased colours from a coverage are a palette of the 256 blends in their order, where
    // a whole image's are the colours it has in the order of their first pixels: the same
    // pixels.
    const bool blendOrder
        = antialias && !raster.onlyGreys() && raster.coverageAt(0, raster.size().height());
    for (const char *suffix : { "png", "tif", "bmp", "jpg", "pdf" }) {
        const Export::Format format = *Export::formatOfWord(QLatin1String(suffix));
        const QString wholeName = dir.filePath(QStringLiteral("whole.") + QLatin1String(suffix));
        const QString bandedName = dir.filePath(QStringLiteral("banded.") + QLatin1String(suffix));
        QString error;
        QVERIFY2(Export::writeImage(whole, settings, format, wholeName, &error), qPrintable(error));
        PatternRows rows(raster);
        QVERIFY2(Export::writeRows(rows, settings, format, bandedName, &error), qPrintable(error));
        const QByteArray expected = contents(wholeName);
        QVERIFY(!expected.isEmpty());
        if (!blendOrder || format == Export::Format::Jpeg) {
            QVERIFY2(contents(bandedName) == expected, suffix);
        } else if (format != Export::Format::Pdf
            && QImageReader::imageFormat(bandedName).size() > 0) { // (no TIFF plugin, emulated)
            const QImage read(bandedName);
            QVERIFY2(read.colorCount() > 0 && read.colorCount() <= 256, suffix); // a palette
            QVERIFY2(read.convertToFormat(QImage::Format_RGB32) == whole, suffix);
        }
    }
}

void TestBanded::anyBandsMakeTheWholeImage_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    EncoderSettings circles = disc(10, 9, 600);
    circles.borderWidthMm = 0.3;
    QTest::newRow("antialiased disc with circles") << circles << true;
    QTest::newRow("plain disc") << circles << false;
    EncoderSettings strip = classicSettings();
    strip.heightMm = 25;
    strip.borderWidthMm = 0.25;
    QTest::newRow("antialiased strip") << strip << true;
    const QColor purple(0x8d, 0x15, 0xd7), green(0x4e, 0xa6, 0x2b);
    EncoderSettings colours = inColours(circles, purple, green);
    colours.innerRadiusMm = 7; // the centre mark over three bands of 97 rows or fewer
    QTest::newRow("antialiased disc in colours") << colours << true;
    QTest::newRow("antialiased strip in colours") << inColours(strip, purple, green) << true;
    // Frames wider than the bands, reaching well into the tracks beside them.
    EncoderSettings frames = classicSettings();
    frames.bits = 9;
    frames.heightMm = 30;
    frames.dpi = 300;
    frames.borderWidthMm = 1.1;
    QTest::newRow("strip of wide frames") << frames << true;
    QTest::newRow("strip of wide frames, plain") << frames << false;
    EncoderSettings precise = circles;
    precise.classicPixels = false;
    QTest::newRow("precise") << precise << false;
}

// Bands of any height, from any row, have the pixels of the whole image in their rows.
void TestBanded::anyBandsMakeTheWholeImage()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    const QImage whole = renderEncoderImage(settings, antialias);
    const PatternRaster raster(settings, antialias);
    QImage banded(raster.size(), QImage::Format_RGB32);
    banded.fill(Qt::red);
    for (int top = 0, rows = 1; top < banded.height(); top += rows, rows = rows * 3 % 97 + 1)
        raster.paintRows(banded.scanLine(top), banded.bytesPerLine(), top,
            std::min(rows, banded.height() - top));
    banded.setDotsPerMeterX(whole.dotsPerMeterX());
    banded.setDotsPerMeterY(whole.dotsPerMeterY());
    QCOMPARE(banded, whole);
    // One band of every row, where nothing lies outside the rows drawn.
    QImage once(raster.size(), QImage::Format_RGB32);
    raster.paintRows(once.bits(), once.bytesPerLine(), 0, once.height());
    once.setDotsPerMeterX(whole.dotsPerMeterX());
    once.setDotsPerMeterY(whole.dotsPerMeterY());
    QCOMPARE(banded, once);
}

void TestBanded::classicStripRowsAsPainted_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    EncoderSettings fine = classicSettings(); // marks of a pixel or two, a 1 px frame
    fine.type = EncoderType::Relative;
    fine.pairs = 300;
    fine.widthMm = 40;
    fine.heightMm = 12;
    fine.borderWidthMm = 0.05;
    QTest::newRow("fine relative strip") << fine << true;
    QTest::newRow("fine relative strip, plain") << fine << false;
    const QColor purple(0x8d, 0x15, 0xd7), green(0x4e, 0xa6, 0x2b);
    QTest::newRow("fine relative strip in colours") << inColours(fine, purple, green) << true;
    EncoderSettings tracks = classicSettings(); // rows left over below the last track
    tracks.bits = 7;
    tracks.heightMm = 21;
    tracks.borderWidthMm = 0.25;
    tracks.bitOrder = BitOrder::MsbToLsb;
    QTest::newRow("7 bits, msb-lsb") << tracks << true;
    QTest::newRow("7 bits in colours, plain") << inColours(tracks, purple, green) << false;
    EncoderSettings frames = tracks; // frames reaching far into their neighbours
    frames.bits = 5;
    frames.heightMm = 60;
    frames.dpi = 300;
    frames.borderWidthMm = 1.1;
    QTest::newRow("wide frames") << frames << true;
}

// A classic strip's rows, painted once for each run of rows alike and copied, are the rows the
// painter gives when it paints every one.
void TestBanded::classicStripRowsAsPainted()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    const PatternRaster raster(settings, antialias);
    // The painter alone, over the whole image; in colours it paints a coverage, white on black.
    const bool greys = raster.onlyGreys() || !antialias;
    QImage painted(raster.size(), QImage::Format_RGB32);
    {
        EncoderSettings drawn = settings;
        if (!greys) {
            drawn.foreground = Qt::white;
            drawn.background = Qt::black;
        }
        QPainter painter(&painted);
        applyRenderHints(painter, antialias);
        paintEncoder(painter, drawn, raster.size());
    }
    if (!greys)
        for (int y = 0; y < painted.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(painted.scanLine(y));
            for (int x = 0; x < painted.width(); ++x)
                line[x] = raster.colorOf(qRed(line[x]));
        }
    QImage banded(raster.size(), QImage::Format_RGB32);
    banded.fill(Qt::red);
    for (int top = 0, rows = 1; top < banded.height(); top += rows, rows = rows * 5 % 89 + 1)
        raster.paintRows(banded.scanLine(top), banded.bytesPerLine(), top,
            std::min(rows, banded.height() - top));
    for (int y = 0; y < banded.height(); ++y)
        if (std::memcmp(banded.constScanLine(y), painted.constScanLine(y),
                size_t(banded.width()) * 4)) // the message only then
            QFAIL(qPrintable(QStringLiteral("row %1 of %2").arg(y).arg(banded.height())));
}

void TestBanded::rgbRowsAreTheRowsColours_data()
{
    QTest::addColumn<bool>("classic");
    QTest::addColumn<bool>("antialias");
    QTest::newRow("coverage, antialiased") << false << true;
    QTest::newRow("coverage, plain") << false << false;
    QTest::newRow("classic pixels, painted") << true << true;
}

// The bytes a colour writer takes, straight from the coverage or through the painted rows,
// are each row's colours, in every band.
void TestBanded::rgbRowsAreTheRowsColours()
{
    QFETCH(bool, classic);
    QFETCH(bool, antialias);
    EncoderSettings s = disc(8, 6, 300);
    s.classicPixels = classic;
    s.foreground = QColor(0x20, 0x40, 0x80);
    s.background = QColor(0xf0, 0xe0, 0xa0);
    const QImage image = renderEncoderImage(s, antialias);
    const PatternRaster raster(s, antialias);
    PatternRows rows(raster);
    std::vector<uchar> bytes(size_t(image.width()) * 3);
    for (int y = 0; y < image.height(); y += 7) {
        rows.rgbRow(y, bytes.data());
        const QRgb *expected = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb got = qRgb(bytes[size_t(3 * x)], bytes[size_t(3 * x + 1)],
                bytes[size_t(3 * x + 2)]);
            if (got != (expected[x] | 0xff000000u)) // the message only then
                QFAIL(qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
        }
    }
}

void TestBanded::rowsAsideAreTheRows_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("count");
    const EncoderSettings classic = disc(12, 13, 600); // 614 px
    QTest::newRow("classic plain") << classic << false << 120 << 20;
    EncoderSettings exact = classic; // bands of coverage
    exact.classicPixels = false;
    QTest::newRow("plain, within a band") << exact << false << 300 << 16;
    QTest::newRow("plain, across bands") << exact << false << 120 << 20;
    QTest::newRow("plain, the last rows") << exact << false << 598 << 16;
    QTest::newRow("exact greys, across bands") << exact << true << 250 << 16;
    // Painted bands: the classic disc's centre mark in greys.
    EncoderSettings mark = disc(12, 15, 600);
    mark.innerRadiusMm = 9;
    QTest::newRow("classic greys, centre mark") << mark << true << 340 << 30;
}

// Rows packed aside, as an encoder looks ahead before it reads in order, are those rows; and the
// rows read in order afterwards, from bands being drawn ahead, are still the image's.
void TestBanded::rowsAsideAreTheRows()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    QFETCH(int, top);
    QFETCH(int, count);
    const PatternRaster raster(settings, antialias);
    const QImage whole = renderEncoderImage(settings, antialias);
    PixelPacking::ImageRows expected(whole);
    PatternRows rows(raster);
    // The whole image's rows packed in the pattern's layout, whose palette may be in another
    // order than the whole image's own.
    const PixelPacking::RowPacker packer(rows.layout(), whole.width());
    const size_t bytes = size_t(packer.rowBytes());
    std::vector<uchar> want(bytes), got(bytes * size_t(count));
    const int height = whole.height();
    // Read in order into the second band, so that bands are being drawn ahead.
    for (int y = 0; y < 70; ++y)
        rows.packRow(y, packer, got.data());
    rows.packRowsAside(top, count, packer, got.data());
    for (int r = 0; r < count; ++r) {
        expected.packRow(top + r, packer, want.data());
        QVERIFY2(std::memcmp(got.data() + size_t(r) * bytes, want.data(), bytes) == 0,
            qPrintable(QStringLiteral("row %1 aside").arg(top + r)));
    }
    for (int y = 70; y < height; ++y) {
        rows.packRow(y, packer, got.data());
        expected.packRow(y, packer, want.data());
        QVERIFY2(std::memcmp(got.data(), want.data(), bytes) == 0,
            qPrintable(QStringLiteral("row %1 after").arg(y)));
    }
}

void TestBanded::jpegAsQtWritesIt_data()
{
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("antialias");
    QTest::addColumn<bool>("gray"); // written as one grey component
    QTest::newRow("colour") << QColor(0x20, 0x40, 0x80) << QColor(Qt::white) << true << false;
    QTest::newRow("colour, plain") << QColor(0x20, 0x40, 0x80) << QColor(0xf0, 0xe0, 0xa0)
                                   << false << false;
    QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << true << true;
    QTest::newRow("black on white, plain") << QColor(Qt::black) << QColor(Qt::white) << false
                                           << true;
    QTest::newRow("greys") << QColor(0x30, 0x30, 0x30) << QColor(0xc8, 0xc8, 0xc8) << true << true;
}

// Bands go to libjpeg directly; the file is the one Qt's writer makes of the same image, and of
// its grey levels when every pixel is a grey.
void TestBanded::jpegAsQtWritesIt()
{
    QFETCH(QColor, foreground);
    QFETCH(QColor, background);
    QFETCH(bool, antialias);
    QFETCH(bool, gray);
    for (const int dpi : { 300, 1200, 127 }) {
        EncoderSettings s = disc(8, 6, dpi);
        s.foreground = foreground;
        s.background = background;
        const QImage image = renderEncoderImage(s, antialias);
        QBuffer qt;
        qt.open(QIODevice::WriteOnly);
        QVERIFY(QImageWriter(&qt, "jpeg")
                    .write(gray ? image.convertToFormat(QImage::Format_Grayscale8) : image));
        for (const bool banded : { false, true }) {
            QBuffer ours;
            ours.open(QIODevice::WriteOnly);
            PixelPacking::ImageRows imageRows(image);
            const PatternRaster raster(s, antialias);
            PatternRows patternRows(raster);
            PixelPacking::PixelRows &rows = banded ? static_cast<PixelPacking::PixelRows &>(patternRows)
                                                   : imageRows;
            QString reason;
            QVERIFY2(JpegCodec::encode(rows, &ours, &reason), qPrintable(reason));
            QVERIFY2(ours.data() == qt.data(),
                qPrintable(QStringLiteral("%1 dpi%2").arg(dpi).arg(banded ? ", banded" : "")));
        }
        // One component (SOF0's component count) where the pixels are greys.
        const int sof = int(qt.data().indexOf("\xff\xc0"));
        QVERIFY(sof > 0);
        QCOMPARE(int(uchar(qt.data().at(sof + 9))), gray ? 1 : 3);
    }
}

void TestBanded::largeJpegReadsAsQtWrites_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("gray");
    QTest::addColumn<int>("pieces");
    // Over 4 million pixels: pieces of 256 rows (32 rows of blocks of 8 grey pixels, 16 of 16
    // colour ones), the last one short, on every core.
    EncoderSettings greys = disc(8, 43, 600); // 2033 px square
    greys.classicPixels = false;
    QTest::newRow("greys") << greys << true << 8;
    EncoderSettings colours = greys;
    colours.foreground = QColor(0x20, 0x40, 0x80);
    colours.background = QColor(0xf0, 0xe0, 0xa0);
    QTest::newRow("colours") << colours << false << 8;
    // A wide strip: the 65,535 blocks of the restart interval hold fewer rows.
    EncoderSettings wide = classicSettings();
    wide.classicPixels = false;
    wide.widthMm = 1000;
    wide.heightMm = 20;
    wide.dpi = 600; // 2,953 blocks a row: 22 rows of them, 176 pixels, a piece
    QTest::newRow("wide strip, greys") << wide << true << 3;
}

// A large image is coded in pieces joined by restart markers: other bytes than Qt's writer
// makes, the same pixels read back.
void TestBanded::largeJpegReadsAsQtWrites()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, gray);
    QFETCH(int, pieces);
    const QImage image = renderEncoderImage(settings, true);
    QVERIFY(qint64(image.width()) * image.height() >= 4'000'000);
    QBuffer qt;
    qt.open(QIODevice::WriteOnly);
    QVERIFY(QImageWriter(&qt, "jpeg")
                .write(gray ? image.convertToFormat(QImage::Format_Grayscale8) : image));
    QBuffer ours;
    ours.open(QIODevice::WriteOnly);
    PixelPacking::ImageRows rows(image);
    QString reason;
    QVERIFY2(JpegCodec::encode(rows, &ours, &reason), qPrintable(reason));
    // A restart after every piece but the last, the markers counting 0 to 7 over and over.
    const QByteArray &bytes = ours.data();
    QVERIFY(bytes.contains("\xff\xdd\x00\x04"));
    QVERIFY(!qt.data().contains("\xff\xdd\x00\x04"));
    for (int i = 0; i < pieces - 1; ++i)
        QVERIFY2(bytes.contains(QByteArray("\xff") + char(0xd0 + i % 8)),
            qPrintable(QString::number(i)));
    QVERIFY(!bytes.contains(QByteArray("\xff") + char(0xd0 + (pieces - 1) % 8)) || pieces > 8);
    const auto read = [](QByteArray data) {
        QBuffer buffer(&data);
        return QImageReader(&buffer, "jpeg").read();
    };
    const QImage expected = read(qt.data());
    const QImage got = read(bytes);
    QVERIFY(!expected.isNull());
    QCOMPARE(got.size(), image.size());
    QCOMPARE(got.format(), expected.format());
    QCOMPARE(got.dotsPerMeterX(), expected.dotsPerMeterX());
    QVERIFY(got == expected);
}

QTEST_MAIN(TestBanded)
#include "tst_banded.moc"
