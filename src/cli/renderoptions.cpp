// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "renderoptions.h"

#include "codes.h"
#include "decodetable.h"
#include "exporter.h"
#include "kicadwriter.h"
#include "fabrication.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "printerprofile.h"
#include "printtarget.h"
#include "problems.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <optional>

namespace {

const char *const description
    = R"(Draws the printable pattern of an optical encoder, a code strip (bar) or a code
disc, at its exact physical size, with the same pixels as the Quvelta window.

The output file's suffix picks the format:
  .png .jpg .jpeg .bmp .tif .tiff   raster image carrying its resolution
  .pdf                              one page of the nominal size plus 10 mm on every
                                    side, the image at 1:1 scale 10 mm from the left
                                    and top edges rounded down to whole pixels at the
                                    DPI (9.991 mm at 600 dpi); with --vector, paths
                                    exactly 10 mm in
  .svg                              vector drawing in true millimetres, a group per
                                    track, frames or circles, centre mark, outline
  .dxf                              AutoCAD R12 drawing in millimetres for laser
                                    cutters and CAD/CAM, the same groups as layers
  .kicad_mod                        KiCad footprint: marks as filled copper (or
                                    --pcb-layer) polygons, the outline on Edge.Cuts
  .stl .3mf                         with --cut: the part as a solid plate of
                                    --thickness, for 3D printing

Absolute patterns carry one track per bit (plain binary; discs use reflected Gray
code unless --code binary), 2^bits positions or any --positions count (a Gray disc
needs an even count; --code single-track reads one track with several sensors,
--code pseudo-random one track with n sensors in a row); relative patterns are one
track of 2 x pairs equal alternating segments, or with --quadrature two channels A
and B, and with --index an index track. Lengths take decimals to 0.001 mm and mm or
in (--width 3.5in). Steps run left to right, and clockwise from 3 o'clock on a disc
(--direction ccw turns both round).

Raster output puts every edge where the ideal shape has it (the shapes of the
vector files), rounded once to the pixels; --classic-pixels draws the whole-pixel
tracks and segments of older files instead, whose edges can be off by pixels.

--describe prints the tracks, counts and sensor places; --check reads the pattern
as a sensor would and says per track whether every step reads right. A pattern
that would not read is warned about on stderr; --strict makes that a failure
(status 3, nothing written). --decode-table writes the table from sensor words to positions;
--calibration adds rulers and a legend to check the printed scale.

To correct a printer: --calibration-target writes a page of rulers, bars and
corner marks; print it at 100 %, scan it, and --measure SCAN prints the printer's
scale across and down and its ink spread, and with --printer-profile FILE saves
them; renders given --printer-profile FILE then print true on that printer.

Exit status: 0 on success, 1 when the file cannot be written (or a scan cannot
be read or measured), 2 on bad usage,
3 when --strict finds a track that would not read.
Nothing is written unless the whole file can be; an existing file is replaced
only by a complete new one; a FIFO or a device is written into. Standard output
holds one thing: --describe and --check do not go with -o -.

Examples:
  quvelta-render -o strip.png
  quvelta-render --shape disc --bits 8 --outer-radius 40 --inner-radius 10 -o gray.png
  quvelta-render --shape disc --type relative --pairs 360 --outer-radius 30 -o wheel.svg
  quvelta-render --width 150 --height 12 --bits 6 --vector -o strip.pdf
  quvelta-render --shape disc --type relative --pairs 100 --transparent -o wheel.dxf
  quvelta-render --cpr 500 --optical-radius 23.36 --track-width 1.5 -o wheel.svg
  quvelta-render --code pseudo-random --positions 1000 --width 500 --clock -o scale.pdf
  quvelta-render --calibration-target --page letter -o target.pdf
  quvelta-render --measure scan.png --printer-profile printer.txt)";

}

QString escapeControls(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // C0 and C1 controls, DEL, and a lone byte that a terminal may read as a C1 control.
        const bool raw = u >= 0xdc80 && u <= 0xdc9f;
        if (u >= 0x20 && u != 0x7f && !(u >= 0x80 && u <= 0x9f) && !raw) {
            line += c;
            continue;
        }
        switch (u) {
        case 0x1b:
            line += QLatin1String("\\e");
            break;
        case '\n':
            line += QLatin1String("\\n");
            break;
        case '\r':
            line += QLatin1String("\\r");
            break;
        case '\t':
            line += QLatin1String("\\t");
            break;
        default:
            line += QStringLiteral("\\x%1").arg(int(raw ? u - 0xdc00 : u), 2, 16, QLatin1Char('0'));
        }
    }
    return line;
}

std::optional<double> parseLength(const QString &text)
{
    QString number = text.trimmed().toLower();
    double unit = 1;
    if (number.endsWith(QLatin1String("mm"))) {
        number.chop(2);
    } else if (number.endsWith(QLatin1String("in"))) {
        number.chop(2);
        unit = 25.4;
    }
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok) * unit;
    if (!ok || !std::isfinite(value) || number.trimmed().isEmpty())
        return std::nullopt;
    // To the micrometre: 0.25in is 6.35 mm, not 6.3500000000000005.
    return std::round(value * 1000) / 1000 + 0.0;
}

namespace {

// A value as a message shows it: in double quotes, on one line.
QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

class Reader
{
public:
    explicit Reader(const QCommandLineParser &parser) : parser(parser) { }

    // A whole number within [low, high] for the option, or the error.
    std::optional<int> integer(const QString &name, int fallback, int low, int high)
    {
        return ranged<int>(name, fallback, low, high, 0, QStringLiteral("a whole number from"),
            QString(), [](const QString &text) {
                bool ok = false;
                const int value = text.toInt(&ok);
                return ok ? std::optional<int>(value) : std::nullopt;
            });
    }

    // A length within [low, high] mm for the option (see parseLength), or the error.
    std::optional<double> length(const QString &name, double fallback, double low, double high)
    {
        return ranged<double>(name, fallback, low, high, 1e-9, QStringLiteral("a length from"),
            QStringLiteral(" mm"), parseLength);
    }

    std::optional<QString> choice(const QString &name, const QStringList &allowed)
    {
        if (!parser.isSet(name))
            return allowed.first();
        const QString text = parser.value(name).toLower();
        if (!allowed.contains(text)) {
            fail(QStringLiteral("--%1 takes %2, not %3")
                     .arg(name, allowed.join(QLatin1String(" or ")), quoted(parser.value(name))));
            return std::nullopt;
        }
        return text;
    }

    std::optional<QColor> color(const QString &name, const QColor &fallback)
    {
        if (!parser.isSet(name))
            return fallback;
        const QString text = parser.value(name);
        // Eight hex digits are CSS's #RRGGBBAA, not Qt's #AARRGGBB.
        static const QRegularExpression css(QStringLiteral("^#[0-9a-fA-F]{8}$"));
        const QColor value = css.match(text).hasMatch()
            ? QColor::fromRgba(
                qRgba(text.mid(1, 2).toInt(nullptr, 16), text.mid(3, 2).toInt(nullptr, 16),
                    text.mid(5, 2).toInt(nullptr, 16), text.mid(7, 2).toInt(nullptr, 16)))
            : QColor::fromString(text);
        if (!value.isValid()) {
            fail(QStringLiteral("--%1 takes a colour such as #1a2b3c or an SVG colour name like "
                                "navy, not %2")
                     .arg(name, quoted(text)));
            return std::nullopt;
        }
        if (value.alpha() != 255) {
            fail(QStringLiteral("--%1: %2 is not opaque; a pattern's colours are (for no "
                                "background use --transparent with a vector output)")
                     .arg(name, quoted(text)));
            return std::nullopt;
        }
        return value;
    }

    void fail(const QString &message)
    {
        if (error.isEmpty())
            error = message;
    }

private:
    // The option's value read by `parse` and within [low, high] give or take `slack`, or the
    // error naming what it takes.
    template <typename T, typename Parse>
    std::optional<T> ranged(const QString &name, T fallback, T low, T high, double slack,
        const QString &what, const QString &unit, Parse parse)
    {
        if (!parser.isSet(name))
            return fallback;
        const QString text = parser.value(name);
        const std::optional<T> value = parse(text);
        if (!value || *value < low - slack || *value > high + slack) {
            fail(QStringLiteral("--%1 takes %2 %3 to %4%5, not %6")
                     .arg(name, what)
                     .arg(low)
                     .arg(high)
                     .arg(unit, quoted(text)));
            return std::nullopt;
        }
        return value;
    }

public:
    QString error;

private:
    const QCommandLineParser &parser;
};

// The options after -h and -v, in the order --help lists them: names split by '|', the value's
// name for an option that takes one, and the help line.
struct OptionSpec
{
    const char *names;
    const char *value;
    const char *help;
};

const OptionSpec optionTable[] = {
    { "o|output", "FILE",
        "Output file (required); its suffix picks the format; - is standard output." },
    { "format", "FORMAT", "With -o -: png, jpg, bmp, tif, pdf, svg, dxf or kicad_mod." },
    { "shape", "SHAPE", "bar (linear strip, default) or disc." },
    { "type", "TYPE", "absolute (one track per bit, default) or relative (alternating segments)." },
    { "width", "MM",
        "Strip width, 1-2000 mm (default 100); any length takes 0.001 mm and mm "
        "or in (25.4in)." },
    { "height", "MM", "Strip height, 1-200 mm (default 20)." },
    { "outer-radius", "MM", "Disc outer radius, 1-100 mm (default 20)." },
    { "inner-radius", "MM", "Disc inner radius, 0 to less than the outer radius (default 0)." },
    { "bits", "N", "Bits of an absolute pattern, 1-16 (default 4)." },
    { "pairs", "N", "Pairs of a relative pattern, 1-65536 (default 16)." },
    { "cpr", "N",
        "Counts per revolution: a relative disc of N pairs, 1-65536 (instead of --pairs)." },
    { "optical-radius", "MM",
        "Discs: the radius where the sensor reads; the pattern's ring is centred there, "
        "--track-width wide (instead of --outer-radius and --inner-radius)." },
    { "track-width", "MM", "With --optical-radius: the ring's width, 0.1-50 mm (default 2)." },
    { "lpi", "N",
        "Relative strips: lines (periods) per inch, 1-1000; the strip's length rounds to whole "
        "periods (said on stderr)." },
    { "pitch", "MM", "Relative strips: the period in mm, 0.01-100, instead of --lpi." },
    { "bit-order", "ORDER", "lsb-msb (default) or msb-lsb, as the window's bit-order button." },
    { "code", "CODE",
        "binary, gray, single-track or pseudo-random; discs default to gray, strips to binary." },
    { "clock", nullptr,
        "With --code pseudo-random: an incremental track beside it, a mark every other cell." },
    { "direction", "DIR",
        "cw (default) or ccw: positions counted counter-clockwise on a disc, right to left on a "
        "strip." },
    { "invert", nullptr,
        "Swap marks and gaps on every track; the decode table reads the flipped words." },
    { "border", "MM", "Border line width, 0.01-5.0 mm (default 0.1)." },
    { "no-border", nullptr, "Draw no border lines." },
    { "no-center-mark", nullptr, "Omit the disc's centre mark." },
    { "dpi", "N", "Resolution, 10-1200 (default 600)." },
    { "no-antialias", nullptr, "Plain pixels instead of antialiased edges." },
    { "foreground", "COLOR", "Colour of the marks (default black)." },
    { "background", "COLOR", "Colour of the ground (default white)." },
    { "vector", nullptr, "With .pdf: draw paths instead of embedding the image." },
    { "classic-pixels", nullptr, "Raster output in the truncated whole pixels of older files." },
    { "precise", nullptr, "Every edge at its exact place: the default, kept for scripts." },
    { "transparent", nullptr, "Vector output (.svg, .dxf, --vector .pdf) without the background." },
    { "compact", nullptr,
        "SVG and DXF: smaller files, a track one SVG path and a repeated strip mark written once "
        "and copied (<use>, block arrays); Inkscape, KiCad and others drop the copies. By default "
        "every mark is its own closed path." },
    { "positions", "N",
        "Absolute patterns: any number of positions, 2-65536 (pseudo-random: 2-65535), instead of "
        "2^bits." },
    { "sensors", "N",
        "With --code single-track: the code with N sensors where a count has several (360: 9 "
        "or 10); the fewest by default." },
    { "quadrature", nullptr, "Relative patterns: channels A and B a quarter period apart." },
    { "index", nullptr, "Relative patterns: one index mark per turn or strip." },
    { "index-width", "DEG", "Index mark width, 90-360 electrical degrees (default 90)." },
    { "sensor-marks", nullptr, "Ticks outside the pattern where the sensors read." },
    { "describe", nullptr, "Print the tracks, counts and sensor places (-o optional)." },
    { "calibration", nullptr,
        "Rulers in mm and a legend beside the pattern, to check the print's scale." },
    { "mark-bias", "MM",
        "Widen every mark by MM, -0.5 to 0.5 (negative narrows): the printer's ink spread. A "
        "cutter's kerf is --kerf." },
    { "scale-x", "F",
        "The printer's measured scale across, 0.9-1.1 (0.992: it prints 99.2 %): images and "
        "PDFs are drawn 1/F as wide, so that it prints them true." },
    { "scale-y", "F", "The same down the page." },
    { "printer-profile", "FILE",
        "A printer profile (scale-x, scale-y, mark-bias) to print with; with --measure or "
        "--measured-x/-y, where the measurement is saved. Options given beside it win." },
    { "calibration-target", nullptr,
        "Write the calibration target to -o (.pdf or an image at --dpi): rulers across, down "
        "and at 45 degrees, bars and slits 0.05-1 mm, corner marks for a scan." },
    { "page", "PAGE",
        "Page size: a4, letter, a3 or WxH in mm. With .pdf: pages of that size, a pattern that "
        "does not fit split into pages overlapping by 10 mm with alignment crosses, numbered "
        "edges and a page map. The calibration target's page (a4 by default)." },
    { "measure", "FILE",
        "Measure a scan of the printed target (PNG, JPEG, TIFF): the printer's scale across and "
        "down, its ink spread and the options that correct them. Twice: a second scan turned 90 "
        "degrees cancels the scanner's own x/y error." },
    { "scan-dpi", "N",
        "With --measure: the scan's resolution, 50-9600, where the file gives none." },
    { "measured-x", "MM",
        "What the target's ruler across measures on the print (a steel rule): the scale without "
        "a scan." },
    { "measured-y", "MM", "The same for the ruler down." },
    { "bore", "MM",
        "Discs: a shaft hole of this diameter, to 0.01 mm, cut instead of the inner circle." },
    { "d-flat", "MM", "With --bore: a flat this deep on the bore, at 3 o'clock." },
    { "holes", "N,D,PCD",
        "Discs: N mounting holes of diameter D mm on a pitch circle of PCD mm, the first at 3 "
        "o'clock. Strips: N,D, evenly along the centre line of the margin below the pattern." },
    { "cut", "WHAT",
        "marks or gaps: cut them through. SVG, DXF and vector PDF then hold the part's cut "
        "contours alone, with bridges holding every piece that would fall out." },
    { "min-web", "MM", "With --cut: narrower material breaks, 0.05-10 mm (default 0.3)." },
    { "bridge", "MM",
        "With --cut: width of the bridges that tie loose pieces, 0-10 mm (default 0.5); 0 "
        "refuses a part with loose pieces." },
    { "rim", "MM",
        "Solid material beyond the outermost marks, 0.01-50 mm (default the border width, 1 mm "
        "with --cut)." },
    { "hub", "MM",
        "Discs: solid material inside the innermost marks, 0.01-100 mm (default as --rim)." },
    { "thickness", "MM",
        "With --cut and an .stl or .3mf output: the plate's thickness, 0.1-50 mm (default 1.5)." },
    { "kerf", "MM",
        "With --cut: the cutter's kerf, 0-2 mm; cut contours move half of it into the waste." },
    { "check", nullptr,
        "Read every track as a sensor would and print what it reads, with the narrowest mark and "
        "gap (-o optional)." },
    { "aperture", "MM",
        "With --check: the sensor's slit or spot width, 0.001-10 mm; with --mask: the slits' "
        "width (default half the narrowest mark, at most a reading step)." },
    { "mask", nullptr,
        "Draw the stationary sensor mask instead of the pattern: a slit per sensor and track it "
        "reads, where --describe places the sensors, in any output format." },
    { "pcb-layer", "LAYERS",
        "With .kicad_mod: the layers of the marks, F.Cu (default), F.Mask, F.SilkS, B.Cu, B.Mask "
        "or B.SilkS, several joined by commas (F.Cu,F.Mask: gold or ENIG marks)." },
    { "quiet", nullptr, "No warning about tracks that would not read." },
    { "strict", nullptr, "A track that would not read is a failure: status 3, nothing written." },
    { "decode-table", "FILE",
        "Write the table from sensor words to positions: .csv, .json or .h." },
};

// The sizes a sensor fixes: the optical radius of a disc, the line pitch of a strip. Settles the
// settings' sizes and pairs from them, or says why it cannot.
QString sensorGeometry(
    const QCommandLineParser &parser, Reader &read, EncoderSettings &s, RenderJob &job)
{
    const auto isSet
        = [&parser](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    const bool optical = isSet("optical-radius");
    if (isSet("track-width") && !optical)
        return QStringLiteral("--track-width goes with --optical-radius");
    if (optical) {
        if (s.shape != Shape::Disc)
            return QStringLiteral("--optical-radius is for discs (--shape disc)");
        if (isSet("outer-radius") || isSet("inner-radius"))
            return QStringLiteral("--optical-radius places the ring itself; leave out "
                                  "--outer-radius and --inner-radius");
        const auto radius = read.length(QStringLiteral("optical-radius"), 0, 0.5, 99.95);
        const auto width = read.length(QStringLiteral("track-width"), 2, 0.1, 50);
        if (!read.error.isEmpty())
            return read.error;
        const double outer = *radius + *width / 2;
        const double inner = *radius - *width / 2;
        if (inner < 0 || outer > 100)
            return QStringLiteral("a ring %1 mm wide centred at %2 mm reaches from %3 to %4 mm; "
                                  "a disc's ring lies between 0 and 100 mm")
                .arg(*width)
                .arg(*radius)
                .arg(inner)
                .arg(outer);
        s.outerRadiusMm = std::round(outer * 1e6) / 1e6;
        s.innerRadiusMm = std::round(inner * 1e6) / 1e6;
    }
    const bool lpi = isSet("lpi");
    if (lpi && isSet("pitch"))
        return QStringLiteral("--lpi and --pitch exclude each other");
    if (!lpi && !isSet("pitch"))
        return QString();
    const char *name = lpi ? "--lpi" : "--pitch";
    if (s.shape != Shape::Strip || s.type != EncoderType::Relative)
        return QStringLiteral("%1 sets a relative strip's period; it goes with --type relative")
            .arg(QLatin1String(name));
    if (isSet("pairs"))
        return QStringLiteral("%1 and --pairs exclude each other: the pairs follow from the "
                              "length")
            .arg(QLatin1String(name));
    double pitch = 0;
    if (lpi) {
        bool ok = false;
        const QString text = parser.value(QStringLiteral("lpi"));
        const double lines = text.toDouble(&ok);
        if (!ok || !(lines >= 1 && lines <= 1000))
            return QStringLiteral("--lpi takes lines per inch from 1 to 1000, not \"%1\"")
                .arg(text);
        pitch = 25.4 / lines;
    } else {
        const auto length = read.length(QStringLiteral("pitch"), 1, 0.01, 100);
        if (!length)
            return read.error;
        pitch = *length;
    }
    const double asked = s.widthMm;
    const int periods = std::max(1, int(std::lround(asked / pitch)));
    if (periods > 65536)
        return QStringLiteral("a %1 mm strip at a %2 mm period has %3 periods; at most 65536")
            .arg(asked)
            .arg(pitch, 0, 'g', 6)
            .arg(periods);
    s.pairs = periods;
    s.widthMm = periods * pitch;
    if (s.widthMm < 1 || s.widthMm > 2000)
        return QStringLiteral("%1 periods of %2 mm make %3 mm; a strip is 1 to 2000 mm")
            .arg(periods)
            .arg(pitch, 0, 'g', 6)
            .arg(s.widthMm, 0, 'f', 4);
    if (std::fabs(s.widthMm - asked) > 1e-9)
        job.notes << QStringLiteral("the strip is %1 mm long, not %2: %3 whole periods of %4 mm")
                         .arg(s.widthMm, 0, 'f', 4)
                         .arg(asked)
                         .arg(periods)
                         .arg(pitch, 0, 'g', 6);
    return QString();
}

// A run that draws the calibration target or measures a printed one: its options into `job`, or
// what is wrong with them.
QString readCalibrationJob(const QCommandLineParser &parser, RenderJob *job)
{
    const bool target = parser.isSet(QStringLiteral("calibration-target"));
    const bool scans = parser.isSet(QStringLiteral("measure"));
    const bool rulers
        = parser.isSet(QStringLiteral("measured-x")) || parser.isSet(QStringLiteral("measured-y"));
    if (target && (scans || rulers))
        return QStringLiteral("--calibration-target draws the target; measure its print in a "
                              "second run");
    if (scans && rulers)
        return QStringLiteral("--measure and --measured-x/-y exclude each other");
    const QStringList allowed = target ? QStringList { "calibration-target", "o", "output", "page",
        "dpi", "scale-x", "scale-y", "printer-profile" }
                                       : QStringList { "measure", "measured-x", "measured-y",
                                             "scan-dpi", "page", "printer-profile" };
    for (const QString &name : parser.optionNames())
        if (!allowed.contains(name))
            return QStringLiteral("%1%2 does not go with %3")
                .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name,
                    target      ? QStringLiteral("--calibration-target")
                        : scans ? QStringLiteral("--measure")
                                : QStringLiteral("--measured-x/-y"));
    job->page = parser.value(QStringLiteral("page"));
    if (!job->page.isEmpty()) {
        QString why;
        if (!PrintTarget::pageOfWord(job->page, &why))
            return QStringLiteral("--page: %1, not %2").arg(why, quoted(job->page));
    }
    if (target) {
        job->mode = RenderJob::Mode::Target;
        job->fileName = parser.value(QStringLiteral("output"));
        if (job->fileName.isEmpty() || job->fileName == QLatin1String("-"))
            return QStringLiteral("--calibration-target needs -o FILE (.pdf or an image)");
        const std::optional<Export::Format> format = Export::formatOfName(job->fileName);
        if (!format || !(*format == Export::Format::Pdf || Export::isRaster(*format)))
            return QStringLiteral("--calibration-target writes .pdf or an image (%1), not %2")
                .arg(Export::knownSuffixes(true), quoted(job->fileName));
        job->format = *format;
        // The profile's scale (options beside it win), to check it: its bias is left out, so
        // that the bars still show the printer's spread.
        if (parser.isSet(QStringLiteral("printer-profile"))) {
            QString problem;
            const auto profile
                = PrinterProfile::load(parser.value(QStringLiteral("printer-profile")), &problem);
            if (!profile)
                return problem;
            job->settings.scaleX = profile->scaleX;
            job->settings.scaleY = profile->scaleY;
        }
        for (const auto &[name, value] :
            { std::pair(QStringLiteral("scale-x"), &job->settings.scaleX),
                std::pair(QStringLiteral("scale-y"), &job->settings.scaleY) }) {
            if (!parser.isSet(name))
                continue;
            bool ok = false;
            const QString text = parser.value(name);
            *value = text.toDouble(&ok);
            if (!ok || !(*value >= 0.9 - 1e-12 && *value <= 1.1 + 1e-12))
                return QStringLiteral("--%1 takes a printer scale from 0.9 to 1.1, not %2")
                    .arg(name, quoted(text));
        }
        Reader read(parser);
        job->settings.dpi = read.integer(QStringLiteral("dpi"), 600, 72, 2400).value_or(0);
        return read.error;
    }
    job->mode = RenderJob::Mode::Measure;
    job->profile = parser.value(QStringLiteral("printer-profile"));
    if (parser.isSet(QStringLiteral("printer-profile")) && job->profile.isEmpty())
        return QStringLiteral("--printer-profile needs a file name");
    if (scans) {
        job->scans = parser.values(QStringLiteral("measure"));
        if (job->scans.size() > 2)
            return QStringLiteral("--measure takes one scan, or two with the sheet turned 90 "
                                  "degrees between them");
        if (parser.isSet(QStringLiteral("scan-dpi"))) {
            bool ok = false;
            const QString text = parser.value(QStringLiteral("scan-dpi"));
            job->scanDpi = text.toDouble(&ok);
            if (!ok || !(job->scanDpi >= 50 && job->scanDpi <= 9600))
                return QStringLiteral("--scan-dpi takes a resolution from 50 to 9600, not %1")
                    .arg(quoted(text));
        }
        return QString();
    }
    if (parser.isSet(QStringLiteral("scan-dpi")))
        return QStringLiteral("--scan-dpi goes with --measure");
    if (!parser.isSet(QStringLiteral("measured-x")) || !parser.isSet(QStringLiteral("measured-y")))
        return QStringLiteral("--measured-x and --measured-y go together: the printed lengths of "
                              "the target's rulers across and down");
    for (const auto &[name, value] : { std::pair(QStringLiteral("measured-x"), &job->measuredXMm),
             std::pair(QStringLiteral("measured-y"), &job->measuredYMm) }) {
        bool ok = false;
        const QString text = parser.value(name);
        *value = text.toDouble(&ok);
        if (!ok || !(*value > 0 && *value <= 2000))
            return QStringLiteral("--%1 takes the length the ruler measures in mm, not %2")
                .arg(name, quoted(text));
    }
    return QString();
}

}

ParseResult parseRenderArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Show the version and exit."));
    QList<QCommandLineOption> options;
    for (const OptionSpec &option : optionTable) {
        const QStringList names = QString::fromLatin1(option.names).split(QLatin1Char('|'));
        const QString text = QString::fromUtf8(option.help);
        if (option.value)
            options << QCommandLineOption(names, text, QString::fromUtf8(option.value));
        else
            options << QCommandLineOption(names, text);
    }
    parser.addOption(help);
    parser.addOption(version);
    parser.addOptions(options);

    ParseResult result;
    const auto usageError = [&result](const QString &message) {
        result.status = ParseResult::Status::UsageError;
        result.text = message;
        return result;
    };

    if (!parser.parse(arguments))
        return usageError(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(help)) {
        result.status = ParseResult::Status::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.status = ParseResult::Status::Version;
        result.text = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion();
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument %1 (see --help)")
                              .arg(quoted(parser.positionalArguments().first())));

    Reader read(parser);
    RenderJob &job = result.job;
    EncoderSettings &s = job.settings;

    if (parser.isSet(QStringLiteral("calibration-target"))
        || parser.isSet(QStringLiteral("measure")) || parser.isSet(QStringLiteral("measured-x"))
        || parser.isSet(QStringLiteral("measured-y"))) {
        const QString problem = readCalibrationJob(parser, &job);
        if (!problem.isEmpty())
            return usageError(problem);
        return result;
    }
    if (parser.isSet(QStringLiteral("scan-dpi")))
        return usageError(QStringLiteral("--scan-dpi goes with --measure"));

    job.describe = parser.isSet(QStringLiteral("describe"));
    job.check = parser.isSet(QStringLiteral("check"));
    job.quiet = parser.isSet(QStringLiteral("quiet"));
    job.decodeTable = parser.value(QStringLiteral("decode-table"));
    if (parser.isSet(QStringLiteral("decode-table"))
        && DecodeTable::formatOf(job.decodeTable).isEmpty())
        return usageError(QStringLiteral("--decode-table: a table is written as .csv, .json or .h, "
                                         "not \"%1\"")
                              .arg(job.decodeTable));
    if (!parser.isSet(QStringLiteral("output")) && !job.describe && !job.check
        && job.decodeTable.isEmpty())
        return usageError(QStringLiteral("-o/--output FILE is required"));
    job.fileName = parser.value(QStringLiteral("output"));
    // An empty variable in a script must not look like success.
    if (parser.isSet(QStringLiteral("output")) && job.fileName.isEmpty())
        return usageError(QStringLiteral("-o/--output needs a file name, not an empty one"));
    const bool toStandardOutput = job.fileName == QLatin1String("-");
    if (toStandardOutput && (job.describe || job.check))
        return usageError(
            QStringLiteral("--%1 prints on standard output, which -o - fills with "
                           "the file; write the file by name")
                .arg(job.describe ? QStringLiteral("describe") : QStringLiteral("check")));
    if (parser.isSet(QStringLiteral("format")) && !toStandardOutput)
        return usageError(QStringLiteral("--format goes with -o - (standard output); a file's "
                                         "suffix picks its format"));
    if (toStandardOutput && !parser.isSet(QStringLiteral("format")))
        return usageError(QStringLiteral("-o - writes to standard output and needs --format"));
    const std::optional<Export::Format> format = toStandardOutput
        ? Export::formatOfWord(parser.value(QStringLiteral("format")))
        : Export::formatOfName(job.fileName);
    const QString suffix = toStandardOutput ? parser.value(QStringLiteral("format")).toLower()
                                            : QFileInfo(job.fileName).suffix().toLower();
    if (job.fileName.isEmpty()) {
        job.output = RenderJob::Output::None;
    } else if (!toStandardOutput
        && (suffix == QLatin1String("stl") || suffix == QLatin1String("3mf"))) {
        // Solids are the cut part extruded; they come from the fabrication library, not the
        // pattern's writers.
        job.output
            = suffix == QLatin1String("stl") ? RenderJob::Output::Stl : RenderJob::Output::ThreeMf;
    } else if (!format) {
        return usageError(
            QStringLiteral("%1: unknown format %2; use %3")
                .arg(toStandardOutput ? QStringLiteral("--format") : QStringLiteral("--output"),
                    quoted(suffix),
                    Export::knownSuffixes()
                        + QStringLiteral(" (.stl or .3mf: a solid, with --cut)")));
    } else {
        job.format = *format;
        switch (*format) {
        case Export::Format::Pdf:
            job.output = parser.isSet(QStringLiteral("vector")) ? RenderJob::Output::VectorPdf
                                                                : RenderJob::Output::Pdf;
            break;
        case Export::Format::Svg:
            job.output = RenderJob::Output::Svg;
            break;
        case Export::Format::Dxf:
            job.output = RenderJob::Output::Dxf;
            break;
        case Export::Format::KicadMod:
            job.output = RenderJob::Output::Footprint;
            break;
        default:
            job.output = RenderJob::Output::Image;
            break;
        }
    }
    if (parser.isSet(QStringLiteral("vector")) && suffix != QLatin1String("pdf"))
        return usageError(QStringLiteral("--vector works only with a .pdf output"));
    if (parser.isSet(QStringLiteral("page"))) {
        if (job.output != RenderJob::Output::Pdf)
            return usageError(QStringLiteral("--page goes with a .pdf output (not --vector), "
                                             "--calibration-target or --measure"));
        QString why;
        const auto page
            = PrintTarget::pageOfWord(parser.value(QStringLiteral("page")), &why, QSizeF(50, 50));
        if (!page)
            return usageError(QStringLiteral("--page: %1, not %2")
                                  .arg(why, quoted(parser.value(QStringLiteral("page")))));
        s.pdfPageWidthMm = page->sizeMm.width();
        s.pdfPageHeightMm = page->sizeMm.height();
    }
    const bool vector = job.output == RenderJob::Output::Svg || job.output == RenderJob::Output::Dxf
        || job.output == RenderJob::Output::VectorPdf;
    if (parser.isSet(QStringLiteral("transparent")) && !vector)
        return usageError(QStringLiteral(
            "--transparent works only with vector output (.svg, .dxf, or .pdf with --vector)"));
    if (parser.isSet(QStringLiteral("compact")) && job.output != RenderJob::Output::Svg
        && job.output != RenderJob::Output::Dxf)
        return usageError(QStringLiteral("--compact works only with .svg and .dxf output"));
    const bool footprint = job.output == RenderJob::Output::Footprint;
    if (parser.isSet(QStringLiteral("pcb-layer"))) {
        if (!footprint)
            return usageError(QStringLiteral("--pcb-layer goes with a .kicad_mod output"));
        const QString problem = KicadExport::checkLayers(
            parser.value(QStringLiteral("pcb-layer")).split(QLatin1Char(',')), &job.pcbLayers);
        if (!problem.isEmpty())
            return usageError(problem);
    }
    if ((parser.isSet(QStringLiteral("precise")) || parser.isSet(QStringLiteral("classic-pixels")))
        && (vector || footprint))
        return usageError(QStringLiteral("--%1 is for raster output; vector output is always "
                                         "exact")
                              .arg(parser.isSet(QStringLiteral("precise"))
                                      ? QStringLiteral("precise")
                                      : QStringLiteral("classic-pixels")));
    if (parser.isSet(QStringLiteral("precise")) && parser.isSet(QStringLiteral("classic-pixels")))
        return usageError(QStringLiteral("--precise and --classic-pixels exclude each other"));

    const auto shape
        = read.choice(QStringLiteral("shape"), { QStringLiteral("bar"), QStringLiteral("disc") });
    const auto type = read.choice(
        QStringLiteral("type"), { QStringLiteral("absolute"), QStringLiteral("relative") });
    if (!read.error.isEmpty())
        return usageError(read.error);
    s.shape = *shape == QLatin1String("disc") ? Shape::Disc : Shape::Strip;
    s.type = *type == QLatin1String("relative") ? EncoderType::Relative : EncoderType::Absolute;

    const bool cpr = parser.isSet(QStringLiteral("cpr"));
    if (cpr
        && ((parser.isSet(QStringLiteral("shape")) && s.shape != Shape::Disc)
            || (parser.isSet(QStringLiteral("type")) && s.type != EncoderType::Relative)))
        return usageError(QStringLiteral("--cpr counts a relative disc's pairs; it goes with "
                                         "--shape disc --type relative"));
    if (cpr) {
        s.shape = Shape::Disc;
        s.type = EncoderType::Relative;
        if (parser.isSet(QStringLiteral("pairs")))
            return usageError(QStringLiteral("--cpr and --pairs exclude each other"));
    }
    if (s.type == EncoderType::Relative && parser.isSet(QStringLiteral("bits")))
        return usageError(QStringLiteral("--bits is for absolute patterns; use --pairs 1-65536 "
                                         "with --type relative"));
    if (s.type == EncoderType::Absolute && parser.isSet(QStringLiteral("pairs")))
        return usageError(QStringLiteral("--pairs is for relative patterns; use --bits 1-16 "
                                         "with --type absolute"));
    if (s.type == EncoderType::Relative && parser.isSet(QStringLiteral("code")))
        return usageError(QStringLiteral("--code is for absolute patterns"));
    if (s.type == EncoderType::Relative && parser.isSet(QStringLiteral("positions")))
        return usageError(QStringLiteral("--positions is for absolute patterns; a relative one "
                                         "counts --pairs"));
    if (parser.isSet(QStringLiteral("positions")) && parser.isSet(QStringLiteral("bits")))
        return usageError(QStringLiteral("--positions and --bits exclude each other"));
    for (const char *option : { "quadrature", "index", "index-width" }) {
        if (s.type == EncoderType::Absolute && parser.isSet(QString::fromLatin1(option)))
            return usageError(QStringLiteral("--%1 is for relative patterns (--type relative)")
                                  .arg(QString::fromLatin1(option)));
    }
    if (parser.isSet(QStringLiteral("index-width")) && !parser.isSet(QStringLiteral("index")))
        return usageError(QStringLiteral("--index-width goes with --index"));
    if (parser.isSet(QStringLiteral("border")) && parser.isSet(QStringLiteral("no-border")))
        return usageError(QStringLiteral("--border and --no-border exclude each other"));

    const auto width = read.length(QStringLiteral("width"), s.widthMm, 1, 2000);
    const auto height = read.length(QStringLiteral("height"), s.heightMm, 1, 200);
    const auto outer = read.length(QStringLiteral("outer-radius"), s.outerRadiusMm, 1, 100);
    const auto count = s.type == EncoderType::Absolute
        ? read.integer(QStringLiteral("bits"), 4, 1, 16)
        : cpr ? read.integer(QStringLiteral("cpr"), 16, 1, 65536)
              : read.integer(QStringLiteral("pairs"), 16, 1, 65536);
    const auto order = read.choice(
        QStringLiteral("bit-order"), { QStringLiteral("lsb-msb"), QStringLiteral("msb-lsb") });
    // Discs default to Gray code, strips to plain binary, as in the window.
    const QString defaultCode
        = s.shape == Shape::Disc ? QStringLiteral("gray") : QStringLiteral("binary");
    const auto code = read.choice(QStringLiteral("code"),
        { defaultCode,
            defaultCode == QLatin1String("gray") ? QStringLiteral("binary")
                                                 : QStringLiteral("gray"),
            QStringLiteral("single-track"), QStringLiteral("pseudo-random") });
    const auto direction
        = read.choice(QStringLiteral("direction"), { QStringLiteral("cw"), QStringLiteral("ccw") });
    const auto positions = read.integer(QStringLiteral("positions"), 0, 2, 65536);
    const auto sensors = read.integer(QStringLiteral("sensors"), 0, 1, 32);
    const auto indexWidth = read.integer(QStringLiteral("index-width"), 90, 90, 360);
    const auto dpi = read.integer(QStringLiteral("dpi"), s.dpi, 10, 1200);
    const auto foreground = read.color(QStringLiteral("foreground"), s.foreground);
    const auto background = read.color(QStringLiteral("background"), s.background);
    if (!read.error.isEmpty())
        return usageError(read.error);
    const auto inner
        = read.length(QStringLiteral("inner-radius"), s.innerRadiusMm, 0, *outer - 0.001);
    if (!read.error.isEmpty())
        return usageError(read.error);

    const auto real = [&](const char *name, double low, double high, double *value) {
        const std::optional<double> length
            = read.length(QString::fromLatin1(name), *value, low, high);
        if (length) {
            *value = *length;
            return true;
        }
        result.status = ParseResult::Status::UsageError;
        result.text = read.error;
        return false;
    };
    if (!real("mark-bias", -0.5, 0.5, &s.markBiasMm)
        || !real("aperture", 0.001, 10, &job.apertureMm))
        return result;
    for (const auto &[name, value] : { std::pair(QStringLiteral("scale-x"), &s.scaleX),
             std::pair(QStringLiteral("scale-y"), &s.scaleY) }) {
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        const QString text = parser.value(name);
        *value = text.toDouble(&ok);
        if (!ok || !(*value >= 0.9 - 1e-12 && *value <= 1.1 + 1e-12))
            return usageError(QStringLiteral("--%1 takes a printer scale from 0.9 to 1.1, not %2")
                                  .arg(name, quoted(text)));
        // Cutters cut true; a drawing stretched for a printer would be cut wrong.
        if (job.output == RenderJob::Output::Svg || job.output == RenderJob::Output::Dxf
            || footprint)
            return usageError(Problems::printerScaleForCutter(QStringLiteral("--") + name));
    }
    if (parser.isSet(QStringLiteral("printer-profile"))) {
        job.profile = parser.value(QStringLiteral("printer-profile"));
        QString problem;
        const std::optional<PrinterProfile::Profile> profile
            = PrinterProfile::load(job.profile, &problem);
        if (!profile)
            return usageError(problem);
        if (job.output == RenderJob::Output::Svg || job.output == RenderJob::Output::Dxf
            || footprint)
            return usageError(
                Problems::printerScaleForCutter(QStringLiteral("--printer-profile")));
        // Options given beside the profile win over it.
        if (!parser.isSet(QStringLiteral("scale-x")))
            s.scaleX = profile->scaleX;
        if (!parser.isSet(QStringLiteral("scale-y")))
            s.scaleY = profile->scaleY;
        if (!parser.isSet(QStringLiteral("mark-bias")) && profile->markBiasMm)
            s.markBiasMm = *profile->markBiasMm;
    }
    // Mechanical sizes to the hundredth of a millimetre, as a drawing gives them.
    const auto hundredths = [](double mm) { return qRound(mm * 100) / 100.0; };
    if (!real("bore", 0.01, 200, &s.boreMm) || !real("d-flat", 0.01, 100, &s.dFlatMm))
        return result;
    s.boreMm = hundredths(s.boreMm);
    s.dFlatMm = hundredths(s.dFlatMm);
    if (parser.isSet(QStringLiteral("holes"))) {
        const QString text = parser.value(QStringLiteral("holes"));
        const QStringList parts = text.split(QLatin1Char(','));
        // A strip's holes stand in its margin: no pitch circle.
        const bool strip = s.shape == Shape::Strip && parts.size() == 2;
        bool ok = parts.size() == 3 || strip;
        const int n = ok ? parts[0].trimmed().toInt(&ok) : 0;
        const std::optional<double> dLength = ok ? parseLength(parts[1]) : std::nullopt;
        const std::optional<double> pcdLength
            = ok && !strip ? parseLength(parts[2]) : std::nullopt;
        const bool okD = bool(dLength), okP = strip || bool(pcdLength);
        const double d = dLength.value_or(0.0);
        const double pcd = pcdLength.value_or(0.0);
        if (!ok || !okD || !okP || n < 1 || n > 64 || !(d >= 0.01 - 1e-9 && d <= 200)
            || !((strip && pcd == 0) || (pcd >= 0.01 - 1e-9 && pcd <= 200)))
            return usageError(QStringLiteral("--holes takes N,D,PCD: 1-64 holes of diameter D on "
                                             "a pitch circle of diameter PCD, 0.01-200 mm, not %1")
                                  .arg(quoted(text)));
        s.holeCount = n;
        s.holeDiameterMm = hundredths(d);
        s.holePitchMm = hundredths(pcd);
    }
    s.mask = parser.isSet(QStringLiteral("mask"));
    if (parser.isSet(QStringLiteral("aperture")) && !job.check && !s.mask)
        return usageError(QStringLiteral("--aperture goes with --check or --mask"));
    if (s.mask && job.check)
        return usageError(QStringLiteral("--check reads the pattern; leave out --mask"));
    if (s.mask && s.markBiasMm != 0)
        return usageError(QStringLiteral("--mark-bias widens the pattern's marks; a mask's slits "
                                         "are --aperture wide"));
    if (s.mask)
        s.maskApertureMm = job.apertureMm;
    if (!real("rim", 0.01, 50, &s.rimMm) || !real("hub", 0.01, 100, &s.hubMm)
        || !real("min-web", 0.05, 10, &s.minWebMm) || !real("bridge", 0, 10, &s.bridgeMm)
        || !real("kerf", 0, 2, &s.kerfMm))
        return result;
    if (const auto cut = read.choice(QStringLiteral("cut"),
            { QStringLiteral("none"), QStringLiteral("marks"), QStringLiteral("gaps") });
        !cut)
        return usageError(read.error);
    else if (parser.isSet(QStringLiteral("cut")))
        s.cut = *cut == QLatin1String("marks") ? EncoderSettings::Cut::Marks
            : *cut == QLatin1String("gaps")    ? EncoderSettings::Cut::Gaps
                                               : EncoderSettings::Cut::None;
    const bool solid
        = job.output == RenderJob::Output::Stl || job.output == RenderJob::Output::ThreeMf;
    if (!real("thickness", 0.1, 50, &job.thicknessMm))
        return result;
    if (parser.isSet(QStringLiteral("thickness")) && !solid)
        return usageError(QStringLiteral("--thickness is for a solid: an .stl or .3mf output"));
    if (solid && s.cut == EncoderSettings::Cut::None)
        return usageError(QStringLiteral("a solid (.stl, .3mf) is the cut part: give --cut marks "
                                         "or --cut gaps"));
    if (solid && s.kerfMm > 0)
        return usageError(QStringLiteral("--kerf is a cutter's; a solid is made at its size"));
    for (const char *option : { "min-web", "bridge", "kerf" })
        if (parser.isSet(QString::fromLatin1(option)) && s.cut == EncoderSettings::Cut::None)
            return usageError(QStringLiteral("--%1 goes with --cut marks or --cut gaps")
                                  .arg(QString::fromLatin1(option)));
    if (parser.isSet(QStringLiteral("hub")) && s.shape != Shape::Disc)
        return usageError(QStringLiteral("--hub is for discs; a strip has --rim all round"));
    if (s.cut != EncoderSettings::Cut::None) {
        if (job.output == RenderJob::Output::Image || job.output == RenderJob::Output::Pdf)
            return usageError(QStringLiteral("--cut writes the part's cut contours into .svg, "
                                             ".dxf or --vector .pdf; images show the pattern as "
                                             "printed"));
        if (parser.isSet(QStringLiteral("calibration")))
            return usageError(QStringLiteral("--calibration is for printing; a cut part has "
                                             "no rulers"));
        if (parser.isSet(QStringLiteral("scale-x")) || parser.isSet(QStringLiteral("scale-y")))
            return usageError(QStringLiteral("--scale-x and --scale-y compensate a printer; a "
                                             "cut part is drawn true"));
    }

    if (parser.isSet(QStringLiteral("border"))) {
        const QString text = parser.value(QStringLiteral("border"));
        const std::optional<double> length = parseLength(text);
        const double border = length.value_or(0.0);
        // The window's spin box holds two decimals; so does the setting.
        if (!length || !(border >= 0.01 - 1e-9 && border <= 5.0 + 1e-9))
            return usageError(QStringLiteral("--border takes a width from 0.01 to 5.0 mm, not %1")
                                  .arg(quoted(text)));
        s.borderWidthMm = qRound(border * 100) / 100.0;
    }

    s.widthMm = *width;
    s.heightMm = *height;
    s.outerRadiusMm = *outer;
    s.innerRadiusMm = *inner;
    if (s.type == EncoderType::Absolute)
        s.bits = *count;
    else
        s.pairs = *count;
    if (const QString problem = sensorGeometry(parser, read, s, job); !problem.isEmpty())
        return usageError(problem);
    s.bitOrder = *order == QLatin1String("msb-lsb") ? BitOrder::MsbToLsb : BitOrder::LsbToMsb;
    s.code = *code == QLatin1String("single-track") ? Code::SingleTrack
        : *code == QLatin1String("pseudo-random")   ? Code::PseudoRandom
        : *code == QLatin1String("gray")            ? Code::Gray
                                                    : Code::Binary;
    s.clock = parser.isSet(QStringLiteral("clock"));
    if (s.clock && (s.type != EncoderType::Absolute || s.code != Code::PseudoRandom))
        return usageError(QStringLiteral("--clock goes with --code pseudo-random"));
    s.counterClockwise = *direction == QLatin1String("ccw");
    s.invert = parser.isSet(QStringLiteral("invert"));
    s.positions = *positions;
    s.sensors = *sensors;
    s.quadrature = parser.isSet(QStringLiteral("quadrature"));
    s.index = parser.isSet(QStringLiteral("index"));
    s.indexWidthDegrees = *indexWidth;
    s.sensorMarks = parser.isSet(QStringLiteral("sensor-marks"));
    s.dpi = *dpi;
    s.foreground = *foreground;
    s.background = *background;
    s.border = !parser.isSet(QStringLiteral("no-border"));
    s.centerMark = !parser.isSet(QStringLiteral("no-center-mark"));
    job.antialias = !parser.isSet(QStringLiteral("no-antialias"));
    s.classicPixels = parser.isSet(QStringLiteral("classic-pixels"));
    job.strict = parser.isSet(QStringLiteral("strict"));
    if (job.strict && job.quiet)
        return usageError(QStringLiteral("--strict and --quiet exclude each other"));
    s.calibration = parser.isSet(QStringLiteral("calibration"));
    job.transparent = parser.isSet(QStringLiteral("transparent"));
    job.compact = parser.isSet(QStringLiteral("compact"));

    const bool singleTrack = s.code == Code::SingleTrack;
    if (singleTrack && s.shape == Shape::Disc && s.positions == 0
        && !parser.isSet(QStringLiteral("bits")))
        s.positions = 360;
    if (!singleTrack && parser.isSet(QStringLiteral("sensors")))
        return usageError(QStringLiteral("--sensors goes with --code single-track"));
    if (s.code == Code::PseudoRandom && parser.isSet(QStringLiteral("bits")))
        return usageError(QStringLiteral("--code pseudo-random counts --positions, 2-65535; its "
                                         "sensors follow from the count"));
    if (s.code == Code::PseudoRandom && s.positions == 65536)
        return usageError(
            QStringLiteral("a pseudo-random code has 2 to 65535 positions, not 65536"));
    for (const QString &problem :
        { Problems::singleTrack(s), Problems::pseudoRandom(s), Problems::oddGrayRound(s) })
        if (!problem.isEmpty())
            return usageError(problem);
    if (const QString problem = trackRoomProblem(s); !problem.isEmpty())
        return usageError(problem);
    if (const QString problem = markBiasProblem(s); !problem.isEmpty())
        return usageError(problem);
    if (const QString problem = mountingProblem(s); !problem.isEmpty())
        return usageError(problem);
    if (const QString problem = Fabrication::settingsProblem(s); !problem.isEmpty())
        return usageError(problem);
    for (const QString &problem : { Problems::stripIndex(s),
             vector || footprint ? Problems::vector(s) : QString(), Problems::classicPixels(s) })
        if (!problem.isEmpty())
            return usageError(problem);
    const bool pixels
        = job.output == RenderJob::Output::Image || job.output == RenderJob::Output::Pdf;
    const QSize size = patternImageSize(s);
    if (pixels && (size.width() <= 0 || size.height() <= 0))
        return usageError(QStringLiteral("the pattern comes out %1 x %2 pixels at %3 dpi; raise "
                                         "--dpi or the size")
                              .arg(size.width())
                              .arg(size.height())
                              .arg(s.dpi));
    if (!job.decodeTable.isEmpty() && s.type != EncoderType::Absolute)
        return usageError(QStringLiteral("--decode-table is for absolute patterns; a relative "
                                         "one has no code to decode"));
    return result;
}
