#ifndef QUVELTA_RENDEROPTIONS_H
#define QUVELTA_RENDEROPTIONS_H

#include "encodersettings.h"

#include <QString>
#include <QStringList>

// What a run of quvelta-render is asked to do.
struct RenderJob
{
    enum class Output { Image, Pdf, VectorPdf, Svg };

    EncoderSettings settings;
    bool antialias = true;
    QString fileName;
    Output output = Output::Image;
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

#endif
