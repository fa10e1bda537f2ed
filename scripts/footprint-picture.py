#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
"""Plots a footprint as KiCad draws it on a board: python3 footprint-picture.py LIBRARY.pretty NAME OUT.pdf

Places the footprint on an empty board and plots F.Cu, F.Mask, F.SilkS, F.Fab and Edge.Cuts
with KiCad's own plotter into one PDF page (pdftoppm makes a picture of it)."""
import os
import sys

import pcbnew


def main():
    library, name, out = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    board = pcbnew.BOARD()
    footprint = pcbnew.FootprintLoad(library, name)
    footprint.SetPosition(pcbnew.wxPoint(pcbnew.FromMM(100), pcbnew.FromMM(100)))
    board.Add(footprint)
    board.SetFileName(os.path.join(os.path.dirname(out), name + ".kicad_pcb"))
    plotter = pcbnew.PLOT_CONTROLLER(board)
    options = plotter.GetPlotOptions()
    options.SetOutputDirectory(os.path.dirname(out))
    options.SetPlotFrameRef(False)
    options.SetAutoScale(False)
    options.SetScale(1)
    options.SetMirror(False)
    options.SetUseAuxOrigin(False)
    options.SetPlotValue(True)
    options.SetPlotReference(True)
    plotter.OpenPlotfile("picture", pcbnew.PLOT_FORMAT_SVG, "footprint")
    for layer in (pcbnew.F_Cu, pcbnew.F_Mask, pcbnew.F_SilkS, pcbnew.F_Fab, pcbnew.Edge_Cuts):
        plotter.SetLayer(layer)
        plotter.PlotLayer()
    made = plotter.GetPlotFileName()
    plotter.ClosePlot()
    os.replace(made, out)
    return 0


sys.exit(main())
