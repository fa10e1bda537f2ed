// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_ENCODERSETTINGS_H
#define QUVELTA_ENCODERSETTINGS_H

#include <QColor>

#include <cmath>

enum class Shape { Strip, Disc };
enum class EncoderType { Absolute, Relative };

// The code of an absolute pattern. Binary and Gray draw a track per bit; a single-track code is
// one ring read by several sensors; a pseudo-random code is one track read by n sensors in a row.
enum class Code { Binary, Gray, SingleTrack, PseudoRandom };

// The bit-order button: LsbToMsb while not pressed ("LSB ---> MSB"), MsbToLsb while pressed.
enum class BitOrder { LsbToMsb, MsbToLsb };

// Everything a render reads. The defaults are the main window's start values.
struct EncoderSettings
{
    Shape shape = Shape::Strip;
    EncoderType type = EncoderType::Absolute;
    // The window's start state is a strip, drawn in binary whatever its Gray box says.
    Code code = Code::Binary; // absolute patterns only
    BitOrder bitOrder = BitOrder::LsbToMsb;
    int bits = 4; // absolute: tracks of a binary or Gray code
    int pairs = 4; // relative: marks and gaps along the strip or round the disc

    // Millimetres; the window sets whole ones, the command line any to 0.001 mm.
    double widthMm = 100;
    double heightMm = 20;
    double outerRadiusMm = 20;
    double innerRadiusMm = 0;

    bool border = true;
    double borderWidthMm = 0.1;
    bool centerMark = true;
    int dpi = 600;

    QColor foreground = Qt::black;
    QColor background = Qt::white;

    // Beyond the window's form. Every raster is drawn from the pattern geometry, each edge where
    // the ideal shape puts it, unless classicPixels asks for the old whole-pixel rules (only for
    // what the form alone sets).
    int positions = 0; // absolute: code steps, 2 to 65536; 0 means 2^bits
    int sensors = 0; // single track: the code with this many sensors; 0 picks the fewest
    bool clock = false; // pseudo-random: an incremental track beside, a mark every other cell
    // Positions counted counter-clockwise on a disc, right to left on a strip: the pattern
    // mirrored, its words unchanged.
    bool counterClockwise = false;
    bool invert = false; // marks and gaps swapped on every track; sensors read the flipped word
    bool quadrature = false; // relative: channels A and B a quarter period apart
    bool index = false; // relative: one index mark per turn or strip
    double indexWidthDegrees = 90; // electrical degrees, 360 to a period
    bool sensorMarks = false; // ticks outside the pattern where the sensors read
    bool classicPixels = false; // truncated whole-pixel tracks and segments, as files made before
    bool calibration = false; // rulers and a legend beside the pattern
    double markBiasMm = 0; // every mark wider by this much (narrower when negative)
    // The printer's measured scale in x and y (0.992: it prints 99.2 %); rasters and PDFs are
    // drawn 1 / scale as large so that such a printer prints them true.
    double scaleX = 1;
    double scaleY = 1;

    bool compensatesScale() const { return scaleX != 1 || scaleY != 1; }

    // Raster PDF on pages of this size (mm, either way round), split into overlapping tiles
    // where the pattern does not fit; empty: one page of the pattern's own size.
    double pdfPageWidthMm = 0;
    double pdfPageHeightMm = 0;

    // Discs: a shaft bore (0: none) with an optional flat, and mounting holes on a pitch circle.
    // Strips: holes along the centre line of the margin below the pattern (no pitch circle).
    double boreMm = 0; // diameter
    double dFlatMm = 0; // depth of the flat, cut at 3 o'clock
    int holeCount = 0;
    double holeDiameterMm = 0;
    double holePitchMm = 0; // pitch circle diameter

    // Cutting the part out (src/fabrication): which regions become holes, the solid material
    // outside and inside the tracks, and the cutter's allowances.
    enum class Cut { None, Marks, Gaps };
    Cut cut = Cut::None;
    // Solid material beyond the outermost and inside the innermost marks; 0: the border line's
    // width, or 1 mm when cutting.
    double rimMm = 0;
    double hubMm = 0;
    double minWebMm = 0.3; // narrower material breaks
    double bridgeMm = 0.5; // 0: no bridges
    double kerfMm = 0;

    bool hasMounting() const { return boreMm > 0 || holeCount > 0; }
    bool hasOutlineRoom() const { return rimMm > 0 || hubMm > 0 || cut != Cut::None; }

    // Instead of the pattern, the stationary mask (reticle) in front of its sensors: a slit per
    // sensor and track it reads, this wide (0: half the narrowest mark).
    bool mask = false;
    double maskApertureMm = 0;

    // Whether these settings are drawn by the classic whole-pixel painters.
    bool drawsClassicPixels() const { return classicPixels && onlyFormSettings(); }

    // Whether the code is one the window's form draws: binary, or Gray on a disc.
    bool formCode() const
    {
        return type == EncoderType::Relative || code == Code::Binary
            || (code == Code::Gray && shape == Shape::Disc);
    }

    // Whether every size is a whole number of millimetres, as the window's fields give them.
    bool wholeSizes() const
    {
        const auto whole = [](double mm) { return mm == std::floor(mm); };
        return whole(widthMm) && whole(heightMm) && whole(outerRadiusMm) && whole(innerRadiusMm);
    }

    // Whether nothing beyond the window's form is set: what the classic painters can draw.
    bool onlyFormSettings() const
    {
        return positions == 0 && formCode() && wholeSizes() && !quadrature && !index
            && !counterClockwise && !invert && !sensorMarks && !calibration && markBiasMm == 0
            && !compensatesScale() && !hasMounting() && !mask
            && !hasOutlineRoom();
    }
};

#endif
