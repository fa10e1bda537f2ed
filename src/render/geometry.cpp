#include "geometry.h"

namespace Geometry {

long double pixelsPerMm(int dpi)
{
    return static_cast<long double>(dpi) / static_cast<long double>(mmPerInch);
}

int mmToPixels(int dpi, long double mm)
{
    return static_cast<int>(pixelsPerMm(dpi) * mm);
}

int borderPixels(int dpi, double borderWidthMm)
{
    const float b = static_cast<float>(borderWidthMm);
    return static_cast<int>(static_cast<long double>(b) * pixelsPerMm(dpi));
}

int dotsPerMeter(int dpi)
{
    return static_cast<int>(pixelsPerMm(dpi) * static_cast<long double>(1000.0f));
}

QSize imageSize(const EncoderSettings &settings)
{
    int width;
    int height;
    if (settings.shape == Shape::Bar) {
        width = mmToPixels(settings.dpi, settings.widthMm);
        height = mmToPixels(settings.dpi, settings.heightMm);
    } else {
        width = height = mmToPixels(settings.dpi, 2 * settings.outerRadiusMm);
    }
    if (settings.border) {
        const int e = borderPixels(settings.dpi, settings.borderWidthMm);
        width += e;
        height += e;
    }
    return QSize(width, height);
}

QSizeF nominalSizeMm(const EncoderSettings &settings)
{
    if (settings.shape == Shape::Bar)
        return QSizeF(settings.widthMm, settings.heightMm);
    return QSizeF(2 * settings.outerRadiusMm, 2 * settings.outerRadiusMm);
}

}
