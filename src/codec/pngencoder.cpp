#include "pngencoder.h"

#include "pixelpacking.h"

#include <png.h>
#include <zlib.h>

#include <QBuffer>

#include <csetjmp>
#include <new>
#include <vector>

namespace PngCodec {

namespace {

struct Output
{
    QIODevice *device;
    QString reason;
};

void writeData(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<Output *>(png_get_io_ptr(png));
    if (out->device->write(reinterpret_cast<const char *>(data), qint64(length))
        != qint64(length)) {
        out->reason = out->device->errorString();
        png_error(png, "write failed");
    }
}

void flushData(png_structp) { }

void onError(png_structp png, png_const_charp message)
{
    auto *out = static_cast<Output *>(png_get_error_ptr(png));
    if (out->reason.isEmpty())
        out->reason = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) { }

}

namespace {

// How rows are filtered and compressed.
struct Scheme
{
    int filters;
    int strategy;
    int level;
};

using PixelPacking::Layout;
using PixelPacking::PixelRows;
using PixelPacking::RowPacker;

// The PNG header of the packed rows, worked out once for every scheme tried.
struct Header
{
    explicit Header(const Layout &layout)
        : palette(layout.kind == Layout::Kind::Bilevel || layout.kind == Layout::Kind::Indexed),
          colorType(palette                           ? PNG_COLOR_TYPE_PALETTE
                  : layout.kind == Layout::Kind::Gray ? PNG_COLOR_TYPE_GRAY
                                                      : PNG_COLOR_TYPE_RGB),
          bitDepth(layout.kind == Layout::Kind::Bilevel ? 1 : 8)
    {
        for (QRgb c : layout.palette)
            entries.push_back({ png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c)) });
    }
    bool palette;
    int colorType;
    int bitDepth;
    std::vector<png_color> entries;
};

bool encodeWith(PixelRows &rows, const RowPacker &packer, const Header &layout, QIODevice *device,
    QString *reason, Scheme scheme)
{
    std::vector<png_byte> row(size_t(packer.rowBytes()));
    Output out { device, QString() };

    // Everything with a destructor exists before setjmp; libpng's errors jump back here.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc(); // the caller words it, as for every other allocation
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *reason = out.reason.isEmpty() ? QStringLiteral("write failed") : out.reason;
        return false;
    }
    png_set_write_fn(png, &out, writeData, flushData);
    const QSize size = rows.size();
    png_set_IHDR(png, info, png_uint_32(size.width()), png_uint_32(size.height()), layout.bitDepth,
        layout.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    if (layout.palette)
        png_set_PLTE(png, info, layout.entries.data(), int(layout.entries.size()));
    if (rows.dotsPerMeterX() > 0 && rows.dotsPerMeterY() > 0)
        png_set_pHYs(png, info, png_uint_32(rows.dotsPerMeterX()),
            png_uint_32(rows.dotsPerMeterY()), PNG_RESOLUTION_METER);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, scheme.filters);
    png_set_compression_level(png, scheme.level);
    png_set_compression_strategy(png, scheme.strategy);
    png_write_info(png, info);
    for (int y = 0; y < size.height(); ++y) {
        rows.packRow(y, packer, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Every n-th row of other rows, to try encodings on.
class SampleRows : public PixelPacking::PixelRows
{
public:
    SampleRows(PixelPacking::PixelRows &rows, int every) : rows(rows), every(every) { }
    QSize size() const override
    {
        return QSize(rows.size().width(), (rows.size().height() + every - 1) / every);
    }
    int dotsPerMeterX() const override { return rows.dotsPerMeterX(); }
    int dotsPerMeterY() const override { return rows.dotsPerMeterY(); }
    const Layout &layout() override { return rows.layout(); }
    const QRgb *row(int y) override { return rows.row(y * every); }
    void packRow(int y, const RowPacker &packer, uchar *out) override
    {
        rows.packRow(y * every, packer, out);
    }
    bool failed() const override { return rows.failed(); }

private:
    PixelPacking::PixelRows &rows;
    int every;
};

}

bool encode(const QImage &image, QIODevice *device, QString *reason)
{
    PixelPacking::ImageRows rows(image);
    return encode(rows, device, reason);
}

bool encode(PixelRows &rows, QIODevice *device, QString *reason)
{
    // A large pattern's rows go unfiltered with run-length compression: for 8-bit rows that is
    // the smallest and fastest (measured on the largest discs); 1-bit rows, whose runs are not
    // whole bytes, take the default strategy (half the size of run-length there). A small image
    // is cheap to try three ways, and keeps the smallest: filters pay off on some antialiased
    // ones, the default strategy on palette ones.
    const RowPacker packer(rows.layout(), rows.size().width());
    const Header layout(packer.layout());
    const bool bilevel = packer.layout().kind == Layout::Kind::Bilevel;
    // Level 4 for 1-bit rows: 30 % larger than level 6, and as fast as run-length was.
    const Scheme fast { PNG_FILTER_NONE, bilevel ? Z_DEFAULT_STRATEGY : Z_RLE, bilevel ? 4 : 6 };
    if (qint64(rows.size().width()) * rows.size().height() > 4'000'000)
        return encodeWith(rows, packer, layout, device, reason, fast);
    // A small image tries the three on every eighth row and is encoded once, the smallest way.
    SampleRows sample(rows, 8);
    Scheme chosen = fast;
    qint64 smallest = -1;
    for (const Scheme scheme : { fast, Scheme { PNG_FILTER_NONE, Z_DEFAULT_STRATEGY, 6 },
             Scheme { PNG_ALL_FILTERS, Z_DEFAULT_STRATEGY, 6 } }) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (!encodeWith(sample, packer, layout, &buffer, reason, scheme))
            return false;
        if (smallest < 0 || buffer.size() < smallest) {
            smallest = buffer.size();
            chosen = scheme;
        }
    }
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    if (!encodeWith(rows, packer, layout, &whole, reason, chosen))
        return false;
    const QByteArray best = whole.data();
    if (device->write(best) != best.size()) {
        *reason = device->errorString();
        return false;
    }
    return true;
}

}
