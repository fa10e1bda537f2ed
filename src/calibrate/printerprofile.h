// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PRINTERPROFILE_H
#define QUVELTA_PRINTERPROFILE_H

#include "scanmeasure.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a printer does to a page, as the options that undo it: its scale across and down and
// how much wider it prints a mark. Kept in a small text file of "key = value" lines:
//
//   # comments and blank lines are ignored
//   scale-x = 0.99412     printed length over drawn length across the page (as --scale-x)
//   scale-y = 1.00388     the same down the page (as --scale-y)
//   mark-bias = -0.042    mm to add to every mark's width (as --mark-bias); optional
//
// Unknown keys are refused, so that a misspelt key is not silently ignored.
namespace PrinterProfile {

struct Profile
{
    double scaleX = 1;
    double scaleY = 1;
    std::optional<double> markBiasMm; // none when it was not measured
};

// The profile in a file; none with *error saying which line is wrong.
std::optional<Profile> load(const QString &fileName, QString *error);

// The profile as the file holds it, `notes` as comments above it.
QByteArray text(const Profile &profile, const QStringList &notes);

// Writes the profile, whole or not at all.
bool save(
    const Profile &profile, const QStringList &notes, const QString &fileName, QString *error);

// What one or two scans of the target say, with the lines that explain it; none with *error
// when they cannot be combined or the printer is far out (a page fitted to the paper).
struct Result
{
    Profile profile;
    QStringList report;
};
std::optional<Result> fromScans(
    const std::vector<ScanMeasure::Reading> &readings, const QStringList &names, QString *error);

// What rulers measured by hand say: the printed lengths of the target's rulers across and down.
std::optional<Result> fromRulers(
    const PrintTarget::Layout &target, double acrossMm, double downMm, QString *error);

// The options that make a printer with this profile print true.
QString options(const Profile &profile);

}

#endif
