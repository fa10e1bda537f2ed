// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DEFLATER_H
#define QUVELTA_DEFLATER_H

#include <deque>
#include <functional>
#include <future>
#include <vector>

#include <zlib.h>

// One zlib stream deflated on every core, as pigz makes it: the input is cut into pieces, each
// deflated on its own (no match reaches back across a cut: a run costs one more code there)
// and ended on a byte with a sync flush, so the pieces join into one stream; the Adler-32 sums
// of the pieces are combined. zlib rather than libdeflate, which cannot end a piece unfinished;
// the run-length strategy (Z_RLE) takes RunLengthDeflate, which makes the same symbols faster.
class ParallelDeflater
{
public:
    // The sink takes each piece of output, in order, on the calling thread, and says whether
    // it was stored.
    using Sink = std::function<bool(const char *data, int size)>;

    ParallelDeflater(Sink sink, int level, int strategy, int pieceBytes = 1 << 20);
    ~ParallelDeflater();
    ParallelDeflater(const ParallelDeflater &) = delete;
    ParallelDeflater &operator=(const ParallelDeflater &) = delete;

    // False once the sink has refused; running short of memory throws std::bad_alloc.
    bool add(const unsigned char *data, int size);
    bool finish();

private:
    struct Piece
    {
        std::vector<unsigned char> input;
        std::vector<unsigned char> bytes;
        uLong adler = 1;
        z_off_t length = 0;
        bool ok = false;
    };
    void send(bool last);
    bool writeFirst();
    // A buffer of a written piece, emptied, or a new one: fresh memory for every piece would
    // be mapped and its pages faulted in again each time.
    std::vector<unsigned char> takeSpare();

    Sink sink;
    int level;
    int strategy;
    int pieceBytes;
    int depth;
    std::vector<unsigned char> pending;
    std::deque<std::future<Piece>> deflating;
    std::vector<std::vector<unsigned char>> spare;
    uLong adler = 1;
    bool ok = true;
};

#endif
