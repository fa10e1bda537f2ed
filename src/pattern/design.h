// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DESIGN_H
#define QUVELTA_DESIGN_H

#include "encodersettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// A design: the pattern's settings and how its files are drawn, as the window shows them and a
// design file (.quvelta) holds them.
struct Design
{
    EncoderSettings settings;
    bool antialias = true; // the window's "Save in high quality"
    bool transparent = false; // vector files without the background
    double apertureMm = 0; // the sensor's aperture for the read-back; 0: one pixel
};

// Design files are JSON, {"format": "quvelta-design", "version": N, "settings": {...}}, the
// settings' keys named after the window's controls. The window and quvelta-render both read and
// write them through here.
namespace DesignFile {

inline constexpr int version = 1;

// The settings object of a design file's content; nothing, with *error naming `shownName` and
// what is wrong, when it is not a design or is one of a newer version.
std::optional<QJsonObject> decode(
    const QByteArray &content, const QString &shownName, QString *error);
// The settings object of the design file `fileName` (see decode).
std::optional<QJsonObject> read(const QString &fileName, QString *error);
// A design file's content holding `settings`.
QByteArray encode(const QJsonObject &settings);

// The design the settings object gives over `base`: keys it lacks keep base's values, keys it
// does not know are left alone. Nothing, with *error as "\"key\": what is wrong", when a value has
// the wrong type or lies outside what the settings take.
std::optional<Design> toDesign(const QJsonObject &settings, const Design &base, QString *error);
// The settings object of a design, over `kept` (the object of the file it came from, whose keys
// it does not set stay): every key the window shows, and the keys beyond the window where they
// differ from the defaults or `kept` has them.
QJsonObject fromDesign(const Design &design, const QJsonObject &kept = {});
// The keys of `settings` that only the command line draws, where they are not the defaults.
QStringList beyondWindow(const QJsonObject &settings);

}

#endif
