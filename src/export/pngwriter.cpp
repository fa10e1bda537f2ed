#include "pngwriter.h"

#include "deflater.h"
#include "pixelpacking.h"

#include <QtEndian>

#include <vector>

namespace PngExport {

namespace {

class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice *device) : device(device) { }

    bool chunk(const char type[4], const QByteArray &data)
    {
        uchar length[4];
        qToBigEndian(quint32(data.size()), length);
        uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
        uchar check[4];
        qToBigEndian(quint32(crc), check);
        return write(reinterpret_cast<const char *>(length), 4) && write(type, 4)
            && write(data.constData(), data.size())
            && write(reinterpret_cast<const char *>(check), 4);
    }

    bool write(const char *data, qint64 size) { return device->write(data, size) == size; }

private:
    QIODevice *device;
};

QByteArray bigEndian(quint32 value)
{
    uchar bytes[4];
    qToBigEndian(value, bytes);
    return QByteArray(reinterpret_cast<const char *>(bytes), 4);
}

}

bool writePng(const QImage &image, QIODevice *device, QString *reason)
{
    using PixelPacking::RowPacker;
    const RowPacker packer(image);
    ChunkWriter out(device);
    const auto failed = [&] {
        *reason = device->errorString().isEmpty() ? QStringLiteral("write failed")
                                                  : device->errorString();
        return false;
    };

    if (!out.write("\x89PNG\r\n\x1a\n", 8))
        return failed();

    const bool palette
        = packer.kind() == RowPacker::Kind::Bilevel || packer.kind() == RowPacker::Kind::Indexed;
    const char colorType = palette ? 3 : packer.kind() == RowPacker::Kind::Gray ? 0 : 2;
    const char bitDepth = packer.kind() == RowPacker::Kind::Bilevel ? 1 : 8;
    QByteArray header = bigEndian(quint32(image.width())) + bigEndian(quint32(image.height()));
    header += bitDepth;
    header += colorType;
    header += QByteArray(3, '\0'); // deflate, adaptive filters, no interlace
    if (!out.chunk("IHDR", header))
        return failed();
    if (palette) {
        QByteArray entries;
        for (QRgb c : packer.palette()) {
            entries += char(qRed(c));
            entries += char(qGreen(c));
            entries += char(qBlue(c));
        }
        if (!out.chunk("PLTE", entries))
            return failed();
    }
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        const QByteArray phys = bigEndian(quint32(image.dotsPerMeterX()))
            + bigEndian(quint32(image.dotsPerMeterY())) + char(1); // per metre
        if (!out.chunk("pHYs", phys))
            return failed();
    }

    bool stored = true;
    Deflater deflater([&](const char *data, int size) {
        stored = out.chunk("IDAT", QByteArray::fromRawData(data, size));
        return stored;
    });
    // Rows go in unfiltered: a pattern's runs compress as well that way as with any of PNG's
    // filters (measured), and faster.
    std::vector<uchar> row(static_cast<size_t>(packer.rowBytes()) + 1, 0);
    for (int y = 0; y < image.height(); ++y) {
        packer.pack(y, row.data() + 1);
        if (!deflater.add(row.data(), int(row.size())))
            return failed();
    }
    if (!deflater.finish() || !stored || !out.chunk("IEND", QByteArray()))
        return failed();
    return true;
}

}
