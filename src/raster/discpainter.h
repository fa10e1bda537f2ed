// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DISCPAINTER_H
#define QUVELTA_DISCPAINTER_H

#include "encodersettings.h"

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <memory>
#include <utility>
#include <vector>

class CoverageFill;

class QPainter;

// One ring of a disc: sectors between the radii (whole pixels), `segments` around the turn, the
// pattern turned counter-clockwise by `phase` segments.
struct DiscTrack
{
    int innerRadius = 0;
    int outerRadius = 0;
    int segments = 2;
    float phase = 0.0f;

    bool operator==(const DiscTrack &o) const
    {
        return innerRadius == o.innerRadius && outerRadius == o.outerRadius
            && segments == o.segments && phase == o.phase;
    }
};

// The tracks of the disc these settings describe, outermost first.
std::vector<DiscTrack> discTracks(const EncoderSettings &settings);

// How far a track's sectors reach: its outer radius, or where the outer circle's stroke begins.
qreal sectorRadius(const EncoderSettings &settings, int outerRadius);

// Where sector i (counting foreground sectors) starts, in degrees; `sweep` is one segment.
inline long double sectorStartDegrees(float sweep, float offset, int i)
{
    return static_cast<long double>(sweep) * (2 * i) + offset;
}

// One concentric track per bit in reflected Gray code, then the centre mark.
void drawGrayDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// One concentric track per bit in plain binary, then the centre mark.
void drawBinaryDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// One annulus of 2 * pairs alternating sectors, then the centre mark.
void drawRelativeDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// Fills the even-numbered of `segments` sectors between the radii (whole pixels), counted
// counter-clockwise from `phase` segments past 0 degrees; clears the inside; strokes the circles.
// Unless whole, the sectors start at `sectorsFrom` and the clearing at `clearFrom` instead of
// the centre, where a later layer covers what lies inside; the sectors' edges are split there
// either way, so that whole and cut shapes have the same pixels outside.
void drawDiscTrack(QPainter &painter, const EncoderSettings &settings, QSize size, int innerRadius,
    int outerRadius, int segments, float phase, qreal sectorsFrom = 0, qreal clearFrom = 0,
    bool whole = true);

// The layered drawing of the disc these settings describe, with every shape whole (cutShort
// false) or cut short where a later layer covers it completely: the same plain pixels, far less
// to fill.
void drawDiscLayers(QPainter &painter, const EncoderSettings &settings, QSize size, bool cutShort);

// The circles of one track's inner and outer radius, border width wide.
void drawTrackCircles(QPainter &painter, const EncoderSettings &settings, QSize size,
    int innerRadius, int outerRadius);

// The antialiased disc by exact pixel coverage in one pass: the sectors of all tracks and the rings
// of their circles, cut so that none overlaps another (ready for fillRows). drawDiscOverlay then
// adds the centre mark with the painter. The union of the layered painter's shapes, hundreds of
// times faster for fine discs, thin tracks with wide circles included. A render and the
// read-back beside it fill the same shapes in other colours: while one holds the fill of these
// shapes, the other is given it (made once, a fine disc's tens of megabytes and most of its start).
std::shared_ptr<const CoverageFill> discCoverage(const EncoderSettings &settings, QSize size);
void drawDiscOverlay(QPainter &painter, const EncoderSettings &settings, QSize size);
// The rows drawDiscOverlay may put pixels in, with room to spare (first, last; none when
// first > last): every other row is the coverage's alone.
std::pair<int, int> discOverlayRows(const EncoderSettings &settings, QSize size);

// A cross of half the inner radius with a dot at angle `angle` (radians) on its arm.
void drawCenterMark(QPainter &painter, const EncoderSettings &settings, QSize size, float angle);

// The pie sectors that drawDiscTrack fills: every other of `segments` sectors of `radius`
// around `center`, starting `offsetDegrees` past 0 degrees. Each boundary ray ends exactly on
// its angle and the arcs stay within a hundredth of a pixel of the circle.
// Only sectors reaching into the rows of `within` go in, when it is not null.
QPainterPath sectorPath(QPointF center, qreal radius, int segments, float offsetDegrees,
    qreal innerRadius = 0, bool keepCentre = true, QRectF within = QRectF(), int firstSector = 0,
    int endSector = -1);

#endif
