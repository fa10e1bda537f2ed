#ifndef QUVELTA_COLORSELECTOR_H
#define QUVELTA_COLORSELECTOR_H

#include <QWidget>

// A colour swatch. The colour lives only in the palette's Window brush (all groups), which the
// auto-filled background shows; a left click picks a new one in the colour dialog.
class ColorSelector : public QWidget
{
    Q_OBJECT

public:
    explicit ColorSelector(QWidget *parent = nullptr);

signals:
    void colorChanged(QColor color);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

#endif
