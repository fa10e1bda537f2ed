// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "paintcommon.h"

#include <QPainter>
#include <QtGlobal>

void applyRenderHints(QPainter &painter, bool antialias)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform, antialias);
}

QPen linePen(const QColor &color, int widthPx)
{
    return QPen(QBrush(color, Qt::SolidPattern), qMax(widthPx, 1), Qt::SolidLine, Qt::SquareCap,
        Qt::BevelJoin);
}
