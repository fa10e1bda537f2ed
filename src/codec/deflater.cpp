// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "deflater.h"

#include "background.h"
#include "runlengthdeflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>
#include <thread>
#include <utility>

namespace {

// A piece as raw deflate data: ended with a sync flush, or finished when it is the last.
bool deflatePiece(const std::vector<unsigned char> &input, int level, int strategy, bool last,
    std::vector<unsigned char> *out)
{
    z_stream stream {};
    const int init = deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy);
    if (init == Z_MEM_ERROR)
        throw std::bad_alloc(); // worded by the caller, as every other allocation
    if (init != Z_OK)
        return false;
    out->resize(deflateBound(&stream, uLong(input.size())) + 16);
    stream.next_in = const_cast<unsigned char *>(input.data());
    stream.avail_in = uInt(input.size());
    stream.next_out = out->data();
    stream.avail_out = uInt(out->size());
    const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done = last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
    out->resize(out->size() - stream.avail_out);
    deflateEnd(&stream);
    return done;
}

}

ParallelDeflater::ParallelDeflater(Sink sink, int level, int strategy, int pieceBytes)
    : sink(std::move(sink)),
      level(level),
      strategy(strategy),
      pieceBytes(std::max(pieceBytes, 1)),
      depth(int(std::max(2u, std::thread::hardware_concurrency())))
{
    // The zlib header: deflate with a 32 KB window; the level's hint is for show only.
    const unsigned char cmf = 0x78;
    const unsigned char flg = level <= 1 ? 0x01 : level >= 7 ? 0xda : 0x9c;
    const char header[2] = { char(cmf), char(flg) };
    ok = this->sink(header, 2);
    pending.reserve(size_t(this->pieceBytes));
}

ParallelDeflater::~ParallelDeflater()
{
    for (auto &piece : deflating)
        if (piece.valid())
            piece.wait();
}

bool ParallelDeflater::add(const unsigned char *data, int size)
{
    while (ok && size > 0) {
        const int take = std::min(size, pieceBytes - int(pending.size()));
        pending.insert(pending.end(), data, data + take);
        data += take;
        size -= take;
        if (int(pending.size()) == pieceBytes)
            send(false);
    }
    return ok;
}

void ParallelDeflater::send(bool last)
{
    auto work = std::make_shared<Piece>();
    work->input = std::move(pending);
    work->bytes = takeSpare();
    deflating.push_back(inBackground([work, level = level, strategy = strategy, last] {
        Piece &piece = *work;
        const std::vector<unsigned char> &input = piece.input;
        piece.adler = libdeflate_adler32(1, input.data(), input.size()); // zlib's, faster
        piece.length = z_off_t(input.size());
        if (strategy == Z_RLE) {
            RunLengthDeflate::compress(input.data(), input.size(), last, &piece.bytes);
            piece.ok = true;
        } else {
            piece.ok = deflatePiece(input, level, strategy, last, &piece.bytes);
        }
        return std::move(piece);
    }));
    pending = takeSpare();
    pending.reserve(size_t(pieceBytes));
    while (ok && int(deflating.size()) >= depth)
        ok = writeFirst();
}

std::vector<unsigned char> ParallelDeflater::takeSpare()
{
    if (spare.empty())
        return {};
    std::vector<unsigned char> buffer = std::move(spare.back());
    spare.pop_back();
    buffer.clear();
    return buffer;
}

bool ParallelDeflater::writeFirst()
{
    Piece piece = deflating.front().get();
    deflating.pop_front();
    if (!piece.ok)
        return false;
    adler = adler32_combine(adler, piece.adler, piece.length);
    const bool stored
        = sink(reinterpret_cast<const char *>(piece.bytes.data()), int(piece.bytes.size()));
    // As many as the pieces in flight take: an input and an output each, and the next input.
    for (std::vector<unsigned char> *buffer : { &piece.input, &piece.bytes })
        if (spare.size() < size_t(2 * depth + 1))
            spare.push_back(std::move(*buffer));
    return stored;
}

bool ParallelDeflater::finish()
{
    send(true);
    while (ok && !deflating.empty())
        ok = writeFirst();
    const unsigned char trailer[4] = { static_cast<unsigned char>(adler >> 24),
        static_cast<unsigned char>(adler >> 16), static_cast<unsigned char>(adler >> 8),
        static_cast<unsigned char>(adler) };
    return ok && sink(reinterpret_cast<const char *>(trailer), 4);
}
