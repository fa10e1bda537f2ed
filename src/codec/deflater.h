// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_DEFLATER_H
#define QUVELTA_DEFLATER_H

#include <functional>

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

#endif
