// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_CALIBRATION_H
#define QUVELTA_CALIBRATION_H

#include "encodersettings.h"
#include "shapes.h"

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

// A millimetre ruler below and one right of the pattern, and a line of legend under them, so that
// a print can be checked for scale in both directions. Millimetres, page coordinates.
struct Calibration
{
    QSizeF extra; // room the page grows by, right of and below the pattern's box
    std::vector<Shapes::Contour> ruler; // ticks and baselines, numbers in glyph outlines
    std::vector<Shapes::Contour> legend; // the legend in glyph outlines
    QStringList legendLines; // the legend, wrapped to the page's width
    std::vector<QPointF> legendBaselines; // where each line's baseline starts
    double textSize = 0; // em size of the legend's font
    int horizontalLength = 0; // mm of each ruler
    int verticalLength = 0;
    double horizontalBaseline = 0; // y of the ruler below, whose ticks hang down from it
    double verticalBaseline = 0; // x of the ruler at the right, whose ticks reach right
};

// The calibration beside a pattern whose box (the nominal size plus one border width) is `box`
// and whose own edges, where the rulers start, are `nominal`. Text needs a QGuiApplication; the
// rulers are there without one. Without outlines, the text is left out but for its room.
Calibration calibration(
    const EncoderSettings &settings, QRectF box, QRectF nominal, bool withOutlines = true);

// The parts of the legend: the settings, how to print, what the rulers must measure.
QStringList calibrationLegend(const EncoderSettings &settings, int horizontalMm, int verticalMm);

// The text of rulers and legends: the program's own DejaVu Sans at 100 px to the em, `size` mm to
// the em where a size is given. Fonts need a QGuiApplication; without one text has no width.
namespace CalibrationText {
QFont font();
double width(const QString &text, double size);
// The parts on lines no wider than `width`, a part that does not fit broken between words.
QStringList wrapped(const QStringList &parts, double size, double width);
}

#endif
