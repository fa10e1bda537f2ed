// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_EXPORTERROR_H
#define QUVELTA_EXPORTERROR_H

#include <QString>

#include <new>

// "Can't write FILE: reason", the one-line report of every failed export.
inline QString cantWrite(const QString &fileName, QString reason)
{
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return QStringLiteral("Can't write %1: %2").arg(fileName, reason);
}

// Running out of memory is said one way everywhere: "not enough memory to ...".
inline QString notEnoughMemoryToWrite(const QString &fileName)
{
    return QStringLiteral("not enough memory to write %1")
        .arg(fileName == QLatin1String("-") ? QStringLiteral("standard output") : fileName);
}

// Runs a writer; memory running out on the way is a message, not an abort. The writer's output
// file is dropped as the exception passes, so the old file stays.
template<typename Write> bool reportingMemory(const QString &fileName, QString *error, Write write)
{
    try {
        return write();
    } catch (const std::bad_alloc &) { }
    *error = notEnoughMemoryToWrite(fileName);
    return false;
}

#endif
