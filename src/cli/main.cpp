#include "decodetable.h"
#include "description.h"
#include "exporter.h"
#include "outputfile.h"
#include "readback.h"
#include "renderoptions.h"
#include "vectorwriter.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>

namespace {

// File names in messages keep the bytes they came with.
void printLine(FILE *stream, const QString &text)
{
    std::fputs(fileNameToBytes(text).constData(), stream);
    if (!text.endsWith(QLatin1Char('\n')))
        std::fputc('\n', stream);
}

bool write(const RenderJob &job, QString *error)
{
    VectorExport::Options vector;
    vector.transparent = job.transparent;
    switch (job.output) {
    case RenderJob::Output::None:
        return true;
    case RenderJob::Output::Svg:
    case RenderJob::Output::VectorPdf:
    case RenderJob::Output::Dxf:
        return VectorExport::write(job.format, job.settings, job.fileName, error, vector);
    case RenderJob::Output::Image:
    case RenderJob::Output::Pdf:
        break;
    }
    return Export::writePattern(job.settings, job.antialias, job.format, job.fileName, error);
}

// Qt's own chatter (a missing XDG_RUNTIME_DIR under sudo, font notes) is not ours to print: a
// successful run prints nothing, and every failure is reported in its own words.
void quietQt(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        printLine(stderr, QStringLiteral("quvelta-render: ") + message);
}

}

int main(int argc, char **argv)
{
    // A file-size limit or a reader that went away is a failed write to report, not a death.
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    qInstallMessageHandler(quietQt);
    // Renders into memory only: no display needed, so it runs over SSH and in CI.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("quvelta-render"));
    QGuiApplication::setApplicationVersion(QStringLiteral(QUVELTA_VERSION));

    // The arguments as the system gave them: a file name that is not UTF-8 keeps its bytes.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << fileNameFromBytes(QByteArray(argv[i]));
    const ParseResult parsed = parseRenderArguments(arguments);
    switch (parsed.status) {
    case ParseResult::Status::Help:
    case ParseResult::Status::Version:
        printLine(stdout, parsed.text);
        return 0;
    case ParseResult::Status::UsageError:
        printLine(stderr, QStringLiteral("quvelta-render: ") + parsed.text);
        return 2;
    case ParseResult::Status::Run:
        break;
    }

    const RenderJob &job = parsed.job;
    if (job.describe)
        printLine(stdout, describePattern(job.settings));
    const bool raster
        = job.output == RenderJob::Output::Image || job.output == RenderJob::Output::Pdf;
    const bool writes = job.output != RenderJob::Output::None || !job.decodeTable.isEmpty();
    if (job.check || (writes && !job.quiet)) {
        const ReadBack reading = readBack(job.settings, job.antialias, job.apertureMm);
        if (job.check)
            printLine(stdout, readBackReport(reading, job.apertureMm));
        // Thin marks are a raster's trouble; a track that does not read is everyone's.
        QStringList warnings { raster ? thinTrackWarning(job.settings) : QString(),
            readBackWarning(reading) };
        warnings.removeAll(QString());
        for (QString &w : warnings)
            w = w.remove(QStringLiteral("warning: ")).remove(QStringLiteral(" (see --check)"));
        const QString said = warnings.join(QStringLiteral("; "));
        if (writes && job.strict && !said.isEmpty()) {
            printLine(stderr, QStringLiteral("quvelta-render: nothing written: %1 (see --check)")
                    .arg(said));
            return 3;
        }
        if (writes && !job.quiet && !said.isEmpty())
            printLine(stderr, QStringLiteral("quvelta-render: warning: %1 (see --check)").arg(said));
    }
    QString error;
    if (!job.decodeTable.isEmpty() && !DecodeTable::write(job.settings, job.decodeTable, &error)) {
        printLine(stderr, QStringLiteral("quvelta-render: ") + error);
        return 1;
    }
    if (!write(job, &error)) {
        printLine(stderr, QStringLiteral("quvelta-render: ") + error);
        return 1;
    }
    return 0;
}
