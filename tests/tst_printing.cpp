// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QtTest>

#include <cmath>

// Printing it right: the calibration rulers measured on rendered pages, the mark bias in the SVG
// and the raster, the printability check. Runs the real quvelta-render.
class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void rulerTicksAreMillimetres_data();
    void rulerTicksAreMillimetres();
    void legendIsText_data();
    void legendIsText();
    void markBias();
    void checkNamesVanishingTracks();

private:
    static Run run(const QString &program, const QStringList &arguments)
    {
        return runProgram(program, arguments);
    }
    static Run render(const QStringList &arguments) { return runRender(arguments); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

// Centres of the dark runs along a row (or a column) of the image, in pixels.
static QList<double> darkRuns(const QImage &image, int fixed, bool alongRow, int from, int to)
{
    QList<double> centres;
    int start = -1;
    from = std::max(from, 0);
    to = std::min(to, alongRow ? image.width() : image.height());
    for (int i = from; i <= to; ++i) {
        const bool dark
            = i < to && qGray(alongRow ? image.pixel(i, fixed) : image.pixel(fixed, i)) < 128;
        if (dark && start < 0)
            start = i;
        if (!dark && start >= 0) {
            centres.append((start + i - 1) / 2.0);
            start = -1;
        }
    }
    return centres;
}

void TestPrinting::rulerTicksAreMillimetres_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reader"); // how the page becomes pixels
    QTest::newRow("png, strip") << QStringList { "--dpi", "1200", "--no-antialias" } << "png";
    QTest::newRow("png, small disc")
        << QStringList { "--shape", "disc", "--outer-radius", "12", "--dpi", "600" } << "png";
    QTest::newRow("raster pdf") << QStringList { "--dpi", "1200" } << "pdf";
    QTest::newRow("vector pdf") << QStringList { "--dpi", "300", "--vector" } << "pdf";
}

// Found on the rendered page, the ticks of both rulers are 1 mm apart to within a pixel over
// their whole length.
void TestPrinting::rulerTicksAreMillimetres()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reader);
    const QString file = path(QStringLiteral("ruler.") + reader);
    QCOMPARE(render(QStringList(arguments) << "--calibration"
                                           << "-o" << file)
                 .exitCode,
        0);
    QImage page;
    double k = 0;
    QPointF origin; // where the geometry's (0, 0) lands, in pixels
    EncoderSettings settings = parsedSettings(arguments);
    settings.calibration = true;
    const PatternGeometry g = patternGeometry(settings);
    if (reader == QLatin1String("png")) {
        page.load(file);
        k = precisePixelsPerMm(settings.dpi);
    } else {
        QUVELTA_NEEDS("pdftoppm");
        // poppler draws the page at 1200 dpi, the pattern's page 10 mm in.
        QCOMPARE(
            run(QStringLiteral("pdftoppm"),
                { "-r", "1200", "-png", "-singlefile", file, path(QStringLiteral("ruler-page")) })
                .exitCode,
            0);
        page.load(path(QStringLiteral("ruler-page.png")));
        k = 1200 / 25.4;
        origin = QPointF(10 * k, 10 * k);
    }
    QVERIFY(!page.isNull());
    const Calibration &c = *g.calibration;

    // Across the horizontal ruler's ticks a millimetre below its baseline, and down the vertical
    // one's a millimetre right of it.
    const int row = int(origin.y() + (c.horizontalBaseline + 1.0) * k);
    const QList<double> across
        = darkRuns(page, row, true, int(origin.x() + (g.nominal.left() - 0.5) * k),
            int(origin.x() + (g.nominal.left() + c.horizontalLength + 0.5) * k));
    QCOMPARE(across.size(), c.horizontalLength + 1);
    const int column = int(origin.x() + (c.verticalBaseline + 1.0) * k);
    const QList<double> down
        = darkRuns(page, column, false, int(origin.y() + (g.nominal.top() - 0.5) * k),
            int(origin.y() + (g.nominal.top() + c.verticalLength + 0.5) * k));
    QCOMPARE(down.size(), c.verticalLength + 1);
    // Against a millimetre scale laid through all of them, so that no single tick's
    // measurement (a run of whole pixels) sets the origin.
    for (const QList<double> &ticks : { across, down }) {
        double offset = 0;
        for (int i = 0; i < ticks.size(); ++i)
            offset += (ticks[i] - i * k) / ticks.size();
        for (int i = 0; i < ticks.size(); ++i)
            QVERIFY2(std::fabs(ticks[i] - offset - i * k) <= 1.0,
                qPrintable(QStringLiteral("tick %1 at %2 px, %3 px expected")
                               .arg(i)
                               .arg(ticks[i] - offset)
                               .arg(i * k)));
    }
}

void TestPrinting::legendIsText_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("raster pdf") << QStringList { "-o", "legend.pdf" };
    QTest::newRow("vector pdf") << QStringList { "--vector", "-o", "legend.pdf" };
    QTest::newRow("disc, vector pdf")
        << QStringList { "--shape", "disc", "--vector", "-o", "legend.pdf" };
}

void TestPrinting::legendIsText()
{
    QUVELTA_NEEDS("pdftotext");
    QFETCH(QStringList, arguments);
    arguments.last() = path(arguments.last());
    QCOMPARE(render(QStringList(arguments) << "--calibration").exitCode, 0);
    const QString text
        = QString::fromUtf8(run(QStringLiteral("pdftotext"), { arguments.last(), "-" }).out)
              .simplified();
    QVERIFY2(text.contains(QLatin1String("Print at 100 % (actual size)")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("The rulers must measure")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("600 dpi")), qPrintable(text));
}

// With a bias of 0.1 mm every mark of a relative strip is 0.1 mm wider and every gap 0.1 mm
// narrower: exactly in the SVG's coordinates, to within a pixel in the precise raster.
void TestPrinting::markBias()
{
    const QStringList arguments = { "--type", "relative", "--pairs", "7", "--width", "100",
        "--no-border", "--mark-bias", "0.1" };
    const QString svg = path(QStringLiteral("bias.svg"));
    QCOMPARE(render(QStringList(arguments) << "-o" << svg).exitCode, 0);
    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // Each mark is "M left top L left bottom L right bottom L right top Z".
    const QRegularExpression mark(QStringLiteral(R"(M([\d.]+) [\d.]+L[\d.]+ [\d.]+L([\d.]+) )"));
    QList<QPair<double, double>> marks;
    for (auto it = mark.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        marks.append({ m.captured(1).toDouble(), m.captured(2).toDouble() });
    }
    QCOMPARE(marks.size(), 7);
    const double segment = 100.0 / 14;
    for (int i = 0; i < marks.size(); ++i) {
        const double width = marks[i].second - marks[i].first;
        const double expected
            = i == marks.size() - 1 ? segment + 0.05 : segment + 0.1; // cut by the end
        QVERIFY2(std::fabs(width - expected) < 1e-6, qPrintable(QString::number(width, 'f', 6)));
        if (i > 0)
            QVERIFY(std::fabs(marks[i].first - marks[i - 1].second - (segment - 0.1)) < 1e-6);
    }

    const QString png = path(QStringLiteral("bias.png"));
    QCOMPARE(render(QStringList(arguments) << "--dpi"
                                           << "600"
                                           << "--no-antialias"
                                           << "-o" << png)
                 .exitCode,
        0);
    const QImage image(png);
    const double k = precisePixelsPerMm(600);
    const QList<double> centres = darkRuns(image, image.height() / 2, true, 0, image.width());
    QCOMPARE(centres.size(), 7);
    int start = -1;
    QList<int> widths;
    for (int x = 0; x <= image.width(); ++x) {
        const bool dark = x < image.width() && qGray(image.pixel(x, image.height() / 2)) < 128;
        if (dark && start < 0)
            start = x;
        if (!dark && start >= 0) {
            widths.append(x - start);
            start = -1;
        }
    }
    for (int i = 0; i + 1 < widths.size(); ++i)
        QVERIFY2(std::fabs(widths[i] - (segment + 0.1) * k) <= 1.0,
            qPrintable(QString::number(widths[i])));
}

// The 16-bit, 5 mm disc at 100 dpi: the fine tracks vanish, the coarse ones do not; an export
// warns once and still writes, --quiet silences it.
void TestPrinting::checkNamesVanishingTracks()
{
    const QStringList disc
        = { "--shape", "disc", "--bits", "16", "--outer-radius", "5", "--dpi", "100" };
    const Run check = render(QStringList(disc) << "--check");
    QCOMPARE(check.exitCode, 0);
    QStringList vanishing;
    for (const QByteArray &line : check.out.split('\n'))
        if (line.contains("vanishes"))
            vanishing << QString::fromUtf8(line.left(line.indexOf("  ")));
    QVERIFY2(vanishing.contains(QLatin1String("track 1 (bit 0, least significant)")),
        check.out.constData());
    // A track vanishes where a segment at its centre line is under one dot.
    const PatternGeometry g = patternGeometry(parsedSettings(disc));
    for (const PatternGeometry::Track &t : g.tracks) {
        const double dots = 2 * M_PI * (t.from + t.to) / 2 / t.segments * 100 / 25.4;
        QCOMPARE(vanishing.contains(t.name), dots < 1.0);
    }
    const QString png = path(QStringLiteral("tiny.png"));
    const Run warned = render(QStringList(disc) << "-o" << png);
    QCOMPARE(warned.exitCode, 0);
    QVERIFY(QFileInfo::exists(png));
    QCOMPARE(warned.err.count('\n'), 1);
    QVERIFY(warned.err.contains("warning: marks or gaps narrower than a pixel at 100 dpi"));
    QVERIFY(render(QStringList(disc) << "--quiet"
                                     << "-o" << png)
                .err.isEmpty());
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
