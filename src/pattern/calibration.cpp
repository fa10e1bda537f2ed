// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "calibration.h"

#include "summary.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace CalibrationText {

// The rulers' and the legend's font at 100 px to the em; fonts need a QGuiApplication.
QFont font()
{
    // The program's own copy, so the text does not depend on the fonts installed.
    static const int shipped
        = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/DejaVuSans.ttf"));
    Q_UNUSED(shipped);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(100);
    font.setHintingPreference(QFont::PreferNoHinting); // the design's outlines, not the system's
    return font;
}

// What `make` gives for `text`, kept in `cache` under `mutex`: each page layout (the image's
// size, its offset, the pattern) sets the same rulers' numbers and legend again, and the font
// engine's shaping was a sixth of a small calibrated render.
template<typename T, typename Make>
T kept(QHash<QString, T> &cache, QMutex &mutex, const QString &text, Make make)
{
    const QMutexLocker locker(&mutex);
    const auto found = cache.constFind(text);
    if (found != cache.constEnd())
        return *found;
    if (cache.size() >= 512) // a long session's legends
        cache.clear();
    return *cache.insert(text, make());
}

double width(const QString &text, double size)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return 0;
    static QMutex mutex;
    static QHash<QString, double> advances; // at 100 px to the em
    return kept(
               advances, mutex, text, [&] { return QFontMetricsF(font()).horizontalAdvance(text); })
        * size / 100.0;
}

QStringList wrapped(const QStringList &parts, double size, double maxWidth)
{
    QStringList lines;
    for (const QString &part : parts) {
        QString line;
        for (const QString &word : part.split(QLatin1Char(' '))) {
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && width(longer, size) > maxWidth) {
                lines << line;
                line = word;
            } else {
                line = longer;
            }
        }
        lines << line;
    }
    return lines;
}

}

namespace {

using CalibrationText::wrapped;

constexpr double gap = 3.0; // between the pattern and a ruler
constexpr double lineWidth = 0.2; // ticks and baselines
constexpr double numberSize = 2.8; // em of the numbers
constexpr double legendSize = 3.2; // em of the legend: 9 px at 72 dpi
constexpr double minimumLength = 50.0;

double tickLength(int mm)
{
    return mm % 10 == 0 ? 4.5 : mm % 5 == 0 ? 3.0 : 2.0;
}

// A text's outline at 100 px to the em, kept as its width is.
QPainterPath textPath(const QString &text)
{
    static QMutex mutex;
    static QHash<QString, QPainterPath> paths;
    return CalibrationText::kept(paths, mutex, text, [&] {
        QPainterPath path;
        path.addText(0, 0, CalibrationText::font(), text);
        return path;
    });
}

// Text as glyph outlines through Qt's font engine, `size` mm to the em, its baseline starting
// at `origin`. Its width goes to *width.
std::vector<Shapes::Contour> textOutlines(
    const QString &text, double size, QPointF origin, double *width)
{
    std::vector<Shapes::Contour> contours;
    *width = CalibrationText::width(text, size);
    if (*width == 0)
        return contours;
    const double scale = size / 100.0;
    const QPainterPath path = textPath(text);
    const QTransform transform
        = QTransform::fromScale(scale, scale) * QTransform::fromTranslate(origin.x(), origin.y());
    for (const QPolygonF &polygon : path.toSubpathPolygons(transform)) {
        if (polygon.size() < 3)
            continue;
        Shapes::Contour c;
        c.start = polygon.front();
        for (int i = 1; i < polygon.size(); ++i)
            if (polygon[i] != polygon[i - 1])
                c.lineTo(polygon[i]);
        contours.push_back(c);
    }
    return contours;
}

void append(std::vector<Shapes::Contour> &to, const std::vector<Shapes::Contour> &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

}

QStringList calibrationLegend(const EncoderSettings &settings, int horizontalMm, int verticalMm)
{
    return { QStringLiteral("Quvelta: %1.").arg(settingsSummary(settings)),
        QStringLiteral("Print at 100 % (actual size), not fitted to the page."),
        QStringLiteral("The rulers must measure %1 mm across and %2 mm down.")
            .arg(horizontalMm)
            .arg(verticalMm) };
}

Calibration calibration(
    const EncoderSettings &settings, QRectF box, QRectF nominal, bool withOutlines)
{
    Calibration c;
    // Without outlines, only the text's widths: the room alone, asked for far more often.
    const auto outlines
        = [withOutlines](const QString &text, double size, QPointF origin, double *width) {
              if (withOutlines)
                  return textOutlines(text, size, origin, width);
              *width = CalibrationText::width(text, size);
              return std::vector<Shapes::Contour>();
          };
    c.horizontalLength = int(std::max(minimumLength, std::floor(nominal.width() + 1e-9)));
    c.verticalLength = int(std::max(minimumLength, std::floor(nominal.height() + 1e-9)));
    const double half = lineWidth / 2;
    double right = box.right();
    double bottom = box.bottom();

    // Below: ticks hang from the baseline, numbered every 10 mm; 0 is the pattern's left edge.
    const double y0 = box.bottom() + gap;
    c.horizontalBaseline = y0;
    c.ruler.push_back(Shapes::rectangle(
        nominal.left() - half, y0 - lineWidth, nominal.left() + c.horizontalLength + half, y0));
    for (int mm = 0; mm <= c.horizontalLength; ++mm) {
        const double x = nominal.left() + mm;
        c.ruler.push_back(Shapes::rectangle(x - half, y0, x + half, y0 + tickLength(mm)));
        if (mm % 10 == 0) {
            const QString label = QString::number(mm);
            const double w = CalibrationText::width(label, numberSize);
            double ignored = 0;
            append(c.ruler,
                outlines(
                    label, numberSize, QPointF(x - w / 2, y0 + 5.0 + numberSize * 0.75), &ignored));
            right = std::max(right, x + w / 2);
        }
    }
    right = std::max(right, nominal.left() + c.horizontalLength + half);

    // Right: ticks reach out from the baseline, numbered every 10 mm; 0 is the pattern's top.
    // It keeps clear of the horizontal ruler where that one is longer than the pattern.
    const double x0 = std::max(box.right(), nominal.left() + c.horizontalLength + 2.0) + gap;
    c.verticalBaseline = x0;
    c.ruler.push_back(Shapes::rectangle(
        x0 - lineWidth, nominal.top() - half, x0, nominal.top() + c.verticalLength + half));
    for (int mm = 0; mm <= c.verticalLength; ++mm) {
        const double y = nominal.top() + mm;
        c.ruler.push_back(Shapes::rectangle(x0, y - half, x0 + tickLength(mm), y + half));
        if (mm % 10 == 0) {
            double w = 0;
            append(c.ruler,
                outlines(
                    QString::number(mm), numberSize, QPointF(x0 + 5.5, y + numberSize * 0.36), &w));
            right = std::max(right, x0 + 5.5 + w);
        }
    }
    right = std::max(right, x0 + tickLength(0));
    bottom = std::max(bottom, nominal.top() + c.verticalLength + half);

    // The legend runs under the numbers of the horizontal ruler, left of the vertical one.
    c.textSize = legendSize;
    double baseline = y0 + 5.0 + numberSize + 1.5 + legendSize * 0.8;
    const bool belowVertical = baseline - legendSize > nominal.top() + c.verticalLength + 1.0;
    const double width = (belowVertical ? right : x0 - 2.0) - box.left();
    c.legendLines = wrapped(
        calibrationLegend(settings, c.horizontalLength, c.verticalLength), legendSize, width);
    for (const QString &line : c.legendLines) {
        double w = 0;
        c.legendBaselines.push_back(QPointF(box.left(), baseline));
        append(c.legend, outlines(line, legendSize, c.legendBaselines.back(), &w));
        right = std::max(right, box.left() + w);
        baseline += legendSize * 1.3;
    }
    bottom = std::max(bottom, baseline - legendSize * 1.3 + legendSize * 0.25);

    c.extra = QSizeF(right + 1.0 - box.right(), bottom + 1.0 - box.bottom());
    return c;
}
