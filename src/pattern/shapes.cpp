// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "shapes.h"

#include <algorithm>
#include <cmath>

namespace Shapes {

namespace {

constexpr double degreesToRadians = M_PI / 180.0;

}

void Contour::lineTo(QPointF to)
{
    Segment s;
    s.to = to;
    segments.push_back(s);
}

void Contour::arcTo(QPointF center, double radius, double startDegrees, double sweepDegrees)
{
    Segment s;
    s.kind = Segment::Kind::Arc;
    s.center = center;
    s.radius = radius;
    s.startDegrees = startDegrees;
    s.sweepDegrees = sweepDegrees;
    s.to = pointOnCircle(center, radius, startDegrees + sweepDegrees);
    segments.push_back(s);
}

double shoelaceArea(const std::vector<QPointF> &points)
{
    double twice = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        const QPointF &a = points[i];
        const QPointF &b = points[(i + 1) % points.size()];
        twice += a.x() * b.y() - b.x() * a.y();
    }
    return twice / 2;
}

double Contour::signedArea() const
{
    // Shoelace over the chords, plus each arc's circular segment beyond its chord. With y down,
    // a counter-clockwise outline as seen has a negative shoelace sum, hence the minus signs.
    double twice = 0;
    QPointF from = start;
    for (const Segment &s : segments) {
        twice += from.x() * s.to.y() - s.to.x() * from.y();
        if (s.kind == Segment::Kind::Arc) {
            const double a = std::fabs(s.sweepDegrees) * degreesToRadians;
            const double segmentArea = 0.5 * s.radius * s.radius * (a - std::sin(a));
            twice -= 2 * (s.sweepDegrees > 0 ? segmentArea : -segmentArea);
        }
        from = s.to;
    }
    twice += from.x() * start.y() - start.x() * from.y();
    return -0.5 * twice;
}

std::vector<QPointF> Contour::flattened(double tolerance) const
{
    std::vector<QPointF> points;
    flattenInto(tolerance, points);
    return points;
}

void Contour::flattenInto(double tolerance, std::vector<QPointF> &points) const
{
    points.clear();
    points.push_back(start);
    for (const Segment &s : segments) {
        if (s.kind == Segment::Kind::Line) {
            points.push_back(s.to);
            continue;
        }
        const int steps = Arcs::chordCount(s.radius, s.sweepDegrees * degreesToRadians, tolerance);
        for (int k = 1; k < steps; ++k)
            points.push_back(
                pointOnCircle(s.center, s.radius, s.startDegrees + s.sweepDegrees * k / steps));
        points.push_back(s.to);
    }
    if (points.size() > 1 && points.back() == points.front())
        points.pop_back();
}

Contour rectangle(double left, double top, double right, double bottom, bool hole)
{
    Contour c;
    c.start = QPointF(left, top);
    c.segments.reserve(3); // a strip has a rectangle a mark: one allocation each, not three
    if (!hole) {
        c.lineTo(QPointF(left, bottom));
        c.lineTo(QPointF(right, bottom));
        c.lineTo(QPointF(right, top));
    } else {
        c.lineTo(QPointF(right, top));
        c.lineTo(QPointF(right, bottom));
        c.lineTo(QPointF(left, bottom));
    }
    return c;
}

Contour circle(QPointF center, double radius, bool hole)
{
    Contour c;
    c.start = pointOnCircle(center, radius, 0);
    c.arcTo(center, radius, 0, hole ? -360 : 360);
    return c;
}

Contour annularSector(
    QPointF center, double inner, double outer, double startDegrees, double sweepDegrees)
{
    Contour c;
    c.start = pointOnCircle(center, outer, startDegrees);
    c.arcTo(center, outer, startDegrees, sweepDegrees);
    if (inner > 0) {
        c.lineTo(pointOnCircle(center, inner, startDegrees + sweepDegrees));
        c.arcTo(center, inner, startDegrees + sweepDegrees, -sweepDegrees);
    } else {
        c.lineTo(center);
    }
    return c;
}

}
