// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "fabrication.h"

#include "geos.h"
#include "patterngeometry.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace Fabrication {

namespace {

using Geos::Geometry;
using Cut = EncoderSettings::Cut;

// Arcs become chords within 0.5 um, the kerf's round joins stay within 0.4 um of their arcs:
// together under segmentError.
constexpr double flattening = 0.0005;
constexpr double joinError = 0.0004;
// Slivers thinner than this, left where two shapes meet on the same circle, are no material.
constexpr double sliver = 0.00025;

struct Prepared
{
    const GEOSPreparedGeometry *geometry = nullptr;
    GEOSContextHandle_t handle = nullptr;
    QRectF box;
    Prepared(GEOSContextHandle_t h, const GEOSGeometry *g, QRectF b)
        : geometry(Geos::api().GEOSPrepare_r(h, g)), handle(h), box(b)
    { }
    Prepared(const Prepared &) = delete;
    Prepared(Prepared &&other) noexcept
        : geometry(other.geometry), handle(other.handle), box(other.box)
    {
        other.geometry = nullptr;
    }
    ~Prepared()
    {
        if (geometry)
            Geos::api().GEOSPreparedGeom_destroy_r(handle, geometry);
    }
    bool contains(const Geos::Context &geos, QPointF p) const
    {
        if (!box.contains(p))
            return false;
        Geometry point = geos.point(p);
        return Geos::api().GEOSPreparedContains_r(handle, geometry, point.get()) == 1;
    }
};

// The pattern's regions as polygons.
struct Model
{
    PatternGeometry g;
    bool disc = false;
    double half = 0;
    double reach = 0; // disc: the outline's radius; strip: the outline's height
    QRectF outline; // strip: the outer rectangle
    Geometry blank; // inside the outline, bore and mounting holes taken out
    Geometry holes; // what is cut through in the tracks
    Geometry material;
};

// The interior a track's marks may fill: inside its border lines.
std::vector<Shapes::Contour> trackRoom(const PatternGeometry &g, const PatternGeometry::Track &t)
{
    const double half = g.lineWidth / 2;
    if (g.shape == Shape::Strip)
        return { Shapes::rectangle(
            g.nominal.left() + half, t.from + half, g.nominal.right() - half, t.to - half) };
    const auto [inner, outer] = g.markRadii(t);
    std::vector<Shapes::Contour> room { Shapes::circle(g.center, outer) };
    if (inner > 0)
        room.push_back(Shapes::circle(g.center, inner, true));
    return room;
}

Model model(const Geos::Context &geos, const EncoderSettings &s)
{
    Model m;
    m.g = patternGeometry(s);
    const PatternGeometry &g = m.g;
    m.disc = g.shape == Shape::Disc;
    m.half = g.lineWidth / 2;
    const std::vector<Shapes::Layer> layers = g.layers();
    const double beyond = g.rim - m.half;
    std::vector<Shapes::Contour> blank;
    if (m.disc) {
        m.reach = g.outerRadius + beyond;
        // The outline layer: the outer circle, then the inner circle or bore and holes, each
        // drawn counter-clockwise as a cutter follows it.
        for (const Shapes::Layer &layer : layers)
            if (layer.kind == Shapes::Layer::Kind::Cut)
                blank = layer.contours;
    } else {
        m.outline = QRectF(QPointF(g.nominal.left() - beyond, g.nominal.top() - beyond),
            QPointF(g.nominal.right() + beyond, g.nominal.bottom() + beyond));
        m.reach = m.outline.height();
    }
    // The outline first, then every cut inside it as a hole.
    Geometry outer;
    std::vector<Shapes::Contour> inner;
    if (m.disc) {
        outer = geos.fromContours({ blank.front() }, flattening);
        inner.assign(blank.begin() + 1, blank.end());
    } else {
        outer = geos.fromContours({ Shapes::rectangle(m.outline.left(), m.outline.top(),
                                      m.outline.right(), m.outline.bottom()) },
            flattening);
        for (const QPointF &h : g.holes)
            inner.push_back(Shapes::circle(h, g.holeRadius));
    }
    m.blank = inner.empty()
        ? std::move(outer)
        : geos.subtract(outer.get(), geos.fromContours(inner, flattening).get());

    std::vector<Geometry> parts;
    for (const PatternGeometry::Track &t : g.tracks) {
        std::vector<Shapes::Contour> marks;
        for (const Shapes::Layer &layer : layers)
            if (layer.name == t.name && layer.kind == Shapes::Layer::Kind::Fill)
                marks = layer.contours;
        Geometry filled = geos.fromContours(marks, flattening);
        if (s.cut == Cut::Marks) {
            parts.push_back(std::move(filled));
        } else {
            Geometry room = geos.fromContours(trackRoom(g, t), flattening);
            parts.push_back(geos.subtract(room.get(), filled.get()));
        }
    }
    m.holes = geos.uniteAll(geos.collection(std::move(parts)).get());
    if (s.cut == Cut::Gaps) {
        // A room less its marks leaves slivers, as thin as the arcs' chords are off the circle,
        // where the two meet on one circle: they are no holes.
        Geometry eroded = geos.buffer(m.holes.get(), -flattening, 1);
        m.holes = geos.buffer(eroded.get(), flattening, 1);
    }
    m.material = geos.subtract(m.blank.get(), m.holes.get());
    return m;
}

// Material narrower than the web taken away: what stays in one piece.
Geometry opened(const Geos::Context &geos, const GEOSGeometry *material, double web)
{
    if (web <= 0)
        return geos.uniteAll(material);
    const int q = 8; // only the pieces' count and places matter here
    Geometry eroded = geos.buffer(material, -web / 2, q);
    return geos.buffer(eroded.get(), web / 2, q);
}

// A straight line through the part: radial from a disc's centre at `place` degrees, or down a
// strip at x = `place`.
struct Ray
{
    QPointF start;
    QPointF direction;
    double length = 0;
    double place = 0;
    QPointF at(double t) const { return start + direction * t; }
};

Ray rayAt(const Model &m, double place)
{
    Ray r;
    r.place = place;
    if (m.disc) {
        r.start = m.g.center;
        r.direction = Shapes::pointOnCircle(QPointF(), 1, place);
    } else {
        r.start = QPointF(place, m.outline.top());
        r.direction = QPointF(0, 1);
    }
    r.length = m.reach;
    return r;
}

// The pieces after opening: the one holding the rim, and the islands.
struct Pieces
{
    std::vector<Geometry> islands;
    std::vector<Prepared> prepared; // islands
    Geometry main;
    std::unique_ptr<Prepared> mainPrepared;
};

Pieces pieces(const Geos::Context &geos, const Model &m, const GEOSGeometry *open)
{
    Pieces p;
    // A point in the middle of the rim's solid band, which settingsProblem keeps wide enough.
    const double middle = m.g.rim / 2 - m.half;
    const QPointF rim = m.disc ? Shapes::pointOnCircle(m.g.center, m.g.outerRadius + middle, 0)
                               : QPointF(m.g.nominal.center().x(), m.g.nominal.top() - middle);
    Geometry rimPoint = geos.point(rim);
    for (const GEOSGeometry *polygon : geos.polygons(open)) {
        Geometry copy = geos.own(Geos::api().GEOSGeom_clone_r(geos.handle(), polygon));
        if (!p.main && Geos::api().GEOSIntersects_r(geos.handle(), copy.get(), rimPoint.get()) == 1)
            p.main = std::move(copy);
        else
            p.islands.push_back(std::move(copy));
    }
    if (p.main)
        p.mainPrepared
            = std::make_unique<Prepared>(geos.handle(), p.main.get(), geos.bounds(p.main.get()));
    for (const Geometry &island : p.islands)
        p.prepared.emplace_back(geos.handle(), island.get(), geos.bounds(island.get()));
    return p;
}

QString trackAt(const Model &m, QPointF p)
{
    const double v = m.disc ? std::hypot(p.x() - m.g.center.x(), p.y() - m.g.center.y()) : p.y();
    for (const PatternGeometry::Track &t : m.g.tracks)
        if (v >= t.from - m.half && v <= t.to + m.half)
            return t.name;
    if (m.disc && v < m.g.outerRadius)
        return QStringLiteral("hub");
    return QStringLiteral("rim");
}

// Where on the part a point is, as a person measures it.
QString placeText(const Model &m, QPointF p)
{
    if (m.disc) {
        const QPointF d = p - m.g.center;
        double clockwise = std::atan2(d.y(), d.x()) * 180 / M_PI;
        if (clockwise < 0)
            clockwise += 360;
        return QStringLiteral("%1 degrees clockwise from 3 o'clock, radius %2 mm")
            .arg(clockwise, 0, 'f', 3)
            .arg(std::hypot(d.x(), d.y()), 0, 'f', 3);
    }
    return QStringLiteral("%1 mm from the left end, %2 mm below the top edge")
        .arg(p.x() - m.g.nominal.left(), 0, 'f', 3)
        .arg(p.y() - m.g.nominal.top(), 0, 'f', 3);
}

// Candidate places for bridges through an island: inside its span, away from its ends.
std::vector<double> placesThrough(
    const Geos::Context &geos, const Model &m, const GEOSGeometry *island, double inset)
{
    double from = 0, to = 0;
    if (m.disc) {
        std::vector<double> angles;
        for (const std::vector<QPointF> &ring : geos.rings(island))
            for (const QPointF &p : ring) {
                const QPointF d = p - m.g.center;
                angles.push_back(std::atan2(-d.y(), d.x()) * 180 / M_PI);
            }
        std::sort(angles.begin(), angles.end());
        // The span is the circle less its widest empty stretch.
        double widest = angles.front() + 360 - angles.back();
        from = angles.front();
        to = angles.back();
        for (size_t i = 1; i < angles.size(); ++i)
            if (angles[i] - angles[i - 1] > widest) {
                widest = angles[i] - angles[i - 1];
                from = angles[i];
                to = angles[i - 1] + 360;
            }
        const QPointF c = geos.inside(island) - m.g.center;
        const double radius = std::max(std::hypot(c.x(), c.y()), 1e-3);
        inset = std::min(inset / radius * 180 / M_PI, 90.0);
    } else {
        const QRectF box = geos.bounds(island);
        from = box.left();
        to = box.right();
    }
    std::vector<double> places;
    const double a = from + inset;
    const double b = to - inset;
    if (b <= a)
        return { (from + to) / 2 };
    for (const double f : { 0.5, 0.25, 0.75, 0.0, 1.0 })
        places.push_back(a + (b - a) * f);
    return places;
}

// Along a ray, what each sample point is: -1 open (a hole or a broken web), 0 the main piece,
// i + 1 island i.
std::vector<int> labels(const Geos::Context &geos, const Pieces &p, const Ray &ray, double step)
{
    const int n = int(std::floor(ray.length / step)) + 1;
    std::vector<int> result(size_t(n), -1);
    for (int k = 0; k < n; ++k) {
        const QPointF q = ray.at(k * step);
        if (p.mainPrepared->contains(geos, q)) {
            result[size_t(k)] = 0;
            continue;
        }
        for (size_t i = 0; i < p.prepared.size(); ++i)
            if (p.prepared[i].contains(geos, q)) {
                result[size_t(k)] = int(i) + 1;
                break;
            }
    }
    return result;
}

// A band from sample `from` to sample `to` (either order) tying `island`.
struct Link
{
    int island = -1;
    int from = 0;
    int to = 0;
    double cost = 0;
};

// The bridges one ray gives: each island it crosses tied, cheapest first, to the main piece or
// an island tied before, the shorter way round.
std::vector<Link> linksOn(
    const std::vector<int> &label, std::vector<bool> tied, double step, double width, double *cost)
{
    std::vector<Link> links;
    *cost = 0;
    const int n = int(label.size());
    const int overlap = std::max(1, int(std::ceil(width / step)));
    const auto anchored = [&](int l) { return l == 0 || (l > 0 && tied[size_t(l - 1)]); };
    for (;;) {
        Link best;
        best.cost = std::numeric_limits<double>::infinity();
        for (int i = 0; i < int(tied.size()); ++i) {
            if (tied[size_t(i)])
                continue;
            int first = -1, last = -1;
            for (int k = 0; k < n; ++k)
                if (label[size_t(k)] == i + 1) {
                    if (first < 0)
                        first = k;
                    last = k;
                }
            if (first < 0)
                continue;
            for (const int way : { 1, -1 }) {
                int k = way > 0 ? last : first;
                int open = 0;
                while (k >= 0 && k < n && !anchored(label[size_t(k)])) {
                    open += label[size_t(k)] < 0;
                    k += way;
                }
                if (k < 0 || k >= n)
                    continue;
                const double c = open * step * width;
                if (c >= best.cost)
                    continue;
                // Into the island and into the anchor by a bridge's width, where they reach.
                const int begin
                    = way > 0 ? std::max(first, last - overlap) : std::min(last, first + overlap);
                int end = k;
                for (int j = 0; j < overlap; ++j) {
                    const int next = end + way;
                    if (next < 0 || next >= n || !anchored(label[size_t(next)]))
                        break;
                    end = next;
                }
                best = { i, begin, end, c };
            }
        }
        if (best.island < 0)
            break;
        tied[size_t(best.island)] = true;
        *cost += best.cost;
        links.push_back(best);
    }
    return links;
}

Geometry band(const Geos::Context &geos, const Ray &ray, double t0, double t1, double width)
{
    const QPointF a = ray.at(std::min(t0, t1));
    const QPointF b = ray.at(std::max(t0, t1));
    const QPointF side = QPointF(-ray.direction.y(), ray.direction.x()) * (width / 2);
    return geos.polygon({ { a - side, b - side, b + side, a + side } });
}

// Page y points down: counter-clockwise as seen is a negative shoelace sum.
double signedArea(const std::vector<QPointF> &points)
{
    return -Shapes::shoelaceArea(points);
}

// Where a run of corners lies on one of these circles' centres, within `onCircle`, it is that
// circle's arc again: the polygon library gives chords, cutters and CAD want arcs.
constexpr double onCircle = 1e-4;

double degreesAt(QPointF centre, QPointF p)
{
    return std::atan2(-(p.y() - centre.y()), p.x() - centre.x()) * 180 / M_PI;
}

// The sweep from a to b round `centre`, in (-180, 180] degrees.
double turn(QPointF centre, QPointF a, QPointF b)
{
    double d = degreesAt(centre, b) - degreesAt(centre, a);
    while (d <= -180)
        d += 360;
    while (d > 180)
        d -= 360;
    return d;
}

Shapes::Contour contour(std::vector<QPointF> points, bool hole, const std::vector<QPointF> &centres)
{
    if ((signedArea(points) < 0) != hole)
        std::reverse(points.begin(), points.end());
    const size_t n = points.size();
    const auto radius
        = [](QPointF c, QPointF p) { return std::hypot(p.x() - c.x(), p.y() - c.y()); };
    // A whole ring on one circle: the circle.
    for (const QPointF &c : centres) {
        const double r = radius(c, points.front());
        if (n >= 8 && r > 1e-3 && std::all_of(points.begin(), points.end(), [&](QPointF p) {
                return std::fabs(radius(c, p) - r) < onCircle;
            }))
            return Shapes::circle(c, r, hole);
    }
    Shapes::Contour result;
    result.start = points.front();
    size_t i = 0;
    while (i < n) {
        // The longest run from corner i on one circle, turning one way in steps under 45
        // degrees, at least three corners.
        size_t bestEnd = i;
        QPointF bestCentre;
        double bestSweep = 0;
        for (const QPointF &c : centres) {
            const double r = radius(c, points[i]);
            if (r < 1e-3)
                continue;
            size_t j = i;
            double sweep = 0;
            while (j < n) {
                const QPointF &next = points[(j + 1) % n];
                if (std::fabs(radius(c, next) - r) >= onCircle)
                    break;
                const double step = turn(c, points[j], next);
                if (std::fabs(step) >= 45 || step == 0 || (sweep != 0 && (step > 0) != (sweep > 0)))
                    break;
                sweep += step;
                ++j;
            }
            if (j >= i + 2 && j > bestEnd) {
                bestEnd = j;
                bestCentre = c;
                bestSweep = sweep;
            }
        }
        if (bestEnd > i) {
            const QPointF &from = points[i];
            result.arcTo(
                bestCentre, radius(bestCentre, from), degreesAt(bestCentre, from), bestSweep);
            result.segments.back().to = points[bestEnd % n]; // the corner itself, not a rounding
            i = bestEnd;
        } else {
            result.lineTo(points[(i + 1) % n]);
            ++i;
        }
    }
    // The last piece closes on the start: drop a final line onto it.
    if (!result.segments.empty() && result.segments.back().kind == Shapes::Segment::Kind::Line
        && result.segments.back().to == result.start)
        result.segments.pop_back();
    return result;
}

QString islandList(const std::vector<Island> &islands, const Model &m)
{
    QStringList list;
    for (const Island &island : islands)
        list << QStringLiteral("%1 at %2 (%3 mm²)")
                    .arg(island.track, placeText(m, island.at))
                    .arg(island.area, 0, 'f', 3);
    if (list.size() > 12) {
        const int more = int(list.size()) - 12;
        list = list.mid(0, 12);
        list << QStringLiteral("%1 more").arg(more);
    }
    return list.join(QStringLiteral("; "));
}

Part cut(const EncoderSettings &s)
{
    Part part;
    part.problem = settingsProblem(s);
    if (!part.problem.isEmpty())
        return part;
    const Geos::Context geos;
    const Model m = model(geos, s);
    const double web = s.minWebMm;
    const double width = s.bridgeMm;

    Geometry open = opened(geos, m.material.get(), web);
    Pieces found = pieces(geos, m, open.get());
    part.piecesBefore = int(found.islands.size()) + (found.main ? 1 : 0);
    for (const Geometry &island : found.islands)
        part.islands.push_back({ geos.inside(island.get()), geos.area(island.get()), QString() });
    for (Island &island : part.islands)
        island.track = trackAt(m, island.at);

    if (!found.main || m.g.rim < web - 1e-9) {
        part.problem = QStringLiteral("the rim breaks: a rim of %1 mm is narrower than --min-web "
                                      "%2 mm; raise --rim")
                           .arg(m.g.rim)
                           .arg(web);
        return part;
    }
    Geometry material = geos.uniteAll(m.material.get());
    if (!part.islands.empty() && width <= 0) {
        part.problem = QStringLiteral("%1 piece(s) would fall out and bridges are off (--bridge "
                                      "0): %2")
                           .arg(part.islands.size())
                           .arg(islandList(part.islands, m));
        return part;
    }
    if (!part.islands.empty()) {
        // Bridges on as few lines as tie every island, each line's bridges filling the least
        // cut-through area: the lines that tie the most islands first.
        const double step = std::max(std::min(width, web) / 4, 0.005);
        std::vector<Ray> rays;
        for (const Geometry &island : found.islands)
            for (const double place : placesThrough(geos, m, island.get(), width / 2 + web / 2))
                rays.push_back(rayAt(m, place));
        std::vector<std::vector<int>> rayLabels;
        for (const Ray &ray : rays)
            rayLabels.push_back(labels(geos, found, ray, step));
        std::vector<bool> tied(found.islands.size(), false);
        std::vector<Geometry> bands;
        for (;;) {
            int bestRay = -1;
            std::vector<Link> bestLinks;
            double bestCost = 0;
            for (size_t r = 0; r < rays.size(); ++r) {
                double cost = 0;
                std::vector<Link> links = linksOn(rayLabels[r], tied, step, width, &cost);
                if (links.size() > bestLinks.size()
                    || (!links.empty() && links.size() == bestLinks.size() && cost < bestCost)) {
                    bestRay = int(r);
                    bestLinks = std::move(links);
                    bestCost = cost;
                }
            }
            if (bestRay < 0)
                break;
            const Ray &ray = rays[size_t(bestRay)];
            for (const Link &link : bestLinks) {
                tied[size_t(link.island)] = true;
                Geometry b = band(geos, ray, link.from * step, link.to * step, width);
                Bridge bridge;
                bridge.from = ray.at(std::min(link.from, link.to) * step);
                bridge.to = ray.at(std::max(link.from, link.to) * step);
                bridge.width = width;
                if (m.disc) {
                    bridge.place = std::fmod(360.0 - ray.place + 360.0, 360.0);
                    bridge.radiusFrom = std::min(link.from, link.to) * step;
                    bridge.radiusTo = std::max(link.from, link.to) * step;
                } else {
                    bridge.place = ray.place - m.g.nominal.left();
                    bridge.radiusFrom = bridge.from.y() - m.g.nominal.top();
                    bridge.radiusTo = bridge.to.y() - m.g.nominal.top();
                }
                Geometry filled = geos.intersect(b.get(), m.holes.get());
                bridge.covered = geos.area(filled.get());
                part.bridges.push_back(bridge);
                bands.push_back(std::move(b));
            }
        }
        std::vector<Island> loose;
        for (size_t i = 0; i < tied.size(); ++i)
            if (!tied[i])
                loose.push_back(part.islands[i]);
        if (!loose.empty()) {
            part.problem = QStringLiteral("%1 piece(s) cannot be tied to the rim or hub by a "
                                          "bridge: %2")
                               .arg(loose.size())
                               .arg(islandList(loose, m));
            return part;
        }
        Geometry all = geos.uniteAll(geos.collection(std::move(bands)).get());
        Geometry inside = geos.intersect(all.get(), m.blank.get());
        material = geos.unite(material.get(), inside.get());
    }
    part.disc = m.disc;
    part.centre = m.g.center;
    Geometry check = opened(geos, material.get(), web);
    part.pieces = int(geos.polygons(check.get()).size());
    part.area = geos.area(material.get());

    // Slivers where shapes meet on one circle closed, then opened.
    Geometry closed = geos.buffer(material.get(), sliver, 1);
    closed = geos.buffer(closed.get(), -sliver, 1);
    Geometry clean = geos.buffer(closed.get(), -sliver, 1);
    clean = geos.buffer(clean.get(), sliver, 1);

    int holesBefore = 0;
    for (const GEOSGeometry *polygon : geos.polygons(clean.get())) {
        holesBefore += Geos::api().GEOSGetNumInteriorRings_r(geos.handle(), polygon);
        part.material.push_back(geos.rings(polygon));
    }
    Geometry kerfed = s.kerfMm > 0
        ? geos.buffer(clean.get(), s.kerfMm / 2, Geos::quadrantSegments(s.kerfMm / 2, joinError))
        : std::move(clean);
    std::vector<Shapes::Contour> outlines;
    std::vector<QPointF> centres = m.g.holes;
    if (m.disc)
        centres.push_back(m.g.center);
    for (const GEOSGeometry *polygon : geos.polygons(kerfed.get())) {
        const std::vector<std::vector<QPointF>> rings = geos.rings(polygon);
        for (size_t i = 0; i < rings.size(); ++i) {
            if (rings[i].size() < 3)
                continue;
            if (i == 0)
                outlines.push_back(contour(rings[i], false, centres));
            else
                part.cut.push_back(contour(rings[i], true, centres));
        }
    }
    part.holes = int(part.cut.size());
    // Holes first: the part stays in place until its outline is cut last.
    part.cut.insert(part.cut.end(), outlines.begin(), outlines.end());
    if (part.holes < holesBefore)
        part.problem = QStringLiteral("a kerf of %1 mm closes %2 of the %3 holes: they are "
                                      "narrower than the kerf")
                           .arg(s.kerfMm)
                           .arg(holesBefore - part.holes)
                           .arg(holesBefore);
    else if (part.pieces != 1)
        part.problem = QStringLiteral("the part still falls into %1 pieces").arg(part.pieces);
    return part;
}

}

QString settingsProblem(const EncoderSettings &s)
{
    if (s.cut == Cut::None)
        return {};
    const PatternGeometry g = patternGeometry(s);
    const double web = s.minWebMm;
    constexpr double eps = 1e-9;
    if (s.bridgeMm > 0 && s.bridgeMm < web - eps)
        return QStringLiteral("--bridge %1 mm is narrower than --min-web %2 mm: the bridges "
                              "would break")
            .arg(s.bridgeMm)
            .arg(web);
    if (g.shape == Shape::Disc && s.innerRadiusMm > 0) {
        const double marks = s.innerRadiusMm + g.lineWidth / 2;
        double cut = marks - g.hub;
        if (g.boreRadius > 0 || !g.holes.empty())
            cut = std::max(g.boreRadius, g.holes.empty() ? 0.0 : s.holePitchMm / 2 + g.holeRadius);
        if (cut > eps && marks - cut < web - eps)
            return QStringLiteral("a hub of %1 mm is narrower than --min-web %2 mm; raise --hub "
                                  "or --inner-radius")
                .arg(marks - cut)
                .arg(web);
    }
    for (const PatternGeometry::Widths &w : g.narrowest()) {
        const double solid = s.cut == Cut::Marks ? w.gap : w.mark;
        if (std::isfinite(solid) && solid > 0 && solid < web - eps)
            return QStringLiteral("the %1 of %2 are %3 mm wide where a sensor reads, narrower "
                                  "than --min-web %4 mm: they would break; use fewer steps, "
                                  "more room, or --cut %5")
                .arg(
                    s.cut == Cut::Marks ? QStringLiteral("gaps") : QStringLiteral("marks"), w.track)
                .arg(solid, 0, 'f', 3)
                .arg(web)
                .arg(s.cut == Cut::Marks ? QStringLiteral("gaps") : QStringLiteral("marks"));
    }
    return {};
}

Part cutPart(const EncoderSettings &settings)
{
    try {
        return cut(settings);
    } catch (const std::runtime_error &e) {
        Part part;
        part.problem = QString::fromUtf8(e.what());
        return part;
    }
}

Shapes::Layer cutLayer(const Part &part)
{
    return { QStringLiteral("cut"), Shapes::Layer::Kind::Cut, part.cut };
}

QString describe(const EncoderSettings &s, const Part &part)
{
    const bool disc = s.shape == Shape::Disc;
    const PatternGeometry g = patternGeometry(s);
    QString text = QStringLiteral("\npart to cut: the %1 cut through; rim %2 mm")
                       .arg(s.cut == Cut::Marks ? QStringLiteral("marks") : QStringLiteral("gaps"))
                       .arg(g.rim, 0, 'f', 3);
    // A bore or mounting holes are cut instead of the inner circle: the hub reaches them.
    if (disc && s.innerRadiusMm > 0 && g.boreRadius <= 0 && g.holes.empty())
        text += QStringLiteral(", hub %1 mm").arg(g.hub, 0, 'f', 3);
    text += QStringLiteral(", narrowest material kept %1 mm (--min-web)\n").arg(s.minWebMm);
    text += QStringLiteral("  without bridges: %1 piece(s) at least that wide, %2 of them loose\n")
                .arg(part.piecesBefore)
                .arg(part.islands.size());
    for (size_t i = 0; i < part.bridges.size(); ++i) {
        const Bridge &b = part.bridges[i];
        const QString where = disc
            ? QStringLiteral("radial at %3 degrees clockwise from 3 o'clock, radius %4 to %5 mm")
            : QStringLiteral("across at %3 mm from the left end, %4 to %5 mm below the top edge");
        text += (QStringLiteral("  bridge %1, %2 mm wide, ") + where
            + QStringLiteral(", fills %6 mm² cut through\n"))
                    .arg(i + 1)
                    .arg(b.width)
                    .arg(b.place, 0, 'f', 3)
                    .arg(b.radiusFrom, 0, 'f', 3)
                    .arg(b.radiusTo, 0, 'f', 3)
                    .arg(b.covered, 0, 'f', 3);
    }
    text += QStringLiteral("  part: %1 piece(s), %2 holes, %3 mm² of material\n")
                .arg(part.pieces)
                .arg(part.holes)
                .arg(part.area, 0, 'f', 3);
    if (s.kerfMm > 0)
        text += QStringLiteral("  cut contours offset by half the %1 mm kerf (holes smaller, "
                               "outline larger), straight pieces within %2 mm of the arcs\n")
                    .arg(s.kerfMm)
                    .arg(segmentError);
    return text;
}

}
