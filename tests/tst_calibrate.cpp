// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
// The calibration target and its measurement: synthetic prints and scans of the target with known
// printer scales, rotations, ink spread, blur, noise and JPEG, measured back; a pattern drawn
// with the measured profile and printed by the same printer comes out true.

#include "calibration.h"
#include "outsidetools.h"
#include "pdfwriter.h"
#include "printerprofile.h"
#include "printtarget.h"
#include "scanmeasure.h"
#include "testsupport.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <random>

namespace {

// What a printer and a scanner do to a page: printer scale and ink spread, how the sheet lies on
// the scanner (tilt, a quarter turn, a camera's perspective), the scanner's own scale and what it
// adds (blur, noise, JPEG).
struct Printer
{
    double sx = 1, sy = 1; // printed length over drawn length
    double spreadMm = 0; // a mark prints this much wider
    double degrees = 0; // tilt on the scanner
    bool turned = false; // a quarter turn on the scanner
    QPointF perspective; // per mm, about the middle
    double scannerX = 1, scannerY = 1; // the scanner reads lengths this much longer
    double blurPx = 0; // Gaussian sigma
    double noise = 0; // grey levels, standard deviation
    int jpeg = 0; // quality, 0: none

    Printer() = default;
    Printer(double sx, double sy, double spreadMm = 0, double degrees = 0)
        : sx(sx), sy(sy), spreadMm(spreadMm), degrees(degrees)
    { }
    Printer turnedQuarter() const
    {
        Printer p = *this;
        p.turned = true;
        return p;
    }
    Printer scanned(double blur, double noiseLevel = 0, int quality = 0) const
    {
        Printer p = *this;
        p.blurPx = blur;
        p.noise = noiseLevel;
        p.jpeg = quality;
        return p;
    }
    Printer photographed(QPointF keystone) const
    {
        Printer p = *this;
        p.perspective = keystone;
        return p;
    }
};

}

Q_DECLARE_METATYPE(Printer)

namespace {

// Page millimetres to scan pixels; the canvas that holds the printed page with a rim.
QTransform printing(const Printer &p, QSizeF pageMm, int dpi, QSize *canvas)
{
    QTransform t = QTransform::fromScale(p.sx, p.sy)
        * QTransform::fromTranslate(-pageMm.width() * p.sx / 2, -pageMm.height() * p.sy / 2)
        * QTransform().rotate(p.degrees + (p.turned ? 90 : 0));
    const QRectF box = t.mapRect(QRectF(QPointF(0, 0), pageMm)).adjusted(-6, -6, 6, 6);
    t = t * QTransform::fromTranslate(-box.left(), -box.top());
    if (!p.perspective.isNull()) {
        const QPointF c = box.center() - box.topLeft();
        t = t * QTransform::fromTranslate(-c.x(), -c.y())
            * QTransform(1, 0, p.perspective.x(), 0, 1, p.perspective.y(), 0, 0, 1)
            * QTransform::fromTranslate(c.x(), c.y());
    }
    const double k = dpi / 25.4;
    *canvas = QSize(int(std::ceil(box.width() * k * p.scannerX)),
        int(std::ceil(box.height() * k * p.scannerY)));
    return t * QTransform::fromScale(k * p.scannerX, k * p.scannerY);
}

void blur(QImage &image, double sigma)
{
    if (sigma <= 0)
        return;
    const int r = int(std::ceil(3 * sigma));
    std::vector<double> kernel;
    double sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += kernel.emplace_back(std::exp(-i * i / (2 * sigma * sigma)));
    for (double &k : kernel)
        k /= sum;
    const int w = image.width(), h = image.height();
    std::vector<double> a(size_t(w) * size_t(h)), b(a.size());
    for (int y = 0; y < h; ++y) {
        const uchar *line = image.constScanLine(y);
        for (int x = 0; x < w; ++x)
            a[size_t(y) * w + x] = line[x];
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int i = -r; i <= r; ++i) {
                    const int xx = pass ? x : std::clamp(x + i, 0, w - 1);
                    const int yy = pass ? std::clamp(y + i, 0, h - 1) : y;
                    s += kernel[size_t(i + r)] * a[size_t(yy) * w + xx];
                }
                b[size_t(y) * w + x] = s;
            }
        std::swap(a, b);
    }
    for (int y = 0; y < h; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < w; ++x)
            line[x] = uchar(std::clamp(std::lround(a[size_t(y) * w + x]), 0L, 255L));
    }
}

// A print of what `draw` puts on a page (in page millimetres), scanned at `dpi`.
QImage printAndScan(const Printer &p, QSizeF pageMm, int dpi,
    const std::function<void(QPainter &, const Printer &)> &draw)
{
    QSize canvas;
    const QTransform t = printing(p, pageMm, dpi, &canvas);
    // Painted in RGB, Qt's own format, which it paints fastest.
    QImage colour(canvas, QImage::Format_RGB32);
    colour.fill(Qt::white);
    {
        QPainter painter(&colour);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(t);
        draw(painter, p);
    }
    QImage image = colour.convertToFormat(QImage::Format_Grayscale8);
    colour = QImage();
    blur(image, p.blurPx);
    if (p.noise > 0) {
        std::mt19937 random(12345);
        std::normal_distribution<double> normal(0, p.noise);
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x)
                line[x] = uchar(std::clamp(std::lround(line[x] + normal(random)), 0L, 255L));
        }
    }
    if (p.jpeg > 0) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", p.jpeg);
        image = QImage::fromData(buffer.data(), "JPG").convertToFormat(QImage::Format_Grayscale8);
    }
    // The scanner states its nominal resolution, whatever its own error.
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image;
}

// The target, printed: its ink, grown by the spread on every edge (but the text's, which is
// slow to grow and not measured).
void drawTarget(QPainter &painter, const Printer &p, const PrintTarget::Layout &target)
{
    painter.fillPath(target.ink, Qt::black);
    if (p.spreadMm > 0)
        painter.strokePath(target.shapes,
            QPen(Qt::black, p.spreadMm / p.sx, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
}

// The target's ink with every edge moved in: a printer that loses ink.
QPainterPath thinned(const PrintTarget::Layout &target, double mm)
{
    QPainterPathStroker stroker;
    stroker.setWidth(mm);
    stroker.setJoinStyle(Qt::MiterJoin);
    return (target.shapes - stroker.createStroke(target.shapes)) + target.lettering;
}

QImage scanTarget(const Printer &p, const PrintTarget::Layout &target, int dpi)
{
    return printAndScan(p, target.page.sizeMm, dpi, [&](QPainter &painter, const Printer &q) {
        if (q.spreadMm < 0)
            painter.fillPath(thinned(target, -q.spreadMm / q.sx), Qt::black);
        else
            drawTarget(painter, q, target);
    });
}

PrintTarget::Page testPage()
{
    return *PrintTarget::pageOfWord(QStringLiteral("150x200"));
}

// Ink of a scan pixel, 0 to 1.
double ink(const QImage &image, int x, int y)
{
    return 1 - image.constScanLine(y)[x] / 255.0;
}

// The first and last rows with ink.
std::pair<int, int> inkRows(const QImage &image)
{
    int top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image, x, y) > 0.5) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return { top, bottom };
}

// A printed strip's span: from the centre of its second mark to that of its last but one, along
// the rows of its middle, in scan pixels. Centres are what blur and resampling keep, and the
// strip's ends, cut to whole pixels in the image, do not come into it.
double span(const QImage &image)
{
    const auto [top, bottom] = inkRows(image);
    const int from = top + (bottom - top) / 4, to = bottom - (bottom - top) / 4;
    std::vector<double> column(size_t(image.width()), 0);
    for (int y = from; y <= to; ++y)
        for (int x = 0; x < image.width(); ++x)
            column[size_t(x)] += ink(image, x, y) / (to - from + 1);
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.width();) {
        if (column[size_t(x)] < 0.5) {
            ++x;
            continue;
        }
        int end = x;
        while (end < image.width() && column[size_t(end)] >= 0.5)
            ++end;
        runs.push_back({ x, end });
        x = end;
    }
    if (runs.size() < 4)
        return 0;
    const auto centre = [&](std::pair<int, int> run) {
        double s = 0, sx = 0;
        for (int x = run.first - 4; x < run.second + 4; ++x) {
            s += column[size_t(x)];
            sx += column[size_t(x)] * (x + 0.5);
        }
        return sx / s;
    };
    return centre(runs[runs.size() - 2]) - centre(runs[1]);
}

// The printed height of a track between two others: the ink summed down the columns where only
// an inner track has a mark, in scan pixels.
double innerTrack(const QImage &image)
{
    const auto [top, bottom] = inkRows(image);
    std::vector<int> inner;
    for (int x = 0; x < image.width(); ++x) {
        double most = 0;
        for (int y = top; y <= bottom; ++y)
            most = std::max(most, ink(image, x, y));
        if (ink(image, x, top + 3) < 0.1 && ink(image, x, bottom - 3) < 0.1 && most > 0.9)
            inner.push_back(x);
    }
    if (inner.size() < 8)
        return 0;
    // The middle half of the first run of such columns.
    size_t end = 1;
    while (end < inner.size() && inner[end] == inner[end - 1] + 1)
        ++end;
    double sum = 0;
    int n = 0;
    for (size_t i = end / 4; i < end * 3 / 4; ++i, ++n)
        for (int y = 0; y < image.height(); ++y)
            sum += ink(image, inner[i], y);
    return sum / n;
}

// The pattern image printed: its pixels at its resolution.
QImage printImage(const Printer &p, const QImage &pattern)
{
    const double mmPerPixel = 25.4 / (pattern.dotsPerMeterX() * 0.0254);
    const QSizeF mm(pattern.width() * mmPerPixel, pattern.height() * mmPerPixel);
    return printAndScan(p, mm + QSizeF(10, 10), 600, [&](QPainter &painter, const Printer &) {
        painter.translate(5, 5);
        painter.scale(mmPerPixel, mmPerPixel);
        painter.drawImage(0, 0, pattern);
    });
}

}

class TestCalibrate : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }
    void recovers_data();
    void recovers();
    void twoScansCancelTheScanner();
    void compensatedPatternPrintsTrue();
    void compensatedTargetMeasuresTrue();
    void printedPdfTarget_data();
    void printedPdfTarget();
    void rulersByHand();
    void statedResolution_data();
    void statedResolution();
    void profileFiles_data();
    void profileFiles();
    void refusals_data();
    void refusals();
    void legendStatesCompensation();
    void tiledPages_data();
    void tiledPages();

private:
    QTemporaryDir dir;
};

void TestCalibrate::recovers_data()
{
    QTest::addColumn<Printer>("printer");
    QTest::addColumn<int>("dpi");
    const auto row
        = [](const char *name, Printer p, int dpi = 300) { QTest::newRow(name) << p << dpi; };
    row("true", {});
    row("98 % across, 102 % down", { 0.98, 1.02 });
    row("102 % across, 98.5 % down, tilted 2 degrees", { 1.02, 0.985, 0, 2 });
    row("tilted -5 degrees, blurred", Printer(0.995, 1.004, 0, -5).scanned(1.2));
    row("dot gain 0.06 mm, tilted 3 degrees", Printer(1.01, 0.99, 0.06, 3).scanned(0.8));
    row("ink lost 0.04 mm", { 0.99, 1.0, -0.04, 1 });
    row("noise and JPEG", Printer(0.992, 1.004, 0.03, 1.5).scanned(0.7, 4, 85));
    row("turned a quarter, tilted 4 degrees", Printer(1.006, 0.994, 0.02, 4).turnedQuarter());
    row("turned a quarter the other way", Printer(1.0, 0.98, 0, 178).turnedQuarter());
    row("photograph with a perspective",
        Printer(0.99, 1.01, 0.02, 2).photographed({ 1e-4, -6e-5 }));
    row("400 dpi, blurred and noisy", Printer(0.985, 1.015, 0.05, -2.5).scanned(1.5, 3), 400);
}

void TestCalibrate::recovers()
{
    QFETCH(Printer, printer);
    QFETCH(int, dpi);
    const PrintTarget::Layout target = PrintTarget::layout(testPage());
    const QImage scan = scanTarget(printer, target, dpi);
    QString why;
    std::vector<PrintTarget::Page> pages = PrintTarget::knownPages();
    pages.push_back(testPage());
    const std::optional<ScanMeasure::Reading> r
        = ScanMeasure::measure(scan, *ScanMeasure::statedDpi(scan), pages, &why);
    QVERIFY2(r, qPrintable(why));
    QCOMPARE(r->target.page.name, testPage().name);
    QCOMPARE(r->turned, printer.turned);
    // Every tick of the rulers across and down found.
    QCOMPARE(r->across.ticks, target.across.lengthMm + 1);
    QCOMPARE(r->down.ticks, target.down.lengthMm + 1);
    QVERIFY2(std::fabs(r->across.scale / printer.sx - 1) < 2e-4,
        qPrintable(QString::number(r->across.scale, 'f', 6)));
    QVERIFY2(std::fabs(r->down.scale / printer.sy - 1) < 2e-4,
        qPrintable(QString::number(r->down.scale, 'f', 6)));
    const double diagonal = std::sqrt((printer.sx * printer.sx + printer.sy * printer.sy) / 2);
    QVERIFY(std::fabs(r->diagonalDown.scale / diagonal - 1) < 5e-4);
    QVERIFY(std::fabs(r->diagonalUp.scale / diagonal - 1) < 5e-4);
    QVERIFY2(std::fabs(r->spreadMm - printer.spreadMm) < 0.01,
        qPrintable(QString::number(r->spreadMm, 'f', 4)));
    if (printer.perspective.isNull())
        QVERIFY2(std::fabs(r->tiltDegrees - std::remainder(printer.degrees, 90.0)) < 0.05,
            qPrintable(QString::number(r->tiltDegrees)));
    // The 1 mm bar prints its width and the spread.
    const ScanMeasure::PatchReading &wide = r->patches[9];
    QCOMPARE(wide.nominalMm, 1.0);
    QVERIFY(std::fabs(wide.printedMm - (printer.sx + printer.spreadMm)) < 0.015);
}

void TestCalibrate::twoScansCancelTheScanner()
{
    // The scanner reads 0.3 % long in x and as much short in y.
    Printer upright(0.993, 1.006, 0.02, 1);
    upright.scannerX = 1.003;
    upright.scannerY = 1 / 1.003;
    Printer turned = upright;
    turned.turned = true;
    turned.degrees = -2;
    const PrintTarget::Layout target = PrintTarget::layout(testPage());
    std::vector<ScanMeasure::Reading> readings;
    for (const Printer &p : { upright, turned }) {
        const QImage scan = scanTarget(p, target, 300);
        QString why;
        const auto r = ScanMeasure::measure(scan, QPointF(300, 300), { testPage() }, &why);
        QVERIFY2(r, qPrintable(why));
        readings.push_back(*r);
    }
    // One scan alone carries the scanner's error.
    QVERIFY(std::fabs(readings[0].across.scale / upright.sx - 1.003) < 3e-4);
    QVERIFY(std::fabs(readings[1].across.scale / upright.sx - 1 / 1.003) < 3e-4);
    QString error;
    const auto both = PrinterProfile::fromScans(readings, { "a.png", "b.png" }, &error);
    QVERIFY2(both, qPrintable(error));
    QVERIFY(std::fabs(both->profile.scaleX / upright.sx - 1) < 2e-4);
    QVERIFY(std::fabs(both->profile.scaleY / upright.sy - 1) < 2e-4);
    QVERIFY(both->report.join('\n').contains("cancels out of the printer's"));
    QVERIFY(both->report.join('\n').contains("its x reads 0.6"));

    // The same way round twice: said, not hidden.
    const auto same = PrinterProfile::fromScans({ readings[0], readings[0] }, { "a", "a" }, &error);
    QVERIFY(same && same->report.join('\n').contains("lie the same way round"));
}

void TestCalibrate::compensatedPatternPrintsTrue()
{
    // The printer: scale, spread and blur; its target scanned and measured by the command line.
    const Printer printer = Printer(0.985, 1.012, 0.04).scanned(0.8, 2);
    const PrintTarget::Layout target = PrintTarget::layout(testPage());
    QVERIFY(scanTarget(printer, target, 300).save(dir.filePath("scan.png")));
    const Run measured = runRender(
        { "--measure", "scan.png", "--page", "150x200", "--printer-profile", "printer.txt" },
        dir.path());
    QVERIFY2(measured.exitCode == 0, measured.err.constData());
    QVERIFY(measured.out.contains("To print true: --scale-x 0.98"));
    QString error;
    const auto profile = PrinterProfile::load(dir.filePath("printer.txt"), &error);
    QVERIFY2(profile, qPrintable(error));
    QVERIFY(profile->markBiasMm && std::fabs(*profile->markBiasMm + 0.04) < 0.01);

    // A relative strip for the span across, a three-track one for a track's height down.
    Printer inkless = printer;
    inkless.spreadMm = 0;
    inkless.noise = 0; // clipped at white, noise would add ink to the sums
    const auto check = [&](const QStringList &pattern, double (*measure)(const QImage &),
                           double scale) {
        QCOMPARE(runRender(pattern + QStringList { "-o", "true.png" }, dir.path()).exitCode, 0);
        QCOMPARE(runRender(pattern
                         + QStringList { "-o", "fixed.png", "--printer-profile", "printer.txt" },
                     dir.path())
                     .exitCode,
            0);
        const QImage nominal(dir.filePath("true.png")), fixed(dir.filePath("fixed.png"));
        // The compensated image keeps its resolution and grows by 1/F.
        QCOMPARE(fixed.dotsPerMeterX(), nominal.dotsPerMeterX());
        QVERIFY(fixed.width() > nominal.width() && fixed.height() < nominal.height());
        // Printed without spread, which moves no centre and no inner edge.
        const double reference = measure(printImage(Printer {}, nominal));
        const double plain = measure(printImage(inkless, nominal));
        const double corrected = measure(printImage(inkless, fixed));
        QVERIFY(reference > 0);
        // Uncorrected, the printer's error shows; corrected, it is gone to 0.02 %.
        QVERIFY2(std::fabs(plain / reference - scale) < 3e-4,
            qPrintable(QString::number(plain / reference, 'f', 6)));
        QVERIFY2(std::fabs(corrected / reference - 1) < 2e-4,
            qPrintable(QString::number(corrected / reference, 'f', 6)));
    };
    check({ "--type", "relative", "--pairs", "6", "--width", "60", "--height", "10", "--dpi", "300",
              "--no-border" },
        span, printer.sx);
    if (QTest::currentTestFailed())
        return;
    check({ "--bits", "3", "--width", "60", "--height", "15", "--dpi", "300", "--no-border" },
        innerTrack, printer.sy);
}

void TestCalibrate::compensatedTargetMeasuresTrue()
{
    // The target drawn for a printer at 99 % x 101.5 %, printed by it.
    const Printer printer(0.99, 1.015, 0.03, 2);
    const PrintTarget::Layout target
        = PrintTarget::layout(testPage(), QPointF(printer.sx, printer.sy));
    QVERIFY(target.text.first().startsWith("Drawn for a printer at x 99 %, y 101.5 %"));
    QString why;
    const auto r = ScanMeasure::measure(
        scanTarget(printer, target, 300), QPointF(300, 300), { testPage() }, &why);
    QVERIFY2(r, qPrintable(why));
    QVERIFY(std::fabs(r->across.scale - 1) < 2e-4);
    QVERIFY(std::fabs(r->down.scale - 1) < 2e-4);
    // The bars are drawn as they are: the spread still shows.
    QVERIFY(std::fabs(r->spreadMm - printer.spreadMm) < 0.01);
}

void TestCalibrate::printedPdfTarget_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("pdfinfoSize");
    QTest::newRow("A4") << "a4"
                        << "595.276 x 841.89 pts";
    QTest::newRow("Letter") << "letter"
                            << "612 x 792 pts";
}

void TestCalibrate::printedPdfTarget()
{
    // Poppler reads the PDF target; its raster measures true and without spread.
    QUVELTA_NEEDS("pdfinfo", "pdftoppm");
    QFETCH(QString, page);
    QFETCH(QString, pdfinfoSize);
    const Run made
        = runRender({ "--calibration-target", "--page", page, "-o", "t.pdf" }, dir.path());
    QVERIFY2(made.exitCode == 0, made.err.constData());
    QVERIFY(runProgram("pdfinfo", { dir.filePath("t.pdf") }).out.contains(pdfinfoSize.toUtf8()));
    QCOMPARE(runProgram("pdftoppm",
                 { "-r", "300", "-gray", "-png", "-singlefile", dir.filePath("t.pdf"),
                     dir.filePath("t") })
                 .exitCode,
        0);
    const Run measured = runRender({ "--measure", "t.png", "--scan-dpi", "300" }, dir.path());
    QVERIFY2(measured.exitCode == 0, measured.err.constData());
    QVERIFY2(measured.out.contains("--scale-x 1.0000") || measured.out.contains("--scale-x 0.9999"),
        measured.out.constData());
    QVERIFY(measured.out.contains("--scale-y 1.0000") || measured.out.contains("--scale-y 0.9999"));
    QVERIFY(
        measured.out.contains("--mark-bias 0.00") || measured.out.contains("--mark-bias -0.00"));
}

void TestCalibrate::rulersByHand()
{
    const PrintTarget::Layout a4 = PrintTarget::layout(*PrintTarget::pageOfWord("a4"));
    const double x = a4.across.lengthMm * 0.994, y = a4.down.lengthMm * 1.003;
    const Run run = runRender({ "--measured-x", QString::number(x), "--measured-y",
                                  QString::number(y), "--printer-profile", "hand.txt" },
        dir.path());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.contains("--scale-x 0.99400 --scale-y 1.00300\n"));
    QString error;
    const auto profile = PrinterProfile::load(dir.filePath("hand.txt"), &error);
    QVERIFY2(profile, qPrintable(error));
    QCOMPARE(profile->scaleX, 0.994);
    QVERIFY(!profile->markBiasMm); // a ruler does not see the spread
}

void TestCalibrate::statedResolution_data()
{
    QTest::addColumn<int>("dotsPerMetre");
    QTest::addColumn<double>("dpi"); // 0: none stated
    // PNG keeps whole dots per metre: 150 dpi is 5905.5, stored as 5906.
    QTest::newRow("150 dpi in a PNG") << 5906 << 150.0;
    QTest::newRow("600 dpi") << 23622 << 600.0;
    QTest::newRow("not a whole DPI") << 10000 << 254.0;
    QTest::newRow("an odd one kept") << 10050 << 255.27;
    QTest::newRow("Qt's default") << 3780 << 0.0;
}

void TestCalibrate::statedResolution()
{
    QFETCH(int, dotsPerMetre);
    QFETCH(double, dpi);
    QImage image(4, 4, QImage::Format_Grayscale8);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    const std::optional<QPointF> stated = ScanMeasure::statedDpi(image);
    QCOMPARE(bool(stated), dpi > 0);
    if (stated)
        QCOMPARE(stated->x(), dpi);
}

void TestCalibrate::profileFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("error"); // empty: read
    QTest::newRow("full") << QByteArray("# a note\n\nscale-x = 0.992\n scale-y=1.004 \n"
                                        "mark-bias = -0.05\n")
                          << "";
    QTest::newRow("no bias") << QByteArray("scale-x = 0.992\nscale-y = 1.004\n") << "";
    QTest::newRow("misspelt") << QByteArray("scale-x = 0.992\nscale_y = 1.004\n")
                              << "line 2: unknown key \"scale_y\"";
    QTest::newRow("no y") << QByteArray("scale-x = 0.992\n") << "gives scale-x and scale-y";
    QTest::newRow("far out") << QByteArray("scale-x = 0.8\nscale-y = 1\n")
                             << "line 1: scale-x takes a printer scale from 0.9 to 1.1";
    QTest::newRow("no equals") << QByteArray("scale-x 0.99\n") << "line 1: not a \"key = value\"";
}

void TestCalibrate::profileFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, error);
    QFile file(dir.filePath("p.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    const QStringList pattern { "--dpi", "200", "--width", "40", "--height", "10" };
    const Run withProfile = runRender(
        pattern + QStringList { "--printer-profile", "p.txt", "-o", "a.png" }, dir.path());
    if (!error.isEmpty()) {
        QCOMPARE(withProfile.exitCode, 2);
        QVERIFY2(withProfile.err.contains(error.toUtf8()), withProfile.err.constData());
        return;
    }
    // A profile draws what its options draw, byte for byte.
    QVERIFY2(withProfile.exitCode == 0, withProfile.err.constData());
    QStringList options { "--scale-x", "0.992", "--scale-y", "1.004" };
    if (contents.contains("mark-bias"))
        options << "--mark-bias"
                << "-0.05";
    QCOMPARE(runRender(pattern + options + QStringList { "-o", "b.png" }, dir.path()).exitCode, 0);
    QFile a(dir.filePath("a.png")), b(dir.filePath("b.png"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
}

void TestCalibrate::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("target with pattern options") << QStringList { "--calibration-target", "--bits",
        "5", "-o", "t.png" } << "--bits does not go with --calibration-target";
    QTest::newRow("target with a bias") << QStringList { "--calibration-target", "--mark-bias",
        "-0.05", "-o", "t.png" } << "--mark-bias does not go with --calibration-target";
    QTest::newRow("target as SVG")
        << QStringList { "--calibration-target", "-o", "t.svg" } << "writes .pdf or an image";
    QTest::newRow("page too small") << QStringList { "--calibration-target", "--page", "100x100",
        "-o", "t.png" } << "a target page is 140 x 200 mm";
    QTest::newRow("unknown page") << QStringList { "--calibration-target", "--page", "b5", "-o",
        "t.png" } << "a page is a4, letter, a3 or WxH";
    QTest::newRow("measure writes no image")
        << QStringList { "--measure", "s.png", "-o", "x.png" } << "-o does not go with --measure";
    QTest::newRow("one ruler") << QStringList { "--measured-x", "166" }
                               << "--measured-x and --measured-y go together";
    QTest::newRow("three scans") << QStringList { "--measure", "a.png", "--measure", "b.png",
        "--measure", "c.png" } << "--measure takes one scan, or two";
    QTest::newRow("scan dpi alone")
        << QStringList { "--scan-dpi", "600", "-o", "x.png" } << "--scan-dpi goes with --measure";
    QTest::newRow("pages of an image") << QStringList { "--page", "a4", "-o", "x.png" }
                                       << "--page goes with a .pdf output (not --vector)";
    QTest::newRow("pages of a vector PDF")
        << QStringList { "--page", "a4", "--vector", "-o", "x.pdf" } << "--page goes with a .pdf";
    QTest::newRow("a tiny page") << QStringList { "--page", "40x40", "-o", "x.pdf" }
                                 << "a PDF page is 50 x 50 mm to 1000 x 1000 mm";
    QTest::newRow("a missing profile")
        << QStringList { "--printer-profile", "missing.txt", "-o", "x.svg" } << "Can't read";
}

void TestCalibrate::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir here;
    const Run run = runRender(arguments, here.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QCOMPARE(QDir(here.path()).entryList(QDir::Files), QStringList());
}

void TestCalibrate::legendStatesCompensation()
{
    const QString legend = calibrationLegend(
        parsedSettings({ "--scale-x", "0.992", "--scale-y", "1.004", "--mark-bias", "-0.05" }), 50,
        50)
                               .join(' ');
    QVERIFY2(legend.contains("x 99.2 %, y 100.4 %"), qPrintable(legend));
    QVERIFY2(legend.contains("mark bias -0.05 mm"), qPrintable(legend));
}

void TestCalibrate::tiledPages_data()
{
    QTest::addColumn<QStringList>("pattern");
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("pages"); // with the map
    QTest::newRow("long strip, three across") << QStringList { "--type", "relative", "--pairs",
        "100", "--width", "200", "--height", "30" }
                                              << "120x90" << 4;
    QTest::newRow("disc with rulers, two by two")
        << QStringList { "--shape", "disc", "--bits", "6", "--outer-radius", "60", "--calibration" }
        << "a6x" << 0;
    QTest::newRow("compensated, on one page")
        << QStringList { "--width", "60", "--height", "20", "--scale-x", "0.98" } << "a4" << 1;
}

void TestCalibrate::tiledPages()
{
    // The pages rasterised by Poppler and laid over each other by their crosses give the
    // pattern's own image.
    QUVELTA_NEEDS("pdfinfo", "pdftoppm");
    QFETCH(QStringList, pattern);
    QFETCH(QString, page);
    QFETCH(int, pages);
    if (page == "a6x")
        page = "105x148";
    pattern << "--dpi"
            << "150";
    QTemporaryDir dir;
    QCOMPARE(runRender(pattern + QStringList { "-o", "single.png" }, dir.path()).exitCode, 0);
    const Run tiled
        = runRender(pattern + QStringList { "--page", page, "-o", "tiled.pdf" }, dir.path());
    QVERIFY2(tiled.exitCode == 0, tiled.err.constData());
    const QImage single
        = QImage(dir.filePath("single.png")).convertToFormat(QImage::Format_Grayscale8);
    EncoderSettings settings = parsedSettings(pattern);
    const QSizeF pageMm = PrintTarget::pageOfWord(page, nullptr, QSizeF(50, 50))->sizeMm;
    settings.pdfPageWidthMm = pageMm.width();
    settings.pdfPageHeightMm = pageMm.height();
    const PdfExport::Tiles t = *PdfExport::tiles(settings, single.size());
    const int expected = t.count() + (t.count() > 1 ? 1 : 0);
    if (pages > 0)
        QCOMPARE(expected, pages);
    else
        QVERIFY(t.columns == 2 && t.rows == 2);
    QVERIFY(runProgram("pdfinfo", { dir.filePath("tiled.pdf") })
                .out.contains(QByteArray("Pages:           ") + QByteArray::number(expected)));
    QCOMPARE(runProgram("pdftoppm",
                 { "-r", "150", "-gray", "-png", dir.filePath("tiled.pdf"), dir.filePath("p") })
                 .exitCode,
        0);
    const QStringList files = QDir(dir.path()).entryList({ "p-*.png" }, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), expected);

    QImage stitched(single.size(), QImage::Format_Grayscale8);
    stitched.fill(128);
    const int first = t.count() > 1 ? 1 : 0; // after the map
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.columns; ++c) {
            const QImage p = QImage(dir.filePath(files[first + r * t.columns + c]))
                                 .convertToFormat(QImage::Format_Grayscale8);
            const QPoint o = t.origin(c, r);
            const QPoint area(t.marginPx, t.marginPx);
            // Each cross found where the tiles put it, to a pixel: its ink's centre.
            QPointF shift;
            const std::vector<QPointF> crosses = t.crosses(c, r, single.size());
            QCOMPARE(crosses.empty(), t.count() == 1);
            for (const QPointF &cross : crosses) {
                const QPointF q = cross - QPointF(o) + QPointF(area);
                double sum = 0;
                QPointF moment;
                // 2.7 mm each way: the cross (2.5 mm) and nothing else.
                for (int y = int(q.y()) - 16; y <= int(q.y()) + 16; ++y)
                    for (int x = int(q.x()) - 16; x <= int(q.x()) + 16; ++x) {
                        const double w = ink(p, x, y);
                        sum += w;
                        moment += w * QPointF(x + 0.5, y + 0.5);
                    }
                QVERIFY(sum > 10);
                const QPointF d = moment / sum - q;
                QVERIFY2(std::hypot(d.x(), d.y()) < 1,
                    qPrintable(QString("%1 %2").arg(d.x()).arg(d.y())));
                shift += d / double(crosses.size());
            }
            const QPoint s(qRound(shift.x()), qRound(shift.y()));
            const int w = std::min(t.areaPx.width(), single.width() - o.x());
            const int h = std::min(t.areaPx.height(), single.height() - o.y());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    stitched.scanLine(o.y() + y)[o.x() + x]
                        = p.constScanLine(area.y() + y + s.y())[area.x() + x + s.x()];
                }
        }
    // Within a pixel: every stitched pixel lies within the grey of the pattern's own pixels
    // around it (Poppler may place a page a fraction of a pixel off).
    int differ = 0;
    QString firstBad;
    for (int y = 0; y < single.height(); ++y)
        for (int x = 0; x < single.width(); ++x) {
            int low = 255, high = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = std::clamp(x + dx, 0, single.width() - 1);
                    const int yy = std::clamp(y + dy, 0, single.height() - 1);
                    low = std::min(low, int(single.constScanLine(yy)[xx]));
                    high = std::max(high, int(single.constScanLine(yy)[xx]));
                }
            const int v = stitched.constScanLine(y)[x];
            if ((v < low - 2 || v > high + 2) && differ++ == 0)
                firstBad
                    = QString("%1,%2: %3 not in %4-%5").arg(x).arg(y).arg(v).arg(low).arg(high);
        }
    QVERIFY2(differ == 0, qPrintable(QString("%1 pixels, first %2").arg(differ).arg(firstBad)));
}

QTEST_MAIN(TestCalibrate)
#include "tst_calibrate.moc"
