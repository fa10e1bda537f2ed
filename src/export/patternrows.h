// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PATTERNROWS_H
#define QUVELTA_PATTERNROWS_H

#include "pixelpacking.h"

#include <QVector>

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

class PatternRaster;

// The rows of a pattern for a file writer, drawn a band at a time so that the whole image is
// never in memory, a few bands ahead of the writer on the other cores. An exact raster is drawn
// once as a coverage a byte a pixel, and its two colours and their blends give the layout
// without a look at the pixels: 1 bit when plain, 8-bit grey or palette when antialiased.
// The classic pixels are colours: their layout takes one pass over the bands on every core;
// while the pattern has at most two colours that pass keeps a 1-bit copy, which the writer then
// reads without a second render. An antialiased classic disc in greys is its coverage but for
// the rows of its centre mark, which the painter draws: 8-bit grey, known without a look.
class PatternRows : public PixelPacking::PixelRows
{
public:
    explicit PatternRows(const PatternRaster &raster);
    ~PatternRows() override;

    QSize size() const override;
    int dotsPerMeterX() const override;
    int dotsPerMeterY() const override;
    const PixelPacking::Layout &layout() override;
    const QRgb *row(int y) override;
    void rgbRow(int y, uchar *out) override;
    void packRow(int y, const PixelPacking::RowPacker &packer, uchar *out) override;
    void packRowsAside(
        int top, int count, const PixelPacking::RowPacker &packer, uchar *out) override;
    // Whether a band could not be drawn for want of memory (its rows then read as 0).
    bool failed() const override { return renderFailed; }

private:
    struct Band
    {
        int index = -1;
        std::unique_ptr<uchar[]> pixels; // coverage or RGB32
        std::future<void> drawn;
    };
    // A band's 1-bit copy, its bits meaning its own two colours. A row that repeats the one
    // above shares its bits: a long strip's band is a row or two.
    struct BilevelBand
    {
        std::vector<uchar> bits; // the band's distinct rows
        std::vector<int> rowOf; // each row's place among them
        QVector<QRgb> colors;
    };

    int bandCount() const;
    int bandHeight(int band) const;
    // Whether the band's pixels are coverage bytes, not RGB32 colours, and their bytes a pixel.
    bool coverageBand(int band) const;
    int pixelBytes(int band) const;
    // A band's pixels, from the few the rows may have: waits for one to come back when all are
    // in use, so that memory does not grow with the number of cores.
    std::unique_ptr<uchar[]> takeBuffer();
    void giveBack(std::unique_ptr<uchar[]> buffer);
    // Row y of its band as drawn: coverage bytes or RGB32 pixels.
    const uchar *bandRow(int y);
    void drawAhead(int band);
    // Draws the band's pixels into `bits`: its coverage or RGB32 colours.
    void draw(int band, uchar *bits) const;
    void waitForAll();

    const PatternRaster &raster;
    // The layout from the coverage's colours: every band of the exact raster is coverage, a
    // classic disc's in greys all but its painted ones.
    const bool fromCoverage;
    const int bytesPerPixel; // of the largest band
    const int bandRows; // the raster's band height, or less for very wide images
    QRgb colors[256] = {}; // the colour of each coverage
    uchar rgb[256][4] = {}; // its red, green and blue, and a byte to copy four at a time
    uchar codes[256] = {}; // what each coverage packs to: a bit, a grey level or an index
    enum class CodeRule { Table, Same, Inverse }; // codes[a] as given, a, or 255 - a
    CodeRule codeRule = CodeRule::Table;
    std::vector<QRgb> colorRow;
    std::unique_ptr<PixelPacking::Layout> packing;
    std::vector<BilevelBand> bilevel; // empty unless the whole pattern has two colours at most
    std::deque<Band> ahead; // the band being read, then those being drawn after it
    // Rows packed aside come from this band, drawn here alone, when it is set.
    Band *aside = nullptr;
    int step = 1; // the direction the rows are read in
    int bufferLimit;
    int buffersMade = 0;
    std::mutex buffersLock;
    std::condition_variable bufferReturned;
    std::vector<std::unique_ptr<uchar[]>> spareBuffers;
    std::vector<QRgb> zeroRow;
    bool renderFailed = false;
};

#endif
