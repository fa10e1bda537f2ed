// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DESCRIPTION_H
#define QUVELTA_DESCRIPTION_H

#include "encodersettings.h"
#include "patterngeometry.h"
#include "summary.h"

#include <QString>

#include <vector>

// A short plain-text table of the pattern for the person building the encoder: each track's
// centre (radius on a disc, line from the top edge on a strip) and width in mm, its segments and
// marks, the counts per turn or strip, and where the sensors read.
QString describePattern(const EncoderSettings &settings);

// With --mask: the slits' width and places, what a mask's legend needs.
QString describeMask(const EncoderSettings &settings);

// One line naming the tracks whose marks or gaps come out narrower than a pixel at the settings'
// DPI, or an empty string.
QString thinTrackWarning(const EncoderSettings &settings);
// The same from the pattern geometry's narrowest() of those settings, for a caller that has it.
QString thinTrackWarning(
    const EncoderSettings &settings, const std::vector<PatternGeometry::Widths> &narrowest);

#endif
