#include "preciseraster.h"

#include "coveragefill.h"
#include "geometry.h"
#include "patterngeometry.h"
#include "renderer.h"

double precisePixelsPerMm(int dpi)
{
    return dpi / 25.4;
}

QSize patternImageSize(const EncoderSettings &settings)
{
    const QSizeF room = patternRoomMm(settings);
    return Geometry::imageSize(settings)
        + QSize(Geometry::lengthToPixels(settings.dpi, room.width()),
            Geometry::lengthToPixels(settings.dpi, room.height()));
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
    // A margin around the pattern is whole pixels; the pattern keeps its place in its own box.
    const double k = precisePixelsPerMm(settings.dpi);
    const double margin = patternMarginMm(settings);
    const double shift = Geometry::lengthToPixels(settings.dpi, margin) - margin * k;
    return layerCoverage(
        patternImageSize(settings), patternGeometry(settings).layers(), k, QPointF(shift, shift));
}

QImage renderPreciseImage(EncoderSettings settings, bool antialias)
{
    settings.precise = true;
    return renderEncoderImage(settings, antialias);
}
