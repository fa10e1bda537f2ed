// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "renderoptions.h"

#include "codes.h"
#include "decodetable.h"
#include "design.h"
#include "exporter.h"
#include "fabrication.h"
#include "kicadwriter.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "printerprofile.h"
#include "printtarget.h"
#include "problems.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <type_traits>
#include <vector>

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

// How an option's value is read and where it goes. A value that does not fit is refused in one
// form, --NAME takes WHAT, not "VALUE" (a colour that is not opaque and --holes say more).
struct Read
{
    enum class Kind { Special, Flag, Whole, Length, Number, Word, Colour, Custom };
    // Special: read where it is checked against other options (files, pages, layers).
    Kind kind = Kind::Special;
    double low = 0;
    double high = 0;
    // A bound that depends on a value read before it (the inner radius below the outer one).
    std::function<double(const RenderJob &)> highOf;
    double scale = 0; // rounded to 1/scale (100: hundredths of a millimetre); 0: as read
    QString what; // the message's "takes ..." where the kind's own words do not fit
    QStringList words; // Word: the values, in the order of the setting's enum
    std::function<int(const RenderJob &)> current; // Word: the value now, named first
    std::function<void(RenderJob &, const QVariant &)> store; // the number, index or colour
    std::function<QString(RenderJob &, const QString &)> custom; // reads, or says why not

    Read upTo(std::function<double(const RenderJob &)> bound) &&
    {
        highOf = std::move(bound);
        return std::move(*this);
    }
    Read rounded(double to) &&
    {
        scale = to;
        return std::move(*this);
    }
    Read saying(const char *takes) &&
    {
        what = QString::fromUtf8(takes);
        return std::move(*this);
    }
};

// The part of the job a member belongs to.
template<typename C> C &partOf(RenderJob &job)
{
    if constexpr (std::is_same_v<C, RenderJob>)
        return job;
    else
        return job.settings;
}

template<typename C> Read flag(bool C::*member, bool on = true)
{
    Read read;
    read.kind = Read::Kind::Flag;
    read.store = [member, on](RenderJob &job, const QVariant &) { partOf<C>(job).*member = on; };
    return read;
}

template<typename C, typename T> Read number(Read::Kind kind, double low, double high, T C::*member)
{
    Read read;
    read.kind = kind;
    read.low = low;
    read.high = high;
    if (member)
        read.store = [member](RenderJob &job, const QVariant &value) {
            partOf<C>(job).*member = T(value.toDouble());
        };
    return read;
}

template<typename C = RenderJob, typename T = int>
Read whole(int low, int high, T C::*member = nullptr)
{
    return number(Read::Kind::Whole, low, high, member);
}

// Millimetres (see parseLength).
template<typename C = RenderJob> Read length(double low, double high, double C::*member = nullptr)
{
    return number(Read::Kind::Length, low, high, member);
}

// A printer's measured scale, a plain number.
Read printerScale(double EncoderSettings::*member)
{
    return number(Read::Kind::Number, 0.9, 1.1, member).saying("a printer scale from 0.9 to 1.1");
}

// One of `words`, in the order of the enum (or false, true) the setting holds.
template<typename E> Read word(const QStringList &words, E EncoderSettings::*member)
{
    Read read;
    read.kind = Read::Kind::Word;
    read.words = words;
    read.current = [member](const RenderJob &job) { return int(job.settings.*member); };
    read.store = [member](RenderJob &job, const QVariant &value) {
        job.settings.*member = E(value.toInt());
    };
    return read;
}

Read colour(QColor EncoderSettings::*member)
{
    Read read;
    read.kind = Read::Kind::Colour;
    read.what = QStringLiteral("a colour such as #1a2b3c or an SVG colour name like navy");
    read.store = [member](RenderJob &job, const QVariant &value) {
        job.settings.*member = value.value<QColor>();
    };
    return read;
}

Read custom(std::function<QString(RenderJob &, const QString &)> parse)
{
    Read read;
    read.kind = Read::Kind::Custom;
    read.custom = std::move(parse);
    return read;
}

// The option's value as `read` takes it; nothing, with *error saying what it takes, otherwise.
std::optional<QVariant> valueOf(const QCommandLineParser &parser, const QString &name,
    const Read &read, const RenderJob &job, QString *error)
{
    const QString text = parser.value(name);
    const auto fail = [&](const QString &takes) -> std::optional<QVariant> {
        *error = QStringLiteral("--%1 takes %2, not %3").arg(name, takes, quoted(text));
        return std::nullopt;
    };
    switch (read.kind) {
    case Read::Kind::Flag:
        return QVariant(true);
    case Read::Kind::Word: {
        const int index = read.words.indexOf(text.toLower());
        if (index >= 0)
            return QVariant(index);
        QStringList named = read.words;
        named.move(read.current(job), 0);
        return fail(named.join(QLatin1String(" or ")));
    }
    case Read::Kind::Colour: {
        // Eight hex digits are CSS's #RRGGBBAA, not Qt's #AARRGGBB.
        static const QRegularExpression css(QStringLiteral("^#[0-9a-fA-F]{8}$"));
        const QColor value = css.match(text).hasMatch()
            ? QColor::fromRgba(
                qRgba(text.mid(1, 2).toInt(nullptr, 16), text.mid(3, 2).toInt(nullptr, 16),
                    text.mid(5, 2).toInt(nullptr, 16), text.mid(7, 2).toInt(nullptr, 16)))
            : QColor::fromString(text);
        if (!value.isValid())
            return fail(read.what);
        if (value.alpha() == 255)
            return QVariant(value);
        *error = QStringLiteral("--%1: %2 is not opaque; a pattern's colours are (for no "
                                "background use --transparent with a vector output)")
                     .arg(name, quoted(text));
        return std::nullopt;
    }
    default:
        break;
    }
    std::optional<double> value;
    bool ok = false;
    if (read.kind == Read::Kind::Length)
        value = parseLength(text);
    else if (const double number
             = read.kind == Read::Kind::Whole ? text.toInt(&ok) : text.toDouble(&ok);
             ok)
        value = number;
    const double high = read.highOf ? read.highOf(job) : read.high;
    const double slack = read.kind == Read::Kind::Whole ? 0
        : read.kind == Read::Kind::Length               ? 1e-9
                                                        : 1e-12;
    if (!value || !(*value >= read.low - slack && *value <= high + slack))
        return fail(!read.what.isEmpty() ? read.what
                : read.kind == Read::Kind::Whole
                ? QStringLiteral("a whole number from %1 to %2").arg(int(read.low)).arg(int(high))
                : QStringLiteral("a length from %1 to %2 mm").arg(read.low).arg(high));
    return QVariant(read.scale ? qRound(*value * read.scale) / read.scale : *value);
}

// "N,D,PCD" of --holes into the settings.
QString readHoles(RenderJob &job, const QString &text)
{
    EncoderSettings &s = job.settings;
    const QStringList parts = text.split(QLatin1Char(','));
    // A strip's holes stand in its margin: no pitch circle.
    const bool strip = s.shape == Shape::Strip && parts.size() == 2;
    bool ok = parts.size() == 3 || strip;
    const int n = ok ? parts[0].trimmed().toInt(&ok) : 0;
    const std::optional<double> dLength = ok ? parseLength(parts[1]) : std::nullopt;
    const std::optional<double> pcdLength = ok && !strip ? parseLength(parts[2]) : std::nullopt;
    const bool okD = bool(dLength), okP = strip || bool(pcdLength);
    const double d = dLength.value_or(0.0);
    const double pcd = pcdLength.value_or(0.0);
    if (!ok || !okD || !okP || n < 1 || n > 64 || !(d >= 0.01 - 1e-9 && d <= 200)
        || !((strip && pcd == 0) || (pcd >= 0.01 - 1e-9 && pcd <= 200)))
        return QStringLiteral("--holes takes N,D,PCD: 1-64 holes of diameter D on a pitch circle "
                              "of diameter PCD, 0.01-200 mm, not %1")
            .arg(quoted(text));
    // Mechanical sizes to the hundredth of a millimetre, as a drawing gives them.
    s.holeCount = n;
    s.holeDiameterMm = qRound(d * 100) / 100.0;
    s.holePitchMm = qRound(pcd * 100) / 100.0;
    return QString();
}

// One option of the command line: names split by '|', the value's name for an option that takes
// one, the help line, and how its value is read and where it goes. The table lists them in the
// order of --help (after -h and -v) and of reading: a value may bound one below it. A new option
// is a row here, and a rule below where it depends on other options.
struct OptionRow
{
    const char *names;
    const char *value;
    const char *help;
    Read read = {};

    QString name() const { return QString::fromLatin1(names).section(QLatin1Char('|'), -1); }
};

using S = EncoderSettings;

const std::vector<OptionRow> &optionTable()
{
    static const std::vector<OptionRow> table {
        { "o|output", "FILE",
            "Output file (required); its suffix picks the format; - is standard output." },
        { "format", "FORMAT", "With -o -: png, jpg, bmp, tif, pdf, svg, dxf or kicad_mod." },
        { "design", "FILE",
            "Start from a design file (.quvelta, as the window saves it); options given beside "
            "it win." },
        { "save-design", "FILE",
            "Write the settings of this run as a design file that the window opens (-o "
            "optional)." },
        { "shape", "SHAPE", "bar (linear strip, default) or disc.",
            word({ "bar", "disc" }, &S::shape) },
        { "type", "TYPE",
            "absolute (one track per bit, default) or relative (alternating segments).",
            word({ "absolute", "relative" }, &S::type) },
        { "width", "MM",
            "Strip width, 1-2000 mm (default 100); any length takes 0.001 mm and mm "
            "or in (25.4in).",
            length(1, 2000, &S::widthMm) },
        { "height", "MM", "Strip height, 1-200 mm (default 20).", length(1, 200, &S::heightMm) },
        { "outer-radius", "MM", "Disc outer radius, 1-100 mm (default 20).",
            length(1, 100, &S::outerRadiusMm) },
        { "inner-radius", "MM", "Disc inner radius, 0 to less than the outer radius (default 0).",
            length(0, 0, &S::innerRadiusMm).upTo([](const RenderJob &job) {
                return job.settings.outerRadiusMm - 0.001;
            }) },
        { "bits", "N", "Bits of an absolute pattern, 1-16 (default 4).", whole(1, 16, &S::bits) },
        { "pairs", "N", "Pairs of a relative pattern, 1-65536 (default 16).",
            whole(1, 65536, &S::pairs) },
        { "cpr", "N",
            "Counts per revolution: a relative disc of N pairs, 1-65536 (instead of --pairs).",
            whole(1, 65536, &S::pairs) },
        { "optical-radius", "MM",
            "Discs: the radius where the sensor reads; the pattern's ring is centred there, "
            "--track-width wide (instead of --outer-radius and --inner-radius)." },
        { "track-width", "MM", "With --optical-radius: the ring's width, 0.1-50 mm (default 2)." },
        { "lpi", "N",
            "Relative strips: lines (periods) per inch, 1-1000; the strip's length rounds to whole "
            "periods (said on stderr)." },
        { "pitch", "MM", "Relative strips: the period in mm, 0.01-100, instead of --lpi." },
        { "bit-order", "ORDER", "lsb-msb (default) or msb-lsb, as the window's bit-order button.",
            word({ "lsb-msb", "msb-lsb" }, &S::bitOrder) },
        { "code", "CODE",
            "binary, gray, single-track or pseudo-random; discs default to gray, strips to binary.",
            word({ "binary", "gray", "single-track", "pseudo-random" }, &S::code) },
        { "clock", nullptr,
            "With --code pseudo-random: an incremental track beside it, a mark every other cell.",
            flag(&S::clock) },
        { "direction", "DIR",
            "cw (default) or ccw: positions counted counter-clockwise on a disc, right to left on "
            "a "
            "strip.",
            word({ "cw", "ccw" }, &S::counterClockwise) },
        { "invert", nullptr,
            "Swap marks and gaps on every track; the decode table reads the flipped words.",
            flag(&S::invert) },
        { "border", "MM", "Border line width, 0.01-5.0 mm (default 0.1).",
            length(0.01, 5, &S::borderWidthMm).rounded(100).saying("a width from 0.01 to 5.0 mm") },
        { "no-border", nullptr, "Draw no border lines.", flag(&S::border, false) },
        { "no-center-mark", nullptr, "Omit the disc's centre mark.", flag(&S::centerMark, false) },
        { "dpi", "N", "Resolution, 10-1200 (default 600).", whole(10, 1200, &S::dpi) },
        { "no-antialias", nullptr, "Plain pixels instead of antialiased edges.",
            flag(&RenderJob::antialias, false) },
        { "foreground", "COLOR", "Colour of the marks (default black).", colour(&S::foreground) },
        { "background", "COLOR", "Colour of the ground (default white).", colour(&S::background) },
        { "vector", nullptr, "With .pdf: draw paths instead of embedding the image." },
        { "classic-pixels", nullptr, "Raster output in the truncated whole pixels of older files.",
            flag(&S::classicPixels) },
        { "precise", nullptr, "Every edge at its exact place: the default, kept for scripts." },
        { "transparent", nullptr,
            "Vector output (.svg, .dxf, --vector .pdf) without the background.",
            flag(&RenderJob::transparent) },
        { "compact", nullptr,
            "SVG and DXF: smaller files, a track one SVG path and a repeated strip mark written "
            "once "
            "and copied (<use>, block arrays); Inkscape, KiCad and others drop the copies. By "
            "default "
            "every mark is its own closed path.",
            flag(&RenderJob::compact) },
        { "positions", "N",
            "Absolute patterns: any number of positions, 2-65536 (pseudo-random: 2-65535), instead "
            "of "
            "2^bits.",
            whole(2, 65536, &S::positions) },
        { "sensors", "N",
            "With --code single-track: the code with N sensors where a count has several (360: 9 "
            "or 10); the fewest by default.",
            whole(1, 32, &S::sensors) },
        { "quadrature", nullptr, "Relative patterns: channels A and B a quarter period apart.",
            flag(&S::quadrature) },
        { "index", nullptr, "Relative patterns: one index mark per turn or strip.",
            flag(&S::index) },
        { "index-width", "DEG", "Index mark width, 90-360 electrical degrees (default 90).",
            whole(90, 360, &S::indexWidthDegrees) },
        { "sensor-marks", nullptr, "Ticks outside the pattern where the sensors read.",
            flag(&S::sensorMarks) },
        { "describe", nullptr, "Print the tracks, counts and sensor places (-o optional).",
            flag(&RenderJob::describe) },
        { "calibration", nullptr,
            "Rulers in mm and a legend beside the pattern, to check the print's scale.",
            flag(&S::calibration) },
        { "mark-bias", "MM",
            "Widen every mark by MM, -0.5 to 0.5 (negative narrows): the printer's ink spread. A "
            "cutter's kerf is --kerf.",
            length(-0.5, 0.5, &S::markBiasMm) },
        { "scale-x", "F",
            "The printer's measured scale across, 0.9-1.1 (0.992: it prints 99.2 %): images and "
            "PDFs are drawn 1/F as wide, so that it prints them true.",
            printerScale(&S::scaleX) },
        { "scale-y", "F", "The same down the page.", printerScale(&S::scaleY) },
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
            "Measure a scan of the printed target (PNG, JPEG, TIFF): the printer's scale across "
            "and "
            "down, its ink spread and the options that correct them. Twice: a second scan turned "
            "90 "
            "degrees cancels the scanner's own x/y error." },
        { "scan-dpi", "N",
            "With --measure: the scan's resolution, 50-9600, where the file gives none." },
        { "measured-x", "MM",
            "What the target's ruler across measures on the print (a steel rule): the scale "
            "without "
            "a scan." },
        { "measured-y", "MM", "The same for the ruler down." },
        { "bore", "MM",
            "Discs: a shaft hole of this diameter, to 0.01 mm, cut instead of the inner circle.",
            length(0.01, 200, &S::boreMm).rounded(100) },
        { "d-flat", "MM", "With --bore: a flat this deep on the bore, at 3 o'clock.",
            length(0.01, 100, &S::dFlatMm).rounded(100) },
        { "holes", "N,D,PCD",
            "Discs: N mounting holes of diameter D mm on a pitch circle of PCD mm, the first at 3 "
            "o'clock. Strips: N,D, evenly along the centre line of the margin below the pattern.",
            custom(readHoles) },
        { "cut", "WHAT",
            "marks or gaps: cut them through. SVG, DXF and vector PDF then hold the part's cut "
            "contours alone, with bridges holding every piece that would fall out.",
            word({ "none", "marks", "gaps" }, &S::cut) },
        { "min-web", "MM", "With --cut: narrower material breaks, 0.05-10 mm (default 0.3).",
            length(0.05, 10, &S::minWebMm) },
        { "bridge", "MM",
            "With --cut: width of the bridges that tie loose pieces, 0-10 mm (default 0.5); 0 "
            "refuses a part with loose pieces.",
            length(0, 10, &S::bridgeMm) },
        { "rim", "MM",
            "Solid material beyond the outermost marks, 0.01-50 mm (default the border width, 1 mm "
            "with --cut).",
            length(0.01, 50, &S::rimMm) },
        { "hub", "MM",
            "Discs: solid material inside the innermost marks, 0.01-100 mm (default as --rim).",
            length(0.01, 100, &S::hubMm) },
        { "thickness", "MM",
            "With --cut and an .stl or .3mf output: the plate's thickness, 0.1-50 mm (default "
            "1.5).",
            length(0.1, 50, &RenderJob::thicknessMm) },
        { "kerf", "MM",
            "With --cut: the cutter's kerf, 0-2 mm; cut contours move half of it into the waste.",
            length(0, 2, &S::kerfMm) },
        { "check", nullptr,
            "Read every track as a sensor would and print what it reads, with the narrowest mark "
            "and "
            "gap (-o optional).",
            flag(&RenderJob::check) },
        { "aperture", "MM",
            "With --check: the sensor's slit or spot width, 0.001-10 mm; with --mask: the slits' "
            "width (default half the narrowest mark, at most a reading step).",
            length(0.001, 10, &RenderJob::apertureMm) },
        { "mask", nullptr,
            "Draw the stationary sensor mask instead of the pattern: a slit per sensor and track "
            "it "
            "reads, where --describe places the sensors, in any output format.",
            flag(&S::mask) },
        { "pcb-layer", "LAYERS",
            "With .kicad_mod: the layers of the marks, F.Cu (default), F.Mask, F.SilkS, B.Cu, "
            "B.Mask "
            "or B.SilkS, several joined by commas (F.Cu,F.Mask: gold or ENIG marks)." },
        { "quiet", nullptr, "No warning about tracks that would not read.",
            flag(&RenderJob::quiet) },
        { "strict", nullptr, "A track that would not read is a failure: status 3, nothing written.",
            flag(&RenderJob::strict) },
        { "decode-table", "FILE",
            "Write the table from sensor words to positions: .csv, .json or .h." },
    };
    return table;
}

const OptionRow &option(const char *name)
{
    const auto &table = optionTable();
    return *std::find_if(table.begin(), table.end(),
        [name](const OptionRow &row) { return row.name() == QLatin1String(name); });
}

// Reads the option into the job when it is given; the usage error, if any.
QString readOption(const QCommandLineParser &parser, const OptionRow &row, RenderJob &job)
{
    const QString name = row.name();
    if (row.read.kind == Read::Kind::Special || !parser.isSet(name))
        return QString();
    if (row.read.kind == Read::Kind::Custom)
        return row.read.custom(job, parser.value(name));
    QString error;
    if (const std::optional<QVariant> value = valueOf(parser, name, row.read, job, &error))
        row.read.store(job, *value);
    return error;
}

// The option's value as `read` takes it, `fallback` when it is not given.
std::optional<double> lengthOf(const QCommandLineParser &parser, const char *name, double fallback,
    const Read &read, QString *error)
{
    const QString option = QString::fromLatin1(name);
    if (!parser.isSet(option))
        return fallback;
    const std::optional<QVariant> value = valueOf(parser, option, read, RenderJob(), error);
    return value ? std::optional<double>(value->toDouble()) : std::nullopt;
}

// What one option asks of the others: when `option` is given (or always, if null), and `other`
// too (with '!': is not), and `wrong` holds of what was read (or always), the run is refused.
struct Rule
{
    const char *option;
    const char *other;
    bool (*wrong)(const RenderJob &job);
    const char *message;
};

bool absolute(const RenderJob &job)
{
    return job.settings.type == EncoderType::Absolute;
}
bool relative(const RenderJob &job)
{
    return job.settings.type == EncoderType::Relative;
}
bool uncut(const RenderJob &job)
{
    return job.settings.cut == EncoderSettings::Cut::None;
}
bool cut(const RenderJob &job)
{
    return !uncut(job);
}
bool solid(const RenderJob &job)
{
    return job.output == RenderJob::Output::Stl || job.output == RenderJob::Output::ThreeMf;
}
bool pixels(const RenderJob &job)
{
    return job.output == RenderJob::Output::Image || job.output == RenderJob::Output::Pdf;
}
bool vectorFile(const RenderJob &job)
{
    return job.output == RenderJob::Output::Svg || job.output == RenderJob::Output::Dxf
        || job.output == RenderJob::Output::VectorPdf;
}
bool outlines(const RenderJob &job)
{
    return vectorFile(job) || job.output == RenderJob::Output::Footprint;
}
// Cutters cut true; a drawing stretched for a printer would be cut wrong.
bool cutter(const RenderJob &job)
{
    return outlines(job) && job.output != RenderJob::Output::VectorPdf;
}

// Checked once the output is known.
const Rule outputRules[] = {
    { "vector", nullptr,
        [](const RenderJob &job) { return job.output != RenderJob::Output::VectorPdf; },
        "--vector works only with a .pdf output" },
    { "page", nullptr, [](const RenderJob &job) { return job.output != RenderJob::Output::Pdf; },
        "--page goes with a .pdf output (not --vector), --calibration-target or --measure" },
    { "transparent", nullptr, [](const RenderJob &job) { return !vectorFile(job); },
        "--transparent works only with vector output (.svg, .dxf, or .pdf with --vector)" },
    { "compact", nullptr,
        [](const RenderJob &job) {
            return job.output != RenderJob::Output::Svg && job.output != RenderJob::Output::Dxf;
        },
        "--compact works only with .svg and .dxf output" },
    { "pcb-layer", nullptr,
        [](const RenderJob &job) { return job.output != RenderJob::Output::Footprint; },
        "--pcb-layer goes with a .kicad_mod output" },
    { "precise", nullptr, outlines,
        "--precise is for raster output; vector output is always exact" },
    { "classic-pixels", nullptr, outlines,
        "--classic-pixels is for raster output; vector output is always exact" },
    { "precise", "classic-pixels", nullptr, "--precise and --classic-pixels exclude each other" },
};

// Checked once the shape and type are known, before any value is read.
const Rule countRules[] = {
    { "cpr", "pairs", nullptr, "--cpr and --pairs exclude each other" },
    { "bits", nullptr, relative,
        "--bits is for absolute patterns; use --pairs 1-65536 with --type relative" },
    { "pairs", nullptr, absolute,
        "--pairs is for relative patterns; use --bits 1-16 with --type absolute" },
    { "code", nullptr, relative, "--code is for absolute patterns" },
    { "positions", nullptr, relative,
        "--positions is for absolute patterns; a relative one counts --pairs" },
    { "positions", "bits", nullptr, "--positions and --bits exclude each other" },
    { "quadrature", nullptr, absolute, "--quadrature is for relative patterns (--type relative)" },
    { "index", nullptr, absolute, "--index is for relative patterns (--type relative)" },
    { "index-width", nullptr, absolute,
        "--index-width is for relative patterns (--type relative)" },
    { "index-width", "!index", nullptr, "--index-width goes with --index" },
    { "border", "no-border", nullptr, "--border and --no-border exclude each other" },
};

// Checked once every value is read.
const Rule rules[] = {
    { "aperture", "!check", [](const RenderJob &job) { return !job.settings.mask; },
        "--aperture goes with --check or --mask" },
    { nullptr, nullptr, [](const RenderJob &job) { return job.settings.mask && job.check; },
        "--check reads the pattern; leave out --mask" },
    { nullptr, nullptr,
        [](const RenderJob &job) { return job.settings.mask && job.settings.markBiasMm != 0; },
        "--mark-bias widens the pattern's marks; a mask's slits are --aperture wide" },
    { "thickness", nullptr, [](const RenderJob &job) { return !solid(job); },
        "--thickness is for a solid: an .stl or .3mf output" },
    { nullptr, nullptr, [](const RenderJob &job) { return solid(job) && uncut(job); },
        "a solid (.stl, .3mf) is the cut part: give --cut marks or --cut gaps" },
    { nullptr, nullptr, [](const RenderJob &job) { return solid(job) && job.settings.kerfMm > 0; },
        "--kerf is a cutter's; a solid is made at its size" },
    { "min-web", nullptr, uncut, "--min-web goes with --cut marks or --cut gaps" },
    { "bridge", nullptr, uncut, "--bridge goes with --cut marks or --cut gaps" },
    { "kerf", nullptr, uncut, "--kerf goes with --cut marks or --cut gaps" },
    { "hub", nullptr, [](const RenderJob &job) { return job.settings.shape != Shape::Disc; },
        "--hub is for discs; a strip has --rim all round" },
    { nullptr, nullptr, [](const RenderJob &job) { return cut(job) && pixels(job); },
        "--cut writes the part's cut contours into .svg, .dxf or --vector .pdf; images show the "
        "pattern as printed" },
    { "calibration", nullptr, cut, "--calibration is for printing; a cut part has no rulers" },
    { "scale-x", nullptr, cut,
        "--scale-x and --scale-y compensate a printer; a cut part is drawn true" },
    { "scale-y", nullptr, cut,
        "--scale-x and --scale-y compensate a printer; a cut part is drawn true" },
};

// Checked once the sensor's sizes are settled.
const Rule codeRules[] = {
    { nullptr, nullptr,
        [](const RenderJob &job) {
            return job.settings.clock && (relative(job) || job.settings.code != Code::PseudoRandom);
        },
        "--clock goes with --code pseudo-random" },
    { "strict", "quiet", nullptr, "--strict and --quiet exclude each other" },
    { "sensors", nullptr,
        [](const RenderJob &job) { return job.settings.code != Code::SingleTrack; },
        "--sensors goes with --code single-track" },
    { "bits", nullptr, [](const RenderJob &job) { return job.settings.code == Code::PseudoRandom; },
        "--code pseudo-random counts --positions, 2-65535; its sensors follow from the count" },
    { nullptr, nullptr,
        [](const RenderJob &job) {
            return job.settings.code == Code::PseudoRandom && job.settings.positions == 65536;
        },
        "a pseudo-random code has 2 to 65535 positions, not 65536" },
    { "decode-table", nullptr, relative,
        "--decode-table is for absolute patterns; a relative one has no code to decode" },
};

// The first rule broken, or nothing.
template<std::size_t N>
QString broken(const Rule (&table)[N], const QCommandLineParser &parser, const RenderJob &job)
{
    const auto given
        = [&parser](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    for (const Rule &rule : table) {
        const bool other
            = !rule.other || (rule.other[0] == '!' ? !given(rule.other + 1) : given(rule.other));
        if ((!rule.option || given(rule.option)) && other && (!rule.wrong || rule.wrong(job)))
            return QString::fromUtf8(rule.message);
    }
    return QString();
}

// The sizes a sensor fixes: the optical radius of a disc, the line pitch of a strip. Settles the
// settings' sizes and pairs from them, or says why it cannot.
QString sensorGeometry(const QCommandLineParser &parser, RenderJob &job)
{
    EncoderSettings &s = job.settings;
    const auto isSet
        = [&parser](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    const bool optical = isSet("optical-radius");
    if (isSet("track-width") && !optical)
        return QStringLiteral("--track-width goes with --optical-radius");
    QString error;
    if (optical) {
        if (s.shape != Shape::Disc)
            return QStringLiteral("--optical-radius is for discs (--shape disc)");
        if (isSet("outer-radius") || isSet("inner-radius"))
            return QStringLiteral("--optical-radius places the ring itself; leave out "
                                  "--outer-radius and --inner-radius");
        const auto radius = lengthOf(parser, "optical-radius", 0, length(0.5, 99.95), &error);
        if (!radius)
            return error;
        const auto width = lengthOf(parser, "track-width", 2, length(0.1, 50), &error);
        if (!width)
            return error;
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
        const auto period = lengthOf(parser, "pitch", 1, length(0.01, 100), &error);
        if (!period)
            return error;
        pitch = *period;
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
        for (const auto &[name, member] : { std::pair("scale-x", &EncoderSettings::scaleX),
                 std::pair("scale-y", &EncoderSettings::scaleY) }) {
            const QString option = QString::fromLatin1(name);
            QString error;
            if (!parser.isSet(option))
                continue;
            if (const auto value = valueOf(parser, option, printerScale(member), *job, &error))
                job->settings.*member = value->toDouble();
            else
                return error;
        }
        QString error;
        const auto dpi = parser.isSet(QStringLiteral("dpi"))
            ? valueOf(parser, QStringLiteral("dpi"), whole(72, 2400), *job, &error)
            : QVariant(600);
        job->settings.dpi = dpi ? dpi->toInt() : 0;
        return error;
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

// -o, --format and what goes with the output: the job's output, or what is wrong.
QString readOutput(const QCommandLineParser &parser, RenderJob &job)
{
    const auto given
        = [&parser](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    const bool describe = given("describe"), check = given("check");
    job.decodeTable = parser.value(QStringLiteral("decode-table"));
    if (given("decode-table") && DecodeTable::formatOf(job.decodeTable).isEmpty())
        return QStringLiteral("--decode-table: a table is written as .csv, .json or .h, not \"%1\"")
            .arg(job.decodeTable);
    job.saveDesign = parser.value(QStringLiteral("save-design"));
    if (given("save-design") && job.saveDesign.isEmpty())
        return QStringLiteral("--save-design needs a file name, not an empty one");
    if (!given("output") && !describe && !check && job.decodeTable.isEmpty()
        && job.saveDesign.isEmpty())
        return QStringLiteral("-o/--output FILE is required");
    if (job.saveDesign == QLatin1String("-")
        && (describe || check || parser.value(QStringLiteral("output")) == QLatin1String("-")))
        return QStringLiteral("--save-design - writes to standard output, which holds one thing: "
                              "write the design or the other by name");
    job.fileName = parser.value(QStringLiteral("output"));
    // An empty variable in a script must not look like success.
    if (given("output") && job.fileName.isEmpty())
        return QStringLiteral("-o/--output needs a file name, not an empty one");
    const bool toStandardOutput = job.fileName == QLatin1String("-");
    if (toStandardOutput && (describe || check))
        return QStringLiteral("--%1 prints on standard output, which -o - fills with the file; "
                              "write the file by name")
            .arg(describe ? QStringLiteral("describe") : QStringLiteral("check"));
    if (given("format") && !toStandardOutput)
        return QStringLiteral("--format goes with -o - (standard output); a file's suffix picks "
                              "its format");
    if (toStandardOutput && !given("format"))
        return QStringLiteral("-o - writes to standard output and needs --format");
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
        return QStringLiteral("%1: unknown format %2; use %3")
            .arg(toStandardOutput ? QStringLiteral("--format") : QStringLiteral("--output"),
                quoted(suffix),
                Export::knownSuffixes() + QStringLiteral(" (.stl or .3mf: a solid, with --cut)"));
    } else {
        job.format = *format;
        switch (*format) {
        case Export::Format::Pdf:
            job.output = given("vector") ? RenderJob::Output::VectorPdf : RenderJob::Output::Pdf;
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
    if (const QString problem = broken(outputRules, parser, job); !problem.isEmpty())
        return problem;
    if (given("page")) {
        QString why;
        const auto page
            = PrintTarget::pageOfWord(parser.value(QStringLiteral("page")), &why, QSizeF(50, 50));
        if (!page)
            return QStringLiteral("--page: %1, not %2")
                .arg(why, quoted(parser.value(QStringLiteral("page"))));
        job.settings.pdfPageWidthMm = page->sizeMm.width();
        job.settings.pdfPageHeightMm = page->sizeMm.height();
    }
    if (given("pcb-layer"))
        return KicadExport::checkLayers(
            parser.value(QStringLiteral("pcb-layer")).split(QLatin1Char(',')), &job.pcbLayers);
    return QString();
}

// --design: the file's design as the values the options start from.
QString readDesign(const QCommandLineParser &parser, RenderJob &job)
{
    const QString name = parser.value(QStringLiteral("design"));
    if (!parser.isSet(QStringLiteral("design")))
        return QString();
    QString error;
    const std::optional<QJsonObject> kept = DesignFile::read(name, &error);
    if (!kept)
        return QStringLiteral("--design: ") + error;
    // --shape and --type (and --cpr) act as the window's switches: the code as on the form
    // follows the shape, and a new type starts at its own count (4 bits, 16 pairs).
    QJsonObject map = *kept;
    const QString shape = parser.value(QStringLiteral("shape")).toLower();
    const QString type = parser.value(QStringLiteral("type")).toLower();
    const bool cpr = parser.isSet(QStringLiteral("cpr"));
    if (cpr || shape == QLatin1String("disc") || shape == QLatin1String("bar"))
        map.insert(QStringLiteral("disc"), cpr || shape == QLatin1String("disc"));
    const bool relative = cpr || type == QLatin1String("relative");
    if ((relative || type == QLatin1String("absolute"))
        && relative != map.value(QStringLiteral("relative")).toBool()) {
        map.insert(QStringLiteral("relative"), relative);
        map.insert(QStringLiteral("count"), relative ? 16 : 4);
    }
    const std::optional<Design> design = DesignFile::toDesign(map, Design(), &error);
    if (!design)
        return QStringLiteral("--design: %1 has a bad value: %2")
            .arg(QDir::toNativeSeparators(name), error);
    job.settings = design->settings;
    job.antialias = design->antialias;
    job.transparent = design->transparent;
    job.apertureMm = design->apertureMm;
    job.designKept = *kept;
    return QString();
}

// The printer's scale and ink spread: the options, and --printer-profile where they are not given.
QString readPrinter(const QCommandLineParser &parser, RenderJob &job)
{
    for (const char *name : { "scale-x", "scale-y" })
        if (parser.isSet(QString::fromLatin1(name)) && cutter(job))
            return Problems::printerScaleForCutter(QStringLiteral("--") + QLatin1String(name));
    if (!parser.isSet(QStringLiteral("printer-profile")))
        return QString();
    job.profile = parser.value(QStringLiteral("printer-profile"));
    QString problem;
    const std::optional<PrinterProfile::Profile> profile
        = PrinterProfile::load(job.profile, &problem);
    if (!profile)
        return problem;
    if (cutter(job))
        return Problems::printerScaleForCutter(QStringLiteral("--printer-profile"));
    EncoderSettings &s = job.settings;
    if (!parser.isSet(QStringLiteral("scale-x")))
        s.scaleX = profile->scaleX;
    if (!parser.isSet(QStringLiteral("scale-y")))
        s.scaleY = profile->scaleY;
    if (!parser.isSet(QStringLiteral("mark-bias")) && profile->markBiasMm)
        s.markBiasMm = *profile->markBiasMm;
    return QString();
}

// What the pattern's own checks refuse, for the output asked for.
QString patternProblem(const RenderJob &job)
{
    const EncoderSettings &s = job.settings;
    for (const QString &problem : { Problems::singleTrack(s), Problems::pseudoRandom(s),
             Problems::oddGrayRound(s), trackRoomProblem(s), markBiasProblem(s), mountingProblem(s),
             Fabrication::settingsProblem(s), Problems::stripIndex(s),
             outlines(job) ? Problems::vector(s) : QString(), Problems::classicPixels(s) })
        if (!problem.isEmpty())
            return problem;
    const QSize size = patternImageSize(s);
    if (pixels(job) && (size.width() <= 0 || size.height() <= 0))
        return QStringLiteral("the pattern comes out %1 x %2 pixels at %3 dpi; raise --dpi or the "
                              "size")
            .arg(size.width())
            .arg(size.height())
            .arg(s.dpi);
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
    parser.addOption(help);
    parser.addOption(version);
    for (const OptionRow &option : optionTable())
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(option.names).split(QLatin1Char('|')),
                QString::fromUtf8(option.help),
                option.value ? QString::fromUtf8(option.value) : QString()));

    ParseResult result;
    const auto usageError = [&result](const QString &message) {
        result.status = ParseResult::Status::UsageError;
        result.text = message;
        return result;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(help) || parser.isSet(version)) {
        result.status
            = parser.isSet(help) ? ParseResult::Status::Help : ParseResult::Status::Version;
        result.text = parser.isSet(help) ? parser.helpText()
                                         : QCoreApplication::applicationName() + QLatin1Char(' ')
                + QCoreApplication::applicationVersion();
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument %1 (see --help)")
                              .arg(quoted(parser.positionalArguments().first())));

    const auto given
        = [&parser](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    RenderJob &job = result.job;
    EncoderSettings &s = job.settings;
    if (given("calibration-target") || given("measure") || given("measured-x")
        || given("measured-y")) {
        const QString problem = readCalibrationJob(parser, &job);
        return problem.isEmpty() ? result : usageError(problem);
    }
    if (given("scan-dpi"))
        return usageError(QStringLiteral("--scan-dpi goes with --measure"));
    // The design first: the options change its values.
    for (const QString &problem : { readDesign(parser, job), readOutput(parser, job) })
        if (!problem.isEmpty())
            return usageError(problem);

    // The shape and type first: what the other options mean depends on them.
    for (const char *name : { "shape", "type" })
        if (const QString problem = readOption(parser, option(name), job); !problem.isEmpty())
            return usageError(problem);
    if (given("cpr")) {
        if ((given("shape") && s.shape != Shape::Disc)
            || (given("type") && s.type != EncoderType::Relative))
            return usageError(QStringLiteral("--cpr counts a relative disc's pairs; it goes with "
                                             "--shape disc --type relative"));
        s.shape = Shape::Disc;
        s.type = EncoderType::Relative;
    }
    if (const QString problem = broken(countRules, parser, job); !problem.isEmpty())
        return usageError(problem);
    // Without a design, relative patterns start at 16 pairs; discs in Gray code, strips in
    // binary, as the window.
    if (s.type == EncoderType::Relative && !given("design"))
        s.pairs = 16;
    if (!given("design"))
        s.code = s.shape == Shape::Disc ? Code::Gray : Code::Binary;

    // Every plain value (the shape and type again, to the same).
    for (const OptionRow &option : optionTable())
        if (const QString problem = readOption(parser, option, job); !problem.isEmpty())
            return usageError(problem);
    if (s.mask)
        s.maskApertureMm = job.apertureMm;
    if (s.code == Code::SingleTrack && s.shape == Shape::Disc && s.positions == 0 && !given("bits"))
        s.positions = 360;
    QString problem = readPrinter(parser, job);
    if (problem.isEmpty())
        problem = broken(rules, parser, job);
    if (problem.isEmpty())
        problem = sensorGeometry(parser, job);
    if (problem.isEmpty())
        problem = broken(codeRules, parser, job);
    if (problem.isEmpty())
        problem = patternProblem(job);
    return problem.isEmpty() ? result : usageError(problem);
}
