// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "colorselector.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

ColorSelector::ColorSelector(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ColorSelector::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pick();
}

void ColorSelector::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pick();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ColorSelector::paintEvent(QPaintEvent *)
{
    // The palette fills the swatch; a focus frame shows where the keyboard is.
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

QColor ColorSelector::color() const
{
    return palette().brush(QPalette::Current, QPalette::Window).color();
}

void ColorSelector::setColor(const QColor &color)
{
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(color, Qt::SolidPattern));
    setPalette(pal);
}

void ColorSelector::pick()
{
    const QString title = accessibleName().isEmpty() ? tr("Select Color") : accessibleName();
    const QColor picked = QColorDialog::getColor(color(), this, title);
    if (!picked.isValid())
        return;
    // Stored before the signal, so receivers that read the swatch find the new colour.
    setColor(picked);
    emit colorChanged(picked);
}
