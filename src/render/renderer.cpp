#include "renderer.h"

#include "barpainter.h"
#include "discpainter.h"
#include "geometry.h"
#include "paintcommon.h"
#include "preciseraster.h"

#include <QPainter>

#include <algorithm>
#include <thread>
#include <vector>

void paintEncoder(QPainter &painter, const EncoderSettings &settings, QSize size)
{
    const bool absolute = settings.type == EncoderType::Absolute;
    if (settings.shape == Shape::Disc) {
        if (!absolute)
            drawRelativeDisc(painter, settings, size);
        else if (settings.grayCode)
            drawGrayDisc(painter, settings, size);
        else
            drawBinaryDisc(painter, settings, size);
    } else if (absolute) {
        drawAbsoluteBar(painter, settings, size);
    } else {
        drawRelativeBar(painter, settings, size);
    }
}

namespace {

// Paints the scene in horizontal bands, one thread each. The rasteriser decides every pixel from
// the shapes alone, so a band clipped out of the whole scene has exactly the pixels it would have
// in one pass, and the bands join without a seam.
void paintInBands(QImage &image, const EncoderSettings &settings, bool antialias)
{
    const QSize size = image.size();
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    const int bands = std::min(threads, std::max(1, size.height() / 256));
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto paintBand = [&](int band) {
        const int top = int(qint64(size.height()) * band / bands);
        const int bottom = int(qint64(size.height()) * (band + 1) / bands);
        QImage view(bits, size.width(), size.height(), stride, QImage::Format_RGB32);
        QPainter painter(&view);
        applyRenderHints(painter, antialias);
        painter.setClipRect(QRect(0, top, size.width(), bottom - top));
        paintEncoder(painter, settings, size);
    };
    std::vector<std::thread> pool;
    for (int band = 1; band < bands; ++band)
        pool.emplace_back(paintBand, band);
    paintBand(0);
    for (std::thread &thread : pool)
        thread.join();
}

}

QImage renderEncoderImage(const EncoderSettings &settings, bool antialias)
{
    if (!settings.isWindowPattern())
        return renderPreciseImage(settings, antialias);

    const QSize size = Geometry::imageSize(settings);
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int dpm = Geometry::dotsPerMeter(settings.dpi);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);

    if (antialias && settings.shape == Shape::Disc && drawDiscAntialiased(image, settings))
        return image;

    paintInBands(image, settings, antialias);
    return image;
}
