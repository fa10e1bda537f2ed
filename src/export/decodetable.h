// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DECODETABLE_H
#define QUVELTA_DECODETABLE_H

#include "encodersettings.h"

#include <QString>

#include <vector>

namespace DecodeTable {

// For every word the sensors of an absolute pattern can read, its position, or -1 where no
// position shows that word.
std::vector<int> positionsByWord(const EncoderSettings &settings);

// Writes the decode table by the file's suffix: .csv, .json, or .h (a C header a microcontroller
// sketch includes as it is: a static const table, no dynamic memory). A header part holds the
// settings, the tracks and the sensors. False with *error set when the suffix is none of these
// or the file cannot be written.
bool write(const EncoderSettings &settings, const QString &fileName, QString *error);

// "csv", "json" or "h" when the file name asks for one of them, else an empty string.
QString formatOf(const QString &fileName);

}

#endif
