// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_STRIPPAINTER_H
#define QUVELTA_STRIPPAINTER_H

#include "encodersettings.h"

#include <QSize>

#include <utility>
#include <vector>

class QPainter;

// Where a track lies in a strip; it decides how the track's frame meets its neighbours.
enum class TrackPosition { Only = 0, First = 1, Middle = 2, Last = 3 };

// One track per bit, plain binary, stacked from top to bottom.
void drawAbsoluteStrip(QPainter &painter, const EncoderSettings &settings, QSize size);

// One full-height track of 2 * pairs alternating segments, background first.
void drawRelativeStrip(QPainter &painter, const EncoderSettings &settings, QSize size);

// Paints the odd-numbered of `segments` equal segments in rows top..top+height-1, then the frame.
void drawStripTrack(QPainter &painter, const EncoderSettings &settings, QSize size, int top,
    int height, int segments, TrackPosition position);

// Runs of rows, first and last, in which every row has the same pixels: a track's rows away
// from its top and bottom and from every frame's horizontal lines. In order, apart.
std::vector<std::pair<int, int>> stripRowsAlike(const EncoderSettings &settings, QSize size);

#endif
