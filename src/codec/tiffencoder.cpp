#include "tiffencoder.h"

#include "pixelpacking.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace TiffCodec {

namespace {

// libtiff reports through process-wide handlers; a failed write keeps its last word here
// instead of printing it.
thread_local QString lastError;
// The output's own reason for a failed write ("File too large"), which says more than the
// message libtiff makes of it.
thread_local QString deviceError;

void onError(const char *, const char *format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    lastError = QString::fromLocal8Bit(text);
}

void onWarning(const char *, const char *, va_list) { }

tmsize_t readData(thandle_t handle, void *data, tmsize_t size)
{
    return static_cast<QIODevice *>(handle)->read(static_cast<char *>(data), size);
}

tmsize_t writeData(thandle_t handle, void *data, tmsize_t size)
{
    auto *device = static_cast<QIODevice *>(handle);
    const qint64 written = device->write(static_cast<const char *>(data), size);
    if (written != size && deviceError.isEmpty())
        deviceError = device->errorString();
    return written;
}

toff_t seekData(thandle_t handle, toff_t offset, int whence)
{
    auto *device = static_cast<QIODevice *>(handle);
    qint64 target = qint64(offset);
    if (whence == SEEK_CUR)
        target += device->pos();
    else if (whence == SEEK_END)
        target += device->size();
    return device->seek(target) ? toff_t(target) : toff_t(-1);
}

int closeData(thandle_t)
{
    return 0;
}

toff_t sizeData(thandle_t handle)
{
    return toff_t(static_cast<QIODevice *>(handle)->size());
}

}

bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason)
{
    using PixelPacking::Layout;
    using PixelPacking::RowPacker;
    TIFFSetErrorHandler(onError);
    TIFFSetWarningHandler(onWarning);
    lastError.clear();
    deviceError.clear();
    const QSize size = rows.size();
    const RowPacker packer(rows.layout(), size.width());
    const Layout::Kind kind = packer.layout().kind;

    TIFF *tiff = TIFFClientOpen("pattern", "w", device, readData, writeData, seekData, closeData,
        sizeData, nullptr, nullptr);
    if (!tiff) {
        *reason = lastError.isEmpty() ? QStringLiteral("cannot start the TIFF file") : lastError;
        return false;
    }
    const QVector<QRgb> &colors = packer.layout().palette;
    const bool bilevel = kind == Layout::Kind::Bilevel;
    const auto isBlackOrWhite
        = [](QRgb c) { return (c & 0xffffff) == 0 || (c & 0xffffff) == 0xffffff; };
    const bool blackAndWhite = bilevel && colors.size() == 2 && isBlackOrWhite(colors[0])
        && isBlackOrWhite(colors[1]) && colors[0] != colors[1];
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t samples = 1;
    switch (kind) {
    case Layout::Kind::Bilevel:
        photometric = blackAndWhite
            ? ((colors[0] & 0xffffff) == 0 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE)
            : PHOTOMETRIC_PALETTE;
        break;
    case Layout::Kind::Gray:
        photometric = PHOTOMETRIC_MINISBLACK;
        break;
    case Layout::Kind::Indexed:
        photometric = PHOTOMETRIC_PALETTE;
        break;
    case Layout::Kind::Rgb:
        samples = 3;
        break;
    }
    const int bits = bilevel ? 1 : 8;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION,
        blackAndWhite ? COMPRESSION_CCITTFAX4 : COMPRESSION_ADOBE_DEFLATE);
    // Strips of about 256 KB: libtiff's default of 8 KB is a row of a large image, and every
    // strip starts its compressor afresh (most of the time writing a large disc went there).
    const uint32_t rowsPerStrip = uint32_t(std::clamp(
        (256 << 10) / std::max(packer.rowBytes(), 1), 1, std::max(size.height(), 1)));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    // Deflate's fastest level: a quarter of the raw size on an antialiased disc, at a third of
    // the time of the default level and 8 % larger.
    if (!blackAndWhite)
        TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, 1);
    if (rows.dotsPerMeterX() > 0 && rows.dotsPerMeterY() > 0) {
        // Dots per metre came from a whole DPI, truncated: rounding gives the DPI back.
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(qRound(rows.dotsPerMeterX() * 0.0254)));
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(qRound(rows.dotsPerMeterY() * 0.0254)));
    }
    std::vector<uint16_t> red, green, blue;
    if (photometric == PHOTOMETRIC_PALETTE) {
        const size_t entries = size_t(1) << bits;
        red.assign(entries, 0);
        green.assign(entries, 0);
        blue.assign(entries, 0);
        for (int i = 0; i < colors.size(); ++i) {
            red[size_t(i)] = uint16_t(qRed(colors[i]) * 257);
            green[size_t(i)] = uint16_t(qGreen(colors[i]) * 257);
            blue[size_t(i)] = uint16_t(qBlue(colors[i]) * 257);
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    // Whole strips at once: libtiff deflates a whole strip in one go (through libdeflate where
    // it has it), where row by row it streams through zlib, several times slower.
    const size_t rowBytes = size_t(packer.rowBytes());
    std::vector<uchar> strip(rowBytes * rowsPerStrip);
    bool ok = true;
    for (int top = 0, index = 0; ok && top < size.height(); top += int(rowsPerStrip), ++index) {
        const int count = std::min(int(rowsPerStrip), size.height() - top);
        for (int r = 0; r < count; ++r)
            rows.packRow(top + r, packer, strip.data() + size_t(r) * rowBytes);
        const tmsize_t bytes = tmsize_t(size_t(count) * rowBytes);
        ok = TIFFWriteEncodedStrip(tiff, uint32_t(index), strip.data(), bytes) == bytes;
    }
    ok = ok && TIFFWriteDirectory(tiff) == 1;
    TIFFClose(tiff);
    if (!ok || !lastError.isEmpty() || !deviceError.isEmpty()) {
        *reason = !deviceError.isEmpty() ? deviceError
            : lastError.isEmpty()        ? QStringLiteral("write failed")
                                         : lastError;
        return false;
    }
    return true;
}

}
