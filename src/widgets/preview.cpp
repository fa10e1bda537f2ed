// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "preview.h"

#include <QPainter>

Preview::Preview(QWidget *parent) : QWidget(parent) { }

void Preview::setImage(const QImage *image)
{
    if (!image)
        return;
    setFitted(fit(*image, size(), devicePixelRatioF()));
}

Preview::Fitted Preview::fit(const QImage &image, QSize area, qreal ratio)
{
    // Nothing to fit; only the background shows.
    if (image.isNull())
        return {};

    const float w = image.width();
    const float h = image.height();
    const float areaWidth = area.width();
    const float areaHeight = area.height();
    // The scale is single precision on purpose: the copy may come out one pixel short of the
    // widget, and the offsets below are taken from the untruncated products.
    float scale = (w / h > areaWidth / areaHeight) ? areaWidth / w : areaHeight / h;
    if (scale > 1.0f)
        scale = 1.0f;
    const double scaledWidth = static_cast<double>(scale) * w;
    const double scaledHeight = static_cast<double>(scale) * h;

    // On a high-DPI screen the copy has the screen's pixels, so fine lines stay sharp; its size
    // in logical pixels is the same.
    Fitted fitted;
    fitted.image = image.scaled(
        QSize(static_cast<int>(scaledWidth * ratio), static_cast<int>(scaledHeight * ratio)),
        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    fitted.image.setDevicePixelRatio(ratio);
    fitted.offset = QPoint(static_cast<int>((areaWidth - static_cast<float>(scaledWidth)) * 0.5),
        static_cast<int>((areaHeight - static_cast<float>(scaledHeight)) * 0.5));
    return fitted;
}

void Preview::setFitted(Fitted fitted)
{
    scaledImage = std::move(fitted.image);
    offsetX = fitted.offset.x();
    offsetY = fitted.offset.y();
    repaint();
}

void Preview::setBackgroundColor(const QColor &color)
{
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(color, Qt::SolidPattern));
    setPalette(pal);
}

void Preview::paintEvent(QPaintEvent *)
{
    if (!scaledImage)
        return;
    QPainter painter(this);
    painter.drawImage(QPointF(offsetX, offsetY), *scaledImage);
}
