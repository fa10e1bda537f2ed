// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_SCANMEASURE_H
#define QUVELTA_SCANMEASURE_H

#include "printtarget.h"

#include <QImage>
#include <QPointF>
#include <QString>

#include <optional>
#include <vector>

// Reads a scan (or a flat photograph) of the printed calibration target: finds the corner marks,
// fits the tick centres of each ruler by least squares, and weighs the ink of the bars and slits.
// Lengths are in true millimetres as the scan's resolution gives them.
namespace ScanMeasure {

struct RulerReading
{
    double scale = 0; // printed length over nominal length
    double angleDegrees = 0; // direction in the scan, 0 = the scan's x axis
    double rmsMm = 0; // of the tick centres about the fitted line
    int ticks = 0; // ticks found
};

struct PatchReading
{
    double nominalMm = 0;
    bool mark = true; // a bar; false: a slit in ink
    double printedMm = 0;
};

struct Reading
{
    PrintTarget::Layout target; // the page found
    RulerReading across, down, diagonalDown, diagonalUp;
    double squareDegrees = 0; // angle between the printed axes less 90
    double spreadMm = 0; // how much wider a bar prints than drawn (both edges); slits narrower
    std::vector<PatchReading> patches;
    bool turned = false; // the page's across runs along the scan's y axis
    double tiltDegrees = 0; // of the page's across ruler from the nearest scan axis
    double keystone = 0; // largest relative change of scale over the page a perspective makes
    QPointF dpi;
};

// The target in `scan` at `dpi` (x and y), matched against `pages`; none with *why saying what
// was not found.
std::optional<Reading> measure(
    const QImage &scan, QPointF dpi, const std::vector<PrintTarget::Page> &pages, QString *why);

// The image's own resolution, or none when it does not state one (Qt's 96 dpi default).
std::optional<QPointF> statedDpi(const QImage &image);

// The target in an image file, at `dpi` (0: the file's own); *why names the file when it cannot
// be read, states no resolution, or holds no target.
std::optional<Reading> measureFile(
    const QString &fileName, double dpi, const std::vector<PrintTarget::Page> &pages, QString *why);

}

#endif
