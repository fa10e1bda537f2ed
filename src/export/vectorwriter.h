// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_VECTORWRITER_H
#define QUVELTA_VECTORWRITER_H

#include "encodersettings.h"
#include "exporter.h"
#include "shapes.h"

#include <QString>

#include <optional>

// Vector files drawn from the pattern geometry: true millimetres at any DPI, only the shapes that
// show, one named group or layer per track, frames or circles, centre mark and (discs) the cut
// outline.
namespace VectorExport {

struct Options
{
    bool transparent = false; // no background rectangle
    // Repeated strip marks written once and placed as copies (SVG <use>, DXF block arrays):
    // small files, but several importers drop the copies. Off: every mark its own path.
    bool compact = false;
    QString comment; // plain text added to the description in the SVG's and DXF's comments
    // A part to cut: only these contours, on their cut layer, and no background (a cutter
    // would cut the background's edge and every mark's).
    std::optional<Shapes::Layer> cut;
};

// SVG whose width, height and viewBox are in millimetres.
bool writeSvg(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options = {});

// One page of the nominal size plus 10 mm on every side, the pattern's top-left corner 10 mm in;
// each group is an optional content group (a layer in PDF viewers).
bool writeVectorPdf(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options = {});

// The pattern's description (its tracks, counts and sensors) goes into the SVG's and the DXF's
// comments.

// AutoCAD R12 ASCII DXF in millimetres: a closed polyline (with arc bulges) per outline, a layer
// per group, the outline layer as circles.
bool writeDxf(const EncoderSettings &settings, const QString &fileName, QString *error,
    const Options &options = {});

// SVG, vector PDF or DXF, as the format says.
bool write(Export::Format format, const EncoderSettings &settings, const QString &fileName,
    QString *error, const Options &options = {});

}

#endif
