#include "paintcommon.h"

#include <QPainter>
#include <QtGlobal>

#include <array>

void applyRenderHints(QPainter &painter, bool antialias)
{
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform, antialias);
}

QPen linePen(const QColor &color, int widthPx)
{
    return QPen(QBrush(color, Qt::SolidPattern), qMax(widthPx, 1), Qt::SolidLine, Qt::SquareCap,
        Qt::BevelJoin);
}

int powerOfTwo(int exponent)
{
    static constexpr std::array<int, 16> table
        = { 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536 };
    Q_ASSERT(exponent >= 1 && exponent <= 16);
    return table[static_cast<size_t>(qBound(1, exponent, 16) - 1)];
}
