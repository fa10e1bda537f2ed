#include "renderer.h"

#include "barpainter.h"
#include "discpainter.h"
#include "geometry.h"
#include "paintcommon.h"

#include <QPainter>

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

QImage renderEncoderImage(const EncoderSettings &settings, bool antialias)
{
    const QSize size = Geometry::imageSize(settings);
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int dpm = Geometry::dotsPerMeter(settings.dpi);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);

    QPainter painter(&image);
    applyRenderHints(painter, antialias);
    paintEncoder(painter, settings, size);
    return image;
}
