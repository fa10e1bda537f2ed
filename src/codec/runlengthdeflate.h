// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_RUNLENGTHDEFLATE_H
#define QUVELTA_RUNLENGTHDEFLATE_H

#include <cstddef>
#include <vector>

// Raw deflate data of the symbols zlib's run-length strategy (Z_RLE) makes: literals, and runs
// of the byte before as matches at distance 1 (and rows repeated as matches a row back), each
// block with its own Huffman codes, or stored where that is smaller. Made by hand for a
// measurement, on 30 MB of a coloured disc's rows (mostly runs, a few edges between): 111 ms, where
// zlib's run-length strategy took 307 ms for the same size and libdeflate's fastest level about
// half as long again (8 % smaller, but it cannot end a piece unfinished to join pieces made on
// every core).
namespace RunLengthDeflate {

// Appends `size` bytes as deflate blocks to `out`. The last piece of a stream ends with a final
// block; any other ends byte-aligned after an empty stored block (a sync flush), so pieces
// made apart join into one stream. A piece refers to no byte before it. Given the bytes of a
// row (3 to 32,768), a row the same as the one above is a few matches a row back: a code
// strip's rows, nearly all repeats, as a tiny share of libdeflate's time.
void compress(const unsigned char *data, size_t size, bool last, std::vector<unsigned char> *out,
    size_t rowBytes = 0);
// The longest row a match a row back reaches: deflate's window.
constexpr size_t widestRow = 32768;
}

#endif
