// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_SOLID_H
#define QUVELTA_SOLID_H

#include "fabrication.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

// A cut part extruded to a plate: a closed triangle mesh in millimetres, x right, y up (the page
// seen from above), z from 0 to the thickness, every triangle counter-clockwise seen from
// outside.
namespace Solid {

struct Mesh
{
    std::vector<std::array<double, 3>> vertices;
    std::vector<std::array<unsigned, 3>> triangles;
};

// The part's material (bridges in, no kerf: a printer has none) as a plate `thickness` thick:
// both faces triangulated by GEOS's constrained Delaunay triangulation, the walls two
// triangles per edge of every ring.
Mesh extrude(const Fabrication::Part &part, double thickness);

// Binary STL.
QByteArray stl(const Mesh &mesh);
// A 3MF package made by lib3mf, or empty with the reason in `error`.
QByteArray threeMf(const Mesh &mesh, QString *error);

}

#endif
