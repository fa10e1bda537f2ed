// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "deflater.h"
#include "exporter.h"
#include "outputfile.h"
#include "outsidetools.h"
#include "pixelrule.h"
#include "pngencoder.h"
#include "renderer.h"
#include "renderoptions.h"
#include "runlengthdeflate.h"
#include "testsupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

// Every lossless format keeps every pixel in every colour at its smallest size, read back by a
// decoder other than the one that wrote it; failures name the file and the system's reason;
// file names, FIFOs, devices and standard output are written as they are.
class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void roundTrip_data();
    void roundTrip();
    void noLargerThanQt_data();
    void noLargerThanQt();
    void fileNameBytes();
    void failures_data();
    void failures();
    void specialFiles();
    void pipeEqualsFile_data();
    void pipeEqualsFile();
    void outOfMemoryIsAMessage_data();
    void outOfMemoryIsAMessage();
    void twoColoursStayCompact_data();
    void twoColoursStayCompact();
    void blackAndWhiteTiffTakesTheSmallerCoding_data();
    void blackAndWhiteTiffTakesTheSmallerCoding();
    void parallelDeflateIsOneStream_data();
    void parallelDeflateIsOneStream();
    void runLengthDeflate_data();
    void runLengthDeflate();
    void smallPngsInEveryCoding_data();
    void smallPngsInEveryCoding();

private:
    // Runs a shell script with $R set to quvelta-render, in the scratch folder.
    Run shell(const QString &script) const { return runShell(script, dir.path()); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

static EncoderSettings small(Shape shape, QColor foreground, QColor background)
{
    EncoderSettings s;
    s.shape = shape;
    s.code = shape == Shape::Disc ? Code::Gray : Code::Binary; // as the window draws it
    s.widthMm = 30;
    s.heightMm = 8;
    s.outerRadiusMm = 8;
    s.innerRadiusMm = 2;
    s.dpi = 300;
    s.foreground = foreground;
    s.background = background;
    return s;
}

void TestFormats::roundTrip_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    QTest::addColumn<QString>("suffix");
    const QList<std::tuple<const char *, EncoderSettings, bool>> cases = {
        { "black on white", small(Shape::Strip, Qt::black, Qt::white), false },
        { "white on black", small(Shape::Disc, Qt::white, Qt::black), false },
        { "black on yellow", small(Shape::Strip, Qt::black, Qt::yellow), false },
        { "navy on peach", small(Shape::Disc, QColor(0, 0, 128), QColor(0xff, 0xe0, 0xc0)), false },
        { "antialiased grey", small(Shape::Disc, Qt::black, Qt::white), true },
        { "antialiased strip in colour",
            small(Shape::Strip, QColor(200, 30, 30), QColor(240, 240, 200)), true },
        { "antialiased disc in colour",
            small(Shape::Disc, QColor(200, 30, 30), QColor(240, 240, 200)), true },
    };
    for (const auto &[name, settings, antialias] : cases) {
        for (const char *suffix : { "png", "tif", "bmp", "pdf" })
            QTest::addRow("%s, %s", name, suffix)
                << settings << antialias << QString::fromLatin1(suffix);
    }
    // More than a TIFF strip of a quarter megabyte, the last strip shorter than the others.
    EncoderSettings large = small(Shape::Disc, QColor(200, 30, 30), QColor(240, 240, 200));
    large.outerRadiusMm = 30;
    QTest::newRow("two strips, antialiased disc in colour, tif") << large << true << "tif";
    // Marks under a pixel: rows of short runs that look like noise, which a TIFF strip codes
    // another way.
    EncoderSettings fine = large;
    fine.type = EncoderType::Relative;
    fine.pairs = 6000;
    QTest::newRow("two strips, marks under a pixel, tif") << fine << true << "tif";
    // The same as a fine ring's plain centres, in black and white: Group 4 strips coded apart;
    // and a small PNG of them, whose coding is chosen from a sample of its rows.
    EncoderSettings fineBlack = fine;
    fineBlack.foreground = Qt::black;
    fineBlack.background = Qt::white;
    for (const char *suffix : { "tif", "png", "pdf" })
        QTest::addRow("marks under a pixel, plain, black on white, %s", suffix)
            << fineBlack << false << QString::fromLatin1(suffix);
    QTest::newRow("marks under a pixel, antialiased, png") << fineBlack << true << "png";
    large.outerRadiusMm = 20;
    large.dpi = 1200;
    large.foreground = Qt::black;
    large.background = Qt::white;
    QTest::newRow("two strips, black on white, tif") << large << false << "tif";
}

// Decoded by another library than the one that wrote it (Qt's readers for libpng's and libtiff's
// files and for our BMP; poppler for our PDF), every pixel is the rendered one, and two colours
// take one bit a pixel.
void TestFormats::roundTrip()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    QFETCH(QString, suffix);
    const QImage image = renderEncoderImage(settings, antialias);
    // Two colours take one bit a pixel, up to 256 (greys among them) eight, more 24.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    const int depth = colours.size() <= 2 ? 1 : colours.size() <= 256 ? 8 : 24;
    const QString name = path(QStringLiteral("round.") + suffix);
    QString error;
    QVERIFY2(Export::writeImage(image, settings, *Export::formatOfWord(suffix), name, &error),
        qPrintable(error));
    QImage decoded;
    int fileDepth = 0;
    const auto run = [](const QString &program, const QStringList &arguments) {
        QProcess p;
        p.start(program, arguments);
        p.waitForFinished(60000);
        return p.readAllStandardOutput();
    };
    if (suffix == QLatin1String("pdf")) {
        QUVELTA_NEEDS("pdfimages");
        const QList<QByteArray> row
            = run(QStringLiteral("pdfimages"), { QStringLiteral("-list"), name })
                  .split('\n')
                  .value(2)
                  .simplified()
                  .split(' ');
        fileDepth = row.value(6).toInt() * row.value(7).toInt(); // components x bits
        run(QStringLiteral("pdfimages"),
            { QStringLiteral("-png"), name, path(QStringLiteral("extracted")) });
        decoded.load(path(QStringLiteral("extracted-000.png")));
        if (depth == 1) {
            // poppler extracts a 1-bit image as black and white, the lighter of its two colours
            // white: the colours come from the page's colour space.
            QFile pdf(name);
            QVERIFY(pdf.open(QIODevice::ReadOnly));
            const QRegularExpressionMatch m
                = QRegularExpression(QStringLiteral("/Indexed /DeviceRGB 1 <([0-9A-F]{12})>"))
                      .match(QString::fromLatin1(pdf.readAll()));
            QVERIFY(m.hasMatch());
            const QRgb palette[2] = { 0xff000000u | m.captured(1).left(6).toUInt(nullptr, 16),
                0xff000000u | m.captured(1).mid(6).toUInt(nullptr, 16) };
            QImage coloured(decoded.size(), QImage::Format_RGB32);
            for (int y = 0; y < decoded.height(); ++y)
                for (int x = 0; x < decoded.width(); ++x)
                    coloured.setPixel(x, y,
                        palette[(qGray(decoded.pixel(x, y)) > 127)
                                    == (qGray(palette[1]) > qGray(palette[0]))
                                ? 1
                                : 0]);
            decoded = coloured;
        }
    } else {
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (suffix == QLatin1String("png"))
            fileDepth = bytes[24] * (bytes[25] == 2 ? 3 : 1);
        else if (suffix == QLatin1String("bmp"))
            fileDepth = uchar(bytes[28]);
        else {
            QUVELTA_NEEDS("tiffinfo");
            const QString info = QString::fromUtf8(run(QStringLiteral("tiffinfo"), { name }));
            const auto field = [&](const char *label) {
                const QRegularExpressionMatch m
                    = QRegularExpression(QLatin1String(label) + QStringLiteral(": (\\d+)"))
                          .match(info);
                return m.hasMatch() ? m.captured(1).toInt() : 1;
            };
            fileDepth = field("Bits/Sample") * field("Samples/Pixel");
        }
        QImageReader reader(name);
        decoded = reader.read();
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(decoded.dotsPerMeterX(), image.dotsPerMeterX());
    }
    QCOMPARE(fileDepth, depth);
    QCOMPARE(decoded.size(), image.size());
    QVERIFY(decoded.convertToFormat(QImage::Format_RGB32) == image);
}

void TestFormats::noLargerThanQt_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<bool>("antialias");
    EncoderSettings strip;
    EncoderSettings disc;
    disc.shape = Shape::Disc;
    disc.code = Code::Gray; // as the window draws a disc
    disc.type = EncoderType::Relative;
    disc.bits = disc.pairs = 200;
    QTest::newRow("start strip, plain") << strip << false;
    QTest::newRow("start strip, antialiased") << strip << true;
    QTest::newRow("200-pair disc, plain") << disc << false;
    QTest::newRow("200-pair disc, antialiased") << disc << true;
    disc.foreground = QColor(20, 60, 120);
    QTest::newRow("coloured disc, antialiased") << disc << true;
    // Over 4 Mpx, written the fast way; a strip's rows repeat the row above.
    EncoderSettings fineStrip;
    fineStrip.type = EncoderType::Relative;
    fineStrip.pairs = 700;
    fineStrip.widthMm = 150;
    fineStrip.heightMm = 60;
    fineStrip.dpi = 1000;
    QTest::newRow("large fine strip, antialiased") << fineStrip << true;
}

// Whatever the packing, a PNG is no larger than the one QImage::save writes for the same image.
void TestFormats::noLargerThanQt()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(bool, antialias);
    const QImage image = renderEncoderImage(settings, antialias);
    const QString ours = path(QStringLiteral("ours.png"));
    QString error;
    QVERIFY(Export::writeImage(image, settings, Export::Format::Png, ours, &error));
    QBuffer qt;
    qt.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&qt, "png"));
    QVERIFY2(QFileInfo(ours).size() <= qt.size(),
        qPrintable(QStringLiteral("%1 bytes, Qt %2").arg(QFileInfo(ours).size()).arg(qt.size())));
}

void TestFormats::fileNameBytes()
{
    // Bytes that are not UTF-8 survive the round trip; UTF-8 stays UTF-8.
    const QByteArray latin1("lat\xe4\xff.png");
    QCOMPARE(fileNameToBytes(fileNameFromBytes(latin1)), latin1);
    const QByteArray utf8("gr\xc3\xbc\xc3\x9f\xe2\x82\xac.png");
    QCOMPARE(fileNameFromBytes(utf8), QStringLiteral("grüß€.png"));
    QCOMPARE(fileNameToBytes(fileNameFromBytes(utf8)), utf8);
    QCOMPARE(fileNameToBytes(fileNameFromBytes(QByteArray("\xc0\xaf\xed\xa0\x80"))),
        QByteArray("\xc0\xaf\xed\xa0\x80")); // overlong and surrogate forms are bytes

    // The command line writes exactly that name.
    QUVELTA_NEEDS("/bin/sh", "printf");
    const Run run = shell(QStringLiteral(
        "\"$R\" -o \"$(printf 'lat\\344.png')\" && test -f \"$(printf 'lat\\344.png')\""));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // Qt's own file functions cannot name it to remove it.
    shell(QStringLiteral("rm -f \"$(printf 'lat\\344.png')\""));
}

void TestFormats::failures_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("disk full") << "rm -f full.png; mknod full.png c 1 7 && \"$R\" -o full.png"
                               << "Can't write full.png: no space left on device";
    QTest::newRow("file-size limit") << "echo old > limited.png; ulimit -f 1; \"$R\" -o limited.png"
                                     << "Can't write limited.png: file too large";
    QTest::newRow("loop of links") << "ln -sf loop2.png loop1.png; ln -sf loop1.png loop2.png; "
                                      "\"$R\" -o loop1.png"
                                   << "Can't write loop1.png: too many levels of symbolic links";
    QTest::newRow("folder") << "mkdir -p folder.png; \"$R\" -o folder.png"
                            << "Can't write folder.png: is a directory";
    QTest::newRow("tiff on a full disk")
        << "rm -f full.tif; mknod full.tif c 1 7 && \"$R\" -o full.tif"
        << "Can't write full.tif: no space left on device";
    QTest::newRow("jpeg on a full disk")
        << "rm -f full.jpg; mknod full.jpg c 1 7 && \"$R\" -o full.jpg"
        << "Can't write full.jpg: no space left on device";
    // Large enough to be written band by band; the TIFF straight into its temporary file.
    QTest::newRow("banded tiff, file-size limit")
        << "ulimit -f 200; \"$R\" --shape disc --outer-radius 50 --bits 12 -o limited.tif"
        << "Can't write limited.tif: file too large";
    QTest::newRow("banded jpeg, file-size limit")
        << "ulimit -f 200; \"$R\" --shape disc --outer-radius 50 --bits 12 -o limited.jpg"
        << "Can't write limited.jpg: file too large";
}

void TestFormats::pipeEqualsFile_data()
{
    QTest::addColumn<QString>("format");
    for (const char *format : { "png", "tif", "bmp", "jpg", "pdf" })
        QTest::newRow(format) << QString::fromLatin1(format);
}

// Standard output cannot seek: TIFF is made in memory there, written in place into a file. The
// bytes are the same, for a pattern drawn band by band and for a small one drawn whole.
void TestFormats::pipeEqualsFile()
{
    QUVELTA_NEEDS("/bin/sh", "cmp", "stat -c %s /");
    QFETCH(QString, format);
    const Run run = shell(
        QStringLiteral("set -e; for a in '--outer-radius 50 --bits 12' '--outer-radius 10'; do "
                       "\"$R\" --quiet --shape disc $a -o file.%1; "
                       "\"$R\" --quiet --shape disc $a -o - --format %1 > piped.%1; "
                       "cmp file.%1 piped.%1; test $(stat -c %s file.%1) -gt 1000; done")
            .arg(format));
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

// One line on stderr with the system's reason, exit status 1, and no file left behind or changed.
void TestFormats::failures()
{
    QUVELTA_NEEDS("/bin/sh");
    QFETCH(QString, script);
    QFETCH(QString, message);
    const Run run = shell(script);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QString::fromUtf8(run.err),
        QStringLiteral("quvelta-render: ") + message + QLatin1Char('\n'));
    QCOMPARE(
        QDir(dir.path()).entryList({ QStringLiteral(".*.??????") }, QDir::Files | QDir::Hidden),
        QStringList()); // no temporary file left
    if (script.contains(QLatin1String("limited.png"))) {
        QFile old(path(QStringLiteral("limited.png")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old\n"));
    }
}

// A FIFO's reader gets the file, a device stays a device, standard output gets the same bytes as
// a file, and a link to a file stays a link.
void TestFormats::specialFiles()
{
    QUVELTA_NEEDS("/bin/sh", "mkfifo", "cat", "cmp");
    const Run run = shell(QStringLiteral(
        "set -e; \"$R\" -o plain.png; rm -f pipe.png; mkfifo pipe.png; cat pipe.png > read.png & "
        "\"$R\" -o pipe.png; wait; cmp plain.png read.png; test -p pipe.png; "
        "\"$R\" -o - --format png | cmp - plain.png; "
        "echo old > real.png; ln -sf real.png link.png; \"$R\" -o link.png; test -L link.png; "
        "cmp real.png plain.png"));
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

void TestFormats::outOfMemoryIsAMessage_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("limitKb");
    QTest::addColumn<bool>("fits");
    const QString gray16 = QStringLiteral("--shape disc --bits 16 --outer-radius 100 --dpi 1200 "
                                          "--border 5");
    const QString strip
        = QStringLiteral("--bits 10 --width 200 --height 200 --dpi 1200 --border 5");
    // The largest image (375 MB whole) is written band by band within a fraction of that.
    QTest::newRow("16 bits, 420 MB") << gray16 << 420000 << true;
    QTest::newRow("16 bits plain, 420 MB")
        << gray16 + QStringLiteral(" --no-antialias") << 420000 << true;
    // Below what the bands need: a message, never a crash in the painter or an abort. The
    // exact raster's bands are a byte a pixel, so the limit is below the one for colours.
    QTest::newRow("16 bits, 90 MB") << gray16 << 90000 << false;
    QTest::newRow("16 bits plain, 90 MB")
        << gray16 + QStringLiteral(" --no-antialias") << 90000 << false;
    QTest::newRow("strip, 90 MB") << strip << 90000 << false;
    QTest::newRow("precise, 90 MB") << gray16 + QStringLiteral(" --precise") << 90000 << false;
    QTest::newRow("classic, 100 MB") << gray16 + QStringLiteral(" --classic-pixels") << 100000
                                     << false;
}

// Under an address-space limit: the file, or one line and status 1 with no file left behind.
void TestFormats::outOfMemoryIsAMessage()
{
    QUVELTA_NEEDS("/bin/sh");
#ifdef QUVELTA_SANITIZED
    QSKIP("the sanitizers reserve more address space than the limits allow");
#endif
    if (emulatedRender())
        QSKIP("an address-space limit would measure the emulator, not the program");
    QFETCH(QString, options);
    QFETCH(int, limitKb);
    QFETCH(bool, fits);
    QFile::remove(path(QStringLiteral("big.png")));
    const Run run = shell(
        QStringLiteral("ulimit -v %1; \"$R\" --quiet %2 -o big.png").arg(limitKb).arg(options));
    if (fits) {
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(QImageReader(path(QStringLiteral("big.png"))).size(), QSize(9684, 9684));
        return;
    }
    QCOMPARE(run.exitCode, 1);
    const QSize size(9684, 9684);
    QCOMPARE(QString::fromUtf8(run.err),
        QStringLiteral("quvelta-render: not enough memory to render %1 x %2\n")
            .arg(size.width())
            .arg(size.height()));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("big.png"))));
    QCOMPARE(
        QDir(dir.path()).entryList({ QStringLiteral(".*.??????") }, QDir::Files | QDir::Hidden),
        QStringList());
}

void TestFormats::twoColoursStayCompact_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("suffix");
    const QString colours = QStringLiteral(" --foreground steelblue --background wheat");
    // Large enough to be written band by band, and small ones drawn at once; a centre mark, a
    // fine code and every raster format that keeps a palette.
    const QString disc = QStringLiteral("--shape disc --type relative --pairs 1024 --outer-radius 60 "
                                        "--inner-radius 30 --dpi 600");
    const QString fine = QStringLiteral("--shape disc --bits 16 --outer-radius 89 --inner-radius 39 "
                                        "--bit-order msb-lsb --border 0.88 --dpi 300");
    const QString strip = QStringLiteral("--bits 15 --width 200 --dpi 1200 --height 5");
    for (const char *suffix : { "png", "tif", "bmp" }) {
        QTest::newRow(qPrintable(QStringLiteral("disc with a hole, %1").arg(suffix)))
            << disc + colours << QString::fromLatin1(suffix);
        QTest::newRow(qPrintable(QStringLiteral("16 bits, %1").arg(suffix)))
            << fine + colours << QString::fromLatin1(suffix);
    }
    QTest::newRow("fine strip, tif") << strip + colours << QStringLiteral("tif");
    QTest::newRow("small disc, png")
        << QStringLiteral("--shape disc --bits 8 --outer-radius 10 --inner-radius 3") + colours
        << QStringLiteral("png");
    QTest::newRow("grey disc, png") << fine + QStringLiteral(" --foreground dimgray")
                                    << QStringLiteral("png");
    QTest::newRow("plain, png") << disc + colours + QStringLiteral(" --no-antialias")
                                << QStringLiteral("png");
}

// Two colours blended by an 8-bit coverage are at most 256 colours: whatever the colours, the
// file keeps a palette (grey levels for greys, one bit when plain), and its pixels are the
// render's.
void TestFormats::twoColoursStayCompact()
{
    QFETCH(QString, options);
    QFETCH(QString, suffix);
    const QString name = QStringLiteral("compact.") + suffix;
    const Run run = shell(QStringLiteral("\"$R\" --quiet %1 -o %2").arg(options, name));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << options.split(QLatin1Char(' ')) << QStringLiteral("-o") << name);
    QCOMPARE(int(parsed.status), int(ParseResult::Status::Run));
    const QImage expected = renderEncoderImage(parsed.job.settings, parsed.job.antialias);
    QImageReader reader(path(name));
    const QImage written = reader.read();
    QVERIFY2(!written.isNull(), qPrintable(reader.errorString()));
    const bool plain = !parsed.job.antialias;
    const bool greys = options.contains(QLatin1String("dimgray"));
    const QImage::Format format = written.format();
    if (plain)
        QVERIFY2(format == QImage::Format_Mono || format == QImage::Format_MonoLSB
                || format == QImage::Format_Indexed8,
            qPrintable(QString::number(int(format))));
    else if (greys)
        QVERIFY2(format == QImage::Format_Grayscale8 || format == QImage::Format_Indexed8,
            qPrintable(QString::number(int(format))));
    else
        QVERIFY2(format == QImage::Format_Indexed8, qPrintable(QString::number(int(format))));
    if (format == QImage::Format_Indexed8)
        QVERIFY(written.colorCount() <= 256);
    QCOMPARE(written.size(), expected.size());
    const QImage a = written.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
        QVERIFY2(std::memcmp(a.constScanLine(y), expected.constScanLine(y), size_t(a.width()) * 4) == 0,
            qPrintable(QStringLiteral("row %1 differs").arg(y)));
}

void TestFormats::blackAndWhiteTiffTakesTheSmallerCoding_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("coding"); // as tiffinfo names it
    // Drawn band by band, and small enough to be drawn at once.
    QTest::newRow("coarse disc") << QStringLiteral("--shape disc --bits 8 --dpi 600")
                                 << QStringLiteral("CCITT Group 4");
    QTest::newRow("small coarse disc")
        << QStringLiteral("--shape disc --bits 6 --dpi 150 --outer-radius 10")
        << QStringLiteral("CCITT Group 4");
    QTest::newRow("code strip") << QStringLiteral("--bits 12 --dpi 1200 --width 120 --height 30")
                                << QStringLiteral("AdobeDeflate");
    QTest::newRow("marks under a pixel")
        << QStringLiteral("--shape disc --type relative --pairs 12000 --outer-radius 40 --dpi 600")
        << QStringLiteral("AdobeDeflate");
}

// A black-and-white TIFF is coded in Group 4 or Deflate, whichever is smaller: libtiff's
// copy in the other coding is no smaller, and the pixels are the render's.
void TestFormats::blackAndWhiteTiffTakesTheSmallerCoding()
{
    QFETCH(QString, options);
    QFETCH(QString, coding);
    QUVELTA_NEEDS("tiffinfo", "tiffcp");
    const QString plain = options + QStringLiteral(" --no-antialias");
    const Run run
        = shell(QStringLiteral("\"$R\" --quiet %1 -o bw.tif && tiffinfo bw.tif && "
                               "tiffcp -c %2 bw.tif other.tif")
                    .arg(plain,
                        coding.startsWith(QLatin1String("CCITT")) ? QStringLiteral("zip")
                                                                  : QStringLiteral("g4")));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.out.contains("Compression Scheme: " + coding.toLatin1()), run.out.constData());
    QVERIFY2(run.out.contains("Bits/Sample: 1"), run.out.constData());
    QVERIFY2(QFileInfo(path(QStringLiteral("bw.tif"))).size()
            <= QFileInfo(path(QStringLiteral("other.tif"))).size(),
        qPrintable(QStringLiteral("%1 against %2 bytes")
                       .arg(QFileInfo(path(QStringLiteral("bw.tif"))).size())
                       .arg(QFileInfo(path(QStringLiteral("other.tif"))).size())));
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << plain.split(QLatin1Char(' ')) << QStringLiteral("-o") << QStringLiteral("bw.tif"));
    QCOMPARE(int(parsed.status), int(ParseResult::Status::Run));
    QImageReader reader(path(QStringLiteral("bw.tif")));
    const QImage written = reader.read();
    QVERIFY2(!written.isNull(), qPrintable(reader.errorString()));
    QVERIFY(written.convertToFormat(QImage::Format_RGB32)
        == renderEncoderImage(parsed.job.settings, parsed.job.antialias));
}

void TestFormats::parallelDeflateIsOneStream_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("strategy");
    QTest::addColumn<int>("failAfter"); // pieces the sink takes before it fails; -1: never
    const int piece = 1000;
    QTest::newRow("empty") << 0 << int(Z_RLE) << -1;
    QTest::newRow("one byte") << 1 << int(Z_RLE) << -1;
    QTest::newRow("one piece short") << piece - 1 << int(Z_RLE) << -1;
    QTest::newRow("one piece") << piece << int(Z_RLE) << -1;
    QTest::newRow("one piece over") << piece + 1 << int(Z_DEFAULT_STRATEGY) << -1;
    QTest::newRow("many pieces") << 37 * piece + 501 << int(Z_DEFAULT_STRATEGY) << -1;
    QTest::newRow("many pieces, run-length") << 37 * piece + 501 << int(Z_RLE) << -1;
    QTest::newRow("sink fails at once") << 37 * piece << int(Z_RLE) << 0;
    QTest::newRow("sink fails midway") << 37 * piece << int(Z_RLE) << 5;
}

// Pieces deflated apart must still join into one zlib stream whose checksum holds.
void TestFormats::parallelDeflateIsOneStream()
{
    QFETCH(int, size);
    QFETCH(int, strategy);
    QFETCH(int, failAfter);
    // Runs with a little noise: matches both within and across the cuts between pieces.
    std::vector<unsigned char> input(static_cast<size_t>(size));
    quint32 state = 12345;
    for (size_t i = 0; i < input.size(); ++i) {
        state = state * 1103515245u + 12345u;
        input[i] = (i / 97) % 3 == 0 ? uchar(state >> 24) : uchar((i / 300) * 40);
    }
    QByteArray out;
    int calls = 0;
    bool ok = true;
    {
        ParallelDeflater deflater(
            [&](const char *data, int length) {
                if (failAfter >= 0 && calls++ > failAfter)
                    return false;
                out.append(data, length);
                return true;
            },
            6, strategy, 1000);
        for (size_t at = 0; at < input.size(); at += 333)
            ok = deflater.add(input.data() + at, int(std::min<size_t>(333, input.size() - at)))
                && ok;
        ok = deflater.finish() && ok;
    }
    QCOMPARE(ok, failAfter < 0);
    if (failAfter >= 0)
        return;
    std::vector<unsigned char> back(input.size() + 1);
    uLongf backSize = uLongf(back.size());
    QCOMPARE(uncompress(back.data(), &backSize, reinterpret_cast<const Bytef *>(out.constData()),
                 uLong(out.size())),
        Z_OK);
    back.resize(backSize);
    QVERIFY(back == input);
}

void TestFormats::runLengthDeflate_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("pieces"); // made apart and joined
    QTest::addColumn<int>("rowBytes"); // rows that repeat the row above as matches a row back
    const auto run = [](int length, char value) { return QByteArray(length, value); };
    QTest::newRow("empty") << QByteArray() << 1 << 0;
    QTest::newRow("one byte") << QByteArray("x") << 1 << 0;
    // A run of n after its first byte: matches of at most 258, never a remainder of 1 or 2.
    for (const int n : { 3, 4, 257, 258, 259, 260, 261, 262, 516, 517, 518, 100000 })
        QTest::newRow(qPrintable(QStringLiteral("run of %1").arg(n)))
            << QByteArray("a") + run(n, 'a') + "b" << 1 << 0;
    // A pattern's rows: long runs of 0 and 255, a few blended bytes at each edge.
    QByteArray rows;
    for (int y = 0; y < 300; ++y)
        for (int edge = 0; edge < 40; ++edge)
            rows += run(50 + (y * 7 + edge * 13) % 90, edge % 2 ? char(255) : char(0))
                + QByteArray(1, char(y + edge)) + QByteArray(1, char(3 * y));
    QTest::newRow("pattern rows") << rows << 1 << 0;
    QTest::newRow("pattern rows in pieces") << rows << 7 << 0;
    // No runs at all: more symbols than a block holds, so several blocks.
    QByteArray alternating;
    for (int i = 0; i < 300000; ++i)
        alternating += char(i % 2 ? 17 : 200);
    QTest::newRow("many blocks") << alternating << 1 << 0;
    // Counts growing as Fibonacci's: Huffman's code for them is over 15 bits deep.
    QByteArray skewed;
    for (int symbol = 0, a = 1, b = 1; symbol < 26; ++symbol, b = a + b, a = b - a)
        skewed += run(std::min(a, 200000), char(symbol * 9 + 1));
    QByteArray interleaved; // each byte apart from its neighbours, so no runs
    for (int i = 0, n = int(skewed.size()); i < n; ++i)
        interleaved += skewed.at(int((qint64(i) * 7919) % n));
    QTest::newRow("skewed counts") << interleaved << 1 << 0;
    QByteArray noise;
    quint32 state = 99;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        noise += char(state >> 24);
    }
    QTest::newRow("noise, stored") << noise << 2 << 0;
    // A code strip's rows: runs and noise, each row repeated a few times, now and then one
    // changed. Distances of 3 (code 2), 1000 (8 extra bits) and the window's 32,768 (13); a
    // short input in fixed codes; more rows than a block of symbols holds.
    const auto strip = [&](int rowBytes, int rows) {
        QByteArray out, row;
        for (int y = 0; y < rows; ++y) {
            if (y % 5 == 0)
                row = noise.mid(y * 7 % 1000, rowBytes / 2) + run(rowBytes - rowBytes / 2, char(y));
            out += row;
        }
        return out;
    };
    QTest::newRow("rows of 3") << strip(3, 400) << 1 << 3;
    QTest::newRow("rows of 1000") << strip(1000, 120) << 1 << 1000;
    QTest::newRow("rows of 32768") << strip(32768, 12) << 1 << 32768;
    QTest::newRow("two short rows, fixed codes") << QByteArray("0123456789").repeated(2) << 1 << 10;
    QTest::newRow("rows past a block") << strip(600, 3000) << 1 << 600;
}

// Inflated by zlib, the pieces give the input back, and they are no larger than zlib's own
// run-length deflate of the same pieces.
void TestFormats::runLengthDeflate()
{
    QFETCH(QByteArray, input);
    QFETCH(int, pieces);
    QFETCH(int, rowBytes);
    const auto *data = reinterpret_cast<const unsigned char *>(input.constData());
    const size_t size = size_t(input.size());
    std::vector<unsigned char> ours;
    std::vector<unsigned char> zlibs;
    for (int p = 0; p < pieces; ++p) {
        const size_t from = size * size_t(p) / size_t(pieces);
        const size_t to = size * size_t(p + 1) / size_t(pieces);
        const bool last = p == pieces - 1;
        RunLengthDeflate::compress(data + from, to - from, last, &ours, size_t(rowBytes));
        z_stream z {};
        QCOMPARE(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_RLE), Z_OK);
        std::vector<unsigned char> piece(deflateBound(&z, uLong(to - from)) + 16);
        z.next_in = const_cast<unsigned char *>(data + from);
        z.avail_in = uInt(to - from);
        z.next_out = piece.data();
        z.avail_out = uInt(piece.size());
        deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
        zlibs.insert(zlibs.end(), piece.data(), piece.data() + (piece.size() - z.avail_out));
        deflateEnd(&z);
    }
    z_stream z {};
    QCOMPARE(inflateInit2(&z, -15), Z_OK);
    std::vector<unsigned char> back(size + 64);
    z.next_in = ours.data();
    z.avail_in = uInt(ours.size());
    z.next_out = back.data();
    z.avail_out = uInt(back.size());
    const int result = inflate(&z, Z_FINISH);
    const size_t got = back.size() - z.avail_out;
    const uInt unread = z.avail_in;
    inflateEnd(&z);
    QCOMPARE(result, Z_STREAM_END);
    QCOMPARE(unread, 0u);
    QCOMPARE(got, size);
    QVERIFY(std::equal(back.begin(), back.begin() + std::ptrdiff_t(got), data));
    QVERIFY2(ours.size() <= zlibs.size() + zlibs.size() / 100 + 8,
        qPrintable(QStringLiteral("%1 bytes against zlib's %2").arg(ours.size()).arg(zlibs.size())));
}

QTEST_MAIN(TestFormats)
void TestFormats::smallPngsInEveryCoding_data()
{
    QTest::addColumn<QImage>("image");
    const auto indexed = [](const std::function<int(int x, int y)> &index) {
        QImage image(301, 203, QImage::Format_Indexed8);
        image.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 30),
            qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(90, 90, 10), qRgb(10, 90, 90) });
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, uint(index(x, y)));
        return image;
    };
    // Runs take run-length coding; noise repeated along each row, a row unlike the one above
    // (as marks under a pixel look), the default strategy in one stream; a smooth blend both
    // ways, the filters.
    QTest::newRow("runs") << indexed([](int x, int y) { return (x / 40 + y / 50) % 3; });
    QTest::newRow("noise repeated along the rows") << indexed([](int x, int y) {
        quint32 h = quint32(x % 29) * 2654435761u ^ quint32(y) * 40503u;
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        return int((h ^ h >> 15) % 7u);
    });
    QImage blend(301, 203, QImage::Format_RGB32);
    for (int y = 0; y < blend.height(); ++y)
        for (int x = 0; x < blend.width(); ++x)
            blend.setPixel(x, y, qRgb(x * 255 / 300, y * 255 / 202, (x + y) * 255 / 502));
    QTest::newRow("blend") << blend;
}

// Each coding a small image may take gives a PNG whose zlib stream holds together (its
// checksum too) and which reads back to the same pixels.
void TestFormats::smallPngsInEveryCoding()
{
    QFETCH(QImage, image);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QString reason;
    QVERIFY2(PngCodec::encode(image, &file, &reason), qPrintable(reason));
    const QByteArray png = file.data();
    QByteArray idat;
    for (int at = 8; at + 12 <= png.size();) {
        const int length = int(qFromBigEndian<quint32>(png.constData() + at));
        if (png.mid(at + 4, 4) == "IDAT")
            idat += png.mid(at + 8, length);
        at += 12 + length;
    }
    std::vector<unsigned char> rows(size_t(image.width() * 4 + 1) * size_t(image.height()));
    uLongf size = uLongf(rows.size());
    QCOMPARE(uncompress(rows.data(), &size, reinterpret_cast<const Bytef *>(idat.constData()),
                 uLong(idat.size())),
        Z_OK);
    QImage back;
    QVERIFY(back.loadFromData(png, "PNG"));
    QCOMPARE(
        back.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
}

#include "tst_formats.moc"
