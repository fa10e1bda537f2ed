#include "patterngeometry.h"

#include <algorithm>
#include <cmath>

namespace {

using Run = PatternGeometry::Run;
using Track = PatternGeometry::Track;

// Maximal runs of steps whose code has `bit` set, as [first, end) step intervals. On a cyclic
// pattern a run through the last step continues into step 0 (end > steps).
std::vector<std::pair<int, int>> stepRuns(
    const EncoderSettings &settings, int steps, int bit, bool cyclic, int *segments)
{
    std::vector<std::pair<int, int>> runs;
    int transitions = 0;
    bool previous = false;
    for (int q = 0; q < steps; ++q) {
        const bool on = (codeWord(settings, q) >> bit) & 1u;
        if (q > 0 && on != previous)
            ++transitions;
        if (on && (q == 0 || !previous))
            runs.push_back({ q, q + 1 });
        else if (on)
            runs.back().second = q + 1;
        previous = on;
    }
    const bool firstOn = codeWord(settings, 0) >> bit & 1u;
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

unsigned codeWord(const EncoderSettings &settings, int step)
{
    const unsigned q = unsigned(step);
    const bool gray = settings.shape == Shape::Disc && settings.grayCode;
    return gray ? q ^ (q >> 1) : q;
}

PatternGeometry patternGeometry(const EncoderSettings &s)
{
    PatternGeometry g;
    g.shape = s.shape;
    g.lineWidth = s.border ? s.borderWidthMm : 0.0;
    const double half = g.lineWidth / 2;
    const bool absolute = s.type == EncoderType::Absolute;
    const int bits = absolute ? std::clamp(s.count, 0, 16) : 0;
    g.positions = absolute ? (1 << bits) : 0;
    const int steps = absolute ? g.positions : 2 * std::max(s.count, 0);

    if (s.shape == Shape::Bar) {
        g.nominal = QRectF(half, half, s.widthMm, s.heightMm);
        g.page = QSizeF(s.widthMm + g.lineWidth, s.heightMm + g.lineWidth);
        const double left = g.nominal.left();
        const double pitch = steps > 0 ? g.nominal.width() / steps : 0;
        const auto x = [&](int step) { return left + pitch * step; };
        if (absolute) {
            const double height = bits > 0 ? g.nominal.height() / bits : 0;
            for (int i = 0; i < bits; ++i) {
                Track t;
                t.bit = s.bitOrder == BitOrder::LsbToMsb ? bits - 1 - i : i;
                t.name = bitTrackName(i, t.bit, bits);
                t.from = g.nominal.top() + height * i;
                t.to = i == bits - 1 ? g.nominal.bottom() : t.from + height;
                for (const auto &[a, b] : stepRuns(s, steps, t.bit, false, &t.segments))
                    t.runs.push_back({ x(a), x(b) });
                g.tracks.push_back(t);
            }
        } else {
            Track t;
            t.name = QStringLiteral("segments");
            t.from = g.nominal.top();
            t.to = g.nominal.bottom();
            t.segments = steps;
            for (int m = 1; m < steps; m += 2)
                t.runs.push_back({ x(m), x(m + 1) });
            g.tracks.push_back(t);
        }
        return g;
    }

    g.outerRadius = s.outerRadiusMm;
    g.innerRadius = s.innerRadiusMm;
    const double side = 2.0 * s.outerRadiusMm;
    g.nominal = QRectF(half, half, side, side);
    g.page = QSizeF(side + g.lineWidth, side + g.lineWidth);
    g.center = g.nominal.center();
    // Steps run clockwise from 3 o'clock: step q covers [360 - (q + 1) d, 360 - q d] as seen.
    const double pitch = steps > 0 ? 360.0 / steps : 0;
    const auto run = [&](int first, int end) {
        return Run { 360.0 - pitch * end, 360.0 - pitch * first };
    };
    if (absolute) {
        const double width = bits > 0 ? (g.outerRadius - g.innerRadius) / bits : 0;
        for (int j = 0; j < bits; ++j) {
            Track t;
            t.bit = s.bitOrder == BitOrder::LsbToMsb ? j : bits - 1 - j;
            t.name = bitTrackName(j, t.bit, bits);
            t.to = g.outerRadius - width * j;
            t.from = j == bits - 1 ? g.innerRadius : t.to - width;
            for (const auto &[a, b] : stepRuns(s, steps, t.bit, true, &t.segments))
                t.runs.push_back(run(a, b));
            g.tracks.push_back(t);
        }
    } else {
        Track t;
        t.name = QStringLiteral("segments");
        t.from = g.innerRadius;
        t.to = g.outerRadius;
        t.segments = steps;
        for (int m = 1; m < steps; m += 2)
            t.runs.push_back(run(m, m + 1));
        g.tracks.push_back(t);
    }

    if (s.centerMark && s.innerRadiusMm > 0) {
        PatternGeometry::CenterMark mark;
        mark.arm = s.innerRadiusMm * 0.5;
        mark.width = s.borderWidthMm; // drawn with the border width even when the border is off
        mark.dot = g.center + QPointF(mark.arm, 0);
        mark.dotRadius = mark.arm / 5 + mark.width / 2;
        g.centerMark = mark;
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

// The border circles of a disc as bands of radii, merged where they meet.
std::vector<std::pair<double, double>> circleBands(const PatternGeometry &g)
{
    std::vector<double> radii;
    for (const Track &t : g.tracks) {
        radii.push_back(t.to);
        radii.push_back(t.from);
    }
    std::sort(radii.begin(), radii.end());
    radii.erase(std::unique(radii.begin(), radii.end()), radii.end());
    std::vector<std::pair<double, double>> bands;
    const double half = g.lineWidth / 2;
    for (double r : radii) {
        if (r <= 0)
            continue; // a circle of radius 0 is no circle
        const double a = std::max(0.0, r - half);
        const double b = r + half;
        if (!bands.empty() && a <= bands.back().second)
            bands.back().second = b;
        else
            bands.push_back({ a, b });
    }
    return bands;
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

}

std::vector<Shapes::Layer> PatternGeometry::layers() const
{
    using Shapes::Layer;
    const double half = lineWidth / 2;
    std::vector<Layer> result;

    for (const Track &t : tracks) {
        Layer layer { t.name, Layer::Kind::Fill, {} };
        if (shape == Shape::Bar) {
            const double top = t.from + half;
            const double bottom = t.to - half;
            const double left = nominal.left() + half;
            const double right = nominal.right() - half;
            for (const Run &run : t.runs) {
                const double a = std::max(run.from, left);
                const double b = std::min(run.to, right);
                if (a < b && top < bottom)
                    layer.contours.push_back(Shapes::rectangle(a, top, b, bottom));
            }
        } else {
            const double inner = t.from > 0 ? t.from + half : 0.0;
            const double outer = t.to - half;
            for (const Run &run : t.runs) {
                if (inner < outer && run.to > run.from)
                    layer.contours.push_back(
                        Shapes::annularSector(center, inner, outer, run.from, run.to - run.from));
            }
        }
        if (!layer.contours.empty())
            result.push_back(std::move(layer));
    }

    if (lineWidth > 0 && !tracks.empty()) {
        if (shape == Shape::Bar) {
            Layer frames { QStringLiteral("frames"), Layer::Kind::Fill,
                { stripFrameOuter(*this) } };
            for (const Track &t : tracks) {
                const double top = t.from + half;
                const double bottom = t.to - half;
                const double left = nominal.left() + half;
                const double right = nominal.right() - half;
                if (top < bottom && left < right)
                    frames.contours.push_back(Shapes::rectangle(left, top, right, bottom, true));
            }
            result.push_back(std::move(frames));
        } else {
            Layer circles { QStringLiteral("circles"), Layer::Kind::Fill, {} };
            for (const auto &[a, b] : circleBands(*this)) {
                circles.contours.push_back(Shapes::circle(center, b));
                if (a > 0)
                    circles.contours.push_back(Shapes::circle(center, a, true));
            }
            result.push_back(std::move(circles));
        }
    }

    if (centerMark)
        result.push_back(
            { QStringLiteral("centre mark"), Layer::Kind::Fill, centerMarkContours(*this) });

    if (shape == Shape::Disc) {
        Layer outline { QStringLiteral("outline"), Layer::Kind::Cut,
            { Shapes::circle(center, outerRadius + half) } };
        if (innerRadius - half > 0)
            outline.contours.push_back(Shapes::circle(center, innerRadius - half));
        result.push_back(std::move(outline));
    }
    return result;
}

double PatternGeometry::foregroundArea() const
{
    double area = 0;
    for (const Shapes::Layer &layer : layers()) {
        if (layer.kind != Shapes::Layer::Kind::Fill)
            continue;
        for (const Shapes::Contour &c : layer.contours)
            area += c.signedArea();
    }
    return area;
}
