// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "printerprofile.h"

#include "outputfile.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>

namespace PrinterProfile {

namespace {

// Scales to a thousandth of a per cent, biases to a micrometre: finer than any print.
QString scaleText(double f)
{
    return QString::number(std::round(f * 1e5) / 1e5, 'f', 5);
}

QString biasText(double mm)
{
    const double rounded = std::round(mm * 1000) / 1000;
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', 3);
}

QString percent(double f)
{
    return QString::number(f * 100, 'f', 3) + QStringLiteral(" %");
}

// The range --scale-x takes; a print further out was scaled to fit the page.
bool plausible(double f)
{
    return f >= 0.9 && f <= 1.1;
}

QString farOut(double x, double y)
{
    return QStringLiteral("the print measures %1 across and %2 down, outside 90-110 %: was it "
                          "printed fitted to the page instead of at 100 %?")
        .arg(percent(x), percent(y));
}

}

std::optional<Profile> load(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Can't read %1: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    Profile p;
    bool hasX = false, hasY = false;
    int number = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++number;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto bad = [&](const QString &what) {
            *error = QStringLiteral("%1, line %2: %3").arg(fileName).arg(number).arg(what);
            return std::nullopt;
        };
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return bad(QStringLiteral("not a \"key = value\" line"));
        const QString key = line.left(equals).trimmed().toLower();
        bool ok = false;
        const double value = line.mid(equals + 1).trimmed().toDouble(&ok);
        if (key == QLatin1String("scale-x") || key == QLatin1String("scale-y")) {
            if (!ok || !plausible(value))
                return bad(QStringLiteral("%1 takes a printer scale from 0.9 to 1.1").arg(key));
            (key.endsWith(QLatin1Char('x')) ? p.scaleX : p.scaleY) = value;
            (key.endsWith(QLatin1Char('x')) ? hasX : hasY) = true;
        } else if (key == QLatin1String("mark-bias")) {
            if (!ok || std::fabs(value) > 0.5)
                return bad(QStringLiteral("mark-bias takes a length from -0.5 to 0.5 mm"));
            p.markBiasMm = value;
        } else {
            return bad(QStringLiteral("unknown key \"%1\" (scale-x, scale-y and mark-bias are "
                                      "known)")
                           .arg(key));
        }
    }
    if (!hasX || !hasY) {
        *error = QStringLiteral("%1: a printer profile gives scale-x and scale-y").arg(fileName);
        return std::nullopt;
    }
    return p;
}

QByteArray text(const Profile &profile, const QStringList &notes)
{
    QString out
        = QStringLiteral("# Quvelta printer profile: use it with --printer-profile FILE.\n");
    for (const QString &note : notes)
        out += QStringLiteral("# ") + note + QLatin1Char('\n');
    out += QStringLiteral("scale-x = %1\nscale-y = %2\n")
               .arg(scaleText(profile.scaleX), scaleText(profile.scaleY));
    if (profile.markBiasMm)
        out += QStringLiteral("mark-bias = %1\n").arg(biasText(*profile.markBiasMm));
    return out.toUtf8();
}

bool save(const Profile &profile, const QStringList &notes, const QString &fileName, QString *error)
{
    return saveFile(text(profile, notes), fileName, error);
}

QString options(const Profile &profile)
{
    QString text = QStringLiteral("--scale-x %1 --scale-y %2")
                       .arg(scaleText(profile.scaleX), scaleText(profile.scaleY));
    if (profile.markBiasMm)
        text += QStringLiteral(" --mark-bias %1").arg(biasText(*profile.markBiasMm));
    return text;
}

namespace {

// An angle to `decimals` places, with no minus on a zero.
QString angle(double degrees, int decimals)
{
    const double unit = std::pow(10.0, -decimals);
    return QString::number(std::fabs(degrees) < unit / 2 ? 0.0 : degrees, 'f', decimals);
}

QStringList describe(const ScanMeasure::Reading &r, const QString &name)
{
    QStringList lines;
    lines << QStringLiteral("%1: %2 target at %3 x %4 dpi, %5, tilted %6 degrees%7")
                 .arg(name, r.target.page.name)
                 .arg(r.dpi.x(), 0, 'g', 5)
                 .arg(r.dpi.y(), 0, 'g', 5)
                 .arg(r.turned ? QStringLiteral("turned a quarter (across runs down the scan)")
                               : QStringLiteral("upright"))
                 .arg(angle(r.tiltDegrees, 2))
                 .arg(r.keystone > 0.001
                         ? QStringLiteral(", a perspective of %1 % straightened by the corner "
                                          "marks")
                               .arg(r.keystone * 100, 0, 'f', 1)
                         : QString());
    const auto ruler = [&](const char *what, const PrintTarget::Ruler &nominal,
                           const ScanMeasure::RulerReading &m) {
        lines << QStringLiteral("  %1 %2 mm ruler prints %3 mm: %4 (%5 ticks, fit %6 mm RMS)")
                     .arg(QLatin1String(what))
                     .arg(nominal.lengthMm)
                     .arg(nominal.lengthMm * m.scale, 0, 'f', 3)
                     .arg(percent(m.scale))
                     .arg(m.ticks)
                     .arg(m.rmsMm, 0, 'f', 4);
    };
    ruler("across: the", r.target.across, r.across);
    ruler("down: the", r.target.down, r.down);
    // Ticks a good scan places to a few micrometres; far more is a blurred or bent sheet.
    if (std::max(r.across.rmsMm, r.down.rmsMm) > 0.05)
        lines << QStringLiteral("  warning: the ticks lie up to %1 mm off a straight even ruler; "
                                "scan the sheet flat and sharp for a better reading")
                     .arg(std::max(r.across.rmsMm, r.down.rmsMm), 0, 'f', 2);
    lines << QStringLiteral("  45 degrees: %1 and %2; the printed axes are square to %3 degrees")
                 .arg(percent(r.diagonalDown.scale), percent(r.diagonalUp.scale))
                 .arg(angle(r.squareDegrees, 3));
    QStringList bars, slits;
    for (const ScanMeasure::PatchReading &p : r.patches)
        (p.mark ? bars : slits)
            << QStringLiteral("%1>%2").arg(p.nominalMm).arg(p.printedMm, 0, 'f', 3);
    lines << QStringLiteral("  bars (drawn>printed mm): ") + bars.join(QLatin1Char(' '));
    lines << QStringLiteral("  slits (drawn>printed mm): ") + slits.join(QLatin1Char(' '));
    lines << QStringLiteral("  ink spread: bars print %1 mm %2, slits as much %3")
                 .arg(std::fabs(r.spreadMm), 0, 'f', 3)
                 .arg(r.spreadMm >= 0 ? QStringLiteral("wider") : QStringLiteral("narrower"))
                 .arg(r.spreadMm >= 0 ? QStringLiteral("narrower") : QStringLiteral("wider"));
    return lines;
}

void conclude(Result *result)
{
    const Profile &p = result->profile;
    result->report << QStringLiteral("The printer prints %1 across and %2 down%3.")
                          .arg(percent(p.scaleX), percent(p.scaleY))
                          .arg(p.markBiasMm
                                  ? QStringLiteral(", marks %1 mm %2")
                                        .arg(std::fabs(*p.markBiasMm), 0, 'f', 3)
                                        .arg(*p.markBiasMm <= 0 ? QStringLiteral("wider")
                                                                : QStringLiteral("narrower"))
                                  : QString());
    result->report << QStringLiteral("To print true: ") + options(p);
}

}

std::optional<Result> fromScans(
    const std::vector<ScanMeasure::Reading> &readings, const QStringList &names, QString *error)
{
    Result result;
    double x = 1, y = 1, spread = 0;
    for (size_t i = 0; i < readings.size(); ++i) {
        result.report << describe(readings[i], names.value(int(i)));
        spread += readings[i].spreadMm / double(readings.size());
    }
    if (readings.size() == 1) {
        x = readings[0].across.scale;
        y = readings[0].down.scale;
        result.report << QStringLiteral("A scanner has its own error, often 0.1-0.5 % down the "
                                        "scan: a second scan of the sheet turned 90 degrees "
                                        "(--measure A --measure B) cancels its x/y part.");
    } else {
        const ScanMeasure::Reading &a = readings[0], &b = readings[1];
        if (a.target.page.sizeMm != b.target.page.sizeMm) {
            *error = QStringLiteral("the two scans show different targets (%1 and %2); scan "
                                    "the same sheet twice")
                         .arg(a.target.page.name, b.target.page.name);
            return std::nullopt;
        }
        // The geometric mean of each ruler over the two scans: the scanner's x/y difference
        // goes once each way and cancels; its mean scale, as in any scan, stays.
        x = std::sqrt(a.across.scale * b.across.scale);
        y = std::sqrt(a.down.scale * b.down.scale);
        if (a.turned == b.turned) {
            result.report << QStringLiteral("The two scans lie the same way round, so the "
                                            "scanner's own x/y error stays in: turn the sheet "
                                            "90 degrees for the second scan.");
        } else {
            const ScanMeasure::Reading &upright = a.turned ? b : a, &turned = a.turned ? a : b;
            const double scanner = std::sqrt(upright.across.scale / turned.across.scale
                * turned.down.scale / upright.down.scale);
            result.report << QStringLiteral("The sheet turned 90 degrees between the scans: the "
                                            "scanner's own x/y error (its x reads %1 % %2 than "
                                            "its y) cancels out of the printer's; the scanner's "
                                            "mean scale stays, as in any scan.")
                                 .arg(std::fabs(scanner - 1) * 100, 0, 'f', 3)
                                 .arg(scanner >= 1 ? QStringLiteral("longer")
                                                   : QStringLiteral("shorter"));
        }
    }
    if (!plausible(x) || !plausible(y)) {
        *error = farOut(x, y);
        return std::nullopt;
    }
    result.profile.scaleX = x;
    result.profile.scaleY = y;
    if (std::fabs(spread) > 0.5) {
        *error = QStringLiteral("the bars print %1 mm wider than drawn, more than --mark-bias "
                                "can take back")
                     .arg(spread, 0, 'f', 3);
        return std::nullopt;
    }
    result.profile.markBiasMm = -spread;
    conclude(&result);
    return result;
}

std::optional<Result> fromRulers(
    const PrintTarget::Layout &target, double acrossMm, double downMm, QString *error)
{
    Result result;
    const double x = acrossMm / target.across.lengthMm, y = downMm / target.down.lengthMm;
    if (!plausible(x) || !plausible(y)) {
        *error = farOut(x, y);
        return std::nullopt;
    }
    result.profile.scaleX = x;
    result.profile.scaleY = y;
    result.report << QStringLiteral("%1 target: the %2 mm ruler across measured %3 mm, the %4 mm "
                                    "ruler down %5 mm.")
                         .arg(target.page.name)
                         .arg(target.across.lengthMm)
                         .arg(acrossMm)
                         .arg(target.down.lengthMm)
                         .arg(downMm);
    result.report << QStringLiteral("A ruler reads to about 0.2 mm, %1 % over these lengths; a "
                                    "scan (--measure) reads to 0.02 % and the ink spread too.")
                         .arg(20.0 / std::min(target.across.lengthMm, target.down.lengthMm), 0, 'f',
                             2);
    conclude(&result);
    return result;
}

}
