// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "cairoreference.h"

#include "patterngeometry.h"
#include "preciseraster.h"

#include <cairo.h>

#include <cmath>

void cairoDrawPattern(QImage &image, const EncoderSettings &s, bool antialias)
{
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_RGB24, image.width(), image.height(), int(image.bytesPerLine()));
    cairo_t *cr = cairo_create(surface);
    cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, s.background.redF(), s.background.greenF(), s.background.blueF());
    cairo_paint(cr);

    const double k = precisePixelsPerMm(s.dpi);
    const QPointF offset = patternPixelOffset(s);
    cairo_translate(cr, offset.x(), offset.y());
    cairo_scale(cr, k, k);
    constexpr double radians = 3.14159265358979323846 / 180.0;
    cairo_new_path(cr);
    for (const Shapes::Layer &layer : patternGeometry(s).layers()) {
        if (layer.kind != Shapes::Layer::Kind::Fill)
            continue;
        for (const Shapes::Contour &contour : layer.contours) {
            cairo_move_to(cr, contour.start.x(), contour.start.y());
            for (const Shapes::Segment &seg : contour.segments) {
                if (seg.kind == Shapes::Segment::Kind::Line) {
                    cairo_line_to(cr, seg.to.x(), seg.to.y());
                    continue;
                }
                // Counter-clockwise as seen is negative in Cairo's y-down space.
                const double a = -seg.startDegrees * radians;
                const double b = -(seg.startDegrees + seg.sweepDegrees) * radians;
                if (seg.sweepDegrees > 0)
                    cairo_arc_negative(cr, seg.center.x(), seg.center.y(), seg.radius, a, b);
                else
                    cairo_arc(cr, seg.center.x(), seg.center.y(), seg.radius, a, b);
            }
            cairo_close_path(cr);
        }
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_source_rgb(cr, s.foreground.redF(), s.foreground.greenF(), s.foreground.blueF());
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
