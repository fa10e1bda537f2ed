// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "imagewriter.h"

#include "exporter.h"
#include "exporterror.h"

#include <QFileInfo>
#include <QImageWriter>

namespace ImageExport {

QString offeredSuffixes()
{
    return Export::knownSuffixes(true);
}

bool writeImageFile(const QImage &image, const QString &fileName, QString *error)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty()) {
        *error = cantWrite(fileName,
            QStringLiteral("the name has no suffix to choose the format; use %1")
                .arg(offeredSuffixes()));
        return false;
    }
    const std::optional<Export::Format> format = Export::formatOfWord(suffix);
    if (format && Export::isRaster(*format))
        return Export::writeImage(image, EncoderSettings(), *format, fileName, error);
    // Any other format Qt writes (PPM, XPM, ...) is written as Qt writes it.
    if (QImageWriter::supportedImageFormats().contains(suffix.toLatin1()))
        return Export::writeQtImage(image, suffix, fileName, error);
    *error = cantWrite(fileName,
        QStringLiteral("unknown image format \"%1\"; use %2").arg(suffix, offeredSuffixes()));
    return false;
}

}
