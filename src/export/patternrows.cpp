// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "patternrows.h"

#include "cores.h"
#include "renderer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>

using PixelPacking::ColorCensus;
using PixelPacking::Layout;
using PixelPacking::RowPacker;

namespace {

// What the bands of pixels may take together; four bands of the largest image.
constexpr qint64 bandMemory = qint64(40) << 20;

// Whether the layout is known from the coverage's colours without a look at the pixels: the
// exact raster's, a classic disc's in colours (every row a coverage), and a classic one's whose
// bands are coverage but for some painted ones, in greys with more than two of them: the layout
// every pass over the colours would find, 8-bit grey, whichever greys the painter adds. (Two
// greys would be 1-bit, in the order of their first pixels: those take the pass.)
bool layoutFromCoverage(const PatternRaster &raster)
{
    if (raster.hasCoverage())
        return true;
    if (!raster.isAntialiased() || !raster.coverageAt(0, 0)) // an empty band: whether there is one
        return false;
    if (!raster.onlyGreys()) // a classic disc in colours: its mark drawn into the coverage
        return raster.coverageAt(0, raster.size().height());
    QVector<QRgb> distinct;
    for (int a = 0; a < 256 && distinct.size() <= 2; ++a)
        if (!distinct.contains(raster.colorOf(a)))
            distinct.append(raster.colorOf(a));
    return distinct.size() > 2;
}
}

PatternRows::PatternRows(const PatternRaster &raster)
    : raster(raster), fromCoverage(layoutFromCoverage(raster)),
      // A classic disc in colours is coverage in every band, as the exact raster is.
      bytesPerPixel(fromCoverage && raster.coverageAt(0, raster.size().height()) ? 1 : 4),
      bandRows(PatternRaster::bandRowsFor(raster.size().width())),
      bufferLimit(int(std::max<qint64>(
          2, bandMemory / (qint64(raster.size().width()) * bandRows * bytesPerPixel))))
{
    if (fromCoverage) {
        for (int a = 0; a < 256; ++a) {
            colors[a] = raster.colorOf(a) | 0xff000000u;
            rgb[a][0] = uchar(qRed(colors[a]));
            rgb[a][1] = uchar(qGreen(colors[a]));
            rgb[a][2] = uchar(qBlue(colors[a]));
        }
    }
}

PatternRows::~PatternRows()
{
    waitForAll();
}

QSize PatternRows::size() const
{
    return raster.size();
}

int PatternRows::dotsPerMeterX() const
{
    return raster.dotsPerMeter();
}

int PatternRows::dotsPerMeterY() const
{
    return raster.dotsPerMeter();
}

int PatternRows::bandCount() const
{
    return (raster.size().height() + bandRows - 1) / bandRows;
}

int PatternRows::bandHeight(int band) const
{
    return std::min(
        bandRows, raster.size().height() - band * bandRows);
}

bool PatternRows::coverageBand(int band) const
{
    return fromCoverage && raster.coverageAt(band * bandRows, bandHeight(band));
}

int PatternRows::pixelBytes(int band) const
{
    return coverageBand(band) ? 1 : 4;
}

std::unique_ptr<uchar[]> PatternRows::takeBuffer()
{
    {
        std::unique_lock<std::mutex> lock(buffersLock);
        bufferReturned.wait(
            lock, [this] { return !spareBuffers.empty() || buffersMade < bufferLimit; });
        if (!spareBuffers.empty()) {
            std::unique_ptr<uchar[]> buffer = std::move(spareBuffers.back());
            spareBuffers.pop_back();
            return buffer;
        }
        ++buffersMade;
    }
    // Not zeroed: every pixel is painted.
    try {
        return std::unique_ptr<uchar[]>(new uchar[size_t(raster.size().width())
            * size_t(bandRows) * size_t(bytesPerPixel)]);
    } catch (...) {
        const std::lock_guard<std::mutex> lock(buffersLock);
        --buffersMade;
        throw;
    }
}

void PatternRows::giveBack(std::unique_ptr<uchar[]> buffer)
{
    if (!buffer)
        return;
    {
        const std::lock_guard<std::mutex> lock(buffersLock);
        spareBuffers.push_back(std::move(buffer));
    }
    bufferReturned.notify_one();
}

const Layout &PatternRows::layout()
{
    if (packing)
        return *packing;
    if (fromCoverage) {
        // The colours are known without a look at the pixels: the two, and every blend of
        // them when antialiased. Each coverage packs to its own code, ready for the rows.
        QVector<QRgb> distinct;
        for (const int a : raster.isAntialiased() ? QVector<int>() : QVector<int> { 0, 255 })
            distinct.append(colors[a]);
        if (raster.isAntialiased())
            for (int a = 0; a < 256; ++a)
                distinct.append(colors[a]);
        QVector<QRgb> unique;
        for (QRgb c : distinct)
            if (!unique.contains(c))
                unique.append(c);
        packing = std::make_unique<Layout>(unique);
        const RowPacker single(*packing, 1);
        for (int a = 0; a < 256; ++a) {
            uchar out[3] = { 0, 0, 0 };
            single.pack(&colors[a], out);
            codes[a] = packing->kind == Layout::Kind::Bilevel ? uchar(out[0] >> 7) : out[0];
        }
        // Black on white (or white on black) in grey: each code is the coverage or its
        // inverse, which a row takes many at a time rather than a look-up a pixel.
        bool same = true, inverse = true;
        for (int a = 0; a < 256; ++a) {
            same = same && codes[a] == a;
            inverse = inverse && codes[a] == 255 - a;
        }
        codeRule = packing->kind == Layout::Kind::Bilevel ? CodeRule::Table
            : same                                     ? CodeRule::Same
            : inverse                                  ? CodeRule::Inverse
                                                       : CodeRule::Table;
        return *packing;
    }
    const int bands = bandCount();
    const int width = raster.size().width();
    std::vector<ColorCensus> censuses(static_cast<size_t>(bands));
    std::vector<BilevelBand> copies(static_cast<size_t>(bands));
    std::atomic<bool> twoColors { true };
    // Past two colours, a pattern of greys is 8-bit grey, whatever its other colours; past 256,
    // any pattern is 24-bit: the rest of the pass would tell nothing more.
    const bool greys = raster.onlyGreys();
    std::atomic<bool> decided { false };
    shareOutOverCores(bands, [&](int band) {
        if (decided)
            return;
        std::unique_ptr<uchar[]> buffer = takeBuffer();
        const QRgb *pixels = reinterpret_cast<const QRgb *>(buffer.get());
        try {
            const int rows = bandHeight(band);
            raster.paintRows(buffer.get(), qsizetype(width) * 4, band * bandRows,
                rows);
            // Each row counted, then packed to a bit a pixel while it is at hand, as long as
            // the band has two colours: a bit is 1 for the second. Rows before the second
            // colour came have the first alone, all 0; a band of one colour packs either way.
            ColorCensus &census = censuses[size_t(band)];
            BilevelBand &copy = copies[size_t(band)];
            const size_t rowBytes = size_t(width + 7) / 8;
            copy.bits.reserve(rowBytes * size_t(rows));
            copy.rowOf.assign(size_t(rows), 0);
            std::unique_ptr<RowPacker> packer;
            for (int r = 0; r < rows && !census.overflowed(); ++r) {
                const QRgb *row = pixels + size_t(r) * size_t(width);
                // A strip's rows mostly repeat the one above: its colours and bits again.
                if (r > 0 && std::memcmp(row, row - width, size_t(width) * sizeof(QRgb)) == 0) {
                    copy.rowOf[size_t(r)] = copy.rowOf[size_t(r) - 1];
                    continue;
                }
                copy.rowOf[size_t(r)] = int(copy.bits.size() / rowBytes);
                copy.bits.resize(copy.bits.size() + rowBytes, 0);
                census.add(row, width);
                if (census.count() > 2 || !twoColors)
                    continue;
                if (!packer && census.count() == 2)
                    packer = std::make_unique<RowPacker>(Layout(census.colors()), width);
                if (packer)
                    packer->pack(row, copy.bits.data() + copy.bits.size() - rowBytes);
            }
            copy.bits.shrink_to_fit();
            const QVector<QRgb> colors = census.colors();
            if (colors.isEmpty() || colors.size() > 2)
                twoColors = false;
            if (census.overflowed() || (greys && colors.size() > 2))
                decided = true;
            if (twoColors)
                copy.colors = Layout(colors).palette;
            else
                copy = {};
        } catch (...) {
            giveBack(std::move(buffer)); // another thread may be waiting for it
            throw;
        }
        giveBack(std::move(buffer));
    });
    // The colours in order of first appearance: each band's, in the order of the bands.
    ColorCensus whole;
    for (const ColorCensus &census : censuses)
        whole.add(census);
    // Decided early, the colours of the bands drawn so far give the same layout as all would.
    packing = std::make_unique<Layout>(whole.colors());
    Q_ASSERT(!decided || !twoColors);
    if (twoColors && packing->kind == Layout::Kind::Bilevel)
        bilevel = std::move(copies);
    return *packing;
}

void PatternRows::packRow(int y, const RowPacker &packer, uchar *out)
{
    if (coverageBand(y / bandRows) && packer.layout().kind == packing->kind
        && packer.layout().palette == packing->palette) {
        const uchar *alpha = bandRow(y);
        const int width = raster.size().width();
        if (packing->kind == Layout::Kind::Bilevel) {
            // A byte at a time, from its eight pixels: no byte waits on the last one written.
            const uchar *c = codes;
            const int whole = width / 8;
            for (int b = 0; b < whole; ++b) {
                const uchar *a = alpha + 8 * b;
                out[b] = uchar(c[a[0]] << 7 | c[a[1]] << 6 | c[a[2]] << 5 | c[a[3]] << 4
                    | c[a[4]] << 3 | c[a[5]] << 2 | c[a[6]] << 1 | c[a[7]]);
            }
            if (whole < packer.rowBytes()) {
                uchar last = 0;
                for (int x = 8 * whole; x < width; ++x)
                    last = uchar(last | c[alpha[x]] << (7 - (x & 7)));
                out[whole] = last;
                std::memset(out + whole + 1, 0, size_t(packer.rowBytes() - whole - 1));
            }
        } else if (codeRule == CodeRule::Same) {
            std::memcpy(out, alpha, size_t(width));
        } else if (codeRule == CodeRule::Inverse) {
            for (int x = 0; x < width; ++x)
                out[x] = uchar(255 - alpha[x]);
        } else {
            for (int x = 0; x < width; ++x)
                out[x] = codes[alpha[x]];
        }
        return;
    }
    if (bilevel.empty() || packer.layout().kind != Layout::Kind::Bilevel) {
        packer.pack(row(y), out);
        return;
    }
    const BilevelBand &band = bilevel[size_t(y / bandRows)];
    const int bytes = packer.rowBytes();
    const uchar *bits = band.bits.data() + size_t(band.rowOf[size_t(y % bandRows)]) * size_t(bytes);
    // A bit of the band stands for one of its own colours; the file's bit is 1 for the second
    // colour of the whole pattern's palette.
    const QRgb one = packer.layout().palette[1] & 0xffffffu;
    const bool setIsOne = (band.colors[1] & 0xffffffu) == one;
    const bool clearIsOne = (band.colors[0] & 0xffffffu) == one;
    if (setIsOne && !clearIsOne) {
        std::memcpy(out, bits, size_t(bytes));
        return;
    }
    for (int i = 0; i < bytes; ++i)
        out[i] = uchar((bits[i] & (setIsOne ? 0xff : 0)) | (~bits[i] & (clearIsOne ? 0xff : 0)));
    // The bits past the last pixel stay 0, as the packer leaves them.
    const int width = raster.size().width();
    if (width % 8 != 0)
        out[bytes - 1] &= uchar(0xff00 >> (width % 8));
}

void PatternRows::drawAhead(int band)
{
    Band next;
    next.index = band;
    next.pixels = takeBuffer();
    uchar *bits = next.pixels.get();
    // On another core while the writer packs and compresses the rows before; where no thread
    // can be had, when the band is asked for.
    next.drawn = std::async(
        std::launch::async | std::launch::deferred, [this, band, bits] { draw(band, bits); });
    ahead.push_back(std::move(next));
}

void PatternRows::draw(int band, uchar *bits) const
{
    const qsizetype stride = qsizetype(raster.size().width()) * pixelBytes(band);
    if (coverageBand(band))
        raster.coverageRows(bits, stride, band * bandRows, bandHeight(band));
    else
        raster.paintRows(bits, stride, band * bandRows, bandHeight(band));
}

void PatternRows::waitForAll()
{
    for (Band &band : ahead) {
        if (band.drawn.valid())
            band.drawn.wait();
        giveBack(std::move(band.pixels));
    }
    ahead.clear();
}

const QRgb *PatternRows::row(int y)
{
    const uchar *raw = bandRow(y);
    if (!coverageBand(y / bandRows) || renderFailed)
        return reinterpret_cast<const QRgb *>(raw);
    const int width = raster.size().width();
    colorRow.resize(size_t(width));
    for (int x = 0; x < width; ++x)
        colorRow[size_t(x)] = colors[raw[x]];
    return colorRow.data();
}

void PatternRows::rgbRow(int y, uchar *out)
{
    if (!coverageBand(y / bandRows)) {
        PixelRows::rgbRow(y, out);
        return;
    }
    // From the coverage straight to the bytes: no row of colours between.
    const uchar *raw = bandRow(y);
    if (renderFailed) {
        std::memset(out, 0, size_t(raster.size().width()) * 3);
        return;
    }
    const int width = raster.size().width();
    // Four bytes a pixel, each next pixel's red over the fourth: one store, not three.
    for (int x = 0; x + 1 < width; ++x)
        std::memcpy(out + 3 * x, rgb[raw[x]], 4);
    if (width > 0)
        std::memcpy(out + 3 * (width - 1), rgb[raw[width - 1]], 3);
}

void PatternRows::packRowsAside(int top, int count, const RowPacker &packer, uchar *out)
{
    // A buffer of its own: the pool's may all be held by the bands drawn ahead.
    Band band;
    band.pixels.reset(
        new uchar[size_t(raster.size().width()) * size_t(bandRows) * size_t(bytesPerPixel)]);
    aside = &band;
    try {
        PixelRows::packRowsAside(top, count, packer, out);
    } catch (...) {
        aside = nullptr;
        throw;
    }
    aside = nullptr;
}

const uchar *PatternRows::bandRow(int y)
{
    const int band = y / bandRows;
    const int width = raster.size().width();
    if (aside) {
        if (aside->index != band && !renderFailed) {
            aside->index = band;
            try {
                draw(band, aside->pixels.get());
            } catch (const std::bad_alloc &) {
                renderFailed = true;
            }
        }
        if (renderFailed) {
            zeroRow.assign(size_t(width), 0);
            return reinterpret_cast<const uchar *>(zeroRow.data());
        }
        return aside->pixels.get()
            + size_t(y % bandRows) * size_t(width) * size_t(pixelBytes(band));
    }
    if (ahead.empty() || ahead.front().index != band) {
        const int bands = bandCount();
        // Rows come top down or bottom up; a jump starts the bands over from the new one.
        const int last = ahead.empty() ? -1 : ahead.front().index;
        step = last >= 0 ? (band < last ? -1 : 1) : (band == bands - 1 && bands > 1 ? -1 : 1);
        if (ahead.size() > 1 && ahead[1].index == band) {
            giveBack(std::move(ahead.front().pixels));
            ahead.pop_front();
        } else {
            waitForAll();
            drawAhead(band);
        }
        // The band being read and one in the making for each core, as far as memory allows.
        const int depth = std::min(bufferLimit, usableCores() + 1);
        int next = ahead.back().index + step;
        while (int(ahead.size()) < depth && next >= 0 && next < bands) {
            drawAhead(next);
            next += step;
        }
        try {
            ahead.front().drawn.get();
        } catch (const std::bad_alloc &) {
            renderFailed = true;
        } catch (const std::system_error &) {
            renderFailed = true;
        }
    }
    if (renderFailed) {
        zeroRow.assign(size_t(width), 0);
        return reinterpret_cast<const uchar *>(zeroRow.data());
    }
    return ahead.front().pixels.get()
        + size_t(y % bandRows) * size_t(width) * size_t(pixelBytes(band));
}
