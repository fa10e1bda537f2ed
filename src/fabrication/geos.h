// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_GEOS_H
#define QUVELTA_GEOS_H

// A thin owner of GEOS's reentrant C API. GEOS is the polygon library of PostGIS, QGIS and
// Shapely: well kept, its C API stable across releases, and it has what cutting and solids need
// (buffer, union, difference, constrained Delaunay triangulation).

#include "shapes.h"

#include <QPointF>
#include <QRectF>

#include <geos_c.h>

#include <memory>
#include <string>
#include <vector>

namespace Geos {

// The functions used, resolved from libgeos_c when first needed (see loadedlibrary.h).
#define QUVELTA_GEOS_FUNCTIONS(X)                                                                  \
    X(GEOSArea_r)                                                                                  \
    X(GEOSBoundary_r)                                                                              \
    X(GEOSBuffer_r)                                                                                \
    X(GEOSConstrainedDelaunayTriangulation_r)                                                      \
    X(GEOSContains_r)                                                                              \
    X(GEOSContext_setErrorMessageHandler_r)                                                        \
    X(GEOSCoordSeq_create_r)                                                                       \
    X(GEOSCoordSeq_getSize_r)                                                                      \
    X(GEOSCoordSeq_getXY_r)                                                                        \
    X(GEOSCoordSeq_setXY_r)                                                                        \
    X(GEOSDifference_r)                                                                            \
    X(GEOSGeomGetX_r)                                                                              \
    X(GEOSGeomGetY_r)                                                                              \
    X(GEOSGeomTypeId_r)                                                                            \
    X(GEOSGeom_clone_r)                                                                            \
    X(GEOSGeom_createCollection_r)                                                                 \
    X(GEOSGeom_createEmptyPolygon_r)                                                               \
    X(GEOSGeom_createLineString_r)                                                                 \
    X(GEOSGeom_createLinearRing_r)                                                                 \
    X(GEOSGeom_createPointFromXY_r)                                                                \
    X(GEOSGeom_createPolygon_r)                                                                    \
    X(GEOSGeom_destroy_r)                                                                          \
    X(GEOSGeom_getCoordSeq_r)                                                                      \
    X(GEOSGeom_getXMax_r)                                                                          \
    X(GEOSGeom_getXMin_r)                                                                          \
    X(GEOSGeom_getYMax_r)                                                                          \
    X(GEOSGeom_getYMin_r)                                                                          \
    X(GEOSGeom_setPrecision_r)                                                                     \
    X(GEOSGetExteriorRing_r)                                                                       \
    X(GEOSGetGeometryN_r)                                                                          \
    X(GEOSGetInteriorRingN_r)                                                                      \
    X(GEOSGetNumGeometries_r)                                                                      \
    X(GEOSGetNumInteriorRings_r)                                                                   \
    X(GEOSIntersection_r)                                                                          \
    X(GEOSIntersects_r)                                                                            \
    X(GEOSPointOnSurface_r)                                                                        \
    X(GEOSPolygonize_r)                                                                            \
    X(GEOSPrepare_r)                                                                               \
    X(GEOSPreparedContains_r)                                                                      \
    X(GEOSPreparedGeom_destroy_r)                                                                  \
    X(GEOSTopologyPreserveSimplify_r)                                                              \
    X(GEOSUnaryUnion_r)                                                                            \
    X(GEOSUnion_r)                                                                                 \
    X(GEOS_finish_r)                                                                               \
    X(GEOS_init_r)                                                                                 \
    X(GEOSisEmpty_r)

struct Api
{
#define QUVELTA_GEOS_POINTER(function) decltype(&::function) function = nullptr;
    QUVELTA_GEOS_FUNCTIONS(QUVELTA_GEOS_POINTER)
#undef QUVELTA_GEOS_POINTER
};

// GEOS's functions; throws std::runtime_error when the library cannot be loaded.
const Api &api();

class Context;

struct Deleter
{
    GEOSContextHandle_t handle = nullptr;
    void operator()(GEOSGeometry *g) const
    {
        if (g)
            api().GEOSGeom_destroy_r(handle, g);
    }
};
using Geometry = std::unique_ptr<GEOSGeometry, Deleter>;

// A context per thread of work; every geometry it makes dies with it.
class Context
{
public:
    Context();
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    GEOSContextHandle_t handle() const { return h; }
    // Takes `g`; a null one (the library failed) throws std::runtime_error with its message.
    Geometry own(GEOSGeometry *g) const;

    // A polygon from closed point lists: the first the shell, the rest its holes.
    Geometry polygon(const std::vector<std::vector<QPointF>> &rings) const;
    // Contours (holes by their clockwise turn, each after the outline it lies in) as polygons
    // united; arcs within `tolerance`.
    Geometry fromContours(const std::vector<Shapes::Contour> &contours, double tolerance) const;
    Geometry collection(std::vector<Geometry> parts) const;
    Geometry empty() const;
    Geometry point(QPointF p) const;

    Geometry unite(const GEOSGeometry *a, const GEOSGeometry *b) const;
    Geometry uniteAll(const GEOSGeometry *a) const;
    Geometry subtract(const GEOSGeometry *a, const GEOSGeometry *b) const;
    Geometry intersect(const GEOSGeometry *a, const GEOSGeometry *b) const;
    Geometry buffer(const GEOSGeometry *a, double distance, int quadrantSegments) const;
    double area(const GEOSGeometry *a) const;
    QRectF bounds(const GEOSGeometry *a) const;
    QPointF inside(const GEOSGeometry *a) const; // a point on its surface

    // The polygons of a (multi)polygon or collection, borrowed from it.
    std::vector<const GEOSGeometry *> polygons(const GEOSGeometry *a) const;
    // A polygon's rings as point lists, the shell first; the closing point left off.
    std::vector<std::vector<QPointF>> rings(const GEOSGeometry *polygon) const;

private:
    GEOSContextHandle_t h;
    std::string lastError;
};

// The quadrant segments that keep a buffer's round joins of `radius` within `error` of the
// true arc.
int quadrantSegments(double radius, double error);

}

#endif
