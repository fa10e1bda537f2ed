#include "renderer.h"

#include "barpainter.h"
#include "discpainter.h"
#include "geometry.h"
#include "paintcommon.h"
#include "preciseraster.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
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
    // More bands than threads: a band draws only the sectors that reach it, so a fine disc's
    // thousands of sectors are shared out rather than each thread going through all of them.
    const int bands = std::clamp(size.height() / 256, 1, 32);
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    std::atomic<int> next { 0 };
    const auto paintBands = [&] {
        for (int band = next++; band < bands; band = next++) {
            const int top = int(qint64(size.height()) * band / bands);
            const int bottom = int(qint64(size.height()) * (band + 1) / bands);
            QImage view(bits, size.width(), size.height(), stride, QImage::Format_RGB32);
            QPainter painter(&view);
            applyRenderHints(painter, antialias);
            painter.setClipRect(QRect(0, top, size.width(), bottom - top));
            paintEncoder(painter, settings, size);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::min(threads, bands); ++t)
        pool.emplace_back(paintBands);
    paintBands();
    for (std::thread &thread : pool)
        thread.join();
}

}

namespace {

QImage render(const EncoderSettings &settings, bool antialias)
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

}

QImage renderEncoderImage(const EncoderSettings &settings, bool antialias)
{
    // Beside the image itself, the fills need memory for their edges and cells and a thread per
    // core; when the machine has none to give, the render is a null image, which every caller
    // reports, rather than an abort.
    try {
        return render(settings, antialias);
    } catch (const std::bad_alloc &) {
        return QImage();
    } catch (const std::system_error &) {
        return QImage();
    }
}
