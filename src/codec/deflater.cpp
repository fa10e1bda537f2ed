// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "deflater.h"

#include <utility>

Deflater::Deflater(Sink sink, int level, int strategy) : sink(std::move(sink))
{
    ready = deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy) == Z_OK;
}

Deflater::~Deflater()
{
    if (ready)
        deflateEnd(&stream);
}

bool Deflater::run(const unsigned char *data, int size, int flush)
{
    if (!ready)
        return false;
    stream.next_in = const_cast<unsigned char *>(data);
    stream.avail_in = uInt(size);
    int result;
    do {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR)
            return false;
        const int produced = int(sizeof buffer - stream.avail_out);
        if (produced > 0 && !sink(buffer, produced))
            return false;
    } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return true;
}
