// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "readback.h"

#include "codes.h"
#include "cores.h"
#include "coveragefill.h"
#include "discpainter.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "renderer.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr double degreesPerRadian = 180.0 / 3.14159265358979323846;

double wrapDegrees(double a)
{
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// Whether a pixel of the render is dark.
class PixelSource
{
public:
    virtual ~PixelSource() = default;
    virtual bool dark(int x, int y) const = 0;
};

// The exact raster, worked out from the shapes at each pixel's centre instead of drawn: an
// exact render shows a pixel dark when its centre (plain) or most of it (antialiased) lies in a
// shape, which is the same but at corners. Independent of the fill that draws the image.
class ShapeSource : public PixelSource
{
public:
    ShapeSource(const PatternGeometry &g, double k, QPointF shift) : g(g), k(k), shift(shift)
    {
        half = g.lineWidth / 2;
        for (const PatternGeometry::Track &t : g.tracks) {
            std::vector<std::pair<double, double>> runs;
            for (const PatternGeometry::Run &r : t.runs) {
                if (g.shape == Shape::Strip) {
                    runs.push_back({ r.from, r.to });
                    continue;
                }
                // Disc runs as intervals of [0, 360), split where they cross 0 degrees.
                const double width = std::min(r.to - r.from, 360.0);
                const double from = wrapDegrees(r.from);
                if (from + width <= 360.0) {
                    runs.push_back({ from, from + width });
                } else {
                    runs.push_back({ from, 360.0 });
                    runs.push_back({ 0.0, from + width - 360.0 });
                }
            }
            std::sort(runs.begin(), runs.end());
            tracks.push_back(std::move(runs));
        }
        if (g.shape != Shape::Disc)
            return;
        // Rings by radius, sorted: a circle's band is dark, a track's interior is read.
        for (size_t i = 0; i < g.tracks.size(); ++i) {
            const PatternGeometry::Track &t = g.tracks[i];
            const auto [inner, outer] = g.markRadii(t);
            if (inner <= outer)
                rings.push_back({ inner, outer, int(i) });
            if (g.lineWidth > 0) {
                for (double r : { t.from, t.to })
                    if (r > 0)
                        rings.push_back({ std::max(0.0, r - half), r + half, -1 });
            }
        }
        // Lines first where they overlap a track's edge: they are drawn over it.
        std::sort(rings.begin(), rings.end(), [](const Ring &a, const Ring &b) {
            return a.from != b.from ? a.from < b.from : a.track < b.track;
        });
    }

    bool dark(int x, int y) const override
    {
        return darkAt(QPointF((x + 0.5 - shift.x()) / k, (y + 0.5 - shift.y()) / k));
    }

private:
    // Whether `along` lies in one of the sorted runs, each widened by `widen` on both sides.
    static bool inRuns(const std::vector<std::pair<double, double>> &runs, double along,
        double widen = 0)
    {
        auto next = std::upper_bound(runs.begin(), runs.end(),
            std::pair<double, double>(along, std::numeric_limits<double>::infinity()));
        if (next != runs.end() && along >= next->first - widen)
            return true;
        return next != runs.begin() && along <= std::prev(next)->second + widen;
    }

    // Whether (dx, dy) lies within r of the dot's centre; hypot is slow, and at least as long
    // as either side.
    static bool inDot(double dx, double dy, double r)
    {
        return std::fabs(dx) <= r && std::fabs(dy) <= r && std::hypot(dx, dy) <= r;
    }

    bool darkAt(QPointF p) const
    {
        if (g.shape == Shape::Strip) {
            const QRectF &n = g.nominal;
            if (p.x() < n.left() - half || p.x() > n.right() + half || p.y() < n.top() - half
                || p.y() > n.bottom() + half)
                return false;
            if (p.x() < n.left() + half || p.x() > n.right() - half)
                return true;
            for (size_t i = 0; i < g.tracks.size(); ++i) {
                const PatternGeometry::Track &t = g.tracks[i];
                if (p.y() >= t.from + half && p.y() <= t.to - half)
                    return inRuns(tracks[i], p.x());
            }
            return true; // a border line between tracks
        }
        const QPointF d = p - g.center;
        if (g.centerMark) {
            const PatternGeometry::CenterMark &m = *g.centerMark;
            const double h = m.width / 2;
            const double e = m.arm + h;
            if ((std::fabs(d.x()) <= h && std::fabs(d.y()) <= e)
                || (std::fabs(d.y()) <= h && std::fabs(d.x()) <= e)
                || inDot(p.x() - m.dot.x(), p.y() - m.dot.y(), m.dotRadius))
                return true;
        }
        const double r = std::sqrt(d.x() * d.x() + d.y() * d.y());
        if (r > g.outerRadius + half)
            return false;
        // The rings holding r start at or before it: a line among them wins.
        auto end = std::upper_bound(rings.begin(), rings.end(), r,
            [](double value, const Ring &ring) { return value < ring.from; });
        int track = -1;
        for (auto it = end; it != rings.begin();) {
            --it;
            if (it->to < r) {
                if (track >= 0)
                    break;
                continue;
            }
            if (it->track < 0)
                return true;
            track = it->track;
        }
        if (track < 0)
            return false;
        const double angle = wrapDegrees(std::atan2(-d.y(), d.x()) * degreesPerRadian);
        // A biased mark's straight edges move parallel to themselves.
        const double widen = g.markBias == 0 || r <= 0
            ? 0.0
            : std::asin(std::clamp(g.markBias / 2 / r, -1.0, 1.0)) * degreesPerRadian;
        const auto &runs = tracks[size_t(track)];
        // Runs lie within [0, 360]: the angle a turn on or back reaches one only within `widen`
        // of 0 or 360 degrees.
        return inRuns(runs, angle, widen) || (angle <= widen && inRuns(runs, angle + 360.0, widen))
            || (angle >= 360.0 - widen && inRuns(runs, angle - 360.0, widen));
    }

    const PatternGeometry &g;
    double k;
    QPointF shift;
    double half = 0;
    std::vector<std::vector<std::pair<double, double>>> tracks;
    struct Ring
    {
        double from = 0;
        double to = 0;
        int track = -1; // -1 for a border circle
    };
    std::vector<Ring> rings;
};

// The classic pixels as drawn, one bit a pixel: they are not the shapes, so they are read,
// from a render that kept them or drawn here. Drawn here, only when a pixel is first read (the
// lines of tracks that vanish are not read at all): a strip a band of rows at a time, as it is
// read along a few lines a track; a disc, whose lines cross every band, all at once on every
// core (tracks read side by side would wait on each other's bands). With pixels kept but for
// some, those where they hold them, the band of any other when it is read.
class DrawnSource : public PixelSource
{
public:
    explicit DrawnSource(const DrawnPixels &kept) : pixels(kept) { }
    DrawnSource(const EncoderSettings &settings, bool antialias, const DrawnPixels *kept = nullptr)
        : kept(kept), settings(inBlackOnWhite(settings)),
          own(std::make_unique<DrawnPixels>(this->settings, antialias)), pixels(*own),
          antialias(antialias), size(patternImageSize(settings)),
          bandRows(PatternRaster::bandRowsFor(size.width())),
          bands((std::max(size.height(), 0) + bandRows - 1) / bandRows),
          drawnOnce(std::make_unique<std::once_flag[]>(size_t(bands)))
    { }

    bool dark(int x, int y) const override
    {
        if (kept && kept->holds(x, y))
            return kept->dark(x, y);
        if (own && y >= 0 && y / bandRows < bands) {
            if (settings.shape == Shape::Disc && !kept)
                std::call_once(allOnce,
                    [this] { shareOutOverCores(bands, [this](int band) { drawBand(band); }); });
            else
                drawBand(y / bandRows);
        }
        return pixels.dark(x, y);
    }

private:
    void drawBand(int band) const
    {
        std::call_once(drawnOnce[size_t(band)], [this, band] { draw(band); });
    }

    void draw(int band) const
    {
        std::call_once(rasterOnce,
            [this] { raster = std::make_unique<const PatternRaster>(settings, antialias); });
        const int top = band * bandRows;
        const int rows = std::min(bandRows, size.height() - top);
        if (raster->coverageAt(top, rows)) {
            // A byte a pixel rather than four: a fine disc's bands on every core at once.
            std::vector<uchar> coverage(size_t(size.width()) * size_t(rows));
            raster->coverageRows(coverage.data(), size.width(), top, rows);
            own->keep(coverage.data(), size.width(), top, rows, raster->colors());
            return;
        }
        // The painter over a coverage (a disc's centre mark) costs little more a few rows at a
        // time; the painter alone (every sector) would, a band's rows at once.
        const int piece = raster->coverageAt(0, 0) ? std::min(rows, 64) : rows;
        QImage image(size.width(), piece, QImage::Format_RGB32);
        if (image.isNull())
            throw std::bad_alloc();
        for (int first = top; first < top + rows; first += piece) {
            const int count = std::min(piece, top + rows - first);
            raster->paintRows(image.bits(), image.bytesPerLine(), first, count);
            own->keep(image.constBits(), image.bytesPerLine(), first, count);
        }
    }

    static EncoderSettings inBlackOnWhite(EncoderSettings settings)
    {
        settings.foreground = Qt::black;
        settings.background = Qt::white;
        return settings;
    }

    const DrawnPixels *kept = nullptr;
    EncoderSettings settings; // in black on white
    std::unique_ptr<DrawnPixels> own;
    const DrawnPixels &pixels;
    bool antialias = true;
    QSize size;
    int bandRows = PatternRaster::bandRows;
    int bands = 0;
    std::unique_ptr<std::once_flag[]> drawnOnce;
    mutable std::once_flag allOnce, rasterOnce;
    mutable std::unique_ptr<const PatternRaster> raster;
};

// How far `p` is from the nearest of the sorted edges, all in steps; round a disc of `cycle`
// steps the distance wraps. `from` is where the search starts: the last answer's place, as the
// readings of a line come in order (a vanishing track's every other reading asks).
double nearestEdge(const std::vector<double> &edges, double p, int cycle, size_t &from)
{
    double best = std::numeric_limits<double>::infinity();
    if (edges.empty())
        return best;
    if (from > edges.size() || (from > 0 && edges[from - 1] >= p))
        from = 0;
    while (from < edges.size() && edges[from] < p)
        ++from;
    const auto next = edges.begin() + std::ptrdiff_t(from);
    if (next != edges.end())
        best = *next - p;
    if (next != edges.begin())
        best = std::min(best, p - *std::prev(next));
    if (cycle > 0)
        best = std::min({ best, edges.front() + cycle - p, p + cycle - edges.back() });
    return best;
}

// At most how far any reading at `places` lies from its nearest of the sorted edges, in steps,
// as nearestEdge() measures (round a disc of `cycle` steps, wrapping): half the widest gap
// between edges, or the stretch beyond the outermost along a strip.
double farthestFromEdges(
    const std::vector<double> &edges, const std::vector<std::pair<double, bool>> &places, int cycle)
{
    if (edges.empty() || places.empty())
        return std::numeric_limits<double>::infinity();
    double farthest = 0;
    for (size_t i = 1; i < edges.size(); ++i)
        farthest = std::max(farthest, (edges[i] - edges[i - 1]) / 2);
    if (cycle > 0)
        return std::max(farthest, (edges.front() + cycle - edges.back()) / 2);
    const auto [lowest, highest] = std::minmax_element(places.begin(), places.end());
    return std::max({ farthest, edges.front() - lowest->first, highest->first - edges.back() });
}

QString millimetres(double mm)
{
    return QString::number(mm, 'f', 4);
}

}

bool ReadBack::reads() const
{
    return std::all_of(tracks.begin(), tracks.end(), [](const Track &t) { return t.reads(); });
}

QString ReadBack::failingTracks() const
{
    QStringList names;
    for (const Track &t : tracks)
        if (!t.reads())
            names << t.name;
    if (names.size() > 3)
        return QStringLiteral("%1 tracks, %2 ... %3").arg(names.size()).arg(names.first(),
            names.last());
    return names.join(QStringLiteral(", "));
}

namespace {

// Classic pixels of the pattern itself, unscaled: what a read-back draws, in some colours.
bool classicAsIs(const EncoderSettings &settings)
{
    return settings.drawsClassicPixels() && !settings.compensatesScale() && !settings.mask;
}

bool blackOnWhite(const EncoderSettings &settings)
{
    return settings.foreground.rgb() == QColor(Qt::black).rgb()
        && settings.background.rgb() == QColor(Qt::white).rgb();
}

}

DrawnPixels::DrawnPixels(const EncoderSettings &settings, bool antialias)
    : size(patternImageSize(settings)), words((size_t(std::max(size.width(), 0)) + 63) / 64),
      rowBits(size_t(std::max(size.height(), 0)), nullptr), antialias(antialias),
      mark(settings.foreground.rgb() & 0xffffffu),
      // Plain pixels in two other opaque colours are one or the other where a read-back's are
      // black or white: a mark where they are the marks' colour.
      byMark(!antialias && !blackOnWhite(settings) && settings.foreground.alpha() == 255
          && settings.background.alpha() == 255 && mark != (settings.background.rgb() & 0xffffffu)),
      // What a read-back draws: classic pixels of the pattern itself, unscaled, black on white.
      asRead(classicAsIs(settings) && (blackOnWhite(settings) || byMark)),
      // In colours other than greys, every row a render draws is a coverage.
      coverageAsRead(!asRead && antialias && settings.shape == Shape::Disc && classicAsIs(settings)
          && !PatternRaster::inGreys(settings))
{
    if (!coverageAsRead)
        return;
    unsure = discOverlayRows(settings, size); // the mark is as wide as it is high
    for (int a = 0; a < 256; ++a)
        readColors[a] = CoverageFill::blend(qRgb(0, 0, 0), qRgb(255, 255, 255), a);
}

bool DrawnPixels::readsFor(const EncoderSettings &settings, bool antialiased) const
{
    return (asRead || coverageAsRead) && antialiased == antialias && settings.drawsClassicPixels()
        && patternImageSize(settings) == size;
}

void DrawnPixels::keep(
    const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors)
{
    if (coverageAsRead) {
        if (!colors)
            return; // the painter's own colours: a level off
        colors = readColors;
    }
    const size_t width = size_t(size.width());
    std::vector<uchar> flags(words * 64, 0);
    uchar darkCoverage[256] = {};
    for (int a = 0; colors && a < 256; ++a)
        darkCoverage[a] = qGray(colors[a]) < 128;
    // Two colours' blends darken one way: dark from one coverage on (or up to it), which a
    // comparison finds many pixels at a time where a table is looked up one at a time.
    int changes = 0, threshold = 0;
    for (int a = 1; colors && a < 256; ++a)
        if (darkCoverage[a] != darkCoverage[a - 1]) {
            ++changes;
            threshold = a;
        }
    const bool darkFrom = changes == 1 && darkCoverage[255];
    const bool darkBelow = changes == 1 && darkCoverage[0];
    const size_t rowBytes = colors ? width : width * sizeof(QRgb);
    const int count = std::clamp(size.height() - top, 0, rows);
    if (count == 0)
        return;
    // A strip's rows mostly repeat the one above: they share its words.
    std::vector<bool> repeats(size_t(count), false);
    size_t distinct = 0;
    for (int y = 0; y < count; ++y) {
        repeats[size_t(y)] = y > 0
            && std::memcmp(firstRow + y * stride, firstRow + (y - 1) * stride, rowBytes) == 0;
        distinct += !repeats[size_t(y)];
    }
    std::vector<uint64_t> band(distinct * words);
    std::vector<size_t> at(static_cast<size_t>(count)); // each row's words in the band's
    uint64_t *out = band.data() - words;
    for (int y = 0; y < count; ++y) {
        if (repeats[size_t(y)]) {
            at[size_t(y)] = at[size_t(y) - 1];
            continue;
        }
        out += words;
        at[size_t(y)] = size_t(out - band.data());
        // Whether each pixel is dark, several at a time, then eight of those to a byte by one
        // multiplication (each flag's bit to its own place): no branch, no pixel's bit waiting
        // on the last.
        uchar *__restrict f = flags.data();
        size_t fromWord = 0; // the words before it are done
        if (colors) {
            const uchar *__restrict coverage = firstRow + y * stride;
            const uchar t = uchar(threshold);
            if (darkFrom) {
                for (size_t x = 0; x < width; ++x)
                    f[x] = coverage[x] >= t;
            } else if (darkBelow) {
                for (size_t x = 0; x < width; ++x)
                    f[x] = coverage[x] < t;
            } else {
                for (size_t x = 0; x < width; ++x)
                    f[x] = darkCoverage[coverage[x]];
            }
        } else if (byMark) {
            const QRgb *__restrict line = reinterpret_cast<const QRgb *>(firstRow + y * stride);
            for (size_t x = 0; x < width; ++x)
                f[x] = (line[x] & 0xffffffu) == mark;
        } else {
            const QRgb *line = reinterpret_cast<const QRgb *>(firstRow + y * stride);
            size_t x = 0;
#ifdef __SSE2__
            // qGray(c) < 128 is 11 red + 16 green + 5 blue < 4096: four pixels' sums at once,
            // straight to their words.
            const __m128i weights = _mm_setr_epi16(5, 16, 11, 0, 5, 16, 11, 0);
            const __m128i zero = _mm_setzero_si128();
            const __m128i pairs = _mm_set1_epi16(1);
            const __m128i limit = _mm_set1_epi32(4096);
            const auto darkFour = [&](const QRgb *p) {
                const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(c, zero), weights);
                const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(c, zero), weights);
                const __m128i sums = _mm_madd_epi16(_mm_packs_epi32(low, high), pairs);
                return uint64_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(sums, limit))));
            };
            for (size_t w = 0; w < width / 64; ++w, x += 64) {
                uint64_t word = 0;
                for (int q = 0; q < 16; ++q)
                    word |= darkFour(line + x + size_t(q) * 4) << (4 * q);
                out[w] = word;
            }
#endif
            fromWord = x / 64;
            for (; x < width; ++x)
                f[x] = qGray(line[x]) < 128;
        }
        for (size_t w = fromWord; w < words; ++w) {
            uint64_t word = 0;
            for (int b = 0; b < 8; ++b) {
                uint64_t eight;
                std::memcpy(&eight, f + w * 64 + size_t(b) * 8, 8);
                word |= ((eight * 0x0102040810204080u) >> 56) << (8 * b);
            }
            out[w] = word;
        }
    }
    const uint64_t *base;
    {
        // Moved, the words stay where they are.
        const std::lock_guard<std::mutex> hold(storing);
        stored.push_back(std::move(band));
        base = stored.back().data();
    }
    for (int y = 0; y < count; ++y)
        rowBits[size_t(top + y)] = base + at[size_t(y)];
}

bool DrawnPixels::complete() const
{
    return std::all_of(rowBits.begin(), rowBits.end(), [](const uint64_t *r) { return r; });
}

bool DrawnPixels::holdsAll() const
{
    return complete() && unsure.first > unsure.second;
}

bool DrawnPixels::holds(int x, int y) const
{
    if (y < 0 || y >= size.height() || !rowBits[size_t(y)])
        return false;
    const auto in = [this](int v) { return v >= unsure.first && v <= unsure.second; };
    return !in(x) || !in(y);
}

bool DrawnPixels::dark(int x, int y) const
{
    if (x < 0 || y < 0 || x >= size.width() || y >= size.height() || !rowBits[size_t(y)])
        return false;
    return rowBits[size_t(y)][size_t(x / 64)] >> (x % 64) & 1u;
}

ReadBack readBack(const EncoderSettings &settings, bool antialias, double apertureMm,
    const DrawnPixels *drawn, ReadingDepth depth)
{
    // A compensated raster prints as the plain one does: read that.
    if (settings.compensatesScale()) {
        EncoderSettings printed = settings;
        printed.scaleX = printed.scaleY = 1;
        return readBack(printed, antialias, apertureMm, drawn, depth);
    }
    const PatternGeometry g = patternGeometry(settings);
    const bool disc = g.shape == Shape::Disc;
    const double k = precisePixelsPerMm(settings.dpi);
    const QPointF shift
        = settings.drawsClassicPixels() ? QPointF() : patternPixelOffset(settings);
    std::unique_ptr<PixelSource> source;
    if (drawn && drawn->readsFor(settings, antialias) && drawn->holdsAll())
        source = std::make_unique<DrawnSource>(*drawn);
    else if (drawn && drawn->readsFor(settings, antialias))
        source = std::make_unique<DrawnSource>(settings, antialias, drawn);
    else if (settings.drawsClassicPixels())
        source = std::make_unique<DrawnSource>(settings, antialias);
    else
        source = std::make_unique<ShapeSource>(g, k, shift);
    // (std::floor is a call, where the most of a fine disc's reading went.)
    const auto pixel = [&](QPointF mm) {
        return QPoint(PixelRule::floorToInt(mm.x() * k + shift.x()),
            PixelRule::floorToInt(mm.y() * k + shift.y()));
    };

    ReadBack result;
    result.dotsPerMm = k;
    const std::vector<PatternGeometry::Widths> widths = g.narrowest();
    const double half = g.lineWidth / 2;
    const bool absolute = settings.type == EncoderType::Absolute;
    const Codes::SingleTrack *single = Codes::oneTrack(settings);
    const int steps = single ? int(single->cells.size())
        : absolute           ? g.positions
                             : 2 * settings.pairs;
    const double pitch = steps > 0 ? (disc ? 360.0 : double(settings.widthMm)) / steps : 0;
    // Where a place along the code lies on the pattern: mirrored when counted the other way.
    const auto placed = [&](double p) { return settings.counterClockwise ? steps - p : p; };
    // A few points across the aperture, at most one a pixel.
    const int apertureSamples
        = apertureMm > 0 ? std::clamp(int(std::ceil(apertureMm * k)), 1, 9) : 1;

    // Where the code's steps (absolute) or quarter periods (relative) lie round a disc, worked
    // out once for every track and line: the n-th reading of a track is at step n + 0.5, or
    // quarter period n / 2 + 0.25, and a one-pixel sensor reads exactly there.
    const auto towards = [&](double p, double offsetRadians) {
        const double angle = (360.0 - placed(p) * pitch) / degreesPerRadian + offsetRadians;
        return QPointF(std::cos(angle), -std::sin(angle));
    };
    const auto regularPlace = [absolute](size_t n) {
        return absolute ? double(n) + 0.5 : double(n) * 0.5 + 0.25;
    };
    std::vector<QPointF> regular;
    if (disc && apertureSamples == 1) {
        regular.resize(size_t(absolute ? steps : 2 * steps));
        for (size_t n = 0; n < regular.size(); ++n)
            regular[n] = towards(regularPlace(n), 0.0);
    }

    // Every track reads a bit of the same words: worked out once.
    std::vector<unsigned> words;
    if (absolute && !single) {
        words.resize(size_t(std::max(steps, 0)));
        for (int q = 0; q < steps; ++q)
            words[size_t(q)] = codeWord(settings, q);
    }

    result.tracks.resize(g.tracks.size());
    shareOutOverCores(int(g.tracks.size()), [&](int trackIndex) {
        const size_t i = size_t(trackIndex);
        const PatternGeometry::Track &t = g.tracks[i];
        ReadBack::Track &out = result.tracks[i];
        out.name = t.name;
        out.markMm = i < widths.size() ? widths[i].mark : 0;
        out.gapMm = i < widths.size() ? widths[i].gap : 0;
        const double inner = disc && t.from <= 0 ? 0.0 : t.from + half;
        const double outer = t.to - half;
        out.clearMm = std::max(0.0, outer - inner);
        // Where a sensor may read across the track: its centre line and a pixel inside each
        // edge the border lines leave (not at the very centre of a disc), where the pixel read
        // is the track's own whichever way the edge is rounded.
        std::vector<std::pair<double, QString>> lines;
        lines.push_back({ (t.from + t.to) / 2, QStringLiteral("centre line") });
        if (outer - inner < 1 / k) {
            out.hidden = true;
        } else if (outer - inner >= 3 / k) {
            if (!(disc && t.from <= 0))
                lines.push_back({ inner + 1 / k,
                    disc ? QStringLiteral("inner edge") : QStringLiteral("top edge") });
            lines.push_back({ outer - 1 / k,
                disc ? QStringLiteral("outer edge") : QStringLiteral("bottom edge") });
        }

        // What to read along the track: positions in steps and the value the code puts there.
        std::vector<std::pair<double, bool>> expected;
        std::vector<double> edges; // where the code changes along the track, in steps
        QString unit = QStringLiteral("step");
        if (absolute) {
            expected.reserve(size_t(steps));
            for (int q = 0; q < steps; ++q) {
                const bool on = settings.invert
                    != (t.clock      ? q % 2 == 1
                            : single ? bool(single->cells[size_t(q)])
                                     : bool(words[size_t(q)] >> t.bit & 1u));
                if (q > 0 && on != expected.back().second)
                    edges.push_back(q);
                expected.emplace_back(q + 0.5, on);
            }
            if (disc && steps > 1 && expected.front().second != expected.back().second)
                edges.insert(edges.begin(), 0.0);
        } else if (t.segments == 2 && !t.runs.empty()) {
            // The index: its middle and both sides of each edge, an eighth of a period away.
            unit = QStringLiteral("index position");
            const double width = settings.indexWidthDegrees / 360.0 * 2;
            const double middle
                = 2 * std::max(disc ? 0 : stripIndexPeriod(settings), 0) + 1.75;
            const double a = middle - width / 2;
            const double b = middle + width / 2;
            const double d = 0.125;
            const bool mark = !settings.invert;
            expected = { { (a + b) / 2, mark }, { a + d, mark }, { b - d, mark } };
            edges = { a, b };
            if (disc || a - d > 0)
                expected.push_back({ a - d, !mark });
            if (disc || b + d < steps)
                expected.push_back({ b + d, !mark });
        } else {
            // Channel A (or the one track) and channel B at the middle of every quarter period.
            unit = QStringLiteral("quarter period");
            const bool channelB = i == 1 && settings.quadrature;
            expected.reserve(size_t(2 * steps));
            edges.reserve(size_t(steps + 1));
            for (int j = 0; j < 2 * steps; ++j) {
                const double p = j * 0.5 + 0.25;
                const int segment = int(std::floor(channelB ? p - 0.5 : p));
                expected.push_back({ p, ((segment & 1) != 0) != settings.invert });
            }
            for (int m = 0; m <= steps; ++m)
                edges.push_back(channelB ? m + 0.5 : m);
        }

        // Neighbouring readings often fall in one pixel (a fine track has several a pixel):
        // the pixel read last is not worked out again.
        QPoint lastPixel(std::numeric_limits<int>::min(), 0);
        bool lastDark = false;
        const auto darkAt = [&](QPoint px) {
            if (px != lastPixel) {
                lastPixel = px;
                lastDark = source->dark(px.x(), px.y());
            }
            return lastDark;
        };
        // Where the readings lie regularly round a disc or along a strip, their pixels first,
        // all at once: a loop without branches, where working each out beside its reading was
        // most of the time.
        bool allRegular = apertureSamples == 1 && (!disc || expected.size() <= regular.size());
        for (size_t n = 0; allRegular && n < expected.size(); ++n)
            allRegular = expected[n].first == regularPlace(n);
        std::vector<int> columns, rows;
        const bool verdictOnly = depth == ReadingDepth::Verdicts;
        const double farthest = farthestFromEdges(edges, expected, disc ? steps : 0);
        for (const auto &[across, where] : lines) {
            if (verdictOnly && (out.hidden || out.wrong > 0))
                break;
            size_t edgeFrom = 0;
            const double pixelsPerStep = k * pitch * (disc ? across / degreesPerRadian : 1.0);
            const double tolerance = (0.75 + apertureMm * k / 2) / pixelsPerStep;
            const double endLine = half + 0.5 / k;
            const auto beyondEnds = [&](double p) {
                return !disc && (p * pitch < endLine || (steps - p) * pitch < endLine);
            };
            // Where every reading is as near an edge as that, none can be wrong: a vanishing
            // track's readings are counted, not read.
            if (farthest < tolerance) {
                for (const auto &reading : expected)
                    out.readings += beyondEnds(reading.first) ? 0 : 1;
                continue;
            }
            if (allRegular) {
                columns.resize(expected.size());
                rows.resize(expected.size());
                // The same sums as pixel(), term for term.
                if (disc) {
                    const double cx = g.center.x(), cy = g.center.y();
                    for (size_t n = 0; n < expected.size(); ++n) {
                        columns[n]
                            = PixelRule::floorToInt((cx + regular[n].x() * across) * k + shift.x());
                        rows[n]
                            = PixelRule::floorToInt((cy + regular[n].y() * across) * k + shift.y());
                    }
                } else {
                    const double left = g.nominal.left();
                    const int row = PixelRule::floorToInt(across * k + shift.y());
                    for (size_t n = 0; n < expected.size(); ++n) {
                        columns[n] = PixelRule::floorToInt(
                            (left + placed(regularPlace(n)) * pitch + 0.0) * k + shift.x());
                        rows[n] = row;
                    }
                }
            }
            for (size_t n = 0; n < expected.size(); ++n) {
                const double p = expected[n].first;
                // A strip's end lines stand on its end steps: said in a note, not misread.
                if (beyondEnds(p))
                    continue;
                int darkCount = 0;
                if (allRegular)
                    darkCount = darkAt(QPoint(columns[n], rows[n])) ? 1 : 0;
                for (int sub = 0; sub < apertureSamples && !allRegular; ++sub) {
                    const double offset = apertureSamples == 1
                        ? 0.0
                        : ((sub + 0.5) / apertureSamples - 0.5) * apertureMm;
                    QPointF at;
                    if (disc) {
                        const bool known = n < regular.size() && p == regularPlace(n);
                        at = g.center
                            + (known ? regular[n] : towards(p, offset / across)) * across;
                    } else {
                        at = QPointF(g.nominal.left() + placed(p) * pitch + offset, across);
                    }
                    darkCount += darkAt(pixel(at)) ? 1 : 0;
                }
                const bool dark = 2 * darkCount > apertureSamples;
                ++out.readings;
                // Each pixel shows what lies under its centre, up to half a diagonal from the
                // point read: a reading that close to an edge of the code may show either side.
                if (dark != expected[n].second
                    && nearestEdge(edges, p, disc ? steps : 0, edgeFrom) >= tolerance) {
                    if (out.wrong == 0)
                        out.firstWrong = QStringLiteral("%1 %2 at the %3")
                                             .arg(unit)
                                             .arg(unit == QLatin1String("step")
                                                     ? QString::number(std::floor(p))
                                                     : QString::number(p - 0.25, 'g', 6))
                                             .arg(where);
                    ++out.wrong;
                    if (verdictOnly)
                        break;
                }
            }
        }
    });

    // A strip's border line stands half in its first and last steps.
    if (!disc && half > 0 && pitch > 0 && half > pitch / 4)
        result.notes << QStringLiteral("the border lines cover %1 % of the first and last %2")
                            .arg(std::min(100.0, 100 * half / pitch), 0, 'f', 0)
                            .arg(absolute ? QStringLiteral("steps") : QStringLiteral("segments"));
    return result;
}

QString readBackReport(const ReadBack &reading, double apertureMm)
{
    const double k = reading.dotsPerMm;
    const auto cell = [k](double mm) {
        if (std::isinf(mm))
            return QStringLiteral("-");
        return QStringLiteral("%1 mm = %2 px").arg(millimetres(mm)).arg(mm * k, 0, 'f', 2);
    };
    QString text = QStringLiteral("each track read as a sensor reads it, at %1 dpi%2\n")
                       .arg(qRound(k * 25.4))
                       .arg(apertureMm > 0
                               ? QStringLiteral(" through a %1 mm aperture").arg(apertureMm)
                               : QString());
    text += QStringLiteral("%1 %2 %3 %4 %5\n")
                .arg(QStringLiteral("track"), -36)
                .arg(QStringLiteral("mark"), -24)
                .arg(QStringLiteral("gap"), -24)
                .arg(QStringLiteral("clear width"), -24)
                .arg(QStringLiteral("reading"));
    for (const ReadBack::Track &t : reading.tracks) {
        QString verdict;
        if (t.markMm * k < 1 || t.gapMm * k < 1)
            verdict = QStringLiteral("vanishes at this dpi; ");
        if (t.hidden)
            verdict += QStringLiteral("hidden under the border lines");
        else if (t.wrong > 0)
            verdict += QStringLiteral("does not read: %1 of %2 readings wrong, first %3")
                          .arg(t.wrong)
                          .arg(t.readings)
                          .arg(t.firstWrong);
        else
            verdict += QStringLiteral("reads right (%1 readings)").arg(t.readings);
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(t.name, -36)
                    .arg(cell(t.markMm), -24)
                    .arg(cell(t.gapMm), -24)
                    .arg(cell(t.clearMm), -24)
                    .arg(verdict);
    }
    for (const QString &note : reading.notes)
        text += QStringLiteral("note: %1\n").arg(note);
    return text;
}

QString readBackWarning(const ReadBack &reading)
{
    QStringList parts;
    if (!reading.reads())
        parts << QStringLiteral("%1 would not read at %2 dpi")
                     .arg(reading.failingTracks())
                     .arg(qRound(reading.dotsPerMm * 25.4));
    parts << reading.notes;
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("warning: %1 (see --check)").arg(parts.join(QStringLiteral("; ")));
}
