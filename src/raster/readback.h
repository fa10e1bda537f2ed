// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_READBACK_H
#define QUVELTA_READBACK_H

#include "encodersettings.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// The pattern read back from its pixels as a sensor reads it: every track at its centre line
// and half a pixel inside each edge that the border lines leave, at the centre of every step
// (absolute) or every quarter period (relative), through the aperture when one is given. The
// readings are compared with the code, not with the shapes, so a shape that is wrong reads wrong.
struct ReadBack
{
    struct Track
    {
        QString name;
        int readings = 0;
        int wrong = 0; // readings that differ from the code
        QString firstWrong; // where the first wrong reading is, in words
        double markMm = 0; // the narrowest mark and gap along the track, mm
        double gapMm = 0; // infinity when the track has no gap
        double clearMm = 0; // the track's width between the border lines, mm
        bool hidden = false; // the border lines leave less than a pixel of it

        bool reads() const { return !hidden && wrong == 0; }
    };

    std::vector<Track> tracks;
    QStringList notes; // what reads but is close to failing: end steps under the border lines
    double dotsPerMm = 0;

    bool reads() const;
    // The tracks that do not read, for a message: "track 3 (bit 1), track 4 (bit 0)".
    QString failingTracks() const;
};

// Classic pixels as a render of them drew them in black on white (or plain in two colours), a
// bit a pixel (dark or not, a mark or not), kept band by band as they are drawn (bands on
// several threads at once must not share rows): the read-back reads them rather than drawing
// the pattern again.
class DrawnPixels
{
public:
    // For a render of these settings.
    DrawnPixels(const EncoderSettings &settings, bool antialias);
    // Whether they are what a read-back of these settings would draw.
    bool readsFor(const EncoderSettings &settings, bool antialias) const;
    // RGB32 rows, or coverage bytes with the colour of each (`colors` not null).
    void keep(
        const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors = nullptr);
    bool complete() const; // every row kept
    // Whether the pixel is kept as a read-back draws it: not a classic disc in colours' centre
    // mark, which the painter draws there a level apart.
    bool holds(int x, int y) const;
    bool holdsAll() const;
    bool dark(int x, int y) const;

private:
    QSize size;
    size_t words;
    // Each row's bits, null until it is kept. A row that repeats the one above in its band
    // shares that row's words: a long strip's are a few rows a band, not the whole image.
    std::vector<const uint64_t *> rowBits;
    std::vector<std::vector<uint64_t>> stored; // each band's distinct rows
    std::mutex storing;
    bool antialias;
    QRgb mark; // the marks' colour, without alpha
    bool byMark; // plain pixels in colours: dark is the marks' colour
    bool asRead; // the render draws what a read-back draws
    // An antialiased classic disc not in black and white: its coverage is what a read-back's
    // is, but where the painter draws the centre mark (the square `unsure` on both axes).
    bool coverageAsRead;
    std::pair<int, int> unsure { 0, -1 };
    QRgb readColors[256] {}; // the blends a read-back draws in, black on white
};

// How far each track is read: every reading counted (for the table), or up to its first wrong
// one, which decides whether it reads (for a warning).
enum class ReadingDepth { Counts, Verdicts };

// Reads the pattern that a render of these settings draws (antialiased or not), with a sensor
// aperture in mm along the track (0 for one pixel); classic pixels from `drawn` where they are
// those of the settings, complete.
ReadBack readBack(const EncoderSettings &settings, bool antialias = true, double apertureMm = 0,
    const DrawnPixels *drawn = nullptr, ReadingDepth depth = ReadingDepth::Counts);

// The per-track table of --check.
QString readBackReport(const ReadBack &reading, double apertureMm);

// One warning line when a track would not read or an end step is half covered, else empty.
QString readBackWarning(const ReadBack &reading);

#endif
