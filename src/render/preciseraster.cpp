#include "preciseraster.h"

#include "coveragefill.h"
#include "geometry.h"
#include "patterngeometry.h"

double precisePixelsPerMm(int dpi)
{
    return dpi / 25.4;
}

void rasterizeLayers(QImage &image, const std::vector<Shapes::Layer> &layers, double pixelsPerMm,
    const QColor &foreground, const QColor &background, bool antialias)
{
    constexpr double tolerancePx = 0.01;
    CoverageFill fill(image.size());
    std::vector<CoverageFill::Point> polygon;
    for (const Shapes::Layer &layer : layers) {
        if (layer.kind != Shapes::Layer::Kind::Fill)
            continue;
        for (const Shapes::Contour &contour : layer.contours) {
            polygon.clear();
            for (const QPointF &p : contour.flattened(tolerancePx / pixelsPerMm))
                polygon.push_back({ p.x() * pixelsPerMm, p.y() * pixelsPerMm });
            fill.addPolygon(polygon);
        }
    }
    fill.fill(image, foreground, background,
        antialias ? CoverageFill::Sampling::Area : CoverageFill::Sampling::PixelCentre);
}

QImage renderPreciseImage(const EncoderSettings &settings, bool antialias)
{
    QImage image(Geometry::imageSize(settings), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int dpm = Geometry::dotsPerMeter(settings.dpi);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    rasterizeLayers(image, patternGeometry(settings).layers(), precisePixelsPerMm(settings.dpi),
        settings.foreground, settings.background, antialias);
    return image;
}
