// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "pngencoder.h"

#include "deflater.h"
#include "pixelpacking.h"

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <QBuffer>

#include <algorithm>
#include <csetjmp>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <vector>

namespace PngCodec {

namespace {

struct Output
{
    QIODevice *device;
    QString reason;
};

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<Output *>(png_get_io_ptr(png));
    if (out->device->write(reinterpret_cast<const char *>(data), qint64(length))
        != qint64(length)) {
        out->reason = out->device->errorString();
        png_error(png, "write failed");
    }
}

void flushData(png_structp) { }

void onError(png_structp png, png_const_charp message)
{
    auto *out = static_cast<Output *>(png_get_error_ptr(png));
    if (out->reason.isEmpty())
        out->reason = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) { }

}

namespace {

// How rows are filtered and compressed.
struct Scheme
{
    int filters;
    int strategy;
    int level;
    // A small image's unfiltered rows at zlib's default strategy as one libdeflate stream: on
    // marks under a pixel, which look like noise, zlib's lazy matching at level 6 took most of
    // the time such an image takes (2.9 MB of a coloured disc's rows: zlib 99 ms, libdeflate
    // 49 ms at level 6 and 26 ms at 4, 6 % larger than zlib's).
    bool oneStream = false;
};

using PixelPacking::Layout;
using PixelPacking::PixelRows;
using PixelPacking::RowPacker;

// The PNG header of the packed rows, worked out once for every scheme tried.
struct Header
{
    explicit Header(const Layout &layout)
        : palette(layout.kind == Layout::Kind::Bilevel || layout.kind == Layout::Kind::Indexed),
          colorType(palette                           ? PNG_COLOR_TYPE_PALETTE
                  : layout.kind == Layout::Kind::Gray ? PNG_COLOR_TYPE_GRAY
                                                      : PNG_COLOR_TYPE_RGB),
          bitDepth(layout.kind == Layout::Kind::Bilevel ? 1 : 8)
    {
        for (QRgb c : layout.palette)
            entries.push_back({ png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c)) });
    }
    bool palette;
    int colorType;
    int bitDepth;
    std::vector<png_color> entries;
};

// Row y of the rows being written, packed; valid until the next call.
using RowSource = std::function<const png_byte *(int y)>;

// A chunk as PNG frames it: length, type, data, and the CRC of type and data.
bool writeChunk(QIODevice *device, const char type[4], const char *data, int size)
{
    const auto bigEndian = [](quint32 v) {
        const char bytes[4] = { char(v >> 24), char(v >> 16), char(v >> 8), char(v) };
        return QByteArray(bytes, 4);
    };
    // libdeflate's CRC: zlib's sums, several times as fast (a large image's chunks are summed
    // on the writing thread).
    uint32_t crc = libdeflate_crc32(0, type, 4);
    if (size > 0) // the sum of no buffer is 0, not the sum so far
        crc = libdeflate_crc32(crc, data, size_t(size));
    const QByteArray head = bigEndian(quint32(size)) + QByteArray(type, 4);
    return device->write(head) == head.size()
        && (size == 0 || device->write(data, size) == size)
        && device->write(bigEndian(quint32(crc))) == 4;
}

// The image data and the end, after libpng has written the header: the rows, unfiltered,
// deflated on every core as one zlib stream (libpng deflates on one), in IDAT chunks.
bool writeImageData(QIODevice *device, int height, int rowBytes, const RowSource &rowAt,
    Scheme scheme, QString *reason)
{
    QByteArray chunk;
    bool written = true;
    const auto flush = [&] {
        written = written && writeChunk(device, "IDAT", chunk.constData(), int(chunk.size()));
        chunk.resize(0);
        return written;
    };
    // A row the same as the one above (every row of a strip but a few) goes filtered "Up": all
    // zeros, a tiny share of the deflating. Others go unfiltered.
    const auto filterRows = [&](const std::function<bool(const png_byte *, int)> &take) {
        std::vector<png_byte> row(size_t(rowBytes) + 1, 0);
        std::vector<png_byte> above(size_t(rowBytes) + 1, 0);
        std::vector<png_byte> same(size_t(rowBytes) + 1, 0);
        same[0] = 2;
        bool ok = true;
        for (int y = 0; ok && y < height; ++y) {
            std::copy_n(rowAt(y), rowBytes, row.begin() + 1);
            const bool repeated = y > 0 && std::equal(row.begin() + 1, row.end(), above.begin() + 1);
            ok = take(repeated ? same.data() : row.data(), int(row.size()));
            std::swap(row, above);
        }
        return ok;
    };
    if (scheme.oneStream) {
        std::vector<png_byte> filtered;
        filtered.reserve(size_t(height) * (size_t(rowBytes) + 1));
        filterRows([&](const png_byte *data, int size) {
            filtered.insert(filtered.end(), data, data + size);
            return true;
        });
        const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(
            libdeflate_alloc_compressor(scheme.level), libdeflate_free_compressor);
        if (!compressor)
            throw std::bad_alloc();
        std::vector<char> stream(libdeflate_zlib_compress_bound(compressor.get(), filtered.size()));
        stream.resize(libdeflate_zlib_compress(
            compressor.get(), filtered.data(), filtered.size(), stream.data(), stream.size()));
        for (size_t at = 0; written && at < stream.size(); at += 1 << 18)
            written = writeChunk(device, "IDAT", stream.data() + at,
                int(std::min(stream.size() - at, size_t(1) << 18)));
    } else {
        ParallelDeflater deflater(
            [&](const char *data, int size) {
                chunk.append(data, size);
                return chunk.size() < (1 << 18) || flush();
            },
            scheme.level, scheme.strategy);
        written = filterRows([&](const png_byte *data, int size) {
            return deflater.add(data, size);
        }) && deflater.finish();
    }
    written = written && (chunk.isEmpty() || flush()) && writeChunk(device, "IEND", nullptr, 0);
    if (!written)
        *reason = device->errorString();
    return written;
}

bool encodeWith(const PixelRows &rows, int height, const RowSource &rowAt, const Header &layout,
    QIODevice *device, QString *reason, Scheme scheme)
{
    Output out { device, QString() };

    // Everything with a destructor exists before setjmp; libpng's errors jump back here.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc(); // the caller words it, as for every other allocation
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *reason = out.reason.isEmpty() ? QStringLiteral("write failed") : out.reason;
        return false;
    }
    png_set_write_fn(png, &out, writeData, flushData);
    png_set_IHDR(png, info, png_uint_32(rows.size().width()), png_uint_32(height), layout.bitDepth,
        layout.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    if (layout.palette)
        png_set_PLTE(png, info, layout.entries.data(), int(layout.entries.size()));
    if (rows.dotsPerMeterX() > 0 && rows.dotsPerMeterY() > 0)
        png_set_pHYs(png, info, png_uint_32(rows.dotsPerMeterX()),
            png_uint_32(rows.dotsPerMeterY()), PNG_RESOLUTION_METER);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, scheme.filters);
    png_set_compression_level(png, scheme.level);
    png_set_compression_strategy(png, scheme.strategy);
    png_write_info(png, info);
    if (scheme.filters == PNG_FILTER_NONE) {
        const int rowBytes = int(png_get_rowbytes(png, info));
        png_destroy_write_struct(&png, &info);
        return writeImageData(device, height, rowBytes, rowAt, scheme, reason);
    }
    for (int y = 0; y < height; ++y)
        png_write_row(png, rowAt(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}

bool encode(const QImage &image, QIODevice *device, QString *reason)
{
    PixelPacking::ImageRows rows(image);
    return encode(rows, device, reason);
}

bool encode(PixelRows &rows, QIODevice *device, QString *reason)
{
    // A large pattern's rows go unfiltered with run-length compression: for 8-bit rows that is
    // the smallest and fastest (measured on the largest discs); 1-bit rows, whose runs are not
    // whole bytes, take the default strategy (half the size of run-length there). A small image
    // is cheap to try three ways: filters pay off on some antialiased ones, the default
    // strategy on palette ones. Another way is kept only where it saves a sixth: on marks under
    // a pixel, which look like noise, it saves a twentieth at three times the time.
    const RowPacker packer(rows.layout(), rows.size().width());
    const Header layout(packer.layout());
    const bool bilevel = packer.layout().kind == Layout::Kind::Bilevel;
    // Level 4 for 1-bit rows: 30 % larger than level 6, and as fast as run-length was.
    const Scheme fast { PNG_FILTER_NONE, bilevel ? Z_DEFAULT_STRATEGY : Z_RLE, bilevel ? 4 : 6 };
    const QSize size = rows.size();
    const size_t rowBytes = size_t(packer.rowBytes());
    if (qint64(size.width()) * size.height() > PixelPacking::largeImagePixels) {
        std::vector<png_byte> row(rowBytes);
        return encodeWith(rows, size.height(),
            [&](int y) {
                rows.packRow(y, packer, row.data());
                return row.data();
            },
            layout, device, reason, fast);
    }
    // A small image is packed once (at most 12 MB) and kept for every encoding tried: the rows
    // may be a pattern drawn band by band, which each pass would otherwise draw again.
    std::vector<png_byte> packed(rowBytes * size_t(size.height()));
    for (int y = 0; y < size.height(); ++y)
        rows.packRow(y, packer, packed.data() + size_t(y) * rowBytes);
    // The three tried on every eighth row, or on a hundred-odd rows of a taller image; the whole
    // is encoded once, the chosen way.
    const int every = std::max(8, size.height() / 128);
    const auto sampleRow = [&](int y) { return packed.data() + size_t(y) * every * rowBytes; };
    const auto wholeRow = [&](int y) { return packed.data() + size_t(y) * rowBytes; };
    // The three at once, on as many cores: each into its own buffer, from the same packed rows.
    // libdeflate's level 4: half of level 6's time on marks under a pixel, for 4 % more.
    const Scheme schemes[] = { fast, Scheme { PNG_FILTER_NONE, Z_DEFAULT_STRATEGY, 4, true },
        Scheme { PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 6 } };
    const int sampleHeight = (size.height() + every - 1) / every;
    std::vector<std::future<qint64>> trials;
    for (const Scheme scheme : schemes)
        trials.push_back(std::async(std::launch::async | std::launch::deferred, [&, scheme] {
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            QString trialReason;
            return encodeWith(rows, sampleHeight, sampleRow, layout, &buffer, &trialReason, scheme)
                ? buffer.size()
                : qint64(-1);
        }));
    Scheme chosen = fast;
    qint64 smallest = -1;
    for (size_t i = 0; i < trials.size(); ++i) {
        qint64 bytes = trials[i].get();
        if (bytes >= 0 && i > 0)
            bytes = bytes * 6 / 5; // what a slower way must save
        if (bytes >= 0 && (smallest < 0 || bytes < smallest)) {
            smallest = bytes;
            chosen = schemes[i];
        }
    }
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    if (!encodeWith(rows, size.height(), wholeRow, layout, &whole, reason, chosen))
        return false;
    const QByteArray best = whole.data();
    if (device->write(best) != best.size()) {
        *reason = device->errorString();
        return false;
    }
    return true;
}

}
