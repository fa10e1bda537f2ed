// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_CAIROREFERENCE_H
#define QUVELTA_CAIROREFERENCE_H

#include "encodersettings.h"

#include <QImage>

// The pattern's filled shapes drawn with Cairo from the same pattern geometry into the same kind
// of RGB32 buffer (sectors as arcs, holes by winding): the reference another engineer would
// reach for.
void cairoDrawPattern(QImage &image, const EncoderSettings &settings, bool antialias);

#endif
