#ifndef QUVELTA_ENCODERSETTINGS_H
#define QUVELTA_ENCODERSETTINGS_H

#include <QColor>

enum class Shape { Bar, Disc };
enum class EncoderType { Absolute, Relative };

// The bit-order button: LsbToMsb while not pressed ("LSB ---> MSB"), MsbToLsb while pressed.
enum class BitOrder { LsbToMsb, MsbToLsb };

// Everything a render reads. The defaults are the main window's start values.
struct EncoderSettings
{
    Shape shape = Shape::Bar;
    EncoderType type = EncoderType::Absolute;
    bool grayCode = true; // only consulted for an absolute disc
    BitOrder bitOrder = BitOrder::LsbToMsb;
    int count = 4; // bits of an absolute pattern, pairs of a relative one

    int widthMm = 100;
    int heightMm = 20;
    int outerRadiusMm = 20;
    int innerRadiusMm = 0;

    bool border = true;
    double borderWidthMm = 0.1;
    bool centerMark = true;
    int dpi = 600;

    QColor foreground = Qt::black;
    QColor background = Qt::white;
};

#endif
