// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PRECISERASTER_H
#define QUVELTA_PRECISERASTER_H

#include "encodersettings.h"
#include "shapes.h"

#include <QImage>

#include <memory>
#include <vector>

class CoverageFill;

// Pixels per millimetre of the precise raster: the true dpi / 25.4.
double precisePixelsPerMm(int dpi);

// Pixels per millimetre of the settings' pattern in x and y: the precise ones over the printer
// scale each way, so that a printer at that scale prints the pattern true.
QPointF patternPixelsPerMm(const EncoderSettings &settings);

// The image size of the settings: the classic truncated size, plus the margin that marks outside
// the pattern need, and for the exact raster grown where the truncation would cut off more than
// half a pixel of the pattern.
QSize patternImageSize(const EncoderSettings &settings);

// Where the pattern's millimetres land in the image of patternImageSize: pixel = mm * k + offset.
// Margins are whole pixels, and a pattern up to a pixel larger than its image is centred in it.
QPointF patternPixelOffset(const EncoderSettings &settings);

// The filled layers (millimetres, scaled by pixelsPerMm, then moved by offset pixels) as one
// coverage fill of an image of `size`, ready for its rows. Cut layers are for cutters and are not
// painted.
std::unique_ptr<CoverageFill> layerCoverage(
    QSize size, const std::vector<Shapes::Layer> &layers, double pixelsPerMm, QPointF offset = {});
std::unique_ptr<CoverageFill> layerCoverage(
    QSize size, const std::vector<Shapes::Layer> &layers, QPointF pixelsPerMm, QPointF offset = {});

// The pattern geometry of the settings, for an image of patternImageSize: every edge at its own
// exact position, no accumulated truncation.
std::unique_ptr<CoverageFill> patternCoverage(const EncoderSettings &settings);

#endif
