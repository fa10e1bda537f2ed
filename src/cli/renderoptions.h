// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_RENDEROPTIONS_H
#define QUVELTA_RENDEROPTIONS_H

#include "encodersettings.h"
#include "exporter.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// What a run of quvelta-render is asked to do.
struct RenderJob
{
    enum class Output { None, Image, Pdf, VectorPdf, Svg, Dxf, Footprint, Stl, ThreeMf };
    // Drawing a pattern, drawing the calibration target, or measuring a printed target.
    enum class Mode { Render, Target, Measure };

    EncoderSettings settings;
    bool antialias = true;
    bool transparent = false; // vector output without the background
    bool compact = false; // SVG and DXF with repeated marks as copies
    bool describe = false; // print the pattern's description
    bool check = false; // print the narrowest marks and gaps
    double apertureMm = 0; // the sensor's aperture for the check
    bool quiet = false; // no warnings
    bool strict = false; // a track that would not read fails the run
    QStringList pcbLayers { QStringLiteral("F.Cu") }; // where a footprint's marks go
    QStringList notes; // what the options changed on their way, for standard error
    QString decodeTable; // where to write the decode table, if anywhere
    double thicknessMm = 1.5; // a solid's (.stl, .3mf)
    QString fileName;
    Output output = Output::Image;
    Export::Format format = Export::Format::Png;

    Mode mode = Mode::Render;
    QString page; // --page: the target's page ("a4", "letter", "a3", "WxH"); empty: A4 / any
    QStringList scans; // --measure: scans of the printed target
    double scanDpi = 0; // --scan-dpi: their resolution; 0: what the files state
    double measuredXMm = 0, measuredYMm = 0; // --measured-x/-y: rulers measured by hand
    QString profile; // --printer-profile: written by a measurement, read by a render

    QString saveDesign; // --save-design: where to write the run's settings as a design file
    QJsonObject designKept; // --design: the file's settings, whose keys the saved design keeps
};

// The outcome of reading the command line: a job, or help/version text to print, or a usage error.
struct ParseResult
{
    enum class Status { Run, Help, Version, UsageError };
    Status status = Status::Run;
    RenderJob job;
    QString text; // help or version text, or the one-line usage error
};

ParseResult parseRenderArguments(const QStringList &arguments);

// A length as the options take it: a number with an optional unit, "mm" (the default) or "in",
// in millimetres rounded to the micrometre; nothing when it is not one.
std::optional<double> parseLength(const QString &text);

// A message made safe for a terminal and kept on one line: control characters become \e, \n,
// \r, \t or \xNN.
QString escapeControls(const QString &text);

#endif
