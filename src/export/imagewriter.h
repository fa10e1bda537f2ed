#ifndef QUVELTA_IMAGEWRITER_H
#define QUVELTA_IMAGEWRITER_H

#include <QImage>
#include <QString>

namespace ImageExport {

// The image formats offered to users, lower case, as file-name suffixes.
QString offeredSuffixes();

// Writes the image in the format its file name's suffix names (any format Qt can write), with
// the writer's default quality and the image's resolution. The write is atomic: on failure no
// file is left behind and an existing file keeps its contents. On failure *error receives one
// line naming the file and the reason.
bool writeImageFile(const QImage &image, const QString &fileName, QString *error);

}

#endif
