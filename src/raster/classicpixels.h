// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_CLASSICPIXELS_H
#define QUVELTA_CLASSICPIXELS_H

#include "encodersettings.h"

#include <vector>

// What the classic whole-pixel painters take from the pattern geometry for each track, top or
// outermost first: how many equal segments it has, and where its first mark begins, in segments
// counter-clockwise from 0 degrees (discs; a strip's marks are its odd segments). The painters
// then snap these to pixels by the truncating rules of older files.
struct ClassicTrack
{
    int segments = 2;
    float phase = 0.0f;
};

std::vector<ClassicTrack> classicTracks(const EncoderSettings &settings);

#endif
