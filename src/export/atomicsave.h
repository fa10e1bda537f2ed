#ifndef QUVELTA_ATOMICSAVE_H
#define QUVELTA_ATOMICSAVE_H

#include <QByteArray>
#include <QString>

// Writes the whole file or nothing: an existing file is replaced only by a complete new one.
// On failure *error receives one line naming the file.
bool saveFileAtomically(const QByteArray &data, const QString &fileName, QString *error);

#endif
