// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "decodetable.h"
#include "mainform.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "renderer.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QImageReader>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// Runs the real quvelta-render executable and checks what it wrote.
class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rasterFormats_data();
    void rasterFormats();
    void sameImageAsTheWindow_data();
    void sameImageAsTheWindow();
    void rasterPdf();
    void svgOpensAtPhysicalSize_data();
    void svgOpensAtPhysicalSize();
    void vectorPdfHasNoImage();
    void dxfAuditAndArea_data();
    void dxfAuditAndArea();
    void svgRasterisesLikeThePreciseRaster_data();
    void svgRasterisesLikeThePreciseRaster();
    void vectorFilesAreSmall_data();
    void vectorFilesAreSmall();
    void describeAndDecodeTable();
    void badUsage_data();
    void badUsage();
    void usageErrorExitsTwo();
    void cssColours();
    void failedWrites_data();
    void failedWrites();
    void helpAndVersion();
    void edges_data();
    void edges();
    void escapedMessages_data();
    void escapedMessages();
    void interruptLeavesNoTemporary_data();
    void interruptLeavesNoTemporary();
    void memoryLimitOverEveryWriter_data();
    void memoryLimitOverEveryWriter();
    void replacing_data();
    void replacing();

private:
    static Run render(const QStringList &arguments) { return runRender(arguments); }
    static Run shell(const QString &command, const QString &folder)
    {
        return runShell(command, folder);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir dir;
};

static QByteArray readAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static QByteArray output(const QString &program, const QStringList &arguments)
{
    return runProgram(program, arguments).out;
}

void TestCli::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QFileInfo(renderProgram()).isExecutable());
}

void TestCli::rasterFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    for (const char *suffix : { "png", "jpg", "jpeg", "bmp", "tif", "tiff", "PNG" }) {
        const QByteArray lower = QByteArray(suffix).toLower();
        QTest::newRow(suffix) << QStringLiteral("out.%1").arg(QLatin1String(suffix))
                              << (lower == "jpg"          ? QByteArray("jpeg")
                                         : lower == "tif" ? QByteArray("tiff")
                                                          : lower);
    }
}

void TestCli::rasterFormats()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    const Run run = render(
        { QStringLiteral("--dpi"), QStringLiteral("300"), QStringLiteral("-o"), path(name) });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.isEmpty() && run.err.isEmpty(), run.err.constData()); // success is silent
    QImageReader reader(path(name));
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(1182, 237));
    QVERIFY2(qAbs(image.dotsPerMeterX() - 11811) <= 1,
        qPrintable(QString::number(image.dotsPerMeterX())));
    QFile::remove(path(name));
}

void TestCli::sameImageAsTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("disc");
    QTest::addColumn<bool>("antialias");
    QTest::newRow("default strip") << QStringList() << false << true;
    QTest::newRow("plain strip") << QStringList { QStringLiteral("--no-antialias") } << false
                                 << false;
    QTest::newRow("gray disc") << QStringList { QStringLiteral("--shape"), QStringLiteral("disc") }
                               << true << true;
    QTest::newRow("plain gray disc") << QStringList { QStringLiteral("--shape"),
        QStringLiteral("disc"), QStringLiteral("--no-antialias") }
                                     << true << false;
}

void TestCli::sameImageAsTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, disc);
    QFETCH(bool, antialias);

    const QString name = path(QStringLiteral("same.png"));
    QCOMPARE(render(arguments << QStringLiteral("-o") << name).exitCode, 0);

    // What "Image..." saves: the explicit render with the window's start values.
    MainForm form;
    if (disc)
        form.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->setChecked(true);
    form.findChild<QCheckBox *>(QStringLiteral("qualityCheck"))->setChecked(antialias);
    form.renderEncoder(false);
    QCOMPARE(QImage(name).convertToFormat(QImage::Format_RGB32), *form.currentImage());
}

void TestCli::rasterPdf()
{
    QUVELTA_NEEDS("pdfinfo", "pdfimages");
    const QString name = path(QStringLiteral("strip.pdf"));
    QCOMPARE(render({ QStringLiteral("-o"), name }).exitCode, 0);
    const QByteArray info = output(QStringLiteral("pdfinfo"), { name });
    QVERIFY2(info.contains("340.158 x 113.386 pts"), info.constData());
    const QByteArray images
        = output(QStringLiteral("pdfimages"), { QStringLiteral("-list"), name });
    QVERIFY2(images.simplified().contains("1 0 image 2364 474"), images.constData());
}

void TestCli::svgOpensAtPhysicalSize_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("size");
    // True millimetres whatever the DPI: the nominal size plus one border width.
    QTest::newRow("relative disc") << QStringList { "--shape", "disc", "--type", "relative",
        "--pairs", "360", "--outer-radius", "30" }
                                   << "60.1";
    QTest::newRow("strip at 10 dpi") << QStringList { "--dpi", "10" } << "100.1 20.1";
    QTest::newRow("strip at 1200 dpi, no border")
        << QStringList { "--dpi", "1200", "--no-border", "--width", "37" } << "37 20";
}

void TestCli::svgOpensAtPhysicalSize()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, size);
    const QString name = path(QStringLiteral("physical.svg"));
    const Run run = render(arguments << QStringLiteral("-o") << name);
    QCOMPARE(run.exitCode, 0);
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(file.readAll());
    const QRegularExpressionMatch m = QRegularExpression(
        QStringLiteral(
            R"re(width="([\d.]+)mm" height="([\d.]+)mm" viewBox="0 0 ([\d.]+) ([\d.]+)")re"))
                                          .match(svg);
    QVERIFY2(m.hasMatch(), qPrintable(svg.left(300)));
    const QStringList wh = size.split(QLatin1Char(' '));
    QCOMPARE(m.captured(1), wh.first());
    QCOMPARE(m.captured(2), wh.last());
    QCOMPARE(m.captured(3), wh.first());
    QCOMPARE(m.captured(4), wh.last());
    QVERIFY(!svg.contains(QLatin1String("<image")));
}

void TestCli::vectorPdfHasNoImage()
{
    QUVELTA_NEEDS("pdfinfo", "pdfimages", "pdftoppm");
    const QString name = path(QStringLiteral("vector.pdf"));
    const Run run = render({ QStringLiteral("--shape"), QStringLiteral("disc"),
        QStringLiteral("--vector"), QStringLiteral("-o"), name });
    QCOMPARE(run.exitCode, 0);
    const QByteArray info = output(QStringLiteral("pdfinfo"), { name });
    QVERIFY2(info.contains("170.079 x 170.079 pts"), info.constData());
    const QList<QByteArray> rows
        = output(QStringLiteral("pdfimages"), { QStringLiteral("-list"), name }).split('\n');
    QCOMPARE(rows.size(), 3); // the two header lines and the final empty line
    // The pattern lies where the raster one does: its bounding box starts 10 mm in.
    const QString prefix = path(QStringLiteral("vector"));
    output(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QStringLiteral("600"), QStringLiteral("-png"),
            QStringLiteral("-singlefile"), name, prefix });
    const QImage page(prefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    int top = page.height();
    int left = page.width();
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                top = qMin(top, y);
                left = qMin(left, x);
            }
    QVERIFY2(qAbs(top - 236) <= 1 && qAbs(left - 236) <= 1,
        qPrintable(QStringLiteral("%1,%2").arg(left).arg(top)));
}

// Settings for both the command line and the in-process geometry.
static EncoderSettings parsed(QStringList arguments)
{
    arguments.removeAll(QStringLiteral("--compact")); // the file's form, not the pattern
    return parsedSettings(arguments);
}

void TestCli::dxfAuditAndArea_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("layers");
    QTest::newRow("strip with frames")
        << QStringList { "--bits", "3", "--border", "0.3" }
        << QStringList { "TRACK_1_BIT_2_MSB", "TRACK_2_BIT_1", "TRACK_3_BIT_0_LSB", "FRAMES" };
    QTest::newRow("gray disc with circles and hole")
        << QStringList { "--shape", "disc", "--inner-radius", "6", "--no-center-mark" }
        << QStringList { "TRACK_1_BIT_0_LSB", "TRACK_4_BIT_3_MSB", "CIRCLES", "OUTLINE" };
    QTest::newRow("1024-pair disc") << QStringList { "--shape", "disc", "--type", "relative",
        "--pairs", "1024", "--outer-radius", "100", "--inner-radius", "90", "--no-border",
        "--no-center-mark" } << QStringList { "SEGMENTS", "OUTLINE" };
    QTest::newRow("14-bit strip: repeated marks") << QStringList { "--bits", "14", "--width",
        "200" } << QStringList { "TRACK_14_BIT_0_LSB", "FRAMES" };
    QTest::newRow("14-bit strip, compact: block arrays") << QStringList { "--bits", "14",
        "--width", "200", "--compact" } << QStringList { "TRACK_14_BIT_0_LSB", "FRAMES" };
    QTest::newRow("centre mark") << QStringList { "--shape", "disc", "--inner-radius", "8",
        "--no-border", "--bits", "1", "--border", "0.5" }
                                 << QStringList { "CENTRE_MARK" };
}

// An independent reader (ezdxf) audits the DXF, and its closed outlines add up to the
// foreground area of the pattern geometry.
void TestCli::dxfAuditAndArea()
{
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, layers);
    if (arguments.contains(QStringLiteral("--no-border"))
        && arguments.contains(QStringLiteral("--border")))
        arguments.removeAll(QStringLiteral("--no-border"));
    const QString name = path(QStringLiteral("pattern.dxf"));
    const Run run = render(QStringList(arguments) << QStringLiteral("-o") << name);
    QCOMPARE(run.exitCode, 0);
    QProcess check;
    check.start(
        QStringLiteral("/usr/bin/python3"), { QStringLiteral(QUVELTA_DXFCHECK_PATH), name });
    QVERIFY(check.waitForFinished(60000));
    const QString report = QString::fromUtf8(check.readAllStandardOutput());
    QVERIFY2(check.exitCode() == 0, qPrintable(report + check.readAllStandardError()));
    QVERIFY2(report.startsWith(QLatin1String("units 4\n")), qPrintable(report));
    double area = 0;
    QStringList found;
    for (const QString &line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.first() == QLatin1String("layer")) {
            found << fields[1];
            area += fields[3].toDouble();
        }
    }
    for (const QString &layer : layers)
        QVERIFY2(found.contains(layer), qPrintable(report));
    // Marks reach into the border lines in vector files (no edge drawn twice): the outlines add
    // up to those shapes, which cover the foreground area together.
    const PatternGeometry geometry = patternGeometry(parsed(arguments));
    double expected = 0;
    for (const Shapes::Layer &layer : geometry.layers(PatternGeometry::MarkEdges::InsideBorder)) {
        if (layer.kind == Shapes::Layer::Kind::Fill)
            for (const Shapes::Contour &c : layer.contours)
                expected += c.signedArea();
    }
    QVERIFY(expected >= geometry.foregroundArea() - 1e-9);
    QVERIFY2(std::fabs(area - expected) <= 0.001 * expected,
        qPrintable(
            QStringLiteral("%1 mm² in the DXF, %2 in the geometry").arg(area).arg(expected)));
}

void TestCli::svgRasterisesLikeThePreciseRaster_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("start strip") << QStringList {};
    QTest::newRow("gray disc") << QStringList { "--shape", "disc", "--inner-radius", "4", "--dpi",
        "300" };
    QTest::newRow("binary disc, msb outside") << QStringList { "--shape", "disc", "--code",
        "binary", "--bit-order", "msb-lsb", "--bits", "6", "--border", "0.4", "--dpi", "400" };
    QTest::newRow("relative disc") << QStringList { "--shape", "disc", "--type", "relative",
        "--pairs", "64", "--inner-radius", "10", "--dpi", "300" };
    QTest::newRow("quadrature disc, index, sensor marks")
        << QStringList { "--shape", "disc", "--type", "relative", "--pairs", "50", "--quadrature",
               "--index", "--sensor-marks", "--inner-radius", "8", "--dpi", "300" };
    QTest::newRow("quadrature strip") << QStringList { "--type", "relative", "--pairs", "30",
        "--quadrature", "--index", "--index-width", "200" };
    QTest::newRow("single-track disc") << QStringList { "--shape", "disc", "--code", "single-track",
        "--sensor-marks", "--outer-radius", "30", "--inner-radius", "25", "--dpi", "300" };
    QTest::newRow("12-bit strip: repeated marks")
        << QStringList { "--bits", "12", "--width", "150", "--height", "40", "--dpi", "600" };
    QTest::newRow("12-bit strip, compact: <use> copies") << QStringList { "--bits", "12",
        "--width", "150", "--height", "40", "--dpi", "600", "--compact" };
    QTest::newRow("6-bit strip, no border")
        << QStringList { "--bits", "6", "--no-border", "--width", "60", "--dpi", "300" };
}

// rsvg-convert draws the SVG at the raster's DPI; away from edges it shows what the precise
// raster shows.
void TestCli::svgRasterisesLikeThePreciseRaster()
{
    QUVELTA_NEEDS("rsvg-convert");
    QFETCH(QStringList, arguments);
    const EncoderSettings settings = parsed(arguments);
    const QString svg = path(QStringLiteral("pattern.svg"));
    const QString png = path(QStringLiteral("pattern-svg.png"));
    QCOMPARE(render(QStringList(arguments) << QStringLiteral("-o") << svg).exitCode, 0);
    const QString dpi = QString::number(settings.dpi);
    QProcess rsvg;
    rsvg.start(QStringLiteral("rsvg-convert"),
        { QStringLiteral("--dpi-x"), dpi, QStringLiteral("--dpi-y"), dpi, svg, QStringLiteral("-o"),
            png });
    QVERIFY(rsvg.waitForFinished(60000) && rsvg.exitCode() == 0);
    const QImage drawn(png);
    const QImage precise = renderPreciseImage(settings, false);
    QVERIFY(!drawn.isNull() && !precise.isNull());
    QVERIFY(drawn.width() >= precise.width() && drawn.width() <= precise.width() + 2);
    int compared = 0;
    for (int y = 1; y < precise.height() - 1; ++y) {
        for (int x = 1; x < precise.width() - 1; ++x) {
            const QRgb v = precise.pixel(x, y);
            bool edge = false;
            for (int d = 0; d < 9 && !edge; ++d)
                edge = precise.pixel(x + d % 3 - 1, y + d / 3 - 1) != v;
            if (edge)
                continue;
            ++compared;
            if ((qGray(drawn.pixel(x, y)) < 128) != (qGray(v) < 128)) // the message only then
                QFAIL(qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
        }
    }
    QVERIFY(compared > precise.width() * precise.height() / 2);
}

void TestCli::vectorFilesAreSmall_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("maxBytes");
    const QStringList strip16 = { "--bits", "16", "--width", "200", "--dpi", "1200" };
    const QStringList disc1024 = { "--shape", "disc", "--type", "relative", "--pairs", "1024",
        "--outer-radius", "100", "--dpi", "1200" };
    // The compact form: a layer's marks one SVG path, a repeated mark once, placed as copies.
    QTest::newRow("16-bit strip, svg") << (QStringList(strip16) << "--compact"
                                                                << "-o"
                                                                << "s.svg")
                                       << 1000000;
    QTest::newRow("16-bit strip, pdf") << (QStringList(strip16) << "--vector"
                                                                << "-o"
                                                                << "s.pdf")
                                       << 1000000;
    QTest::newRow("16-bit strip, dxf") << (QStringList(strip16) << "--compact"
                                                                << "-o"
                                                                << "s.dxf")
                                       << 1000000;
    QTest::newRow("1024-pair disc, svg") << (QStringList(disc1024) << "--compact"
                                                                   << "-o"
                                                                   << "d.svg")
                                         << 200000;
}

// One path per track, not a shape per step: a 16-bit strip is a few dozen elements.
void TestCli::vectorFilesAreSmall()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, maxBytes);
    const QString name = path(arguments.last());
    arguments.last() = name;
    QCOMPARE(render(arguments).exitCode, 0);
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY2(data.size() < maxBytes, qPrintable(QString::number(data.size())));
    if (name.endsWith(QLatin1String(".svg"))) {
        // Repeated marks are written once and placed in blocks of 1, 2, 4, ... copies.
        QVERIFY2(data.count('<') < 1000, qPrintable(QString::number(data.count('<'))));
        QVERIFY(!data.contains("<circle") && !data.contains("d=\"\""));
    }
}

// --describe prints the table and writes nothing without -o; the decode table in JSON and CSV
// holds every word the sensors can read.
void TestCli::describeAndDecodeTable()
{
    const QStringList arguments
        = { "--shape", "disc", "--positions", "360", "--inner-radius", "10" };
    const QStringList before = files();
    const Run described = render(QStringList(arguments) << QStringLiteral("--describe"));
    QCOMPARE(described.exitCode, 0);
    QCOMPARE(files(), before);
    const QString text = QString::fromUtf8(described.out);
    QVERIFY2(text.contains(QLatin1String("360 positions per revolution, 9 bits a reading")),
        qPrintable(text));
    QCOMPARE(text.count(QRegularExpression(
                 QStringLiteral("^track \\d"), QRegularExpression::MultilineOption)),
        9);

    const QString json = path(QStringLiteral("decode.json"));
    const QString csv = path(QStringLiteral("decode.csv"));
    QCOMPARE(render(QStringList(arguments) << "--decode-table" << json).exitCode, 0);
    QCOMPARE(render(QStringList(arguments) << "--decode-table" << csv).exitCode, 0);
    const std::vector<int> expected = DecodeTable::positionsByWord(parsed(arguments));
    QFile jsonFile(json);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(jsonFile.readAll()).object();
    QCOMPARE(root.value(QLatin1String("positions")).toInt(), 360);
    QCOMPARE(root.value(QLatin1String("tracks")).toArray().size(), 9);
    const QJsonArray table = root.value(QLatin1String("positionOfWord")).toArray();
    QCOMPARE(table.size(), 512);
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    QStringList rows;
    for (const QByteArray &line : csvFile.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            rows << QString::fromUtf8(line);
    QCOMPARE(rows.size(), 513);
    for (int word = 0; word < 512; ++word) {
        const int p = expected[size_t(word)];
        QCOMPARE(table[word].isNull() ? -1 : table[word].toInt(), p);
        QCOMPARE(rows[word + 1],
            QStringLiteral("%1,%2").arg(word).arg(
                p < 0 ? QStringLiteral("invalid") : QString::number(p)));
    }
}

void TestCli::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, QStringList arguments, const char *message) {
        QTest::newRow(name) << arguments << QString::fromUtf8(message);
    };
    row("unknown option", { "--frob", "-o", "x.png" }, "Unknown option 'frob'");
    row("no output", { "--shape", "disc" }, "-o/--output FILE is required");
    row("bits out of range", { "--bits", "17", "-o", "x.png" },
        "--bits takes a whole number from 1 to 16, not \"17\"");
    row("bits not a number", { "--bits", "four", "-o", "x.png" },
        "--bits takes a whole number from 1 to 16");
    row("dpi too low", { "--dpi", "9", "-o", "x.png" },
        "--dpi takes a whole number from 10 to 1200");
    row("width too wide", { "--width", "2001", "-o", "x.png" },
        "--width takes a length from 1 to 2000 mm");
    row("pairs out of range", { "--type", "relative", "--pairs", "65537", "-o", "x.png" },
        "--pairs takes a whole number from 1 to 65536");
    row("inner radius not below outer",
        { "--shape", "disc", "--outer-radius", "10", "--inner-radius", "10", "-o", "x.png" },
        "--inner-radius takes a length from 0 to 9.999 mm, not \"10\"");
    row("bits with relative", { "--type", "relative", "--bits", "3", "-o", "x.png" },
        "--bits is for absolute patterns");
    row("pairs with absolute", { "--pairs", "3", "-o", "x.png" },
        "--pairs is for relative patterns");
    row("code with relative", { "--type", "relative", "--code", "gray", "-o", "x.png" },
        "--code is for absolute patterns");
    row("unknown code", { "--shape", "disc", "--code", "bcd", "-o", "x.png" },
        "--code takes gray or binary or single-track or pseudo-random, not \"bcd\"");
    row("quadrature on absolute", { "--quadrature", "-o", "x.png" },
        "--quadrature is for relative patterns");
    row("index width out of range",
        { "--type", "relative", "--index", "--index-width", "45", "-o", "x.png" },
        "--index-width takes a whole number from 90 to 360, not \"45\"");
    row("index width without index",
        { "--type", "relative", "--index-width", "120", "-o", "x.png" },
        "--index-width goes with --index");
    row("odd gray disc", { "--shape", "disc", "--positions", "361", "-o", "x.png" },
        "a Gray code round a disc changes one bit per step only with an even number of "
        "positions, not 361");
    row("positions out of range", { "--positions", "1", "-o", "x.png" },
        "--positions takes a whole number from 2 to 65536");
    row("positions and bits", { "--positions", "10", "--bits", "4", "-o", "x.png" },
        "--positions and --bits exclude each other");
    row("unknown single-track count",
        { "--shape", "disc", "--code", "single-track", "--positions", "100", "-o", "x.png" },
        "no single-track code of 100 positions is known; choose 360, or an even count");
    row("single track on a strip", { "--code", "single-track", "-o", "x.png" },
        "a single-track code is read round a disc");
    row("more tracks than pixels",
        { "--shape", "disc", "--type", "relative", "--quadrature", "--index", "--outer-radius", "5",
            "--inner-radius", "1", "--dpi", "10", "-o", "x.png" },
        "3 tracks do not fit in a ring 1 px wide at 10 dpi");
    row("decode table of a relative pattern", { "--type", "relative", "--decode-table", "x.csv" },
        "--decode-table is for absolute");
    row("decode table format", { "--decode-table", "x.txt" },
        "--decode-table: a table is written as .csv, .json or .h");
    row("unknown shape", { "--shape", "ring", "-o", "x.png" },
        "--shape takes bar or disc, not \"ring\"");
    row("vector without pdf", { "--vector", "-o", "x.svg" },
        "--vector works only with a .pdf output");
    row("compact raster", { "--compact", "-o", "x.png" },
        "--compact works only with .svg and .dxf output");
    row("compact pdf", { "--compact", "--vector", "-o", "x.pdf" },
        "--compact works only with .svg and .dxf output");
    row("unknown suffix", { "-o", "x.gif" }, "--output: unknown format \"gif\"");
    row("no suffix", { "-o", "x" }, "--output: unknown format \"\"");
    row("invalid colour", { "--foreground", "#12345", "-o", "x.png" },
        "--foreground takes a colour");
    row("border too wide", { "--border", "5.5", "-o", "x.png" },
        "--border takes a width from 0.01 to 5.0 mm, not \"5.5\"");
    row("border and no border", { "--border", "1", "--no-border", "-o", "x.png" },
        "--border and --no-border");
    row("stray argument", { "-o", "x.png", "extra" }, "unexpected argument \"extra\"");
    // Colours, values and outputs
    QTest::newRow("transparent background") << QStringList { "--background", "transparent", "-o",
        "x.png" } << "--background: \"transparent\" is not opaque";
    QTest::newRow("css alpha") << QStringList { "--foreground", "#ff000080", "-o", "x.png" }
                               << "--foreground: \"#ff000080\" is not opaque";
    QTest::newRow("newline in a value") << QStringList { "--shape", "a\nb", "-o", "x.png" }
                                        << "--shape takes bar or disc, not \"a\\nb\"";
    QTest::newRow("zero pixels") << QStringList { "--width", "1", "--dpi", "10", "-o", "x.png" }
                                 << "the pattern comes out 0 x 7 pixels at 10 dpi";
    QTest::newRow("standard output without format")
        << QStringList { "-o", "-" } << "-o - writes to standard output and needs --format";
    QTest::newRow("format with a file")
        << QStringList { "--format", "png", "-o", "x.png" } << "--format goes with -o -";
    QTest::newRow("unknown format word")
        << QStringList { "--format", "gif", "-o", "-" } << "--format: unknown format \"gif\"";
    // Printing
    QTest::newRow("bias closes a gap") << QStringList {
        "--type", "relative", "--pairs", "200", "--mark-bias", "0.3", "-o", "x.png"
    } << "a mark bias of 0.3 mm closes the narrowest gap of segments (0.2500 mm without bias)";
    QTest::newRow("bias removes a mark") << QStringList {
        "--type", "relative", "--pairs", "200", "--mark-bias", "-0.25", "-o", "x.png"
    } << "a mark bias of -0.25 mm removes the narrowest mark of segments";
    QTest::newRow("bias on a disc without a hole")
        << QStringList { "--shape", "disc", "--mark-bias", "0.05", "-o", "x.png" }
        << "the marks of track 4 (bit 3, most significant) meet at the disc's centre";
    QTest::newRow("bias out of range") << QStringList { "--mark-bias", "0.6", "-o",
        "x.png" } << "--mark-bias takes a length from -0.5 to 0.5 mm, not \"0.6\"";
    QTest::newRow("aperture without check")
        << QStringList { "--aperture", "0.5", "-o", "x.png" } << "--aperture goes with --check";
}

// Read in process: the option table is a library.
void TestCli::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ParseResult result
        = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") } << arguments);
    QCOMPARE(int(result.status), int(ParseResult::Status::UsageError));
    QVERIFY2(result.text.startsWith(message), qPrintable(result.text));
    QVERIFY(!result.text.contains(QLatin1Char('\n')));
}

// An opaque CSS colour is read as CSS writes it: #ff0000ff is red, not Qt's #AARRGGBB.
void TestCli::cssColours()
{
    const ParseResult red
        = parseRenderArguments({ QStringLiteral("quvelta-render"), QStringLiteral("--foreground"),
            QStringLiteral("#ff0000ff"), QStringLiteral("-o"), QStringLiteral("x.png") });
    QCOMPARE(int(red.status), int(ParseResult::Status::Run));
    QCOMPARE(red.job.settings.foreground, QColor(Qt::red));
}

// As a process: one line on stderr, nothing on stdout, status 2, no file.
void TestCli::usageErrorExitsTwo()
{
    const QStringList before = files();
    const Run run = render({ QStringLiteral("--bits"), QStringLiteral("17"), QStringLiteral("-o"),
        path(QStringLiteral("x.png")) });
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(QString::fromLocal8Bit(run.err),
        QStringLiteral("quvelta-render: --bits takes a whole number from 1 to 16, not \"17\"\n"));
    QCOMPARE(files(), before);
}

void TestCli::failedWrites_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << QStringList() << "missing/x.png"
                                    << "Can't write %1: no such file or directory";
    QTest::newRow("missing folder, pdf") << QStringList() << "missing/x.pdf"
                                         << "Can't write %1: no such file or directory";
    QTest::newRow("missing folder, svg") << QStringList() << "missing/x.svg"
                                         << "Can't write %1: ";
    QTest::newRow("folder in the way") << QStringList() << "folder.png"
                                       << "Can't write %1: ";
    QTest::newRow("0 pixels keeps the old file") << QStringList { QStringLiteral("--height"),
        QStringLiteral("1"), QStringLiteral("--dpi"), QStringLiteral("10"),
        QStringLiteral("--no-border") } << "keep.png"
                                                 << "the pattern comes out 39 x 0 pixels at 10 dpi";
}

void TestCli::failedWrites()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QString, message);

    QDir(dir.path()).mkpath(QStringLiteral("folder.png"));
    const QString target = path(name);
    if (name.startsWith(QLatin1String("keep"))) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    const QStringList before = files();
    const Run run = render(arguments << QStringLiteral("-o") << target);
    // A pattern without pixels is bad usage; the rest are failed writes.
    QCOMPARE(run.exitCode, message.startsWith(QLatin1String("the pattern comes out")) ? 2 : 1);
    const QString err = QString::fromLocal8Bit(run.err);
    const QString expected = QStringLiteral("quvelta-render: ")
        + (message.contains(QLatin1String("%1")) ? message.arg(target) : message);
    QVERIFY2(err.startsWith(expected), qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QCOMPARE(files(), before);
    if (name.startsWith(QLatin1String("keep"))) {
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("precious"));
    }
}

void TestCli::helpAndVersion()
{
    const Run help = render({ QStringLiteral("--help") });
    QCOMPARE(help.exitCode, 0);
    for (const char *text :
        { "Usage:", "--outer-radius <MM>", "--bit-order <ORDER>", "Exit status", "Examples:" })
        QVERIFY2(help.out.contains(text), text);
    const Run version = render({ QStringLiteral("-v") });
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.out.startsWith("quvelta-render "));
}

// Each case in a folder of its own: status, standard output, the one message line, the files left.
void TestCli::edges_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("message"); // the start of the one line, or empty for silence
    QTest::addColumn<QStringList>("left");
    const QString longName = QString(251, QLatin1Char('a')) + QStringLiteral(".png");

    // Standard output holds one thing.
    QTest::newRow("describe with -o -")
        << "\"$R\" --describe -o - --format svg" << 2 << QByteArray()
        << "--describe prints on standard output, which -o - fills" << QStringList();
    QTest::newRow("check with -o -")
        << "\"$R\" --check -o - --format png" << 2 << QByteArray()
        << "--check prints on standard output, which -o - fills" << QStringList();
    // An empty name is not a file.
    QTest::newRow("-o ''") << "\"$R\" -o ''" << 2 << QByteArray() << "-o/--output needs a file name"
                           << QStringList();
    QTest::newRow("--output=") << "\"$R\" --output= --describe" << 2 << QByteArray()
                               << "-o/--output needs a file name" << QStringList();
    // Text output checks its writes.
    for (const char *option : { "--describe", "--check", "--help", "--version" })
        QTest::newRow(qPrintable(QStringLiteral("%1 into /dev/full").arg(QLatin1String(option))))
            << QStringLiteral("\"$R\" %1 > /dev/full").arg(QLatin1String(option)) << 1
            << QByteArray() << "Can't write standard output: no space left on device"
            << QStringList();
    QTest::newRow("describe into /dev/full writes no image")
        << "\"$R\" --describe -o x.png > /dev/full" << 1 << QByteArray()
        << "Can't write standard output: no space left on device" << QStringList();
    QTest::newRow("closed standard output")
        << "\"$R\" -o - --format png >&-" << 1 << QByteArray()
        << "Can't write standard output: bad file descriptor" << QStringList();
    // Every output of a run, or none.
    QTest::newRow("no table without the image")
        << "\"$R\" --decode-table t.csv -o missing/x.png" << 1 << QByteArray()
        << "Can't write missing/x.png: no such file or directory" << QStringList();
    QTest::newRow("table with the image")
        << "\"$R\" --decode-table t.csv -o x.png" << 0 << QByteArray() << QString()
        << QStringList { "t.csv", "x.png" };
    // A warning before a failure does not make it two lines.
    QTest::newRow("thin marks and a failure")
        << "\"$R\" --shape disc --bits 16 --outer-radius 5 --dpi 100 -o missing/x.png" << 1
        << QByteArray() << "Can't write missing/x.png: no such file or directory" << QStringList();
    // Names and links.
    QTest::newRow("dangling link stays a link")
        << "ln -s made.png link.png && \"$R\" -o link.png && test -L link.png" << 0 << QByteArray()
        << QString() << QStringList { "link.png", "made.png" };
    QTest::newRow("link to a link")
        << "ln -s made.svg a.svg && ln -s a.svg b.svg && \"$R\" -o "
           "b.svg && test -L a.svg && test -L b.svg"
        << 0 << QByteArray() << QString() << QStringList { "a.svg", "b.svg", "made.svg" };
    QTest::newRow("loop of links")
        << "ln -s b.png a.png && ln -s a.png b.png && \"$R\" -o a.png" << 1 << QByteArray()
        << "Can't write a.png: too many levels" << QStringList { "a.png", "b.png" };
    QTest::newRow("name of 255 bytes") << QStringLiteral("\"$R\" -o %1").arg(longName) << 0
                                       << QByteArray() << QString() << QStringList { longName };
}

void TestCli::edges()
{
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QString, message);
    QFETCH(QStringList, left);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const Run run = shell(command, folder.path());
    QCOMPARE(run.exitCode, status);
    if (!out.isNull())
        QCOMPARE(run.out, out);
    if (message.isEmpty()) {
        QCOMPARE(run.err, QByteArray());
    } else {
        QVERIFY2(run.err.startsWith("quvelta-render: " + message.toUtf8()), run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
    }
    std::sort(left.begin(), left.end());
    QCOMPARE(QDir(folder.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                     QDir::Name),
        left);
}

void TestCli::escapedMessages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << "Can't write x.png: gone"
                           << "Can't write x.png: gone";
    QTest::newRow("escape sequence") << "a\x1b[31mb"
                                     << "a\\e[31mb";
    QTest::newRow("newline and return") << "a\nb\rc\td"
                                        << "a\\nb\\rc\\td";
    QTest::newRow("bell and delete") << "a\x07z\x7f"
                                     << "a\\x07z\\x7f";
    QTest::newRow("C1 control") << QStringLiteral("a") + QChar(0x9b) + QStringLiteral("b")
                                << "a\\x9bb";
    QTest::newRow("lone byte read as C1") << QStringLiteral("a") + QChar(0xdc9b) << "a\\x9b";
    QTest::newRow("lone byte kept")
        << QStringLiteral("a") + QChar(0xdcff) << QStringLiteral("a") + QChar(0xdcff);
    QTest::newRow("letters beyond ASCII") << "Größe 10 µm"
                                          << "Größe 10 µm";
}

void TestCli::escapedMessages()
{
    QFETCH(QString, text);
    QFETCH(QString, line);
    QCOMPARE(escapeControls(text), line);
}

void TestCli::interruptLeavesNoTemporary_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGINT, png") << int(SIGINT) << "big.png";
    QTest::newRow("SIGTERM, png") << int(SIGTERM) << "big.png";
#ifdef Q_OS_UNIX
    QTest::newRow("SIGHUP, tiff") << int(SIGHUP) << "big.tif";
#endif
    QTest::newRow("SIGTERM, pdf") << int(SIGTERM) << "big.pdf";
}

// Killed while the temporary file is there: the program dies of the signal and takes the
// temporary file with it; the old file is untouched.
void TestCli::interruptLeavesNoTemporary()
{
#ifndef Q_OS_UNIX
    QSKIP("signals and fork are a Unix matter");
#else
    QFETCH(int, signal);
    QFETCH(QString, name);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString target = folder.filePath(name);
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    const QByteArray program = QFile::encodeName(renderProgram());
    const QByteArray file = QFile::encodeName(target);
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        for (const int s : { SIGINT, SIGTERM, SIGHUP })
            ::signal(s, SIG_DFL);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(program.constData(), program.constData(), "--shape", "disc", "--outer-radius",
            "100", "--dpi", "1200", "--bits", "16", "--quiet", "-o", file.constData(),
            static_cast<char *>(nullptr));
        ::_exit(127);
    }
    const auto temporaries = [&] {
        return QDir(folder.path())
            .entryList({ QStringLiteral(".qv.*") }, QDir::Files | QDir::Hidden | QDir::System);
    };
    // Bounded: the image takes seconds to write, the temporary file shows long before.
    bool seen = false;
    for (int i = 0; i < 12000 && !seen; ++i) {
        seen = !temporaries().isEmpty();
        if (!seen)
            QThread::msleep(5);
    }
    if (seen)
        ::kill(pid, signal);
    else
        ::kill(pid, SIGKILL);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY2(seen, "no temporary file appeared");
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(WEXITSTATUS(status))));
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(temporaries(), QStringList());
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("precious"));
#endif
}

void TestCli::memoryLimitOverEveryWriter_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString disc = QStringLiteral("--shape disc --outer-radius 100 --bits 16 --border 5");
    const QString written = QStringLiteral("not enough memory to write %1");
    QTest::newRow("svg") << disc << "x.svg" << written;
    QTest::newRow("dxf") << disc << "x.dxf" << written;
    QTest::newRow("vector pdf") << disc + QStringLiteral(" --vector") << "x.pdf" << written;
    QTest::newRow("decode table, json")
        << QStringLiteral("--bits 16 --decode-table") << "t.json" << written;
    QTest::newRow("decode table, header")
        << QStringLiteral("--bits 16 --decode-table") << "t.h" << written;
    QTest::newRow("raster png") << disc + QStringLiteral(" --dpi 1200 --quiet -o") << "x.png"
                                << "not enough memory to render 9684 x 9684";
    QTest::newRow("raster pdf") << disc + QStringLiteral(" --dpi 1200 --quiet -o") << "x.pdf"
                                << "not enough memory to render 9684 x 9684";
    // Coded in pieces on every core, libjpeg's own memory among them.
    QTest::newRow("jpeg") << disc + QStringLiteral(" --dpi 1200 --quiet -o") << "x.jpg"
                          << "not enough memory to render 9684 x 9684";
}

// From the least memory the program starts in, upwards until the file is written: every run
// either writes the file or says it had not enough memory in one line, leaving nothing; never
// an abort.
void TestCli::memoryLimitOverEveryWriter()
{
#ifdef QUVELTA_SANITIZED
    QSKIP("the sanitizers reserve more address space than the limits allow");
#endif
#ifndef Q_OS_UNIX
    QSKIP("ulimit is a Unix shell's");
#endif
    if (emulatedRender())
        QSKIP("an address-space limit would measure the emulator, not the program");
    QFETCH(QString, options);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QStringList nothing;
    const auto left = [&] {
        return QDir(folder.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    };
    const QString option
        = options.endsWith(QLatin1String("-o")) || options.endsWith(QLatin1String("decode-table"))
        ? QString()
        : QStringLiteral(" -o");
    // The least memory the program starts in cleanly, to a quarter of a megabyte.
    // Near that limit the libraries' own start (fontconfig) fails in ways that are not ours to
    // test: it counts only when they have nothing to say.
    const auto starts = [&](int kb) {
        const Run run
            = shell(QStringLiteral("ulimit -v %1; \"$R\" --version").arg(kb), folder.path());
        return run.exitCode == 0 && run.err.isEmpty();
    };
    int start = 32 << 10;
    while (start <= 512 << 10 && !starts(start))
        start += 4 << 10;
    QVERIFY2(start <= 512 << 10, "the program does not start under 512 MB");
    for (int kb = start - (4 << 10); kb < start; kb += 1 << 8) {
        if (starts(kb)) {
            start = kb;
            break;
        }
    }
    start += 1 << 8;
    int shortOfMemory = 0;
    bool done = false;
    // Fine steps near the start, where the narrow windows are, then growing ones.
    for (int kb = start; kb <= 1 << 20 && !done; kb += std::max(1 << 8, (kb - start) / 8)) {
        const Run run = shell(
            QStringLiteral("ulimit -v %1; \"$R\" %2%3 %4").arg(kb).arg(options, option, name),
            folder.path());
        if (run.exitCode == 0) {
            QCOMPARE(left(), QStringList { name });
            QVERIFY(QFileInfo(folder.filePath(name)).size() > 1000);
            done = true;
            continue;
        }
        // Qt's platform plugin may still fail to load just above the start: before any of ours.
        // The libraries' start is not monotonic in the limit either (Qt's own static data may
        // not fit at a limit a little above one where it did), and Qt's command-line parser
        // cannot run short itself (its insides are noexcept, so running out there terminates):
        // where the program does not even start cleanly, or within 2 MB of the start, that is
        // theirs, before any writer of ours.
        const bool theirs = run.err.contains("no Qt platform plugin could be initialized")
            || (run.exitCode != 1
                && (!starts(kb)
                    || (kb < start + (2 << 10)
                        && run.err.contains("terminate called after throwing an instance of "
                                            "'std::bad_alloc'"))));
        if (theirs) {
            QCOMPARE(left(), nothing);
            continue;
        }
        QVERIFY2(run.exitCode == 1,
            qPrintable(QStringLiteral("%1 kB: status %2, %3")
                           .arg(kb)
                           .arg(run.exitCode)
                           .arg(QString::fromLocal8Bit(run.err))));
        // One line of ours (libraries short of memory may add their own); out of memory
        // before the writer began is said the same way.
        QStringList ours;
        for (const QString &line : QString::fromLocal8Bit(run.err).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("quvelta-render: ")))
                ours << line;
        const QString expected = QStringLiteral("quvelta-render: ")
            + (message.contains(QLatin1String("%1")) ? message.arg(name) : message);
        QVERIFY2(ours.size() == 1
                && (ours.first() == expected
                    || ours.first() == QLatin1String("quvelta-render: not enough memory to run")),
            qPrintable(QStringLiteral("%1 kB: %2").arg(kb).arg(QString::fromLocal8Bit(run.err))));
        QCOMPARE(left(), nothing);
        ++shortOfMemory;
    }
    QVERIFY(done);
    QVERIFY2(shortOfMemory > 0, "no limit ran the writer out of memory");
}

void TestCli::replacing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folderRefuses");
    QTest::newRow("owner kept, png") << "x.png" << false;
    QTest::newRow("owner kept, svg") << "x.svg" << false;
    QTest::newRow("in place, png") << "x.png" << true;
    QTest::newRow("in place, tiff") << "x.tif" << true;
}

// Replacing another user's file keeps its owner and group (as root, who may set them); a file we
// may write in a folder that takes no new files is written in place, with one warning. Run as
// an unprivileged user where root would be let through.
void TestCli::replacing()
{
#ifndef Q_OS_UNIX
    QSKIP("owners and folder permissions are a Unix matter");
#else
    QFETCH(QString, name);
    QFETCH(bool, folderRefuses);
    const bool root = ::geteuid() == 0;
    if (!folderRefuses && !root)
        QSKIP("only root may give a file to another user");
    constexpr uid_t nobody = 65534;
    QTemporaryDir top;
    QVERIFY(top.isValid());
    QVERIFY(QFile::setPermissions(top.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
            | QFile::ReadGroup | QFile::ExeGroup));
    const QString folder = top.filePath(QStringLiteral("f"));
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + QLatin1Char('/') + name;
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    const QByteArray file = QFile::encodeName(target);
    if (root)
        QCOMPARE(::chown(file.constData(), nobody, nobody), 0);
    if (folderRefuses)
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

    int pipeEnds[2];
    QCOMPARE(::pipe(pipeEnds), 0);
    const QByteArray program = QFile::encodeName(renderProgram());
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        if (folderRefuses && root
            && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
            ::_exit(126);
        ::dup2(pipeEnds[1], 2);
        ::close(pipeEnds[0]);
        ::execl(program.constData(), program.constData(), "--dpi", "100", "-o", file.constData(),
            static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    QByteArray err;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, err.constData());
    QCOMPARE(err,
        folderRefuses ? "quvelta-render: warning: the folder of " + file
                + " takes no temporary file; the file was written in place\n"
                      : QByteArray());
    struct stat info;
    QCOMPARE(::stat(file.constData(), &info), 0);
    if (root) {
        QCOMPARE(info.st_uid, nobody);
        QCOMPARE(info.st_gid, gid_t(nobody));
    }
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList { name });
    if (name.endsWith(QLatin1String(".svg")))
        QVERIFY(readAll(target).startsWith("<?xml"));
    else
        // 100 x 20 mm at 100 dpi, a pixel more each way than truncated: the thin border stays.
        QCOMPARE(QImageReader(target).size(), QSize(394, 79));
#endif
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
