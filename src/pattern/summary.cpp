// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "summary.h"

#include "codes.h"

#include <QStringList>

QString printerScaleText(const EncoderSettings &s)
{
    return QStringLiteral("drawn for a printer at x %1 %, y %2 %")
        .arg(s.scaleX * 100, 0, 'g', 6)
        .arg(s.scaleY * 100, 0, 'g', 6);
}

QString settingsSummary(const EncoderSettings &s)
{
    QStringList parts;
    const bool disc = s.shape == Shape::Disc;
    parts << (disc ? QStringLiteral("disc") : QStringLiteral("strip"));
    if (s.type == EncoderType::Absolute) {
        const int n = Codes::positions(s);
        const bool single = s.code == Code::SingleTrack || s.code == Code::PseudoRandom;
        const QString code = s.code == Code::SingleTrack ? QStringLiteral("single-track Gray code")
            : s.code == Code::PseudoRandom
            ? QStringLiteral("pseudo-random code, %1 sensors").arg(Codes::wordBits(s))
            : Codes::isGray(s) ? QStringLiteral("Gray code")
                               : QStringLiteral("binary code");
        parts << QStringLiteral("absolute, %1 positions, %2").arg(n).arg(code);
        if (s.code == Code::PseudoRandom && s.clock)
            parts << QStringLiteral("clock track");
        if (!single)
            parts << QStringLiteral("%1 tracks").arg(Codes::wordBits(s));
        // No-break spaces keep the arrow in one piece when the legend wraps.
        parts << (s.bitOrder == BitOrder::LsbToMsb ? QStringLiteral("LSB\u00a0--->\u00a0MSB")
                                                   : QStringLiteral("MSB\u00a0--->\u00a0LSB"));
    } else {
        parts << QStringLiteral("relative, %1 pairs").arg(s.pairs);
        if (s.quadrature)
            parts << QStringLiteral("quadrature");
        if (s.index)
            parts << QStringLiteral("index %1 electrical degrees").arg(s.indexWidthDegrees);
    }
    if (disc)
        parts << QStringLiteral("outer radius %1 mm, inner radius %2 mm")
                     .arg(s.outerRadiusMm)
                     .arg(s.innerRadiusMm);
    else
        parts << QStringLiteral("%1 x %2 mm").arg(s.widthMm).arg(s.heightMm);
    if (s.counterClockwise)
        parts << (disc ? QStringLiteral("counted counter-clockwise")
                       : QStringLiteral("counted right to left"));
    if (s.invert)
        parts << QStringLiteral("marks and gaps swapped");
    parts << (s.border ? QStringLiteral("border %1 mm").arg(s.borderWidthMm)
                       : QStringLiteral("no border"));
    parts << QStringLiteral("%1 dpi").arg(s.dpi);
    if (s.markBiasMm != 0)
        parts << QStringLiteral("mark bias %1 mm").arg(s.markBiasMm);
    if (s.compensatesScale())
        parts << printerScaleText(s);
    return parts.join(QStringLiteral(", "));
}
