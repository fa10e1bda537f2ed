// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "calibration.h"
#include "cores.h"
#include "coveragefill.h"
#include "discpainter.h"
#include "imagetools.h"
#include "paintcommon.h"
#include "patterngeometry.h"
#include "pixelpacking.h"
#include "pixelrule.h"
#include "pngencoder.h"
#include "preciseraster.h"
#include "renderer.h"
#include "testsupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtTest>

#include <cstring>
#include <random>
#include <vector>

// The fast renders against the straightforward drawing: one painter, the layered shapes.
class TestFastPaths : public QObject
{
    Q_OBJECT

private slots:
    void plainRenderIsIdentical_data();
    void plainRenderIsIdentical();
    void antialiasedDiscMatchesAwayFromEdges_data();
    void antialiasedDiscMatchesAwayFromEdges();
    void cutShortLayersAreIdentical_data();
    void cutShortLayersAreIdentical();
    void pngLayouts_data();
    void pngLayouts();
    void steepEdgesSumAlike_data();
    void steepEdgesSumAlike();
    void steepEdgeWorkedCells();
    void edgesAcrossBandSumAlike_data();
    void edgesAcrossBandSumAlike();
    void longEdgesCoverExactly_data();
    void longEdgesCoverExactly();
    void periodicPiecesJoin();
    void fineRingsCoverAsTheirMarks_data();
    void fineRingsCoverAsTheirMarks();
    void fineDiscsCoverAsTheirOutlines_data();
    void fineDiscsCoverAsTheirOutlines();
    void wholeRingsHaveNoMarkOutlines_data();
    void wholeRingsHaveNoMarkOutlines();
    void rowsAlikeInAnyOrder_data();
    void rowsAlikeInAnyOrder();
    void calibrationRoomWithoutText_data();
    void calibrationRoomWithoutText();
    void twoColourRowsCountAndPack_data();
    void twoColourRowsCountAndPack();
};

static QImage reference(const EncoderSettings &settings, bool antialias)
{
    const QSize size = PixelRule::imageSize(settings);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    applyRenderHints(painter, antialias);
    paintEncoder(painter, settings, size);
    return image;
}

static EncoderSettings disc(EncoderType type, int count, int inner, bool border, bool gray = true)
{
    EncoderSettings s = classicSettings();
    s.shape = Shape::Disc;
    s.type = type;
    s.bits = s.pairs = count;
    s.code = gray ? Code::Gray : Code::Binary;
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
    EncoderSettings strip = classicSettings();
    strip.bits = strip.pairs = 10;
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
    // Mean difference of the edge pixels, in levels of 255.
    QTest::addColumn<double>("edgeTolerance");
    QTest::newRow("relative disc, 100 pairs") << disc(EncoderType::Relative, 100, 8, true) << 4.0;
    QTest::newRow("gray disc, 6 bits, border") << disc(EncoderType::Absolute, 6, 8, true) << 4.0;
    QTest::newRow("binary disc, 6 bits, no border")
        << disc(EncoderType::Absolute, 6, 8, false, false) << 4.0;
    QTest::newRow("gray disc, to the centre") << disc(EncoderType::Absolute, 5, 0, true) << 4.0;
    EncoderSettings coloured = disc(EncoderType::Relative, 30, 12, true);
    coloured.foreground = QColor(200, 40, 10);
    coloured.background = QColor(250, 240, 200);
    QTest::newRow("coloured relative disc") << coloured << 4.0;
    // Tracks narrower than their circles: the next track's clearing takes part of each circle.
    EncoderSettings thin = disc(EncoderType::Absolute, 10, 35, true);
    thin.borderWidthMm = 2.0;
    // The painter's stroker puts the edge of a circle 23 px wide up to a tenth of a pixel off
    // the true circle; the fill's ring is exact.
    QTest::newRow("10 bits on a 5 mm ring, 2 mm circles") << thin << 8.0;
    thin.bits = thin.pairs = 16;
    thin.innerRadiusMm = 38;
    thin.borderWidthMm = 0.3;
    QTest::newRow("16 bits on a 2 mm ring") << thin << 4.0;
}

void TestFastPaths::antialiasedDiscMatchesAwayFromEdges()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(double, edgeTolerance);
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
                if (a != b) // the message only then: millions of pixels
                    QFAIL(qPrintable(QStringLiteral("interior pixel %1,%2: %3 instead of %4")
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
    QVERIFY2(edgeDifference < edgeTolerance * edgePixels,
        qPrintable(QString::number(double(edgeDifference) / edgePixels)));
    QVERIFY2(worst <= 96, qPrintable(QString::number(worst)));
}

void TestFastPaths::cutShortLayersAreIdentical_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    const auto ring = [](int outer, int inner, int bits, int dpi, double border) {
        EncoderSettings s = disc(EncoderType::Absolute, bits, inner, border > 0);
        s.outerRadiusMm = outer;
        s.dpi = dpi;
        s.borderWidthMm = border > 0 ? border : 0.1;
        return s;
    };
    QTest::newRow("10 bits on a 1 mm ring, 0.1 mm circles") << ring(20, 19, 10, 600, 0.1);
    QTest::newRow("12 bits on a 2 mm ring, 0.5 mm circles") << ring(20, 18, 12, 600, 0.5);
    QTest::newRow("tracks narrower than their circles") << ring(30, 25, 8, 300, 2.0);
    QTest::newRow("16 bits, tracks of no width") << ring(10, 9, 16, 100, 0.3);
    QTest::newRow("8 bits from the centre") << ring(30, 0, 8, 300, 0.5);
    QTest::newRow("6 bits, no circles") << ring(30, 5, 6, 300, 0);
    QTest::newRow("relative, 1024 pairs, hole") << disc(EncoderType::Relative, 1024, 10, true);
    // Cut short, the sectors of these go to the rasteriser a few at a time; whole, in one fill.
    QTest::newRow("16 bits on a 5 mm ring") << ring(25, 20, 16, 600, 0.1);
    EncoderSettings binary = ring(40, 10, 14, 600, 0.2);
    binary.code = Code::Binary;
    QTest::newRow("14 bits binary from 10 mm") << binary;
    QTest::newRow("relative, 4000 pairs, 1 mm hole") << disc(EncoderType::Relative, 4000, 1, true);
}

// The layered disc with every shape whole and with the shapes cut short where a later layer
// covers them: the same plain pixels, thin tracks and wide circles included.
void TestFastPaths::cutShortLayersAreIdentical()
{
    QFETCH(EncoderSettings, settings);
    const QSize size = PixelRule::imageSize(settings);
    QImage whole(size, QImage::Format_RGB32);
    QImage cut(size, QImage::Format_RGB32);
    for (QImage *image : { &whole, &cut }) {
        QPainter painter(image);
        applyRenderHints(painter, false);
        drawDiscLayers(painter, settings, size, image == &cut);
    }
    int differ = 0;
    QPoint first;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (whole.pixel(x, y) != cut.pixel(x, y) && differ++ == 0)
                first = QPoint(x, y);
    QVERIFY2(differ == 0,
        qPrintable(QStringLiteral("%1 pixels differ, the first at %2,%3")
                       .arg(differ)
                       .arg(first.x())
                       .arg(first.y())));
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

void TestFastPaths::steepEdgesSumAlike_data()
{
    QTest::addColumn<double>("slope"); // the largest |dx/dy| drawn
    QTest::addColumn<double>("left"); // where the edges lie across the 40-pixel row
    QTest::addColumn<double>("right");
    QTest::addColumn<uint>("seed");
    QTest::newRow("near upright") << 0.02 << 1.0 << 39.0 << 1u;
    QTest::newRow("up to 45 degrees") << 0.5 << 1.0 << 39.0 << 2u;
    QTest::newRow("up to the limit") << 0.99 << 1.0 << 39.0 << 3u;
    QTest::newRow("just past the limit") << 1.2 << 1.0 << 39.0 << 4u;
    QTest::newRow("on the left edge") << 0.7 << 0.0 << 1.5 << 5u;
    QTest::newRow("on the right edge") << 0.7 << 38.5 << 40.0 << 6u;
}

// A steep edge's short way through the rows it fully crosses gives the cells the very bits of
// the general way, for edges up or down, starting and ending anywhere in or around the band.
void TestFastPaths::steepEdgesSumAlike()
{
    QFETCH(double, slope);
    QFETCH(double, left);
    QFETCH(double, right);
    QFETCH(uint, seed);
    constexpr int width = 40, stride = width + 2, bandTop = 64, rows = 64;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> xs(left, right), ys(40.0, 150.0), slopes(-slope, slope);
    std::vector<float> fast(size_t(stride) * rows), general(fast.size());
    int steepRows = 0;
    for (int i = 0; i < 2000; ++i) {
        CoverageFill::Segment s;
        s.x0 = xs(random);
        s.y0 = i % 7 == 0 ? double(bandTop + int(ys(random)) % rows) : ys(random);
        s.y1 = i % 5 == 0 ? std::floor(ys(random)) : ys(random);
        s.x1 = std::clamp(s.x0 + slopes(random) * (s.y1 - s.y0), left, right);
        if (s.y0 == s.y1)
            continue;
        // Each edge onto cells that others left, as the fill sums many.
        CoverageFill::accumulate(fast.data(), stride, bandTop, rows, s);
        CoverageFill::accumulate(general.data(), stride, bandTop, rows, s, true);
        QVERIFY2(std::memcmp(fast.data(), general.data(), fast.size() * sizeof(float)) == 0,
            qPrintable(QStringLiteral("edge %1: (%2, %3) to (%4, %5)")
                           .arg(i)
                           .arg(s.x0, 0, 'g', 17)
                           .arg(s.y0, 0, 'g', 17)
                           .arg(s.x1, 0, 'g', 17)
                           .arg(s.y1, 0, 'g', 17)));
        if (std::fabs(s.x1 - s.x0) < 0.99 * std::fabs(s.y1 - s.y0))
            ++steepRows;
    }
    QVERIFY(steepRows > 100);
    // Not all zero: the edges did add to the cells.
    QVERIFY(std::any_of(fast.begin(), fast.end(), [](float c) { return c != 0.0f; }));
}

void TestFastPaths::edgesAcrossBandSumAlike_data()
{
    QTest::addColumn<double>("slope"); // the largest |dx/dy| drawn
    QTest::addColumn<double>("spread"); // how far apart the edges start, pixels
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("from"); // where the edges start, from ... from + 30 (wrapping)
    QTest::addColumn<bool>("back");
    QTest::newRow("near upright, many a pixel") << 0.05 << 0.05 << 1u << 60 << 15.0 << false;
    QTest::newRow("steep, apart") << 0.9 << 3.0 << 2u << 60 << 15.0 << false;
    QTest::newRow("steep and not, crossing") << 3.0 << 0.5 << 3u << 60 << 15.0 << false;
    QTest::newRow("flat, many a pixel") << 0.4 << 0.01 << 4u << 60 << 15.0 << false;
    // Back and forth along the row as a disc's sectors come, both ends of it reached.
    QTest::newRow("leftwards, to both ends") << 2.5 << -0.6 << 5u << 24 << -3.0 << true;
    QTest::newRow("rightwards, to both ends") << 0.9 << 0.6 << 6u << 24 << -3.0 << true;
    // Spans of many cells among short ones.
    QTest::newRow("up to five cells a row") << 4.0 << 0.3 << 9u << 1200 << 585.0 << true;
    QTest::newRow("some near level") << 12.0 << 0.3 << 7u << 1200 << 585.0 << false;
    QTest::newRow("narrower than eight cells") << 0.9 << 0.4 << 8u << 5 << 0.0 << true;
}

// Edges that cross every row of a band, added a row at a time across them, give the cells the
// very bits of each added in turn, in every order of steep and slanted, up and down.
void TestFastPaths::edgesAcrossBandSumAlike()
{
    QFETCH(double, slope);
    QFETCH(double, spread);
    QFETCH(uint, seed);
    QFETCH(int, width);
    QFETCH(double, from);
    QFETCH(bool, back);
    const int stride = width + 2;
    constexpr int bandTop = 128, rows = 64;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<CoverageFill::Segment> edges;
    double x = 2;
    for (int i = 0; i < 300; ++i) {
        // In pairs as a sector's two edges come, the second a step back, where `back`.
        x += back && i % 2 == 1 ? -0.5 * spread : spread * unit(random);
        const double top = bandTop - 40 * unit(random), bottom = bandTop + rows + 40 * unit(random);
        const double dx = slope * (2 * unit(random) - 1) * (bottom - top);
        const double wrapped = std::fmod(x, 30.0);
        const double start
            = std::clamp(from + wrapped + (wrapped < 0 ? 30 : 0), 0.0, double(width));
        CoverageFill::Segment s { start, top, 0, bottom };
        s.x1 = std::clamp(s.x0 + dx, 0.0, double(width));
        if (s.x1 == s.x0) // upright on the image's edge: not across
            continue;
        s.weight = i % 5 == 0 ? 0.375f : 1.0f;
        if (i % 2 == 1) // the other way up
            s = { s.x1, s.y1, s.x0, s.y0, s.weight };
        QVERIFY(CoverageFill::crossesBand(s, bandTop, rows));
        edges.push_back(s);
    }
    std::vector<float> each(size_t(stride) * rows), across(each.size());
    for (const CoverageFill::Segment &s : edges)
        CoverageFill::accumulate(each.data(), stride, bandTop, rows, s);
    // In runs of a few, as they come between other edges.
    std::vector<const CoverageFill::Segment *> run;
    std::vector<double> state;
    for (size_t i = 0; i < edges.size(); ++i) {
        run.push_back(&edges[i]);
        if (i % 7 == 6 || i + 1 == edges.size()) {
            CoverageFill::accumulateAcross(
                across.data(), stride, bandTop, rows, run.data(), run.size(), state);
            run.clear();
        }
    }
    QVERIFY(std::memcmp(each.data(), across.data(), each.size() * sizeof(float)) == 0);
    QVERIFY(std::any_of(each.begin(), each.end(), [](float c) { return c != 0.0f; }));
    // A segment that starts or ends within the band's rows, or stands upright, is not across.
    QVERIFY(!CoverageFill::crossesBand({ 3, bandTop + 0.5, 4, bandTop + 90.0 }, bandTop, rows));
    QVERIFY(!CoverageFill::crossesBand({ 3, bandTop - 9.0, 4, bandTop + 63.0 }, bandTop, rows));
    QVERIFY(!CoverageFill::crossesBand({ 3, bandTop - 9.0, 3, bandTop + 90.0 }, bandTop, rows));
}

// Worked by hand: an edge from (2.25, 0) down to (2.75, 4) moves an eighth of a pixel a row;
// in its second row it runs from 2.375 to 2.5, its mean 2.4375, so pixel 2 has 0.5625 of its
// area right of it and the cell after it the rest of the row's height.
void TestFastPaths::steepEdgeWorkedCells()
{
    constexpr int width = 8, stride = width + 2;
    std::vector<float> cells(size_t(stride) * 4, 0.0f);
    CoverageFill::accumulate(cells.data(), stride, 0, 4, { 2.25, 0.0, 2.75, 4.0 });
    const float *row = cells.data() + stride;
    QCOMPARE(row[2], 0.5625f);
    QCOMPARE(row[3], 0.4375f);
    QCOMPARE(row[1], 0.0f);
    QCOMPARE(row[4], 0.0f);
    // The other way up it winds the other way.
    std::fill(cells.begin(), cells.end(), 0.0f);
    CoverageFill::accumulate(cells.data(), stride, 0, 4, { 2.75, 4.0, 2.25, 0.0 });
    QCOMPARE(row[2], -0.5625f);
    // Its last row, 2.625 to 2.75 (mean 2.6875).
    QCOMPARE(cells[size_t(3 * stride + 2)], -0.3125f);
}

namespace {

using Polygon = std::vector<CoverageFill::Point>;

// The area of a convex polygon inside the unit pixel at (px, py): the polygon clipped by the
// pixel's four sides, then the shoelace.
double areaInPixel(const Polygon &shape, int px, int py)
{
    Polygon poly = shape;
    const auto clip = [&poly](auto inside, auto cross) {
        Polygon out;
        for (size_t i = 0; i < poly.size(); ++i) {
            const CoverageFill::Point a = poly[i];
            const CoverageFill::Point b = poly[(i + 1) % poly.size()];
            if (inside(a))
                out.push_back(a);
            if (inside(a) != inside(b))
                out.push_back(cross(a, b));
        }
        poly = out;
    };
    const auto atX = [](double x) {
        return [x](CoverageFill::Point a, CoverageFill::Point b) {
            return CoverageFill::Point { x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x) };
        };
    };
    const auto atY = [](double y) {
        return [y](CoverageFill::Point a, CoverageFill::Point b) {
            return CoverageFill::Point { a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y };
        };
    };
    clip([px](CoverageFill::Point p) { return p.x >= px; }, atX(px));
    clip([px](CoverageFill::Point p) { return p.x <= px + 1; }, atX(px + 1));
    clip([py](CoverageFill::Point p) { return p.y >= py; }, atY(py));
    clip([py](CoverageFill::Point p) { return p.y <= py + 1; }, atY(py + 1));
    double twice = 0;
    for (size_t i = 0; i < poly.size(); ++i) {
        const CoverageFill::Point a = poly[i];
        const CoverageFill::Point b = poly[(i + 1) % poly.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

}

void TestFastPaths::longEdgesCoverExactly_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("centres");
    QTest::addColumn<bool>("staggered");
    // Edges over hundreds of rows are kept by groups of bands; an image this wide sums fewer
    // rows at a time. Upright edges go in by the rows where they start and stop covering whole
    // rows, and those over a whole group of bands are summed once for each kind of group:
    // staggered marks start and end in many groups, some stacked on one column.
    QTest::newRow("tall") << QSize(300, 3000) << false << false;
    QTest::newRow("very wide") << QSize(40000, 900) << false << false;
    QTest::newRow("tall, pixel centres") << QSize(300, 3000) << true << false;
    QTest::newRow("very wide, pixel centres") << QSize(40000, 900) << true << false;
    QTest::newRow("tall, staggered") << QSize(300, 5000) << false << true;
    QTest::newRow("tall, staggered, pixel centres") << QSize(300, 5000) << true << true;
    QTest::newRow("very wide, staggered") << QSize(40000, 1500) << false << true;
}

// Whether the point lies inside the polygon, by the crossings of a ray to its right.
static bool inside(const Polygon &shape, double x, double y)
{
    bool in = false;
    for (size_t i = 0, j = shape.size() - 1; i < shape.size(); j = i++) {
        const CoverageFill::Point &a = shape[i];
        const CoverageFill::Point &b = shape[j];
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y))
            in = !in;
    }
    return in;
}

// Upright marks and slanted wedges over many bands, each pixel against its exact area or
// whether its centre is inside.
void TestFastPaths::longEdgesCoverExactly()
{
    QFETCH(QSize, size);
    QFETCH(bool, centres);
    QFETCH(bool, staggered);
    std::vector<Polygon> shapes;
    std::vector<int> ends = { 0, size.height() / 2 - 2, size.height() - 4 };
    const double w = size.width();
    const double h = size.height();
    for (int i = 0; i < 20; ++i) {
        const double x = 3.3 + i * (w - 10) / 20;
        // Every other mark ends within a band, a little below a pixel centre.
        const double top = staggered ? 1.6 + i * h / 43 : 1.6;
        const double end = staggered ? h - 2.2 - i * h / 47 : i % 2 ? h / 2 + 0.7 : h - 2.2;
        shapes.push_back({ { x, top }, { x + 1.7, top }, { x + 1.7, end }, { x, end } });
        shapes.push_back({ { x + 2.4, 0.5 }, { x + 2.9, h - 0.7 }, { x + 2.45, h - 0.7 } });
        if (staggered && i % 4 == 0) // another on the same column below it, from its end on
            shapes.push_back(
                { { x, end }, { x + 1.7, end }, { x + 1.7, h - 0.3 }, { x, h - 0.3 } });
        for (const double y : { top, end })
            ends.push_back(std::clamp(int(y) - 2, 0, size.height() - 4));
    }
    CoverageFill fill(size);
    for (const Polygon &shape : shapes)
        fill.addPolygon(shape);
    fill.prepare();
    // The shapes that may reach each column.
    std::vector<std::vector<const Polygon *>> near(size_t(size.width()));
    for (const Polygon &shape : shapes) {
        double left = w, right = 0;
        for (const CoverageFill::Point &p : shape) {
            left = std::min(left, p.x);
            right = std::max(right, p.x);
        }
        for (int x = std::max(0, int(left) - 1); x <= std::min(size.width() - 1, int(right) + 1);
             ++x)
            near[size_t(x)].push_back(&shape);
    }
    std::vector<uchar> rows(size_t(size.width()) * 4);
    std::mt19937 random(7);
    for (size_t sample = 0; sample < ends.size() + 40; ++sample) {
        // The marks' ends, then anywhere.
        const int top = sample < ends.size()
            ? ends[sample]
            : std::uniform_int_distribution<int>(0, size.height() - 4)(random);
        fill.fillAlpha(rows.data(), size.width(), top, 4,
            centres ? CoverageFill::Sampling::PixelCentre : CoverageFill::Sampling::Area);
        for (int r = 0; r < 4; ++r) {
            for (int x = 0; x < size.width(); ++x) {
                double area = 0;
                for (const Polygon *shape : near[size_t(x)])
                    area += centres ? inside(*shape, x + 0.5, top + r + 0.5)
                                    : areaInPixel(*shape, x, top + r);
                const int expected = int(std::min(area, 1.0) * 255 + 0.5);
                const int got = rows[size_t(r) * size_t(size.width()) + size_t(x)];
                if (std::abs(got - expected) > 1) // the message only then: millions of pixels
                    QFAIL(qPrintable(QStringLiteral("pixel %1, %2: %3, not %4")
                                         .arg(x)
                                         .arg(top + r)
                                         .arg(got)
                                         .arg(expected)));
            }
        }
    }
}

// The running sums a ring integrates by parts: continuous round the pitch, each the integral of
// the one before, with no mean.
void TestFastPaths::periodicPiecesJoin()
{
    for (const double duty : { 0.5, 0.13, 0.81 }) {
        PeriodicRing::Piecewise mark;
        mark.duty = duty;
        mark.c[0][0] = 1 - duty;
        mark.c[1][0] = -duty;
        const PeriodicRing::Piecewise g = mark.integral();
        const PeriodicRing::Piecewise g1 = g.integral();
        const PeriodicRing::Piecewise g2 = g1.integral();
        for (const PeriodicRing::Piecewise *p : { &g, &g1, &g2 }) {
            QVERIFY(std::fabs(p->at(0) - p->at(1 - 1e-12)) < 1e-9);
            QVERIFY(std::fabs(p->at(duty - 1e-12) - p->at(duty)) < 1e-9);
            double mean = 0;
            for (int i = 0; i < 100000; ++i)
                mean += p->at((i + 0.5) / 100000) / 100000;
            QVERIFY2(std::fabs(mean) < 1e-9, qPrintable(QString::number(mean)));
        }
        // The steps of each one are the one before.
        for (const double xi : { 0.05, duty / 2, (1 + duty) / 2, 0.97 }) {
            constexpr double h = 1e-6;
            QVERIFY(std::fabs((g.at(xi + h) - g.at(xi - h)) / (2 * h) - mark.at(xi)) < 1e-6);
            QVERIFY(std::fabs((g1.at(xi + h) - g1.at(xi - h)) / (2 * h) - g.at(xi)) < 1e-6);
            QVERIFY(std::fabs((g2.at(xi + h) - g2.at(xi - h)) / (2 * h) - g1.at(xi)) < 1e-6);
        }
    }
}

namespace {

// A circle's arc from a to b radians, counter-clockwise as seen, finely enough that its chords
// stay within a thousandth of a pixel of it.
void addArc(Polygon &p, double cx, double cy, double r, double a, double b)
{
    const int steps = std::max(1, int(std::ceil(std::fabs(b - a) * std::sqrt(r / 0.008))));
    for (int i = 0; i <= steps; ++i) {
        const double angle = a + (b - a) * i / steps;
        p.push_back({ cx + r * std::cos(angle), cy - r * std::sin(angle) });
    }
}

}

void TestFastPaths::fineRingsCoverAsTheirMarks_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("cx");
    QTest::addColumn<double>("cy");
    QTest::addColumn<double>("inner");
    QTest::addColumn<double>("outer");
    QTest::addColumn<int>("marks");
    QTest::addColumn<double>("duty");
    QTest::addColumn<double>("start");
    // Pitches from a tenth of a pixel to two, lines through the centre, a ring the image cuts.
    QTest::newRow("half") << QSize(420, 400) << 210.3 << 199.6 << 30.0 << 190.0 << 1200 << 0.5
                          << 0.0;
    QTest::newRow("thin marks") << QSize(400, 400) << 200.0 << 200.0 << 12.0 << 180.0 << 1500
                                << 0.17 << 0.3;
    QTest::newRow("wide marks") << QSize(380, 380) << 190.5 << 190.5 << 60.0 << 170.0 << 1100
                                << 0.83 << -1.1;
    QTest::newRow("from the centre") << QSize(300, 300) << 150.25 << 149.75 << 0.0 << 140.0
                                     << 900 << 0.5 << 0.01;
    QTest::newRow("cut by the image") << QSize(260, 300) << 40.7 << 150.2 << 50.0 << 140.0
                                      << 1000 << 0.4 << 2.0;
    QTest::newRow("a pitch a pixel") << QSize(340, 340) << 170.1 << 170.2 << 100.0 << 159.0
                                     << 1000 << 0.5 << 0.5;
    QTest::newRow("a pitch of two pixels")
        << QSize(300, 300) << 150.3 << 149.8 << 20.0 << 140.0 << 440 << 0.5 << 0.2;
    QTest::newRow("two pixels, few marks")
        << QSize(100, 100) << 50.4 << 49.7 << 8.0 << 40.7 << 128 << 0.3 << 0.0;
}

// A ring of marks finer than a pixel, by its mean and corners, against the same marks as
// outlines: the same cover within a level, and pixel centres read alike.
void TestFastPaths::fineRingsCoverAsTheirMarks()
{
    QFETCH(QSize, size);
    QFETCH(double, cx);
    QFETCH(double, cy);
    QFETCH(double, inner);
    QFETCH(double, outer);
    QFETCH(int, marks);
    QFETCH(double, duty);
    QFETCH(double, start);
    const double pitch = 2 * M_PI / marks;
    CoverageFill outlines(size);
    for (int i = 0; i < marks; ++i) {
        const double a = start + i * pitch;
        Polygon mark;
        addArc(mark, cx, cy, outer, a, a + duty * pitch);
        if (inner > 0)
            addArc(mark, cx, cy, inner, a + duty * pitch, a);
        else
            mark.push_back({ cx, cy });
        outlines.addPolygon(mark);
    }
    outlines.prepare();
    CoverageFill ring(size);
    Polygon circle;
    addArc(circle, cx, cy, outer, 0, 2 * M_PI);
    ring.addPolygon(circle, float(duty));
    if (inner > 0) {
        Polygon hole;
        addArc(hole, cx, cy, inner, 2 * M_PI, 0);
        ring.addPolygon(hole, float(duty));
    }
    PeriodicRing::Track track;
    track.cx = cx;
    track.cy = cy;
    track.inner = inner;
    track.outer = outer;
    track.start = start;
    track.marks = marks;
    track.duty = duty;
    ring.addRing(track);
    ring.prepare();

    const size_t pixels = size_t(size.width()) * size_t(size.height());
    for (const auto sampling : { CoverageFill::Sampling::Area, CoverageFill::Sampling::PixelCentre }) {
        std::vector<uchar> expected(pixels), got(pixels);
        outlines.fillAlpha(expected.data(), size.width(), 0, size.height(), sampling);
        ring.fillAlpha(got.data(), size.width(), 0, size.height(), sampling);
        int worst = 0;
        size_t differing = 0, marked = 0;
        for (size_t i = 0; i < pixels; ++i) {
            worst = std::max(worst, std::abs(int(got[i]) - int(expected[i])));
            differing += got[i] != expected[i];
            marked += expected[i] != 0;
        }
        QVERIFY(marked > pixels / 10);
        if (sampling == CoverageFill::Sampling::Area)
            QVERIFY2(worst <= 1, qPrintable(QStringLiteral("%1 levels apart").arg(worst)));
        else // only centres within a rounding of a mark's edge may fall otherwise
            QVERIFY2(differing <= pixels / 20000,
                qPrintable(QStringLiteral("%1 centres read otherwise").arg(differing)));
    }
}

// A relative quadrature disc: radii in millimetres.
static EncoderSettings quadratureDisc(int pairs, double outer, double inner, int dpi)
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.type = EncoderType::Relative;
    s.pairs = pairs;
    s.quadrature = true;
    s.outerRadiusMm = outer;
    s.innerRadiusMm = inner;
    s.dpi = dpi;
    return s;
}

void TestFastPaths::fineDiscsCoverAsTheirOutlines_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    EncoderSettings relative = quadratureDisc(4000, 30, 8, 200);
    relative.borderWidthMm = 0.8;
    QTest::newRow("relative, quadrature") << relative;
    EncoderSettings split = relative;
    split.pairs = 1500;
    split.dpi = 300;
    QTest::newRow("a pitch of a pixel part way out") << split;
    EncoderSettings gray = relative;
    gray.type = EncoderType::Absolute;
    gray.code = Code::Gray;
    gray.bits = 13;
    gray.outerRadiusMm = 25;
    gray.innerRadiusMm = 3;
    gray.dpi = 300;
    QTest::newRow("13-bit Gray, coarse tracks as outlines") << gray;
    EncoderSettings plain = gray;
    plain.code = Code::Binary;
    plain.bitOrder = BitOrder::MsbToLsb;
    plain.border = false;
    QTest::newRow("13-bit binary, no border") << plain;
}

// A fine disc's render against all of its outlines filled the slow way.
void TestFastPaths::fineDiscsCoverAsTheirOutlines()
{
    QFETCH(EncoderSettings, settings);
    const QSize size = patternImageSize(settings);
    const auto fast = patternCoverage(settings);
    const auto slow = layerCoverage(size, patternGeometry(settings).layers(),
        patternPixelsPerMm(settings), patternPixelOffset(settings));
    const size_t pixels = size_t(size.width()) * size_t(size.height());
    std::vector<uchar> expected(pixels), got(pixels);
    slow->fillAlpha(expected.data(), size.width(), 0, size.height(), CoverageFill::Sampling::Area);
    fast->fillAlpha(got.data(), size.width(), 0, size.height(), CoverageFill::Sampling::Area);
    // The outlines' circles are flattened to a hundredth of a pixel, where a mark's short arc
    // keeps to its circle: they overlap by that much at the marks' ends, two levels at most.
    const PatternGeometry g = patternGeometry(settings);
    const double k = patternPixelsPerMm(settings).x();
    const QPointF centre = g.center * k + patternPixelOffset(settings);
    std::vector<double> circles;
    for (const PatternGeometry::Track &t : g.tracks) {
        const auto [inner, outer] = g.markRadii(t);
        circles.insert(circles.end(), { inner * k, outer * k });
    }
    int worst = 0, worstOnCircles = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const int apart = std::abs(int(got[i]) - int(expected[i]));
        const double r = std::hypot(double(i % size_t(size.width())) + 0.5 - centre.x(),
            double(i / size_t(size.width())) + 0.5 - centre.y());
        const bool onCircle = std::any_of(circles.begin(), circles.end(),
            [r](double c) { return std::fabs(r - c) < 1; });
        (onCircle ? worstOnCircles : worst) = std::max(onCircle ? worstOnCircles : worst, apart);
    }
    QVERIFY2(worst <= 1, qPrintable(QStringLiteral("%1 levels apart").arg(worst)));
    QVERIFY2(worstOnCircles <= 2,
        qPrintable(QStringLiteral("%1 levels apart on a circle").arg(worstOnCircles)));
}

void TestFastPaths::wholeRingsHaveNoMarkOutlines_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::addColumn<double>("border");
    // Marks under a pixel out to the rim: rings from edge to edge, whatever the last bit of
    // their radii in pixels.
    QTest::newRow("44,361 pairs, 568 dpi") << quadratureDisc(44361, 99, 24, 568) << 3.66;
    QTest::newRow("44,361 pairs, 300 dpi") << quadratureDisc(44361, 30, 10, 300) << 3.66;
    QTest::newRow("20,000 pairs, 600 dpi") << quadratureDisc(20000, 40, 12, 600) << 0.8;
    QTest::newRow("9,000 pairs, 1200 dpi") << quadratureDisc(9000, 25, 6, 1200) << 0.2;
    EncoderSettings single = quadratureDisc(30000, 51, 7, 724);
    single.quadrature = false;
    QTest::newRow("one track, 724 dpi") << single << 1.0;
}

// A track whose marks are under a pixel to its rim is a ring alone: its marks' outlines would
// add edges by the thousand that cover nothing and cost most of the fill's preparing.
void TestFastPaths::wholeRingsHaveNoMarkOutlines()
{
    QFETCH(EncoderSettings, settings);
    QFETCH(double, border);
    settings.borderWidthMm = border;
    const double k = patternPixelsPerMm(settings).x();
    const PatternGeometry g = patternGeometry(settings);
    size_t marks = 0;
    for (const PatternGeometry::Track &t : g.tracks) {
        QVERIFY2(double(t.runs.size()) / (2 * M_PI * k) > g.markRadii(t).second,
            qPrintable(QStringLiteral("%1 has marks of a pixel").arg(t.name)));
        marks += t.runs.size();
    }
    const auto fill = patternCoverage(settings);
    QVERIFY2(fill->edgeCount() < marks / 2,
        qPrintable(QStringLiteral("%1 edges for %2 marks").arg(fill->edgeCount()).arg(marks)));
}

void TestFastPaths::rowsAlikeInAnyOrder_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    QTest::newRow("fine disc, rings and outlines") << quadratureDisc(3000, 25, 6, 250);
    EncoderSettings strip;
    strip.type = EncoderType::Relative;
    strip.pairs = 900;
    strip.quadrature = true;
    strip.widthMm = 60;
    strip.heightMm = 90;
    strip.dpi = 300;
    strip.calibration = true;
    QTest::newRow("strip of many marks, calibration beside it") << strip;
    EncoderSettings gray;
    gray.bits = 9;
    gray.widthMm = 40;
    gray.heightMm = 120;
    gray.dpi = 400;
    QTest::newRow("9-bit strip, tall") << gray;
}

// Rows asked for in pieces of any size, in any order, on any thread, are the rows of the whole:
// the working memory that goes from band to band and thread to thread comes back clean.
void TestFastPaths::rowsAlikeInAnyOrder()
{
    QFETCH(EncoderSettings, settings);
    const auto fill = patternCoverage(settings);
    const QSize size = patternImageSize(settings);
    const size_t pixels = size_t(size.width()) * size_t(size.height());
    for (const auto sampling :
        { CoverageFill::Sampling::Area, CoverageFill::Sampling::PixelCentre }) {
        std::vector<uchar> whole(pixels), pieces(pixels, 7);
        fill->fillAlpha(whole.data(), size.width(), 0, size.height(), sampling);
        std::mt19937 random(11);
        std::vector<std::pair<int, int>> parts; // top, rows
        for (int top = 0; top < size.height();) {
            const int rows
                = std::min(size.height() - top, std::uniform_int_distribution<int>(1, 150)(random));
            parts.push_back({ top, rows });
            top += rows;
        }
        std::shuffle(parts.begin(), parts.end(), random);
        shareOutOverCores(int(parts.size()), [&](int i) {
            const auto [top, rows] = parts[size_t(i)];
            fill->fillAlpha(pieces.data() + size_t(top) * size_t(size.width()), size.width(), top,
                rows, sampling);
        });
        QVERIFY(whole == pieces);
    }
}

void TestFastPaths::calibrationRoomWithoutText_data()
{
    QTest::addColumn<EncoderSettings>("settings");
    EncoderSettings s;
    s.calibration = true;
    QTest::newRow("strip") << s;
    EncoderSettings narrow = s;
    narrow.widthMm = 12;
    narrow.heightMm = 5;
    QTest::newRow("narrow strip, legend wrapped") << narrow;
    EncoderSettings longStrip = s;
    longStrip.widthMm = 380;
    longStrip.bits = 12;
    QTest::newRow("long strip, rulers past 100") << longStrip;
    EncoderSettings disc = s;
    disc.shape = Shape::Disc;
    disc.outerRadiusMm = 45;
    disc.scaleX = 0.992;
    QTest::newRow("disc, printer scale in the legend") << disc;
}

// The room beside a pattern, worked out without the text's outlines, is the room they take.
void TestFastPaths::calibrationRoomWithoutText()
{
    QFETCH(EncoderSettings, settings);
    const EncoderSettings &s = settings;
    const PatternGeometry g = patternGeometry(s);
    QVERIFY(g.calibration);
    const QRectF box(
        g.margin, g.margin, g.nominal.width() + g.lineWidth, g.nominal.height() + g.lineWidth);
    const Calibration room = calibration(s, box, g.nominal, false);
    QVERIFY(!g.calibration->legend.empty());
    QVERIFY(room.legend.empty());
    QCOMPARE(room.extra, g.calibration->extra);
    QCOMPARE(room.legendLines, g.calibration->legendLines);
    QCOMPARE(room.legendBaselines, g.calibration->legendBaselines);
    QCOMPARE(patternRoomMm(s) + g.nominal.size() + QSizeF(g.lineWidth, g.lineWidth), g.page);
}

void TestFastPaths::twoColourRowsCountAndPack_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QVector<QRgb>>("colours"); // taken in turns by runs of pixels
    QTest::addColumn<int>("run");
    const QVector<QRgb> blackWhite { 0xff000000u, 0xffffffffu };
    // The alpha byte of an RGB32 pixel is not its colour.
    const QVector<QRgb> alphaAside { 0x001c65a9u, 0xfff0e0a0u, 0xff1c65a9u };
    QTest::newRow("one pixel") << 1 << blackWhite << 1;
    QTest::newRow("under a group") << 7 << blackWhite << 3;
    QTest::newRow("a group and one") << 9 << blackWhite << 2;
    QTest::newRow("fine marks") << 333 << blackWhite << 1;
    QTest::newRow("runs across groups") << 333 << blackWhite << 13;
    QTest::newRow("alpha aside") << 130 << alphaAside << 5;
    QTest::newRow("a third colour late")
        << 200 << QVector<QRgb> { 0xff000000u, 0xffffffffu, 0xff000000u, 0xffffffffu, 0xff808080u }
        << 37;
    QTest::newRow("a third colour in half a group")
        << 64 << QVector<QRgb> { 0xff000000u, 0xffffffffu, 0xff000000u, 0xff808080u } << 4;
}

// A row's colours in the order they come, and its bits for the second: as one pixel at a time
// finds them, whatever group of pixels a colour starts or ends in.
void TestFastPaths::twoColourRowsCountAndPack()
{
    QFETCH(int, width);
    QFETCH(QVector<QRgb>, colours);
    QFETCH(int, run);
    std::vector<QRgb> row(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        row[size_t(x)] = colours[(x / run) % colours.size()];
    QVector<QRgb> expected;
    for (const QRgb c : row)
        if (!expected.contains(c | 0xff000000u))
            expected.append(c | 0xff000000u);
    PixelPacking::ColorCensus census;
    census.add(row.data(), width);
    QCOMPARE(census.colors(), expected);
    if (expected.size() != 2)
        return;
    const PixelPacking::Layout layout(expected);
    const PixelPacking::RowPacker packer(layout, width);
    std::vector<uchar> packed(size_t(packer.rowBytes()), 0xa5);
    packer.pack(row.data(), packed.data());
    for (int x = 0; x < 8 * packer.rowBytes(); ++x) {
        const bool bit = packed[size_t(x / 8)] >> (7 - x % 8) & 1;
        const bool second = x < width && (row[size_t(x)] | 0xff000000u) == expected[1];
        QVERIFY2(bit == second, qPrintable(QStringLiteral("pixel %1").arg(x)));
    }
}

QTEST_MAIN(TestFastPaths)
#include "tst_fastpaths.moc"
