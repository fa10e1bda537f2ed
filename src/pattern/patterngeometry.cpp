// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "patterngeometry.h"

#include "arcs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

using Run = PatternGeometry::Run;
using Track = PatternGeometry::Track;

// Maximal runs of steps that are marks, as [first, end) step intervals. On a cyclic pattern a
// run through the last step continues into step 0 (end > steps).
template<typename IsMark>
std::vector<std::pair<int, int>> stepRuns(int steps, bool cyclic, int *segments, IsMark isMark)
{
    std::vector<std::pair<int, int>> runs;
    int transitions = 0;
    bool previous = false;
    for (int q = 0; q < steps; ++q) {
        const bool on = isMark(q);
        if (q > 0 && on != previous)
            ++transitions;
        if (on && (q == 0 || !previous))
            runs.push_back({ q, q + 1 });
        else if (on)
            runs.back().second = q + 1;
        previous = on;
    }
    const bool firstOn = steps > 0 && isMark(0);
    if (cyclic) {
        if (previous != firstOn)
            ++transitions;
        if (runs.size() > 1 && firstOn && previous) {
            runs.back().second = steps + runs.front().second;
            runs.erase(runs.begin());
        }
        *segments = std::max(transitions, 1);
    } else {
        *segments = transitions + 1;
    }
    return runs;
}

// Runs in steps [a, b) as placed on the pattern: swapped for gaps and mirrored where asked, then
// as strip x or disc angles in the order the others come (left to right; clockwise, a run across
// the start last).
std::vector<Run> placeRuns(const std::vector<Run> &inSteps, int steps, double pitch, bool disc,
    bool invert, bool mirror, double left)
{
    const double n = steps;
    std::vector<std::pair<double, double>> runs;
    for (const Run &r : inSteps) {
        double a = disc ? r.from : std::max(r.from, 0.0);
        double b = disc ? r.to : std::min(r.to, n);
        if (!(b > a))
            continue;
        if (disc && b - a >= n) {
            runs = { { 0.0, n } };
            break;
        }
        if (disc && a < 0) {
            a += n;
            b += n;
        }
        if (disc && b > n) {
            runs.push_back({ a, n });
            runs.push_back({ 0.0, b - n });
        } else {
            runs.push_back({ a, b });
        }
    }
    const auto merged = [](std::vector<std::pair<double, double>> v) {
        std::sort(v.begin(), v.end());
        std::vector<std::pair<double, double>> out;
        for (const auto &r : v) {
            if (!out.empty() && r.first <= out.back().second + 1e-9)
                out.back().second = std::max(out.back().second, r.second);
            else
                out.push_back(r);
        }
        return out;
    };
    runs = merged(runs);
    if (invert) {
        std::vector<std::pair<double, double>> gaps;
        double from = 0;
        for (const auto &r : runs) {
            if (r.first > from + 1e-9)
                gaps.push_back({ from, r.first });
            from = r.second;
        }
        if (from < n - 1e-9)
            gaps.push_back({ from, n });
        runs = gaps;
    }
    if (mirror) {
        for (auto &r : runs)
            r = { n - r.second, n - r.first };
        runs = merged(runs);
    }
    if (disc && runs.size() > 1 && runs.front().first <= 1e-9 && runs.back().second >= n - 1e-9) {
        runs.back().second = n + runs.front().second;
        runs.erase(runs.begin());
    }
    std::vector<Run> placed;
    for (const auto &[a, b] : runs)
        placed.push_back(disc ? Run { 360.0 - pitch * b, 360.0 - pitch * a }
                              : Run { left + pitch * a, left + pitch * b });
    return placed;
}

QString bitTrackName(int index, int bit, int bits)
{
    QString name = QStringLiteral("track %1 (bit %2").arg(index + 1).arg(bit);
    if (bits > 1 && bit == bits - 1)
        name += QStringLiteral(", most significant");
    else if (bits > 1 && bit == 0)
        name += QStringLiteral(", least significant");
    return name + QLatin1Char(')');
}

}

int stripIndexPeriod(const EncoderSettings &s)
{
    const int steps = 2 * s.pairs;
    if (s.shape == Shape::Disc || steps <= 0)
        return 0;
    const double pitch = double(s.widthMm) / steps;
    const double half = s.border ? s.borderWidthMm / 2 : 0.0;
    const double width = s.indexWidthDegrees / 360.0 * 2;
    for (int k = 0; k < s.pairs; ++k) {
        const double from = (2 * k + 1.75 - width / 2) * pitch;
        const double to = (2 * k + 1.75 + width / 2) * pitch;
        if (from >= half - 1e-9 && to <= s.widthMm - half + 1e-9)
            return k;
    }
    return -1;
}

double outlineRimMm(const EncoderSettings &settings)
{
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    if (settings.rimMm > 0)
        return settings.rimMm;
    if (settings.cut != EncoderSettings::Cut::None)
        return std::max(1.0, line);
    // Holes in a strip's margin: material of half a hole's diameter either side of them.
    if (settings.shape == Shape::Strip && settings.holeCount > 0)
        return line + 2 * settings.holeDiameterMm;
    return line;
}

double outlineHubMm(const EncoderSettings &settings)
{
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    // No more than there is inside the innermost track: a hub that wide leaves no inner circle.
    const double room = settings.innerRadiusMm + line / 2;
    if (settings.hubMm > 0)
        return std::min(settings.hubMm, room);
    if (settings.cut != EncoderSettings::Cut::None)
        return std::min(std::max(1.0, line), room);
    return line;
}

double patternMarginMm(const EncoderSettings &settings)
{
    // Sensor ticks stand outside the pattern; the rulers' first ticks stand half their width
    // left of and above it. A rim wider than the border line needs its room.
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    const double marks = settings.sensorMarks ? 4.0 : settings.calibration ? 1.0 : 0.0;
    return std::max(marks, outlineRimMm(settings) - line);
}

namespace {

// The page: where the pattern's box lies and what stands beside it, without the tracks; the
// calibration's text as outlines when asked for.
PatternGeometry pageLayout(const EncoderSettings &s, bool withText = true)
{
    PatternGeometry g;
    g.shape = s.shape;
    g.lineWidth = s.border ? s.borderWidthMm : 0.0;
    g.margin = patternMarginMm(s);
    g.sensorMarks = s.sensorMarks;
    const bool disc = s.shape == Shape::Disc;
    const double corner = g.margin + g.lineWidth / 2;
    if (!disc) {
        g.nominal = QRectF(corner, corner, s.widthMm, s.heightMm);
    } else {
        g.outerRadius = s.outerRadiusMm;
        g.innerRadius = s.innerRadiusMm;
        g.nominal = QRectF(corner, corner, 2.0 * s.outerRadiusMm, 2.0 * s.outerRadiusMm);
        g.center = g.nominal.center();
    }
    g.page = g.nominal.size() + QSizeF(1, 1) * (g.lineWidth + 2 * g.margin);
    if (s.calibration) {
        const QRectF box(
            g.margin, g.margin, g.nominal.width() + g.lineWidth, g.nominal.height() + g.lineWidth);
        g.calibration = calibration(s, box, g.nominal, withText);
        g.page += g.calibration->extra;
    }
    return g;
}

}

QSizeF patternRoomMm(const EncoderSettings &settings)
{
    const double margins = 2 * patternMarginMm(settings);
    if (!settings.calibration)
        return QSizeF(margins, margins);
    return QSizeF(margins, margins) + pageLayout(settings, false).calibration->extra;
}

std::vector<std::vector<int>> sensorTracks(const EncoderSettings &s, const PatternGeometry &g)
{
    std::vector<int> all;
    for (size_t i = 0; i < g.tracks.size(); ++i)
        all.push_back(int(i));
    std::vector<std::vector<int>> read;
    for (size_t j = 0; j < g.sensors.size(); ++j) {
        // One relative track read twice: the second sensor reads only the first track, the
        // segments, for B; everything else reads every track at its place.
        const bool secondOnOneTrack = s.type == EncoderType::Relative && !s.quadrature && j == 1;
        read.push_back(secondOnOneTrack ? std::vector<int> { 0 } : all);
    }
    if (s.type == EncoderType::Absolute && (s.code == Code::SingleTrack || s.code == Code::PseudoRandom))
        std::fill(read.begin(), read.end(), std::vector<int> { 0 });
    return read;
}

double readingStep(const EncoderSettings &s)
{
    const int steps
        = s.type == EncoderType::Absolute ? Codes::positions(s) : 4 * std::max(s.pairs, 1);
    return (s.shape == Shape::Disc ? 360.0 : double(s.widthMm)) / std::max(steps, 1);
}

namespace {

// The pattern's runs become slits of the aperture's width where the sensors read.
void makeMask(PatternGeometry &g, const EncoderSettings &s)
{
    const bool disc = g.shape == Shape::Disc;
    double aperture = s.maskApertureMm;
    if (aperture <= 0) {
        // Half the narrowest mark, and no wider than a reading step anywhere, so that a slit
        // never shows two steps at once (round a disc, at the innermost track's centre line).
        aperture = std::numeric_limits<double>::infinity();
        const std::vector<PatternGeometry::Widths> widths = g.narrowest();
        for (size_t i = 0; i < widths.size(); ++i) {
            const Track &t = g.tracks[i];
            const double step = readingStep(s) * (disc ? (t.from + t.to) / 2 * M_PI / 180.0 : 1.0);
            if (widths[i].mark > 0)
                aperture = std::min({ aperture, widths[i].mark / 2, step });
        }
        if (!std::isfinite(aperture))
            aperture = 0;
    }
    g.aperture = aperture;
    // Half a reading step on, the way positions grow: clockwise on a disc.
    const double shift = readingStep(s) / 2 * (disc ? -1 : 1);
    const std::vector<std::vector<int>> read = sensorTracks(s, g);
    std::vector<std::vector<Arcs::Band>> slits(g.tracks.size());
    for (size_t j = 0; j < g.sensors.size(); ++j) {
        for (const int i : read[j]) {
            const Track &t = g.tracks[size_t(i)];
            const double centre = (t.from + t.to) / 2;
            const double half = disc ? aperture / 2 / centre * 180.0 / M_PI : aperture / 2;
            double at = g.sensors[j].at + shift;
            if (disc)
                at = std::fmod(std::fmod(at, 360.0) + 360.0, 360.0);
            slits[size_t(i)].push_back({ at - half, at + half });
        }
    }
    // Opaque (marks, as a pattern's are) but for the slits: printed, light passes the slits only.
    for (size_t i = 0; i < g.tracks.size(); ++i) {
        Track &t = g.tracks[i];
        t.runs.clear();
        t.slits.clear();
        const std::vector<Arcs::Band> open = Arcs::mergedBands(slits[i]);
        for (const Arcs::Band &b : open)
            t.slits.push_back({ b.from, b.to });
        t.segments = 2 * int(open.size());
        if (open.empty()) {
            t.runs.push_back(disc ? Run { 0, 360 } : Run { g.nominal.left(), g.nominal.right() });
            t.segments = 1;
            continue;
        }
        if (disc) {
            for (size_t k = 0; k < open.size(); ++k) {
                const double next = k + 1 < open.size() ? open[k + 1].from : open[0].from + 360.0;
                if (next > open[k].to + 1e-9)
                    t.runs.push_back({ open[k].to, next });
            }
            continue;
        }
        double left = g.nominal.left();
        for (const Arcs::Band &b : open) {
            if (b.from > left + 1e-9)
                t.runs.push_back({ left, b.from });
            left = std::max(left, b.to);
        }
        if (left < g.nominal.right() - 1e-9)
            t.runs.push_back({ left, g.nominal.right() });
    }
    g.markBias = 0;
}

}

PatternGeometry patternGeometry(const EncoderSettings &s)
{
    PatternGeometry g = pageLayout(s);
    const bool absolute = s.type == EncoderType::Absolute;
    const bool disc = s.shape == Shape::Disc;
    g.positions = Codes::positions(s);
    // A one-track code has a cell a step; a pseudo-random strip has n - 1 cells more than
    // positions, for the last sensors of the last position.
    const Codes::SingleTrack *oneTrack = absolute ? Codes::oneTrack(s) : nullptr;
    const int steps = oneTrack ? int(oneTrack->cells.size())
        : absolute             ? g.positions
                               : 2 * std::max(s.pairs, 0);
    const double pitch = steps > 0 ? (disc ? 360.0 : s.widthMm * 1.0) / steps : 0;
    g.cellPitch = pitch;
    // Swapped or mirrored, the runs are first gathered in steps and placed at the end.
    const bool remap = s.invert || s.counterClockwise;

    // Positions along the pattern, in steps, to runs: left to right on a strip, clockwise from
    // 3 o'clock on a disc (step q covers [360 - (q + 1) d, 360 - q d] as seen).
    const auto span = [&](double a, double b) {
        if (remap)
            return Run { a, b };
        if (!disc)
            return Run { g.nominal.left() + pitch * std::max(a, 0.0),
                g.nominal.left() + pitch * std::min(b, double(steps)) };
        return Run { 360.0 - pitch * b, 360.0 - pitch * a };
    };
    const auto at = [&](double position) {
        if (s.counterClockwise)
            return disc ? std::fmod(pitch * position, 360.0)
                        : g.nominal.left() + pitch * (steps - position);
        return disc ? std::fmod(360.0 - pitch * position, 360.0)
                    : g.nominal.left() + pitch * position;
    };

    // The tracks split the strip's height or the disc's ring equally, top or outermost first.
    const auto addTracks = [&](int count) {
        const double from = disc ? g.outerRadius : g.nominal.top();
        const double to = disc ? g.innerRadius : g.nominal.bottom();
        const double width = count > 0 ? (to - from) / count : 0;
        for (int i = 0; i < count; ++i) {
            Track t;
            const double a = from + width * i;
            const double b = i == count - 1 ? to : a + width;
            t.from = std::min(a, b);
            t.to = std::max(a, b);
            g.tracks.push_back(t);
        }
    };

    if (absolute && (s.code == Code::SingleTrack || s.code == Code::PseudoRandom)) {
        const bool pseudoRandom = s.code == Code::PseudoRandom;
        const bool clock = pseudoRandom && s.clock;
        addTracks(clock ? 2 : 1);
        Track &t = g.tracks.front();
        t.name
            = pseudoRandom ? QStringLiteral("pseudo-random track") : QStringLiteral("single track");
        if (clock) {
            // A mark every other cell: an edge at every cell boundary, read half a cell after
            // the first sensor, where the code's word stands still.
            Track &c = g.tracks.back();
            c.name = QStringLiteral("clock");
            c.clock = true;
            for (const auto &[a, b] :
                stepRuns(steps, disc, &c.segments, [](int q) { return q % 2 == 1; }))
                c.runs.push_back(span(a, b));
        }
        if (const Codes::SingleTrack *code = oneTrack) {
            const int cells = int(code->cells.size());
            for (const auto &[a, b] : stepRuns(cells, disc, &t.segments,
                     [code](int q) { return bool(code->cells[size_t(q)]); }))
                t.runs.push_back(span(a, b));
            const int sensors = int(code->sensorOffset.size());
            for (int j = 0; j < sensors; ++j)
                g.sensors.push_back(
                    { QStringLiteral("sensor %1 (bit %2)")
                            .arg(j + 1)
                            .arg(s.bitOrder == BitOrder::LsbToMsb ? j : sensors - 1 - j),
                        at(code->sensorOffset[size_t(j)]) });
        }
        if (clock)
            g.sensors.push_back({ QStringLiteral("clock, half a cell after sensor 1"), at(0.5) });
    } else if (absolute) {
        const int bits = Codes::wordBits(s);
        addTracks(bits);
        // Each position's word once, not once a track (a 16-bit disc: a million words).
        std::vector<unsigned> words(size_t(std::max(steps, 0)));
        for (int q = 0; q < steps; ++q)
            words[size_t(q)] = codeWord(s, q);
        for (int i = 0; i < bits; ++i) {
            Track &t = g.tracks[size_t(i)];
            // The bit-order button: the top of a strip, the outside of a disc, is the most
            // significant bit on a strip and the least on a disc while it is not pressed.
            const bool lowFirst = (s.bitOrder == BitOrder::LsbToMsb) == disc;
            t.bit = lowFirst ? i : bits - 1 - i;
            t.name = bitTrackName(i, t.bit, bits);
            const int bit = t.bit;
            for (const auto &[a, b] : stepRuns(steps, disc, &t.segments,
                     [&words, bit](int q) { return bool(words[size_t(q)] >> bit & 1u); }))
                t.runs.push_back(span(a, b));
        }
        g.sensors.push_back({ QStringLiteral("reading line, every track"), at(0) });
    } else {
        const int tracks = (s.quadrature ? 2 : 1) + (s.index ? 1 : 0);
        addTracks(tracks);
        const int pairs = steps / 2;
        Track &a = g.tracks[0];
        a.name = s.quadrature ? QStringLiteral("channel A") : QStringLiteral("segments");
        a.segments = steps;
        for (int m = 1; m < steps; m += 2)
            a.runs.push_back(span(m, m + 1));
        if (s.quadrature) {
            // B follows A by a quarter period: A's marks begin half a segment before B's.
            Track &b = g.tracks[1];
            b.name = QStringLiteral("channel B");
            b.segments = steps;
            for (int k = disc ? 0 : -1; k < pairs; ++k)
                b.runs.push_back(span(2 * k + 1.5, 2 * k + 2.5));
        }
        if (s.index && pairs > 0) {
            // One mark where A and B are both marks, centred on that quarter period: on a strip
            // in the first period where the border lines leave all of it.
            Track &z = g.tracks.back();
            z.name = QStringLiteral("index Z");
            z.segments = 2;
            const double width = s.indexWidthDegrees / 360.0 * 2;
            const int period = disc ? 0 : stripIndexPeriod(s);
            const double middle = 2 * std::max(period, 0) + 1.75;
            z.runs.push_back(span(middle - width / 2, middle + width / 2));
        }
        if (s.quadrature) {
            g.sensors.push_back(
                { s.index ? QStringLiteral("A, B and Z") : QStringLiteral("A and B"), at(0) });
        } else {
            // A second sensor (k + 3/4) periods on gives quadrature from the one track, B a
            // quarter period behind A as with two channels; about a quarter of the way round
            // leaves room for two sensors.
            const int k = pairs / 4;
            g.sensors.push_back(
                { s.index ? QStringLiteral("A and Z") : QStringLiteral("A"), at(0) });
            g.sensors.push_back({ QStringLiteral("B, %1 3/4 periods on").arg(k), at(2 * k + 1.5) });
        }
    }

    if (remap)
        for (Track &t : g.tracks)
            t.runs = placeRuns(
                t.runs, steps, pitch, disc, s.invert, s.counterClockwise, g.nominal.left());

    g.markBias = s.markBiasMm;
    if (!disc && g.markBias != 0) {
        for (Track &t : g.tracks)
            for (Run &r : t.runs) {
                r.from -= g.markBias / 2;
                r.to += g.markBias / 2;
            }
    }

    if (disc && s.centerMark && s.innerRadiusMm > 0) {
        PatternGeometry::CenterMark mark;
        mark.arm = s.innerRadiusMm * 0.5;
        mark.width = s.borderWidthMm; // drawn with the border width even when the border is off
        mark.dot = g.center + QPointF(mark.arm, 0);
        mark.dotRadius = mark.arm / 5 + mark.width / 2;
        g.centerMark = mark;
    }

    g.rim = outlineRimMm(s);
    g.hub = outlineHubMm(s);
    if (!disc) {
        g.holeRadius = s.holeCount > 0 ? s.holeDiameterMm / 2 : 0.0;
        // Evenly along the margin below the pattern, each in the middle of its share.
        const double y = g.nominal.bottom() + g.rim / 2;
        for (int i = 0; i < s.holeCount; ++i)
            g.holes.push_back(
                { g.nominal.left() + (i + 0.5) * g.nominal.width() / s.holeCount, y });
    }

    if (s.mask)
        makeMask(g, s);

    if (disc) {
        g.boreRadius = s.boreMm / 2;
        g.dFlat = s.boreMm > 0 ? s.dFlatMm : 0.0;
        g.holeRadius = s.holeCount > 0 ? s.holeDiameterMm / 2 : 0.0;
        for (int i = 0; i < s.holeCount; ++i)
            g.holes.push_back(
                Shapes::pointOnCircle(g.center, s.holePitchMm / 2, -360.0 * i / s.holeCount));
    }
    return g;
}

namespace {

using Shapes::Contour;

// The border lines of a strip: the outer frame with one hole per track.
Contour stripFrameOuter(const PatternGeometry &g)
{
    const double half = g.lineWidth / 2;
    return Shapes::rectangle(g.nominal.left() - half, g.nominal.top() - half,
        g.nominal.right() + half, g.nominal.bottom() + half);
}

// What of a strip's track the border lines leave: its marks' room, the frames' hole.
QRectF stripInterior(const PatternGeometry &g, const Track &t)
{
    const double half = g.lineWidth / 2;
    return QRectF(QPointF(g.nominal.left() + half, t.from + half),
        QPointF(g.nominal.right() - half, t.to - half));
}

// The border circles of a disc as bands of radii, merged where they meet.
std::vector<Arcs::Band> circleBands(const PatternGeometry &g)
{
    std::vector<Arcs::Band> bands;
    const double half = g.lineWidth / 2;
    for (const Track &t : g.tracks) {
        for (const double r : { t.from, t.to }) {
            if (r > 0) // a circle of radius 0 is no circle
                bands.push_back({ std::max(0.0, r - half), r + half });
        }
    }
    return Arcs::mergedBands(std::move(bands));
}

// The cross and its dot as one outline where the dot swallows the arm's end, as it does unless
// the arms are barely longer than they are wide.
std::vector<Contour> centerMarkContours(const PatternGeometry &g)
{
    const PatternGeometry::CenterMark &m = *g.centerMark;
    const QPointF c = g.center;
    const double h = m.width / 2;
    const double e = m.arm + h; // the square caps lengthen the arms by half the width
    const double r = m.dotRadius;
    const double reach = std::sqrt(std::max(0.0, r * r - h * h)); // where the arm meets the dot
    const bool merged = h > 0 && std::hypot(h, h) < r && m.arm - reach > h;

    Contour cross;
    cross.start = c + QPointF(h, h);
    if (merged) {
        const double alpha = std::asin(h / r) * 180.0 / M_PI;
        cross.lineTo(c + QPointF(m.arm - reach, h));
        cross.arcTo(m.dot, r, 180.0 + alpha, 360.0 - 2 * alpha);
    } else {
        cross.lineTo(c + QPointF(e, h));
        cross.lineTo(c + QPointF(e, -h));
    }
    const QPointF corners[] = { { h, -h }, { h, -e }, { -h, -e }, { -h, -h }, { -e, -h }, { -e, h },
        { -h, h }, { -h, e }, { h, e } };
    for (const QPointF &p : corners)
        cross.lineTo(c + p);
    std::vector<Contour> contours { cross };
    if (!merged && r > 0)
        contours.push_back(Shapes::circle(m.dot, r));
    return contours;
}

// A disc's mark whose straight edges each move out by half the bias, parallel to themselves, as
// a kerf or ink spread moves them.
Contour biasedSector(QPointF center, double inner, double outer, const Run &run, double bias)
{
    if (bias == 0 || inner <= 0)
        return Shapes::annularSector(center, inner, outer, run.from, run.to - run.from);
    const double h = bias / 2;
    const auto widen
        = [h](double r) { return std::asin(std::clamp(h / r, -1.0, 1.0)) * 180.0 / M_PI; };
    const double outerFrom = run.from - widen(outer);
    const double outerTo = run.to + widen(outer);
    const double innerFrom = run.from - widen(inner);
    const double innerTo = run.to + widen(inner);
    Contour c;
    c.start = Shapes::pointOnCircle(center, outer, outerFrom);
    c.arcTo(center, outer, outerFrom, outerTo - outerFrom);
    c.lineTo(Shapes::pointOnCircle(center, inner, innerTo));
    c.arcTo(center, inner, innerTo, innerFrom - innerTo);
    return c;
}

// A short tick outside the pattern at each sensor's reading position: radial outside a disc,
// above and below a strip.
std::vector<Contour> sensorTicks(const PatternGeometry &g)
{
    constexpr double gap = 0.5;
    constexpr double length = 2.5;
    constexpr double width = 0.3;
    const double half = g.lineWidth / 2;
    std::vector<Contour> ticks;
    const auto add = [&](QPointF from, QPointF to) {
        const QPointF along = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
        const QPointF side(along.y() * width / 2, -along.x() * width / 2);
        Contour c;
        c.start = from + side;
        c.lineTo(to + side);
        c.lineTo(to - side);
        c.lineTo(from - side);
        if (c.signedArea() < 0) {
            c.start = from - side;
            c.segments.clear();
            c.lineTo(to - side);
            c.lineTo(to + side);
            c.lineTo(from + side);
        }
        ticks.push_back(c);
    };
    for (const PatternGeometry::Sensor &sensor : g.sensors) {
        if (g.shape == Shape::Disc) {
            const double r = g.outerRadius + half + gap;
            add(Shapes::pointOnCircle(g.center, r, sensor.at),
                Shapes::pointOnCircle(g.center, r + length, sensor.at));
        } else {
            const double top = g.nominal.top() - half - gap;
            const double bottom = g.nominal.bottom() + half + gap;
            add(QPointF(sensor.at, top - length), QPointF(sensor.at, top));
            add(QPointF(sensor.at, bottom), QPointF(sensor.at, bottom + length));
        }
    }
    return ticks;
}

}

std::pair<double, double> PatternGeometry::markRadii(const Track &track) const
{
    const double half = lineWidth / 2;
    return { track.from > 0 ? track.from + half : 0.0, track.to - half };
}

std::vector<Shapes::Layer> PatternGeometry::layers(MarkEdges edges) const
{
    std::vector<Shapes::Layer> result;
    forEachLayer(edges, [&result](Shapes::Layer &&layer) { result.push_back(std::move(layer)); });
    return result;
}

void PatternGeometry::forEachLayer(MarkEdges edges,
    const std::function<void(Shapes::Layer &&)> &visit, size_t partSize) const
{
    using Shapes::Layer;
    const double half = lineWidth / 2;
    const double reach = edges == MarkEdges::InsideBorder ? lineWidth / 4 : 0.0;

    for (const Track &t : tracks) {
        Layer layer { t.name, Layer::Kind::Fill, {} };
        // After a whole run (a ring's two circles stay together).
        const auto handOverPart = [&] {
            if (partSize > 0 && layer.contours.size() >= partSize)
                visit(Layer { t.name, Layer::Kind::Fill, std::exchange(layer.contours, {}) });
        };
        if (shape == Shape::Strip) {
            const QRectF room = stripInterior(*this, t);
            const QRectF reached = room.adjusted(-reach, -reach, reach, reach);
            for (const Run &run : t.runs) {
                const double a = std::max(run.from, room.left());
                const double b = std::min(run.to, room.right());
                if (a < b && room.top() < room.bottom())
                    layer.contours.push_back(Shapes::rectangle(std::max(run.from, reached.left()),
                        reached.top(), std::min(run.to, reached.right()), reached.bottom()));
                handOverPart();
            }
        } else {
            const auto [inner, outer] = markRadii(t);
            const double reachedInner = inner > 0 ? inner - reach : 0.0;
            for (const Run &run : t.runs) {
                if (!(inner < outer && run.to > run.from))
                    continue;
                if (run.to - run.from >= 360.0 - 1e-9 && markBias == 0) {
                    // A whole ring: two circles, no radial seam for a cutter to slit.
                    layer.contours.push_back(Shapes::circle(center, outer + reach));
                    if (reachedInner > 0)
                        layer.contours.push_back(Shapes::circle(center, reachedInner, true));
                    continue;
                }
                layer.contours.push_back(
                    biasedSector(center, reachedInner, outer + reach, run, markBias));
                handOverPart();
            }
        }
        if (!layer.contours.empty())
            visit(std::move(layer));
    }

    if (lineWidth > 0 && !tracks.empty()) {
        if (shape == Shape::Strip) {
            Layer frames { QStringLiteral("frames"), Layer::Kind::Fill,
                { stripFrameOuter(*this) } };
            for (const Track &t : tracks) {
                const QRectF hole = stripInterior(*this, t);
                if (hole.top() < hole.bottom() && hole.left() < hole.right())
                    frames.contours.push_back(Shapes::rectangle(
                        hole.left(), hole.top(), hole.right(), hole.bottom(), true));
            }
            visit(std::move(frames));
        } else {
            Layer circles { QStringLiteral("circles"), Layer::Kind::Fill, {} };
            for (const Arcs::Band &band : circleBands(*this)) {
                circles.contours.push_back(Shapes::circle(center, band.to));
                if (band.from > 0)
                    circles.contours.push_back(Shapes::circle(center, band.from, true));
            }
            visit(std::move(circles));
        }
    }

    if (centerMark)
        visit(
            { QStringLiteral("centre mark"), Layer::Kind::Fill, centerMarkContours(*this) });

    if (sensorMarks && !sensors.empty())
        visit({ QStringLiteral("sensor marks"), Layer::Kind::Fill, sensorTicks(*this) });

    if (calibration) {
        visit({ QStringLiteral("ruler"), Layer::Kind::Fill, calibration->ruler });
        visit({ QStringLiteral("legend"), Layer::Kind::Fill, calibration->legend });
    }

    const double beyond = rim - half; // from the nominal edge to the outline
    if (shape == Shape::Strip && (!holes.empty() || rim > lineWidth)) {
        Layer outline { QStringLiteral("outline"), Layer::Kind::Cut,
            { Shapes::rectangle(nominal.left() - beyond, nominal.top() - beyond,
                nominal.right() + beyond, nominal.bottom() + beyond) } };
        for (const QPointF &h : holes)
            outline.contours.push_back(Shapes::circle(h, holeRadius));
        visit(std::move(outline));
    }
    if (shape == Shape::Disc) {
        Layer outline { QStringLiteral("outline"), Layer::Kind::Cut,
            { Shapes::circle(center, outerRadius + beyond) } };
        // A bore or mounting holes keep the hub: they are cut instead of the inner circle.
        const bool bored = boreRadius > 0 || !holes.empty();
        const double innerCut = innerRadius + half - hub;
        if (innerCut > 1e-9 && !bored)
            outline.contours.push_back(Shapes::circle(center, innerCut));
        if (boreRadius > 0 && dFlat > 0) {
            // Round from the flat's top end counter-clockwise to its bottom end, then straight.
            const double a = std::acos((boreRadius - dFlat) / boreRadius) * 180 / M_PI;
            Shapes::Contour bore;
            bore.start = Shapes::pointOnCircle(center, boreRadius, a);
            bore.arcTo(center, boreRadius, a, 360 - 2 * a);
            bore.lineTo(bore.start);
            outline.contours.push_back(std::move(bore));
        } else if (boreRadius > 0) {
            outline.contours.push_back(Shapes::circle(center, boreRadius));
        }
        for (const QPointF &h : holes)
            outline.contours.push_back(Shapes::circle(h, holeRadius));
        visit(std::move(outline));
    }
}

std::vector<PatternGeometry::Widths> PatternGeometry::narrowest(Along along) const
{
    std::vector<Widths> result;
    const bool disc = shape == Shape::Disc;
    for (const Track &t : tracks) {
        Widths w { t.name, std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::infinity() };
        // Arc lengths round a disc; a strip's runs already carry the bias.
        const double radius = along == Along::Centre ? (t.from + t.to) / 2 : t.from;
        const double scale = disc ? radius * M_PI / 180.0 : 1.0;
        const double bias = disc ? markBias : 0.0;
        const size_t n = t.runs.size();
        for (size_t i = 0; i < n; ++i) {
            const Run &r = t.runs[i];
            w.mark = std::min(w.mark, (r.to - r.from) * scale + bias);
            // Strip runs go left to right; disc runs clockwise, that is to smaller angles,
            // the last one wrapping round to the first.
            if (!disc && i + 1 < n)
                w.gap = std::min(w.gap, t.runs[i + 1].from - r.to);
            if (disc) {
                const Run &next = t.runs[(i + 1) % n];
                const double gap = r.from - next.to + (i + 1 == n ? 360.0 : 0.0);
                w.gap = std::min(w.gap, gap * scale - bias);
            }
        }
        if (n == 0)
            w.mark = 0;
        result.push_back(w);
    }
    return result;
}

QString mountingProblem(const EncoderSettings &settings)
{
    if (!settings.hasMounting() && settings.dFlatMm <= 0)
        return {};
    if (settings.shape != Shape::Disc) {
        if (settings.boreMm > 0 || settings.dFlatMm > 0 || settings.holePitchMm > 0)
            return QStringLiteral("--bore, --d-flat and --holes N,D,PCD are for discs; a strip "
                                  "takes --holes N,D in the margin below it");
        const PatternGeometry g = patternGeometry(settings);
        const double band = g.rim - g.lineWidth;
        if (settings.holeDiameterMm >= band - 1e-9)
            return QStringLiteral("strip holes of %1 mm need a margin wider than that; the rim "
                                  "leaves %2 mm below the border line (raise --rim)")
                .arg(settings.holeDiameterMm)
                .arg(band);
        if (settings.holeCount > 0
            && settings.widthMm / double(settings.holeCount) <= settings.holeDiameterMm + 1e-9)
            return QStringLiteral("%1 strip holes of %2 mm overlap each other along %3 mm")
                .arg(settings.holeCount)
                .arg(settings.holeDiameterMm)
                .arg(settings.widthMm);
        return {};
    }
    if (settings.dFlatMm > 0 && settings.boreMm <= 0)
        return QStringLiteral("--d-flat is a flat on the bore; give --bore too");
    const PatternGeometry g = patternGeometry(settings);
    // Room free of tracks and border lines around the centre.
    double clear = std::numeric_limits<double>::infinity();
    for (const PatternGeometry::Track &t : g.tracks)
        clear = std::min(clear, t.from);
    clear = std::max(0.0, clear - (g.lineWidth > 0 && clear > 0 ? g.lineWidth / 2 : 0.0));
    constexpr double eps = 1e-9;
    const QString room = QStringLiteral("%1 mm from the centre (the inner radius less half the "
                                        "border line); raise --inner-radius")
                             .arg(clear);
    if (settings.boreMm > 0) {
        if (g.boreRadius > clear + eps)
            return QStringLiteral("a bore of %1 mm cuts into the innermost track: the clear centre "
                                  "reaches only %2")
                .arg(settings.boreMm)
                .arg(room);
        if (g.centerMark)
            return QStringLiteral("a bore of %1 mm cuts through the centre mark; add "
                                  "--no-center-mark (the bore marks the centre)")
                .arg(settings.boreMm);
        if (settings.dFlatMm >= g.boreRadius - eps)
            return QStringLiteral("--d-flat %1 mm must be less than the bore's radius, %2 mm")
                .arg(settings.dFlatMm)
                .arg(g.boreRadius);
    }
    if (settings.holeCount > 0) {
        const double pitch = settings.holePitchMm / 2;
        if (pitch + g.holeRadius > clear + eps)
            return QStringLiteral("mounting holes reaching %1 mm from the centre cut into the "
                                  "innermost track: the clear centre reaches only %2")
                .arg(pitch + g.holeRadius)
                .arg(room);
        if (pitch - g.holeRadius < eps && g.boreRadius <= 0)
            return QStringLiteral("mounting holes of %1 mm on a %2 mm pitch circle reach over the "
                                  "centre; use --bore for a hole there")
                .arg(settings.holeDiameterMm)
                .arg(settings.holePitchMm);
        if (pitch - g.holeRadius < g.boreRadius + eps)
            return QStringLiteral("mounting holes on a %1 mm pitch circle cut into the %2 mm bore")
                .arg(settings.holePitchMm)
                .arg(settings.boreMm);
        if (settings.holeCount > 1
            && 2 * pitch * std::sin(M_PI / settings.holeCount) < settings.holeDiameterMm + eps)
            return QStringLiteral("%1 mounting holes of %2 mm on a %3 mm pitch circle overlap "
                                  "each other")
                .arg(settings.holeCount)
                .arg(settings.holeDiameterMm)
                .arg(settings.holePitchMm);
        if (g.centerMark) {
            const PatternGeometry::CenterMark &m = *g.centerMark;
            const double reach
                = std::max(std::hypot(m.arm + m.width / 2, m.width / 2), m.arm + m.dotRadius);
            if (pitch - g.holeRadius < reach + eps)
                return QStringLiteral("mounting holes on a %1 mm pitch circle cut the centre "
                                      "mark, which reaches %2 mm; add --no-center-mark or "
                                      "widen the pitch circle")
                    .arg(settings.holePitchMm)
                    .arg(reach);
        }
    }
    return {};
}

QString markBiasProblem(const EncoderSettings &settings)
{
    if (settings.markBiasMm == 0)
        return QString();
    EncoderSettings pattern = settings;
    pattern.mask = false; // the bias is the pattern's
    const PatternGeometry g = patternGeometry(pattern);
    if (g.shape == Shape::Disc) {
        for (const PatternGeometry::Track &t : g.tracks) {
            if (t.from <= std::fabs(settings.markBiasMm))
                return QStringLiteral("the marks of %1 meet at the disc's centre; a mark bias "
                                      "needs an inner radius")
                    .arg(t.name);
        }
    }
    for (const PatternGeometry::Widths &w : g.narrowest(PatternGeometry::Along::InnerEdge)) {
        if (w.gap <= 0)
            return QStringLiteral("a mark bias of %1 mm closes the narrowest gap of %2 (%3 mm "
                                  "without bias)")
                .arg(settings.markBiasMm)
                .arg(w.track)
                .arg(w.gap + settings.markBiasMm, 0, 'f', 4);
        if (w.mark <= 0)
            return QStringLiteral("a mark bias of %1 mm removes the narrowest mark of %2 (%3 mm "
                                  "without bias)")
                .arg(settings.markBiasMm)
                .arg(w.track)
                .arg(w.mark - settings.markBiasMm, 0, 'f', 4);
    }
    // Two sensors on relative tracks read the quarter periods: a bias of a quarter period
    // removes one of the four states.
    if (settings.type == EncoderType::Relative && settings.pairs > 0) {
        double quarter = double(settings.widthMm) / (4 * settings.pairs);
        if (g.shape == Shape::Disc) {
            double inner = g.outerRadius;
            for (const PatternGeometry::Track &t : g.tracks)
                inner = std::min(inner, t.from + g.lineWidth / 2);
            quarter = inner * M_PI / (2 * settings.pairs);
        }
        if (std::fabs(settings.markBiasMm) >= quarter - 1e-9)
            return QStringLiteral("a mark bias of %1 mm breaks the order of the quadrature states "
                                  "(a quarter period is %2 mm); at most %3 mm")
                .arg(settings.markBiasMm)
                .arg(quarter, 0, 'f', 4)
                .arg(std::max(0.0, std::floor((quarter - 1e-6) * 1000) / 1000), 0, 'f', 3);
    }
    return QString();
}

double PatternGeometry::measuredCentre(const Track &track) const
{
    return (track.from + track.to) / 2 - (shape == Shape::Disc ? 0.0 : nominal.top());
}

double PatternGeometry::measuredPlace(const Sensor &sensor) const
{
    if (shape != Shape::Disc)
        return sensor.at - nominal.left();
    const double clockwise = std::fmod(360.0 - sensor.at, 360.0);
    return clockwise < 0 ? clockwise + 360.0 : clockwise;
}

double PatternGeometry::foregroundArea() const
{
    double area = 0;
    forEachLayer(MarkEdges::AtBorder, [&area](Shapes::Layer &&layer) {
        if (layer.kind == Shapes::Layer::Kind::Fill)
            for (const Shapes::Contour &c : layer.contours)
                area += c.signedArea();
    });
    return area;
}

bool PatternGeometry::showsMarks() const
{
    bool shows = false;
    forEachLayer(MarkEdges::AtBorder, [this, &shows](Shapes::Layer &&layer) {
        shows = shows || (!layer.contours.empty() && std::any_of(tracks.begin(), tracks.end(),
                     [&layer](const Track &t) { return layer.name == t.name; }));
    });
    return shows;
}
