// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "description.h"

#include "codes.h"
#include "patterngeometry.h"
#include "units.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

QString millimetres(double value)
{
    return QString::number(value, 'f', 3);
}

QString sensorPlace(const PatternGeometry &g, const PatternGeometry::Sensor &sensor)
{
    if (g.shape == Shape::Disc)
        return QStringLiteral("%1 degrees clockwise from 3 o'clock")
            .arg(g.measuredPlace(sensor), 0, 'f', 4);
    return QStringLiteral("%1 mm from the left end").arg(millimetres(g.measuredPlace(sensor)));
}

}

QString describePattern(const EncoderSettings &settings)
{
    EncoderSettings s = settings;
    s.mask = false; // a mask is described with its pattern
    const PatternGeometry g = patternGeometry(s);
    const bool disc = s.shape == Shape::Disc;
    QString text = QStringLiteral("Quvelta pattern: %1\n\n").arg(settingsSummary(s));
    if (s.compensatesScale())
        text += QStringLiteral("rasters and PDFs are drawn %1 x %2 as large (%3); the sizes "
                               "below are the printed ones\n\n")
                    .arg(1 / s.scaleX, 0, 'f', 5)
                    .arg(1 / s.scaleY, 0, 'f', 5)
                    .arg(printerScaleText(s));
    const QString centre = disc ? QStringLiteral("centre radius") : QStringLiteral("centre line");
    text += QStringLiteral("%1 %2 %3 %4 %5\n")
                .arg(QStringLiteral("track"), -36)
                .arg(centre + QStringLiteral(" mm"), 17)
                .arg(QStringLiteral("width mm"), 10)
                .arg(QStringLiteral("segments"), 9)
                .arg(QStringLiteral("marks"), 7);
    for (const PatternGeometry::Track &t : g.tracks) {
        const double middle = g.measuredCentre(t);
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(t.name, -36)
                    .arg(millimetres(middle), 17)
                    .arg(millimetres(t.to - t.from), 10)
                    .arg(t.segments, 9)
                    .arg(qulonglong(t.runs.size()), 7);
    }
    const QString per = disc ? QStringLiteral("per revolution") : QStringLiteral("per strip");
    if (s.type == EncoderType::Absolute) {
        const int n = g.positions;
        text += QStringLiteral("\n%1 positions %2, %3 bits a reading; one position spans %4\n")
                    .arg(n)
                    .arg(per)
                    .arg(Codes::wordBits(s))
                    .arg(disc ? QStringLiteral("%1 degree(s)").arg(g.cellPitch, 0, 'g', 6)
                              : QStringLiteral("%1 mm").arg(g.cellPitch, 0, 'g', 6));
        if (const Codes::SingleTrack *code = Codes::oneTrack(s);
            code && s.code == Code::PseudoRandom) {
            text += QStringLiteral("code: %1\n").arg(code->name);
            if (!disc)
                text
                    += QStringLiteral("%1 cells: position p is read by sensor j over cell p + j - 1"
                                      "\n")
                           .arg(code->cells.size());
        }
    } else {
        text += QStringLiteral("\ncounts %1: %2 (x1), %3 (x4 with two channels in quadrature)\n")
                    .arg(per)
                    .arg(s.pairs)
                    .arg(4 * s.pairs);
    }
    for (const PatternGeometry::Track &t : g.tracks) {
        if (t.segments != 2 || t.runs.empty() || s.type != EncoderType::Relative)
            continue;
        PatternGeometry::Run run = t.runs.front();
        if (s.invert || s.counterClockwise) {
            // Swapped, the index is a gap, and mirrored it lies at the other end: from the code.
            const double width = s.indexWidthDegrees / 360.0 * 2;
            const double middle = 2 * std::max(disc ? 0 : stripIndexPeriod(s), 0) + 1.75;
            const int steps = 2 * s.pairs;
            double a = middle - width / 2, b = middle + width / 2;
            if (s.counterClockwise)
                std::tie(a, b) = std::pair(steps - b, steps - a);
            run = disc ? PatternGeometry::Run { 360.0 - g.cellPitch * b, 360.0 - g.cellPitch * a }
                       : PatternGeometry::Run { g.nominal.left() + g.cellPitch * a,
                             g.nominal.left() + g.cellPitch * b };
        }
        if (disc)
            text += QStringLiteral("\nindex mark from %1 to %2 degrees clockwise from 3 o'clock\n")
                        .arg(g.measuredPlace({ QString(), run.to }), 0, 'f', 4)
                        .arg(g.measuredPlace({ QString(), run.from }), 0, 'f', 4);
        else
            text += QStringLiteral("\nindex mark from %1 to %2 mm from the left end\n")
                        .arg(millimetres(run.from - g.nominal.left()),
                            millimetres(run.to - g.nominal.left()));
    }
    if (!g.sensors.empty()) {
        text += QStringLiteral("\nsensors\n");
        for (const PatternGeometry::Sensor &sensor : g.sensors)
            text += QStringLiteral("  %1 %2\n").arg(sensor.name, -26).arg(sensorPlace(g, sensor));
    }
    if (!disc && !g.holes.empty()) {
        text += QStringLiteral("\ncut through (mm from the pattern's left end and its bottom "
                               "edge, the middle of the border line)\n");
        for (size_t i = 0; i < g.holes.size(); ++i)
            text += QStringLiteral("  hole %1 diameter %2 at %3 from the left end, %4 below\n")
                        .arg(i + 1)
                        .arg(millimetres(2 * g.holeRadius),
                            millimetres(g.holes[i].x() - g.nominal.left()),
                            millimetres(g.holes[i].y() - g.nominal.bottom()));
        return text;
    }
    if (g.boreRadius > 0 || !g.holes.empty())
        text += QStringLiteral("\ncut through (x right, y up, mm from the centre)\n");
    if (g.boreRadius > 0) {
        text += QStringLiteral("  bore diameter %1 at 0.000, 0.000")
                    .arg(millimetres(2 * g.boreRadius));
        if (g.dFlat > 0)
            text += QStringLiteral(", flat %1 deep at 3 o'clock (%2 from the centre)")
                        .arg(millimetres(g.dFlat), millimetres(g.boreRadius - g.dFlat));
        text += QLatin1Char('\n');
    }
    for (size_t i = 0; i < g.holes.size(); ++i) {
        const QPointF at = g.holes[i] - g.center;
        // Minus zero would print as -0.000.
        const auto mm = [](double v) { return millimetres(std::fabs(v) < 5e-4 ? 0.0 : v); };
        text += QStringLiteral("  hole %1 diameter %2 at %3, %4 (%5 degrees clockwise from 3 "
                               "o'clock)\n")
                    .arg(i + 1)
                    .arg(millimetres(2 * g.holeRadius), mm(at.x()), mm(-at.y()))
                    .arg(360.0 * double(i) / double(g.holes.size()), 0, 'f', 4);
    }
    if (settings.mask)
        text += describeMask(settings);
    return text;
}

QString describeMask(const EncoderSettings &settings)
{
    const PatternGeometry m = patternGeometry(settings);
    const bool disc = m.shape == Shape::Disc;
    QString text = QStringLiteral("\nsensor mask: slits %1 mm wide%2, half a reading step on "
                                  "from each sensor's place: laid on the pattern as drawn, they "
                                  "show its first position\n")
                       .arg(millimetres(m.aperture))
                       .arg(disc ? QStringLiteral(" at each track's centre radius") : QString());
    for (const PatternGeometry::Track &t : m.tracks) {
        for (const PatternGeometry::Run &r : t.slits) {
            const PatternGeometry::Sensor middle { QString(), (r.from + r.to) / 2 };
            text
                += QStringLiteral("  slit in %1 %2\n").arg(t.name, -36).arg(sensorPlace(m, middle));
        }
    }
    return text;
}

QString thinTrackWarning(const EncoderSettings &settings)
{
    return thinTrackWarning(settings, patternGeometry(settings).narrowest());
}

QString thinTrackWarning(
    const EncoderSettings &settings, const std::vector<PatternGeometry::Widths> &narrowest)
{
    const double dotsPerMm = Units::dotsPerMm(settings.dpi);
    QStringList thin;
    for (const PatternGeometry::Widths &w : narrowest) {
        if (w.mark * dotsPerMm < 1 || w.gap * dotsPerMm < 1)
            thin << w.track;
    }
    if (thin.isEmpty())
        return QString();
    return QStringLiteral("warning: marks or gaps narrower than a pixel at %1 dpi vanish or merge "
                          "in %2 (see --check)")
        .arg(settings.dpi)
        .arg(thin.size() > 3 ? QStringLiteral("%1 tracks, %2 ... %3")
                                   .arg(thin.size())
                                   .arg(thin.first(), thin.last())
                             : thin.join(QStringLiteral(", ")));
}
