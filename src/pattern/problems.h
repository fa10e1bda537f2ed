// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PROBLEMS_H
#define QUVELTA_PROBLEMS_H

#include "encodersettings.h"

#include <QString>

// Why settings cannot be drawn, in the words the command line and the window both give. Each
// is empty when that check passes.
namespace Problems {

// A single-track code on a strip, or of a count or sensor count the library has not.
QString singleTrack(const EncoderSettings &settings);
// A pseudo-random count out of range, or a disc count no shortened sequence closes on; a clock
// round a disc of an odd count.
QString pseudoRandom(const EncoderSettings &settings);
// A Gray code round a disc with an odd count.
QString oddGrayRound(const EncoderSettings &settings);
// A strip's index mark that no period leaves whole between the border lines.
QString stripIndex(const EncoderSettings &settings);
// Classic pixels asked for together with what only the exact raster draws.
QString classicPixels(const EncoderSettings &settings);
// Printer scale compensation asked of a file for cutters and plotters (SVG, DXF), which are
// drawn true; `option` names the scale in the message ("--scale-x").
QString printerScaleForCutter(const QString &option);
// Vector output of classic pixels, or of a pattern none of whose marks shows.
QString vector(const EncoderSettings &settings);

}

#endif
