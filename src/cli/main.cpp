// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "decodetable.h"
#include "description.h"
#include "background.h"
#include "design.h"
#include "exporter.h"
#include "exporterror.h"
#include "fabrication.h"
#include "kicadwriter.h"
#include "outputfile.h"
#include "printerprofile.h"
#include "printtarget.h"
#include "readback.h"
#include "renderer.h"
#include "renderoptions.h"
#include "solid.h"
#include "vectorwriter.h"

#include <QGuiApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <optional>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

void printMessage(const QString &text);

// Text for standard output, checked: a full disk or a closed pipe is a failure to report.
bool printText(const QString &text)
{
    QByteArray bytes = fileNameToBytes(text);
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    errno = 0;
    const bool written
        = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size())
        && std::fflush(stdout) == 0;
    if (!written) {
        const int why = errno ? errno : EIO;
        printMessage(cantWrite(
            QStringLiteral("standard output"), QString::fromLocal8Bit(std::strerror(why))));
    }
    return written;
}

// Messages are one line each, and a file name cannot send the terminal escape sequences.
void printMessage(const QString &text)
{
    const QByteArray line = "quvelta-render: " + fileNameToBytes(escapeControls(text)) + '\n';
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

void printWarning(const QString &text)
{
    printMessage(QStringLiteral("warning: ") + text);
}

bool write(const RenderJob &job, const Fabrication::Part *part, QString *error,
    DrawnPixels *drawn)
{
    VectorExport::Options vector;
    vector.transparent = job.transparent;
    vector.compact = job.compact;
    if (part) {
        vector.cut = Fabrication::cutLayer(*part);
        vector.comment = Fabrication::describe(job.settings, *part);
    }
    switch (job.output) {
    case RenderJob::Output::None:
        return true;
    case RenderJob::Output::Svg:
    case RenderJob::Output::VectorPdf:
    case RenderJob::Output::Dxf:
        return VectorExport::write(job.format, job.settings, job.fileName, error, vector);
    case RenderJob::Output::Footprint:
        return KicadExport::writeFootprint(job.settings, job.pcbLayers, job.fileName, error);
    case RenderJob::Output::Stl:
    case RenderJob::Output::ThreeMf: {
        const Solid::Mesh mesh = Solid::extrude(*part, job.thicknessMm);
        const QByteArray bytes
            = job.output == RenderJob::Output::Stl ? Solid::stl(mesh) : Solid::threeMf(mesh, error);
        return !bytes.isEmpty() && saveFile(bytes, job.fileName, error);
    }
    case RenderJob::Output::Image:
    case RenderJob::Output::Pdf:
        break;
    }
    PatternRaster::Painted keep;
    if (drawn)
        keep = [drawn](const uchar *firstRow, qsizetype stride, int top, int rows,
                   const QRgb *colors) { drawn->keep(firstRow, stride, top, rows, colors); };
    return Export::writePattern(job.settings, job.antialias, job.format, job.fileName, error, keep);
}

// Qt's own chatter (a missing XDG_RUNTIME_DIR under sudo, font notes) is not ours to print: a
// successful run prints nothing, and every failure is reported in its own words.
void quietQt(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        printMessage(message);
}

// A descriptor 0-2 left closed by the caller would be the next file opened, and the image
// meant for standard output would land in it. /dev/null read-only holds the place, so that
// writing to a closed standard output fails with "bad file descriptor".
void holdStandardDescriptors()
{
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
#endif
}

// Draws the calibration target, or measures a printed one and says how to correct the printer.
int calibrate(const RenderJob &job)
{
    const std::optional<PrintTarget::Page> page = job.page.isEmpty()
        ? std::optional(PrintTarget::knownPages().front())
        : PrintTarget::pageOfWord(job.page);
    QString error;
    if (job.mode == RenderJob::Mode::Target) {
        const PrintTarget::Layout target
            = PrintTarget::layout(*page, QPointF(job.settings.scaleX, job.settings.scaleY));
        if (!PrintTarget::write(target, job.fileName, job.settings.dpi, &error)) {
            printMessage(error);
            return 1;
        }
        return 0;
    }
    std::optional<PrinterProfile::Result> result;
    if (job.scans.isEmpty()) {
        result = PrinterProfile::fromRulers(
            PrintTarget::layout(*page), job.measuredXMm, job.measuredYMm, &error);
    } else {
        // Any target page unless one is given.
        const std::vector<PrintTarget::Page> pages = job.page.isEmpty()
            ? PrintTarget::knownPages()
            : std::vector<PrintTarget::Page> { *page };
        std::vector<ScanMeasure::Reading> readings;
        for (const QString &name : job.scans) {
            const std::optional<ScanMeasure::Reading> reading
                = ScanMeasure::measureFile(name, job.scanDpi, pages, &error);
            if (!reading) {
                printMessage(error);
                return 1;
            }
            readings.push_back(*reading);
        }
        result = PrinterProfile::fromScans(readings, job.scans, &error);
    }
    if (!result) {
        printMessage(error);
        return 1;
    }
    QStringList lines = result->report;
    if (!job.profile.isEmpty()) {
        QStringList notes = job.scans.isEmpty()
            ? QStringList { QStringLiteral("Measured by hand on the %1 target's rulers.")
                                .arg(page->name) }
            : QStringList {
                  QStringLiteral("Measured from %1.").arg(job.scans.join(QStringLiteral(" and ")))
              };
        if (!PrinterProfile::save(result->profile, notes, job.profile, &error)) {
            printMessage(error);
            return 1;
        }
        lines << QStringLiteral("Saved in %1: print with --printer-profile %1").arg(job.profile);
    }
    return printText(lines.join(QLatin1Char('\n'))) ? 0 : 1;
}

}

namespace {

int run(int argc, char **argv)
{
    QStringList arguments;
#ifdef _WIN32
    // Windows hands argv over in the ANSI code page; Qt reads the wide command line instead.
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    arguments = QCoreApplication::arguments();
#else
    // The arguments as the system gave them: a file name that is not UTF-8 keeps its bytes.
    for (int i = 0; i < argc; ++i)
        arguments << fileNameFromBytes(QByteArray(argv[i]));
#endif
    const ParseResult parsed = parseRenderArguments(arguments);
    switch (parsed.status) {
    case ParseResult::Status::Help:
    case ParseResult::Status::Version:
        return printText(parsed.text) ? 0 : 1;
    case ParseResult::Status::UsageError:
        printMessage(parsed.text);
        return 2;
    case ParseResult::Status::Run:
        break;
    }

    const RenderJob &job = parsed.job;
    if (job.mode != RenderJob::Mode::Render)
        return calibrate(job);
    if (!job.quiet)
        for (const QString &note : job.notes)
            printMessage(QStringLiteral("note: ") + note);
    // A part to cut is worked out before anything is printed or written: it may be refused.
    std::optional<Fabrication::Part> part;
    if (job.settings.cut != EncoderSettings::Cut::None)
        part = Fabrication::cutPart(job.settings);
    if (job.describe
        && !printText(describePattern(job.settings)
            + (part ? Fabrication::describe(job.settings, *part) : QString())))
        return 1;
    if (part && !part->problem.isEmpty()) {
        printMessage(QStringLiteral("cannot cut: %1").arg(part->problem));
        return 2;
    }
    const bool raster
        = job.output == RenderJob::Output::Image || job.output == RenderJob::Output::Pdf;
    const bool writes = job.output != RenderJob::Output::None || !job.decodeTable.isEmpty();
    // What would not read, or is close to it. It comes from the shapes, not from the file: when
    // it only decides a warning printed after a raster file, it is worked out beside the
    // drawing (a vector file takes little time, and would hold its memory at once).
    const auto reasons = [&job, raster](const ReadBack &reading) {
        // Thin marks are a raster's trouble; a track that does not read is everyone's.
        QStringList warnings { raster ? thinTrackWarning(job.settings) : QString(),
            readBackWarning(reading) };
        warnings.removeAll(QString());
        for (QString &w : warnings)
            w = w.remove(QStringLiteral("warning: ")).remove(QStringLiteral(" (see --check)"));
        return warnings.join(QStringLiteral("; "));
    };
    // A mask's warnings are about the pattern it goes with.
    EncoderSettings pattern = job.settings;
    pattern.mask = false;
    QString said;
    std::future<std::optional<QString>> saying;
    // Classic pixels black on white are the very pixels their read-back would draw again: they
    // are kept as the file is drawn and read after it.
    std::optional<DrawnPixels> drawn;
    if (job.check || (writes && !job.quiet && (job.strict || !raster))) {
        const ReadBack reading = readBack(pattern, job.antialias, job.check ? job.apertureMm : 0,
            nullptr, job.check ? ReadingDepth::Counts : ReadingDepth::Verdicts);
        if (job.check && !printText(readBackReport(reading, job.apertureMm)))
            return 1;
        said = reasons(reading);
    } else if (writes && !job.quiet) {
        if (job.settings.drawsClassicPixels()) {
            drawn.emplace(job.settings, job.antialias);
            if (!drawn->readsFor(pattern, job.antialias))
                drawn.reset();
        }
        if (!drawn)
            saying = inBackground([&]() -> std::optional<QString> {
                try {
                    return reasons(
                        readBack(pattern, job.antialias, 0, nullptr, ReadingDepth::Verdicts));
                } catch (const std::bad_alloc &) {
                    return std::nullopt; // short of what the writer held: read again after it
                }
            });
    }
    if (writes && job.strict && !said.isEmpty()) {
        printMessage(QStringLiteral("nothing written: %1 (see --check)").arg(said));
        return 3;
    }
    QString error;
    if (!write(job, part ? &*part : nullptr, &error, drawn ? &*drawn : nullptr)) {
        printMessage(error);
        return 1;
    }
    // The table goes with the image it decodes: written only when the image was.
    if (!job.decodeTable.isEmpty() && !DecodeTable::write(job.settings, job.decodeTable, &error)) {
        printMessage(error);
        return 1;
    }
    if (!job.saveDesign.isEmpty()) {
        const Design design { job.settings, job.antialias, job.transparent, job.apertureMm };
        if (!saveFile(DesignFile::encode(DesignFile::fromDesign(design, job.designKept)),
                job.saveDesign, &error)) {
            printMessage(error);
            return 1;
        }
    }
    if (saying.valid() || drawn) { // read beside the drawing, or from it
        std::optional<QString> reading = saying.valid() ? saying.get() : std::nullopt;
        try {
            if (!reading)
                reading = reasons(readBack(
                    pattern, job.antialias, 0, drawn ? &*drawn : nullptr, ReadingDepth::Verdicts));
        } catch (const std::bad_alloc &) {
            // The files are whole and right; only the advice on them is missing.
            printMessage(QStringLiteral("warning: not enough memory to read the pattern back"));
            return 0;
        }
        said = *reading;
    }
    // After the files, so that a failure stays one line.
    if (writes && !job.quiet && !said.isEmpty())
        printMessage(QStringLiteral("warning: %1 (see --check)").arg(said));
    return 0;
}
}

int main(int argc, char **argv)
{
    holdStandardDescriptors();
    // A file-size limit or a reader that went away is a failed write to report, not a death.
#ifndef _WIN32
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
#endif
    qInstallMessageHandler(quietQt);
    OutputFile::setWarningHandler(printWarning);
    // Renders into memory only: no display needed, so it runs over SSH and in CI.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 1;
    try {
        // Never deleted: Qt 6.4 reads fontconfig's whole configuration only to release it when
        // the application object goes, which is slow and, with memory short, can crash after the
        // work is done and reported; the system releases it. Its start may run short of memory
        // too, which is said as any other.
        new QGuiApplication(argc, argv);
        QGuiApplication::setApplicationName(QStringLiteral("quvelta-render"));
        QGuiApplication::setApplicationVersion(QStringLiteral(QUVELTA_VERSION));
        status = run(argc, argv);
    } catch (const std::bad_alloc &) {
        // What the writers do not catch themselves: the options, the description, the check.
        printMessage(QStringLiteral("not enough memory to run"));
    }
    // Every file is closed by now.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
