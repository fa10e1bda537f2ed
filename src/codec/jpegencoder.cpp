// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "jpegencoder.h"

#include "background.h"
#include "pixelpacking.h"

#include <QtMath>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <deque>
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <new>
#include <thread>
#include <vector>

static_assert(JpegCodec::largestSide == JPEG_MAX_DIMENSION);

namespace JpegCodec {

namespace {

struct Destination
{
    jpeg_destination_mgr manager {};
    QIODevice *device = nullptr;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(1 << 16);
    QString reason;
};

struct ErrorHandler
{
    jpeg_error_mgr manager {};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void onError(j_common_ptr info)
{
    auto *handler = reinterpret_cast<ErrorHandler *>(info->err);
    (*info->err->format_message)(info, handler->message);
    std::longjmp(handler->jump, 1);
}

void onMessage(j_common_ptr, int) { }

// libjpeg's errors to the handler, which jumps back to its setjmp; its messages to nowhere.
void reportTo(jpeg_compress_struct &info, ErrorHandler &errors)
{
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onError;
    errors.manager.emit_message = onMessage;
}

Destination *destinationOf(j_compress_ptr info)
{
    return reinterpret_cast<Destination *>(info->dest);
}

void startDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    d->manager.next_output_byte = d->buffer.data();
    d->manager.free_in_buffer = d->buffer.size();
}

bool flush(Destination *d, size_t bytes)
{
    if (d->device->write(reinterpret_cast<const char *>(d->buffer.data()), qint64(bytes))
        == qint64(bytes))
        return true;
    d->reason = d->device->errorString();
    return false;
}

boolean emptyDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    if (!flush(d, d->buffer.size()))
        ERREXIT(info, JERR_FILE_WRITE);
    startDestination(info);
    return TRUE;
}

void finishDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    if (!flush(d, d->buffer.size() - d->manager.free_in_buffer))
        ERREXIT(info, JERR_FILE_WRITE);
}

// The image's size and resolution, as every piece of it is coded.
struct Frame
{
    QSize size;
    int dpmX = 0;
    int dpmY = 0;
    bool gray = false;
};

// Sets up a compressor, its destination given, as Qt's writer does.
void setUp(jpeg_compress_struct &info, const Frame &frame)
{
    const QSize size = frame.size;
    const int dpmX = frame.dpmX;
    const int dpmY = frame.dpmY;
    const bool gray = frame.gray;
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    // The resolution in whichever unit holds it more nearly, as Qt's writer records it.
    const double perInchX = dpmX * 2.54 / 100.0;
    const double perInchY = dpmY * 2.54 / 100.0;
    const double inchError = qAbs(perInchX - qRound(perInchX)) + qAbs(perInchY - qRound(perInchY));
    const double cmError
        = (qAbs(dpmX / 100.0 - qRound(dpmX / 100.0)) + qAbs(dpmY / 100.0 - qRound(dpmY / 100.0)))
        * 2.54;
    if (inchError < cmError) {
        info.density_unit = 1;
        info.X_density = UINT16(qRound(perInchX));
        info.Y_density = UINT16(qRound(perInchY));
    } else {
        info.density_unit = 2;
        info.X_density = UINT16((dpmX + 50) / 100);
        info.Y_density = UINT16((dpmY + 50) / 100);
    }
    jpeg_set_quality(&info, 75, TRUE);
}

// Row y's samples: grey levels or RGB triples.
void samplesOf(PixelPacking::PixelRows &rows, int y, bool gray,
    const PixelPacking::RowPacker *packer, JSAMPLE *samples)
{
    if (packer && packer->layout().kind == PixelPacking::Layout::Kind::Bilevel) {
        // Two colours come packed where the rows have them (a plain pattern's copy of its bits,
        // not its colours painted again): each bit becomes its colour's samples.
        thread_local std::vector<uchar> bits;
        bits.resize(size_t(packer->rowBytes()));
        rows.packRow(y, *packer, bits.data());
        // Eight pixels' samples at once, from a table of every byte's, kept while the colours
        // stay the same.
        const QRgb *palette = packer->layout().palette.constData();
        const int width = rows.size().width();
        const int channels = gray ? 1 : 3;
        thread_local std::vector<JSAMPLE> table;
        thread_local QRgb tableColors[2] = { 0, 0 };
        thread_local int tableChannels = 0;
        if (tableChannels != channels || tableColors[0] != palette[0]
            || tableColors[1] != palette[1]) {
            table.resize(size_t(256) * 8 * size_t(channels));
            for (int byte = 0; byte < 256; ++byte)
                for (int j = 0; j < 8; ++j) {
                    const QRgb c = palette[(byte >> (7 - j)) & 1];
                    JSAMPLE *at = table.data() + (size_t(byte) * 8 + size_t(j)) * size_t(channels);
                    at[0] = JSAMPLE(qRed(c));
                    if (!gray) {
                        at[1] = JSAMPLE(qGreen(c));
                        at[2] = JSAMPLE(qBlue(c));
                    }
                }
            tableColors[0] = palette[0];
            tableColors[1] = palette[1];
            tableChannels = channels;
        }
        const size_t chunk = size_t(8 * channels);
        const int whole = width / 8;
        for (int b = 0; b < whole; ++b)
            std::memcpy(
                samples + size_t(b) * chunk, table.data() + size_t(bits[size_t(b)]) * chunk, chunk);
        if (whole * 8 < width)
            std::memcpy(samples + size_t(whole) * chunk,
                table.data() + size_t(bits[size_t(whole)]) * chunk,
                size_t(width - whole * 8) * size_t(channels));
    } else if (packer) {
        rows.packRow(y, *packer, samples);
    } else if (gray) {
        const QRgb *pixels = rows.row(y);
        const int width = rows.size().width(); // not asked again for each pixel
        for (int x = 0; x < width; ++x)
            samples[x] = JSAMPLE(qRed(pixels[x]));
    } else {
        rows.rgbRow(y, samples);
    }
}

// The whole compression of a frame whose row y is rowAt(y), out of the caller's frame so that
// nothing there changes after its setjmp; nothing here needs a destructor, since an error jumps
// out of it.
template<typename RowAt>
void compress(
    jpeg_compress_struct &info, jpeg_destination_mgr *destination, const Frame &frame, RowAt rowAt)
{
    jpeg_create_compress(&info);
    info.dest = destination;
    setUp(info, frame);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rowAt(int(info.next_scanline));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
}

// A large image is coded in pieces of whole rows of blocks on every core, each a JPEG of its
// own in memory, joined by restart markers: the same blocks and codes, the coefficient that
// each block's first value is taken from starting afresh at each piece, as a restart has it.
// Every decoder reads the same pixels as from the file made in one piece; below this many
// pixels the file is that one, Qt's very bytes.
constexpr qint64 fewestPiecedPixels = 4'000'000;
constexpr size_t pieceSamples = size_t(4) << 20;

struct Piece
{
    std::vector<uchar> bytes; // a whole JPEG of the piece's rows, and room after it
    size_t length = 0; // the JPEG's bytes
    QString error;
    bool shortOfMemory = false;
};

// A piece's bytes, straight into its vector: room for a fifth of its samples at first (a
// pattern codes to less), doubled when short.
struct PieceDestination
{
    jpeg_destination_mgr manager {};
    std::vector<uchar> *bytes = nullptr;
    size_t *length = nullptr;
};

void startPiece(j_compress_ptr info)
{
    auto *d = reinterpret_cast<PieceDestination *>(info->dest);
    d->manager.next_output_byte = d->bytes->data();
    d->manager.free_in_buffer = d->bytes->size();
}

boolean growPiece(j_compress_ptr info)
{
    auto *d = reinterpret_cast<PieceDestination *>(info->dest);
    const size_t used = d->bytes->size();
    // No exception may pass through libjpeg's frames: short of memory is its own error.
    bool grown = true;
    try {
        d->bytes->resize(2 * used);
    } catch (const std::bad_alloc &) {
        grown = false;
    }
    if (!grown)
        ERREXIT(info, JERR_OUT_OF_MEMORY);
    d->manager.next_output_byte = d->bytes->data() + used;
    d->manager.free_in_buffer = d->bytes->size() - used;
    return TRUE;
}

void endPiece(j_compress_ptr info)
{
    auto *d = reinterpret_cast<PieceDestination *>(info->dest);
    *d->length = d->bytes->size() - d->manager.free_in_buffer;
}

// Into `room`, the bytes of a piece written before when there is one: its pages are in memory
// already, where new ones would each be faulted in and cleared.
Piece codePiece(const Frame &frame, const JSAMPLE *samples, std::vector<uchar> room)
{
    Piece piece;
    piece.bytes = std::move(room);
    const size_t rowSamples = size_t(frame.size.width()) * (frame.gray ? 1 : 3);
    const size_t wanted = std::max<size_t>(rowSamples * size_t(frame.size.height()) / 5, 1 << 12);
    if (piece.bytes.size() < wanted)
        piece.bytes.resize(wanted);
    PieceDestination destination;
    destination.bytes = &piece.bytes;
    destination.length = &piece.length;
    destination.manager.init_destination = startPiece;
    destination.manager.empty_output_buffer = growPiece;
    destination.manager.term_destination = endPiece;
    ErrorHandler errors;
    jpeg_compress_struct info {};
    reportTo(info, errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        piece.error = QString::fromLocal8Bit(errors.message);
        piece.shortOfMemory = errors.manager.msg_code == JERR_OUT_OF_MEMORY;
        return piece;
    }
    compress(info, &destination.manager, frame,
        [=](int y) { return const_cast<JSAMPLE *>(samples) + size_t(y) * rowSamples; });
    jpeg_destroy_compress(&info);
    return piece;
}

// Where a piece's markers lie: its scan's header and the coded data after it, up to its end.
struct Markers
{
    size_t frameHeight = 0; // the offset of the frame header's height
    size_t scan = 0; // the scan header's marker
    size_t data = 0; // the coded data
    size_t end = 0; // the end-of-image marker
};

bool markersOf(const uchar *b, size_t size, Markers *markers)
{
    size_t at = 2; // past the start-of-image marker
    while (at + 4 <= size && b[at] == 0xff) {
        const uchar marker = b[at + 1];
        const size_t length = size_t(b[at + 2]) << 8 | b[at + 3];
        if (marker == 0xc0)
            markers->frameHeight = at + 5;
        if (marker == 0xda) {
            markers->scan = at;
            markers->data = at + 2 + length;
            markers->end = size - 2;
            return markers->frameHeight > 0 && markers->data <= markers->end
                && b[markers->end] == 0xff && b[markers->end + 1] == 0xd9;
        }
        at += 2 + length;
    }
    return false;
}

// Pieces of `rowsOfBlocks` rows of blocks `blockSize` pixels square.
bool encodeInPieces(PixelPacking::PixelRows &rows, const Frame &frame,
    const PixelPacking::RowPacker *packer, int blockSize, int rowsOfBlocks, QIODevice *device,
    QString *reason)
{
    const int height = frame.size.height();
    const int pieceRows = blockSize * rowsOfBlocks;
    const int blocksPerPiece = rowsOfBlocks * ((frame.size.width() + blockSize - 1) / blockSize);
    const size_t rowSamples = size_t(frame.size.width()) * (frame.gray ? 1 : 3);
    const int pieces = (height + pieceRows - 1) / pieceRows;
    const int depth = int(std::max(2u, std::thread::hardware_concurrency()));
    std::deque<std::future<Piece>> coding;
    int written = 0;
    bool ok = true;
    const auto write = [&](const char *data, size_t size) {
        ok = ok && device->write(data, qint64(size)) == qint64(size);
        if (!ok && reason->isEmpty())
            *reason = device->errorString();
    };
    std::vector<std::vector<uchar>> spare; // the bytes of pieces written, for the next
    const auto writeFirst = [&] {
        Piece piece = coding.front().get();
        coding.pop_front();
        if (piece.shortOfMemory)
            throw std::bad_alloc();
        Markers at;
        if (!piece.error.isEmpty() || !markersOf(piece.bytes.data(), piece.length, &at)) {
            if (ok)
                *reason
                    = piece.error.isEmpty() ? QStringLiteral("cannot code the image") : piece.error;
            ok = false;
            return;
        }
        const char *b = reinterpret_cast<const char *>(piece.bytes.data());
        if (written == 0) {
            // The first piece's headers, for the whole height, with the restart interval.
            std::vector<uchar> head(
                piece.bytes.begin(), piece.bytes.begin() + std::ptrdiff_t(at.scan));
            head[at.frameHeight] = uchar(height >> 8);
            head[at.frameHeight + 1] = uchar(height);
            const uchar restart[]
                = { 0xff, 0xdd, 0x00, 0x04, uchar(blocksPerPiece >> 8), uchar(blocksPerPiece) };
            head.insert(head.end(), std::begin(restart), std::end(restart));
            write(reinterpret_cast<const char *>(head.data()), head.size());
            write(b + at.scan, at.data - at.scan);
        } else {
            const char marker[] = { char(0xff), char(0xd0 + (written - 1) % 8) };
            write(marker, 2);
        }
        write(b + at.data, at.end - at.data);
        ++written;
        spare.push_back(std::move(piece.bytes));
    };
    // The samples of the pieces being coded, each buffer used again once its piece is written.
    std::vector<std::unique_ptr<JSAMPLE[]>> buffers;
    for (int i = 0; i < depth; ++i)
        buffers.push_back(std::make_unique<JSAMPLE[]>(size_t(pieceRows) * rowSamples));
    try {
        for (int index = 0; ok && index < pieces; ++index) {
            const int top = index * pieceRows;
            const int count = std::min(pieceRows, height - top);
            JSAMPLE *samples = buffers[size_t(index % depth)].get();
            for (int r = 0; r < count; ++r)
                samplesOf(rows, top + r, frame.gray, packer, samples + size_t(r) * rowSamples);
            Frame part = frame;
            part.size.setHeight(count);
            // Held through a pointer: the task is copied, and the room must not be.
            auto room = std::make_shared<std::vector<uchar>>();
            if (!spare.empty()) {
                *room = std::move(spare.back());
                spare.pop_back();
            }
            coding.push_back(inBackground(
                [part, samples, room] { return codePiece(part, samples, std::move(*room)); }));
            if (int(coding.size()) >= depth)
                writeFirst();
        }
        while (ok && !coding.empty())
            writeFirst();
    } catch (...) {
        for (auto &f : coding)
            if (f.valid())
                f.wait();
        throw;
    }
    for (auto &f : coding)
        if (f.valid())
            f.wait();
    const char end[] = { char(0xff), char(0xd9) };
    write(end, 2);
    return ok;
}
}

bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason)
{
    // Greys go as one grey component, as Qt writes a grey image: a third of the samples to
    // code, and no colour to lose. Grey levels, and two colours' bits, come packed where the
    // rows have them.
    using Kind = PixelPacking::Layout::Kind;
    const PixelPacking::Layout &layout = rows.layout();
    const bool gray = layout.onlyGreys();
    const std::unique_ptr<PixelPacking::RowPacker> packer
        = layout.kind == Kind::Gray || layout.kind == Kind::Bilevel
        ? std::make_unique<PixelPacking::RowPacker>(layout, rows.size().width())
        : nullptr;
    // Rows of blocks of 8 pixels (grey) or of 16 (colour, its chroma halved both ways), as many
    // as a piece of about 256 rows holds within the restart interval's 65,535 blocks and 4 MB
    // of samples (a long strip's rows are wide).
    const int blockSize = gray ? 8 : 16;
    const int blocksPerRow = (rows.size().width() + blockSize - 1) / blockSize;
    const size_t blockRowSamples = size_t(rows.size().width()) * (gray ? 1 : 3) * size_t(blockSize);
    const int rowsOfBlocks = std::min({ 256 / blockSize, 65535 / std::max(blocksPerRow, 1),
        int(std::max<size_t>(1, pieceSamples / std::max<size_t>(blockRowSamples, 1))) });
    // (Past libjpeg's largest side, the one piece says so at once.)
    if (qint64(rows.size().width()) * rows.size().height() >= fewestPiecedPixels
        && rows.size().width() <= largestSide && rows.size().height() <= largestSide
        && rowsOfBlocks >= 1 && std::thread::hardware_concurrency() > 1) {
        const Frame frame { rows.size(), rows.dotsPerMeterX(), rows.dotsPerMeterY(), gray };
        return encodeInPieces(rows, frame, packer.get(), blockSize, rowsOfBlocks, device, reason);
    }
    std::vector<JSAMPLE> samples(size_t(rows.size().width()) * 3);
    Destination destination;
    destination.device = device;
    destination.manager.init_destination = startDestination;
    destination.manager.empty_output_buffer = emptyDestination;
    destination.manager.term_destination = finishDestination;
    ErrorHandler errors;
    jpeg_compress_struct info {};
    reportTo(info, errors);
    // libjpeg's errors jump back here, past compress's frame.
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        // Short of memory, libjpeg is as any other allocation: the caller says what it was doing.
        if (errors.manager.msg_code == JERR_OUT_OF_MEMORY)
            throw std::bad_alloc();
        *reason = !destination.reason.isEmpty() ? destination.reason
                                                : QString::fromLocal8Bit(errors.message);
        return false;
    }
    compress(info, &destination.manager,
        { rows.size(), rows.dotsPerMeterX(), rows.dotsPerMeterY(), gray }, [&](int y) {
            samplesOf(rows, y, gray, packer.get(), samples.data());
            return samples.data();
        });
    jpeg_destroy_compress(&info);
    return true;
}

}
