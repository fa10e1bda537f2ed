// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "periodicring.h"

#include "cores.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#ifdef __SSE2__
#include <xmmintrin.h>
#endif

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double none = std::numeric_limits<double>::quiet_NaN();

// Sides on lines nearer the centre than this (pixels) times the ring's widest pitch (pixels, at
// least one) are integrated from mark edge to mark edge. Farther out, what the two integrations
// by parts leave out is under a tenth of a level for marks under a pixel: it shrinks with the
// square of the distance, and grows with the pitch (two levels at 9 px for a pitch of two).
constexpr double nearCentreAPitch = 8;

// The angles of the n points (u + k, v) of a line, each from the one before: the step's tan is
// their cross product over their dot product, short enough for three terms of the series but
// near the centre. Where it is not, at the first point and every 256th, the angle is taken
// afresh. The steps go in single precision, four at a time: their roundings fall either way,
// and 256 of them stay under a millionth of a pitch. `steps` is room for n.
QUVELTA_AVX2_CLONES void lineAngles(
    double v, double u, int n, double *__restrict theta, float *__restrict steps)
{
    constexpr float smallStep = 1.0f / 128;
    constexpr int block = 256;
    const float none = std::numeric_limits<float>::quiet_NaN();
    const double v2 = v * v;
    const float vf = float(v);
    for (int k = 0; k < n; ++k) {
        const double at = u + k;
        const float dot = float((at - 1) * at + v2);
        const float x = -vf / dot;
        const float x2 = x * x;
        const bool small = (dot > 0) & (std::fabs(x) < smallStep);
        steps[k] = small ? x * (1 - x2 * (1.0f / 3 - x2 * (1.0f / 5))) : none;
    }
    if (std::fabs(v) > 1 / smallStep + 1) {
        // Every step is small this far from the centre: blocks from a fresh angle each, four
        // blocks side by side, since each sum must wait on the last.
        const int blocks = (n - 1) / block + 1;
        for (int first = 0; first < blocks; first += 4) {
            double angles[4] = {};
            int starts[4], ends[4];
            for (int b = 0; b < 4; ++b) {
                starts[b] = std::min(n, (first + b) * block);
                ends[b] = std::min(n, starts[b] + block);
                if (starts[b] < n)
                    angles[b] = theta[starts[b]] = std::atan2(v, u + starts[b]);
            }
            for (int j = 1; j < block; ++j) {
                for (int b = 0; b < 4; ++b) {
                    const int k = starts[b] + j;
                    if (k < ends[b]) {
                        angles[b] += double(steps[k]);
                        theta[k] = angles[b];
                    }
                }
            }
        }
        return;
    }
    double angle = 0;
    for (int k = 0; k < n; ++k) {
        angle = std::isnan(steps[k]) || k % block == 0 ? std::atan2(v, u + k)
                                                       : angle + double(steps[k]);
        theta[k] = angle;
    }
}

// Each pixel's rest from its sides' expansions at its corners, first..last: none (NaN) where a
// side has none, to be worked out side by side.
QUVELTA_AVX2_CLONES void restAtCorners(const float *__restrict ht, const float *__restrict hb,
    const float *__restrict vt, const float *__restrict vb, float *__restrict r, int first,
    int last)
{
    for (int i = first; i <= last; ++i)
        r[i]
            = (ht[i + 1] - ht[i]) - (hb[i + 1] - hb[i]) - (vt[i + 1] - vb[i + 1]) + (vt[i] - vb[i]);
}

// The first rest from i to last that is none, or last + 1. Few are: four are passed over at once.
int nextNone(const float *r, int i, int last)
{
#ifdef __SSE2__
    for (; i + 3 <= last; i += 4) {
        const __m128 x = _mm_loadu_ps(r + i);
        if (_mm_movemask_ps(_mm_cmpunord_ps(x, x)) != 0)
            break;
    }
#endif
    while (i <= last && !std::isnan(r[i]))
        ++i;
    return i;
}

// Adds each rest at its pixel and takes it back at the next, so that summing along the row
// gives it to that pixel alone: a cell takes its own rest, then loses the one before it.
QUVELTA_AVX2_CLONES void addRests(
    float *__restrict row, const float *__restrict r, int first, int last)
{
    row[first] += r[first];
    for (int i = first + 1; i <= last; ++i)
        row[i] = (row[i] + r[i]) - r[i - 1];
    row[last + 1] -= r[last];
}
}

double PeriodicRing::Piecewise::at(double xi) const
{
    const auto &k = c[xi < duty ? 0 : 1];
    return (((k[4] * xi + k[3]) * xi + k[2]) * xi + k[1]) * xi + k[0];
}

PeriodicRing::Piecewise PeriodicRing::Piecewise::integral() const
{
    Piecewise r;
    r.duty = duty;
    for (int piece = 0; piece < 2; ++piece)
        for (int k = 0; k + 1 < 5; ++k)
            r.c[size_t(piece)][size_t(k + 1)] = c[size_t(piece)][size_t(k)] / (k + 1);
    const auto value = [&r](int piece, double x) {
        const auto &k = r.c[size_t(piece)];
        return (((k[4] * x + k[3]) * x + k[2]) * x + k[1]) * x + k[0];
    };
    const auto area = [&r](int piece, double a, double b) {
        double sum = 0;
        double an = a, bn = b;
        for (int k = 0; k < 5; ++k) {
            sum += r.c[size_t(piece)][size_t(k)] * (bn - an) / (k + 1);
            an *= a;
            bn *= b;
        }
        return sum;
    };
    r.c[1][0] = value(0, duty) - value(1, duty);
    const double mean = area(0, 0, duty) + area(1, duty, 1);
    r.c[0][0] -= mean;
    r.c[1][0] -= mean;
    return r;
}

PeriodicRing::PeriodicRing(const Track &track) : t(track)
{
    period = 2 * pi / t.marks;
    invPeriod = t.marks / (2 * pi);
    t.start = std::fmod(t.start, period);
    if (t.start < 0)
        t.start += period;
    shift = 4.0 * t.marks;
    inner2 = t.inner * t.inner;
    outer2 = t.outer * t.outer;
    nearCentre = nearCentreAPitch * std::max(1.0, t.outer * period);
    Piecewise mark;
    mark.duty = t.duty;
    mark.c[0][0] = 1 - t.duty;
    mark.c[1][0] = -t.duty;
    g0 = mark.integral();
    g1 = g0.integral();
    g2 = g1.integral();
}

// The place within the pitch, 0 to 1, of an angle up to a few turns either way.
double PeriodicRing::xiOf(double theta) const
{
    const double x = (theta - t.start) * invPeriod + shift;
    return x - double(std::int64_t(x));
}

// The integral of G along a side on the line y = c (horizontal, t = x) or x = c, from t to
// where the line is nearest the centre, integrated by parts twice, at t. The difference of two
// of these is the side's integral; what is left out is the integral of the third running sum.
double PeriodicRing::expanded(bool horizontal, double c, double t) const
{
    const double u = horizontal ? t : c;
    const double v = horizontal ? c : t;
    const double r2 = u * u + v * v;
    const double xi = xiOf(std::atan2(v, u));
    const double a = r2 * period * period * g1.at(xi);
    const double b = r2 * period * period * period * g2.at(xi);
    return (horizontal ? -t : t) / c * a - (r2 + 2 * t * t) * b / (c * c);
}

// The length of the marks along a side from a to b.
double PeriodicRing::markLength(
    bool horizontal, double c, double a, double b, double angleA, double angleB) const
{
    const auto place
        = [&](double theta) { return horizontal ? c / std::tan(theta) : c * std::tan(theta); };
    double lo = angleA, hi = angleB;
    double tLo = a, tHi = b;
    if (hi - lo > pi)
        hi -= 2 * pi;
    else if (hi - lo < -pi)
        hi += 2 * pi;
    if (lo > hi) {
        std::swap(lo, hi);
        std::swap(tLo, tHi);
    }
    const double x = (lo - t.start) * invPeriod + shift;
    const double whole = double(std::int64_t(x));
    bool on = x - whole < t.duty;
    double periodStart = t.start + (whole - shift) * period;
    double tFrom = tLo;
    double length = 0;
    for (;;) {
        const double next = periodStart + (on ? t.duty : 1.0) * period;
        if (next >= hi) {
            if (on)
                length += std::fabs(tHi - tFrom);
            return length;
        }
        const double tNext = place(next);
        if (on)
            length += std::fabs(tNext - tFrom);
        else
            periodStart += period;
        on = !on;
        tFrom = tNext;
    }
}

// A side's integral from mark edge to mark edge: G is linear in the angle between them, where
// t G integrates to r² G / 2 plus c / 2 times the side's length of (mark - duty).
double PeriodicRing::exactPart(bool horizontal, double c, double a, double b) const
{
    const auto angle = [&](double s) { return horizontal ? std::atan2(c, s) : std::atan2(s, c); };
    const auto term
        = [&](double s, double theta) { return (s * s + c * c) * period * g0.at(xiOf(theta)) / 2; };
    const double angleA = angle(a), angleB = angle(b);
    double sum = term(b, angleB) - term(a, angleA);
    if (c != 0)
        sum += (horizontal ? c : -c) / 2
            * (markLength(horizontal, c, a, b, angleA, angleB) - t.duty * (b - a));
    return sum;
}

double PeriodicRing::sidePart(bool horizontal, double c, double a, double b) const
{
    if (std::fabs(c) >= nearCentre)
        return expanded(horizontal, c, b) - expanded(horizontal, c, a);
    return exactPart(horizontal, c, a, b);
}

// The integral of t G along the part within the ring of a pixel's side on the line y = c
// (horizontal, t = x) or x = c, from t0 to t1 > t0. On a line through the centre, the angle
// jumps there: the parts either side are apart.
double PeriodicRing::side(bool horizontal, double c, double t0, double t1) const
{
    const double c2 = c * c;
    if (c2 >= outer2)
        return 0;
    const double tOut = std::sqrt(outer2 - c2);
    const double tIn = c2 < inner2 ? std::sqrt(inner2 - c2) : 0.0;
    double sum = 0;
    const auto part = [&](double a, double b) {
        a = std::max(a, t0);
        b = std::min(b, t1);
        if (a < b)
            sum += sidePart(horizontal, c, a, b);
    };
    part(-tOut, -tIn);
    part(tIn, tOut);
    return sum;
}

// The pixels of row y that reach into the ring, and the corners they need: from..to but for
// those of pixels wholly inside the hole (gapFrom..gapTo). False when no pixel reaches in.
bool PeriodicRing::rowCorners(int y, int width, Corners &c) const
{
    const double vHigh = t.cy - y;
    const double vLow = vHigh - 1;
    const double nearest
        = vLow < 0 && vHigh > 0 ? 0.0 : std::min(std::fabs(vLow), std::fabs(vHigh));
    if (nearest >= t.outer)
        return false;
    const double reach = std::sqrt(outer2 - nearest * nearest);
    const int first = std::max(0, int(std::floor(t.cx - reach)));
    const int last = std::min(width - 1, int(std::ceil(t.cx + reach)) - 1);
    if (first > last)
        return false;
    c.from = first;
    c.to = last + 1;
    c.gapFrom = c.to + 1;
    c.gapTo = c.to;
    const double farthest = std::max(std::fabs(vLow), std::fabs(vHigh));
    if (farthest < t.inner) {
        const double e = std::sqrt(inner2 - farthest * farthest);
        const int holeFrom = std::max(first, int(std::ceil(t.cx - e)));
        const int holeTo = std::min(last, int(std::floor(t.cx + e)) - 1);
        if (holeFrom <= holeTo) {
            c.gapFrom = holeFrom + 1;
            c.gapTo = holeTo;
        }
    }
    return true;
}

bool PeriodicRing::Corners::covers(const Corners &c) const
{
    return from <= c.from && to >= c.to
        && (c.gapFrom > c.gapTo || (gapFrom >= c.gapFrom && gapTo <= c.gapTo));
}

PeriodicRing::Corners PeriodicRing::Corners::with(const Corners &c) const
{
    Corners u { std::min(from, c.from), std::max(to, c.to), std::max(gapFrom, c.gapFrom),
        std::min(gapTo, c.gapTo) };
    if (u.gapFrom > u.gapTo)
        u.gapFrom = u.to + 1, u.gapTo = u.to;
    return u;
}

// The expansions of the corners from..to of the line y = v, where the corner lies within the
// ring and its line (or column) is far enough from the centre; none elsewhere. The angles go
// first, each from the last; the rest has no such chain and goes several corners at a time.
void PeriodicRing::fillLine(Line &line, double v, const Corners &corners, const float *invU) const
{
    line.corners = corners;
    if (line.qh.size() < size_t(corners.to) + 1) {
        line.qh.resize(size_t(corners.to) + 1);
        line.qv.resize(size_t(corners.to) + 1);
        line.theta.resize(size_t(corners.to) + 1);
        line.step.resize(size_t(corners.to) + 1);
    }
    ++line.fill;
    if (line.exact.size() < size_t(corners.to) + 1) {
        line.exact.resize(size_t(corners.to) + 1);
        line.exactFill.resize(size_t(corners.to) + 1, 0);
    }
    fillCorners(line, v, corners.from, std::min(corners.to, corners.gapFrom - 1), invU);
    fillCorners(line, v, std::max(corners.from, corners.gapTo + 1), corners.to, invU);
}

QUVELTA_AVX2_CLONES void PeriodicRing::fillCorners(
    Line &line, double v, int from, int to, const float *invU) const
{
    if (from > to)
        return;
    const double v2 = v * v;
    const double cx = t.cx;
    double *__restrict theta = line.theta.data();
    lineAngles(v, double(from) - cx, to - from + 1, theta + from, line.step.data() + from);

    // The rest in single precision, four corners at a time: past the place within the pitch,
    // whose whole periods it would lose, the terms need a fraction of a level of a pixel's
    // few-unit sums.
    const float vf = float(v);
    const float v2f = float(v2);
    const float invV = float(1 / v);
    const float invV2 = invV * invV;
    const double p2 = period * period;
    const double p3 = p2 * period;
    const float duty = float(t.duty);
    const double start = t.start;
    const double perPeriod = invPeriod;
    const double whole = shift;
    const float in2 = float(inner2), out2 = float(outer2);
    // Both pieces of the second and third running sums, times the pitch's square and cube.
    const auto &e = g1.c, &f = g2.c;
    const float a00 = float(e[0][0] * p2), a01 = float(e[0][1] * p2), a02 = float(e[0][2] * p2);
    const float a10 = float(e[1][0] * p2), a11 = float(e[1][1] * p2), a12 = float(e[1][2] * p2);
    const float b00 = float(f[0][0] * p3), b01 = float(f[0][1] * p3), b02 = float(f[0][2] * p3);
    const float b03 = float(f[0][3] * p3);
    const float b10 = float(f[1][0] * p3), b11 = float(f[1][1] * p3), b12 = float(f[1][2] * p3);
    const float b13 = float(f[1][3] * p3);
    // Near the centre's lines, a side between two corners may dip into the hole, or the line be
    // too near for the expansion: such corners have none, and their sides go the slow way.
    const bool rowExpands = std::fabs(v) >= nearCentre;
    const bool nearRow = std::fabs(v) < t.inner; // a side across u = 0 may dip into the hole
    const bool nearColumn = std::fabs(v) <= 1; // a column's side across v = 0 may, too
    const float inner = float(t.inner);
    const float nearCentref = float(nearCentre);
    const float nonef = std::numeric_limits<float>::quiet_NaN();
    float *__restrict qh = line.qh.data();
    float *__restrict qv = line.qv.data();
    for (int i = from; i <= to; ++i) {
        const float u = float(double(i) - cx);
        const float r2 = u * u + v2f;
        const double x = (theta[i] - start) * perPeriod + whole;
        const float xi = float(x - double(int(x)));
        // The pieces as a blend, not a choice: a branch here, the marks would make unforeseeable.
        const float later = xi >= duty ? 1.0f : 0.0f;
        const float g1First = (a02 * xi + a01) * xi + a00;
        const float g1Later = (a12 * xi + a11) * xi + a10;
        const float g2First = ((b03 * xi + b02) * xi + b01) * xi + b00;
        const float g2Later = ((b13 * xi + b12) * xi + b11) * xi + b10;
        const float a = r2 * (g1First + later * (g1Later - g1First));
        const float b = r2 * (g2First + later * (g2Later - g2First));
        const float h = -u * invV * a - (r2 + 2 * u * u) * b * invV2;
        const float iu = invU[i];
        const float w = vf * iu * a - (r2 + 2 * v2f) * b * iu * iu;
        const float au = std::fabs(u);
        // Whole conditions, not short-circuits: the loop stays free of branches.
        const bool inside = (r2 >= in2) & (r2 <= out2);
        qh[i] = inside & rowExpands & ((au > 1) | !nearRow) ? h : nonef;
        qv[i] = inside & (au >= nearCentref) & ((au >= inner) | !nearColumn) ? w : nonef;
    }
}

QUVELTA_AVX2_CLONES void PeriodicRing::addArea(float *cells, int stride, int width, int bandTop,
    const std::vector<int> &rows, Scratch &scratch) const
{
    Line *lines = scratch.lines;
    std::vector<float> &rest = scratch.rest;
    std::vector<float> &inverseU = scratch.inverseU;
    inverseU.resize(size_t(width) + 1);
    for (int i = 0; i <= width; ++i)
        inverseU[size_t(i)] = float(1 / (i - t.cx));
    Line *top = &lines[0];
    Line *bottom = &lines[1];
    top->y = bottom->y = std::numeric_limits<int>::min();
    for (const int y : rows) {
        const double vTop = t.cy - y;
        const double vBottom = vTop - 1;
        Corners corners;
        if (!rowCorners(y, width, corners))
            continue;
        // The bottom line serves the next row too, as its top.
        if (bottom->y == y && bottom->corners.covers(corners))
            std::swap(top, bottom);
        else
            fillLine(*top, vTop, corners, inverseU.data());
        top->y = y;
        Corners next;
        fillLine(*bottom, vBottom, rowCorners(y + 1, width, next) ? corners.with(next) : corners,
            inverseU.data());
        bottom->y = y + 1;
        const int from = corners.from, to = corners.to - 1;
        const int holeFrom = std::min(corners.gapFrom - 1, to + 1);
        const int holeTo = corners.gapFrom > corners.gapTo ? to : corners.gapTo;
        float *row = cells + size_t(y - bandTop) * size_t(stride);
        const auto horizontal = [&](Line &line, double v, int i) {
            const float q0 = line.qh[size_t(i)], q1 = line.qh[size_t(i) + 1];
            if (!std::isnan(q0) && !std::isnan(q1))
                return double(q1 - q0);
            if (line.exactFill[size_t(i)] != line.fill) {
                const double u = i - t.cx;
                line.exact[size_t(i)] = side(true, v, u, u + 1);
                line.exactFill[size_t(i)] = line.fill;
            }
            return line.exact[size_t(i)];
        };
        // A pixel's right side is the next one's left: the last worked out is kept.
        int lastVertical = std::numeric_limits<int>::min();
        double lastVerticalSide = 0;
        const auto vertical = [&](int i) {
            const float q0 = bottom->qv[size_t(i)], q1 = top->qv[size_t(i)];
            if (!std::isnan(q0) && !std::isnan(q1))
                return double(q1 - q0);
            if (i != lastVertical) {
                lastVertical = i;
                lastVerticalSide = side(false, i - t.cx, vBottom, vTop);
            }
            return lastVerticalSide;
        };
        rest.resize(std::max(rest.size(), size_t(width)));
        const auto span = [&](int first, int last) {
            if (first > last)
                return;
            float *r = rest.data();
            restAtCorners(top->qh.data(), bottom->qh.data(), top->qv.data(), bottom->qv.data(), r,
                first, last);
            for (int i = nextNone(r, first, last); i <= last; i = nextNone(r, i + 1, last)) {
                const double left = vertical(i);
                const double right = vertical(i + 1);
                r[i] = float(
                    horizontal(*top, vTop, i) - horizontal(*bottom, vBottom, i) - right + left);
            }
            addRests(row, r, first, last);
        };
        span(from, holeFrom - 1);
        span(holeTo + 1, to);
    }
}

QUVELTA_AVX2_CLONES void PeriodicRing::addCentres(int *cells, int stride, int width, int bandTop,
    const std::vector<int> &rows, Scratch &scratch) const
{
    std::vector<double> &theta = scratch.theta;
    std::vector<float> &steps = scratch.steps;
    std::vector<int> &on = scratch.on;
    theta.resize(size_t(width));
    steps.resize(size_t(width));
    on.resize(size_t(width));
    for (const int y : rows) {
        const double v = t.cy - y - 0.5;
        if (std::fabs(v) >= t.outer)
            continue;
        // The centres within the outer circle, but for those within the hole.
        const double reach = std::sqrt(outer2 - v * v);
        const int first = std::max(0, int(std::ceil(t.cx - reach - 0.5)));
        const int last = std::min(width - 1, int(std::floor(t.cx + reach - 0.5)));
        int holeFirst = last + 1, holeLast = last;
        if (std::fabs(v) < t.inner) {
            const double hole = std::sqrt(inner2 - v * v);
            holeFirst = std::max(first, int(std::ceil(t.cx - hole - 0.5)) + 1);
            holeLast = std::min(last, int(std::floor(t.cx + hole - 0.5)) - 1);
        }
        int *__restrict cellRow = cells + size_t(y - bandTop) * size_t(stride);
        const auto span = [&](int from, int to) {
            if (from > to)
                return;
            const int n = to - from + 1;
            lineAngles(v, from + 0.5 - t.cx, n, theta.data(), steps.data());
            const double v2 = v * v;
            const double u0 = from + 0.5 - t.cx;
            const double start = t.start, perPeriod = invPeriod, whole = shift, duty = t.duty;
            const double in2 = inner2, out2 = outer2;
            const double *__restrict angles = theta.data();
            int *__restrict mark = on.data();
            for (int k = 0; k < n; ++k) {
                const double u = u0 + k;
                const double r2 = u * u + v2;
                const double x = (angles[k] - start) * perPeriod + whole;
                const double xi = x - double(int(x));
                mark[k] = (r2 >= in2) & (r2 < out2) & (xi < duty);
            }
            int *__restrict row = cellRow + from;
            for (int k = 0; k < n; ++k)
                row[k] += mark[k];
            for (int k = 0; k < n; ++k)
                row[k + 1] -= mark[k];
        };
        span(first, holeFirst - 1);
        span(holeLast + 1, last);
    }
}
