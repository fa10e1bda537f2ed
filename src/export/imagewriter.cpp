#include "imagewriter.h"

#include "exporterror.h"
#include "pixelpacking.h"
#include "pngwriter.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace ImageExport {

QString offeredSuffixes()
{
    return QStringLiteral(".png, .jpg, .jpeg, .bmp or .tiff");
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
    if (!QImageWriter::supportedImageFormats().contains(suffix.toLatin1())) {
        *error = cantWrite(fileName,
            QStringLiteral("unknown image format \"%1\"; use %2").arg(suffix, offeredSuffixes()));
        return false;
    }
    if (image.isNull()) {
        *error = cantWrite(fileName, QStringLiteral("the image has no pixels"));
        return false;
    }

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    bool written;
    QString reason;
    if (suffix == QLatin1String("png")) {
        // Our own writer packs the rows as it goes: no second copy of the image, and 1 bit or
        // 8 bits a pixel wherever that loses nothing.
        written = PngExport::writePng(image, &file, &reason);
    } else {
        // TIFF stores 1-bit, grey and palette images too; the packed copy is a fraction of
        // the image's size.
        const bool packs = suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
        QImageWriter writer(&file, suffix.toLatin1());
        written = writer.write(packs ? PixelPacking::compact(image) : image);
        reason = writer.errorString();
    }
    if (!written) {
        *error = cantWrite(fileName, reason);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = cantWrite(fileName, file.errorString());
        return false;
    }
    return true;
}

}
