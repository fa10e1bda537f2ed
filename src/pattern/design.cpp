// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "design.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cmath>
#include <vector>

namespace {

const QString formatName = QStringLiteral("quvelta-design");

QString tr(const char *text)
{
    return QCoreApplication::translate("DesignFile", text);
}

// What a key holds: its JSON type, and for numbers the range and the decimals the settings take
// (-1: any).
struct Key
{
    enum class Kind { Switch, Whole, Number, Colour, Cut };
    const char *name;
    Kind kind;
    double low = 0;
    double high = 0;
    int decimals = -1;
};

using K = Key::Kind;

// The window's controls.
const std::vector<Key> windowKeys {
    { "disc", K::Switch },
    { "relative", K::Switch },
    { "count", K::Whole, 1, 65536 },
    { "msbFirst", K::Switch },
    { "grayCode", K::Switch },
    { "width", K::Number, 1, 2000, 3 },
    { "height", K::Number, 1, 200, 3 },
    { "outerRadius", K::Number, 1, 100, 3 },
    { "innerRadius", K::Number, 0, 100, 3 },
    { "border", K::Switch },
    { "borderWidth", K::Number, 0.01, 5, 2 },
    { "centerMark", K::Switch },
    { "dpi", K::Whole, 10, 1200 },
    { "highQuality", K::Switch },
    { "foreground", K::Colour },
    { "background", K::Colour },
    { "positionsOn", K::Switch },
    { "positions", K::Whole, 2, 65536 },
    // As the window's list: as on the form, binary, Gray, single-track; then pseudo-random.
    { "code", K::Whole, 0, 4 },
    { "quadrature", K::Switch },
    { "index", K::Switch },
    { "indexWidth", K::Whole, 90, 360 },
    { "sensorMarks", K::Switch },
    { "classicPixels", K::Switch },
    { "ruler", K::Switch },
    { "markBias", K::Number, -0.5, 0.5, 3 },
    { "scaleX", K::Number, 0.9, 1.1 },
    { "scaleY", K::Number, 0.9, 1.1 },
    { "transparent", K::Switch },
    { "aperture", K::Number, 0, 10, 3 },
};

// What only the command line sets, written where it is not the default.
const std::vector<Key> lineKeys {
    { "sensors", K::Whole, 0, 32 },
    { "clock", K::Switch },
    { "counterClockwise", K::Switch },
    { "invert", K::Switch },
    { "bore", K::Number, 0, 200, 2 },
    { "dFlat", K::Number, 0, 100, 2 },
    { "holes", K::Whole, 0, 64 },
    { "holeDiameter", K::Number, 0, 200, 2 },
    { "holePitch", K::Number, 0, 200, 2 },
    { "cut", K::Cut },
    { "rim", K::Number, 0, 50, 3 },
    { "hub", K::Number, 0, 100, 3 },
    { "minWeb", K::Number, 0.05, 10, 3 },
    { "bridge", K::Number, 0, 10, 3 },
    { "kerf", K::Number, 0, 2, 3 },
    { "mask", K::Switch },
};

const char *const cutWords[] = { "none", "marks", "gaps" };

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// Why `value` does not fit `key`, or nothing.
QString problem(const Key &key, const QJsonValue &value)
{
    switch (key.kind) {
    case K::Switch:
        return value.isBool() ? QString() : tr("is not true or false");
    case K::Colour: {
        const QColor colour = QColor::fromString(value.toString());
        if (!value.isString() || !colour.isValid())
            return tr("is not a colour such as #ff204060");
        return colour.alpha() == 255 ? QString() : tr("%1 is not opaque").arg(value.toString());
    }
    case K::Cut:
        for (const char *word : cutWords)
            if (value.toString() == QLatin1String(word))
                return QString();
        return tr("is not \"none\", \"marks\" or \"gaps\"");
    default:
        break;
    }
    const double real = value.toDouble();
    if (!value.isDouble() || !std::isfinite(real))
        return key.kind == K::Whole ? tr("is not a whole number") : tr("is not a number");
    if (key.kind == K::Whole && std::floor(real) != real)
        return tr("is not a whole number");
    if (real < key.low || real > key.high)
        return tr("%1 is not between %2 and %3")
            .arg(number(real), number(key.low), number(key.high));
    const double step = std::pow(10.0, -key.decimals);
    if (key.decimals >= 0 && std::abs(std::round(real / step) * step - real) > step * 1e-6)
        return tr("%1 has more than %2 decimals").arg(number(real)).arg(key.decimals);
    return QString();
}

// The design a complete settings object gives, read as the window reads its controls.
Design designOf(const QJsonObject &map)
{
    const auto on = [&map](const char *key) { return map.value(QLatin1String(key)).toBool(); };
    const auto real = [&map](const char *key) { return map.value(QLatin1String(key)).toDouble(); };
    const auto whole = [&](const char *key) { return int(real(key)); };
    Design design;
    EncoderSettings &s = design.settings;
    s.shape = on("disc") ? Shape::Disc : Shape::Strip;
    s.type = on("relative") ? EncoderType::Relative : EncoderType::Absolute;
    // The Gray box speaks only for discs: the form draws strips in binary.
    s.code = on("grayCode") && s.shape == Shape::Disc ? Code::Gray : Code::Binary;
    s.bitOrder = on("msbFirst") ? BitOrder::MsbToLsb : BitOrder::LsbToMsb;
    s.bits = s.pairs = whole("count");
    s.widthMm = real("width");
    s.heightMm = real("height");
    s.outerRadiusMm = real("outerRadius");
    s.innerRadiusMm = real("innerRadius");
    s.border = on("border");
    s.borderWidthMm = real("borderWidth");
    s.centerMark = on("centerMark");
    s.dpi = whole("dpi");
    s.foreground = QColor::fromString(map.value(QLatin1String("foreground")).toString());
    s.background = QColor::fromString(map.value(QLatin1String("background")).toString());
    if (s.type == EncoderType::Absolute) {
        if (on("positionsOn"))
            s.positions = whole("positions");
        const Code listed[]
            = { s.code, Code::Binary, Code::Gray, Code::SingleTrack, Code::PseudoRandom };
        s.code = listed[whole("code")];
        if (s.code == Code::SingleTrack && s.positions == 0)
            s.positions = 360;
    } else {
        s.quadrature = on("quadrature");
        s.index = on("index");
        s.indexWidthDegrees = real("indexWidth");
    }
    s.sensorMarks = on("sensorMarks");
    s.classicPixels = on("classicPixels");
    s.calibration = on("ruler");
    s.markBiasMm = real("markBias");
    s.scaleX = real("scaleX");
    s.scaleY = real("scaleY");
    design.antialias = on("highQuality");
    design.transparent = on("transparent");
    design.apertureMm = real("aperture");

    s.sensors = whole("sensors");
    s.clock = on("clock");
    s.counterClockwise = on("counterClockwise");
    s.invert = on("invert");
    s.boreMm = real("bore");
    s.dFlatMm = real("dFlat");
    s.holeCount = whole("holes");
    s.holeDiameterMm = real("holeDiameter");
    s.holePitchMm = real("holePitch");
    const QString cut = map.value(QLatin1String("cut")).toString();
    s.cut = cut == QLatin1String("marks") ? EncoderSettings::Cut::Marks
        : cut == QLatin1String("gaps")    ? EncoderSettings::Cut::Gaps
                                          : EncoderSettings::Cut::None;
    s.rimMm = real("rim");
    s.hubMm = real("hub");
    s.minWebMm = real("minWeb");
    s.bridgeMm = real("bridge");
    s.kerfMm = real("kerf");
    s.mask = on("mask");
    if (s.mask)
        s.maskApertureMm = design.apertureMm;
    return design;
}

// The settings object of a design over `kept`; `all`: with every key beyond the window too.
QJsonObject mapOf(const Design &design, const QJsonObject &kept, bool all)
{
    const EncoderSettings &s = design.settings;
    const bool disc = s.shape == Shape::Disc;
    const bool absolute = s.type == EncoderType::Absolute;
    // The form's code (binary, or Gray on a disc) as the form's Gray box; the rest in the list.
    const int listed = s.code == Code::SingleTrack ? 3
        : s.code == Code::PseudoRandom             ? 4
        : s.code == Code::Gray && !disc            ? 2
                                                   : 0;
    QJsonObject map = kept;
    const auto set = [&map](const char *key, const QJsonValue &value) {
        map.insert(QLatin1String(key), value);
    };
    set("disc", disc);
    set("relative", !absolute);
    set("count", absolute ? s.bits : s.pairs);
    set("msbFirst", s.bitOrder == BitOrder::MsbToLsb);
    set("grayCode", s.code == Code::Gray);
    set("width", s.widthMm);
    set("height", s.heightMm);
    set("outerRadius", s.outerRadiusMm);
    set("innerRadius", s.innerRadiusMm);
    set("border", s.border);
    set("borderWidth", s.borderWidthMm);
    set("centerMark", s.centerMark);
    set("dpi", s.dpi);
    set("highQuality", design.antialias);
    set("foreground", s.foreground.name(QColor::HexArgb));
    set("background", s.background.name(QColor::HexArgb));
    set("positionsOn", s.positions != 0);
    // Positions not asked for keep the window's count from the file it came from.
    if (s.positions != 0 || !map.contains(QLatin1String("positions")))
        set("positions", s.positions != 0 ? s.positions : 360);
    set("code", listed);
    set("quadrature", s.quadrature);
    set("index", s.index);
    set("indexWidth", s.indexWidthDegrees);
    set("sensorMarks", s.sensorMarks);
    set("classicPixels", s.classicPixels);
    set("ruler", s.calibration);
    set("markBias", s.markBiasMm);
    set("scaleX", s.scaleX);
    set("scaleY", s.scaleY);
    set("transparent", design.transparent);
    set("aperture", design.apertureMm);

    // Beyond the window: written where they are not the defaults, or replace the file's.
    const EncoderSettings defaults;
    const auto beyond = [&](const char *key, const QJsonValue &value, const QJsonValue &usual) {
        if (all || value != usual || map.contains(QLatin1String(key)))
            set(key, value);
    };
    beyond("sensors", s.sensors, defaults.sensors);
    beyond("clock", s.clock, defaults.clock);
    beyond("counterClockwise", s.counterClockwise, defaults.counterClockwise);
    beyond("invert", s.invert, defaults.invert);
    beyond("bore", s.boreMm, defaults.boreMm);
    beyond("dFlat", s.dFlatMm, defaults.dFlatMm);
    beyond("holes", s.holeCount, defaults.holeCount);
    beyond("holeDiameter", s.holeDiameterMm, defaults.holeDiameterMm);
    beyond("holePitch", s.holePitchMm, defaults.holePitchMm);
    beyond("cut", QLatin1String(cutWords[int(s.cut)]), QLatin1String(cutWords[0]));
    beyond("rim", s.rimMm, defaults.rimMm);
    beyond("hub", s.hubMm, defaults.hubMm);
    beyond("minWeb", s.minWebMm, defaults.minWebMm);
    beyond("bridge", s.bridgeMm, defaults.bridgeMm);
    beyond("kerf", s.kerfMm, defaults.kerfMm);
    beyond("mask", s.mask, defaults.mask);
    return map;
}

}

namespace DesignFile {

std::optional<QJsonObject> decode(
    const QByteArray &content, const QString &shownName, QString *error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(content, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || !doc.isObject()
        || root.value(QStringLiteral("format")).toString() != formatName
        || !root.value(QStringLiteral("settings")).isObject()) {
        *error = tr("%1 is not a Quvelta design%2")
                     .arg(shownName,
                         parse.error != QJsonParseError::NoError ? QStringLiteral(": %1 at byte %2")
                                                                       .arg(parse.errorString())
                                                                       .arg(parse.offset)
                                                                 : QString());
        return std::nullopt;
    }
    const QJsonValue found = root.value(QStringLiteral("version"));
    const int number = found.toInt(0);
    if (number < 1 || number > version || found.toDouble() != number) {
        *error = tr("%1 is a design of format version %2; this Quvelta reads version %3")
                     .arg(shownName, found.toVariant().toString())
                     .arg(version);
        return std::nullopt;
    }
    return root.value(QStringLiteral("settings")).toObject();
}

std::optional<QJsonObject> read(const QString &fileName, QString *error)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Can't open %1: %2").arg(shown, file.errorString());
        return std::nullopt;
    }
    // A design is a few hundred bytes; a megabyte is not one.
    return decode(file.read(1 << 20), shown, error);
}

QByteArray encode(const QJsonObject &settings)
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), formatName);
    root.insert(QStringLiteral("version"), version);
    root.insert(QStringLiteral("settings"), settings);
    return QJsonDocument(root).toJson();
}

std::optional<Design> toDesign(const QJsonObject &settings, const Design &base, QString *error)
{
    QJsonObject map = mapOf(base, QJsonObject(), true);
    std::vector<Key> keys = windowKeys;
    keys.insert(keys.end(), lineKeys.begin(), lineKeys.end());
    for (const Key &key : keys) {
        const QString name = QLatin1String(key.name);
        const auto found = settings.constFind(name);
        if (found == settings.constEnd())
            continue;
        if (const QString why = problem(key, *found); !why.isEmpty()) {
            *error = QStringLiteral("\"%1\": %2").arg(name, why);
            return std::nullopt;
        }
        map.insert(name, *found);
    }
    // Bounds that depend on another value.
    const double outer = map.value(QLatin1String("outerRadius")).toDouble();
    const double inner = map.value(QLatin1String("innerRadius")).toDouble();
    if (inner > outer - 0.001) {
        *error = QStringLiteral("\"innerRadius\": ")
            + tr("%1 is not between %2 and %3")
                  .arg(number(inner), number(0), number(outer - 0.001));
        return std::nullopt;
    }
    const int count = map.value(QLatin1String("count")).toInt();
    if (!map.value(QLatin1String("relative")).toBool() && count > 16) {
        *error = QStringLiteral("\"count\": ")
            + tr("%1 is not between %2 and %3").arg(count).arg(1).arg(16);
        return std::nullopt;
    }
    return designOf(map);
}

QJsonObject fromDesign(const Design &design, const QJsonObject &kept)
{
    return mapOf(design, kept, false);
}

QStringList beyondWindow(const QJsonObject &settings)
{
    const QJsonObject defaults = mapOf(Design(), QJsonObject(), true);
    QStringList found;
    // The window's list ends before the pseudo-random code.
    if (settings.value(QLatin1String("code")) == QJsonValue(4))
        found << QStringLiteral("code");
    for (const Key &key : lineKeys) {
        const QString name = QLatin1String(key.name);
        if (settings.contains(name) && settings.value(name) != defaults.value(name))
            found << name;
    }
    return found;
}

}
