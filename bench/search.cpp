// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "search.h"

#include "exporter.h"
#include "preciseraster.h"
#include "renderoptions.h"

#include <QMap>

#include <cmath>

namespace Search {

namespace {

// The options as a map from name to value ("" for a switch), so that one can be drawn again.
using Options = QMap<QString, QString>;

class Draw
{
public:
    explicit Draw(std::mt19937 &random) : random(random) { }

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; }
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    // Mostly near the top of the range: large images are where the time goes.
    int high(int low, int top) { return chance(0.6) ? between((low + 3 * top) / 4, top) : between(low, top); }
    // Evenly over the orders of magnitude.
    int logarithmic(int low, int top)
    {
        const double l = std::log(double(low));
        const double t = std::log(double(top));
        return int(std::lround(std::exp(std::uniform_real_distribution<double>(l, t)(random))));
    }
    double length(double low, double top)
    {
        const double l = std::log(low);
        const double t = std::log(top);
        return std::round(std::exp(std::uniform_real_distribution<double>(l, t)(random)) * 100)
            / 100;
    }
    template<typename T>
    T pick(std::initializer_list<T> items)
    {
        return *(items.begin() + between(0, int(items.size()) - 1));
    }
    QString colour()
    {
        return QStringLiteral("#%1").arg(between(0, 0xffffff), 6, 16, QLatin1Char('0'));
    }

private:
    std::mt19937 &random;
};

// Draws the option group `which` (0 .. groups - 1) into `o`.
constexpr int groups = 9;
void drawGroup(Options &o, int which, Draw &d, Output output)
{
    const bool disc = o.value(QStringLiteral("--shape")) == QLatin1String("disc");
    switch (which) {
    case 0: // shape and size
        for (const char *k : { "--shape", "--width", "--height", "--outer-radius", "--inner-radius" })
            o.remove(QLatin1String(k));
        if (d.chance(0.5)) {
            o[QStringLiteral("--shape")] = QStringLiteral("disc");
            const int outer = d.high(2, 100);
            o[QStringLiteral("--outer-radius")] = QString::number(outer);
            if (d.chance(0.5))
                o[QStringLiteral("--inner-radius")] = QString::number(d.between(0, outer - 1));
        } else {
            // Now and then a long strip, up to the longest the program takes.
            o[QStringLiteral("--width")] = QString::number(
                d.chance(0.1) ? d.logarithmic(200, 2000) : d.high(5, 200));
            o[QStringLiteral("--height")] = QString::number(d.high(2, 200));
        }
        break;
    case 1: // the code
        for (const char *k : { "--type", "--bits", "--positions", "--code", "--pairs", "--quadrature",
                 "--index", "--index-width", "--bit-order" })
            o.remove(QLatin1String(k));
        if (d.chance(0.4)) {
            o[QStringLiteral("--type")] = QStringLiteral("relative");
            o[QStringLiteral("--pairs")] = QString::number(d.logarithmic(1, 65536));
            if (d.chance(0.35))
                o[QStringLiteral("--quadrature")] = QString();
            if (d.chance(0.2)) {
                o[QStringLiteral("--index")] = QString();
                o[QStringLiteral("--index-width")] = QString::number(d.pick({ 90, 180, 360 }));
            }
        } else {
            if (d.chance(0.25))
                o[QStringLiteral("--positions")] = QString::number(d.logarithmic(2, 65536));
            else
                o[QStringLiteral("--bits")] = QString::number(d.high(1, 16));
            if (d.chance(0.5))
                o[QStringLiteral("--code")] = d.chance(0.5) ? QStringLiteral("binary")
                                                            : QStringLiteral("gray");
            if (disc && d.chance(0.08)) {
                o.remove(QStringLiteral("--bits"));
                o[QStringLiteral("--code")] = QStringLiteral("single-track");
                o[QStringLiteral("--positions")] = QStringLiteral("360");
            }
            if (d.chance(0.5))
                o[QStringLiteral("--bit-order")] = QStringLiteral("msb-lsb");
        }
        break;
    case 2: // resolution
        o[QStringLiteral("--dpi")] = QString::number(d.high(50, 1200));
        break;
    case 3: // border lines
        o.remove(QStringLiteral("--border"));
        o.remove(QStringLiteral("--no-border"));
        if (d.chance(0.2))
            o[QStringLiteral("--no-border")] = QString();
        else if (d.chance(0.8))
            o[QStringLiteral("--border")] = QString::number(d.length(0.01, 5));
        break;
    case 4: // edges
        o.remove(QStringLiteral("--no-antialias"));
        o.remove(QStringLiteral("--classic-pixels"));
        if (d.chance(0.3))
            o[QStringLiteral("--no-antialias")] = QString();
        if (output == Output::Raster && d.chance(0.1))
            o[QStringLiteral("--classic-pixels")] = QString();
        break;
    case 5: // colours
        o.remove(QStringLiteral("--foreground"));
        o.remove(QStringLiteral("--background"));
        if (d.chance(0.3)) {
            o[QStringLiteral("--foreground")] = d.colour();
            o[QStringLiteral("--background")] = d.colour();
        }
        break;
    case 6: // marks beside the pattern
        for (const char *k : { "--sensor-marks", "--calibration", "--no-center-mark" })
            o.remove(QLatin1String(k));
        if (d.chance(0.1))
            o[QStringLiteral("--sensor-marks")] = QString();
        if (d.chance(0.1))
            o[QStringLiteral("--calibration")] = QString();
        if (d.chance(0.2))
            o[QStringLiteral("--no-center-mark")] = QString();
        break;
    case 7: // mark bias
        o.remove(QStringLiteral("--mark-bias"));
        if (d.chance(0.1))
            o[QStringLiteral("--mark-bias")] = QString::number(d.chance(0.5) ? -0.02 : 0.02);
        break;
    case 8: // the format
        o.remove(QStringLiteral("--vector"));
        o.remove(QStringLiteral("--transparent"));
        if (output == Output::Raster) {
            o[QStringLiteral("suffix")] = d.pick({ QStringLiteral("png"), QStringLiteral("jpg"),
                QStringLiteral("bmp"), QStringLiteral("tif"), QStringLiteral("pdf") });
        } else {
            o[QStringLiteral("suffix")]
                = d.pick({ QStringLiteral("svg"), QStringLiteral("dxf"), QStringLiteral("pdf") });
            if (o[QStringLiteral("suffix")] == QLatin1String("pdf"))
                o[QStringLiteral("--vector")] = QString();
            if (d.chance(0.5))
                o[QStringLiteral("--transparent")] = QString();
        }
        break;
    }
}

Setting toSetting(const Options &o)
{
    Setting s;
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() == QLatin1String("suffix")) {
            s.suffix = it.value();
            continue;
        }
        s.arguments << it.key();
        if (!it.value().isNull())
            s.arguments << it.value();
    }
    return s;
}

Options toOptions(const Setting &s)
{
    Options o;
    o[QStringLiteral("suffix")] = s.suffix;
    for (int i = 0; i < s.arguments.size(); ++i) {
        const QString &key = s.arguments[i];
        const bool value = i + 1 < s.arguments.size() && !s.arguments[i + 1].startsWith(QLatin1String("--"));
        o[key] = value ? s.arguments[++i] : QString();
    }
    return o;
}

bool accepted(const Setting &s)
{
    const ParseResult parsed = parseRenderArguments(
        QStringList { QStringLiteral("quvelta-render") } << s.withOutput(QStringLiteral("x.") + s.suffix));
    if (parsed.status != ParseResult::Status::Run)
        return false;
    // What the writer refuses before drawing (a JPEG past 65,500 pixels a side) is not timed.
    return parsed.job.output != RenderJob::Output::Image
        || Export::sizeProblem(parsed.job.format, patternImageSize(parsed.job.settings)).isEmpty();
}

}

QString Setting::commandLine() const
{
    return QStringLiteral("quvelta-render ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(" -o o.")
        + suffix;
}

std::vector<Setting> randomSettings(unsigned seed, int count, Output output)
{
    std::mt19937 random(seed);
    Draw d(random);
    std::vector<Setting> settings;
    while (int(settings.size()) < count) {
        Options o;
        for (int g = 0; g < groups; ++g)
            drawGroup(o, g, d, output);
        const Setting s = toSetting(o);
        if (accepted(s))
            settings.push_back(s);
    }
    return settings;
}

Setting neighbour(const Setting &from, std::mt19937 &random, Output output)
{
    Draw d(random);
    for (int attempt = 0; attempt < 100; ++attempt) {
        Options o = toOptions(from);
        drawGroup(o, d.between(0, groups - 1), d, output);
        const Setting s = toSetting(o);
        if (accepted(s))
            return s;
    }
    return from;
}

}
