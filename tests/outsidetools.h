// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#pragma once

// Outside programs and files some tests read their results with. Where one is missing the test
// skips and names it; with QUVELTA_REQUIRE_TOOLS set (CI does) it fails instead, so a missing
// tool never hides a test there.

#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtTest>

namespace OutsideTools {

// An entry is a program on PATH ("pdftoppm"), an absolute path ("/proc/self/status"), or a
// command with arguments that must exit 0 ("stat -c %s /"), for a feature only some versions have.
inline bool present(const QString &need)
{
    if (need.startsWith(QLatin1Char('/')) && !need.contains(QLatin1Char(' ')))
        return QFileInfo::exists(need);
    QStringList words = need.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString program = QStandardPaths::findExecutable(words.takeFirst());
    if (program.isEmpty() || words.isEmpty())
        return !program.isEmpty();
    QProcess probe;
    probe.start(program, words);
    return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit
        && probe.exitCode() == 0;
}

inline QString missing(const QStringList &needs)
{
    static QHash<QString, bool> known; // a data row each would probe again
    QStringList absent;
    for (const QString &need : needs) {
        if (!known.contains(need))
            known.insert(need, present(need));
        if (!known.value(need))
            absent << need;
    }
    if (absent.isEmpty())
        return {};
    return QStringLiteral("needs %1, not found here (scripts/install-deps.sh installs them)")
        .arg(absent.join(QLatin1String(", ")));
}

inline bool required() { return qEnvironmentVariableIsSet("QUVELTA_REQUIRE_TOOLS"); }

}

// Skips the calling test function (fails it under QUVELTA_REQUIRE_TOOLS) when any is missing.
#define QUVELTA_NEEDS(...)                                                                         \
    do {                                                                                           \
        const QString quveltaMissing = OutsideTools::missing({ __VA_ARGS__ });                     \
        if (!quveltaMissing.isEmpty()) {                                                           \
            if (OutsideTools::required())                                                          \
                QFAIL(qPrintable(quveltaMissing));                                                 \
            QSKIP(qPrintable(quveltaMissing));                                                     \
        }                                                                                          \
    } while (false)
