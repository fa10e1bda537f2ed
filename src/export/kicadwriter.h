// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_KICADWRITER_H
#define QUVELTA_KICADWRITER_H

#include "encodersettings.h"

#include <QString>
#include <QStringList>

// A KiCad footprint (.kicad_mod, the S-expression format of KiCad 6 and later) of the pattern:
// the marks as filled polygons with true arcs on the chosen board layers, the disc's outline,
// bore, flat and mounting holes (a strip's outline) on Edge.Cuts, the sensors' places on F.Fab.
// Border lines, centre mark and calibration are print aids and stay out: the board edge is
// routed, and marks fill their tracks whole.
namespace KicadExport {

// The front layers marks may go on; F.Cu with F.Mask opens the solder mask over copper marks
// (gold or ENIG finish).
QStringList markLayers();

// Empty when every name is one of markLayers() (any letter case) and there is at least one, else
// why not. `canonical` gets the names as KiCad spells them.
QString checkLayers(const QStringList &names, QStringList *canonical);

// The footprint's name: the file's base name, as a .pretty library needs it.
bool writeFootprint(const EncoderSettings &settings, const QStringList &layers,
    const QString &fileName, QString *error);

}

#endif
