// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_IMAGEWRITER_H
#define QUVELTA_IMAGEWRITER_H

#include <QImage>
#include <QString>

namespace ImageExport {

// The image formats offered to users, lower case, as file-name suffixes.
QString offeredSuffixes();

// Writes the image in the format its file name's suffix names (PNG, TIFF and BMP losslessly in
// the fewest bits, JPEG lossy), with the image's resolution, through the export front door: on
// failure no file is left behind, an existing file keeps its contents, and *error receives one
// line naming the file and the reason.
bool writeImageFile(const QImage &image, const QString &fileName, QString *error);

}

#endif
