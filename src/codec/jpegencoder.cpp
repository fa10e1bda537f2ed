// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "jpegencoder.h"

#include "pixelpacking.h"

#include <QtMath>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <vector>

namespace JpegCodec {

namespace {

struct Destination
{
    jpeg_destination_mgr manager {};
    QIODevice *device = nullptr;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(1 << 16);
    QString reason;
};

struct ErrorHandler
{
    jpeg_error_mgr manager {};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void onError(j_common_ptr info)
{
    auto *handler = reinterpret_cast<ErrorHandler *>(info->err);
    (*info->err->format_message)(info, handler->message);
    std::longjmp(handler->jump, 1);
}

void onMessage(j_common_ptr, int) { }

Destination *destinationOf(j_compress_ptr info)
{
    return reinterpret_cast<Destination *>(info->dest);
}

void startDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    d->manager.next_output_byte = d->buffer.data();
    d->manager.free_in_buffer = d->buffer.size();
}

bool flush(Destination *d, size_t bytes)
{
    if (d->device->write(reinterpret_cast<const char *>(d->buffer.data()), qint64(bytes))
        == qint64(bytes))
        return true;
    d->reason = d->device->errorString();
    return false;
}

boolean emptyDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    if (!flush(d, d->buffer.size()))
        ERREXIT(info, JERR_FILE_WRITE);
    startDestination(info);
    return TRUE;
}

void finishDestination(j_compress_ptr info)
{
    Destination *d = destinationOf(info);
    if (!flush(d, d->buffer.size() - d->manager.free_in_buffer))
        ERREXIT(info, JERR_FILE_WRITE);
}

// The whole compression, out of encode's frame so that nothing there changes after its setjmp;
// nothing here needs a destructor, since an error jumps out of it.
void compress(jpeg_compress_struct &info, Destination &destination, PixelPacking::PixelRows &rows,
    bool gray, const PixelPacking::RowPacker *packer, std::vector<JSAMPLE> &samples)
{
    const QSize size = rows.size();
    const int dpmX = rows.dotsPerMeterX();
    const int dpmY = rows.dotsPerMeterY();
    jpeg_create_compress(&info);
    info.dest = &destination.manager;
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    // The resolution in whichever unit holds it more nearly, as Qt's writer records it.
    const double perInchX = dpmX * 2.54 / 100.0;
    const double perInchY = dpmY * 2.54 / 100.0;
    const double inchError = qAbs(perInchX - qRound(perInchX)) + qAbs(perInchY - qRound(perInchY));
    const double cmError
        = (qAbs(dpmX / 100.0 - qRound(dpmX / 100.0)) + qAbs(dpmY / 100.0 - qRound(dpmY / 100.0)))
        * 2.54;
    if (inchError < cmError) {
        info.density_unit = 1;
        info.X_density = UINT16(qRound(perInchX));
        info.Y_density = UINT16(qRound(perInchY));
    } else {
        info.density_unit = 2;
        info.X_density = UINT16((dpmX + 50) / 100);
        info.Y_density = UINT16((dpmY + 50) / 100);
    }
    jpeg_set_quality(&info, 75, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        if (packer) {
            rows.packRow(y, *packer, samples.data());
        } else if (gray) {
            const QRgb *pixels = rows.row(y);
            for (int x = 0; x < size.width(); ++x)
                samples[size_t(x)] = JSAMPLE(qRed(pixels[x]));
        } else {
            rows.rgbRow(y, samples.data());
        }
        JSAMPROW row = samples.data();
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
}

}

bool encode(PixelPacking::PixelRows &rows, QIODevice *device, QString *reason)
{
    // Greys go as one grey component, as Qt writes a grey image: a third of the samples to
    // code, and no colour to lose. Grey levels come packed where the rows have them.
    using Kind = PixelPacking::Layout::Kind;
    const PixelPacking::Layout &layout = rows.layout();
    const bool gray = layout.onlyGreys();
    const std::unique_ptr<PixelPacking::RowPacker> packer = layout.kind == Kind::Gray
        ? std::make_unique<PixelPacking::RowPacker>(layout, rows.size().width())
        : nullptr;
    std::vector<JSAMPLE> samples(size_t(rows.size().width()) * 3);
    Destination destination;
    destination.device = device;
    destination.manager.init_destination = startDestination;
    destination.manager.empty_output_buffer = emptyDestination;
    destination.manager.term_destination = finishDestination;
    ErrorHandler errors;
    jpeg_compress_struct info {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onError;
    errors.manager.emit_message = onMessage;
    // libjpeg's errors jump back here, past compress's frame.
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        *reason = !destination.reason.isEmpty() ? destination.reason
                                                : QString::fromLocal8Bit(errors.message);
        return false;
    }
    compress(info, destination, rows, gray, packer.get(), samples);
    jpeg_destroy_compress(&info);
    return true;
}

}
