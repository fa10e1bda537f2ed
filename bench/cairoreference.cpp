#include "cairoreference.h"

#include "geometry.h"

#include <cairo.h>

#include <cmath>

namespace {

void track(cairo_t *cr, double cx, double cy, int inner, double outer, int segments, double phase,
    const QColor &fg, const QColor &bg)
{
    const double sweep = 2 * M_PI / segments;
    const double offset = sweep * phase;
    cairo_new_path(cr);
    for (int i = 0; i < segments / 2; ++i) {
        const double start = offset + 2 * i * sweep;
        cairo_move_to(cr, cx, cy);
        // Counter-clockwise as seen is negative in Cairo's y-down space.
        cairo_arc_negative(cr, cx, cy, outer, -start, -(start + sweep));
        cairo_close_path(cr);
    }
    cairo_set_source_rgb(cr, fg.redF(), fg.greenF(), fg.blueF());
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, inner, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, bg.redF(), bg.greenF(), bg.blueF());
    cairo_fill(cr);
}

}

void cairoDrawDisc(QImage &image, const EncoderSettings &s, bool antialias)
{
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_RGB24, image.width(), image.height(), int(image.bytesPerLine()));
    cairo_t *cr = cairo_create(surface);
    cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, s.background.redF(), s.background.greenF(), s.background.blueF());
    cairo_paint(cr);

    const double c = image.width() * 0.5;
    const int outer = Geometry::mmToPixels(s.dpi, s.outerRadiusMm);
    const int inner = Geometry::mmToPixels(s.dpi, s.innerRadiusMm);
    if (s.type == EncoderType::Relative) {
        track(cr, c, c, inner, outer, 2 * s.count, 0, s.foreground, s.background);
    } else {
        const int bits = s.count;
        const int w = (outer - inner) / bits;
        for (int j = 0; j < bits; ++j) {
            const int rank = bits - 1 - j;
            const int segments = rank == 0 ? 2 : 1 << rank;
            track(cr, c, c, inner + (bits - 1 - j) * w, inner + (bits - j) * w + 1, segments,
                rank == 0 ? 0 : 0.5, s.foreground, s.background);
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
