#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Loads a footprint with KiCad's own pcbnew module and prints what it holds:
"layer NAME polygons N area A" per layer with filled polygons (areas in mm², as KiCad
approximates the arcs), "ring LAYER" per stroked circle, and "edge closed" or "edge open N" for
Edge.Cuts: every end of its lines and arcs must meet another. Exit status 1 when it does not load."""
import sys

import pcbnew


def main():
    library, name = sys.argv[1], sys.argv[2]
    footprint = pcbnew.FootprintLoad(library, name)
    if footprint is None:
        print("error: no footprint", name, "in", library)
        return 1
    layers = {}
    ends = {}
    for item in footprint.GraphicalItems():
        if not hasattr(item, "GetShape"):
            continue
        layer = item.GetLayerName()
        shape = item.GetShape()
        if shape == pcbnew.SHAPE_T_POLY:
            count, area = layers.get(layer, (0, 0.0))
            layers[layer] = (count + 1, area + item.GetPolyShape().Area() / 1e12)
        elif shape == pcbnew.SHAPE_T_CIRCLE and layer != "Edge.Cuts":
            print("ring", layer)
        elif layer == "Edge.Cuts" and shape in (pcbnew.SHAPE_T_SEGMENT, pcbnew.SHAPE_T_ARC):
            for point in (item.GetStart(), item.GetEnd()):
                key = (round(point.x / 10), round(point.y / 10))  # to 10 nm
                ends[key] = ends.get(key, 0) + 1
    for layer, (count, area) in sorted(layers.items()):
        print(f"layer {layer} polygons {count} area {area:.6f}")
    unmatched = sum(1 for n in ends.values() if n % 2)
    print("edge closed" if unmatched == 0 else f"edge open {unmatched}")
    print("reference", footprint.GetReference(), "value", footprint.GetValue())
    return 0


sys.exit(main())
