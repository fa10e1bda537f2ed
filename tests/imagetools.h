// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_TEST_IMAGETOOLS_H
#define QUVELTA_TEST_IMAGETOOLS_H

#include "encodersettings.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QVector>

// Foreground pixels of a plain (non-antialiased) black-on-white render, row by row as '#'/'.'.
// Settings drawn with the classic whole-pixel rules, whose worked pixel values these tests hold.
inline EncoderSettings classicSettings()
{
    EncoderSettings s;
    s.classicPixels = true;
    return s;
}

inline QString rowPattern(const QImage &image, int y)
{
    QString row;
    for (int x = 0; x < image.width(); ++x)
        row += qGray(image.pixel(x, y)) < 128 ? QLatin1Char('#') : QLatin1Char('.');
    return row;
}

// A black-on-white image of the given size with these rectangles filled, clipped to the image.
inline QImage expectedImage(QSize size, const QVector<QRect> &rects)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (const QRect &r : rects) {
        const QRect clipped = r.intersected(image.rect());
        for (int y = clipped.top(); y <= clipped.bottom(); ++y)
            for (int x = clipped.left(); x <= clipped.right(); ++x)
                image.setPixel(x, y, qRgb(0, 0, 0));
    }
    return image;
}

// The first row where the two images differ, shown as patterns, or an empty string. Pixels in
// `ignored` rectangles are not compared.
inline QString firstDifference(QImage actual, QImage expected, const QVector<QRect> &ignored = {})
{
    for (const QRect &r : ignored) {
        QPainter(&actual).fillRect(r, Qt::white);
        QPainter(&expected).fillRect(r, Qt::white);
    }
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int y = 0; y < actual.height(); ++y) {
        const QString a = rowPattern(actual, y);
        const QString e = rowPattern(expected, y);
        if (a != e)
            return QStringLiteral("row %1\n actual   %2\n expected %3").arg(y).arg(a, e);
    }
    return QString();
}

inline bool isForeground(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

#endif
