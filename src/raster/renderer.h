// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_RENDERER_H
#define QUVELTA_RENDERER_H

#include "encodersettings.h"

#include <QImage>
#include <QSize>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class CoverageFill;
class QPainter;

// Clears and paints the whole pattern with the painter that the shape, type and code call for.
void paintEncoder(QPainter &painter, const EncoderSettings &settings, QSize size);

// The pattern's pixels a band of rows at a time: the exact raster of the pattern geometry, or
// the classic whole-pixel painters when the settings ask for them. Every band has exactly the pixels that the
// whole image has in its rows, so a file can be written from bands without the whole image in
// memory, and the bands of one image can be painted on several threads at once.
class PatternRaster
{
public:
    // Works out the shapes once (memory for their edges may run out: std::bad_alloc).
    PatternRaster(const EncoderSettings &settings, bool antialias);
    ~PatternRaster();

    QSize size() const { return imageSize; }
    int dotsPerMeter() const;
    // Whether every pixel is a grey: the two colours are, and every blend of greys is one.
    bool onlyGreys() const { return inGreys(settings); }
    static bool inGreys(const EncoderSettings &settings);
    // Bands start at multiples of this many rows; other bands cost more, not other pixels.
    static constexpr int bandRows = 256;
    // The band height for an image this wide: halved for one wider than the largest disc's
    // twice over (a long strip), so that a band of RGB32 rows stays within about 10 MB.
    static int bandRowsFor(int width);

    // Paints rows top to top + rows - 1 into RGB32 lines `stride` bytes apart from `firstRow`.
    void paintRows(uchar *firstRow, qsizetype stride, int top, int rows) const;
    // Shown every band of rows paintRows or coverageRows makes, as it makes them (on its
    // thread): RGB32 pixels, or coverage bytes with the colour of each when `colors` is not null.
    using Painted = std::function<void(
        const uchar *firstRow, qsizetype stride, int top, int rows, const QRgb *colors)>;
    void alsoShow(Painted painted) { shown = std::move(painted); }

    // Whether the pixels are a coverage of the foreground over the background (the exact
    // raster): then coverageRows gives them a byte a pixel, and a pixel's colour is
    // colorOf(coverage). Plain pixels are 0 or 255. The classic painters give colours, and
    // coverage only where coverageAt says.
    bool hasCoverage() const { return coverage && !settings.drawsClassicPixels(); }
    // Whether these rows are such a coverage: every row of the exact raster and of classic
    // antialiased pixels in colours, and a classic antialiased disc's in greys but those the
    // painter draws its centre mark in.
    bool coverageAt(int top, int rows) const;
    bool isAntialiased() const { return antialias; }
    void coverageRows(uchar *firstRow, qsizetype stride, int top, int rows) const;
    QRgb colorOf(int coverage) const { return blends[size_t(coverage)]; }
    const QRgb *colors() const { return blends.data(); } // colorOf() of every coverage

    // The whole image, its DPI recorded, the bands shared out over the cores. Throws
    // std::bad_alloc when it has no pixels or their memory cannot be had.
    QImage image() const;

private:
    EncoderSettings settings;
    bool antialias;
    QSize imageSize;
    std::shared_ptr<const CoverageFill> coverage; // the filled shapes, where not painted
    std::pair<int, int> paintedOver { 0, -1 }; // the rows the painter draws over the coverage
    bool paintsCoverage = false; // the painter draws into a coverage, not in the colours
    std::vector<std::pair<int, int>> rowsAlike; // runs of classic rows with the same pixels
    std::array<QRgb, 256> blends {}; // the colour of each coverage
    Painted shown;
    void paintOnly(uchar *firstRow, qsizetype stride, int top, int rows) const;
    void fillCoverage(uchar *firstRow, qsizetype stride, int top, int rows) const;
    // The classic painters in the given colours over RGB32 rows: a disc's overlay on its
    // coverage's colours, or the whole pattern.
    void paintClassic(
        uchar *firstRow, qsizetype stride, int top, int rows, const EncoderSettings &colours) const;
};

// A fresh RGB32 image of the pattern at its physical size, the DPI recorded in it.
// Null when a dimension truncates to 0 pixels or the memory for the render cannot be had.
QImage renderEncoderImage(const EncoderSettings &settings, bool antialias);

// The exact raster of the settings (plain pixels sample each pixel's centre, antialiased ones
// take the exact covered area), whatever their classicPixels says. Null when a
// dimension is 0 pixels or the image cannot be allocated.
QImage renderPreciseImage(EncoderSettings settings, bool antialias);

#endif
