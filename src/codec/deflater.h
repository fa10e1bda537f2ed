// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DEFLATER_H
#define QUVELTA_DEFLATER_H

#include <deque>
#include <functional>
#include <future>
#include <vector>

#include <zlib.h>

// A zlib stream that hands its output, in pieces, to a sink as it goes.
class Deflater
{
public:
    // The sink takes each piece of output and says whether it was stored.
    using Sink = std::function<bool(const char *data, int size)>;

    // Z_RLE suits patterns, long runs of few values: almost as small as the default, many
    // times faster.
    explicit Deflater(Sink sink, int level = 6, int strategy = Z_RLE);
    ~Deflater();
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    bool add(const unsigned char *data, int size) { return run(data, size, Z_NO_FLUSH); }
    bool finish() { return run(nullptr, 0, Z_FINISH); }

private:
    bool run(const unsigned char *data, int size, int flush);

    Sink sink;
    z_stream stream {};
    bool ready = false;
    char buffer[1 << 16];
};

// One zlib stream deflated on every core, as pigz makes it: the input is cut into pieces, each
// deflated on its own (no match reaches back across a cut: a run costs one more code there)
// and ended on a byte with a sync flush, so the pieces join into one stream; the Adler-32 sums
// of the pieces are combined. zlib rather than libdeflate, which cannot end a piece unfinished.
class ParallelDeflater
{
public:
    using Sink = Deflater::Sink;

    ParallelDeflater(Sink sink, int level, int strategy, int pieceBytes = 1 << 20);
    ~ParallelDeflater();
    ParallelDeflater(const ParallelDeflater &) = delete;
    ParallelDeflater &operator=(const ParallelDeflater &) = delete;

    bool add(const unsigned char *data, int size);
    bool finish();

private:
    struct Piece
    {
        std::vector<unsigned char> bytes;
        uLong adler = 1;
        z_off_t length = 0;
        bool ok = false;
    };
    void send(bool last);
    bool writeFirst();

    Sink sink;
    int level;
    int strategy;
    int pieceBytes;
    int depth;
    std::vector<unsigned char> pending;
    std::deque<std::future<Piece>> deflating;
    uLong adler = 1;
    bool ok = true;
};

#endif
