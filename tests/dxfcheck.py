#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Reads a DXF with ezdxf, audits it and prints one line per layer: name, entities, signed area.

Areas of closed polylines include their arc bulges; circles count as outlines, not areas.
With --boxes also "box LAYER xmin ymin xmax ymax" for each closed polyline's vertices.
Exit status 1 when the audit finds errors or the file does not load."""
import math
import sys

import ezdxf


def polyline_area(points):
    """Signed area of a closed polyline of (x, y, bulge) vertices."""
    twice = 0.0
    for i, (x0, y0, bulge) in enumerate(points):
        x1, y1, _ = points[(i + 1) % len(points)]
        twice += x0 * y1 - x1 * y0
        if bulge:
            theta = 4 * math.atan(bulge)
            chord = math.hypot(x1 - x0, y1 - y0)
            radius = chord / (2 * math.sin(abs(theta) / 2))
            twice += math.copysign(radius * radius * (abs(theta) - math.sin(abs(theta))), theta)
    return twice / 2


def main():
    boxes = "--boxes" in sys.argv
    doc = ezdxf.readfile([a for a in sys.argv[1:] if a != "--boxes"][0])
    auditor = doc.audit()
    if auditor.has_errors:
        for error in auditor.errors:
            print("error:", error)
        return 1
    print("units", doc.header.get("$INSUNITS", 0))
    layers = {}
    for entity in doc.modelspace():
        count, area = layers.get(entity.dxf.layer, (0, 0.0))
        parts = [entity]
        if entity.dxftype() == "INSERT":  # an array of columns: every copy counts
            parts = [e for copy in entity.multi_insert() for e in copy.virtual_entities()]
        for part in parts:
            if part.dxftype() != "POLYLINE":
                continue
            if not part.is_closed:
                print("error: open polyline on", entity.dxf.layer)
                return 1
            points = [(v.dxf.location.x, v.dxf.location.y, v.dxf.bulge) for v in part.vertices]
            area += polyline_area(points)
            if boxes:
                xs = [p[0] for p in points]
                ys = [p[1] for p in points]
                print(f"box {entity.dxf.layer} {min(xs):.9f} {min(ys):.9f} {max(xs):.9f} {max(ys):.9f}")
        layers[entity.dxf.layer] = (count + 1, area)
    for name, (count, area) in layers.items():
        print(f"layer {name} {count} {area:.9f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
