// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "preciseraster.h"

#include "coveragefill.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "units.h"

#include <cmath>
#include <optional>

double precisePixelsPerMm(int dpi)
{
    return Units::dotsPerMm(dpi);
}

QPointF patternPixelsPerMm(const EncoderSettings &settings)
{
    const double k = precisePixelsPerMm(settings.dpi);
    return QPointF(k / settings.scaleX, k / settings.scaleY);
}

namespace {

// The pattern's extent in pixels (page in mm times k, from the first whole pixel of the margin),
// and where that first pixel lies: margins round down to whole pixels.
struct Extent
{
    QSizeF pixels;
    double marginShift = 0;
    QPointF marginShifts; // x and y apart where a printer scale is compensated
};

Extent patternExtent(const EncoderSettings &settings)
{
    const QPointF k = patternPixelsPerMm(settings);
    const QSizeF nominal = PixelRule::nominalSizeMm(settings);
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    const QSizeF room = patternRoomMm(settings);
    const double margin = patternMarginMm(settings);
    const QSizeF mm = nominal + QSizeF(line, line) + room;
    Extent e;
    if (!settings.compensatesScale()) {
        e.marginShift = PixelRule::lengthToPixels(settings.dpi, margin) - margin * k.x();
        e.pixels = mm * k.x() + QSizeF(1, 1) * e.marginShift;
        return e;
    }
    const auto shift = [margin](double pixelsPerMm) {
        return std::trunc(margin * pixelsPerMm) - margin * pixelsPerMm;
    };
    e.marginShifts = QPointF(shift(k.x()), shift(k.y()));
    e.pixels
        = QSizeF(mm.width() * k.x() + e.marginShifts.x(), mm.height() * k.y() + e.marginShifts.y());
    return e;
}

}

QSize patternImageSize(const EncoderSettings &settings)
{
    if (settings.compensatesScale()) {
        // The plain image grown by 1 / scale, so that a printer at that scale prints it true.
        EncoderSettings plain = settings;
        plain.scaleX = plain.scaleY = 1;
        const QSize size = patternImageSize(plain);
        return QSize(
            qRound(size.width() / settings.scaleX), qRound(size.height() / settings.scaleY));
    }
    const QSize classic = PixelRule::imageSize(settings);
    if (settings.drawsClassicPixels())
        return classic;
    const QSizeF room = patternRoomMm(settings);
    const QSize size = classic
        + QSize(PixelRule::lengthToPixels(settings.dpi, room.width()),
            PixelRule::lengthToPixels(settings.dpi, room.height()));
    // The truncated size falls short of the pattern by up to two pixels. Centred, the pattern
    // loses the same on each side; the size stays while that is at most half a pixel or half a
    // border line, and grows where a thin line at a low DPI would go.
    const QSizeF extent = patternExtent(settings).pixels;
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    const double loss = std::max(0.5, line * precisePixelsPerMm(settings.dpi) / 2);
    const auto least = [loss](double pixels) { return int(std::ceil(pixels - 2 * loss - 1e-9)); };
    return size.expandedTo(QSize(least(extent.width()), least(extent.height())));
}

QPointF patternPixelOffset(const EncoderSettings &settings)
{
    const Extent e = patternExtent(settings);
    const QSize size = patternImageSize(settings);
    if (settings.compensatesScale()) {
        // Centred both ways, the pattern keeps the plain image's centring, grown.
        return QPointF(e.marginShifts.x() - (e.pixels.width() - size.width()) / 2,
            e.marginShifts.y() - (e.pixels.height() - size.height()) / 2);
    }
    const auto centred = [&e](double extent, int pixels) {
        return e.marginShift - std::max(0.0, extent - pixels) / 2;
    };
    return QPointF(centred(e.pixels.width(), size.width()),
        centred(e.pixels.height(), size.height()));
}

std::unique_ptr<CoverageFill> layerCoverage(
    QSize size, const std::vector<Shapes::Layer> &layers, double pixelsPerMm, QPointF offset)
{
    return layerCoverage(size, layers, QPointF(pixelsPerMm, pixelsPerMm), offset);
}

namespace {

// A fill layer's contours, flattened to within a hundredth of a pixel, into the fill.
void addLayer(CoverageFill &fill, const Shapes::Layer &layer, QPointF pixelsPerMm, QPointF offset,
    float weight = 1.0f, double tolerancePx = 0.01)
{
    if (layer.kind != Shapes::Layer::Kind::Fill)
        return;
    std::vector<CoverageFill::Point> polygon;
    std::vector<QPointF> flat;
    for (const Shapes::Contour &contour : layer.contours) {
        polygon.clear();
        contour.flattenInto(tolerancePx / std::max(pixelsPerMm.x(), pixelsPerMm.y()), flat);
        for (const QPointF &p : flat)
            polygon.push_back(
                { p.x() * pixelsPerMm.x() + offset.x(), p.y() * pixelsPerMm.y() + offset.y() });
        fill.addPolygon(polygon, weight);
    }
}

// How far out a fine ring of n marks goes on a track reaching outerMm: to where its pitch is two
// pixels. Out there the marks' edges cross a row a pixel, and the ring costs no more; its
// corners' expansion stays within a level (tested).
double fineOuterMm(double outerMm, size_t n, double pixelsPerMm)
{
    constexpr double widestPitch = 2; // pixels
    return std::min(outerMm, widestPitch * double(n) / (2 * M_PI * pixelsPerMm));
}

// The part of a disc track within the radius where its pitch is two pixels, when its marks are
// alike at an even pitch and that part is more than a few pixels deep: its marks' edges would
// cross more rows than the image has pixels, where a ring costs a few operations a pixel.
std::optional<PeriodicRing::Track> fineRing(
    const PatternGeometry &g, const PatternGeometry::Track &t, QPointF pixelsPerMm, QPointF offset)
{
    constexpr size_t fewestMarks = 64;
    constexpr double shallowest = 2; // pixels
    constexpr double tolerance = 1e-7; // degrees
    const size_t n = t.runs.size();
    if (g.shape != Shape::Disc || g.markBias != 0 || pixelsPerMm.x() != pixelsPerMm.y()
        || n < fewestMarks)
        return std::nullopt;
    const double pitch = 360.0 / double(n);
    const double first = t.runs.front().from;
    const double width = t.runs.front().to - first;
    if (!(width > tolerance && width < pitch - tolerance))
        return std::nullopt;
    // Each run one pitch from another, in any order, one in each pitch.
    std::vector<bool> taken(n, false);
    for (const PatternGeometry::Run &run : t.runs) {
        const double steps = (run.from - first) / pitch;
        const double place = std::round(steps);
        const qint64 count = qint64(n);
        const qint64 at = (qint64(place) % count + count) % count;
        if (std::fabs(steps - place) * pitch > tolerance
            || std::fabs(run.to - run.from - width) > tolerance || taken[size_t(at)])
            return std::nullopt;
        taken[size_t(at)] = true;
    }
    const double k = pixelsPerMm.x();
    const auto [inner, outer] = g.markRadii(t);
    PeriodicRing::Track ring;
    ring.cx = g.center.x() * k + offset.x();
    ring.cy = g.center.y() * k + offset.y();
    ring.inner = inner * k;
    ring.outer = fineOuterMm(outer, n, k) * k;
    if (ring.outer - ring.inner < shallowest)
        return std::nullopt;
    ring.start = first * M_PI / 180.0;
    ring.marks = int(n);
    ring.duty = width / pitch;
    return ring;
}

// A ring in the fill: its mean over its area by its circles, the rest by the ring, and the
// marks beyond it by their outlines.
void addRing(CoverageFill &fill, const PatternGeometry &g, const PatternGeometry::Track &t,
    const PeriodicRing::Track &ring, QPointF pixelsPerMm, QPointF offset)
{
    const double k = pixelsPerMm.x();
    const auto [inner, outer] = g.markRadii(t);
    // The same radius as the ring's, not its pixels divided back: a last-bit difference would
    // take every mark for one going on past the ring, as a sector of no width.
    const double ringOuter = fineOuterMm(outer, t.runs.size(), k);
    Shapes::Layer mean { t.name, Shapes::Layer::Kind::Fill, {} };
    if (inner > 0)
        mean.contours.push_back(Shapes::circle(g.center, inner, true));
    if (ringOuter < outer) {
        // Where the marks go on as outlines, their short arcs keep to the circle: so must the
        // ring, closer than a border line's circle need.
        addLayer(fill, { t.name, Shapes::Layer::Kind::Fill, { Shapes::circle(g.center, ringOuter) } },
            pixelsPerMm, offset, float(ring.duty), 0.0005);
    } else {
        mean.contours.push_back(Shapes::circle(g.center, ringOuter));
    }
    addLayer(fill, mean, pixelsPerMm, offset, float(ring.duty));
    fill.addRing(ring);
    if (ringOuter < outer) {
        Shapes::Layer beyond { t.name, Shapes::Layer::Kind::Fill, {} };
        for (const PatternGeometry::Run &run : t.runs)
            beyond.contours.push_back(
                Shapes::annularSector(g.center, ringOuter, outer, run.from, run.to - run.from));
        addLayer(fill, beyond, pixelsPerMm, offset);
    }
}

}

std::unique_ptr<CoverageFill> layerCoverage(
    QSize size, const std::vector<Shapes::Layer> &layers, QPointF pixelsPerMm, QPointF offset)
{
    auto fill = std::make_unique<CoverageFill>(size);
    for (const Shapes::Layer &layer : layers)
        addLayer(*fill, layer, pixelsPerMm, offset);
    fill->prepare();
    return fill;
}

std::unique_ptr<CoverageFill> patternCoverage(const EncoderSettings &settings)
{
    // A layer at a time, a track's marks a few thousand at a time: the outlines of every mark of
    // a fine pattern would be tens of megabytes of fresh pages beside the fill's own edges, where
    // each part is done with before the next is made in the same memory.
    auto fill = std::make_unique<CoverageFill>(patternImageSize(settings));
    const QPointF pixelsPerMm = patternPixelsPerMm(settings);
    const QPointF offset = patternPixelOffset(settings);
    PatternGeometry g = patternGeometry(settings);
    for (PatternGeometry::Track &t : g.tracks) {
        if (const auto ring = fineRing(g, t, pixelsPerMm, offset)) {
            addRing(*fill, g, t, *ring, pixelsPerMm, offset);
            t.runs.clear();
        }
    }
    constexpr size_t marksAPart = 4096;
    g.forEachLayer(PatternGeometry::MarkEdges::AtBorder,
        [&](Shapes::Layer &&layer) { addLayer(*fill, layer, pixelsPerMm, offset); }, marksAPart);
    fill->prepare();
    return fill;
}
