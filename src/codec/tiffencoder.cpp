// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "tiffencoder.h"

#include "background.h"
#include "pixelpacking.h"
#include "runlengthdeflate.h"

#include <QBuffer>

#include <libdeflate.h>
#include <zlib.h>
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <new>
#include <thread>
#include <vector>

namespace TiffCodec {

namespace {

// libtiff reports through process-wide handlers; a failed write keeps its last word here
// instead of printing it. Plain bytes: glibc aborts the program when a thread's first use of a
// thread_local that has a destructor finds memory short, and strips are coded on other threads.
using Message = char[512];
thread_local Message lastError;
// The output's own reason for a failed write ("File too large"), which says more than the
// message libtiff makes of it.
thread_local Message deviceError;

void keep(Message &to, const QString &text)
{
    std::snprintf(to, sizeof to, "%s", text.toUtf8().constData());
}

QString said(const Message &text)
{
    return QString::fromUtf8(text);
}

void onError(const char *, const char *format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    keep(lastError, QString::fromLocal8Bit(text));
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
    if (written != size && !*deviceError)
        keep(deviceError, device->errorString());
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

// A strip as a zlib stream, as libtiff's Adobe Deflate holds it. Rows that mostly repeat the
// row above (a code strip's) are coded by the run-length deflate as matches a row back, where
// deflate's window reaches it: a 16-bit strip of 33 Mpx in a tenth of libdeflate's time at
// level 4 (which finds that row too, at a third of level 1's size); wider rows go to
// libdeflate. Other 8-bit rows of long runs (a disc's) are coded by the
// run-length deflate at a third of libdeflate's time, 10 % larger, and so are those of a large
// image (over 4 Mpx, as PNG's), where libdeflate's matches would make the coding most of the
// time the image takes: for fine marks, half the time for half again the size. A small image's
// rows of short runs (marks under a pixel) and 1-bit rows, whose runs are not whole bytes, take
// libdeflate's fastest level, but for 8-bit rows that look like noise (a pitch of one or two
// pixels): there libdeflate finds few matches, at three times the time for a seventh less, and
// a sample of the strip coded both ways says so.
std::vector<uchar> deflateStrip(
    const std::vector<uchar> &strip, size_t rowBytes, bool bytes, bool largeImage)
{
    const size_t count = rowBytes > 0 ? strip.size() / rowBytes : 0;
    size_t repeated = 0;
    for (size_t r = 1; r < count; ++r)
        repeated += std::memcmp(strip.data() + r * rowBytes, strip.data() + (r - 1) * rowBytes,
                        rowBytes)
            == 0;
    const bool rowsRepeat = 2 * repeated >= count;
    const auto longRuns = [&] {
        size_t changes = 0;
        for (size_t i = 1; i < strip.size(); ++i)
            changes += strip[i] != strip[i - 1];
        return changes * 4 < strip.size();
    };
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> made(
        nullptr, libdeflate_free_compressor);
    const auto compressor = [&] {
        if (!made)
            made.reset(libdeflate_alloc_compressor(rowsRepeat ? 4 : 1));
        if (!made)
            throw std::bad_alloc();
        return made.get();
    };
    // Run-length coding within a fifth of libdeflate's size on the strip's first 32 KB.
    const auto noise = [&] {
        const size_t sample = std::min(strip.size(), size_t(32) << 10);
        std::vector<uchar> runs, matches(libdeflate_deflate_compress_bound(compressor(), sample));
        RunLengthDeflate::compress(strip.data(), sample, true, &runs);
        const size_t size = libdeflate_deflate_compress(
            compressor(), strip.data(), sample, matches.data(), matches.size());
        return size > 0 && runs.size() * 5 <= size * 6;
    };
    const bool rowMatches = rowsRepeat && rowBytes <= RunLengthDeflate::widestRow;
    if (rowMatches || (bytes && !rowsRepeat && (largeImage || longRuns() || noise()))) {
        std::vector<uchar> out { 0x78, 0x01 }; // deflate, 32 KB window, fastest
        RunLengthDeflate::compress(
            strip.data(), strip.size(), true, &out, rowMatches ? rowBytes : 0);
        const uint32_t sum = libdeflate_adler32(1, strip.data(), strip.size());
        for (const int shift : { 24, 16, 8, 0 })
            out.push_back(uchar(sum >> shift));
        return out;
    }
    std::vector<uchar> out(libdeflate_zlib_compress_bound(compressor(), strip.size()));
    out.resize(
        libdeflate_zlib_compress(compressor(), strip.data(), strip.size(), out.data(), out.size()));
    return out;
}

}

// A black-and-white strip in Group 4 by libtiff, coded in a file of its own in memory: Group 4
// codes each strip from a white line, so these are the bytes libtiff would write for it in the
// image's file. Empty when libtiff fails.
std::vector<uchar> faxStrip(
    const std::vector<uchar> &strip, uint32_t width, uint32_t rows, uint16_t photometric)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    TIFF *tiff = TIFFClientOpen("strip", "w", &buffer, readData, writeData, seekData, closeData,
        sizeData, nullptr, nullptr);
    if (!tiff)
        return {};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows);
    const tmsize_t size = tmsize_t(strip.size());
    std::vector<uchar> coded;
    uint64_t *offsets = nullptr;
    uint64_t *counts = nullptr;
    if (TIFFWriteEncodedStrip(tiff, 0, const_cast<uchar *>(strip.data()), size) == size
        && TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets) == 1
        && TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts) == 1 && offsets && counts
        && offsets[0] + counts[0] <= uint64_t(bytes.size()))
        coded.assign(bytes.constData() + offsets[0], bytes.constData() + offsets[0] + counts[0]);
    TIFFClose(tiff);
    return coded;
}

namespace {

// Whether Group 4 codes black-and-white rows smaller than Deflate: four groups of sixteen rows
// spread over the image, coded both ways. Group 4 codes each change of colour against the row
// above: it wins on a disc of a few coarse tracks (2.4 times smaller on an 8-bit one), but the
// changes of marks under a pixel cost it more than Deflate, which also finds a strip's repeated
// rows (a fine disc: 3 times larger, and 2.5 times the time; a code strip: 17 times larger).
bool groupFourSmaller(PixelPacking::PixelRows &rows, const PixelPacking::RowPacker &packer,
    uint16_t photometric, bool largeImage)
{
    const QSize size = rows.size();
    const size_t rowBytes = size_t(packer.rowBytes());
    constexpr int groups = 4;
    constexpr int groupRows = 16;
    size_t fax = 0, deflated = 0;
    std::vector<uchar> strip;
    for (int g = 0; g < groups; ++g) {
        const int count = std::min(groupRows, size.height());
        const int top
            = std::clamp(int(qint64(size.height()) * (2 * g + 1) / (2 * groups)) - count / 2, 0,
                size.height() - count);
        strip.resize(size_t(count) * rowBytes);
        rows.packRowsAside(top, count, packer, strip.data());
        const std::vector<uchar> coded
            = faxStrip(strip, uint32_t(size.width()), uint32_t(count), photometric);
        if (coded.empty()) {
            *lastError = 0; // the sample's failure, not the file's: it takes Deflate
            return false;
        }
        fax += coded.size();
        deflated += deflateStrip(strip, rowBytes, false, largeImage).size();
        if (count == size.height())
            break; // every row was looked at
    }
    return fax <= deflated;
}

}

bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason)
{
    using PixelPacking::Layout;
    using PixelPacking::RowPacker;
    TIFFSetErrorHandler(onError);
    TIFFSetWarningHandler(onWarning);
    *lastError = 0;
    *deviceError = 0;
    const QSize size = rows.size();
    const RowPacker packer(rows.layout(), size.width());
    const Layout::Kind kind = packer.layout().kind;

    TIFF *tiff = TIFFClientOpen("pattern", "w", device, readData, writeData, seekData, closeData,
        sizeData, nullptr, nullptr);
    if (!tiff) {
        *reason = *lastError ? said(lastError) : QStringLiteral("cannot start the TIFF file");
        return false;
    }
    const QVector<QRgb> &colors = packer.layout().palette;
    const bool bilevel = kind == Layout::Kind::Bilevel;
    const auto isBlackOrWhite
        = [](QRgb c) { return (c & 0xffffff) == 0 || (c & 0xffffff) == 0xffffff; };
    const bool blackAndWhite = bilevel && colors.size() == 2 && isBlackOrWhite(colors[0])
        && isBlackOrWhite(colors[1]) && colors[0] != colors[1];
    const bool largeImage = qint64(size.width()) * size.height() > PixelPacking::largeImagePixels;
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
    const bool groupFour = blackAndWhite && groupFourSmaller(rows, packer, photometric, largeImage);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(
        tiff, TIFFTAG_COMPRESSION, groupFour ? COMPRESSION_CCITTFAX4 : COMPRESSION_ADOBE_DEFLATE);
    // Strips of about 256 KB: libtiff's default of 8 KB is a row of a large image, each strip
    // starts its compressor afresh (most of the time writing a large disc went there), and
    // larger ones deflate smaller (a large disc's file by a tenth).
    const uint32_t rowsPerStrip = uint32_t(std::clamp(
        (256 << 10) / std::max(packer.rowBytes(), 1), 1, std::max(size.height(), 1)));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
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
    const size_t rowBytes = size_t(packer.rowBytes());
    const int strips = (size.height() + int(rowsPerStrip) - 1) / int(rowsPerStrip);
    const auto packStrip = [&](int index, std::vector<uchar> &strip) {
        const int top = index * int(rowsPerStrip);
        const int count = std::min(int(rowsPerStrip), size.height() - top);
        strip.resize(size_t(count) * rowBytes);
        for (int r = 0; r < count; ++r)
            rows.packRow(top + r, packer, strip.data() + size_t(r) * rowBytes);
    };
    bool ok = true;
    // Coding is most of the time a large image takes to write: the strips are coded on every
    // core, each into the bytes libtiff would make of it (for Deflate, libdeflate at the same
    // level, as libtiff does), and written in order as they are. Group 4 of marks under a
    // pixel is no quicker than Deflate.
    std::deque<std::future<std::vector<uchar>>> coding;
    const int depth = int(std::max(2u, std::thread::hardware_concurrency()));
    const auto writeFirst = [&](int index) {
        const std::vector<uchar> data = coding.front().get();
        coding.pop_front();
        if (data.empty() && groupFour && !*lastError)
            keep(lastError, QStringLiteral("cannot code a strip in Group 4"));
        ok = ok && !data.empty()
            && TIFFWriteRawStrip(
                   tiff, uint32_t(index), const_cast<uchar *>(data.data()), tmsize_t(data.size()))
                == tmsize_t(data.size());
    };
    int written = 0;
    try {
        for (int index = 0; ok && index < strips; ++index) {
            auto strip = std::make_shared<std::vector<uchar>>();
            packStrip(index, *strip);
            const uint32_t count = uint32_t(strip->size() / rowBytes);
            coding.push_back(
                inBackground([strip = std::shared_ptr<const std::vector<uchar>>(std::move(strip)),
                                 rowBytes, bytes = bits == 8, groupFour, large = largeImage,
                                 width = uint32_t(size.width()), count, photometric] {
                    return groupFour ? faxStrip(*strip, width, count, photometric)
                                     : deflateStrip(*strip, rowBytes, bytes, large);
                }));
            if (int(coding.size()) >= depth)
                writeFirst(written++);
        }
        while (ok && !coding.empty())
            writeFirst(written++);
    } catch (...) {
        for (auto &f : coding)
            if (f.valid()) // the one whose get() threw is spent
                f.wait();
        TIFFClose(tiff);
        throw;
    }
    for (auto &f : coding) // after a failed write
        if (f.valid())
            f.wait();
    ok = ok && TIFFWriteDirectory(tiff) == 1;
    TIFFClose(tiff);
    if (!ok || *lastError || *deviceError) {
        *reason = *deviceError ? said(deviceError)
            : *lastError       ? said(lastError)
                               : QStringLiteral("write failed");
        return false;
    }
    return true;
}

}
