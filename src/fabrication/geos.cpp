// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "geos.h"

#include "loadedlibrary.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

namespace Geos {

namespace {

void onError(const char *message, void *data)
{
    *static_cast<std::string *>(data) = message ? message : "GEOS error";
}

GEOSGeometry *ring(GEOSContextHandle_t h, const std::vector<QPointF> &points)
{
    const unsigned n = unsigned(points.size());
    GEOSCoordSequence *seq = api().GEOSCoordSeq_create_r(h, n + 1, 2);
    for (unsigned i = 0; i <= n; ++i) {
        const QPointF &p = points[i % n];
        api().GEOSCoordSeq_setXY_r(h, seq, i, p.x(), p.y());
    }
    return api().GEOSGeom_createLinearRing_r(h, seq);
}
}

const Api &api()
{
    struct Loaded
    {
        Api api;
        std::string failure;
        Loaded()
        {
            LoadedLibrary library("geos_c", 1);
#define QUVELTA_GEOS_RESOLVE(function) library.resolve(api.function, #function);
            QUVELTA_GEOS_FUNCTIONS(QUVELTA_GEOS_RESOLVE)
#undef QUVELTA_GEOS_RESOLVE
            failure = library.failure();
        }
    };
    static const Loaded loaded;
    if (!loaded.failure.empty())
        throw std::runtime_error("polygon library (GEOS) not found: " + loaded.failure);
    return loaded.api;
}

Context::Context() : h(api().GEOS_init_r())
{
    if (!h)
        throw std::bad_alloc();
    api().GEOSContext_setErrorMessageHandler_r(h, onError, &lastError);
}

Geometry Context::own(GEOSGeometry *g) const
{
    // An overlay fails only on invalid input: a fault of ours, reported, never a crash.
    if (!g)
        throw std::runtime_error("polygon library: " + lastError);
    return Geometry(g, Deleter { h });
}

Context::~Context()
{
    api().GEOS_finish_r(h);
}

Geometry Context::polygon(const std::vector<std::vector<QPointF>> &rings) const
{
    std::vector<GEOSGeometry *> holes;
    for (size_t i = 1; i < rings.size(); ++i)
        holes.push_back(ring(h, rings[i]));
    return own(api().GEOSGeom_createPolygon_r(
        h, ring(h, rings.front()), holes.empty() ? nullptr : holes.data(), unsigned(holes.size())));
}

Geometry Context::fromContours(const std::vector<Shapes::Contour> &contours, double tolerance) const
{
    // Outlines united, holes taken out of the result: the non-zero fill of the contours.
    std::vector<Geometry> fills;
    std::vector<Geometry> holes;
    for (const Shapes::Contour &c : contours) {
        std::vector<QPointF> points = c.flattened(tolerance);
        if (points.size() < 3)
            continue;
        const bool hole = c.signedArea() < 0;
        (hole ? holes : fills).push_back(polygon({ points }));
    }
    Geometry filled = uniteAll(collection(std::move(fills)).get());
    if (holes.empty())
        return filled;
    Geometry cut = uniteAll(collection(std::move(holes)).get());
    return subtract(filled.get(), cut.get());
}

Geometry Context::collection(std::vector<Geometry> parts) const
{
    std::vector<GEOSGeometry *> raw;
    for (Geometry &p : parts)
        raw.push_back(p.release());
    return own(api().GEOSGeom_createCollection_r(
        h, GEOS_GEOMETRYCOLLECTION, raw.empty() ? nullptr : raw.data(), unsigned(raw.size())));
}

Geometry Context::empty() const
{
    return own(api().GEOSGeom_createEmptyPolygon_r(h));
}

Geometry Context::point(QPointF p) const
{
    return own(api().GEOSGeom_createPointFromXY_r(h, p.x(), p.y()));
}

Geometry Context::unite(const GEOSGeometry *a, const GEOSGeometry *b) const
{
    return own(api().GEOSUnion_r(h, a, b));
}

Geometry Context::uniteAll(const GEOSGeometry *a) const
{
    return own(api().GEOSUnaryUnion_r(h, a));
}

Geometry Context::subtract(const GEOSGeometry *a, const GEOSGeometry *b) const
{
    return own(api().GEOSDifference_r(h, a, b));
}

Geometry Context::intersect(const GEOSGeometry *a, const GEOSGeometry *b) const
{
    return own(api().GEOSIntersection_r(h, a, b));
}

Geometry Context::buffer(const GEOSGeometry *a, double distance, int quadrantSegments) const
{
    return own(api().GEOSBuffer_r(h, a, distance, quadrantSegments));
}

double Context::area(const GEOSGeometry *a) const
{
    double value = 0;
    api().GEOSArea_r(h, a, &value);
    return value;
}

QRectF Context::bounds(const GEOSGeometry *a) const
{
    if (api().GEOSisEmpty_r(h, a))
        return {};
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    api().GEOSGeom_getXMin_r(h, a, &x0);
    api().GEOSGeom_getYMin_r(h, a, &y0);
    api().GEOSGeom_getXMax_r(h, a, &x1);
    api().GEOSGeom_getYMax_r(h, a, &y1);
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

QPointF Context::inside(const GEOSGeometry *a) const
{
    Geometry p = own(api().GEOSPointOnSurface_r(h, a));
    double x = 0, y = 0;
    api().GEOSGeomGetX_r(h, p.get(), &x);
    api().GEOSGeomGetY_r(h, p.get(), &y);
    return QPointF(x, y);
}

std::vector<const GEOSGeometry *> Context::polygons(const GEOSGeometry *a) const
{
    std::vector<const GEOSGeometry *> result;
    const int type = api().GEOSGeomTypeId_r(h, a);
    if (type == GEOS_POLYGON) {
        if (!api().GEOSisEmpty_r(h, a))
            result.push_back(a);
        return result;
    }
    if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION) {
        const int n = api().GEOSGetNumGeometries_r(h, a);
        for (int i = 0; i < n; ++i) {
            const std::vector<const GEOSGeometry *> part
                = polygons(api().GEOSGetGeometryN_r(h, a, i));
            result.insert(result.end(), part.begin(), part.end());
        }
    }
    return result;
}

std::vector<std::vector<QPointF>> Context::rings(const GEOSGeometry *polygon) const
{
    std::vector<const GEOSGeometry *> list { api().GEOSGetExteriorRing_r(h, polygon) };
    const int n = api().GEOSGetNumInteriorRings_r(h, polygon);
    for (int i = 0; i < n; ++i)
        list.push_back(api().GEOSGetInteriorRingN_r(h, polygon, i));
    std::vector<std::vector<QPointF>> result;
    for (const GEOSGeometry *r : list) {
        const GEOSCoordSequence *seq = api().GEOSGeom_getCoordSeq_r(h, r);
        unsigned size = 0;
        api().GEOSCoordSeq_getSize_r(h, seq, &size);
        std::vector<QPointF> points;
        for (unsigned i = 0; i + 1 < size; ++i) {
            double x = 0, y = 0;
            api().GEOSCoordSeq_getXY_r(h, seq, i, &x, &y);
            points.emplace_back(x, y);
        }
        result.push_back(std::move(points));
    }
    return result;
}

int quadrantSegments(double radius, double error)
{
    // A round join of q segments a quadrant is within r (1 - cos(pi / 4q)) of its arc.
    if (radius <= error)
        return 1;
    const double step = std::acos(1 - error / radius);
    return std::clamp(int(std::ceil(M_PI / (4 * step))), 1, 1000);
}

}
