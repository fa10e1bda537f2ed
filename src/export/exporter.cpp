// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "exporter.h"

#include "bmpencoder.h"
#include "exporterror.h"
#include "jpegencoder.h"
#include "outputfile.h"
#include "patternrows.h"
#include "pdfwriter.h"
#include "pixelpacking.h"
#include "pngencoder.h"
#include "preciseraster.h"
#include "renderer.h"
#include "tiffencoder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

#include <new>
#include <system_error>

namespace Export {

namespace {

struct Entry
{
    const char *word;
    Format format;
};

// Every name a format goes by, in the order the messages list them.
constexpr Entry formats[] = {
    { "png", Format::Png },
    { "jpg", Format::Jpeg },
    { "jpeg", Format::Jpeg },
    { "bmp", Format::Bmp },
    { "tif", Format::Tiff },
    { "tiff", Format::Tiff },
    { "pdf", Format::Pdf },
    { "svg", Format::Svg },
    { "dxf", Format::Dxf },
    { "kicad_mod", Format::KicadMod },
};
}

std::optional<Format> formatOfWord(const QString &word)
{
    const QString lower = word.toLower();
    for (const Entry &e : formats) {
        if (lower == QLatin1String(e.word))
            return e.format;
    }
    return std::nullopt;
}

std::optional<Format> formatOfName(const QString &fileName)
{
    return formatOfWord(QFileInfo(fileName).suffix());
}

QString knownSuffixes(bool imagesOnly)
{
    QStringList suffixes;
    for (const Entry &e : formats) {
        if (!imagesOnly || isRaster(e.format))
            suffixes << QLatin1Char('.') + QLatin1String(e.word);
    }
    return suffixes.mid(0, suffixes.size() - 1).join(QLatin1String(", ")) + QLatin1String(" or ")
        + suffixes.last();
}

bool isRaster(Format format)
{
    return format == Format::Png || format == Format::Jpeg || format == Format::Bmp
        || format == Format::Tiff;
}

QString nothingToWrite()
{
    return QStringLiteral("the pattern has no pixels");
}

QString sizeProblem(Format format, QSize size)
{
    if (format == Format::Jpeg
        && (size.width() > JpegCodec::largestSide || size.height() > JpegCodec::largestSide))
        return QStringLiteral("the image comes out %1 x %2 pixels, and a JPEG holds at most %3 "
                              "pixels a side; save it as PNG, TIFF or BMP, or lower the resolution")
            .arg(size.width())
            .arg(size.height())
            .arg(JpegCodec::largestSide);
    return QString();
}

namespace {

// Lets std::bad_alloc through, for the caller to say what it was doing.
bool writeRowsUnguarded(PixelPacking::PixelRows &rows, const EncoderSettings &settings,
    Format format, const QString &fileName, QString *error)
{
    if (const QString problem = sizeProblem(format, rows.size()); !problem.isEmpty()) {
        *error = cantWrite(fileName, problem);
        return false;
    }
    OutputFile file(fileName);
    if (!file.open(error))
        return false;
    QIODevice *device = file.device();
    QString reason;
    bool written = false;
    switch (format) {
    case Format::Png:
        written = PngCodec::encode(rows, device, &reason);
        break;
    case Format::Bmp:
        written = BmpCodec::encode(rows, device, &reason);
        break;
    case Format::Tiff:
        if (device->isReadable() && !device->isSequential()) {
            written = TiffCodec::encode(rows, device, &reason);
        } else {
            // TIFF's directory goes in last and points back: where the output cannot seek and
            // read back (a pipe), the file is made in memory, then written.
            QBuffer buffer;
            buffer.open(QIODevice::ReadWrite);
            written = TiffCodec::encode(rows, &buffer, &reason);
            if (written && device->write(buffer.data()) != buffer.size()) {
                written = false;
                reason = device->errorString();
            }
        }
        break;
    case Format::Jpeg:
        written = JpegCodec::encode(rows, device, &reason);
        break;
    case Format::Pdf:
        written = PdfExport::writePdfPage(rows, settings, device, &reason);
        break;
    case Format::Svg:
    case Format::Dxf:
    case Format::KicadMod:
        reason = QStringLiteral("not an image format");
        break;
    }
    if (written && rows.failed()) {
        // The same words as when the render cannot start.
        *error = notEnoughMemory(rows.size());
        file.cancel();
        return false;
    }
    if (!written) {
        *error = file.failure(reason);
        file.cancel();
        return false;
    }
    return file.commit(error);
}

bool writeImageUnguarded(const QImage &image, const EncoderSettings &settings, Format format,
    const QString &fileName, QString *error)
{
    if (image.isNull()) {
        *error = cantWrite(fileName, nothingToWrite());
        return false;
    }
    PixelPacking::ImageRows rows(image);
    return writeRowsUnguarded(rows, settings, format, fileName, error);
}

}

bool writeImage(const QImage &image, const EncoderSettings &settings, Format format,
    const QString &fileName, QString *error)
{
    return reportingMemory(fileName, error,
        [&] { return writeImageUnguarded(image, settings, format, fileName, error); });
}

bool writeRows(PixelPacking::PixelRows &rows, const EncoderSettings &settings, Format format,
    const QString &fileName, QString *error)
{
    return reportingMemory(fileName, error,
        [&] { return writeRowsUnguarded(rows, settings, format, fileName, error); });
}

QString notEnoughMemory(QSize size)
{
    return QStringLiteral("not enough memory to render %1 x %2")
        .arg(size.width())
        .arg(size.height());
}

bool writePattern(const EncoderSettings &settings, bool antialias, Format format,
    const QString &fileName, QString *error,
    const std::function<void(
        const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors)> &painted)
{
    QSize size;
    try {
        PatternRaster raster(settings, antialias);
        raster.alsoShow(painted);
        size = raster.size();
        if (size.isEmpty()) {
            *error = cantWrite(fileName, nothingToWrite());
            return false;
        }
        // A small image of classic pixels is drawn whole, all cores at once; a large one band by
        // band, so that it never needs the memory of the whole image.
        // A coverage (the exact raster, a classic disc in colours) goes band by band at any
        // size: no census, no colours, its palette the blends in their order.
        if (!raster.coverageAt(0, size.height())
            && qint64(size.width()) * size.height() <= wholeImagePixels)
            return writeImageUnguarded(raster.image(), settings, format, fileName, error);
        PatternRows rows(raster);
        return writeRowsUnguarded(rows, settings, format, fileName, error);
    } catch (const std::bad_alloc &) {
    } catch (const std::system_error &) { }
    *error = notEnoughMemory(size.isValid() ? size : patternImageSize(settings));
    return false;
}

}

namespace Export {

bool writeQtImage(
    const QImage &image, const QString &suffix, const QString &fileName, QString *error)
{
    if (image.isNull()) {
        *error = cantWrite(fileName, nothingToWrite());
        return false;
    }
    return reportingMemory(fileName, error, [&] {
        OutputFile file(fileName);
        if (!file.open(error))
            return false;
        QImageWriter writer(file.device(), suffix.toLatin1());
        if (!writer.write(image)) {
            const QString reason = file.device()->errorString();
            *error = file.failure(reason.isEmpty() ? writer.errorString() : reason);
            file.cancel();
            return false;
        }
        return file.commit(error);
    });
}

}
