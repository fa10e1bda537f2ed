// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "solid.h"

#include "geos.h"
#include "loadedlibrary.h"
#include "shapes.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>

namespace Solid {

namespace {

// Page millimetres (y down) to the plate's plane (y up).
QPointF plane(QPointF p)
{
    return QPointF(p.x(), -p.y());
}


class Builder
{
public:
    explicit Builder(Mesh &mesh) : mesh(mesh) { }
    unsigned vertex(QPointF p, int level, double z)
    {
        const auto key = std::make_tuple(level, p.x(), p.y());
        const auto found = index.find(key);
        if (found != index.end())
            return found->second;
        const unsigned i = unsigned(mesh.vertices.size());
        mesh.vertices.push_back({ p.x(), p.y(), z });
        index.emplace(key, i);
        return i;
    }
    void triangle(unsigned a, unsigned b, unsigned c) { mesh.triangles.push_back({ a, b, c }); }

private:
    Mesh &mesh;
    std::map<std::tuple<int, double, double>, unsigned> index;
};

}

namespace {

// Lines through every hole of a polygon: radial from a disc's centre (or down a strip, across
// its whole height), so that cut along them the material falls into pieces without holes. Each
// passes every corner at 10 um or more: a line along an edge or grazing a corner would leave
// pieces too thin to triangulate. (10 um: the walls' corners then stay apart in 32-bit floats.)
Geos::Geometry splitLines(const Geos::Context &geos, const GEOSGeometry *polygon,
    const std::vector<std::vector<QPointF>> &rings, const Fabrication::Part &part)
{
    const QRectF box = geos.bounds(polygon).adjusted(-1, -1, 1, 1);
    const double reach = box.width() + box.height();
    std::vector<Geos::Geometry> lines;
    const auto line = [&](QPointF a, QPointF b) {
        GEOSCoordSequence *seq = Geos::api().GEOSCoordSeq_create_r(geos.handle(), 2, 2);
        Geos::api().GEOSCoordSeq_setXY_r(geos.handle(), seq, 0, a.x(), a.y());
        Geos::api().GEOSCoordSeq_setXY_r(geos.handle(), seq, 1, b.x(), b.y());
        lines.push_back(geos.own(Geos::api().GEOSGeom_createLineString_r(geos.handle(), seq)));
    };
    // The line through `at`: from the centre outwards, or down the strip.
    const auto ends = [&](QPointF at) {
        if (!part.disc)
            return std::make_pair(QPointF(at.x(), box.top()), QPointF(at.x(), box.bottom()));
        const QPointF d = at - part.centre;
        const double length = std::hypot(d.x(), d.y());
        const QPointF towards = length > 1e-6 ? d / length : QPointF(1, 0);
        return std::make_pair(part.centre, part.centre + towards * reach);
    };
    const auto clear = [&](QPointF at) {
        const auto [a, b] = ends(at);
        const QPointF u = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
        for (const std::vector<QPointF> &ring : rings)
            for (const QPointF &v : ring) {
                const QPointF w = v - a;
                if (w.x() * u.x() + w.y() * u.y() > -0.01
                    && std::fabs(w.x() * u.y() - w.y() * u.x()) < 0.01)
                    return false;
            }
        return true;
    };
    std::vector<QPointF> chosenPoints;
    // Two lines nearly along each other would meet the rings at nearly the same points.
    const auto apart = [&](QPointF at) {
        for (const QPointF &other : chosenPoints) {
            if (!part.disc) {
                if (std::fabs(other.x() - at.x()) < 0.01)
                    return false;
                continue;
            }
            const QPointF a = at - part.centre;
            const QPointF b = other - part.centre;
            const double angle = std::fabs(
                std::atan2(a.x() * b.y() - a.y() * b.x(), a.x() * b.x() + a.y() * b.y()));
            if (angle < 0.002)
                return false;
        }
        return true;
    };
    for (size_t r = 1; r < rings.size(); ++r) {
        const Geos::Geometry hole = geos.polygon({ rings[r] });
        // A line already through this hole opens it.
        bool crossed = false;
        for (const Geos::Geometry &l : lines)
            crossed
                = crossed || Geos::api().GEOSIntersects_r(geos.handle(), l.get(), hole.get()) == 1;
        if (crossed)
            continue;
        const QPointF start = geos.inside(hole.get());
        QPointF chosen = start;
        for (int k = 0; k < 201; ++k) {
            const int step = (k + 1) / 2 * (k % 2 ? 1 : -1);
            QPointF at = start + QPointF(0.013 * step, 0);
            if (part.disc) {
                const QPointF d = start - part.centre;
                const double turn = 0.0013 * step;
                at = part.centre
                    + QPointF(d.x() * std::cos(turn) - d.y() * std::sin(turn),
                        d.x() * std::sin(turn) + d.y() * std::cos(turn));
            }
            const Geos::Geometry point = geos.point(at);
            if (Geos::api().GEOSContains_r(geos.handle(), hole.get(), point.get()) == 1 && clear(at)
                && apart(at)) {
                chosen = at;
                break;
            }
        }
        chosenPoints.push_back(chosen);
        const auto [a, b] = ends(chosen);
        line(a, b);
    }
    return geos.collection(std::move(lines));
}

}

Mesh extrude(const Fabrication::Part &part, double thickness)
{
    Mesh mesh;
    Builder build(mesh);
    const Geos::Context geos;
    for (const std::vector<std::vector<QPointF>> &material : part.material) {
        // Corners on a 0.1 um grid, and those closer than that to the line of their neighbours
        // gone: the files hold 32-bit floats (0.015 um apart at 200 mm), which must not merge
        // two corners, and the triangulation chokes on the near-duplicates offsets leave.
        const Geos::Geometry exact = geos.polygon(material);
        const Geos::Geometry snapped
            = geos.own(Geos::api().GEOSGeom_setPrecision_r(geos.handle(), exact.get(), 1e-4, 0));
        const Geos::Geometry simple = geos.own(
            Geos::api().GEOSTopologyPreserveSimplify_r(geos.handle(), snapped.get(), 1e-4));
        const std::vector<const GEOSGeometry *> simplePolygons = geos.polygons(simple.get());
        if (simplePolygons.size() != 1)
            throw std::runtime_error("the material does not simplify to one polygon");
        const std::vector<std::vector<QPointF>> rings = geos.rings(simplePolygons.front());
        // GEOS's triangulation joins holes to the shell and fails on some joins; cut along
        // lines through every hole first, all linework noded at once so that neighbouring
        // pieces share their new corners exactly.
        const Geos::Geometry polygon = geos.polygon(rings);
        Geos::Geometry boundary
            = geos.own(Geos::api().GEOSBoundary_r(geos.handle(), polygon.get()));
        Geos::Geometry lines = splitLines(geos, polygon.get(), rings, part);
        Geos::Geometry noded = geos.unite(boundary.get(), lines.get());
        const GEOSGeometry *input[] = { noded.get() };
        Geos::Geometry faces = geos.own(Geos::api().GEOSPolygonize_r(geos.handle(), input, 1));
        const GEOSPreparedGeometry *inside
            = Geos::api().GEOSPrepare_r(geos.handle(), polygon.get());
        std::vector<std::vector<QPointF>> pieces;
        for (const GEOSGeometry *face : geos.polygons(faces.get())) {
            if (geos.area(face) <= 0)
                continue;
            const Geos::Geometry at = geos.point(geos.inside(face));
            if (Geos::api().GEOSPreparedContains_r(geos.handle(), inside, at.get()) != 1)
                continue;
            std::vector<QPointF> ring;
            const std::vector<std::vector<QPointF>> faceRings = geos.rings(face);
            for (const QPointF &p : faceRings.front())
                ring.push_back(plane(p));
            if (Shapes::shoelaceArea(ring) < 0)
                std::reverse(ring.begin(), ring.end());
            pieces.push_back(std::move(ring));
        }
        Geos::api().GEOSPreparedGeom_destroy_r(geos.handle(), inside);

        // Walls where a piece's edge is no other piece's: the part's own outline and holes,
        // the material on the edge's left, its outside on the right.
        std::map<std::pair<std::pair<double, double>, std::pair<double, double>>, int> edges;
        const auto key = [](QPointF a, QPointF b) {
            std::pair<double, double> p(a.x(), a.y()), q(b.x(), b.y());
            return p < q ? std::make_pair(p, q) : std::make_pair(q, p);
        };
        for (const std::vector<QPointF> &ring : pieces)
            for (size_t i = 0; i < ring.size(); ++i)
                ++edges[key(ring[i], ring[(i + 1) % ring.size()])];
        for (const std::vector<QPointF> &ring : pieces)
            for (size_t i = 0; i < ring.size(); ++i) {
                const QPointF &a = ring[i];
                const QPointF &b = ring[(i + 1) % ring.size()];
                if (edges[key(a, b)] != 1)
                    continue;
                const unsigned a0 = build.vertex(a, 0, 0), b0 = build.vertex(b, 0, 0);
                const unsigned a1 = build.vertex(a, 1, thickness);
                const unsigned b1 = build.vertex(b, 1, thickness);
                build.triangle(a0, b0, b1);
                build.triangle(a0, b1, a1);
            }
        // The faces: no points added, so their edges are the pieces' edges.
        for (const std::vector<QPointF> &ring : pieces) {
            Geos::Geometry piece = geos.polygon({ ring });
            Geos::Geometry triangles = geos.own(
                Geos::api().GEOSConstrainedDelaunayTriangulation_r(geos.handle(), piece.get()));
            for (const GEOSGeometry *t : geos.polygons(triangles.get())) {
                std::vector<QPointF> corners = geos.rings(t).front();
                if (corners.size() != 3)
                    throw std::runtime_error("triangulation gave a polygon that is no triangle");
                if (Shapes::shoelaceArea(corners) < 0)
                    std::swap(corners[1], corners[2]);
                build.triangle(build.vertex(corners[0], 1, thickness),
                    build.vertex(corners[1], 1, thickness), build.vertex(corners[2], 1, thickness));
                build.triangle(build.vertex(corners[0], 0, 0), build.vertex(corners[2], 0, 0),
                    build.vertex(corners[1], 0, 0));
            }
        }
    }
    return mesh;
}

QByteArray stl(const Mesh &mesh)
{
    // Binary STL is an 80-byte header, a count and 50 bytes a triangle: written here, as a
    // library would add nothing but a dependency.
    QByteArray out(80, '\0');
    const QByteArray header = "Quvelta encoder part, millimetres";
    std::memcpy(out.data(), header.constData(), size_t(header.size()));
    const auto put32 = [&out](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    const auto putFloat = [&put32](double v) {
        const float f = float(v);
        quint32 bits;
        std::memcpy(&bits, &f, 4);
        put32(bits);
    };
    put32(quint32(mesh.triangles.size()));
    for (const std::array<unsigned, 3> &t : mesh.triangles) {
        const auto &a = mesh.vertices[t[0]];
        const auto &b = mesh.vertices[t[1]];
        const auto &c = mesh.vertices[t[2]];
        const double u[3] = { b[0] - a[0], b[1] - a[1], b[2] - a[2] };
        const double v[3] = { c[0] - a[0], c[1] - a[1], c[2] - a[2] };
        double n[3]
            = { u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0] };
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (double &x : n)
            x = length > 0 ? x / length : 0;
        for (const double x : n)
            putFloat(x);
        for (const auto *p : { &a, &b, &c })
            for (const double x : *p)
                putFloat(x);
        out.append(2, '\0');
    }
    return out;
}

namespace {

// lib3mf's functions, resolved when a 3MF file is first made (see loadedlibrary.h).
#define QUVELTA_LIB3MF_FUNCTIONS(X)                                                                \
    X(lib3mf_createmodel)                                                                          \
    X(lib3mf_meshobject_setgeometry)                                                               \
    X(lib3mf_model_addbuilditem)                                                                   \
    X(lib3mf_model_addmeshobject)                                                                  \
    X(lib3mf_model_querywriter)                                                                    \
    X(lib3mf_model_setunit)                                                                        \
    X(lib3mf_object_setnameutf8)                                                                   \
    X(lib3mf_release)                                                                              \
    X(lib3mf_writer_getstreamsize)                                                                 \
    X(lib3mf_writer_writetobuffer)

struct Lib3mf
{
#define QUVELTA_LIB3MF_POINTER(function) decltype(&NMR::function) function = nullptr;
    QUVELTA_LIB3MF_FUNCTIONS(QUVELTA_LIB3MF_POINTER)
#undef QUVELTA_LIB3MF_POINTER
    std::string failure;

    Lib3mf()
    {
        LoadedLibrary library("3MF", 1);
#define QUVELTA_LIB3MF_RESOLVE(function) library.resolve(function, #function);
        QUVELTA_LIB3MF_FUNCTIONS(QUVELTA_LIB3MF_RESOLVE)
#undef QUVELTA_LIB3MF_RESOLVE
        failure = library.failure();
    }
};

}

QByteArray threeMf(const Mesh &mesh, QString *error)
{
    using namespace NMR;
    static const Lib3mf lib;
    if (!lib.failure.empty()) {
        *error = QStringLiteral("lib3mf not found: %1").arg(QString::fromStdString(lib.failure));
        return {};
    }
    PLib3MFModel *model = nullptr;
    PLib3MFModelMeshObject *object = nullptr;
    PLib3MFModelBuildItem *item = nullptr;
    PLib3MFModelWriter *writer = nullptr;
    QByteArray out;
    std::vector<MODELMESHVERTEX> vertices(mesh.vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            vertices[i].m_fPosition[k] = FLOAT(mesh.vertices[i][size_t(k)]);
    std::vector<MODELMESHTRIANGLE> triangles(mesh.triangles.size());
    for (size_t i = 0; i < triangles.size(); ++i)
        for (int k = 0; k < 3; ++k)
            triangles[i].m_nIndices[k] = DWORD(mesh.triangles[i][size_t(k)]);
    ULONG64 size = 0;
    const bool ok = lib.lib3mf_createmodel(&model) == LIB3MF_OK
        && lib.lib3mf_model_setunit(model, MODELUNIT_MILLIMETER) == LIB3MF_OK
        && lib.lib3mf_model_addmeshobject(model, &object) == LIB3MF_OK
        && lib.lib3mf_object_setnameutf8(object, "Quvelta encoder part") == LIB3MF_OK
        && lib.lib3mf_meshobject_setgeometry(object, vertices.data(), DWORD(vertices.size()),
               triangles.data(), DWORD(triangles.size()))
            == LIB3MF_OK
        && lib.lib3mf_model_addbuilditem(model, object, nullptr, &item) == LIB3MF_OK
        && lib.lib3mf_model_querywriter(model, "3mf", &writer) == LIB3MF_OK
        && lib.lib3mf_writer_getstreamsize(writer, &size) == LIB3MF_OK;
    if (ok) {
        out.resize(qsizetype(size));
        if (lib.lib3mf_writer_writetobuffer(writer, reinterpret_cast<BYTE *>(out.data()), size)
            != LIB3MF_OK)
            out.clear();
    }
    if (out.isEmpty())
        *error = QStringLiteral("lib3mf could not make the 3MF package");
    for (PLib3MFBase *p : { writer, item, object, model })
        if (p)
            lib.lib3mf_release(p);
    return out;
}

}
