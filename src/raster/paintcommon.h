// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PAINTCOMMON_H
#define QUVELTA_PAINTCOMMON_H

#include <QColor>
#include <QPen>

class QPainter;

// Antialiasing and smooth image transforms on or off, nothing else.
void applyRenderHints(QPainter &painter, bool antialias);

// The solid, square-capped, bevel-joined line pen of frames, circles and the centre mark.
// A width of 0 pixels still draws a one-pixel line: Qt 6 would make a 0-width pen cosmetic.
QPen linePen(const QColor &color, int widthPx);

#endif
