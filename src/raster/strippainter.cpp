// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "strippainter.h"

#include "classicpixels.h"
#include "paintcommon.h"
#include "pixelrule.h"

#include <QPainter>

namespace {

// How far a track's frame reaches past the track's rows and into them: a neighbour's frame is
// drawn up to a line's width over the boundary, plus half its pen and the pen's antialiasing.
int frameReach(const EncoderSettings &settings)
{
    return settings.border ? 2 * PixelRule::borderPixels(settings.dpi, settings.borderWidthMm) + 2
                           : 0;
}
}

void drawAbsoluteStrip(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    painter.fillRect(QRect(QPoint(0, 0), size), settings.background);

    const std::vector<ClassicTrack> tracks = classicTracks(settings);
    const int count = int(tracks.size());
    if (count == 0)
        return;
    if (count == 1) {
        drawStripTrack(
            painter, settings, size, 0, size.height(), tracks[0].segments, TrackPosition::Only);
        return;
    }
    // The rows left over by the integer division stay background below the last track.
    const int trackHeight = size.height() / count;
    // A band of rows draws only the tracks that reach it: a fine track's tens of thousands of
    // marks, clipped away in every band outside it, were most of a long strip's time. A track
    // reaches as far as its frame's pen and the pen's antialiasing.
    const QRectF clip
        = painter.hasClipping() ? painter.clipBoundingRect() : QRectF(QPointF(0, 0), size);
    const int reach = frameReach(settings);
    for (int i = 0; i < count; ++i) {
        if (i * trackHeight + trackHeight + reach <= clip.top()
            || i * trackHeight - reach >= clip.bottom())
            continue;
        const TrackPosition position = i == 0 ? TrackPosition::First
            : i == count - 1                  ? TrackPosition::Last
                                              : TrackPosition::Middle;
        drawStripTrack(painter, settings, size, i * trackHeight, trackHeight,
            tracks[size_t(i)].segments, position);
    }
}

void drawRelativeStrip(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    painter.fillRect(QRect(QPoint(0, 0), size), settings.background);
    const std::vector<ClassicTrack> tracks = classicTracks(settings);
    if (!tracks.empty())
        drawStripTrack(
            painter, settings, size, 0, size.height(), tracks[0].segments, TrackPosition::Only);
}

void drawStripTrack(QPainter &painter, const EncoderSettings &settings, QSize size, int top,
    int height, int segments, TrackPosition position)
{
    const int width = size.width();
    const int pairs = segments / 2;

    // The edges are defined in extended precision; double gives the same values: a float pitch
    // times an even count below 2^17 plus floats of at most 15 integer bits is exact in 53 bits,
    // and width / segments lies no closer than 2^-35 of its own size to a float tie, so its
    // rounding to float does not depend on the precision in between.
    if (!settings.border) {
        if (pairs <= 0)
            return;
        const double pitch = static_cast<double>(width) / segments;
        const int segmentWidth = static_cast<int>(pitch);
        const float pitch32 = static_cast<float>(pitch);
        for (int i = 0; i < pairs; ++i) {
            const int x = static_cast<int>(static_cast<double>(pitch32) * (2 * i) + pitch32);
            // The last segment gets one extra pixel so truncation never leaves a gap at the edge.
            const int w = segmentWidth + (i == pairs - 1 ? 1 : 0);
            painter.fillRect(QRect(x, top, w, height), settings.foreground);
        }
        return;
    }

    const int bpx = PixelRule::borderPixels(settings.dpi, settings.borderWidthMm);
    const double pitch = static_cast<double>(width - bpx) / segments;
    const int segmentWidth = static_cast<int>(pitch);
    const float pitch32 = static_cast<float>(pitch);
    const float half32 = static_cast<float>(bpx * 0.5);
    const bool alone = position == TrackPosition::Only;
    for (int i = 0; i < pairs; ++i) {
        const int x = static_cast<int>(static_cast<double>(pitch32) * (2 * i) + pitch32 + half32);
        painter.fillRect(QRect(x, alone ? top + 1 : top, segmentWidth, alone ? height - 2 : height),
            settings.foreground);
    }

    // Frames of neighbouring tracks overlap; these offsets give the bands between tracks.
    const qreal half = bpx / 2.0;
    const int halfFloor = bpx / 2;
    QRectF frame;
    switch (position) {
    case TrackPosition::Only:
        frame = QRectF(half, top + half, width - bpx, height - bpx);
        break;
    case TrackPosition::First:
        frame = QRectF(half, top + halfFloor, width - bpx, height - half);
        break;
    case TrackPosition::Middle:
        frame = QRectF(half, top - bpx, width - bpx, height + halfFloor);
        break;
    case TrackPosition::Last:
        frame = QRectF(half, top, width - bpx, height);
        break;
    }
    painter.setPen(linePen(settings.foreground, bpx));
    painter.drawRects(&frame, 1);
}

std::vector<std::pair<int, int>> stripRowsAlike(const EncoderSettings &settings, QSize size)
{
    // Every mark is a rectangle as tall as its track, and a frame's upright lines are the same
    // in every row: only rows near a track's top or bottom differ from their neighbours (the
    // marks of a lone track start a row in; two rows more for safety).
    const int reach = frameReach(settings) + 2;
    const int height = size.height();
    const int count
        = settings.type == EncoderType::Absolute ? int(classicTracks(settings).size()) : 1;
    std::vector<std::pair<int, int>> runs;
    if (count == 0)
        return runs;
    const int trackHeight = count == 1 ? height : height / count;
    const auto alike = [&](int first, int last) {
        if (first <= last)
            runs.emplace_back(first, last);
    };
    for (int i = 0; i < count; ++i)
        alike(i * trackHeight + reach, (i + 1) * trackHeight - 1 - reach);
    alike(count * trackHeight + reach, height - 1); // rows left over below the last track
    return runs;
}
