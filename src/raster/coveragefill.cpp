// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "coveragefill.h"

#include "cores.h"
#include "pixelrule.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Rows summed together: each thread's cells are a float for every pixel of a band's rows.
constexpr int maxBandRows = 64;
// Wider than widestFullBand, bands grow shorter, so that a thread's cells stay within 4 MB. The
// edges' sums start afresh at each band's top: a narrower image keeps its bands, and its bits.
// A segment that touches more bands than this is listed by groups of bands.
constexpr int longBands = 4;
constexpr int groupBands = 16;

// Blends like Qt's raster engine does for an 8-bit coverage.
inline QRgb interpolate(QRgb x, uint a, QRgb y, uint b)
{
    uint t = (x & 0xff00ff) * a + (y & 0xff00ff) * b;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a + ((y >> 8) & 0xff00ff) * b;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080);
    x &= 0xff00ff00;
    return x | t;
}

}

CoverageFill::CoverageFill(QSize size) : size(size), bandRows(maxBandRows)
{
    while (bandRows > 16 && qint64(size.width()) * bandRows > qint64(widestFullBand) * maxBandRows)
        bandRows /= 2;
}

void CoverageFill::addPolygon(const std::vector<Point> &points, float weight)
{
    for (size_t i = 0; i < points.size(); ++i)
        addClippedSegment(points[i], points[(i + 1) % points.size()], weight);
}

void CoverageFill::addRing(const PeriodicRing::Track &ring)
{
    rings.emplace_back(ring);
}

// Parts of an edge left or right of the image still count for the rows they span: they are laid
// onto the image's edge, where they add the cover of the whole row to the pixels beyond.
void CoverageFill::addClippedSegment(Point a, Point b, float weight)
{
    if (a.y == b.y)
        return;
    const double width = size.width();
    double cuts[2];
    int n = 0;
    for (double edge : { 0.0, width }) {
        if ((a.x - edge) * (b.x - edge) < 0)
            cuts[n++] = (edge - a.x) / (b.x - a.x);
    }
    if (n == 2 && cuts[0] > cuts[1])
        std::swap(cuts[0], cuts[1]);
    Point from = a;
    for (int i = 0; i <= n; ++i) {
        const double t = i < n ? cuts[i] : 1.0;
        Point to = i < n ? Point { a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t } : b;
        const Segment s { std::clamp(from.x, 0.0, width), from.y, std::clamp(to.x, 0.0, width),
            to.y, weight };
        if (s.y0 != s.y1)
            segments.push_back(s);
        from = to;
    }
}

namespace {

using PixelRule::ceilToInt;
using PixelRule::floorToInt;

// The cell whose pixel centre and those right of it an edge crossing a row at x winds.
inline int centreCell(double x, int width)
{
    return std::clamp(ceilToInt(x - 0.5), 0, width);
}

// What an upright edge at x adds to a row it covers d of (signed, times its weight): the area
// right of it in its pixel to the cell `left`, the rest to the next.
struct UprightCells
{
    int left;
    float first, second;
};

inline UprightCells uprightCells(double x, double d)
{
    const int left = floorToInt(x);
    const double xf = x - left;
    return { left, float(d - d * xf), float(d * xf) };
}

// One row's part of an edge, from x to xNext across the row's height times d (signed): the
// signed area it leaves right of it, added to the row's cells.
inline void addRowSpan(float *row, int stride, double x, double xNext, double d)
{
    // The ends lie within [0, width]; what rounding puts a hair outside stays in the row.
    const double left = std::max(0.0, std::min(x, xNext));
    const double right = std::min(double(stride - 2), std::max(x, xNext));
    const int li = floorToInt(left);
    const double leftFloor = double(li);
    const int ri = ceilToInt(right);
    if (ri <= li + 1) {
        // Within one pixel: the part right of the edge's mean position.
        const double xmf = 0.5 * (x + xNext) - leftFloor;
        row[li] += float(d - d * xmf);
        row[li + 1] += float(d * xmf);
    } else {
        const double s = 1.0 / (right - left);
        const double x0f = left - leftFloor;
        const double a0 = 0.5 * s * (1 - x0f) * (1 - x0f);
        const double x1f = right - ri + 1;
        const double am = 0.5 * s * x1f * x1f;
        row[li] += float(d * a0);
        if (ri == li + 2) {
            row[li + 1] += float(d * (1 - a0 - am));
        } else {
            const double a1 = s * (1.5 - x0f);
            row[li + 1] += float(d * (a1 - a0));
            for (int xi = li + 2; xi < ri - 1; ++xi)
                row[xi] += float(d * s);
            const double a2 = a1 + (ri - li - 3) * s;
            row[ri - 1] += float(d * (1 - a2 - am));
        }
        row[ri] += float(d * am);
    }
}

// addRowSpan() for a span less than a pixel wide (a steep edge's whole row): it touches two or
// three cells, and the same sums come with fewer steps. left >= 0, so truncation is the floor,
// and ceil(right) <= li + 1 exactly when right <= li + 1; a wider one reaches li + 2 and no
// further. Every value is the same expression of the same numbers as there, for the same bits.
inline void addSteepRowSpan(float *row, int stride, double x, double xNext, double d)
{
    const double left = std::max(0.0, std::min(x, xNext));
    const double right = std::min(double(stride - 2), std::max(x, xNext));
    const int li = int(left);
    const double leftFloor = double(li);
    if (right <= leftFloor + 1.0) {
        const double xmf = 0.5 * (x + xNext) - leftFloor;
        row[li] += float(d - d * xmf);
        row[li + 1] += float(d * xmf);
    } else {
        const double s = 1.0 / (right - left);
        const double x0f = left - leftFloor;
        const double a0 = 0.5 * s * (1 - x0f) * (1 - x0f);
        const double x1f = right - double(li + 2) + 1;
        const double am = 0.5 * s * x1f * x1f;
        row[li] += float(d * a0);
        row[li + 1] += float(d * (1 - a0 - am));
        row[li + 2] += float(d * am);
    }
}

// A pixel's coverage from the signed area covered.
inline uchar areaAlpha(float sum)
{
    // Full coverage is 255 as 1 * 255 + 0.5 truncates to it: no branch to mispredict.
    const float coverage = std::min(std::fabs(sum), 1.0f);
    return uchar(int(coverage * 255.0f + 0.5f));
}

// The coverage of the given rows of a band's cells, `width` of each summed: the running sum of
// each row's cells, which are cleared on the way, made a byte by `alphaOf`. Four rows go side
// by side: each row's sum is one long chain of additions that must keep its order, and four
// independent chains keep the processor busy where one would wait on each addition.
template<typename Cell, typename AlphaOf>
void sumRowsOneByOne(
    Cell *cells, int stride, int width, const int *rows, size_t count, uchar *out, AlphaOf alphaOf)
{
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Cell *__restrict c0 = cells + size_t(rows[i]) * size_t(stride);
        Cell *__restrict c1 = cells + size_t(rows[i + 1]) * size_t(stride);
        Cell *__restrict c2 = cells + size_t(rows[i + 2]) * size_t(stride);
        Cell *__restrict c3 = cells + size_t(rows[i + 3]) * size_t(stride);
        uchar *__restrict a0 = out + size_t(rows[i]) * size_t(width);
        uchar *__restrict a1 = out + size_t(rows[i + 1]) * size_t(width);
        uchar *__restrict a2 = out + size_t(rows[i + 2]) * size_t(width);
        uchar *__restrict a3 = out + size_t(rows[i + 3]) * size_t(width);
        Cell s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (int x = 0; x < width; ++x) {
            s0 += c0[x];
            s1 += c1[x];
            s2 += c2[x];
            s3 += c3[x];
            c0[x] = c1[x] = c2[x] = c3[x] = 0;
            a0[x] = alphaOf(s0);
            a1[x] = alphaOf(s1);
            a2[x] = alphaOf(s2);
            a3[x] = alphaOf(s3);
        }
    }
    for (; i < count; ++i) {
        Cell *cell = cells + size_t(rows[i]) * size_t(stride);
        uchar *alpha = out + size_t(rows[i]) * size_t(width);
        Cell sum = 0;
        for (int x = 0; x < width; ++x) {
            sum += cell[x];
            cell[x] = 0;
            alpha[x] = alphaOf(sum);
        }
    }
}

#ifdef __SSE2__
// Eight rows at a time in vectors across the rows: four columns of four rows' cells are turned
// on their side, so that one vector addition adds a cell to each of four rows' sums, in the same
// order as one row at a time (the same bits). Two such chains go side by side.
struct AreaLanes
{
    using Cell = float;
    static __m128 load(const float *p) { return _mm_loadu_ps(p); }
    static void clear(float *p) { _mm_storeu_ps(p, _mm_setzero_ps()); }
    static void transpose(__m128 &a, __m128 &b, __m128 &c, __m128 &d)
    {
        _MM_TRANSPOSE4_PS(a, b, c, d);
    }
    static __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
    // areaAlpha(), four at once: min(|sum|, 1) * 255 + 0.5, truncated.
    static __m128i alpha(__m128 sum)
    {
        const __m128 magnitude = _mm_and_ps(sum, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
        const __m128 one = _mm_set1_ps(1.0f);
        // std::min(m, 1) is (1 < m ? 1 : m): a NaN stays, as there.
        const __m128 coverage = _mm_or_ps(_mm_and_ps(_mm_cmplt_ps(one, magnitude), one),
            _mm_andnot_ps(_mm_cmplt_ps(one, magnitude), magnitude));
        return _mm_cvttps_epi32(
            _mm_add_ps(_mm_mul_ps(coverage, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
    }
};

struct CentreLanes
{
    using Cell = int;
    static __m128i load(const int *p)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    static void clear(int *p)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_setzero_si128());
    }
    static void transpose(__m128i &a, __m128i &b, __m128i &c, __m128i &d)
    {
        __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b), fc = _mm_castsi128_ps(c),
               fd = _mm_castsi128_ps(d);
        _MM_TRANSPOSE4_PS(fa, fb, fc, fd);
        a = _mm_castps_si128(fa);
        b = _mm_castps_si128(fb);
        c = _mm_castps_si128(fc);
        d = _mm_castps_si128(fd);
    }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
    static __m128i alpha(__m128i winding)
    {
        return _mm_andnot_si128(_mm_cmpeq_epi32(winding, _mm_setzero_si128()), _mm_set1_epi32(255));
    }
};

// Four rows' bytes from four columns' alphas (0-255), lanes by row: row r's four bytes are the
// 32 bits at 32 * r.
inline __m128i rowBytes(__m128i column0, __m128i column1, __m128i column2, __m128i column3)
{
    const __m128i bytes
        = _mm_packus_epi16(_mm_packs_epi32(column0, column1), _mm_packs_epi32(column2, column3));
    const __m128i half = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
    return _mm_unpacklo_epi8(half, _mm_srli_si128(half, 8));
}

template<typename Lanes> struct FourRows
{
    using Cell = typename Lanes::Cell;
    Cell *cells[4];
    uchar *alphas[4];
    decltype(Lanes::load(nullptr)) sum {}; // a row's running sum in each lane

    FourRows(Cell *c, int stride, int width, const int *rows, uchar *out)
    {
        for (int r = 0; r < 4; ++r) {
            cells[r] = c + size_t(rows[r]) * size_t(stride);
            alphas[r] = out + size_t(rows[r]) * size_t(width);
        }
    }
    void step(int x)
    {
        auto a = Lanes::load(cells[0] + x), b = Lanes::load(cells[1] + x),
             c = Lanes::load(cells[2] + x), d = Lanes::load(cells[3] + x);
        for (Cell *row : cells)
            Lanes::clear(row + x);
        Lanes::transpose(a, b, c, d);
        sum = Lanes::add(sum, a);
        const __m128i alpha0 = Lanes::alpha(sum);
        sum = Lanes::add(sum, b);
        const __m128i alpha1 = Lanes::alpha(sum);
        sum = Lanes::add(sum, c);
        const __m128i alpha2 = Lanes::alpha(sum);
        sum = Lanes::add(sum, d);
        const __m128i alpha3 = Lanes::alpha(sum);
        __m128i bytes = rowBytes(alpha0, alpha1, alpha2, alpha3);
        for (uchar *row : alphas) {
            const int four = _mm_cvtsi128_si32(bytes);
            std::memcpy(row + x, &four, 4);
            bytes = _mm_srli_si128(bytes, 4);
        }
    }
    // The columns from x on, one at a time.
    template<typename AlphaOf> void finish(int x, int width, AlphaOf alphaOf)
    {
        Cell sums[4];
        std::memcpy(sums, &sum, sizeof sums);
        for (int r = 0; r < 4; ++r)
            for (int col = x; col < width; ++col) {
                sums[r] += cells[r][col];
                cells[r][col] = 0;
                alphas[r][col] = alphaOf(sums[r]);
            }
    }
};

template<typename Lanes, typename AlphaOf>
void sumRows(typename Lanes::Cell *cells, int stride, int width, const std::vector<int> &rows,
    uchar *out, AlphaOf alphaOf)
{
    size_t i = 0;
    for (; i + 8 <= rows.size(); i += 8) {
        FourRows<Lanes> first(cells, stride, width, rows.data() + i, out);
        FourRows<Lanes> second(cells, stride, width, rows.data() + i + 4, out);
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            first.step(x);
            second.step(x);
        }
        first.finish(x, width, alphaOf);
        second.finish(x, width, alphaOf);
    }
    sumRowsOneByOne(cells, stride, width, rows.data() + i, rows.size() - i, out, alphaOf);
}
#endif

// Area: the running sum is the signed area covered.
void sumAreaRows(float *cells, int stride, int width, const std::vector<int> &rows, uchar *out)
{
#ifdef __SSE2__
    sumRows<AreaLanes>(cells, stride, width, rows, out, areaAlpha);
#else
    sumRowsOneByOne(cells, stride, width, rows.data(), rows.size(), out, areaAlpha);
#endif
}

// Pixel centres: the running sum is the winding number, and a pixel whose centre is wound
// round is foreground.
void sumCentreRows(int *cells, int stride, int width, const std::vector<int> &rows, uchar *out)
{
    const auto alphaOf = [](int winding) -> uchar { return winding != 0 ? 255 : 0; };
#ifdef __SSE2__
    sumRows<CentreLanes>(cells, stride, width, rows, out, alphaOf);
#else
    sumRowsOneByOne(cells, stride, width, rows.data(), rows.size(), out, alphaOf);
#endif
}

// Steeper than this, a whole row's span is surely under a pixel wide, rounding included.
constexpr double steepSlope = 0.99;

// A segment drawn downwards, its direction turned where that turns it round.
struct Downward
{
    double x0, y0, x1, y1;
    float direction;
};

Downward downward(const CoverageFill::Segment &s)
{
    if (s.y0 > s.y1)
        return { s.x1, s.y1, s.x0, s.y0, -s.weight };
    return { s.x0, s.y0, s.x1, s.y1, s.weight };
}
}

// Adds the signed area that the segment leaves to the right of it in every cell of the band's rows
// that it crosses; summed along a row, these give each pixel's covered area. The rows an edge
// fully crosses skip working out the part of the row it crosses, and a steep edge's (the radial
// edges of a fine disc's tracks, near upright) take the short way through their two or three
// cells, unless `general`: the same bits either way.
void CoverageFill::accumulate(
    float *cells, int stride, int bandTop, int rows, const Segment &segment, bool general)
{
    const auto [x0, y0, x1, y1, direction] = downward(segment);
    const double bandBottom = bandTop + rows;
    if (y1 <= bandTop || y0 >= bandBottom)
        return;
    const double dxdy = (x1 - x0) / (y1 - y0);
    const double yStart = std::max(y0, double(bandTop));
    const double yEnd = std::min(y1, bandBottom);
    double x = x0 + (yStart - y0) * dxdy;
    const int endRow = int(std::ceil(yEnd));
    const auto rowAt = [&](int y) { return cells + size_t(y - bandTop) * size_t(stride); };
    const auto partRow = [&](int y) {
        const double dy = std::min(double(y + 1), yEnd) - std::max(double(y), yStart);
        const double xNext = x + dxdy * dy;
        addRowSpan(rowAt(y), stride, x, xNext, dy * direction);
        x = xNext;
    };
    int y = int(std::floor(yStart));
    if (general) {
        for (; y < endRow; ++y)
            partRow(y);
        return;
    }
    // A row the edge fully crosses has dy = 1: x moves by dxdy, d is the direction.
    if (y < endRow && double(y) < yStart)
        partRow(y++);
    const int fullEnd = int(std::floor(yEnd));
    const double d = 1.0 * direction;
    if (std::fabs(dxdy) < steepSlope) {
        for (; y < fullEnd; ++y) {
            const double xNext = x + dxdy;
            addSteepRowSpan(rowAt(y), stride, x, xNext, d);
            x = xNext;
        }
    } else {
        for (; y < fullEnd; ++y) {
            const double xNext = x + dxdy;
            addRowSpan(rowAt(y), stride, x, xNext, d);
            x = xNext;
        }
    }
    if (y < endRow)
        partRow(y);
}

bool CoverageFill::crossesBand(const Segment &s, int bandTop, int rows)
{
    return s.x0 != s.x1 && std::min(s.y0, s.y1) <= bandTop
        && std::max(s.y0, s.y1) >= double(bandTop + rows);
}

namespace {

// One row's part of edges across a band, in their order, one at a time.
inline void addAcrossOne(float *row, int stride, double &x, double step, double d)
{
    const double xNext = x + step;
    if (std::fabs(step) < steepSlope)
        addSteepRowSpan(row, stride, x, xNext, d);
    else
        addRowSpan(row, stride, x, xNext, d);
    x = xNext;
}

#if defined(__GNUC__) && !defined(__clang__)
using Doubles = double __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));
using Ints = int __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));
using Ints8 = int __attribute__((vector_size(32)));
using Uints8 = unsigned __attribute__((vector_size(32)));

// Eight cells of a row held in a vector while edges one after another add to them: an edge's
// sums do not wait for the last edge's to go to memory and back, and each cell still takes its
// sums in the edges' order, one at a time, for the same bits.
class CellWindow
{
public:
    CellWindow(float *row, int stride) : row(row), last(stride - 8) { }

    // Adds [c0, c1, c2, c3, 0, 0, 0, 0] to the cells from `first` on, of which those up to
    // first + 7 - room take the edge's sums. Adding +0 changes no cell (none is ever -0), so
    // the window's other cells may take it.
    void add(int first, int room, const Floats8 &cells)
    {
        const int offset = first - base;
        if (__builtin_expect(unsigned(offset) > unsigned(room), 0))
            reach(first, offset);
        values += __builtin_shuffle(cells, placed[first - base]);
    }

    // Puts the cells back before others write the row.
    void store()
    {
        if (base != away)
            std::memcpy(row + base, &values, sizeof values);
        base = away;
    }

private:
    // Moves the window to cell `first`, with room for the edges to go on the way they go,
    // keeping the cells it still holds and reading the rest before its own go back.
    void reach(int first, int offset)
    {
        const int to = std::clamp(offset < 0 ? first - 4 : first - 1, 0, last);
        Floats8 fresh;
        std::memcpy(&fresh, row + to, sizeof fresh);
        if (base != away) {
            std::memcpy(row + base, &values, sizeof values);
            const Ints8 from = lanes + (to - base);
            values = __builtin_shuffle(values, fresh, Uints8(from) < 8u ? from : lanes + 8);
        } else {
            values = fresh;
        }
        base = to;
    }

    static constexpr Ints8 lanes = { 0, 1, 2, 3, 4, 5, 6, 7 };
    // For an edge's first cell at each place in the window: the lane of its sums that each
    // cell takes, 4 (a zero) where none.
    static constexpr Ints8 placed[8] = { { 0, 1, 2, 3, 4, 4, 4, 4 }, { 4, 0, 1, 2, 3, 4, 4, 4 },
        { 4, 4, 0, 1, 2, 3, 4, 4 }, { 4, 4, 4, 0, 1, 2, 3, 4 }, { 4, 4, 4, 4, 0, 1, 2, 3 },
        { 4, 4, 4, 4, 4, 0, 1, 2 }, { 4, 4, 4, 4, 4, 4, 0, 1 }, { 4, 4, 4, 4, 4, 4, 4, 0 } };
    // Far from any cell: the window holds none.
    static constexpr int away = -(1 << 20);
    float *row;
    int last;
    int base = away;
    Floats8 values = {};
};
#endif

// One row's part of edges across a band, in their order. Four at a time are worked out side by
// side in vectors, each value the same expression of the same numbers as addSteepRowSpan() or
// addRowSpan() (x moves on by the same addition), unless one of them spans more than four
// cells; their sums go to the cells one edge after another through a CellWindow.
QUVELTA_AVX2_CLONES void addRowAcross(
    float *row, int stride, double *xs, const double *steps, const double *ds, size_t count)
{
    size_t i = 0;
#if defined(__GNUC__) && !defined(__clang__)
    const Doubles zero = { 0, 0, 0, 0 };
    const Doubles width = zero + double(stride - 2);
    const Floats none = { 0, 0, 0, 0 };
    CellWindow window(row, stride);
    for (; stride >= 8 && i + 4 <= count; i += 4) {
        Doubles a, step, d;
        std::memcpy(&a, xs + i, sizeof a);
        std::memcpy(&step, steps + i, sizeof step);
        std::memcpy(&d, ds + i, sizeof d);
        const Doubles b = a + step;
        const Doubles lo = b < a ? b : a; // std::min(x, xNext)
        const Doubles hi = a < b ? b : a; // std::max(x, xNext)
        const Doubles left = zero < lo ? lo : zero; // std::max(0.0, ...)
        const Doubles right = hi < width ? hi : width; // std::min(width, ...)
        // Both are 0 or more: truncation is the floor, and one up from it where short the
        // ceiling. The cells' counts are whole numbers, exact as doubles.
        const Ints li = __builtin_convertvector(left, Ints);
        const Doubles leftFloor = __builtin_convertvector(li, Doubles);
        const Doubles truncated
            = __builtin_convertvector(__builtin_convertvector(right, Ints), Doubles);
        const Doubles ri = truncated + (truncated < right ? zero + 1.0 : zero);
        const Doubles span = ri - leftFloor;
        const auto wide = span > 3.0;
        uint64_t anyWide[4];
        std::memcpy(anyWide, &wide, sizeof anyWide);
        if (__builtin_expect((anyWide[0] | anyWide[1] | anyWide[2] | anyWide[3]) != 0, 0)) {
            window.store();
            for (size_t k = i; k < i + 4; ++k)
                addAcrossOne(row, stride, xs[k], steps[k], ds[k]);
            continue;
        }
        std::memcpy(xs + i, &b, sizeof b);
        const auto within = span <= 1.0;
        const auto two = span == 2.0;
        const Doubles xmf = 0.5 * (a + b) - leftFloor;
        const Doubles s = 1.0 / (right - left);
        const Doubles x0f = left - leftFloor;
        const Doubles a0 = 0.5 * s * (1.0 - x0f) * (1.0 - x0f);
        const Doubles x1f = right - ri + 1.0;
        const Doubles am = 0.5 * s * x1f * x1f;
        const Doubles a1 = s * (1.5 - x0f);
        const Doubles a2 = a1 + (span - 3.0) * s;
        const Floats c0 = __builtin_convertvector(within ? d - d * xmf : d * a0, Floats);
        const Floats c1 = __builtin_convertvector(
            within ? d * xmf : (two ? d * (1.0 - a0 - am) : d * (a1 - a0)), Floats);
        const Floats c2
            = __builtin_convertvector(within ? zero : (two ? d * am : d * (1.0 - a2 - am)), Floats);
        const Floats c3 = __builtin_convertvector(within || two ? zero : d * am, Floats);
        // Each edge's cells side by side.
        const Floats t0 = __builtin_shuffle(c0, c1, Ints { 0, 4, 1, 5 });
        const Floats t1 = __builtin_shuffle(c2, c3, Ints { 0, 4, 1, 5 });
        const Floats t2 = __builtin_shuffle(c0, c1, Ints { 2, 6, 3, 7 });
        const Floats t3 = __builtin_shuffle(c2, c3, Ints { 2, 6, 3, 7 });
        const Floats edge[4] = { __builtin_shuffle(t0, t1, Ints { 0, 1, 4, 5 }),
            __builtin_shuffle(t0, t1, Ints { 2, 3, 6, 7 }),
            __builtin_shuffle(t2, t3, Ints { 0, 1, 4, 5 }),
            __builtin_shuffle(t2, t3, Ints { 2, 3, 6, 7 }) };
        // The window's places where each edge's first cell may go: within a pixel an edge
        // still adds to the cell after its first.
        const Ints room = __builtin_convertvector(7.0 - (span < 1.0 ? zero + 1.0 : span), Ints);
        for (int k = 0; k < 4; ++k)
            window.add(
                li[k], room[k], __builtin_shufflevector(edge[k], none, 0, 1, 2, 3, 4, 5, 6, 7));
    }
    window.store();
#endif
    for (; i < count; ++i)
        addAcrossOne(row, stride, xs[i], steps[i], ds[i]);
}
}

void CoverageFill::accumulateAcross(float *cells, int stride, int bandTop, int rows,
    const Segment *const *segments, size_t count, std::vector<double> &state)
{
    // Three doubles an edge: where it is, its step a row, its direction.
    state.resize(3 * count);
    double *xs = state.data(), *steps = xs + count, *ds = steps + count;
    // Where each enters the band, as accumulate() works it out.
    for (size_t i = 0; i < count; ++i) {
        const auto [x0, y0, x1, y1, direction] = downward(*segments[i]);
        steps[i] = (x1 - x0) / (y1 - y0);
        xs[i] = x0 + (std::max(y0, double(bandTop)) - y0) * steps[i];
        ds[i] = 1.0 * direction;
    }
    for (int r = 0; r < rows; ++r)
        addRowAcross(cells + size_t(r) * size_t(stride), stride, xs, steps, ds, count);
}

// Adds the edge's winding direction at the first pixel right of where it crosses each row's
// centre line; summed along the row, these give the winding number at every pixel centre.
void CoverageFill::accumulateCrossings(
    int *cells, int stride, int width, int bandTop, int rows, const Segment &segment)
{
    const int direction = segment.y1 > segment.y0 ? 1 : -1;
    const double top = std::min(segment.y0, segment.y1);
    const double bottom = std::max(segment.y0, segment.y1);
    const int first = std::max(bandTop, int(std::ceil(top - 0.5)));
    const int end = std::min(bandTop + rows, int(std::ceil(bottom - 0.5)));
    const double dxdy = (segment.x1 - segment.x0) / (segment.y1 - segment.y0);
    for (int y = first; y < end; ++y) {
        const double x = segment.x0 + (y + 0.5 - segment.y0) * dxdy;
        const int cell = centreCell(x, width);
        cells[size_t(y - bandTop) * size_t(stride) + size_t(cell)] += direction;
    }
}

void CoverageFill::prepare()
{
    if (prepared)
        return;
    const int height = size.height();
    const int bands = (height + bandRows - 1) / bandRows;
    byBand.assign(size_t(std::max(bands, 0)), {});
    // A row equals the one above unless a slanted edge crosses one of them or an upright edge
    // ends in one: long upright edges (a strip's marks) are worked out at their ends only and
    // copied between. Each band's first row is worked out, so a band stands on its own.
    std::vector<int> changes(size_t(std::max(height, 0)) + 2, 0);
    const auto mark = [&](int from, int to) { // rows from..to
        from = std::clamp(from, 0, height);
        to = std::clamp(to, -1, height - 1);
        if (from > to)
            return;
        ++changes[size_t(from)];
        --changes[size_t(to) + 1];
    };
    for (const Segment &s : segments) {
        const double top = std::min(s.y0, s.y1);
        const double bottom = std::max(s.y0, s.y1);
        if (s.x0 == s.x1) {
            mark(int(std::floor(top)), int(std::floor(top)) + 1);
            mark(int(std::floor(bottom)), int(std::floor(bottom)) + 1);
        } else {
            mark(int(std::floor(top)), int(std::ceil(bottom)));
        }
    }
    computedRows.assign(size_t(std::max(bands, 0)), {});
    for (int y = 0, level = 0; y < height; ++y) {
        level += changes[size_t(y)];
        if (level > 0 || y % bandRows == 0)
            computedRows[size_t(y / bandRows)].push_back(y);
    }
    const size_t groups = size_t(std::max(bands, 0) + groupBands - 1) / groupBands;
    longByGroup.assign(groups, {});
    longSegments.clear();
    // The groups of bands whose every row an upright edge covers, as a range.
    const int groupRows = groupBands * bandRows;
    const auto wholeGroups = [&](const Segment &s) -> std::pair<int, int> {
        if (s.x0 != s.x1)
            return { 1, 0 };
        const double top = std::min(s.y0, s.y1);
        const double bottom = std::max(s.y0, s.y1);
        const int first = std::max(0, ceilToInt(top / groupRows));
        const int last = bottom >= height ? int(groups) - 1 : floorToInt(bottom / groupRows) - 1;
        return { first, last };
    };
    // Groups alike in the edges that cover them share one row of sums: a strip's marks change
    // only at its tracks' edges. Within a bound, for a wide image of many tracks.
    std::vector<char> starts(groups + 1, 0);
    for (const Segment &s : segments) {
        const auto [first, last] = wholeGroups(s);
        if (first <= last)
            starts[size_t(first)] = starts[size_t(last) + 1] = 1;
    }
    wholeOfGroup.assign(groups, -1);
    int kinds = 0;
    for (size_t g = 0; g < groups; ++g) {
        kinds += starts[g] && g > 0 ? 1 : 0;
        wholeOfGroup[g] = kinds;
    }
    const bool summed = groups > 0
        && qint64(kinds + 1) * (size.width() + 2) * qint64(sizeof(double) + sizeof(int))
            <= (qint64(16) << 20);
    wholeArea.assign(summed ? size_t(kinds) + 1 : 0, {});
    wholeCentres.assign(summed ? size_t(kinds) + 1 : 0, {});
    // An upright edge over every row: the same cells as a whole row of accumulate() and
    // accumulateCrossings().
    const auto addWhole = [&](int kind, const Segment &s) {
        std::vector<double> &area = wholeArea[size_t(kind)];
        std::vector<int> &centres = wholeCentres[size_t(kind)];
        if (area.empty()) {
            area.assign(size_t(size.width()) + 2, 0.0);
            centres.assign(size_t(size.width()) + 1, 0);
        }
        const UprightCells whole = uprightCells(s.x0, s.y1 > s.y0 ? s.weight : -s.weight);
        area[size_t(whole.left)] += double(whole.first);
        area[size_t(whole.left) + 1] += double(whole.second);
        if (s.weight == 1.0f) // a ring's mean: its centres come from the ring
            centres[size_t(centreCell(s.x0, size.width()))] += s.y1 > s.y0 ? 1 : -1;
    };
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment &s = segments[i];
        if (std::max(s.y0, s.y1) <= 0 || std::min(s.y0, s.y1) >= height)
            continue;
        const auto [first, last] = bandsOf(s);
        if (last - first < longBands) {
            for (int band = first; band <= last; ++band)
                byBand[size_t(band)].push_back(int(i));
            continue;
        }
        const auto [wholeFirst, wholeLast] = summed ? wholeGroups(s) : std::pair { 1, 0 };
        for (int kind = wholeFirst <= wholeLast ? wholeOfGroup[size_t(wholeFirst)] : 1;
             wholeFirst <= wholeLast && kind <= wholeOfGroup[size_t(wholeLast)]; ++kind)
            addWhole(kind, s);
        for (int group = first / groupBands; group <= last / groupBands; ++group)
            if (group < wholeFirst || group > wholeLast)
                longByGroup[size_t(group)].push_back(int(longSegments.size()));
        longSegments.push_back({ int(i), first, last });
    }
    prepared = true;
}

std::pair<int, int> CoverageFill::bandsOf(const Segment &s) const
{
    const int bands = (size.height() + bandRows - 1) / bandRows;
    const double top = std::min(s.y0, s.y1);
    const double bottom = std::max(s.y0, s.y1);
    return { std::max(0, int(std::floor(top)) / bandRows),
        std::min(bands - 1, int(std::ceil(bottom) - 1) / bandRows) };
}

const std::vector<int> &CoverageFill::segmentsOf(int band, std::vector<int> &scratch) const
{
    const std::vector<int> &listed = byBand[size_t(band)];
    const std::vector<int> &longOnes = longByGroup[size_t(band / groupBands)];
    if (longOnes.empty())
        return listed;
    // Both in index order, merged in index order: the cells sum in the same order as ever.
    scratch.clear();
    auto next = listed.begin();
    for (const int position : longOnes) {
        const LongSegment &l = longSegments[size_t(position)];
        if (band < l.firstBand || band > l.lastBand)
            continue;
        const int index = l.index;
        for (; next != listed.end() && *next < index; ++next)
            scratch.push_back(*next);
        scratch.push_back(index);
    }
    scratch.insert(scratch.end(), next, listed.end());
    return scratch;
}

void CoverageFill::fillRows(uchar *firstRow, qsizetype stride, int top, int rows, QRgb foreground,
    QRgb background, Sampling sampling) const
{
    // The colour of every coverage, blended once.
    const QRgb fg = foreground | 0xff000000u;
    const QRgb bg = background | 0xff000000u;
    QRgb colors[256];
    for (int a = 0; a < 256; ++a)
        colors[a] = a == 0 ? bg : a == 255 ? fg : interpolate(fg, uint(a), bg, uint(255 - a));
    const int width = size.width();
    alphaRows(top, rows, sampling, [&](int y, const uchar *alpha) {
        QRgb *line = reinterpret_cast<QRgb *>(firstRow + (y - top) * stride);
        for (int x = 0; x < width; ++x)
            line[x] = colors[alpha[x]];
    });
}

void CoverageFill::fillAlpha(
    uchar *firstRow, qsizetype stride, int top, int rows, Sampling sampling) const
{
    const int width = size.width();
    alphaRows(top, rows, sampling, [&](int y, const uchar *alpha) {
        std::copy(alpha, alpha + width, firstRow + (y - top) * stride);
    });
}

QRgb CoverageFill::blend(QRgb foreground, QRgb background, int alpha)
{
    const QRgb fg = foreground | 0xff000000u;
    const QRgb bg = background | 0xff000000u;
    return alpha <= 0 ? bg : alpha >= 255 ? fg : interpolate(fg, uint(alpha), bg, uint(255 - alpha));
}

namespace {

// Upright edges (a strip's marks) by the rows where they start and stop covering whole rows:
// two entries an edge, where adding it to each worked-out row cost as many as the band has
// worked-out rows (all of them beside calibration text). Summed down the band, the entries give
// each row what the edges add to it.
template<typename Sum> struct UprightRows
{
    // By row of the band (and one past it): the entries, a row of cells each, held only by the
    // rows that have some (a strip's track edges), so that a wide image's band of them is not
    // held whole.
    std::vector<std::vector<Sum>> changes;
    std::vector<std::vector<Sum>> spare; // emptied rows, for the next entries
    std::vector<Sum> running;
    int stride = 0;
    bool any = false;

    void ready(int cellStride, int rows)
    {
        if (stride != cellStride || changes.size() != size_t(rows) + 1) {
            stride = cellStride;
            changes.assign(size_t(rows) + 1, {});
            spare.clear();
            running.assign(size_t(cellStride), Sum(0));
        }
    }
    Sum *row(int r)
    {
        std::vector<Sum> &entries = changes[size_t(r)];
        if (entries.empty()) {
            if (!spare.empty()) {
                entries = std::move(spare.back());
                spare.pop_back();
            } else {
                entries.assign(size_t(stride), Sum(0));
            }
        }
        any = true;
        return entries.data();
    }
    // `value` at `cell` of the rows from..to - 1 of the band.
    void add(int from, int to, int cell, Sum value)
    {
        row(from)[cell] += value;
        row(to)[cell] -= value;
    }
    // `values` at every cell of every row of the band.
    void addEveryRow(const std::vector<Sum> &values)
    {
        if (values.empty())
            return;
        Sum *__restrict c = row(0);
        const Sum *__restrict v = values.data();
        for (int i = 0; i < stride; ++i)
            c[i] += v[i];
    }
    // Adds the sums to the worked-out rows (sorted, of the band) and leaves every entry zero.
    template<typename Cell> void addTo(Cell *cells, const std::vector<int> &worked, int rows)
    {
        if (!any)
            return;
        std::fill(running.begin(), running.end(), Sum(0));
        Sum *__restrict sum = running.data();
        bool started = false;
        auto next = worked.begin();
        for (int r = 0; r <= rows; ++r) {
            std::vector<Sum> &entries = changes[size_t(r)];
            if (!entries.empty()) {
                const Sum *__restrict c = entries.data();
                for (int i = 0; i < stride; ++i)
                    sum[i] += c[i];
                std::fill(entries.begin(), entries.end(), Sum(0));
                // A few rows kept for the next band; a band with entries in every row (a
                // ruler's ticks beside a wide image) gives the rest back.
                if (spare.size() < 8)
                    spare.push_back(std::move(entries));
                entries = {};
                started = true;
            }
            if (next != worked.end() && *next == r) {
                ++next;
                if (started) {
                    Cell *__restrict line = cells + size_t(r) * size_t(stride);
                    for (int i = 0; i < stride; ++i)
                        line[i] += Cell(sum[i]);
                }
            }
        }
        any = false;
    }
};

// What a band's sweep works in: cells left all zero, a band of coverage, and the rings' room.
// Kept between calls in a pool rather than per thread: glibc aborts the program when a thread's
// first use of a thread_local that has a destructor finds memory short.
struct SweepScratch
{
    std::vector<uchar> alphas;
    std::vector<int> worked;
    std::vector<int> touching;
    std::vector<int> centreCells;
    std::vector<float> areaCells;
    std::vector<const CoverageFill::Segment *> across; // slanted edges across a whole band
    std::vector<double> acrossState;
    UprightRows<int> centreUpright;
    UprightRows<double> areaUpright;
    PeriodicRing::Scratch ring;

    size_t bytes() const
    {
        const auto uprightBytes = [](const auto &u) {
            return sizeof(u.running[0])
                * (u.running.capacity() + u.spare.size() * size_t(u.stride));
        };
        return alphas.capacity() + 4 * (centreCells.capacity() + areaCells.capacity())
            + 4 * 6 * ring.rest.capacity() + uprightBytes(centreUpright)
            + uprightBytes(areaUpright);
    }
};

class ScratchPool
{
public:
    ScratchPool() { kept.reserve(most); }

    std::unique_ptr<SweepScratch> take()
    {
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (!kept.empty()) {
                std::unique_ptr<SweepScratch> s = std::move(kept.back());
                kept.pop_back();
                keptBytes -= s->bytes();
                return s;
            }
        }
        return std::make_unique<SweepScratch>();
    }

    // Keeps `s` for the next band, within a bound, so that an idle window holds little.
    void give(std::unique_ptr<SweepScratch> s)
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (kept.size() < most && keptBytes + s->bytes() <= mostBytes) {
            keptBytes += s->bytes();
            kept.push_back(std::move(s));
        }
    }

private:
    static constexpr size_t most = 8;
    static constexpr size_t mostBytes = size_t(32) << 20;
    std::mutex lock;
    std::vector<std::unique_ptr<SweepScratch>> kept;
    size_t keptBytes = 0;
};

ScratchPool &scratchPool()
{
    static ScratchPool *pool = new ScratchPool; // lives as long as the program
    return *pool;
}

}

void CoverageFill::alphaRows(int top, int rows, Sampling sampling,
    const std::function<void(int y, const uchar *alpha)> &give) const
{
    Q_ASSERT(prepared && top >= 0 && top + rows <= size.height());
    const int width = size.width();
    // Whole bands of cells, of which only the asked rows are given out. The cells go back to
    // the pool all zero, and only after a sweep that ended well.
    std::unique_ptr<SweepScratch> scratch = scratchPool().take();
    std::vector<uchar> &alphas = scratch->alphas;
    alphas.resize(size_t(width) * bandRows);
    std::vector<int> &worked = scratch->worked;
    std::vector<int> &touching = scratch->touching;
    const auto sweep = [&](auto &cells, auto &upright, const auto &whole, int cellStride,
                           auto accumulateBand, auto addRing, auto writeRows) {
        using Cell = typename std::decay_t<decltype(cells)>::value_type;
        if (cells.size() != size_t(cellStride) * bandRows)
            cells.assign(size_t(cellStride) * bandRows, Cell(0));
        upright.ready(cellStride, bandRows);
        for (int band = top / bandRows; band * bandRows < top + rows; ++band) {
            const int bandTop = band * bandRows;
            const int bandHeight = std::min(bandRows, size.height() - bandTop);
            const std::vector<int> &computed = computedRows[size_t(band)];
            accumulateBand(
                cells.data(), upright, cellStride, bandTop, bandHeight, segmentsOf(band, touching));
            if (!whole.empty())
                upright.addEveryRow(whole[size_t(wholeOfGroup[size_t(band / groupBands)])]);
            for (const PeriodicRing &ring : rings)
                addRing(ring, cells.data(), cellStride, bandTop, computed);
            worked.clear();
            for (const int y : computed)
                if (y >= bandTop && y < bandTop + bandHeight)
                    worked.push_back(y - bandTop);
            upright.addTo(cells.data(), worked, bandHeight);
            // The worked-out rows' coverage, several rows at a time (writeRows clears the
            // cells it sums; the rest are cleared here).
            writeRows(cells.data(), cellStride, worked, alphas.data());
            for (const int r : worked)
                std::fill(cells.data() + size_t(r) * size_t(cellStride) + width,
                    cells.data() + size_t(r + 1) * size_t(cellStride), Cell(0));
            // A row not worked out is the same as the one above, which was worked out or
            // copied in this band; the band's first row is always worked out.
            const uchar *alpha = alphas.data();
            auto next = worked.begin();
            for (int r = 0; r < bandHeight; ++r) {
                if (next != worked.end() && *next == r) {
                    ++next;
                    alpha = alphas.data() + size_t(r) * size_t(width);
                }
                const int y = bandTop + r;
                if (y >= top && y < top + rows)
                    give(y, alpha);
            }
        }
    };
    if (sampling == Sampling::PixelCentre) {
        sweep(
            scratch->centreCells, scratch->centreUpright, wholeCentres, width + 1,
            [&](int *c, UprightRows<int> &upright, int cellStride, int bandTop, int bandHeight,
                const std::vector<int> &indices) {
                for (const int index : indices) {
                    const Segment &s = segments[size_t(index)];
                    if (s.weight != 1.0f) // a ring's mean: its centres come from the ring
                        continue;
                    if (s.x0 != s.x1) {
                        accumulateCrossings(c, cellStride, width, bandTop, bandHeight, s);
                        continue;
                    }
                    // The rows whose centres the edge passes.
                    const int first = std::max(bandTop, ceilToInt(std::min(s.y0, s.y1) - 0.5));
                    const int end
                        = std::min(bandTop + bandHeight, ceilToInt(std::max(s.y0, s.y1) - 0.5));
                    if (first < end)
                        upright.add(first - bandTop, end - bandTop, centreCell(s.x0, width),
                            s.y1 > s.y0 ? 1 : -1);
                }
            },
            [&](const PeriodicRing &ring, int *c, int cellStride, int bandTop,
                const std::vector<int> &computed) {
                ring.addCentres(c, cellStride, width, bandTop, computed, scratch->ring);
            },
            [&](int *c, int cellStride, const std::vector<int> &rowsToWrite, uchar *out) {
                sumCentreRows(c, cellStride, width, rowsToWrite, out);
            });
    } else {
        // One edge's cells: a slanted one's through accumulate(), an upright one's rows in part
        // here and its whole rows by the rows where they start and stop.
        const auto areaEdge = [](float *c, UprightRows<double> &upright, int cellStride,
                                  int bandTop, int bandHeight, const Segment &s) {
            if (s.x0 != s.x1) {
                accumulate(c, cellStride, bandTop, bandHeight, s);
                return;
            }
            const double top = std::min(s.y0, s.y1);
            const double bottom = std::max(s.y0, s.y1);
            const double direction = s.y1 > s.y0 ? s.weight : -s.weight;
            const auto part = [&](int y, double dy) { // a row it covers in part
                if (y < bandTop || y >= bandTop + bandHeight || dy <= 0)
                    return;
                float *row = c + size_t(y - bandTop) * size_t(cellStride);
                const UprightCells cells = uprightCells(s.x0, dy * direction);
                row[cells.left] += cells.first;
                row[cells.left + 1] += cells.second;
            };
            const int yTop = floorToInt(top);
            const int yBottom = floorToInt(bottom);
            if (yTop == yBottom) {
                part(yTop, bottom - top);
                return;
            }
            if (top > yTop)
                part(yTop, yTop + 1 - top);
            part(yBottom, bottom - yBottom);
            // Whole rows, as a row covered in part would take them.
            const int from = std::max(top > yTop ? yTop + 1 : yTop, bandTop);
            const int to = std::min(yBottom, bandTop + bandHeight);
            if (from < to) {
                const UprightCells cells = uprightCells(s.x0, direction);
                upright.add(from - bandTop, to - bandTop, cells.left, cells.first);
                upright.add(from - bandTop, to - bandTop, cells.left + 1, cells.second);
            }
        };
        sweep(
            scratch->areaCells, scratch->areaUpright, wholeArea, width + 2,
            [&](float *c, UprightRows<double> &upright, int cellStride, int bandTop, int bandHeight,
                const std::vector<int> &indices) {
                // Slanted edges that cross every row (a fine disc's radial ones) go a row at a
                // time across as many of them as come in a row, each cell's sums in their order.
                std::vector<const Segment *> &across = scratch->across;
                const auto addAcross = [&] {
                    accumulateAcross(c, cellStride, bandTop, bandHeight, across.data(),
                        across.size(), scratch->acrossState);
                    across.clear();
                };
                across.clear();
                for (const int index : indices) {
                    const Segment &s = segments[size_t(index)];
                    if (crossesBand(s, bandTop, bandHeight)) {
                        across.push_back(&s);
                        continue;
                    }
                    if (!across.empty())
                        addAcross();
                    areaEdge(c, upright, cellStride, bandTop, bandHeight, s);
                }
                if (!across.empty())
                    addAcross();
            },
            [&](const PeriodicRing &ring, float *c, int cellStride, int bandTop,
                const std::vector<int> &computed) {
                ring.addArea(c, cellStride, width, bandTop, computed, scratch->ring);
            },
            [&](float *c, int cellStride, const std::vector<int> &rowsToWrite, uchar *out) {
                sumAreaRows(c, cellStride, width, rowsToWrite, out);
            });
    }
    scratchPool().give(std::move(scratch));
}
