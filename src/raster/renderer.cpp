// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "renderer.h"

#include "cores.h"
#include "coveragefill.h"
#include "discpainter.h"
#include "paintcommon.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "strippainter.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

void paintEncoder(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    const bool absolute = settings.type == EncoderType::Absolute;
    if (settings.shape == Shape::Disc) {
        if (!absolute)
            drawRelativeDisc(painter, settings, size);
        else if (settings.code == Code::Gray)
            drawGrayDisc(painter, settings, size);
        else
            drawBinaryDisc(painter, settings, size);
    } else if (absolute) {
        drawAbsoluteStrip(painter, settings, size);
    } else {
        drawRelativeStrip(painter, settings, size);
    }
}

namespace {

// Room for the painter's edge lists and spans while it fills a band (measured: a 16-bit disc
// needs less than half).
constexpr size_t painterHeadroom = size_t(32) << 20;

// Plain exact pixels are their centres'; a classic disc's coverage is only ever antialiased.
CoverageFill::Sampling samplingOf(const EncoderSettings &settings, bool antialias)
{
    return antialias || settings.drawsClassicPixels() ? CoverageFill::Sampling::Area
                                                      : CoverageFill::Sampling::PixelCentre;
}
}

PatternRaster::PatternRaster(const EncoderSettings &settings, bool antialias)
    : settings(settings), antialias(antialias)
{
    for (int a = 0; a < 256; ++a)
        blends[size_t(a)]
            = CoverageFill::blend(settings.foreground.rgb(), settings.background.rgb(), a);
    if (!settings.drawsClassicPixels()) {
        imageSize = patternImageSize(settings);
        if (!imageSize.isEmpty())
            coverage = patternCoverage(settings);
        return;
    }
    imageSize = PixelRule::imageSize(settings);
    // A fine disc's thousands of thin sectors are far cheaper by exact coverage than through
    // the painter's antialiased fill; the centre mark goes on top with the painter.
    if (antialias && settings.shape == Shape::Disc && !imageSize.isEmpty()) {
        coverage = discCoverage(settings, imageSize);
        paintedOver = discOverlayRows(settings, imageSize);
    }
    if (settings.shape == Shape::Strip && !imageSize.isEmpty())
        rowsAlike = stripRowsAlike(settings, imageSize);
    // In colours, the painter's antialiased blends are colours of their own, hundreds where a
    // line crosses a mark's edge: 24-bit files, or a pass over every pixel to count them before
    // the file and another to write it. Painted in white on black into a coverage, whatever it
    // draws blends as the foreground over the background does (the painter draws in those two
    // colours alone): each pixel one of the 256 blends, within a level of the painter's
    // colours. Greys keep the painter's very pixels.
    paintsCoverage = antialias && !onlyGreys() && !imageSize.isEmpty();
}

bool PatternRaster::coverageAt(int top, int rows) const
{
    if (paintsCoverage)
        return true;
    if (!coverage)
        return false;
    if (!settings.drawsClassicPixels())
        return true;
    return top + rows <= paintedOver.first || top > paintedOver.second;
}

PatternRaster::~PatternRaster() = default;

int PatternRaster::bandRowsFor(int width)
{
    int rows = bandRows;
    while (rows > 16 && qint64(width) * rows > qint64(CoverageFill::widestFullBand) * bandRows)
        rows /= 2;
    return rows;
}

int PatternRaster::dotsPerMeter() const
{
    return PixelRule::dotsPerMeter(settings.dpi);
}

bool PatternRaster::inGreys(const EncoderSettings &settings)
{
    const auto grey = [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); };
    return grey(settings.foreground.rgb()) && grey(settings.background.rgb());
}

void PatternRaster::paintRows(uchar *firstRow, qsizetype stride, int top, int rows) const
{
    if (rows <= 0)
        return;
    paintOnly(firstRow, stride, top, rows);
    if (shown)
        shown(firstRow, stride, top, rows, nullptr);
}

void PatternRaster::paintOnly(uchar *firstRow, qsizetype stride, int top, int rows) const
{
    const bool exact = !settings.drawsClassicPixels();
    if (paintsCoverage) {
        const int width = imageSize.width();
        std::vector<uchar> alpha(size_t(width) * size_t(rows));
        fillCoverage(alpha.data(), width, top, rows);
        for (int r = 0; r < rows; ++r) {
            QRgb *line = reinterpret_cast<QRgb *>(firstRow + r * stride);
            const uchar *a = alpha.data() + size_t(r) * size_t(width);
            for (int x = 0; x < width; ++x)
                line[x] = blends[a[x]];
        }
        return;
    }
    if (coverage) {
        coverage->fillRows(firstRow, stride, top, rows, settings.foreground.rgb(),
            settings.background.rgb(), samplingOf(settings, antialias));
        if (exact)
            return;
    }
    paintClassic(firstRow, stride, top, rows, settings);
}

void PatternRaster::paintClassic(
    uchar *firstRow, qsizetype stride, int top, int rows, const EncoderSettings &colours) const
{
    // Qt's rasteriser does not survive running out of memory: it gets a failure to report first,
    // when the room it will need cannot be had.
    void *volatile room = ::operator new(painterHeadroom); // volatile: not optimised away
    ::operator delete(room);
    // The painter sees the whole image with the band's rows clipped, so every shape keeps the
    // coordinates it has in a whole render and puts the same pixels in the band. The image's
    // other rows are never touched: the lines before the band are addresses, not memory.
    QImage view(firstRow - top * stride, imageSize.width(), imageSize.height(), stride,
        QImage::Format_RGB32);
    QPainter painter(&view);
    if (coverage) {
        painter.setClipRect(QRect(0, top, imageSize.width(), rows));
        drawDiscOverlay(painter, colours, imageSize);
        return;
    }
    applyRenderHints(painter, antialias);
    const auto paint = [&](int first, int count) {
        painter.setClipRect(QRect(0, first, imageSize.width(), count));
        paintEncoder(painter, colours, imageSize);
    };
    // A run of rows alike is painted once and copied: a fine strip's thousands of marks are
    // otherwise spans of a pixel or two in every row.
    const qsizetype lineBytes = qsizetype(imageSize.width()) * 4;
    const int end = top + rows;
    int y = top;
    for (const auto &[first, last] : rowsAlike) {
        if (last < y)
            continue;
        if (first >= end)
            break;
        if (first > y) {
            paint(y, first - y);
            y = first;
        }
        paint(y, 1);
        const uchar *painted = firstRow + (y - top) * stride;
        for (const int stop = std::min(last + 1, end); ++y < stop;)
            std::memcpy(firstRow + (y - top) * stride, painted, size_t(lineBytes));
    }
    if (y < end)
        paint(y, end - y);
}

void PatternRaster::coverageRows(uchar *firstRow, qsizetype stride, int top, int rows) const
{
    Q_ASSERT(coverageAt(top, rows));
    if (rows <= 0)
        return;
    fillCoverage(firstRow, stride, top, rows);
    if (shown)
        shown(firstRow, stride, top, rows, blends.data());
}

void PatternRaster::fillCoverage(uchar *firstRow, qsizetype stride, int top, int rows) const
{
    int from = top, to = top + rows; // the rows the painter may touch
    if (coverage) {
        coverage->fillAlpha(firstRow, stride, top, rows, samplingOf(settings, antialias));
        from = std::max(top, paintedOver.first);
        to = std::min(top + rows, paintedOver.second + 1);
        if (!paintsCoverage || from >= to)
            return;
    }
    // White on black in RGB32, the painter's own format, whose red is the coverage: on an
    // 8-bit grey image Qt converts every span and shares the work out over threads, several
    // times slower. A few megabytes of rows at a time, beside the bands' own memory.
    const int width = imageSize.width();
    const qsizetype lineBytes = qsizetype(width) * 4;
    const int chunk = int(std::clamp<qint64>((qint64(4) << 20) / lineBytes, 1, to - from));
    std::vector<QRgb> pixels(size_t(width) * size_t(chunk));
    EncoderSettings white = settings;
    white.foreground = Qt::white;
    white.background = Qt::black;
    for (int first = from; first < to; first += chunk) {
        const int last = std::min(to, first + chunk);
        if (coverage) {
            for (int y = first; y < last; ++y) {
                const uchar *a = firstRow + (y - top) * stride;
                QRgb *line = pixels.data() + size_t(y - first) * size_t(width);
                for (int x = 0; x < width; ++x)
                    line[x] = qRgb(a[x], a[x], a[x]);
            }
        }
        paintClassic(
            reinterpret_cast<uchar *>(pixels.data()), lineBytes, first, last - first, white);
        for (int y = first; y < last; ++y) {
            uchar *a = firstRow + (y - top) * stride;
            const QRgb *line = pixels.data() + size_t(y - first) * size_t(width);
            for (int x = 0; x < width; ++x)
                a[x] = uchar(qRed(line[x]));
        }
    }
}

QImage PatternRaster::image() const
{
    QImage image(imageSize, QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    image.setDotsPerMeterX(dotsPerMeter());
    image.setDotsPerMeterY(dotsPerMeter());
    const int height = imageSize.height();
    // Bands twice the streaming height: each band goes through every track again, so fewer are
    // cheaper, and a whole image has the memory for them. Any bands give the same pixels.
    const int rowsPerBand = 2 * bandRows;
    const int bands = (height + rowsPerBand - 1) / rowsPerBand;
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    // More bands than threads: a band draws only the sectors that reach it, so a fine disc's
    // thousands of sectors are shared out rather than each thread going through all of them.
    shareOutOverCores(bands, [&](int band) {
        const int top = band * rowsPerBand;
        paintRows(bits + top * stride, stride, top, std::min(rowsPerBand, height - top));
    });
    return image;
}

QImage renderEncoderImage(const EncoderSettings &settings, bool antialias)
{
    // Beside the image itself, the fills need memory for their edges and cells and a thread per
    // core; when the machine has none to give (or the pattern no pixels), the render is a null
    // image, which every caller reports, rather than an abort.
    try {
        return PatternRaster(settings, antialias).image();
    } catch (const std::bad_alloc &) {
        return QImage();
    } catch (const std::system_error &) {
        return QImage();
    }
}

QImage renderPreciseImage(EncoderSettings settings, bool antialias)
{
    settings.classicPixels = false;
    return renderEncoderImage(settings, antialias);
}
