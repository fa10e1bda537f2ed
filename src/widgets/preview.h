// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PREVIEW_H
#define QUVELTA_PREVIEW_H

#include <QImage>
#include <QWidget>

#include <optional>

// Shows the last rendered pattern shrunk to fit, centred, on the pattern's background colour.
// It keeps its own small copy, so painting never touches the full-size image.
class Preview : public QWidget
{
public:
    explicit Preview(QWidget *parent = nullptr);

    // Makes the fitted copy and repaints at once. A null pointer is ignored.
    void setImage(const QImage *image);

    // The copy of `image` that fits `area` (logical pixels) on a screen of `ratio`, and where
    // it goes: made on any thread, shown by setFitted.
    struct Fitted
    {
        QImage image;
        QPoint offset;
    };
    static Fitted fit(const QImage &image, QSize area, qreal ratio);
    void setFitted(Fitted fitted);
    void setBackgroundColor(const QColor &color);

    // The copy on screen and its top-left corner; empty until the first image arrives.
    const QImage *scaledCopy() const { return scaledImage ? &*scaledImage : nullptr; }
    QPoint offset() const { return QPoint(offsetX, offsetY); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<QImage> scaledImage;
    int offsetX = 0;
    int offsetY = 0;
};

#endif
