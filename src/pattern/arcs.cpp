// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "arcs.h"

#include <algorithm>
#include <cmath>

namespace Arcs {

namespace {

constexpr double degreesToRadians = M_PI / 180.0;

}

QPointF pointOnCircle(QPointF center, double radius, double degrees)
{
    const double turns = degrees / 90.0;
    if (turns == std::floor(turns)) {
        static const QPointF axes[4] = { { 1, 0 }, { 0, -1 }, { -1, 0 }, { 0, 1 } };
        const int quarter = int(((long long)(turns) % 4 + 4) % 4);
        return center + axes[quarter] * radius;
    }
    const double a = degrees * degreesToRadians;
    return QPointF(center.x() + radius * std::cos(a), center.y() - radius * std::sin(a));
}

int pieceCount(double sweepDegrees, double maxDegrees)
{
    return std::max(1, int(std::ceil(std::fabs(sweepDegrees) / maxDegrees - 1e-9)));
}

Cubic cubic(QPointF center, QPointF from, QPointF to, double sweepRadians)
{
    const double k = 4.0 / 3.0 * std::tan(sweepRadians / 4.0);
    // The tangent of (cos a, -sin a) is (-sin a, -cos a): the radius turned.
    const QPointF r0 = (from - center) * k;
    const QPointF r1 = (to - center) * k;
    return { QPointF(from.x() + r0.y(), from.y() - r0.x()),
        QPointF(to.x() - r1.y(), to.y() + r1.x()) };
}

int chordCount(double radius, double sweepRadians, double tolerance)
{
    const double maxStep = radius > tolerance ? 2 * std::acos(1 - tolerance / radius) : M_PI;
    return std::max(1, int(std::ceil(std::fabs(sweepRadians) / maxStep)));
}

double bulge(double sweepDegrees)
{
    return std::tan(sweepDegrees * degreesToRadians / 4.0);
}

std::vector<Band> mergedBands(std::vector<Band> bands)
{
    std::sort(bands.begin(), bands.end(), [](const Band &a, const Band &b) {
        return a.from < b.from || (a.from == b.from && a.to < b.to);
    });
    std::vector<Band> joined;
    for (const Band &band : bands) {
        if (!joined.empty() && band.from <= joined.back().to)
            joined.back().to = std::max(joined.back().to, band.to);
        else
            joined.push_back(band);
    }
    return joined;
}

}
