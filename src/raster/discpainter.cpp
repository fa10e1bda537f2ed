// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "discpainter.h"

#include "arcs.h"
#include "classicpixels.h"

#include "coveragefill.h"
#include "paintcommon.h"
#include "pixelrule.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

constexpr double degreesToRadians = 3.14159265358979323846 / 180.0;

// The angles come in exact (a float step times an even count plus a float offset fits a double),
// and double trigonometry is many times faster than the extended one, to far below a pixel.
QPointF pointAt(QPointF center, qreal radius, double degrees)
{
    const double a = static_cast<double>(degrees) * (M_PI / 180.0);
    return QPointF(center.x() + radius * std::cos(a), center.y() - radius * std::sin(a));
}

// Arc pieces from exact end points. QPainterPath::arcTo finds its end points through an
// approximation of the angle that puts boundaries up to 0.027 degrees off, which is a visible
// step error on a fine disc, and QPainter::drawEllipse bulges outward by up to 2.7e-4 of the
// radius, leaving pinholes between sectors and circles; cubic pieces of at most 45 degrees
// keep every rim within 0.02 px.
void appendArc(QPainterPath &path, QPointF center, qreal radius, double startDegrees,
    double sweepDegrees)
{
    const int pieces = Arcs::pieceCount(sweepDegrees, 45.0);
    const double step = sweepDegrees / pieces;
    for (int i = 0; i < pieces; ++i) {
        const double a0 = startDegrees + step * i;
        const double a1 = (i == pieces - 1) ? startDegrees + sweepDegrees : a0 + step;
        const QPointF p0 = pointAt(center, radius, a0);
        const QPointF p3 = pointAt(center, radius, a1);
        const Arcs::Cubic c
            = Arcs::cubic(center, p0, p3, static_cast<double>(step * degreesToRadians));
        path.cubicTo(c.c1, c.c2, p3);
    }
}

// A pie sector, its straight edges split where `split` crosses them; without the centre, the
// annular sector outside `split`. Whole or cut, the edges outside `split` are the same segments,
// so a rasteriser puts the same pixels along them.
void addSector(QPainterPath &path, QPointF center, qreal radius, double startDegrees,
    double sweepDegrees, qreal split = 0, bool keepCentre = true)
{
    if (!keepCentre && split >= radius)
        return; // wholly inside the clearing that follows
    const QPointF rimStart = pointAt(center, radius, startDegrees);
    const QPointF rimEnd = pointAt(center, radius, startDegrees + sweepDegrees);
    if (split <= 0 || split >= radius) {
        path.moveTo(center);
        path.lineTo(rimStart);
        appendArc(path, center, radius, startDegrees, sweepDegrees);
        path.closeSubpath();
        return;
    }
    // On the very line from the centre to the rim.
    const qreal t = split / radius;
    const QPointF innerStart = center + (rimStart - center) * t;
    const QPointF innerEnd = center + (rimEnd - center) * t;
    path.moveTo(innerStart);
    path.lineTo(rimStart);
    appendArc(path, center, radius, startDegrees, sweepDegrees);
    path.lineTo(innerEnd);
    if (keepCentre) {
        path.lineTo(center);
    } else {
        // Back along the inner circle; its pixels are cleared by a later layer either way.
        const int pieces
            = std::max(1, static_cast<int>(std::ceil(std::fabs(sweepDegrees) / 45.0L)));
        for (int i = pieces - 1; i >= 0; --i) {
            const QPointF p = center
                + (pointAt(center, radius, startDegrees + sweepDegrees * i / pieces) - center) * t;
            path.lineTo(p);
        }
    }
    path.closeSubpath();
}

QPainterPath circlePath(QPointF center, qreal radius)
{
    QPainterPath path;
    path.moveTo(pointAt(center, radius, 0));
    appendArc(path, center, radius, 0, 360);
    path.closeSubpath();
    return path;
}

// The annulus between the radii, for clearing.
QPainterPath annulusPath(QPointF center, qreal inner, qreal outer)
{
    QPainterPath path = circlePath(center, outer);
    if (inner > 0)
        path.addPath(circlePath(center, inner));
    return path; // odd-even: the inner circle is a hole
}

// A circle on the same exact arcs as the sectors; a circle of radius 0 is left to the painter.
void drawCircle(QPainter &painter, QPointF center, qreal radius)
{
    if (radius > 0)
        painter.drawPath(circlePath(center, radius));
    else
        painter.drawEllipse(center, radius, radius);
}

// The outline of a circle `penWidth` wide, as far as it can put pixels in the clip's rows: the
// arc pieces of circlePath that come near them. Stroked, each piece puts the same pixels there as
// within the whole circle; the ends of a run of pieces, their caps included, lie outside. A band
// of a large disc then strokes a few arcs instead of every circle whole.
void strokeCircle(QPainter &painter, QPointF center, qreal radius, qreal penWidth)
{
    constexpr int pieces = 8; // of 45 degrees, as appendArc makes them
    if (radius <= 0 || !painter.hasClipping()) {
        drawCircle(painter, center, radius);
        return;
    }
    const QRectF clip = painter.clipBoundingRect();
    const qreal reach = penWidth + 2; // a square cap's corner lies 0.71 widths from its end
    const qreal top = clip.top() - reach;
    const qreal bottom = clip.bottom() + reach;
    // A piece lies within the hull of its control points: its ends and tangent handles, which
    // stand out from the chord by no more than this.
    const qreal bulge = radius * (1 - std::cos(M_PI / 8)) / std::cos(M_PI / 8) + 1;
    bool near[pieces];
    int count = 0;
    for (int i = 0; i < pieces; ++i) {
        const qreal y0 = pointAt(center, radius, 45.0L * i).y();
        const qreal y1 = pointAt(center, radius, 45.0L * (i + 1)).y();
        near[i] = std::max(y0, y1) + bulge >= top && std::min(y0, y1) - bulge <= bottom;
        count += near[i];
    }
    if (count == 0)
        return;
    if (count == pieces) {
        drawCircle(painter, center, radius);
        return;
    }
    QPainterPath path;
    // Runs of near pieces, from one that follows a far one, around the circle.
    int first = 0;
    while (near[first] || !near[(first + 1) % pieces])
        first = (first + 1) % pieces;
    for (int k = 1; k <= pieces; ++k) {
        const int i = (first + k) % pieces;
        if (!near[i])
            continue;
        if (!near[(i + pieces - 1) % pieces])
            path.moveTo(pointAt(center, radius, 45.0L * i));
        appendArc(path, center, radius, 45.0L * i, 45.0L);
    }
    painter.drawPath(path);
}

QRectF squareAround(QPointF center, qreal radius)
{
    return QRectF(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
}

QPointF centerOf(QSize size)
{
    return QPointF(size.width() * 0.5, size.height() * 0.5);
}

void drawTracks(QPainter &painter, const EncoderSettings &settings, QSize size, bool cutShort)
{
    painter.fillRect(QRect(QPoint(0, 0), size), settings.background);
    // Outermost first: every track clears the inside of its own inner radius.
    const std::vector<DiscTrack> tracks = discTracks(settings);
    for (size_t j = 0; j < tracks.size(); ++j) {
        const DiscTrack &track = tracks[j];
        // What a later layer covers completely need not be drawn: a track's sectors inside its
        // own clearing disc, and that disc inside the next track's. Two pixels of overlap keep
        // every edge pixel as the full shapes leave it, so the plain pixels are the same.
        const qreal sectorsFrom = std::max(0, track.innerRadius - 2);
        const qreal clearFrom
            = j + 1 < tracks.size() ? std::max(0, tracks[j + 1].innerRadius - 2) : 0;
        drawDiscTrack(painter, settings, size, track.innerRadius, track.outerRadius, track.segments,
            track.phase, sectorsFrom, clearFrom, !cutShort);
    }
    drawCenterMark(painter, settings, size, 0.0f);
}

EncoderSettings withCode(EncoderSettings settings, EncoderType type, bool gray)
{
    settings.type = type;
    settings.code = gray ? Code::Gray : Code::Binary;
    return settings;
}

}

std::vector<DiscTrack> discTracks(const EncoderSettings &settings)
{
    const int outer = PixelRule::mmToPixels(settings.dpi, settings.outerRadiusMm);
    const int inner = PixelRule::mmToPixels(settings.dpi, settings.innerRadiusMm);
    const std::vector<ClassicTrack> code = classicTracks(settings);
    const int count = int(code.size());
    const bool relative = settings.type == EncoderType::Relative;
    std::vector<DiscTrack> tracks;
    if (count == 0)
        return tracks;
    // Whole-pixel rings of the truncated width; the rest of the ring stays inside the last.
    const int trackWidth = (outer - inner) / count;
    for (int j = 0; j < count; ++j) {
        DiscTrack track;
        track.innerRadius = inner + (count - 1 - j) * trackWidth;
        // One pixel past the next track's inner radius, so neighbouring tracks leave no seam;
        // the one ring of a relative disc is the whole ring.
        track.outerRadius = relative ? outer : inner + (count - j) * trackWidth + 1;
        track.segments = code[size_t(j)].segments;
        track.phase = code[size_t(j)].phase;
        tracks.push_back(track);
    }
    return tracks;
}

qreal sectorRadius(const EncoderSettings &settings, int outerRadius)
{
    // With circles on, the sectors reach half a pixel under the outer circle's stroke, so that no
    // pixel between the two is left uncovered.
    if (!settings.border)
        return outerRadius;
    const qreal half = PixelRule::borderPixels(settings.dpi, settings.borderWidthMm) / 2.0;
    return outerRadius - half + std::min<qreal>(half, 0.5);
}

namespace {

// What a sector's rows depend on besides its radii: the sines of its two edges, and whether its
// arc passes the top (90 degrees) or the bottom (270) of the circle.
struct SectorReach
{
    double sineFrom;
    double sineTo;
    bool passesTop;
    bool passesBottom;
};

// The reach of every sector of a track, kept between calls: every band of a render asks for the
// same tracks, and working them out is most of the cost of choosing a band's sectors. Shared
// under a lock rather than kept per thread: glibc aborts the program when a thread's first use
// of a thread_local that has a destructor finds memory short.
std::shared_ptr<const std::vector<SectorReach>> sectorReaches(int segments, float offsetDegrees)
{
    struct Track
    {
        int segments;
        float offset;
        std::shared_ptr<const std::vector<SectorReach>> reaches;
    };
    static std::mutex lock;
    static auto *tracks = new std::vector<Track>; // lives as long as the program
    static size_t kept = 0;
    {
        const std::lock_guard<std::mutex> hold(lock);
        for (const Track &t : *tracks) {
            if (t.segments == segments && t.offset == offsetDegrees)
                return t.reaches;
        }
    }
    const float sweep = 360.0f / static_cast<float>(segments);
    auto reaches = std::make_shared<std::vector<SectorReach>>(size_t(segments / 2));
    for (int i = 0; i < segments / 2; ++i) {
        const double start = sectorStartDegrees(sweep, offsetDegrees, i);
        const double from = std::fmod(double(start), 360.0) + (start < 0 ? 360.0 : 0.0);
        const double to = from + double(sweep);
        const auto passes
            = [&](double a, double b) { return (a > from && a < to) || (b > from && b < to); };
        (*reaches)[size_t(i)] = { std::sin(double(start) * (M_PI / 180.0)),
            std::sin(double(start + sweep) * (M_PI / 180.0)), passes(90.0, 450.0),
            passes(270.0, 630.0) };
    }
    const std::lock_guard<std::mutex> hold(lock);
    // Room for every track of the finest disc (65,535 sectors), not for every disc ever drawn.
    if (kept + size_t(segments / 2) > (size_t(1) << 17)) {
        tracks->clear();
        kept = 0;
    }
    kept += size_t(segments / 2);
    tracks->push_back({ segments, offsetDegrees, reaches });
    return reaches;
}

// Whether the sector's rows can reach into [top, bottom].
bool sectorMeetsRows(
    QPointF center, qreal inner, qreal outer, const SectorReach &reach, qreal top, qreal bottom)
{
    qreal low = 1e300;
    qreal high = -1e300;
    const auto add = [&](qreal y) {
        low = std::min(low, y);
        high = std::max(high, y);
    };
    for (const double s : { reach.sineFrom, reach.sineTo }) {
        add(center.y() - outer * s);
        add(center.y() - inner * s);
    }
    // The arc reaches furthest up at 90 degrees and down at 270.
    if (reach.passesTop)
        add(center.y() - outer);
    if (reach.passesBottom)
        add(center.y() + outer);
    return high >= top && low <= bottom;
}

}

namespace {

// sectorPath() with the track's sector reaches at hand (none: every sector goes in), as a band's
// chunks of one track share them.
QPainterPath sectorsMeetingRows(QPointF center, qreal radius, int segments, float offsetDegrees,
    qreal innerRadius, bool keepCentre, QRectF within, const std::vector<SectorReach> *reaches,
    int firstSector, int endSector)
{
    QPainterPath path;
    const int sectors = endSector - firstSector;
    if (sectors <= 0)
        return path;
    const float sweep = 360.0f / static_cast<float>(segments);
    // Sectors go in in bit-reversed order: added in angular order, their edges reach Qt's
    // scanline rasteriser sorted in a way that makes it quadratic (seconds on a fine disc).
    // The filled pixels do not depend on the order.
    int bits = 0;
    while ((1 << bits) < sectors)
        ++bits;
    for (int n = 0; n < (1 << bits); ++n) {
        int i = 0;
        for (int b = 0; b < bits; ++b)
            i |= ((n >> b) & 1) << (bits - 1 - b);
        if (i >= sectors)
            continue;
        i += firstSector;
        // A band of rows painted on its own needs only the sectors that reach into it.
        if (reaches
            && !sectorMeetsRows(center, keepCentre ? 0 : std::max<qreal>(innerRadius, 0), radius,
                (*reaches)[size_t(i)], within.top(), within.bottom()))
            continue;
        addSector(path, center, radius, sectorStartDegrees(sweep, offsetDegrees, i), sweep,
            innerRadius, keepCentre);
    }
    return path;
}

}

QPainterPath sectorPath(QPointF center, qreal radius, int segments, float offsetDegrees,
    qreal innerRadius, bool keepCentre, QRectF within, int firstSector, int endSector)
{
    const std::shared_ptr<const std::vector<SectorReach>> reaches
        = within.isNull() ? nullptr : sectorReaches(segments, offsetDegrees);
    return sectorsMeetingRows(center, radius, segments, offsetDegrees, innerRadius, keepCentre,
        within, reaches.get(), firstSector, endSector < 0 ? segments / 2 : endSector);
}

void drawDiscTrack(QPainter &painter, const EncoderSettings &settings, QSize size, int innerRadius,
    int outerRadius, int segments, float phase, qreal sectorsFrom, qreal clearFrom, bool whole)
{
    const QPointF center = centerOf(size);
    const float sweep = 360.0f / static_cast<float>(segments);
    const float offset = sweep * phase;

    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(settings.foreground, Qt::SolidPattern));
    const QRectF rows
        = painter.hasClipping() ? painter.clipBoundingRect().adjusted(-2, -2, 2, 2) : QRectF();
    // Plain sectors go to the rasteriser a few at a time where they stay apart. Its intersections
    // on a scanline sit in a search tree that is not kept balanced, which made one fill of
    // thousands of sectors most of a fine disc's time; the pixels of separate fills of sectors
    // that never touch are those of one fill. Pies meet at the centre, where their rounded
    // edges cross and one fill's even-odd rule decides those pixels differently, and
    // antialiased, separate fills would show seams: one fill there. The gap kept, a 64th of a
    // pixel, is far above the rasteriser's rounding.
    const int sectors = segments / 2;
    const qreal from = whole ? 0 : sectorsFrom;
    const bool apart = from * (2 * M_PI / segments) >= 1.0 / 64;
    const int chunk = !apart || painter.testRenderHint(QPainter::Antialiasing) ? sectors : 4;
    const qreal radius = sectorRadius(settings, outerRadius);
    // The reaches once a band, not once a chunk: most of a fine track's chunks lie wholly
    // outside the band's rows, and come back empty at once.
    const std::shared_ptr<const std::vector<SectorReach>> reaches
        = rows.isNull() ? nullptr : sectorReaches(segments, offset);
    for (int first = 0; first < sectors; first += chunk) {
        const QPainterPath path = sectorsMeetingRows(center, radius, segments, offset, sectorsFrom,
            whole, rows, reaches.get(), first, std::min(sectors, first + chunk));
        if (!path.isEmpty())
            painter.drawPath(path);
    }

    // The sectors start at the centre; clearing the inside turns them into annular segments.
    painter.setBrush(QBrush(settings.background, Qt::SolidPattern));
    if (!whole && clearFrom > 0 && clearFrom < innerRadius)
        painter.drawPath(annulusPath(center, clearFrom, innerRadius));
    else
        drawCircle(painter, center, innerRadius);

    if (settings.border)
        drawTrackCircles(painter, settings, size, innerRadius, outerRadius);
}

void drawTrackCircles(QPainter &painter, const EncoderSettings &settings, QSize size,
    int innerRadius, int outerRadius)
{
    const QPointF center = centerOf(size);
    painter.setBrush(Qt::NoBrush);
    const int width = PixelRule::borderPixels(settings.dpi, settings.borderWidthMm);
    painter.setPen(linePen(settings.foreground, width));
    strokeCircle(painter, center, innerRadius, std::max(width, 1));
    strokeCircle(painter, center, outerRadius, std::max(width, 1));
}

void drawCenterMark(QPainter &painter, const EncoderSettings &settings, QSize size, float angle)
{
    if (!settings.centerMark)
        return;
    const int inner = PixelRule::mmToPixels(settings.dpi, settings.innerRadiusMm);
    const float arm = static_cast<float>(inner * 0.5);
    const float cx = static_cast<float>(size.width() * 0.5);
    const float cy = cx;
    const int bpx = PixelRule::borderPixels(settings.dpi, settings.borderWidthMm);

    painter.setPen(linePen(settings.foreground, bpx));
    const QLineF horizontal(cx - arm, cy, cx + arm, cy);
    const QLineF vertical(cx, cy - arm, cx, cy + arm);
    painter.drawLines(&horizontal, 1);
    painter.drawLines(&vertical, 1);

    painter.setBrush(QBrush(settings.foreground, Qt::SolidPattern));
    const float dot = arm / 5;
    const QPointF dotCenter(cx + arm * std::cos(angle), cy - arm * std::sin(angle));
    painter.drawEllipse(squareAround(dotCenter, dot));
}

void drawDiscLayers(QPainter &painter, const EncoderSettings &settings, QSize size, bool cutShort)
{
    drawTracks(painter, settings, size, cutShort);
}

void drawGrayDisc(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    drawTracks(painter, withCode(settings, EncoderType::Absolute, true), size, true);
}

void drawBinaryDisc(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    drawTracks(painter, withCode(settings, EncoderType::Absolute, false), size, true);
}

void drawRelativeDisc(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    drawTracks(painter, withCode(settings, EncoderType::Relative, settings.code == Code::Gray), size, true);
}

namespace {

// Points along the arc from `from` to `to` degrees (either direction), both ends exact, the chords
// within a hundredth of a pixel of the circle.
void appendArc(std::vector<CoverageFill::Point> &points, QPointF center, qreal radius,
    double from, double to)
{
    constexpr double tolerance = 0.01;
    const double span = (to - from) * degreesToRadians;
    const int steps = Arcs::chordCount(radius, span, tolerance);
    for (int k = 0; k <= steps; ++k) {
        const double degrees = k == steps ? to : from + (to - from) * k / steps;
        const QPointF p = pointAt(center, radius, degrees);
        points.push_back({ p.x(), p.y() });
    }
}

}

namespace {

using Interval = std::pair<double, double>;

// The angles a track's sectors cover, within [0, 360), sorted.
std::vector<Interval> sectorIntervals(const DiscTrack &track)
{
    const float sweep = 360.0f / static_cast<float>(track.segments);
    const float offset = sweep * track.phase;
    std::vector<Interval> intervals;
    for (int i = 0; i < track.segments / 2; ++i) {
        const double start = std::fmod(sectorStartDegrees(sweep, offset, i), 360.0L);
        const double end = start + sweep;
        if (end > 360) {
            intervals.push_back({ start, 360 });
            intervals.push_back({ 0, end - 360 });
        } else {
            intervals.push_back({ start, end });
        }
    }
    std::sort(intervals.begin(), intervals.end());
    return intervals;
}

// The parts of the sorted intervals `a` that no interval of the sorted `b` covers.
std::vector<Interval> subtract(const std::vector<Interval> &a, const std::vector<Interval> &b)
{
    std::vector<Interval> result;
    size_t first = 0;
    for (Interval x : a) {
        while (first < b.size() && b[first].second <= x.first)
            ++first;
        for (size_t k = first; k < b.size() && b[k].first < x.second; ++k) {
            if (b[k].first > x.first)
                result.push_back({ x.first, b[k].first });
            x.first = std::max(x.first, b[k].second);
        }
        if (x.first < x.second)
            result.push_back(x);
    }
    return result;
}

}

namespace {

// What a disc's coverage is made from, all of it.
struct DiscShapes
{
    QSize size;
    std::vector<DiscTrack> tracks;
    int borderPixels = -1; // -1: no circles

    bool operator==(const DiscShapes &o) const
    {
        return size == o.size && borderPixels == o.borderPixels && tracks == o.tracks;
    }
};

std::shared_ptr<const CoverageFill> makeDiscCoverage(
    const EncoderSettings &settings, QSize size, const std::vector<DiscTrack> &tracks);

}

std::shared_ptr<const CoverageFill> discCoverage(const EncoderSettings &settings, QSize size)
{
    const DiscShapes shapes { size, discTracks(settings),
        settings.border ? PixelRule::borderPixels(settings.dpi, settings.borderWidthMm) : -1 };
    struct Last
    {
        DiscShapes shapes;
        bool making = false;
        std::weak_ptr<const CoverageFill> fill; // not kept past its last holder
    };
    static std::mutex lock;
    static std::condition_variable made;
    static auto *last = new Last; // lives as long as the program
    std::unique_lock<std::mutex> hold(lock);
    while (last->shapes == shapes) {
        if (std::shared_ptr<const CoverageFill> fill = last->fill.lock())
            return fill;
        if (!last->making)
            break;
        made.wait(hold);
    }
    *last = Last { shapes, true, {} };
    hold.unlock();
    // Made or failed, those waiting for these shapes go on.
    const auto done = [&](std::shared_ptr<const CoverageFill> fill) {
        hold.lock();
        if (last->shapes == shapes)
            *last = Last { shapes, false, std::move(fill) };
        made.notify_all();
    };
    std::shared_ptr<const CoverageFill> fill;
    try {
        fill = makeDiscCoverage(settings, size, shapes.tracks);
    } catch (...) {
        done(nullptr);
        throw;
    }
    done(fill);
    return fill;
}

namespace {

std::shared_ptr<const CoverageFill> makeDiscCoverage(
    const EncoderSettings &settings, QSize size, const std::vector<DiscTrack> &tracks)
{
    const QPointF center = centerOf(size);
    auto fill = std::make_unique<CoverageFill>(size);
    std::vector<CoverageFill::Point> polygon;
    const auto addSector = [&](qreal inner, qreal outer, double from, double to) {
        polygon.clear();
        appendArc(polygon, center, outer, from, to);
        if (inner > 0)
            appendArc(polygon, center, inner, to, from);
        else
            polygon.push_back({ center.x(), center.y() });
        fill->addPolygon(polygon);
    };
    // The circles' strokes are rings, joined where they meet; the sectors are cut back to
    // where no ring lies, so that no two shapes overlap and the coverage adds up to the union
    // that the painter's layers make.
    std::vector<std::pair<qreal, qreal>> rings;
    if (settings.border) {
        const qreal half
            = std::max(PixelRule::borderPixels(settings.dpi, settings.borderWidthMm), 1) / 2.0;
        std::vector<Arcs::Band> bands;
        for (const DiscTrack &track : tracks) {
            for (const int radius : { track.innerRadius, track.outerRadius }) {
                if (radius > 0) // a circle of radius 0 is left to the painter
                    bands.push_back({ std::max<qreal>(0, radius - half), radius + half });
            }
        }
        for (const Arcs::Band &band : Arcs::mergedBands(std::move(bands)))
            rings.push_back({ band.from, band.to });
    }
    const auto addOpenSector = [&](qreal inner, qreal outer, double from, double to) {
        for (const auto &ring : rings) {
            if (ring.second <= inner)
                continue;
            if (ring.first >= outer)
                break;
            if (ring.first > inner)
                addSector(inner, ring.first, from, to);
            inner = ring.second;
        }
        if (inner < outer)
            addSector(inner, outer, from, to);
    };
    size_t edges = 0;
    for (const DiscTrack &track : tracks) {
        const double sweep = 2 * M_PI / track.segments;
        edges += size_t(track.segments / 2)
            * size_t(Arcs::chordCount(track.outerRadius, sweep, 0.01)
                + Arcs::chordCount(track.innerRadius, sweep, 0.01) + 2);
    }
    fill->reserveEdges(edges);
    for (size_t t = 0; t < tracks.size(); ++t) {
        const DiscTrack &track = tracks[t];
        const qreal outer = sectorRadius(settings, track.outerRadius);
        const qreal inner = track.innerRadius;
        if (outer <= inner)
            continue; // cleared entirely by the track's own inner disc
        // Where the track reaches into the one outside it, only what that one leaves open is
        // added: the coverage fill sums overlapping shapes, the painter's layers make a union.
        const qreal outside = t > 0 ? qreal(tracks[t - 1].innerRadius) : outer;
        const qreal body = std::clamp(outside, inner, outer);
        const std::vector<Interval> own = sectorIntervals(track);
        if (body > inner) {
            for (const Interval &i : own)
                addOpenSector(inner, body, i.first, i.second);
        }
        if (outer > body) {
            for (const Interval &i : subtract(own, sectorIntervals(tracks[t - 1])))
                addOpenSector(body, outer, i.first, i.second);
        }
    }
    for (const auto &ring : rings) {
        polygon.clear();
        appendArc(polygon, center, ring.second, 0, 360);
        fill->addPolygon(polygon);
        if (ring.first > 0) {
            polygon.clear();
            appendArc(polygon, center, ring.first, 360, 0); // the other way round: a hole
            fill->addPolygon(polygon);
        }
    }
    fill->prepare();
    return fill;
}

// Whether the border has a circle of radius 0, a dot of the pen at the centre.
bool centreCircle(const EncoderSettings &settings, const std::vector<DiscTrack> &tracks)
{
    return settings.border && std::any_of(tracks.cbegin(), tracks.cend(), [](const DiscTrack &t) {
        return t.innerRadius == 0 || t.outerRadius == 0;
    });
}

}

std::pair<int, int> discOverlayRows(const EncoderSettings &settings, QSize size)
{
    const bool dot = centreCircle(settings, discTracks(settings));
    if (!dot && !settings.centerMark)
        return { 0, -1 };
    // The cross's arms and square caps, the dot on its arm and the pen around either, and a
    // pixel of antialiasing, from the centre drawCenterMark takes (half the width, both ways).
    const double arm = settings.centerMark
        ? PixelRule::mmToPixels(settings.dpi, settings.innerRadiusMm) * 0.5
        : 0.0;
    const double pen = std::max(PixelRule::borderPixels(settings.dpi, settings.borderWidthMm), 1);
    const double reach = arm + arm / 5 + pen + 2;
    const double centre = size.width() * 0.5;
    return { std::max(0, PixelRule::floorToInt(centre - reach)),
        std::min(size.height() - 1, PixelRule::ceilToInt(centre + reach)) };
}

void drawDiscOverlay(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    if (centreCircle(settings, discTracks(settings))) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(linePen(
            settings.foreground, PixelRule::borderPixels(settings.dpi, settings.borderWidthMm)));
        drawCircle(painter, centerOf(size), 0);
    }
    drawCenterMark(painter, settings, size, 0.0f);
}
