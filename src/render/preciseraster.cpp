#include "preciseraster.h"

#include "coveragefill.h"
#include "geometry.h"
#include "patterngeometry.h"

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

void rasterizeLayers(QImage &image, const std::vector<Shapes::Layer> &layers, double pixelsPerMm,
    const QColor &foreground, const QColor &background, bool antialias, QPointF offset)
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
                polygon.push_back(
                    { p.x() * pixelsPerMm + offset.x(), p.y() * pixelsPerMm + offset.y() });
            fill.addPolygon(polygon);
        }
    }
    fill.fill(image, foreground, background,
        antialias ? CoverageFill::Sampling::Area : CoverageFill::Sampling::PixelCentre);
}

QImage renderPreciseImage(const EncoderSettings &settings, bool antialias)
{
    QImage image(patternImageSize(settings), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int dpm = Geometry::dotsPerMeter(settings.dpi);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    // A margin around the pattern is whole pixels; the pattern keeps its place in its own box.
    const double k = precisePixelsPerMm(settings.dpi);
    const double margin = patternMarginMm(settings);
    const double shift = Geometry::lengthToPixels(settings.dpi, margin) - margin * k;
    rasterizeLayers(image, patternGeometry(settings).layers(), k, settings.foreground,
        settings.background, antialias, QPointF(shift, shift));
    return image;
}
