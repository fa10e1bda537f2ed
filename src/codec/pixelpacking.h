// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PIXELPACKING_H
#define QUVELTA_PIXELPACKING_H

#include <QImage>
#include <QVector>

#include <memory>

namespace PixelPacking {

// Past this many pixels an image is large: its coders take their fastest way, not the smallest.
constexpr qint64 largeImagePixels = 4'000'000;

class ColorIndex;

// The distinct colours of RGB32 pixels in order of first appearance, gathered row by row; once
// there are more than 256 it stops counting.
class ColorCensus
{
public:
    ColorCensus();
    ~ColorCensus();
    ColorCensus(ColorCensus &&) noexcept;
    ColorCensus &operator=(ColorCensus &&) noexcept;

    void add(const QRgb *pixels, int count);
    // The colours of another census of later pixels.
    void add(const ColorCensus &later);
    bool overflowed() const { return tooMany; }
    // Empty when there were more than 256.
    QVector<QRgb> colors() const;
    // How many colours so far (more than 256 once overflowed).
    int count() const;

private:
    std::unique_ptr<ColorIndex> index;
    bool tooMany = false;
};

// The distinct colours of an RGB32 image in order of first appearance, or an empty list when
// there are more than 256.
QVector<QRgb> distinctColors(const QImage &image);

// How pixels are stored without loss in the fewest bits: one bit for two colours, an 8-bit grey
// level when every colour is grey, an 8-bit palette index for up to 256 colours, else 8-bit red,
// green and blue.
struct Layout
{
    enum class Kind { Bilevel, Gray, Indexed, Rgb };

    // The layout for pixels of these distinct colours (empty: more than 256).
    explicit Layout(const QVector<QRgb> &distinct);

    Kind kind = Kind::Rgb;
    // The colours that the indices of Bilevel and Indexed rows stand for.
    QVector<QRgb> palette;
    // Whether every pixel is a grey, whatever the rows' kind.
    bool onlyGreys() const;
    int bitsPerPixel() const;
    int rowBytes(int width) const { return int((qint64(width) * bitsPerPixel() + 7) / 8); }
};

// Packs RGB32 rows into a layout (bits and bytes most significant first).
class RowPacker
{
public:
    RowPacker(const Layout &layout, int width);
    ~RowPacker();

    const Layout &layout() const { return target; }
    int rowBytes() const { return target.rowBytes(width); }
    void pack(const QRgb *pixels, uchar *out) const;

private:
    Layout target;
    int width;
    std::unique_ptr<ColorIndex> indices; // colour to palette index, for Indexed rows
};

// The pixels an encoder writes, a row at a time: a whole image, or a pattern drawn in bands so
// that no whole image need be held. Rows are asked for in order, top down or bottom up.
class PixelRows
{
public:
    virtual ~PixelRows() = default;
    virtual QSize size() const = 0;
    virtual int dotsPerMeterX() const = 0;
    virtual int dotsPerMeterY() const = 0;
    // The layout that loses nothing; it may take a pass over all the pixels.
    virtual const Layout &layout() = 0;
    // Row y as RGB32 pixels, valid until the next call.
    virtual const QRgb *row(int y) = 0;
    // Row y in the layout, packer.rowBytes() long.
    virtual void packRow(int y, const RowPacker &packer, uchar *out) { packer.pack(row(y), out); }
    // Rows top to top + count - 1 packed, a look ahead for an encoder's choice before it asks
    // for the rows in order: rows drawn on the way may cost them, but not those being drawn.
    virtual void packRowsAside(int top, int count, const RowPacker &packer, uchar *out)
    {
        for (int r = 0; r < count; ++r)
            packRow(top + r, packer, out + size_t(r) * size_t(packer.rowBytes()));
    }
    // Row y as red, green and blue bytes, three a pixel.
    virtual void rgbRow(int y, uchar *out)
    {
        const QRgb *pixels = row(y);
        const int width = size().width(); // not asked again for each pixel
        for (int x = 0; x < width; ++x) {
            out[3 * x] = uchar(qRed(pixels[x]));
            out[3 * x + 1] = uchar(qGreen(pixels[x]));
            out[3 * x + 2] = uchar(qBlue(pixels[x]));
        }
    }
    // Whether some rows could not be had (the file written from them is worthless).
    virtual bool failed() const { return false; }
};

// The rows of an RGB32 image (any other format is converted first).
class ImageRows : public PixelRows
{
public:
    explicit ImageRows(const QImage &image);
    QSize size() const override { return image.size(); }
    int dotsPerMeterX() const override { return image.dotsPerMeterX(); }
    int dotsPerMeterY() const override { return image.dotsPerMeterY(); }
    const Layout &layout() override;
    const QRgb *row(int y) override
    {
        return reinterpret_cast<const QRgb *>(image.constScanLine(y));
    }

private:
    QImage image;
    std::unique_ptr<Layout> packing;
};

// The same pixels in the smallest QImage format that loses nothing (Mono, Grayscale8, Indexed8),
// or the image itself (shared, not copied). Resolution and text are kept.
QImage compact(const QImage &image);

}

#endif
