// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "classicpixels.h"

#include "patterngeometry.h"

#include <cmath>
#include <mutex>
#include <tuple>

namespace {

std::vector<ClassicTrack> fromGeometry(const EncoderSettings &settings)
{
    const PatternGeometry g = patternGeometry(settings);
    std::vector<ClassicTrack> tracks;
    for (const PatternGeometry::Track &t : g.tracks) {
        ClassicTrack track;
        track.segments = std::max(t.segments, 1);
        if (g.shape == Shape::Disc && !t.runs.empty()) {
            // The first mark counter-clockwise from 0 degrees, to the nearest half segment.
            const double sweep = 360.0 / track.segments;
            double start = std::round(2 * t.runs.front().from / sweep) / 2;
            start = std::fmod(start, 2.0);
            track.phase = float(start < 0 ? start + 2.0 : start);
        }
        tracks.push_back(track);
    }
    return tracks;
}

}

std::vector<ClassicTrack> classicTracks(const EncoderSettings &s)
{
    // Every band of a render asks again; the geometry of a fine code is worth keeping.
    using Key = std::tuple<Shape, EncoderType, Code, BitOrder, int, int, double>;
    static std::mutex mutex;
    static Key lastKey;
    static std::vector<ClassicTrack> last;
    const Key key { s.shape, s.type, s.code, s.bitOrder, s.bits, s.pairs, s.widthMm };
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!last.empty() && key == lastKey)
            return last;
    }
    std::vector<ClassicTrack> tracks = fromGeometry(s);
    const std::lock_guard<std::mutex> lock(mutex);
    lastKey = key;
    last = tracks;
    return tracks;
}
