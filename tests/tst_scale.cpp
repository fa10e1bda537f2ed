// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
// Printer scale compensation: --scale-x / --scale-y draw the pattern 1 / F as large so that a
// printer at F prints it true; F = 1 changes nothing.

#include "calibration.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "testsupport.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace {

constexpr int dpi = 300;
constexpr double widthMm = 100, borderMm = 0.1;

QStringList baseArguments()
{
    return { "--dpi", QString::number(dpi), "--border", QString::number(borderMm) };
}

QStringList scaleArguments(const QString &axis, double f)
{
    return { "--scale-" + axis, QString::number(f) };
}

QByteArray readAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray output(const QString &program, const QStringList &arguments)
{
    return runProgram(program, arguments).out;
}

// Ink of a pixel, 0 (background) to 1 (foreground).
double ink(const QImage &image, int x, int y)
{
    return 1.0 - qRed(image.pixel(x, y)) / 255.0;
}

// The leading edges of the first and last mark along a line of pixels, to a fraction of a pixel:
// a run of ink's leading edge is its first full pixel less the ink before it. Thin lines (border
// and track lines, which an image's edge may cut) are left out; a leading edge is never cut.
std::optional<std::pair<double, double>> innerEdges(const QImage &image, bool across, int at)
{
    const int n = across ? image.width() : image.height();
    const auto c = [&](int i) { return across ? ink(image, i, at) : ink(image, at, i); };
    std::vector<std::pair<double, double>> runs;
    for (int i = 0; i < n;) {
        if (c(i) < 0.001) {
            ++i;
            continue;
        }
        int end = i;
        while (end < n && c(end) >= 0.001)
            ++end;
        int first = i, last = end - 1;
        while (first <= last && c(first) < 0.999)
            ++first;
        while (last >= first && c(last) < 0.999)
            --last;
        if (last - first >= 2) {
            double left = first, right = last + 1;
            for (int j = i; j < first; ++j)
                left -= c(j);
            for (int j = last + 1; j < end; ++j)
                right += c(j);
            runs.push_back({ left, right });
        }
        i = end;
    }
    if (runs.size() < 2)
        return std::nullopt;
    return std::pair(runs.front().first, runs.back().first);
}

// The longest span of innerEdges among `lines`.
double markSpan(const QImage &image, bool across, const std::vector<int> &lines)
{
    double best = -1;
    for (int at : lines)
        if (const auto e = innerEdges(image, across, at))
            best = std::max(best, e->second - e->first);
    return best;
}

// "Page size: W x H pts" of pdfinfo.
QSizeF pageSize(const QByteArray &info)
{
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)"))
              .match(QString::fromUtf8(info));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

}

class TestScale : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir.isValid()); }
    void raster_data();
    void raster();
    void pdfPage_data();
    void pdfPage();
    void unityChangesNothing_data();
    void unityChangesNothing();
    void refused_data();
    void refused();
    void stated_data();
    void stated();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

static void scaleRows()
{
    QTest::addColumn<QString>("axis");
    QTest::addColumn<double>("f");
    for (const QString &axis : { QStringLiteral("x"), QStringLiteral("y") })
        for (double f : { 0.98, 1.0, 1.02 })
            QTest::addRow("%s %g", qPrintable(axis), f) << axis << f;
}

void TestScale::raster_data()
{
    scaleRows();
}

void TestScale::raster()
{
    QFETCH(QString, axis);
    QFETCH(double, f);
    const QString plainName = path("plain.png"), scaledName = path("scaled.png");
    QCOMPARE(runRender(baseArguments() << "-o" << plainName).exitCode, 0);
    const Run run = runRender(baseArguments() << scaleArguments(axis, f) << "-o" << scaledName);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QImage plain(plainName), scaled(scaledName);
    QVERIFY(!plain.isNull() && !scaled.isNull());
    const double fx = axis == "x" ? f : 1.0, fy = axis == "x" ? 1.0 : f;

    // The image grows by 1 / F the scaled way; the DPI recorded stays.
    QVERIFY2(std::abs(scaled.width() - plain.width() / fx) <= 1.0,
        qPrintable(QString::number(scaled.width())));
    QVERIFY2(std::abs(scaled.height() - plain.height() / fy) <= 1.0,
        qPrintable(QString::number(scaled.height())));
    QCOMPARE(scaled.dotsPerMeterX(), plain.dotsPerMeterX());
    QCOMPARE(scaled.dotsPerMeterY(), plain.dotsPerMeterY());

    // Mark edges lie (mm / F) * dpi / 25.4 apart: along the finest track across (a row through
    // each track's middle), and down a column at position 5 (0101, tracks that alternate).
    const double k = dpi / 25.4;
    const auto rows = [](const QImage &image) {
        std::vector<int> at;
        for (int j = 0; j < 4; ++j)
            at.push_back(int(image.height() * (j + 0.5) / 4));
        return at;
    };
    const auto column
        = [](const QImage &image) { return std::vector<int> { int(image.width() * 5.5 / 16) }; };
    const double plainAcross = markSpan(plain, true, rows(plain));
    const double plainDown = markSpan(plain, false, column(plain));
    QVERIFY2(plainAcross > 0 && plainDown > 0,
        qPrintable(QStringLiteral("%1 %2").arg(plainAcross).arg(plainDown)));
    // The plain one is whole positions of 100 / 16 mm: the measure reads millimetres.
    const double position = widthMm / 16 * k;
    QVERIFY2(std::abs(plainAcross - std::round(plainAcross / position) * position) <= 0.5,
        qPrintable(QString::number(plainAcross)));
    const double acrossMm = std::round(plainAcross / position) * widthMm / 16;
    const double across_ = markSpan(scaled, true, rows(scaled));
    const double down = markSpan(scaled, false, column(scaled));
    QVERIFY2(std::abs(across_ - acrossMm / fx * k) <= 0.5,
        qPrintable(QStringLiteral("%1 px, want %2").arg(across_).arg(acrossMm / fx * k)));
    QVERIFY2(std::abs(down - plainDown / fy) <= 0.5,
        qPrintable(QStringLiteral("%1 px, want %2").arg(down).arg(plainDown / fy)));
}

void TestScale::pdfPage_data()
{
    QTest::addColumn<bool>("vector");
    QTest::addColumn<QString>("axis");
    QTest::addColumn<double>("f");
    for (bool vector : { false, true })
        for (const QString &axis : { QStringLiteral("x"), QStringLiteral("y") })
            for (double f : { 0.98, 1.0, 1.02 })
                QTest::addRow("%s %s %g", vector ? "vector" : "raster", qPrintable(axis), f)
                    << vector << axis << f;
}

void TestScale::pdfPage()
{
    QUVELTA_NEEDS("pdfinfo", "pdfimages", "pdftoppm");
    QFETCH(bool, vector);
    QFETCH(QString, axis);
    QFETCH(double, f);
    QStringList arguments = baseArguments();
    if (vector)
        arguments << "--vector";
    const QString plainName = path("plain.pdf"), scaledName = path("scaled.pdf");
    QCOMPARE(runRender(QStringList(arguments) << "-o" << plainName).exitCode, 0);
    QCOMPARE(
        runRender(QStringList(arguments) << scaleArguments(axis, f) << "-o" << scaledName).exitCode,
        0);
    const bool across = axis == "x";
    const double fx = across ? f : 1.0, fy = across ? 1.0 : f;

    const QSizeF plainPage = pageSize(output("pdfinfo", { plainName }));
    const QSizeF page = pageSize(output("pdfinfo", { scaledName }));
    QVERIFY(!plainPage.isEmpty() && !page.isEmpty());
    QVERIFY2(std::abs(page.width() - plainPage.width() / fx) < 0.01,
        qPrintable(QString::number(page.width())));
    QVERIFY2(std::abs(page.height() - plainPage.height() / fy) < 0.01,
        qPrintable(QString::number(page.height())));

    // Printed (rasterised at the DPI), the marks span 1 / F as much as the plain page's: the
    // finest track across. Within a pixel: the rasteriser resamples an image that lands between
    // its pixels and snaps thin lines; a 2 % error is 2.4 pixels down, 20 across.
    const auto printed = [this](const QString &pdf) {
        const QString stem = path("printed");
        runProgram("pdftoppm",
            { "-r", QString::number(dpi), "-gray", "-png", "-singlefile", pdf, stem });
        return QImage(stem + ".png");
    };
    // Down a column at position 5 (0101, tracks that alternate), 10 mm in from the page's edge.
    const auto spans = [](const QImage &image, double scaleX) {
        std::vector<int> rows(size_t(image.height()));
        std::iota(rows.begin(), rows.end(), 0);
        const int column = int((10 + widthMm * 5.5 / 16 / scaleX) * dpi / 25.4);
        return std::pair(markSpan(image, true, rows), markSpan(image, false, { column }));
    };
    const auto [plainAcross, plainDown] = spans(printed(plainName), 1.0);
    const auto [across_, down] = spans(printed(scaledName), fx);
    QVERIFY2(plainAcross > 0 && plainDown > 0,
        qPrintable(QStringLiteral("%1 %2").arg(plainAcross).arg(plainDown)));
    QVERIFY2(std::abs(across_ - plainAcross / fx) <= 1.0,
        qPrintable(QStringLiteral("%1 px, want %2").arg(across_).arg(plainAcross / fx)));
    QVERIFY2(std::abs(down - plainDown / fy) <= 1.0,
        qPrintable(QStringLiteral("%1 px, want %2").arg(down).arg(plainDown / fy)));
    if (vector)
        return;

    // The image is the scaled raster, placed at the DPI: its pixels grow, not their size.
    const QStringList fields = QString::fromUtf8(output("pdfimages", { "-list", scaledName }))
                                   .split('\n')
                                   .value(2)
                                   .simplified()
                                   .split(' ');
    QVERIFY2(fields.size() > 13, qPrintable(fields.join(' ')));
    const QString pngName = path("scaled.png");
    QCOMPARE(runRender(baseArguments() << scaleArguments(axis, f) << "-o" << pngName).exitCode, 0);
    const QImage image(pngName);
    QCOMPARE(fields.at(3).toInt(), image.width());
    QCOMPARE(fields.at(4).toInt(), image.height());
    QCOMPARE(fields.at(12).toInt(), dpi); // x-ppi
    QCOMPARE(fields.at(13).toInt(), dpi); // y-ppi
}

void TestScale::unityChangesNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("png") << "a.png" << QStringList();
    QTest::newRow("pdf") << "a.pdf" << QStringList();
    QTest::newRow("vector pdf") << "a.pdf" << QStringList { "--vector" };
    QTest::newRow("calibrated tiff") << "a.tif" << QStringList { "--calibration" };
    QTest::newRow("disc png") << "a.png"
                              << QStringList { "--shape", "disc", "--outer-radius", "15" };
}

void TestScale::unityChangesNothing()
{
    QFETCH(QString, file);
    QFETCH(QStringList, extra);
    const QString plainName = path("plain-" + file), unityName = path("unity-" + file);
    QCOMPARE(runRender(baseArguments() << extra << "-o" << plainName).exitCode, 0);
    QCOMPARE(runRender(baseArguments() << extra << "--scale-x"
                                       << "1"
                                       << "--scale-y"
                                       << "1.000"
                                       << "-o" << unityName)
                 .exitCode,
        0);
    const QByteArray plain = readAll(plainName);
    QVERIFY(!plain.isEmpty());
    QVERIFY(plain == readAll(unityName));
    // And a scale that is not 1 does change it: the comparison can fail.
    QCOMPARE(runRender(baseArguments() << extra << "--scale-y"
                                       << "0.99"
                                       << "-o" << unityName)
                 .exitCode,
        0);
    QVERIFY(plain != readAll(unityName));
}

void TestScale::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("svg") << QStringList { "--scale-x", "0.99", "-o", "a.svg" } << "for cutters";
    QTest::newRow("dxf") << QStringList { "--scale-y", "1.01", "-o", "a.dxf" } << "for cutters";
    QTest::newRow("below range") << QStringList { "--scale-x", "0.85", "-o", "a.png" }
                                 << "from 0.9 to 1.1";
    QTest::newRow("above range") << QStringList { "--scale-y", "1.2", "-o", "a.png" }
                                 << "from 0.9 to 1.1";
    QTest::newRow("not a number") << QStringList { "--scale-y", "big", "-o", "a.png" }
                                  << "not \"big\"";
    QTest::newRow("classic pixels") << QStringList { "--classic-pixels", "--scale-x", "0.99", "-o",
        "a.png" } << "printer scale";
}

void TestScale::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = runRender(arguments, dir.path());
    QVERIFY(run.exitCode != 0 && run.exitCode != -1);
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QVERIFY(!QFile::exists(path(arguments.last())));
}

void TestScale::stated_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("text");
    QTest::newRow("x") << QStringList { "--scale-x", "0.992" } << "printer at x 99.2 %, y 100 %";
    QTest::newRow("y") << QStringList { "--scale-y", "1.015" } << "printer at x 100 %, y 101.5 %";
    QTest::newRow("both") << QStringList { "--scale-x", "0.98", "--scale-y", "1.02" }
                          << "printer at x 98 %, y 102 %";
}

void TestScale::stated()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, text);
    // --describe states it...
    const Run run = runRender(QStringList(arguments) << "--describe");
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(QString::fromUtf8(run.out).contains(text), run.out.constData());
    // ...and so does the calibration legend.
    const EncoderSettings s = parsedSettings(QStringList(arguments) << "--calibration");
    const PatternGeometry g = patternGeometry(s);
    QVERIFY(g.calibration);
    const QString legend = g.calibration->legendLines.join(' ');
    QVERIFY2(
        QString(legend).replace(QChar(0xa0), ' ').simplified().contains(text), qPrintable(legend));
    // Without the option neither mentions a printer.
    QVERIFY(!QString::fromUtf8(runRender({ "--describe" }).out).contains("printer at"));
}

QTEST_MAIN(TestScale)
#include "tst_scale.moc"
