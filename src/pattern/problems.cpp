// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "problems.h"

#include "codes.h"
#include "patterngeometry.h"

namespace Problems {

QString singleTrack(const EncoderSettings &s)
{
    if (s.type != EncoderType::Absolute || s.code != Code::SingleTrack)
        return QString();
    if (s.shape != Shape::Disc)
        return QStringLiteral("a single-track code is read round a disc; use --shape disc");
    const int n = Codes::positions(s);
    if (!Codes::singleTrack(n))
        return QStringLiteral("no single-track code of %1 positions is known; choose %2")
            .arg(n)
            .arg(Codes::singleTrackCounts());
    if (!Codes::singleTrack(s))
        return QStringLiteral("no single-track code of %1 positions has %2 sensors; choose %3")
            .arg(n)
            .arg(s.sensors)
            .arg(Codes::singleTrackSensors(n));
    return QString();
}

QString pseudoRandom(const EncoderSettings &s)
{
    if (s.type != EncoderType::Absolute || s.code != Code::PseudoRandom)
        return QString();
    const int n = Codes::positions(s);
    if (n < 2 || n > 65535)
        return QStringLiteral("a pseudo-random code has 2 to 65535 positions, not %1").arg(n);
    if (!Codes::pseudoRandom(n, s.shape))
        return QStringLiteral("no shortened m-sequence closes round a disc of %1 positions with "
                              "every window unique; the nearest count that does is %2")
            .arg(n)
            .arg(Codes::nearestPseudoRandomDisc(n));
    if (s.clock && s.shape == Shape::Disc && n % 2 != 0)
        return QStringLiteral("a clock track round a disc needs an even number of cells, not %1 "
                              "(use %2 or %3 positions, or a strip)")
            .arg(n)
            .arg(n - 1)
            .arg(n + 1);
    return QString();
}

QString oddGrayRound(const EncoderSettings &s)
{
    if (!Codes::oddGrayRound(s))
        return QString();
    return QStringLiteral("a Gray code round a disc changes one bit per step only with an even "
                          "number of positions, not %1 (use an even count, --code binary, or a "
                          "strip)")
        .arg(Codes::positions(s));
}

QString stripIndex(const EncoderSettings &s)
{
    if (!s.index || stripIndexPeriod(s) >= 0)
        return QString();
    return QStringLiteral("the index mark of %1 electrical degrees does not fit between the "
                          "border lines of a %2 mm strip of %3 pairs; narrow it, or add pairs")
        .arg(s.indexWidthDegrees)
        .arg(s.widthMm)
        .arg(s.pairs);
}

QString classicPixels(const EncoderSettings &s)
{
    if (!s.classicPixels || s.onlyFormSettings())
        return QString();
    return QStringLiteral("--classic-pixels draws only what the window's form sets; positions, "
                          "codes other than the form's, quadrature, index, sensor marks, "
                          "calibration, mark bias, printer scale, direction, inversion and "
                          "sizes in fractions of a millimetre are always exact");
}

QString vector(const EncoderSettings &s)
{
    if (s.classicPixels)
        return QStringLiteral("--classic-pixels is for raster output; vector output is always "
                              "exact");
    if (!patternGeometry(s).showsMarks())
        return QStringLiteral("no mark shows between the border lines; thinner --border lines or "
                              "a larger pattern leave room");
    return QString();
}

QString printerScaleForCutter(const QString &option)
{
    return QStringLiteral("%1 compensates a printer; .svg, .dxf and .kicad_mod are for cutters, "
                          "plotters and boards, drawn true (use .pdf or an image to print)")
        .arg(option);
}

}
