#ifndef QUVELTA_PIXELPACKING_H
#define QUVELTA_PIXELPACKING_H

#include <QImage>
#include <QVector>

#include <memory>

namespace PixelPacking {

class ColorIndex;

// The distinct colours of an RGB32 image in order of first appearance, or an empty list when
// there are more than `limit`.
QVector<QRgb> distinctColors(const QImage &image, int limit = 256);

// How the pixels of an RGB32 image are stored without loss in the fewest bits: one bit for two
// colours, an 8-bit grey level when every colour is grey, an 8-bit palette index for up to 256
// colours, else 8-bit red, green and blue. Rows are packed one at a time, so a writer never holds
// a second full-size copy of the image.
class RowPacker
{
public:
    enum class Kind { Bilevel, Gray, Indexed, Rgb };

    explicit RowPacker(const QImage &image);

    Kind kind() const { return packing; }
    // The colours that the indices of Bilevel and Indexed rows stand for.
    const QVector<QRgb> &palette() const { return colors; }
    int bitsPerPixel() const;
    int rowBytes() const { return (image.width() * bitsPerPixel() + 7) / 8; }
    // Row y in the packed layout (bits and bytes most significant first), rowBytes() long.
    void pack(int y, uchar *out) const;

private:
    const QImage &image;
    Kind packing = Kind::Rgb;
    QVector<QRgb> colors;
    std::shared_ptr<ColorIndex> indices; // colour to palette index, for Indexed rows
};

// The same pixels in the smallest QImage format that loses nothing (Mono, Grayscale8, Indexed8),
// or the image itself (shared, not copied). Resolution and text are kept.
QImage compact(const QImage &image);

}

#endif
