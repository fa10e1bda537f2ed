// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_SUMMARY_H
#define QUVELTA_SUMMARY_H

#include "encodersettings.h"

#include <QString>

// The settings in words: "disc, relative, 100 pairs, quadrature, ...". Apart from the
// description, so the calibration legend needs nothing of the pattern geometry.
QString settingsSummary(const EncoderSettings &settings);

// The printer compensation in words: "drawn for a printer at x 99.2 %, y 100 %".
QString printerScaleText(const EncoderSettings &settings);

#endif
