// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_PRINTTARGET_H
#define QUVELTA_PRINTTARGET_H

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class QPainter;

// The calibration target: one page that shows what a printer does to sizes. Rulers of 1 mm ticks
// across and down, two 45 degree rulers, bars and slits from 0.05 to 1 mm for the ink spread,
// and four corner marks that find the page in a scan (the top-left one has a hole). Millimetres,
// page coordinates, y down.
namespace PrintTarget {

struct Page
{
    QString name; // "A4", "Letter", "A3" or "120 x 150 mm"
    QString word; // as --page takes it: "a4", "letter", "a3", "120x150"
    QSizeF sizeMm;
};

// a4, letter, a3 or WxH in mm (e.g. 120x150), case-insensitive; none when the word is none of
// these or the page is smaller than `least` (a target's by default; reason in *why).
std::optional<Page> pageOfWord(
    const QString &word, QString *why = nullptr, QSizeF least = QSizeF(140, 200));
// The pages a scan is matched against when none is given.
std::vector<Page> knownPages();

// A row of 1 mm ticks: tick i is centred on start + i * direction and reaches `across` from it.
struct Ruler
{
    QPointF start;
    QPointF direction; // unit vector along the ruler
    QPointF across; // unit vector along the ticks
    int lengthMm = 0;
};

// A bar (a mark on paper) or a slit (a gap in ink), centred on `center`, upright.
struct Patch
{
    double widthMm = 0;
    bool mark = true;
    QPointF center;
    double heightMm = 0;
};

struct Layout
{
    Page page;
    double markSizeMm = 0; // side of a corner mark
    double holeSizeMm = 0; // side of the hole in the top-left one
    std::array<QPointF, 4> corners; // centres: top left, top right, bottom right, bottom left
    Ruler across, down, diagonalDown, diagonalUp;
    double tickWidthMm = 0;
    double shortTickMm = 0; // every tick is at least this long
    std::vector<Patch> patches; // the row of marks, then the row of slits below it
    double slitBlockMm = 0; // ink each side of a slit
    QStringList text; // what the page says, as lines
    QPointF textOrigin; // baseline of the first line
    double textSizeMm = 0; // em of the text
    double lineHeightMm = 0;
    QPainterPath ink; // everything printed, text in glyph outlines, non-zero fill
    QPainterPath shapes; // the marks, rulers and patches: the ink without the text
    QPainterPath lettering; // the text
    QPointF printerScale { 1, 1 }; // the printer scale the ink is drawn 1/F as large for
};

// The widths of the bars and slits.
std::vector<double> patchWidths();

// The target for this page. Text needs a QGuiApplication. With a printer scale (x and y) the
// page is drawn 1/F as large about its middle and says so: printed by that printer it measures
// true, which checks a profile.
Layout layout(const Page &page, QPointF printerScale = QPointF(1, 1));

// Draws the target in a painter whose units are millimetres.
void draw(QPainter &painter, const Layout &layout);

// The page at `dpi`, 8-bit grey, antialiased, carrying its resolution.
QImage render(const Layout &layout, int dpi);

// Writes the target: a vector PDF page of the page's size, or an image at `dpi` in any format
// the export writes (by the file name's suffix). Nothing is left behind on failure.
bool write(const Layout &layout, const QString &fileName, int dpi, QString *error);

}

#endif
