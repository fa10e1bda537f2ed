// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_CODES_H
#define QUVELTA_CODES_H

#include "encodersettings.h"

#include <QString>

#include <vector>

// The code an absolute pattern shows: how many positions, how many bits a reading has, and
// the word read at each position. Plain binary, reflected Gray (cyclic for any even count), and
// single-track Gray codes read by several sensors on one track.
namespace Codes {

// A single-track code: one ring of cells, read by sensors a number of cells apart.
struct SingleTrack
{
    QString name;
    std::vector<bool> cells; // cell i covers positions [i, i + 1); true is a mark
    std::vector<int> sensorOffset; // sensor j reads cell (position + offset[j]) mod cells
    QString source; // where a published code comes from; empty for the Johnson family
};

// The positions of an absolute pattern: 2^count, or the count asked for.
int positions(const EncoderSettings &settings);

// Bits of one reading: tracks of a multi-track code, sensors of a single-track one.
int wordBits(const EncoderSettings &settings);

// Whether the pattern uses reflected Gray code (single-track codes are Gray codes too).
bool isGray(const EncoderSettings &settings);

// Whether a Gray code is asked to go round a disc with an odd number of positions, which no Gray
// code can: one bit per step needs an even count.
bool oddGrayRound(const EncoderSettings &settings);

// The single-track code for this many positions with this many sensors (0: the code with the
// fewest), or null when the library has none.
const SingleTrack *singleTrack(int positions, int sensors = 0);

// The single-track code the settings ask for: their positions and sensors.
const SingleTrack *singleTrack(const EncoderSettings &settings);

// Every single-track code of this many positions, fewest sensors first.
std::vector<const SingleTrack *> singleTracks(int positions);

// The published codes, compiled in from resources/codes, fewest positions first.
std::vector<const SingleTrack *> publishedSingleTracks();

// "360, or an even count from 4 to 32, or 60, 126 or 240", for messages.
QString singleTrackCounts();

// "9 or 10": the sensor counts of the codes of this many positions, for messages.
QString singleTrackSensors(int positions);

// The m-sequence of an n-stage maximal-length LFSR (2 <= n <= 16): its 2^n - 1 cells, in which
// every window of n consecutive cells (cyclically) is a different nonzero word.
std::vector<bool> mSequence(int n);

// The fewest sensors of a pseudo-random code of this many positions: the smallest n with
// 2^n - 1 >= positions.
int pseudoRandomSensors(int positions);

// A pseudo-random code of this many positions (2 to 65535) read by sensors one cell apart, as a
// one-track code: on a strip the first positions + n - 1 cells of the m-sequence; round a disc a
// cyclic shortening (see codes.cpp). Null when a disc of this count has none.
const SingleTrack *pseudoRandom(int positions, Shape shape);

// The nearest count to `positions` that a pseudo-random disc can have.
int nearestPseudoRandomDisc(int positions);

// The one-track code the settings ask for (single-track or pseudo-random), or null.
const SingleTrack *oneTrack(const EncoderSettings &settings);

}

// The word read at position `step` of an absolute pattern: bit j is track j's bit, or on a
// single track the reading of sensor j + 1 (of the last sensor but j when the bit order is
// reversed). A set bit is a mark of the code, whatever --invert draws.
unsigned codeWord(const EncoderSettings &settings, int step);

// The word a sensor reads at `step`: the code word with its bits flipped when marks and gaps are
// swapped (a set bit is always a mark as printed). What the decode table looks up.
unsigned sensedWord(const EncoderSettings &settings, int step);

#endif
