#ifndef QUVELTA_DISCPAINTER_H
#define QUVELTA_DISCPAINTER_H

#include "encodersettings.h"

#include <QPainterPath>
#include <QPointF>
#include <QSize>

class QPainter;

// One concentric track per bit in reflected Gray code, then the centre mark.
void drawGrayDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// One concentric track per bit in plain binary, then the centre mark.
void drawBinaryDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// One annulus of 2 * pairs alternating sectors, then the centre mark.
void drawRelativeDisc(QPainter &painter, const EncoderSettings &settings, QSize size);

// Fills the even-numbered of `segments` sectors between the radii (whole pixels), counted
// counter-clockwise from `phase` segments past 0 degrees; clears the inside; strokes the circles.
void drawDiscTrack(QPainter &painter, const EncoderSettings &settings, QSize size, int innerRadius,
    int outerRadius, int segments, float phase);

// A cross of half the inner radius with a dot at angle `angle` (radians) on its arm.
void drawCenterMark(QPainter &painter, const EncoderSettings &settings, QSize size, float angle);

// The pie sectors that drawDiscTrack fills: every other of `segments` sectors of `radius`
// around `center`, starting `offsetDegrees` past 0 degrees. Each boundary ray ends exactly on
// its angle and the arcs stay within a hundredth of a pixel of the circle.
QPainterPath sectorPath(QPointF center, qreal radius, int segments, float offsetDegrees);

#endif
