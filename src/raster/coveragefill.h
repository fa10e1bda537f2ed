// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_COVERAGEFILL_H
#define QUVELTA_COVERAGEFILL_H

#include "periodicring.h"

#include <QImage>
#include <QRgb>
#include <QSize>

#include <functional>
#include <utility>
#include <vector>

// Fills a set of closed polygons with one colour over a background, antialiased by the exact area
// each pixel has inside them, straight into RGB32 rows. The polygons must not overlap (where they
// do, their coverage adds up to at most full). Every pixel of the rows is written: the background
// where nothing covers it.
//
// It does for thousands of thin shapes what QPainter's antialiased fill does, at a small fraction
// of the cost: edges are accumulated as signed area per cell and summed along each row, a band of
// rows at a time, bands on several threads at once.
class CoverageFill
{
public:
    struct Point
    {
        double x;
        double y;
    };

    // The widest image drawn in whole bands of rows; wider ones take shorter bands, and so
    // should those who hold its rows, to keep the memory of a long strip's bands bounded.
    static constexpr int widestFullBand = 16384;

    explicit CoverageFill(QSize size);

    // Adds a closed polygon; the last point connects back to the first. A weight under 1 adds
    // that share of its area, for the area fill only: a ring's mean cover.
    void addPolygon(const std::vector<Point> &points, float weight = 1.0f);

    // Makes room for about this many more edges: a fine disc's run to megabytes, and growing
    // them step by step copies and faults in twice the memory.
    void reserveEdges(size_t count) { segments.reserve(segments.size() + count); }

    // Adds the cover of a fine ring's marks beyond their mean, which its circles bring with
    // the duty as weight; pixel centres read the ring itself.
    void addRing(const PeriodicRing::Track &ring);

    // Area: each pixel blends by the area covered. PixelCentre: a pixel is foreground when its
    // centre lies inside (non-zero winding), plain pixels with every edge at its exact place.
    enum class Sampling { Area, PixelCentre };

    // Sorts the edges by the rows they cross; after this no polygon may be added, and fillRows
    // may be called from several threads at once.
    void prepare();

    // Rows top to top + rows - 1 of the fill, written to `rows` lines `stride` bytes apart from
    // `firstRow`: the same pixels these rows have in the whole fill.
    void fillRows(uchar *firstRow, qsizetype stride, int top, int rows, QRgb foreground,
        QRgb background, Sampling sampling) const;

    // The same rows as the coverage of each pixel, 0 (background) to 255 (foreground), a byte a
    // pixel; fillRows gives pixel x the colour blend(foreground, background, coverage).
    void fillAlpha(uchar *firstRow, qsizetype stride, int top, int rows, Sampling sampling) const;
    static QRgb blend(QRgb foreground, QRgb background, int alpha);
    // How many straight edges the fill holds: what its preparing and its bands cost by.
    size_t edgeCount() const { return segments.size(); }

    struct Segment
    {
        double x0, y0, x1, y1;
        float weight = 1.0f;
    };
    // Adds the signed area a segment leaves right of it to the cells of a band's rows (`stride`
    // cells a row, the image's width + 2), as the area fill sums them. `general` takes every
    // row the general way instead of steep edges' short way: the same bits, for the tests.
    static void accumulate(float *cells, int stride, int bandTop, int rows,
        const Segment &segment, bool general = false);
    // Whether a slanted segment crosses every row of the band's whole.
    static bool crossesBand(const Segment &segment, int bandTop, int rows);
    // The same cells as accumulate() of each of these segments in turn, each crossing every
    // row of the band's, added a row at a time across them: a row's cells stay at hand,
    // where one segment after another goes down every row. `state` is working memory.
    static void accumulateAcross(float *cells, int stride, int bandTop, int rows,
        const Segment *const *segments, size_t count, std::vector<double> &state);

private:
    void addClippedSegment(Point a, Point b, float weight);
    void alphaRows(int top, int rows, Sampling sampling,
        const std::function<void(int y, const uchar *alpha)> &give) const;
    static void accumulateCrossings(
        int *cells, int stride, int width, int bandTop, int rows, const Segment &segment);

    QSize size;
    int bandRows; // fewer for very wide images
    std::vector<Segment> segments;
    std::vector<PeriodicRing> rings;
    // The first and last band of rows a segment touches (clamped to the image's).
    std::pair<int, int> bandsOf(const Segment &s) const;
    // The indices of the segments that touch a band, in order: those of few bands are listed by
    // band, long ones (a long strip's upright mark edges) by groups of bands, which would
    // otherwise list each hundreds of times.
    const std::vector<int> &segmentsOf(int band, std::vector<int> &scratch) const;
    std::vector<std::vector<int>> byBand; // segment indices by the band of rows they touch
    struct LongSegment
    {
        int index, firstBand, lastBand;
    };
    std::vector<LongSegment> longSegments;
    std::vector<std::vector<int>> longByGroup; // positions in longSegments, by group of bands
    // What the upright edges over every row of a group of bands (a strip's marks) add to each of
    // its rows, summed once: areas and pixel-centre windings, each a row of cells, one for each
    // kind of group (groups covered by the same edges are of one kind). Those edges are left out
    // of longByGroup. Empty when the rows would take too much memory.
    std::vector<int> wholeOfGroup; // the kind of each group
    std::vector<std::vector<double>> wholeArea;
    std::vector<std::vector<int>> wholeCentres;
    std::vector<std::vector<int>> computedRows; // by band: the rows not copied from the one above
    bool prepared = false;
};

#endif
