// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_COLORSELECTOR_H
#define QUVELTA_COLORSELECTOR_H

#include <QWidget>

// A colour swatch. The colour lives only in the palette's Window brush (all groups), which the
// auto-filled background shows; a left click, or Space or Enter once Tab has reached it, picks a
// new one in the colour dialog, which opens at the current colour and is titled with the
// swatch's accessible name ("Foreground colour").
class ColorSelector : public QWidget
{
    Q_OBJECT

public:
    explicit ColorSelector(QWidget *parent = nullptr);

    QColor color() const;
    // Shows `color` without the signal: a value restored, not picked.
    void setColor(const QColor &color);

signals:
    void colorChanged(QColor color);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void pick();
};

#endif
