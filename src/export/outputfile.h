// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_OUTPUTFILE_H
#define QUVELTA_OUTPUTFILE_H

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

// File names keep every byte the system gave: bytes that are not UTF-8 travel as the code points
// U+DC80 to U+DCFF and turn back into the same bytes.
QString fileNameFromBytes(const QByteArray &bytes);
QByteArray fileNameToBytes(const QString &name);

// Where an export goes, written whole or not at all. A regular file (or a new one) is written
// under a temporary name beside it and renamed over it only when complete, so a failed or
// interrupted write (SIGINT, SIGTERM, SIGHUP included) leaves the old file as it was; the
// replacement keeps the old file's permissions, and its owner and group where allowed. A
// symbolic link is followed and stays, a dangling one too. A FIFO or a device is written
// directly, and "-" is standard output; so is a writable file in a folder that refuses new
// files, with a warning after it (or a note in the failure). Errors name the file and give the
// system's reason ("No space left on device", "File too large", ...).
class OutputFile
{
public:
    explicit OutputFile(const QString &fileName);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool open(QString *error);
    QIODevice *device();
    bool commit(QString *error); // after the last write
    void cancel(); // drops the temporary file; a direct write cannot be undone

    // One line: "Can't write NAME: reason".
    QString failure(const QString &reason) const;

    // Where a warning goes (writing in place); qWarning() when none is set.
    static void setWarningHandler(void (*handler)(const QString &text));

private:
    class Device;
    bool openInPlace();
    static void (*warningHandler)(const QString &);
    QString fileName;
    QByteArray target; // the file to replace, links followed
    QByteArray temporary; // empty when writing directly
    int fd = -1;
    bool direct = false;
    bool inPlace = false;
    int pendingSlot = -1; // where the signal handler finds the temporary file
    std::unique_ptr<Device> out;
};

// Writes data to the file through OutputFile; false with *error set on failure.
bool saveFile(const QByteArray &data, const QString &fileName, QString *error);

#endif
