// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_SHAPES_H
#define QUVELTA_SHAPES_H

#include "arcs.h"

#include <QPointF>
#include <QString>

#include <vector>

// Ideal plane shapes in millimetres, page coordinates (origin top-left, y down). Angles are in
// degrees, 0 pointing right and growing counter-clockwise as the page is seen.
namespace Shapes {

using Arcs::pointOnCircle;

// One piece of a contour's boundary: a straight line, or a circular arc, ending at `to`.
struct Segment
{
    enum class Kind { Line, Arc };
    Kind kind = Kind::Line;
    QPointF to;
    // Arcs only: the circle and the angles swept, from startDegrees by sweepDegrees.
    QPointF center;
    double radius = 0;
    double startDegrees = 0;
    double sweepDegrees = 0;
};

// A closed outline. Outlines of filled areas run counter-clockwise as the page is seen, holes
// clockwise, so that the non-zero winding rule and signed areas both give the union.
struct Contour
{
    QPointF start;
    std::vector<Segment> segments;

    void lineTo(QPointF to);
    void arcTo(QPointF center, double radius, double startDegrees, double sweepDegrees);

    // The area enclosed, positive for counter-clockwise as seen.
    double signedArea() const;

    // Points along the outline whose chords stay within `tolerance` of the true arcs.
    std::vector<QPointF> flattened(double tolerance) const;
    // The same into `points`, emptied first: a caller going through many contours keeps one.
    void flattenInto(double tolerance, std::vector<QPointF> &points) const;
};

// The shoelace area of a closed polygon in its own coordinates: positive when it turns from +x
// towards +y (counter-clockwise with y up, clockwise as a page with y down is seen).
double shoelaceArea(const std::vector<QPointF> &points);

Contour rectangle(double left, double top, double right, double bottom, bool hole = false);
Contour circle(QPointF center, double radius, bool hole = false);
// The annular sector between the radii from startDegrees, sweepDegrees wide (inner 0: a pie).
Contour annularSector(
    QPointF center, double inner, double outer, double startDegrees, double sweepDegrees);

// A named group of shapes, one layer in a drawing program or CAM tool. Filled layers are painted
// in the foreground colour; cut layers are hairline outlines for a cutter, not for printing.
struct Layer
{
    enum class Kind { Fill, Cut };
    QString name;
    Kind kind = Kind::Fill;
    std::vector<Contour> contours;
};

}

#endif
