// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "patterngeometry.h"
#include "preciseraster.h"
#include "testsupport.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// The bore, its flat and the mounting holes of a disc: where the DXF, SVG and raster put them,
// --describe's list, and the settings refused.
class TestHoles : public QObject
{
    Q_OBJECT

private slots:
    void circlesInVectors_data();
    void circlesInVectors();
    void flatInDxf_data();
    void flatInDxf();
    void rasterLeavesHolesClear_data();
    void rasterLeavesHolesClear();
    void describeListsThem_data();
    void describeListsThem();
    void refused_data();
    void refused();
    void innerCircleStaysWithout();

private:
    QString written(const QStringList &arguments, const QString &suffix);
    QTemporaryDir dir;
    int files = 0;
};

namespace {

struct Circle
{
    double x = 0;
    double y = 0;
    double r = 0;
};

struct Polyline
{
    std::vector<QPointF> points;
};

// The DXF's group code / value pairs, read into the outline layer's circles and polylines.
void readDxfOutline(
    const QByteArray &text, std::vector<Circle> *circles, std::vector<Polyline> *polylines)
{
    const QList<QByteArray> lines = text.split('\n');
    QString type;
    QString layer;
    double x = 0, y = 0, r = 0;
    bool inPolyline = false;
    Polyline current;
    const auto finish = [&] {
        if (layer.compare(QLatin1String("OUTLINE"), Qt::CaseInsensitive) != 0)
            return;
        if (type == QLatin1String("CIRCLE"))
            circles->push_back({ x, y, r });
        else if (type == QLatin1String("VERTEX") && inPolyline)
            current.points.push_back({ x, y });
    };
    for (int i = 0; i + 1 < lines.size(); i += 2) {
        const int code = lines[i].trimmed().toInt();
        const QByteArray value = lines[i + 1].trimmed();
        if (code == 0) {
            finish();
            if (type == QLatin1String("POLYLINE"))
                inPolyline = layer.compare(QLatin1String("OUTLINE"), Qt::CaseInsensitive) == 0;
            if (value == "SEQEND" && inPolyline) {
                polylines->push_back(current);
                current = {};
                inPolyline = false;
            }
            type = QString::fromLatin1(value);
            layer.clear();
        } else if (code == 8) {
            layer = QString::fromLatin1(value);
        } else if (code == 10) {
            x = value.toDouble();
        } else if (code == 20) {
            y = value.toDouble();
        } else if (code == 40) {
            r = value.toDouble();
        }
    }
}

// The outline group's paths that are whole circles, written as two half arcs.
std::vector<Circle> svgOutlineCircles(const QByteArray &svg)
{
    std::vector<Circle> circles;
    const int from = svg.indexOf("<g id=\"outline\"");
    const int to = svg.indexOf("</g>", from);
    const QString group = QString::fromUtf8(svg.mid(from, to - from));
    static const QRegularExpression path(QStringLiteral(
        R"(d="M([-\d.]+) ([-\d.]+)A([\d.]+) [\d.]+ 0 0 0 ([-\d.]+) ([-\d.]+)A[^"]*Z")"));
    for (auto m = path.globalMatch(group); m.hasNext();) {
        const auto match = m.next();
        const double x0 = match.captured(1).toDouble(), y0 = match.captured(2).toDouble();
        const double x1 = match.captured(4).toDouble(), y1 = match.captured(5).toDouble();
        const double r = match.captured(3).toDouble();
        // Only whole circles: quarter arcs from 3 o'clock, the first ending at 12 o'clock.
        if (std::fabs(x1 - (x0 - r)) < 1e-6 && std::fabs(y1 - (y0 - r)) < 1e-6)
            circles.push_back({ x0 - r, y0, r });
    }
    return circles;
}

// Expected circles relative to the centre, y up: the bore, then the holes clockwise from
// 3 o'clock.
std::vector<Circle> expectedCircles(double bore, int n, double d, double pcd)
{
    std::vector<Circle> result;
    if (bore > 0)
        result.push_back({ 0, 0, bore / 2 });
    for (int i = 0; i < n; ++i) {
        const double a = -2 * M_PI * i / n;
        result.push_back({ pcd / 2 * std::cos(a), pcd / 2 * std::sin(a), d / 2 });
    }
    return result;
}

// Matches every expected circle to one found, the outer circle giving the centre. Empty when all
// are there and nothing else is; yUp false for SVG's page coordinates.
QString compareCircles(std::vector<Circle> found, const std::vector<Circle> &expected, bool yUp)
{
    if (found.empty())
        return QStringLiteral("no circles");
    std::sort(
        found.begin(), found.end(), [](const Circle &a, const Circle &b) { return a.r > b.r; });
    const Circle outer = found.front();
    found.erase(found.begin());
    if (found.size() != expected.size())
        return QStringLiteral("%1 circles besides the outer one, not %2")
            .arg(found.size())
            .arg(expected.size());
    for (const Circle &e : expected) {
        const double x = outer.x + e.x;
        const double y = yUp ? outer.y + e.y : outer.y - e.y;
        const auto hit = std::find_if(found.begin(), found.end(), [&](const Circle &c) {
            return std::fabs(c.x - x) < 2e-5 && std::fabs(c.y - y) < 2e-5
                && std::fabs(c.r - e.r) < 2e-5;
        });
        if (hit == found.end())
            return QStringLiteral("no circle of radius %1 at %2, %3").arg(e.r).arg(x).arg(y);
        found.erase(hit);
    }
    return {};
}

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

}

QString TestHoles::written(const QStringList &arguments, const QString &suffix)
{
    const QString file = dir.filePath(QStringLiteral("f%1.%2").arg(files++).arg(suffix));
    const Run run = runRender(QStringList(arguments) << QStringLiteral("-o") << file);
    if (run.exitCode != 0)
        qWarning("%s", run.err.constData());
    return run.exitCode == 0 ? file : QString();
}

void TestHoles::circlesInVectors_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<double>("bore");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("diameter");
    QTest::addColumn<double>("pitch");
    const char *disc = "--shape disc --bits 3 --outer-radius 20 --inner-radius 8";
    QTest::newRow("bore and three holes")
        << QStringLiteral("%1 --no-center-mark --bore 5 --holes 3,2,11").arg(disc) << 5.0 << 3
        << 2.0 << 11.0;
    QTest::newRow("quarter-inch bore alone")
        << QStringLiteral("%1 --no-center-mark --bore 6.35").arg(disc) << 6.35 << 0 << 0.0 << 0.0;
    QTest::newRow("bore to the hundredth")
        << QStringLiteral("%1 --no-center-mark --bore 3.004").arg(disc) << 3.0 << 0 << 0.0 << 0.0;
    QTest::newRow("holes round the centre mark")
        << QStringLiteral("--shape disc --type relative --pairs 12 --outer-radius 25 "
                          "--inner-radius 10 --holes 4,1.5,15")
        << 0.0 << 4 << 1.5 << 15.0;
    QTest::newRow("six holes, odd sizes")
        << QStringLiteral("%1 --no-center-mark --bore 4.2 --holes 6,1.25,12.7").arg(disc) << 4.2
        << 6 << 1.25 << 12.7;
    QTest::newRow("one hole, no border") << QStringLiteral("%1 --no-center-mark --no-border "
                                                           "--holes 1,3,9.5")
                                                .arg(disc)
                                         << 0.0 << 1 << 3.0 << 9.5;
}

void TestHoles::circlesInVectors()
{
    QFETCH(QString, arguments);
    QFETCH(double, bore);
    QFETCH(int, count);
    QFETCH(double, diameter);
    QFETCH(double, pitch);
    const QStringList args = arguments.split(QLatin1Char(' '));
    const std::vector<Circle> expected = expectedCircles(bore, count, diameter, pitch);

    const QString dxf = written(args, QStringLiteral("dxf"));
    QVERIFY(!dxf.isEmpty());
    QFile dxfFile(dxf);
    QVERIFY(dxfFile.open(QIODevice::ReadOnly));
    std::vector<Circle> circles;
    std::vector<Polyline> polylines;
    readDxfOutline(dxfFile.readAll(), &circles, &polylines);
    QCOMPARE(compareCircles(circles, expected, true), QString());
    QCOMPARE(polylines.size(), size_t(0));

    const QString svg = written(args, QStringLiteral("svg"));
    QVERIFY(!svg.isEmpty());
    QFile svgFile(svg);
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    QCOMPARE(compareCircles(svgOutlineCircles(svgFile.readAll()), expected, false), QString());

    QVERIFY(
        !written(QStringList(args) << QStringLiteral("--vector"), QStringLiteral("pdf")).isEmpty());
}

void TestHoles::flatInDxf_data()
{
    QTest::addColumn<double>("bore");
    QTest::addColumn<double>("depth");
    QTest::newRow("5 mm, 0.5 deep") << 5.0 << 0.5;
    QTest::newRow("6.35 mm, 0.64 deep") << 6.35 << 0.64;
    QTest::newRow("8 mm, 3.9 deep") << 8.0 << 3.9;
}

void TestHoles::flatInDxf()
{
    QFETCH(double, bore);
    QFETCH(double, depth);
    const QString dxf = written(words("--shape disc --bits 3 --outer-radius 20 --inner-radius 8 "
                                      "--no-center-mark")
            << QStringLiteral("--bore") << QString::number(bore) << QStringLiteral("--d-flat")
            << QString::number(depth),
        QStringLiteral("dxf"));
    QVERIFY(!dxf.isEmpty());
    QFile file(dxf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::vector<Circle> circles;
    std::vector<Polyline> polylines;
    readDxfOutline(file.readAll(), &circles, &polylines);
    QCOMPARE(circles.size(), size_t(1)); // the outer circle only: the bore is a polyline
    QCOMPARE(polylines.size(), size_t(1));
    const Circle centre = circles.front();
    const double r = bore / 2;
    int onFlat = 0;
    for (const QPointF &p : polylines.front().points) {
        const double dx = p.x() - centre.x, dy = p.y() - centre.y;
        QVERIFY2(std::fabs(std::hypot(dx, dy) - r) < 2e-6, "a vertex off the bore's circle");
        if (std::fabs(dx - (r - depth)) < 2e-6) {
            ++onFlat;
            QVERIFY(std::fabs(std::fabs(dy) - std::sqrt(r * r - (r - depth) * (r - depth))) < 2e-6);
        }
    }
    QCOMPARE(onFlat, 2); // the flat's two ends, at 3 o'clock
}

void TestHoles::rasterLeavesHolesClear_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("mounting");
    QTest::newRow("bore and holes, 300 dpi") << QStringLiteral(
        "--shape disc --bits 4 --outer-radius 20 --inner-radius 8 "
        "--no-center-mark --dpi 300") << QStringLiteral("--bore 5 --d-flat 0.5 --holes 3,2,11");
    QTest::newRow("holes beside the centre mark, 600 dpi") << QStringLiteral(
        "--shape disc --type relative --pairs 12 --outer-radius 25 "
        "--inner-radius 10 --dpi 600") << QStringLiteral("--holes 4,1.5,15");
}

void TestHoles::rasterLeavesHolesClear()
{
    QFETCH(QString, plain);
    QFETCH(QString, mounting);
    // A background no mark has, so that a hole painted any colour shows.
    const QStringList colours = words("--background #40c0a0 --foreground #102030");
    const QStringList base = plain.split(QLatin1Char(' ')) + colours;
    const QStringList with = base + mounting.split(QLatin1Char(' '));
    const QString a = written(base, QStringLiteral("png"));
    const QString b = written(with, QStringLiteral("png"));
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    const QImage without(a);
    const QImage image(b);
    QVERIFY(!image.isNull());
    // Holes go only where nothing is printed: the print is the same, the hole is cut later.
    QCOMPARE(image, without);

    const EncoderSettings s = parsedSettings(with);
    const PatternGeometry g = patternGeometry(s);
    const double k = precisePixelsPerMm(s.dpi);
    const QPointF offset = patternPixelOffset(s);
    std::vector<std::pair<QPointF, double>> holes;
    if (g.boreRadius > 0)
        holes.push_back({ g.center, g.boreRadius - g.dFlat });
    for (const QPointF &h : g.holes)
        holes.push_back({ h, g.holeRadius });
    QVERIFY(!holes.empty());
    const QRgb ground = QColor(QStringLiteral("#40c0a0")).rgb();
    for (const auto &[centre, radius] : holes) {
        const QPointF c = centre * k + offset; // pixel coordinates
        const double rp = radius * k;
        int checked = 0;
        for (int y = int(c.y() - rp); y <= int(c.y() + rp); ++y)
            for (int x = int(c.x() - rp); x <= int(c.x() + rp); ++x) {
                if (std::hypot(x + 0.5 - c.x(), y + 0.5 - c.y()) > rp - 0.75)
                    continue;
                if (image.pixel(x, y) != ground) // the message only then
                    QFAIL(qPrintable(QStringLiteral("pixel %1, %2 in a hole").arg(x).arg(y)));
                ++checked;
            }
        QVERIFY(checked > 20);
    }
}

void TestHoles::describeListsThem_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<double>("bore");
    QTest::addColumn<double>("flat");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("diameter");
    QTest::addColumn<double>("pitch");
    const char *disc = "--shape disc --bits 3 --outer-radius 20 --inner-radius 8 --no-center-mark";
    QTest::newRow("bore, flat, 3 holes")
        << QStringLiteral("%1 --bore 5 --d-flat 0.5 --holes 3,2,11").arg(disc) << 5.0 << 0.5 << 3
        << 2.0 << 11.0;
    QTest::newRow("bore only") << QStringLiteral("%1 --bore 6.35").arg(disc) << 6.35 << 0.0 << 0
                               << 0.0 << 0.0;
    QTest::newRow("8 holes") << QStringLiteral("%1 --holes 8,1,12").arg(disc) << 0.0 << 0.0 << 8
                             << 1.0 << 12.0;
}

void TestHoles::describeListsThem()
{
    QFETCH(QString, arguments);
    QFETCH(double, bore);
    QFETCH(double, flat);
    QFETCH(int, count);
    QFETCH(double, diameter);
    QFETCH(double, pitch);
    const Run run = runRender(arguments.split(QLatin1Char(' ')) << QStringLiteral("--describe"));
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(run.out);
    const auto mm = [](double v) { return QString::number(std::fabs(v) < 5e-4 ? 0.0 : v, 'f', 3); };
    QCOMPARE(text.contains(QLatin1String("bore diameter")), bore > 0);
    if (bore > 0)
        QVERIFY(text.contains(QStringLiteral("bore diameter %1 at 0.000, 0.000").arg(mm(bore))));
    if (flat > 0)
        QVERIFY(text.contains(QStringLiteral("flat %1 deep").arg(mm(flat))));
    QCOMPARE(text.count(QLatin1String("  hole ")), count);
    for (int i = 0; i < count; ++i) {
        const double a = -2 * M_PI * i / count;
        const QString line
            = QStringLiteral("hole %1 diameter %2 at %3, %4 (%5 degrees")
                  .arg(i + 1)
                  .arg(mm(diameter), mm(pitch / 2 * std::cos(a)), mm(pitch / 2 * std::sin(a)))
                  .arg(360.0 * i / count, 0, 'f', 4);
        QVERIFY2(text.contains(line), qPrintable(line));
    }
}

void TestHoles::refused_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("message");
    const char *disc = "--shape disc --bits 3 --outer-radius 20 --inner-radius 8";
    QTest::newRow("strip bore") << QStringLiteral("--bore 5") << QStringLiteral("are for discs");
    QTest::newRow("strip holes") << QStringLiteral("--holes 2,3,10")
                                 << QStringLiteral("are for discs");
    QTest::newRow("no inner radius") << QStringLiteral("--shape disc --no-center-mark --bore 3")
                                     << QStringLiteral("cuts into the innermost track");
    QTest::newRow("bore into the track")
        << QStringLiteral("%1 --no-center-mark --bore 15.91").arg(disc)
        << QStringLiteral("cuts into the innermost track");
    QTest::newRow("bore through the centre mark")
        << QStringLiteral("%1 --bore 5").arg(disc) << QStringLiteral("--no-center-mark");
    QTest::newRow("flat without bore") << QStringLiteral("%1 --no-center-mark --d-flat 1").arg(disc)
                                       << QStringLiteral("give --bore too");
    QTest::newRow("flat too deep")
        << QStringLiteral("%1 --no-center-mark --bore 5 --d-flat 2.5").arg(disc)
        << QStringLiteral("less than the bore's radius");
    QTest::newRow("holes into the track")
        << QStringLiteral("%1 --no-center-mark --holes 3,2,14").arg(disc)
        << QStringLiteral("cut into the innermost track");
    QTest::newRow("holes into the bore")
        << QStringLiteral("%1 --no-center-mark --bore 5 --holes 3,2,7").arg(disc)
        << QStringLiteral("cut into the 5 mm bore");
    QTest::newRow("hole over the centre")
        << QStringLiteral("%1 --no-center-mark --holes 1,4,3").arg(disc)
        << QStringLiteral("reach over the centre");
    QTest::newRow("holes into each other")
        << QStringLiteral("%1 --no-center-mark --holes 8,3,7").arg(disc)
        << QStringLiteral("overlap each other");
    QTest::newRow("holes through the centre mark")
        << QStringLiteral("%1 --holes 3,1,9").arg(disc) << QStringLiteral("cut the centre mark");
    QTest::newRow("holes malformed")
        << QStringLiteral("%1 --holes 3,1").arg(disc) << QStringLiteral("--holes takes N,D,PCD");
    QTest::newRow("zero holes") << QStringLiteral("%1 --holes 0,1,10").arg(disc)
                                << QStringLiteral("--holes takes N,D,PCD");
    QTest::newRow("bore too small")
        << QStringLiteral("%1 --bore 0.001").arg(disc) << QStringLiteral("--bore takes a length");
}

void TestHoles::refused()
{
    QFETCH(QString, arguments);
    QFETCH(QString, message);
    const QString file
        = dir.filePath(QStringLiteral("refused %1.png").arg(QTest::currentDataTag()));
    const Run run = runRender(arguments.split(QLatin1Char(' ')) << QStringLiteral("-o") << file);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QVERIFY(!QFile::exists(file));
}

void TestHoles::innerCircleStaysWithout()
{
    // Without a bore or holes the hub is cut at the inner radius as before.
    const QString dxf = written(
        words("--shape disc --bits 3 --outer-radius 20 --inner-radius 8"), QStringLiteral("dxf"));
    QFile file(dxf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    std::vector<Circle> circles;
    std::vector<Polyline> polylines;
    readDxfOutline(file.readAll(), &circles, &polylines);
    QCOMPARE(compareCircles(circles, { { 0, 0, 8 - 0.05 } }, true), QString());
}

QTEST_GUILESS_MAIN(TestHoles)
#include "tst_holes.moc"
