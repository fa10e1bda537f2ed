// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "runlengthdeflate.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace RunLengthDeflate {

namespace {

constexpr int literalCodes = 286; // 0-255 bytes, 256 the block's end, 257-285 lengths
constexpr int endOfBlock = 256;
constexpr int maxCodeBits = 15;
constexpr int maxLengthCodeBits = 7;
constexpr int longestMatch = 258;
constexpr size_t blockTokens = size_t(1) << 14;

// Match lengths 3..258 as deflate codes them: symbol, extra bits and their value.
struct LengthCodes
{
    std::array<uint16_t, longestMatch + 1> symbol {};
    std::array<uint8_t, longestMatch + 1> extraBits {};
    std::array<uint16_t, longestMatch + 1> extra {};
    std::array<uint8_t, 288> extraBitsOfSymbol {}; // by literal/length symbol

    LengthCodes()
    {
        static const int base[29] = { 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35,
            43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258 };
        static const int bits[29]
            = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0 };
        for (int code = 0; code < 29; ++code) {
            const int end = code == 28 ? longestMatch + 1 : std::min(base[code + 1], longestMatch);
            for (int length = base[code]; length < end; ++length) {
                symbol[size_t(length)] = uint16_t(257 + code);
                extraBits[size_t(length)] = uint8_t(bits[code]);
                extra[size_t(length)] = uint16_t(length - base[code]);
            }
            extraBitsOfSymbol[size_t(257 + code)] = uint8_t(bits[code]);
        }
    }
};

const LengthCodes &lengthCodes()
{
    static const LengthCodes codes;
    return codes;
}

// Bits written least significant first, as deflate packs them, straight into the output,
// which grows ahead of them: put() writes within the room made for it, a block's worst case
// made once rather than looked at for each code. Each put() stores eight bytes and moves on by
// the whole bytes among them, with no branch: the room made must hold eight past the last.
class BitWriter
{
public:
    BitWriter(std::vector<unsigned char> *out, size_t expected) : out(out), used(out->size())
    {
        reserve(expected);
    }
    ~BitWriter() { out->resize(used); }

    // Makes room for `more` bytes of put() beyond those written.
    void reserve(size_t more)
    {
        more += sizeof buffer;
        if (used + more > out->size())
            out->resize(std::max(out->size() * 2, used + more));
    }
    // Where the bits go and those held, as plain values for a loop of many put()s: the
    // writer's members would be read again after each store (the output's bytes might be any
    // object's, as far as the compiler knows), a loop's local stays in registers.
    struct Cursor
    {
        unsigned char *at;
        uint64_t buffer;
        int filled;

        // At most 56 bits; fewer than eight are held between calls.
        void put(uint64_t bits, int count)
        {
            const uint64_t held = buffer | bits << filled;
            const int all = filled + count;
            for (size_t i = 0; i < sizeof held; ++i) // one store, as compilers see it
                at[i] = uint8_t(held >> (8 * i));
            at += all >> 3;
            buffer = held >> (all & ~7);
            filled = all & 7;
        }
    };
    Cursor cursor() const { return { out->data() + used, buffer, filled }; }
    void resume(const Cursor &c)
    {
        used = size_t(c.at - out->data());
        buffer = c.buffer;
        filled = c.filled;
    }

    void put(uint64_t bits, int count)
    {
        Cursor c = cursor();
        c.put(bits, count);
        resume(c);
    }
    // Pads with zeros to a whole byte and writes what is held.
    void align()
    {
        reserve(1);
        if (filled > 0)
            (*out)[used++] = uint8_t(buffer);
        buffer = 0;
        filled = 0;
    }
    void bytes(const unsigned char *data, size_t size)
    {
        reserve(size);
        std::copy(data, data + size, out->data() + used);
        used += size;
    }

private:
    std::vector<unsigned char> *out;
    size_t used;
    uint64_t buffer = 0;
    int filled = 0;
};

// Code lengths of at most `limit` bits for the frequencies, by Huffman's construction; where
// that is deeper than the limit, the frequencies are flattened and it is built again (each
// round halves them, and equal frequencies make a balanced tree). At least two symbols get a
// code, as zlib does, so that every inflater takes the code as complete.
void codeLengths(const uint32_t *frequencies, int count, int limit, uint8_t *lengths)
{
    std::vector<uint32_t> weights(frequencies, frequencies + count);
    int used = int(std::count_if(weights.begin(), weights.end(), [](uint32_t w) { return w > 0; }));
    for (int s = 0; used < 2 && s < count; ++s)
        if (weights[size_t(s)] == 0) {
            weights[size_t(s)] = 1;
            ++used;
        }
    std::vector<int> leaves;
    std::vector<uint64_t> weight; // leaves, then the nodes made of them, in order of making
    std::vector<int> parent;
    for (;;) {
        leaves.clear();
        for (int s = 0; s < count; ++s)
            if (weights[size_t(s)] > 0)
                leaves.push_back(s);
        std::stable_sort(leaves.begin(), leaves.end(),
            [&](int a, int b) { return weights[size_t(a)] < weights[size_t(b)]; });
        const size_t n = leaves.size();
        weight.assign(2 * n - 1, 0);
        parent.assign(2 * n - 1, -1);
        for (size_t i = 0; i < n; ++i)
            weight[i] = weights[size_t(leaves[i])];
        // Two queues: the sorted leaves and the made nodes, whose weights come in order too.
        size_t nextLeaf = 0, nextNode = n, made = n;
        const auto takeLightest = [&] {
            if (nextLeaf < n && (nextNode == made || weight[nextLeaf] <= weight[nextNode]))
                return nextLeaf++;
            return nextNode++;
        };
        while (made < 2 * n - 1) {
            const size_t a = takeLightest();
            const size_t b = takeLightest();
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = int(made);
            ++made;
        }
        std::vector<int> depth(2 * n - 1, 0);
        int deepest = 0;
        for (size_t i = 2 * n - 1; i-- > 0;) {
            depth[i] = parent[i] < 0 ? 0 : depth[size_t(parent[i])] + 1;
            if (i < n)
                deepest = std::max(deepest, depth[i]);
        }
        if (deepest <= limit) {
            std::fill(lengths, lengths + count, uint8_t(0));
            for (size_t i = 0; i < n; ++i)
                lengths[leaves[i]] = uint8_t(depth[i]);
            return;
        }
        for (uint32_t &w : weights)
            if (w > 0)
                w = (w >> 1) | 1;
    }
}

// The canonical codes of the lengths, bit-reversed to be written least significant first.
void canonicalCodes(const uint8_t *lengths, int count, uint16_t *codes)
{
    int perLength[maxCodeBits + 1] = {};
    for (int s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    int next[maxCodeBits + 2] = {};
    for (int bits = 1, code = 0; bits <= maxCodeBits; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < count; ++s) {
        const int bits = lengths[s];
        if (bits == 0)
            continue;
        uint32_t code = uint32_t(next[bits]++), reversed = 0;
        for (int b = 0; b < bits; ++b, code >>= 1)
            reversed = (reversed << 1) | (code & 1u);
        codes[s] = uint16_t(reversed);
    }
}

// Deflate's fixed literal/length code.
struct FixedCodes
{
    uint8_t lengths[288] {};
    uint16_t codes[288] {};
    uint16_t distanceCodes[30] {}; // five bits each

    FixedCodes()
    {
        for (int s = 0; s < 288; ++s)
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        canonicalCodes(lengths, 288, codes);
        uint8_t five[30];
        std::fill(std::begin(five), std::end(five), uint8_t(5));
        canonicalCodes(five, 30, distanceCodes);
    }
};

const FixedCodes &fixedCodes()
{
    static const FixedCodes codes;
    return codes;
}

// A token: a byte (0-255), 256 + the length of a run at distance 1, or rowMatch + the length of
// a match a row back.
using Token = uint16_t;
constexpr Token rowMatch = 256 + longestMatch + 1;
constexpr int tokenKinds = rowMatch + longestMatch + 1;

// Deflate's distance code for a distance: symbol, extra bits and their value.
struct DistanceCode
{
    int symbol = 0;
    int extraBits = 0;
    uint32_t extra = 0;
};

DistanceCode distanceCode(size_t distance)
{
    DistanceCode d;
    size_t base = 1;
    for (d.symbol = 0; d.symbol < 29; ++d.symbol) {
        d.extraBits = d.symbol < 4 ? 0 : d.symbol / 2 - 1;
        if (distance < base + (size_t(1) << d.extraBits))
            break;
        base += size_t(1) << d.extraBits;
    }
    d.extra = uint32_t(distance - base);
    return d;
}

// How many bytes from `at` equal the byte before it, at most `most`.
size_t runFrom(const unsigned char *data, size_t at, size_t most)
{
    const unsigned char value = data[at - 1];
    uint64_t pattern;
    std::memset(&pattern, value, sizeof pattern);
    size_t n = 0;
    for (; n + 8 <= most; n += 8) {
        uint64_t word;
        std::memcpy(&word, data + at + n, 8);
        if (word != pattern)
            break;
    }
    while (n < most && data[at + n] == value)
        ++n;
    return n;
}

// How many bytes from `at` (> 0) come before the first that starts a run of three or more equal
// to the byte before it, looked at eight places at a time; at most `most`. Bytes of marks
// under a pixel are mostly such literals, and one place at a time each would be a guess.
size_t literalsFrom(const unsigned char *data, size_t at, size_t most, size_t size)
{
    constexpr uint64_t ones = 0x0101010101010101u;
    constexpr uint64_t highs = 0x8080808080808080u;
    size_t n = 0;
    // Eight places p at once: data[p - 1 .. p + 2] are all equal where (a ^ b) | (b ^ c) | (c ^ d)
    // has a zero byte; the test may flag more, never fewer, and the place is found below.
    for (; n + 8 <= most && at + n + 10 <= size; n += 8) {
        uint64_t a, b, c, d;
        std::memcpy(&a, data + at + n - 1, 8);
        std::memcpy(&b, data + at + n, 8);
        std::memcpy(&c, data + at + n + 1, 8);
        std::memcpy(&d, data + at + n + 2, 8);
        const uint64_t z = (a ^ b) | (b ^ c) | (c ^ d);
        const uint64_t zeros = (z - ones) & ~z & highs;
        if (zeros != 0)
            break;
    }
    for (; n < most; ++n) {
        const size_t p = at + n;
        if (p + 2 < size && data[p] == data[p - 1] && data[p + 1] == data[p - 1]
            && data[p + 2] == data[p - 1])
            break;
    }
    return n;
}

// One block's tokens from `data[from..]`, up to blockTokens; returns where it stopped. The
// symbols are counted in four tables by position, summed at the end: a run of edges often
// repeats a few bytes, and one table would wait on each count before the next.
size_t tokenize(const unsigned char *data, size_t from, size_t size, size_t rowBytes,
    std::vector<Token> *tokens, uint32_t *frequencies, size_t *rowMatches)
{
    const LengthCodes &lc = lengthCodes();
    uint32_t counts[4][literalCodes] = {};
    tokens->resize(blockTokens);
    Token *out = tokens->data();
    Token *const full = out + blockTokens - 2;
    size_t at = from;
    // A match of `left` bytes as matches of at most 258, never leaving a remainder of 1 or 2
    // (which would be literals): a shorter match leaves three.
    const auto matches = [&](size_t left, Token kind) {
        while (left >= 3 && out < full) {
            const size_t length = std::min(left, size_t(longestMatch));
            const size_t take = left - length > 0 && left - length < 3 && length > 3
                ? length - (3 - (left - length))
                : length;
            *out++ = Token(kind + take);
            ++counts[at & 3][lc.symbol[take]];
            left -= take;
            at += take;
        }
        return left;
    };
    while (at < size && out < full) {
        size_t end = size;
        if (rowBytes > 0) {
            // A row the same as the one above goes as matches a row back, whole within a block.
            end = std::min(size, (at / rowBytes + 1) * rowBytes);
            if (at % rowBytes == 0 && at >= rowBytes && end - at == rowBytes
                && std::memcmp(data + at, data + at - rowBytes, rowBytes) == 0) {
                if (size_t(full - out) < rowBytes / 3 + 1)
                    break;
                const Token *before = out;
                matches(rowBytes, rowMatch);
                *rowMatches += size_t(out - before);
                continue;
            }
        }
        // Most bytes of an edge differ from the one before: literals up to the next run.
        const size_t literals
            = at == 0 ? 1 : literalsFrom(data, at, std::min(end - at, size_t(full - out)), end);
        const size_t literalEnd = at + literals;
        for (; at + 4 <= literalEnd; at += 4, out += 4) {
            const unsigned char a = data[at], b = data[at + 1], c = data[at + 2], d = data[at + 3];
            out[0] = a, out[1] = b, out[2] = c, out[3] = d;
            ++counts[0][a], ++counts[1][b], ++counts[2][c], ++counts[3][d];
        }
        for (; at < literalEnd; ++at) {
            *out++ = data[at];
            ++counts[at & 3][data[at]];
        }
        if (at == end || out == full)
            continue;
        const size_t run = runFrom(data, at, end - at);
        if (run < 3)
            continue; // the first byte was a literal, at the start of the data

        size_t left = matches(run, 256);
        if (left >= 3)
            break; // the block is full; the run goes on in the next
        for (; left > 0; --left, ++at) {
            *out++ = data[at];
            ++counts[at & 3][data[at]];
        }
    }
    tokens->resize(size_t(out - tokens->data()));
    for (int s = 0; s < literalCodes; ++s)
        frequencies[s] = counts[0][s] + counts[1][s] + counts[2][s] + counts[3][s];
    return at;
}

// The lengths of both codes as one sequence, in the code-length code's run-length symbols:
// a symbol (0-18) and its extra bits' value.
struct LengthSymbol
{
    uint8_t symbol;
    uint8_t extra;
};

std::vector<LengthSymbol> lengthSymbols(const uint8_t *lengths, int count)
{
    std::vector<LengthSymbol> out;
    for (int i = 0; i < count;) {
        const uint8_t value = lengths[i];
        int run = 1;
        while (i + run < count && lengths[i + run] == value)
            ++run;
        int left = run;
        if (value == 0) {
            while (left >= 11) {
                const int take = std::min(left, 138);
                out.push_back({ 18, uint8_t(take - 11) });
                left -= take;
            }
            if (left >= 3) {
                out.push_back({ 17, uint8_t(left - 3) });
                left = 0;
            }
        } else {
            out.push_back({ value, 0 });
            --left;
            while (left >= 3) {
                const int take = std::min(left, 6);
                out.push_back({ 16, uint8_t(take - 3) });
                left -= take;
            }
        }
        for (; left > 0; --left)
            out.push_back({ value, 0 });
        i += run;
    }
    return out;
}

void storedBlocks(BitWriter &bits, const unsigned char *data, size_t size, bool final)
{
    size_t at = 0;
    do {
        const size_t take = std::min(size - at, size_t(65535));
        const bool last = final && at + take == size;
        bits.reserve(8);
        bits.put(last ? 1 : 0, 3);
        bits.align();
        const unsigned char header[4] = { uint8_t(take), uint8_t(take >> 8), uint8_t(~take),
            uint8_t(~take >> 8) };
        bits.bytes(header, 4);
        bits.bytes(data + at, take);
        at += take;
    } while (at < size);
}

void block(BitWriter &bits, const unsigned char *data, size_t from, size_t to,
    const std::vector<Token> &tokens, uint32_t *frequencies, size_t rowBytes, size_t rowMatches,
    bool final)
{
    static constexpr int order[19]
        = { 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15 };
    const LengthCodes &lc = lengthCodes();
    frequencies[endOfBlock] = 1;
    uint8_t lengths[literalCodes] = {};
    codeLengths(frequencies, literalCodes, maxCodeBits, lengths);
    int literals = literalCodes;
    while (literals > 257 && lengths[literals - 1] == 0)
        --literals;
    // The literal/length code's lengths, then the distance code's: distance 1, code 0 of two
    // one-bit codes (two keep the code complete, as zlib makes it), and where rows repeat, the
    // row's distance as the other.
    const DistanceCode row = rowMatches > 0 ? distanceCode(rowBytes) : DistanceCode { 1, 0, 0 };
    const int distances = row.symbol + 1;
    uint8_t sequence[literalCodes + 30] = {};
    std::copy(lengths, lengths + literals, sequence);
    sequence[literals] = sequence[literals + row.symbol] = 1;
    const std::vector<LengthSymbol> header = lengthSymbols(sequence, literals + distances);
    uint32_t headerFrequencies[19] = {};
    for (const LengthSymbol &s : header)
        ++headerFrequencies[s.symbol];
    uint8_t headerLengths[19] = {};
    codeLengths(headerFrequencies, 19, maxLengthCodeBits, headerLengths);
    int headerCodes = 19;
    while (headerCodes > 4 && headerLengths[order[headerCodes - 1]] == 0)
        --headerCodes;

    // The block's size both ways; stored wins where the bytes do not shrink.
    static constexpr int extraOf[19] = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7 };
    uint64_t codedBits = 3 + 5 + 5 + 4 + 3 * uint64_t(headerCodes);
    for (const LengthSymbol &s : header)
        codedBits += headerLengths[s.symbol] + extraOf[s.symbol];
    // Each match adds its length's extra bits, and a one-bit distance code.
    const auto &extraBitsOf = lc.extraBitsOfSymbol;
    for (int s = 0; s < literalCodes; ++s)
        codedBits += uint64_t(frequencies[s]) * (lengths[s] + extraBitsOf[s] + (s > 256 ? 1 : 0));
    codedBits += uint64_t(rowMatches) * uint64_t(row.extraBits);
    // The fixed codes cost no header: a short block is smaller with them.
    const FixedCodes &fixed = fixedCodes();
    uint64_t fixedBits = 3;
    for (int s = 0; s < literalCodes; ++s)
        fixedBits += uint64_t(frequencies[s]) * (fixed.lengths[s] + extraBitsOf[s]);
    for (int s = 257; s < literalCodes; ++s) // a 5-bit distance code after each match
        fixedBits += uint64_t(frequencies[s]) * 5;
    fixedBits += uint64_t(rowMatches) * uint64_t(row.extraBits);
    const uint64_t storedBytes = (to - from) + 5 * ((to - from) / 65535 + 1);
    if (std::min(codedBits, fixedBits) / 8 + 1 >= storedBytes) {
        storedBlocks(bits, data + from, to - from, final);
        return;
    }
    // A code of 15 bits, 5 extra and the distance's with its 13 extra is at most 5 bytes; the
    // header 600.
    bits.reserve(5 * tokens.size() + 1024);
    uint16_t dynamicCodes[literalCodes] = {};
    const bool useFixed = fixedBits <= codedBits;
    const uint16_t *codes = useFixed ? fixed.codes : dynamicCodes;
    const uint8_t *codeBits = useFixed ? fixed.lengths : lengths;
    // Distance 1 is code 0 either way; the row's, the other one-bit code, or its fixed 5 bits.
    const int distanceBits = useFixed ? 5 : 1;
    const uint32_t rowDistance = useFixed ? fixed.distanceCodes[row.symbol] : 1;
    bits.put(final ? 1 : 0, 1);
    if (useFixed) {
        bits.put(1, 2);
    } else {
        canonicalCodes(lengths, literalCodes, dynamicCodes);
        uint16_t headerCodesOf[19] = {};
        canonicalCodes(headerLengths, 19, headerCodesOf);
        bits.put(2, 2);
        bits.put(uint32_t(literals - 257), 5);
        bits.put(uint32_t(distances - 1), 5);
        bits.put(uint32_t(headerCodes - 4), 4);
        for (int i = 0; i < headerCodes; ++i)
            bits.put(headerLengths[order[i]], 3);
        for (const LengthSymbol &s : header) {
            bits.put(headerCodesOf[s.symbol], headerLengths[s.symbol]);
            if (extraOf[s.symbol] > 0)
                bits.put(s.extra, extraOf[s.symbol]);
        }
    }
    // Each token's whole code as one: a byte's, or a length's with its extra bits and the
    // distance's code after it (at most 15 + 5 + 5 bits), and a row's distance's extra bits.
    struct Code
    {
        uint64_t bits;
        int count;
    };
    Code tokenCodes[tokenKinds];
    int longest = 0; // the longest code of a token the block has, but a row's match
    for (int t = 0; t < 256; ++t) {
        tokenCodes[t] = { codes[t], codeBits[t] };
        longest = std::max(longest, frequencies[t] > 0 ? int(codeBits[t]) : 0);
    }
    for (int length = 3; length <= longestMatch; ++length) {
        const int symbol = lc.symbol[size_t(length)];
        const int extraBits = lc.extraBits[size_t(length)];
        const uint64_t lengthCode
            = codes[symbol] | uint64_t(lc.extra[size_t(length)]) << codeBits[symbol];
        const int lengthBits = codeBits[symbol] + extraBits;
        tokenCodes[256 + length] = { lengthCode, lengthBits + distanceBits };
        longest = std::max(longest, frequencies[symbol] > 0 ? lengthBits + distanceBits : 0);
        tokenCodes[rowMatch + length] = { lengthCode | uint64_t(rowDistance) << lengthBits
                | uint64_t(row.extra) << (lengthBits + distanceBits),
            lengthBits + distanceBits + row.extraBits };
    }
    const size_t n = tokens.size();
    size_t i = 0;
    BitWriter::Cursor cursor = bits.cursor();
    // Several tokens a put, as many as 56 bits surely hold (three where no code is longer
    // than 18 bits, as in most blocks of marks under a pixel; four within 14), but where rows
    // repeat (a row's match may be 38 bits): each put waits on the last, the groups do not.
    for (; rowMatches == 0 && longest <= 14 && i + 3 < n; i += 4) {
        const Code &a = tokenCodes[tokens[i]], &b = tokenCodes[tokens[i + 1]],
                   &c = tokenCodes[tokens[i + 2]], &d = tokenCodes[tokens[i + 3]];
        const int ab = a.count + b.count;
        const int abc = ab + c.count;
        cursor.put(a.bits | b.bits << a.count | c.bits << ab | d.bits << abc, abc + d.count);
    }
    for (; rowMatches == 0 && longest <= 18 && i + 2 < n; i += 3) {
        const Code &a = tokenCodes[tokens[i]], &b = tokenCodes[tokens[i + 1]],
                   &c = tokenCodes[tokens[i + 2]];
        const int ab = a.count + b.count;
        cursor.put(a.bits | b.bits << a.count | c.bits << ab, ab + c.count);
    }
    for (; rowMatches == 0 && i + 1 < n; i += 2) {
        const Code &a = tokenCodes[tokens[i]], &b = tokenCodes[tokens[i + 1]];
        cursor.put(a.bits | b.bits << a.count, a.count + b.count);
    }
    for (; i < n; ++i)
        cursor.put(tokenCodes[tokens[i]].bits, tokenCodes[tokens[i]].count);
    bits.resume(cursor);
    bits.put(codes[endOfBlock], codeBits[endOfBlock]);
}

}

void compress(const unsigned char *data, size_t size, bool last, std::vector<unsigned char> *out,
    size_t rowBytes)
{
    if (rowBytes < 3 || rowBytes > widestRow)
        rowBytes = 0;
    // Room for about a third of the input, which runs shrink far below; more is made as needed.
    BitWriter bits(out, size / 3 + 64);
    std::vector<Token> tokens;
    tokens.reserve(blockTokens);
    size_t at = 0;
    if (size == 0 && last)
        storedBlocks(bits, data, 0, true);
    while (at < size) {
        tokens.clear();
        uint32_t frequencies[literalCodes] = {};
        size_t rowMatches = 0;
        const size_t to = tokenize(data, at, size, rowBytes, &tokens, frequencies, &rowMatches);
        block(bits, data, at, to, tokens, frequencies, rowBytes, rowMatches, last && to == size);
        at = to;
    }
    if (!last)
        storedBlocks(bits, data, 0, false); // the sync flush's empty stored block
    bits.align();
}

}
