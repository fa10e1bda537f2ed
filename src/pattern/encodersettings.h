#ifndef QUVELTA_ENCODERSETTINGS_H
#define QUVELTA_ENCODERSETTINGS_H

#include <QColor>

enum class Shape { Strip, Disc };
enum class EncoderType { Absolute, Relative };

// The bit-order button: LsbToMsb while not pressed ("LSB ---> MSB"), MsbToLsb while pressed.
enum class BitOrder { LsbToMsb, MsbToLsb };

// Everything a render reads. The defaults are the main window's start values.
struct EncoderSettings
{
    Shape shape = Shape::Strip;
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

    // Beyond the window's form. Every raster is drawn from the pattern geometry, each edge where
    // the ideal shape puts it, unless classicPixels asks for the old whole-pixel rules (only for
    // what the form alone sets).
    int positions = 0; // absolute: code steps, 2 to 65536; 0 means 2^count
    bool grayOnStrip = false; // the window draws strips in plain binary whatever grayCode says
    bool singleTrack = false; // absolute discs: one track read by several sensors
    int sensors = 0; // single track: the code with this many sensors; 0 picks the fewest
    bool quadrature = false; // relative: channels A and B a quarter period apart
    bool index = false; // relative: one index mark per turn or strip
    double indexWidthDegrees = 90; // electrical degrees, 360 to a period
    bool sensorMarks = false; // ticks outside the pattern where the sensors read
    bool classicPixels = false; // truncated whole-pixel tracks and segments, as files made before
    bool calibration = false; // rulers and a legend beside the pattern
    double markBiasMm = 0; // every mark wider by this much (narrower when negative)
    // The printer's measured scale in x and y (0.992: it prints 99.2 %); rasters and PDFs are
    // drawn 1 / scale as large so that such a printer prints them true.
    double scaleX = 1;
    double scaleY = 1;

    bool compensatesScale() const { return scaleX != 1 || scaleY != 1; }

    // Raster PDF on pages of this size (mm, either way round), split into overlapping tiles
    // where the pattern does not fit; empty: one page of the pattern's own size.
    double pdfPageWidthMm = 0;
    double pdfPageHeightMm = 0;

    // Discs: a shaft bore (0: none) with an optional flat, and mounting holes on a pitch circle.
    double boreMm = 0; // diameter
    double dFlatMm = 0; // depth of the flat, cut at 3 o'clock
    int holeCount = 0;
    double holeDiameterMm = 0;
    double holePitchMm = 0; // pitch circle diameter

    bool hasMounting() const { return boreMm > 0 || holeCount > 0; }

    // Instead of the pattern, the stationary mask (reticle) in front of its sensors: a slit per
    // sensor and track it reads, this wide (0: half the narrowest mark).
    bool mask = false;
    double maskApertureMm = 0;

    // Whether these settings are drawn by the classic whole-pixel painters.
    bool drawsClassicPixels() const { return classicPixels && onlyFormSettings(); }

    // Whether nothing beyond the window's form is set: what the classic painters can draw.
    bool onlyFormSettings() const
    {
        return positions == 0 && !grayOnStrip && !singleTrack && !quadrature && !index
            && !sensorMarks && !calibration && markBiasMm == 0 && !compensatesScale()
            && !hasMounting() && !mask;
    }
};

#endif
