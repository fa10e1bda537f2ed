// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PATTERNGEOMETRY_H
#define QUVELTA_PATTERNGEOMETRY_H

#include "calibration.h"
#include "codes.h"
#include "encodersettings.h"
#include "shapes.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The pattern as ideal shapes in millimetres: what the raster approximates, and what the vector
// files and the precise raster are made of. No painter and no DPI.
//
// The page is the nominal strip or disc plus one border width each way, as the image is: border
// lines are strokes of the border width centred on the nominal edges.
struct PatternGeometry
{
    // An interval of foreground along a track. Strip: x on the page, mm. Disc: angles in degrees,
    // counter-clockwise as seen; `from` may be negative for a run across 0 degrees.
    struct Run
    {
        double from = 0;
        double to = 0;
    };

    // One track: a band of the strip (top and bottom y) or an annulus of the disc (inner and
    // outer radius), with its foreground runs. Steps next to each other form one run.
    struct Track
    {
        QString name;
        int bit = -1; // the code bit it shows, 0 = least significant; -1 for relative segments
        double from = 0;
        double to = 0;
        int segments = 0; // marks plus gaps around the turn or along the strip
        bool clock = false; // the incremental track beside a pseudo-random one
        std::vector<Run> runs;
        std::vector<Run> slits; // a mask's: the gaps between its runs, where light passes
    };

    // A cross of two arms and a dot on the 0 degree arm.
    struct CenterMark
    {
        double arm = 0; // from the centre to each arm's end, without the square cap
        double width = 0; // line width
        QPointF dot;
        double dotRadius = 0; // the dot's outline included
    };

    // Where a sensor reads: strip x, or disc angle, as runs are given.
    struct Sensor
    {
        QString name;
        double at = 0;
    };

    Shape shape = Shape::Strip;
    QSizeF page; // mm
    QRectF nominal; // the strip, or the square around the disc's outer circle
    QPointF center; // discs
    double outerRadius = 0;
    double innerRadius = 0;
    double lineWidth = 0; // border lines; 0 when off
    double margin = 0; // room around the pattern for marks outside it (sensor ticks)
    int positions = 0; // code steps of an absolute pattern
    double cellPitch = 0; // mm along a strip or degrees round a disc of one step or cell
    std::vector<Track> tracks;
    std::optional<CenterMark> centerMark;
    std::optional<Calibration> calibration; // rulers and legend, right of and below the box
    std::vector<Sensor> sensors; // where sensors read; drawn as ticks when sensorMarks is set
    bool sensorMarks = false;

    // Cut through a disc: the bore (radius 0: none) with its flat, and the mounting holes.
    double boreRadius = 0;
    double dFlat = 0; // depth of the flat at 3 o'clock; 0: a round bore
    double holeRadius = 0;
    // Centres: on a disc the first at 3 o'clock, then clockwise; on a strip left to right along
    // the margin below the pattern.
    std::vector<QPointF> holes;
    // Solid material from the outermost marks (the border line's inner edge) to the outline, and
    // on a disc from the innermost marks to the inner cut circle.
    double rim = 0;
    double hub = 0;

    double markBias = 0; // every mark wider by this much; runs of a strip already include it

    // A sensor mask: each track opaque (runs) but for its slits, this wide along the track (at
    // its centre line on a disc), half a reading step on from the sensors' places, where the
    // sensor reads the first position; 0 for a pattern.
    double aperture = 0;

    // The narrowest mark and gap of a track, in mm: along a strip, round a disc at the track's
    // centre line (where a sensor reads) or at its inner edge (where marks are closest).
    struct Widths
    {
        QString track;
        double mark = 0;
        double gap = 0; // infinity when the track has no gap between marks
    };
    enum class Along { Centre, InnerEdge };
    std::vector<Widths> narrowest(Along along = Along::Centre) const;

    // Marks as seen: runs clipped to the inside of the border lines, which are drawn apart.
    // Fill layers never overlap each other, so their areas add up. InsideBorder: the marks that
    // touch a border line reach a quarter of its width into it instead, the same union, but no
    // mark edge lies on a border line's edge (or on a neighbouring track's mark), so a cutter or
    // plotter draws each line once.
    enum class MarkEdges { AtBorder, InsideBorder };
    std::vector<Shapes::Layer> layers(MarkEdges edges = MarkEdges::AtBorder) const;
    // The same layers one at a time, in the same order, so a writer need not hold them all. With
    // a part size, a track's layer of more marks comes in parts of about that many, one after
    // another under the same name.
    void forEachLayer(MarkEdges edges, const std::function<void(Shapes::Layer &&)> &visit,
        size_t partSize = 0) const;

    // Where a person measures a track: its centre radius on a disc, its centre line's distance
    // from the pattern's top edge on a strip.
    double measuredCentre(const Track &track) const;
    // Where a person measures a sensor: degrees clockwise from 3 o'clock on a disc, the direction
    // positions grow; mm from the pattern's left end on a strip.
    double measuredPlace(const Sensor &sensor) const;

    // The radii between which a disc track's marks show: inside its border lines, from the
    // centre for a track that starts there.
    std::pair<double, double> markRadii(const Track &track) const;

    // Whether any mark of a track shows between the border lines.
    bool showsMarks() const;

    // Total area of the foreground, mm².
    double foregroundArea() const;
};

// Solid material from the outermost marks to the cut outline, and (discs) from the innermost
// marks to the inner cut circle, in mm: the border line's width unless a rim, hub, cut or strip
// holes ask for more.
double outlineRimMm(const EncoderSettings &settings);
double outlineHubMm(const EncoderSettings &settings);

// Room around the pattern that marks outside it need, on every side, in mm.
double patternMarginMm(const EncoderSettings &settings);

// How much wider and higher than the pattern's box (its nominal size plus one border width) the
// page is: the margins on both sides and the calibration's room.
QSizeF patternRoomMm(const EncoderSettings &settings);

// Why the mark bias of these settings cannot be drawn (it would close a gap, remove a mark, or
// meet at a disc's centre), or an empty string.
QString markBiasProblem(const EncoderSettings &settings);

// Why the bore, flat or mounting holes of these settings cannot be made (they would cut into a
// track, a border line, the centre mark, each other, or are on a strip), or an empty string.
QString mountingProblem(const EncoderSettings &settings);

// The period of a relative strip whose index mark the border lines leave whole: the first one
// (0 for discs), or -1 when none does.
int stripIndexPeriod(const EncoderSettings &settings);

// The pattern these settings describe, or its sensor mask when they ask for one.
PatternGeometry patternGeometry(const EncoderSettings &settings);

// The tracks each sensor of the pattern reads, by index into `tracks`.
std::vector<std::vector<int>> sensorTracks(
    const EncoderSettings &settings, const PatternGeometry &g);

// How far a reading step goes along a track: a position of an absolute pattern, a quarter period
// of a relative one; mm on a strip, degrees on a disc.
double readingStep(const EncoderSettings &settings);

#endif
