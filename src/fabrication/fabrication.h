// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_FABRICATION_H
#define QUVELTA_FABRICATION_H

#include "encodersettings.h"
#include "shapes.h"

#include <QPointF>
#include <QString>

#include <vector>

// The pattern as a part to cut out: the material that stays when the marks (or the gaps) are
// cut through, the pieces that would fall out, the bridges that hold them, and the cut contours
// offset for the kerf. Millimetres, page coordinates as the pattern geometry has them.
namespace Fabrication {

// A loose piece: a point inside it, its area and the track it lies in.
struct Island
{
    QPointF at;
    double area = 0;
    QString track;
};

// A straight band of material across holes, `width` wide: radial on a disc, across a strip.
struct Bridge
{
    QPointF from;
    QPointF to;
    double width = 0;
    double place = 0; // disc: degrees clockwise from 3 o'clock; strip: mm from the left end
    double radiusFrom = 0; // discs: the radii it spans
    double radiusTo = 0;
    double covered = 0; // mm² of cut-through area it fills: what it costs the sensor
};

struct Part
{
    std::vector<Island> islands; // the pieces that fall out without bridges
    std::vector<Bridge> bridges;
    // Holes first (clockwise), then the outline; arcs round the disc's or a hole's centre as
    // arcs, the rest straight pieces.
    std::vector<Shapes::Contour> cut;
    // The material as polygons, bridges included and kerf not: rings of points, each
    // polygon's shell first, then its holes.
    std::vector<std::vector<std::vector<QPointF>>> material;
    bool disc = false;
    QPointF centre; // a disc's
    double area = 0; // material, mm², bridges included and kerf not
    int piecesBefore = 0; // pieces of material at least the minimum web wide, without bridges
    int pieces = 0; // the same with the bridges: 1 when the part holds
    int holes = 0; // cut-through regions (bore and mounting holes included)
    QString problem; // why it cannot be cut; empty when it can
};

// Quick checks that need no polygons: widths under the minimum web, bridges too narrow.
QString settingsProblem(const EncoderSettings &settings);

// The part. With bridges off, the islands stay and the problem lists them.
Part cutPart(const EncoderSettings &settings);

// The cut contours as one cut layer.
Shapes::Layer cutLayer(const Part &part);

// What --describe adds: the cut, the web, the islands found, each bridge, the kerf.
QString describe(const EncoderSettings &settings, const Part &part);

// The largest distance, mm, between a kerf-offset contour's straight pieces and the true
// offset curve: arcs become segments in the polygon library.
constexpr double segmentError = 0.001;

}

#endif
