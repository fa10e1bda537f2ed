#include "preciseraster.h"

#include "coveragefill.h"
#include "patterngeometry.h"
#include "pixelrule.h"

#include <cmath>

double precisePixelsPerMm(int dpi)
{
    return dpi / 25.4;
}

namespace {

// The pattern's extent in pixels (page in mm times k, from the first whole pixel of the margin),
// and where that first pixel lies: margins round down to whole pixels.
struct Extent
{
    QSizeF pixels;
    double marginShift = 0;
};

Extent patternExtent(const EncoderSettings &settings)
{
    const double k = precisePixelsPerMm(settings.dpi);
    const QSizeF nominal = PixelRule::nominalSizeMm(settings);
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    const QSizeF room = patternRoomMm(settings);
    const double margin = patternMarginMm(settings);
    Extent e;
    e.marginShift = PixelRule::lengthToPixels(settings.dpi, margin) - margin * k;
    e.pixels = (nominal + QSizeF(line, line) + room) * k + QSizeF(1, 1) * e.marginShift;
    return e;
}

}

QSize patternImageSize(const EncoderSettings &settings)
{
    const QSize classic = PixelRule::imageSize(settings);
    if (settings.drawsClassicPixels())
        return classic;
    const QSizeF room = patternRoomMm(settings);
    const QSize size = classic
        + QSize(PixelRule::lengthToPixels(settings.dpi, room.width()),
            PixelRule::lengthToPixels(settings.dpi, room.height()));
    // The truncated size falls short of the pattern by up to two pixels. Centred, the pattern
    // loses the same on each side; the size stays while that is at most half a pixel or half a
    // border line, and grows where a thin line at a low DPI would go.
    const QSizeF extent = patternExtent(settings).pixels;
    const double line = settings.border ? settings.borderWidthMm : 0.0;
    const double loss = std::max(0.5, line * precisePixelsPerMm(settings.dpi) / 2);
    const auto least = [loss](double pixels) { return int(std::ceil(pixels - 2 * loss - 1e-9)); };
    return size.expandedTo(QSize(least(extent.width()), least(extent.height())));
}

QPointF patternPixelOffset(const EncoderSettings &settings)
{
    const Extent e = patternExtent(settings);
    const QSize size = patternImageSize(settings);
    const auto centred = [&e](double extent, int pixels) {
        return e.marginShift - std::max(0.0, extent - pixels) / 2;
    };
    return QPointF(centred(e.pixels.width(), size.width()),
        centred(e.pixels.height(), size.height()));
}

std::unique_ptr<CoverageFill> layerCoverage(
    QSize size, const std::vector<Shapes::Layer> &layers, double pixelsPerMm, QPointF offset)
{
    constexpr double tolerancePx = 0.01;
    auto fill = std::make_unique<CoverageFill>(size);
    std::vector<CoverageFill::Point> polygon;
    for (const Shapes::Layer &layer : layers) {
        if (layer.kind != Shapes::Layer::Kind::Fill)
            continue;
        for (const Shapes::Contour &contour : layer.contours) {
            polygon.clear();
            for (const QPointF &p : contour.flattened(tolerancePx / pixelsPerMm))
                polygon.push_back(
                    { p.x() * pixelsPerMm + offset.x(), p.y() * pixelsPerMm + offset.y() });
            fill->addPolygon(polygon);
        }
    }
    fill->prepare();
    return fill;
}

std::unique_ptr<CoverageFill> patternCoverage(const EncoderSettings &settings)
{
    return layerCoverage(patternImageSize(settings), patternGeometry(settings).layers(),
        precisePixelsPerMm(settings.dpi), patternPixelOffset(settings));
}
