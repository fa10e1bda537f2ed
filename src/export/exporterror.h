#ifndef QUVELTA_EXPORTERROR_H
#define QUVELTA_EXPORTERROR_H

#include <QString>

// "Can't write FILE: reason", the one-line report of every failed export.
inline QString cantWrite(const QString &fileName, QString reason)
{
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return QStringLiteral("Can't write %1: %2").arg(fileName, reason);
}

#endif
