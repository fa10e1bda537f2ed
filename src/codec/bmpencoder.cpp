// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "bmpencoder.h"

#include "pixelpacking.h"

#include <QtEndian>

#include <vector>

namespace BmpCodec {

namespace {

void put16(QByteArray &out, quint16 value)
{
    uchar bytes[2];
    qToLittleEndian(value, bytes);
    out.append(reinterpret_cast<const char *>(bytes), 2);
}

void put32(QByteArray &out, quint32 value)
{
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    out.append(reinterpret_cast<const char *>(bytes), 4);
}

}

bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason)
{
    using PixelPacking::Layout;
    using PixelPacking::RowPacker;
    const QSize size = rows.size();
    const RowPacker packer(rows.layout(), size.width());
    QVector<QRgb> table = packer.layout().palette;
    int bits = 24;
    switch (packer.layout().kind) {
    case Layout::Kind::Bilevel:
        bits = 1;
        break;
    case Layout::Kind::Gray:
        bits = 8;
        table.clear();
        for (int level = 0; level < 256; ++level)
            table.append(qRgb(level, level, level));
        break;
    case Layout::Kind::Indexed:
        bits = 8;
        break;
    case Layout::Kind::Rgb:
        table.clear();
        break;
    }
    const quint32 rowBytes = (quint32(size.width()) * quint32(bits) + 31) / 32 * 4;
    const quint32 headerBytes = 14 + 40 + 4 * quint32(table.size());
    const quint64 fileBytes = quint64(headerBytes) + quint64(rowBytes) * quint64(size.height());
    if (fileBytes > 0xffffffffu) {
        *reason = QStringLiteral("a bitmap holds at most 4 GB");
        return false;
    }

    QByteArray header;
    header += "BM";
    put32(header, quint32(fileBytes));
    put32(header, 0);
    put32(header, headerBytes);
    put32(header, 40); // BITMAPINFOHEADER
    put32(header, quint32(size.width()));
    put32(header, quint32(size.height())); // positive: rows go bottom up
    put16(header, 1);
    put16(header, quint16(bits));
    put32(header, 0); // no compression
    put32(header, rowBytes * quint32(size.height()));
    put32(header, quint32(qMax(0, rows.dotsPerMeterX())));
    put32(header, quint32(qMax(0, rows.dotsPerMeterY())));
    put32(header, quint32(table.size()));
    put32(header, 0);
    for (QRgb c : table) {
        header += char(qBlue(c));
        header += char(qGreen(c));
        header += char(qRed(c));
        header += '\0';
    }
    const auto failed = [&] {
        *reason = device->errorString().isEmpty() ? QStringLiteral("write failed")
                                                  : device->errorString();
        return false;
    };
    if (device->write(header) != header.size())
        return failed();

    std::vector<uchar> packed(size_t(packer.rowBytes()));
    QByteArray row(int(rowBytes), '\0');
    for (int y = size.height() - 1; y >= 0; --y) {
        if (bits == 24) {
            const QRgb *pixels = rows.row(y);
            for (int x = 0; x < size.width(); ++x) {
                row[3 * x] = char(qBlue(pixels[x]));
                row[3 * x + 1] = char(qGreen(pixels[x]));
                row[3 * x + 2] = char(qRed(pixels[x]));
            }
        } else {
            rows.packRow(y, packer, packed.data());
            std::copy(packed.begin(), packed.end(), row.begin());
        }
        if (device->write(row) != row.size())
            return failed();
    }
    return true;
}

}
