// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PERIODICRING_H
#define QUVELTA_PERIODICRING_H

#include <array>
#include <cstdint>
#include <vector>

// A disc track of equal marks at an even pitch, as the pixels see it.
//
// Where the marks are narrower than a pixel, their straight edges cross more rows than the image
// has pixels, and summing coverage from the edges costs many times filling the image. Here a
// pixel's cover is instead the marks' share of the period (the duty) times the pixel's area
// within the ring, which the caller fills as the ring's two circles, plus the rest, worked out
// from the pixel's four sides alone. By Green's theorem, that rest is the flux through the sides
// of G(angle) * (-y, x), G being the zero-mean running sum of (mark - duty) over the angle; the
// flux through a ring's circles is nil. Along a side far from the centre G is integrated by
// parts twice, which leaves values at the pixel's corners only; the sides of lines near the
// centre go from mark edge to mark edge. Either way a pixel costs a few operations whatever the
// number of marks, and its cover is within a small fraction of a level of the exact area.
class PeriodicRing
{
public:
    struct Track
    {
        double cx = 0; // centre, pixels; y grows downwards
        double cy = 0;
        double inner = 0; // the marks' radii, pixels; 0 for marks from the centre
        double outer = 0;
        double start = 0; // where a mark starts, radians counter-clockwise as seen
        int marks = 0; // around the turn
        double duty = 0.5; // a mark's share of the pitch, between 0 and 1
    };

    explicit PeriodicRing(const Track &track);
    const Track &track() const { return t; }

    // Room for a band's work, kept by the caller from band to band and ring to ring.
    struct Scratch;

    // Adds each pixel's cover beyond `duty` times its area within the ring to the given rows of
    // an area fill's cells (`stride` a row, the image `width` + 2): the value at the pixel, taken
    // back at the next, so that summing along the row gives it to that pixel alone.
    void addArea(float *cells, int stride, int width, int bandTop, const std::vector<int> &rows,
        Scratch &scratch) const;
    // Adds the winding of the pixel centres that lie on a mark to the given rows of a centre
    // fill's cells (`stride` a row, the image `width` + 1).
    void addCentres(int *cells, int stride, int width, int bandTop, const std::vector<int> &rows,
        Scratch &scratch) const;

    // Two pieces of a polynomial in the place within the pitch, 0 to 1: below the duty, and
    // from it on.
    struct Piecewise
    {
        double duty = 0.5;
        std::array<std::array<double, 5>, 2> c {};
        double at(double xi) const;
        // The antiderivative that is periodic with a zero mean; this one's mean must be zero.
        Piecewise integral() const;
    };

private:
    // A line's corners from..to, but for gapFrom..gapTo (none when gapFrom > gapTo).
    struct Corners
    {
        int from = 0;
        int to = -1;
        int gapFrom = 0;
        int gapTo = -1;
        bool covers(const Corners &c) const;
        Corners with(const Corners &c) const;
    };
    // One line of pixel corners.
    struct Line
    {
        int y = 0;
        Corners corners;
        std::vector<float> qh; // horizontal sides' expansions at each corner, or none
        std::vector<float> qv; // vertical sides'
        std::vector<double> theta; // the corners' angles
        std::vector<float> step; // from the last corner's, or none
        // Each pixel's horizontal side worked out from mark edge to mark edge, once: it is the
        // bottom of one pixel and the top of the next. Good where exactFill is this fill's.
        std::vector<double> exact;
        std::vector<std::uint64_t> exactFill;
        std::uint64_t fill = 0; // counts the line's fills
    };
    double xiOf(double theta) const;
    bool rowCorners(int y, int width, Corners &c) const;
    void fillLine(Line &line, double v, const Corners &corners, const float *invU) const;
    void fillCorners(Line &line, double v, int from, int to, const float *invU) const;
    double side(bool horizontal, double c, double t0, double t1) const;
    double sidePart(bool horizontal, double c, double a, double b) const;
    double expanded(bool horizontal, double c, double t) const;
    double exactPart(bool horizontal, double c, double a, double b) const;
    double markLength(
        bool horizontal, double c, double a, double b, double angleA, double angleB) const;

    Track t;
    double period = 0; // radians
    double invPeriod = 0;
    double shift = 0; // whole periods that keep the place within the pitch positive
    double inner2 = 0;
    double outer2 = 0;
    double nearCentre = 0; // lines nearer than this (pixels) go from mark edge to mark edge
    Piecewise g0, g1, g2; // the running sum and its next two, per unit pitch

public:
    struct Scratch
    {
        Line lines[2];
        std::vector<float> rest; // each pixel's cover beyond the mean
        std::vector<float> inverseU;
        std::vector<double> theta;
        std::vector<float> steps;
        std::vector<int> on;
    };
};

#endif
