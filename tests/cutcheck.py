#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Reads a cut DXF with ezdxf and prints what a cutter would see, as key=value lines: every
entity's type and layer, whether each contour is closed, how many contours no other contains
(outlines), how many lie inside two or more (a hole in a hole: a second piece), and the
material's area (outlines less holes), arcs (bulges) and circles counted exactly. Exit
status 1 when the file does not load or fails the audit."""
import math
import sys

import ezdxf

from dxfcheck import polyline_area  # beside this file


def inside(point, ring):
    x, y = point
    crossings = False
    for i in range(len(ring)):
        x0, y0 = ring[i]
        x1, y1 = ring[(i + 1) % len(ring)]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            crossings = not crossings
    return crossings


def box(ring):
    xs = [p[0] for p in ring]
    ys = [p[1] for p in ring]
    return min(xs), min(ys), max(xs), max(ys)


def main():
    doc = ezdxf.readfile(sys.argv[1])
    if doc.audit().has_errors:
        return 1
    rings, areas, closed, types, layers = [], [], True, set(), set()
    for entity in doc.modelspace():
        types.add(entity.dxftype())
        layers.add(entity.dxf.layer)
        if entity.dxftype() == "CIRCLE":
            c, r = entity.dxf.center, entity.dxf.radius
            rings.append([(c.x + r * math.cos(k * math.pi / 360), c.y + r * math.sin(k * math.pi / 360))
                          for k in range(720)])
            areas.append(math.pi * r * r)
        elif entity.dxftype() == "POLYLINE":
            closed = closed and entity.is_closed
            points = [(v.dxf.location.x, v.dxf.location.y, v.dxf.bulge) for v in entity.vertices]
            rings.append([(x, y) for x, y, _ in points])
            areas.append(abs(polyline_area(points)))
    boxes = [box(r) for r in rings]
    depth = []
    for i, ring in enumerate(rings):
        d = 0
        for j, other in enumerate(rings):
            b, o = boxes[i], boxes[j]
            if i != j and o[0] <= b[0] and o[1] <= b[1] and o[2] >= b[2] and o[3] >= b[3] \
                    and inside(ring[0], other):
                d += 1
        depth.append(d)
    material = sum(a if d % 2 == 0 else -a for a, d in zip(areas, depth))
    print("types=" + ",".join(sorted(types)))
    print("layers=" + ",".join(sorted(layers)))
    print("closed=%d" % closed)
    print("contours=%d" % len(rings))
    print("outlines=%d" % depth.count(0))
    print("nested=%d" % sum(1 for d in depth if d >= 2))
    print("area=%.6f" % material)
    return 0


if __name__ == "__main__":
    sys.exit(main())
