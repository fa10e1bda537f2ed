#include "colorselector.h"

#include <QColorDialog>
#include <QMouseEvent>

ColorSelector::ColorSelector(QWidget *parent) : QWidget(parent) { }

void ColorSelector::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;

    const QColor color = QColorDialog::getColor(QColor(Qt::white), this);
    if (!color.isValid())
        return;

    // Stored before the signal, so receivers that read the palette find the new colour.
    QPalette pal = palette();
    pal.setBrush(QPalette::All, QPalette::Window, QBrush(color, Qt::SolidPattern));
    setPalette(pal);
    emit colorChanged(color);
}
