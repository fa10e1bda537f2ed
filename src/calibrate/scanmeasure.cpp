// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "scanmeasure.h"

#include "units.h"

#include <QImageReader>
#include <QLineF>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

// Hand-made image analysis: the few steps it takes (threshold, connected blobs, a four-point
// homography, weighted centroids and a line fit) are each a handful of lines, and no image
// library the project already uses does them.

namespace ScanMeasure {

namespace {

constexpr double pi = 3.14159265358979323846;

// The scan in grey, 0 black to 255 white, sampled in scan millimetres.
class Grey
{
public:
    Grey(const QImage &image, QPointF dpi)
        : width(image.width()), height(image.height()), perMm(dpi / Units::mmPerInch)
    {
        const QImage g = image.convertToFormat(QImage::Format_Grayscale8);
        pixels.resize(size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y)
            std::copy_n(g.constScanLine(y), width, pixels.begin() + ptrdiff_t(y) * width);
    }

    int at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }

    // Bilinear between pixel centres, at a point in scan millimetres; paper white outside.
    double sample(QPointF mm) const
    {
        const double x = mm.x() * perMm.x() - 0.5, y = mm.y() * perMm.y() - 0.5;
        const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
        if (x0 < 0 || y0 < 0 || x0 + 1 >= width || y0 + 1 >= height)
            return 255;
        const double fx = x - x0, fy = y - y0;
        const double top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
        const double bottom = at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx;
        return top * (1 - fy) + bottom * fy;
    }

    QPointF toMm(QPointF px) const { return { px.x() / perMm.x(), px.y() / perMm.y() }; }

    int width, height;
    QPointF perMm;
    std::vector<uint8_t> pixels;
};

struct Blob
{
    qint64 area = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The connected (8-neighbour) regions darker than `threshold`, as area and box.
std::vector<Blob> blobs(const Grey &g, int threshold)
{
    std::vector<uint8_t> seen(g.pixels.size(), 0);
    std::vector<int> stack;
    std::vector<Blob> found;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const size_t i = size_t(y) * size_t(g.width) + size_t(x);
            if (seen[i] || g.pixels[i] >= threshold)
                continue;
            Blob b { 0, x, y, x, y };
            seen[i] = 1;
            stack.assign(1, int(i));
            while (!stack.empty()) {
                const int j = stack.back();
                stack.pop_back();
                const int px = j % g.width, py = j / g.width;
                ++b.area;
                b.left = std::min(b.left, px);
                b.right = std::max(b.right, px);
                b.top = std::min(b.top, py);
                b.bottom = std::max(b.bottom, py);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = px + dx, ny = py + dy;
                        if (nx < 0 || ny < 0 || nx >= g.width || ny >= g.height)
                            continue;
                        const size_t k = size_t(ny) * size_t(g.width) + size_t(nx);
                        if (!seen[k] && g.pixels[k] < threshold) {
                            seen[k] = 1;
                            stack.push_back(int(k));
                        }
                    }
            }
            found.push_back(b);
        }
    }
    return found;
}

// The grey level below which `fraction` of the pixels lie.
int percentile(const Grey &g, double fraction)
{
    std::array<qint64, 256> histogram {};
    for (uint8_t v : g.pixels)
        ++histogram[v];
    const qint64 wanted = qint64(fraction * double(g.pixels.size()));
    qint64 sum = 0;
    for (int v = 0; v < 256; ++v) {
        sum += histogram[size_t(v)];
        if (sum > wanted)
            return v;
    }
    return 255;
}

// Solves the n x n system a x = b in place by Gaussian elimination with partial pivoting.
bool solve(std::vector<std::vector<double>> a, std::vector<double> b, std::vector<double> *x)
{
    const size_t n = b.size();
    for (size_t c = 0; c < n; ++c) {
        size_t pivot = c;
        for (size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c]))
                pivot = r;
        if (std::fabs(a[pivot][c]) < 1e-12)
            return false;
        std::swap(a[c], a[pivot]);
        std::swap(b[c], b[pivot]);
        for (size_t r = c + 1; r < n; ++r) {
            const double f = a[r][c] / a[c][c];
            for (size_t k = c; k < n; ++k)
                a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    x->assign(n, 0);
    for (size_t r = n; r-- > 0;) {
        double s = b[r];
        for (size_t k = r + 1; k < n; ++k)
            s -= a[r][k] * (*x)[k];
        (*x)[r] = s / a[r][r];
    }
    return true;
}

// The homography that takes the four points `from` to `to`.
std::optional<QTransform> homography(
    const std::array<QPointF, 4> &from, const std::array<QPointF, 4> &to)
{
    std::vector<std::vector<double>> a;
    std::vector<double> b;
    for (size_t i = 0; i < 4; ++i) {
        const double x = from[i].x(), y = from[i].y(), u = to[i].x(), v = to[i].y();
        a.push_back({ x, y, 1, 0, 0, 0, -u * x, -u * y });
        b.push_back(u);
        a.push_back({ 0, 0, 0, x, y, 1, -v * x, -v * y });
        b.push_back(v);
    }
    std::vector<double> h;
    if (!solve(a, b, &h))
        return std::nullopt;
    // QTransform's matrix is the transpose: m11 m12 m13 is the first column.
    return QTransform(h[0], h[3], h[6], h[1], h[4], h[7], h[2], h[5], 1);
}

// The target's four corner marks in the scan, in scan millimetres, top left (the one with the
// hole) first and then round the page; none when four are not found.
std::optional<std::array<QPointF, 4>> cornerMarks(const Grey &g, QString *why)
{
    const int ink = percentile(g, 0.001), paper = percentile(g, 0.99);
    if (paper - ink < 40) {
        *why = QStringLiteral("the scan has no contrast (grey %1 to %2)").arg(ink).arg(paper);
        return std::nullopt;
    }
    const int threshold = (ink + paper) / 2;
    // Square, solid, and the largest such: text and bars are thin or small.
    std::vector<Blob> squares;
    for (const Blob &b : blobs(g, threshold)) {
        const double w = b.right - b.left + 1, h = b.bottom - b.top + 1;
        if (b.area < 30 || std::max(w, h) > 1.4 * std::min(w, h) || b.area < 0.5 * w * h)
            continue;
        squares.push_back(b);
    }
    std::sort(squares.begin(), squares.end(),
        [](const Blob &a, const Blob &b) { return a.area > b.area; });
    if (squares.size() < 4 || squares[3].area < squares[0].area / 2) {
        *why = QStringLiteral("the four corner marks of a calibration target were not found");
        return std::nullopt;
    }
    std::array<QPointF, 4> marks;
    int holes = 0, hole = 0;
    for (size_t i = 0; i < 4; ++i) {
        // The ink-weighted centre: blur and ink spread move every edge alike and leave it.
        const Blob &b = squares[i];
        const int grow = (b.right - b.left) / 4;
        double sum = 0, sx = 0, sy = 0;
        for (int y = std::max(0, b.top - grow); y <= std::min(g.height - 1, b.bottom + grow); ++y)
            for (int x = std::max(0, b.left - grow); x <= std::min(g.width - 1, b.right + grow);
                 ++x) {
                const double w = std::clamp(double(paper - g.at(x, y)) / (paper - ink), 0.0, 1.0);
                sum += w;
                sx += w * (x + 0.5);
                sy += w * (y + 0.5);
            }
        const QPointF center(sx / sum, sy / sum);
        marks[i] = g.toMm(center);
        if (g.at(int(center.x()), int(center.y())) >= threshold) {
            ++holes;
            hole = int(i);
        }
    }
    if (holes != 1) {
        *why = QStringLiteral("the top-left corner mark (the one with a hole) was not found");
        return std::nullopt;
    }
    // Round the page in the scan's sense, which is the page's: a scan does not mirror.
    const QPointF mean = (marks[0] + marks[1] + marks[2] + marks[3]) / 4;
    const QPointF first = marks[size_t(hole)];
    const auto angle = [&](QPointF p) {
        const double a = std::atan2(p.y() - mean.y(), p.x() - mean.x())
            - std::atan2(first.y() - mean.y(), first.x() - mean.x());
        return a < -1e-9 ? a + 2 * pi : a;
    };
    std::sort(
        marks.begin(), marks.end(), [&](QPointF a, QPointF b) { return angle(a) < angle(b); });
    return marks;
}

// The least-squares line p_i = a + i b through points at whole indices; b and the RMS distance.
std::pair<QPointF, double> fitLine(const std::vector<std::pair<int, QPointF>> &points)
{
    double n = 0, si = 0, sii = 0;
    QPointF sp, sip;
    for (const auto &[i, p] : points) {
        n += 1;
        si += i;
        sii += double(i) * i;
        sp += p;
        sip += double(i) * p;
    }
    const double d = n * sii - si * si;
    const QPointF b = (n * sip - si * sp) / d;
    const QPointF a = (sp - si * b) / n;
    double squares = 0;
    for (const auto &[i, p] : points) {
        const QPointF r = p - a - double(i) * b;
        squares += QPointF::dotProduct(r, r);
    }
    return { b, std::sqrt(squares / n) };
}

class Measurer
{
public:
    Measurer(const Grey &g, const QTransform &pageToScan, double paper, double ink)
        : g(g), toScan(pageToScan), toPage(pageToScan.inverted()), paper(paper), ink(ink)
    {
        step = 0.4 / std::max(g.perMm.x(), g.perMm.y()) / scaleOf(QPointF(1, 0));
    }

    // Scan millimetres per page millimetre along the page direction `d` at the page's middle.
    double scaleOf(QPointF d) const
    {
        const QPointF c = toPage.map(QPointF(g.width / g.perMm.x(), g.height / g.perMm.y()) / 2);
        return QLineF(toScan.map(c), toScan.map(c + d)).length();
    }

    // The ink-weighted centre (in the scan) of a tick at page point `c` of `ruler`.
    std::optional<QPointF> tick(const PrintTarget::Ruler &ruler, QPointF c, double shortTick) const
    {
        const QPointF d = ruler.direction, a = ruler.across;
        QPointF center = c;
        QPointF found;
        for (int pass = 0; pass < 3; ++pass) {
            double sum = 0;
            QPointF moment;
            int samples = 0;
            for (double v = 0.2 * shortTick; v <= 0.8 * shortTick; v += step)
                for (double u = -0.45; u <= 0.45; u += step) {
                    const QPointF at = toScan.map(center + u * d + v * a);
                    const double w = std::clamp((paper - g.sample(at)) / (paper - ink), 0.0, 1.0);
                    sum += w;
                    moment += w * at;
                    ++samples;
                }
            // A tick covers about a fifth of its window; much less is no tick.
            if (samples == 0 || sum < 0.05 * samples)
                return std::nullopt;
            found = moment / sum;
            center += QPointF::dotProduct(toPage.map(found) - center, d) * d;
        }
        return found;
    }

    // The width of a bar (or a slit's) in page millimetres: its ink (or its paper) summed
    // across it, averaged down its middle, with the paper and ink levels given.
    double width(const PrintTarget::Patch &p, double half, double paperLevel, double inkLevel) const
    {
        double total = 0;
        int rows = 0;
        for (double v = -p.heightMm / 2 + 1.5; v <= p.heightMm / 2 - 1.5; v += 4 * step, ++rows)
            for (double u = -half; u <= half; u += step) {
                const double w = (paperLevel - g.sample(toScan.map(p.center + QPointF(u, v))))
                    / (paperLevel - inkLevel);
                total += (p.mark ? w : 1 - w) * step;
            }
        return rows ? total / rows : 0;
    }

    // The mean grey over |u| in [from, to] across a patch's middle.
    double level(const PrintTarget::Patch &p, double from, double to) const
    {
        double sum = 0;
        int n = 0;
        for (double v = -p.heightMm / 2 + 1.5; v <= p.heightMm / 2 - 1.5; v += 2 * step)
            for (double u = from; u <= to; u += step)
                for (double side : { -1.0, 1.0 }) {
                    sum += g.sample(toScan.map(p.center + QPointF(side * u, v)));
                    ++n;
                }
        return n ? sum / n : 0;
    }

    const Grey &g;
    QTransform toScan, toPage;
    double paper, ink;
    double step = 0.05;
};

}

std::optional<QPointF> statedDpi(const QImage &image)
{
    const QPointF dpi(image.dotsPerMeterX() * 0.0254, image.dotsPerMeterY() * 0.0254);
    // Qt gives images without a resolution 96 dpi (3780 dots per metre); no scan is at 96.
    if (image.dotsPerMeterX() <= 0 || image.dotsPerMeterY() <= 0
        || (image.dotsPerMeterX() == 3780 && image.dotsPerMeterY() == 3780))
        return std::nullopt;
    // PNG keeps whole dots per metre, 0.008 % off a whole DPI at 150; scanners scan at whole DPI.
    const auto whole
        = [](double d) { return std::fabs(d - std::round(d)) < 1e-4 * d ? std::round(d) : d; };
    return QPointF(whole(dpi.x()), whole(dpi.y()));
}

std::optional<Reading> measure(
    const QImage &scan, QPointF dpi, const std::vector<PrintTarget::Page> &pages, QString *why)
{
    if (scan.isNull()) {
        *why = QStringLiteral("the scan is empty");
        return std::nullopt;
    }
    const Grey g(scan, dpi);
    const std::optional<std::array<QPointF, 4>> marks = cornerMarks(g, why);
    if (!marks)
        return std::nullopt;
    const std::array<QPointF, 4> &m = *marks;

    // The page whose corner marks lie as far apart as these.
    const double across = (QLineF(m[0], m[1]).length() + QLineF(m[3], m[2]).length()) / 2;
    const double down = (QLineF(m[0], m[3]).length() + QLineF(m[1], m[2]).length()) / 2;
    std::optional<PrintTarget::Layout> target;
    double best = 0.08;
    for (const PrintTarget::Page &page : pages) {
        PrintTarget::Layout t = PrintTarget::layout(page);
        const double off = std::max(std::fabs(across / (t.corners[1].x() - t.corners[0].x()) - 1),
            std::fabs(down / (t.corners[3].y() - t.corners[0].y()) - 1));
        if (off < best) {
            best = off;
            target = std::move(t);
        }
    }
    if (!target) {
        *why = QStringLiteral("the corner marks are %1 x %2 mm apart at %3 dpi, which fits no "
                              "target page (give --page, or --scan-dpi if the scan's resolution "
                              "is wrong)")
                   .arg(across, 0, 'f', 1)
                   .arg(down, 0, 'f', 1)
                   .arg(dpi.x(), 0, 'g', 5);
        return std::nullopt;
    }
    const std::optional<QTransform> pageToScan = homography(target->corners, m);
    if (!pageToScan) {
        *why = QStringLiteral("the corner marks lie in a line");
        return std::nullopt;
    }

    Reading r;
    r.target = *target;
    r.dpi = dpi;
    const QTransform &h = *pageToScan;

    // A perspective's share of the homography, taken out about the page's middle so that the
    // scale there stays the scan's: a flat scan has none.
    const QPointF middle
        = h.map(QPointF(target->page.sizeMm.width(), target->page.sizeMm.height()) / 2);
    QTransform centred = QTransform::fromTranslate(middle.x(), middle.y()) * h.inverted();
    centred = QTransform(centred.m11() / centred.m33(), centred.m12() / centred.m33(),
        centred.m13() / centred.m33(), centred.m21() / centred.m33(), centred.m22() / centred.m33(),
        centred.m23() / centred.m33(), centred.m31() / centred.m33(), centred.m32() / centred.m33(),
        1);
    const QPointF v(centred.m13(), centred.m23());
    const auto straighten = [&](QPointF p) {
        const QPointF q = p - middle;
        return q / (v.x() * q.x() + v.y() * q.y() + 1);
    };
    for (const QPointF &corner : m) {
        const QPointF q = corner - middle;
        r.keystone = std::max(r.keystone, std::fabs(v.x() * q.x() + v.y() * q.y()));
    }

    // Levels from the patches: paper beside the bars, ink in the blocks round the slits.
    const std::vector<PrintTarget::Patch> &patches = target->patches;
    const size_t n = patches.size() / 2;
    Measurer probe(g, h, 255, 0);
    std::vector<double> paperLevels, inkLevels;
    for (size_t i = 0; i < n; ++i) {
        const double w = patches[i].widthMm / 2;
        paperLevels.push_back(probe.level(patches[i], w + 1.6, w + 2.1));
        inkLevels.push_back(probe.level(patches[n + i], w + 0.6, w + 1.4));
    }
    std::vector<double> sortedPaper = paperLevels, sortedInk = inkLevels;
    std::sort(sortedPaper.begin(), sortedPaper.end());
    std::sort(sortedInk.begin(), sortedInk.end());
    const double paper = sortedPaper[n / 2], ink = sortedInk[n / 2];
    if (paper - ink < 30) {
        *why = QStringLiteral("the target's ink and paper are too alike in the scan");
        return std::nullopt;
    }
    const Measurer measurer(g, h, paper, ink);

    const auto readRuler = [&](const PrintTarget::Ruler &ruler, RulerReading *out) {
        std::vector<std::pair<int, QPointF>> centres;
        for (int i = 0; i <= ruler.lengthMm; ++i)
            if (const auto c
                = measurer.tick(ruler, ruler.start + i * ruler.direction, target->shortTickMm))
                centres.push_back({ i, straighten(*c) });
        out->ticks = int(centres.size());
        if (centres.size() < size_t(ruler.lengthMm * 3 / 4 + 1))
            return false;
        const auto [b, rms] = fitLine(centres);
        out->scale = std::hypot(b.x(), b.y());
        out->angleDegrees = std::atan2(b.y(), b.x()) * 180 / pi;
        out->rmsMm = rms;
        return true;
    };
    const std::pair<const PrintTarget::Ruler *, RulerReading *> rulers[]
        = { { &target->across, &r.across }, { &target->down, &r.down },
              { &target->diagonalDown, &r.diagonalDown }, { &target->diagonalUp, &r.diagonalUp } };
    for (const auto &[ruler, out] : rulers)
        if (!readRuler(*ruler, out)) {
            *why = QStringLiteral("only %1 of the %2 ticks of a ruler were found")
                       .arg(out->ticks)
                       .arg(ruler->lengthMm + 1);
            return std::nullopt;
        }
    double square = r.down.angleDegrees - r.across.angleDegrees;
    while (square > 180)
        square -= 360;
    while (square < -180)
        square += 360;
    r.squareDegrees = square - 90;
    const double a = r.across.angleDegrees;
    r.turned = std::fabs(std::sin(a * pi / 180)) > std::fabs(std::cos(a * pi / 180));
    r.tiltDegrees = std::remainder(a, 90.0);

    // Bars widen by the spread, slits narrow by it; thin ones may not print at all.
    double spread = 0;
    int used = 0;
    for (size_t i = 0; i < patches.size(); ++i) {
        const PrintTarget::Patch &p = patches[i];
        const size_t k = i % n;
        const double w = p.widthMm / 2;
        const double page
            = measurer.width(p, p.mark ? w + 1.6 : w + 1.4, paperLevels[k], inkLevels[k]);
        const double printed = page * r.across.scale;
        r.patches.push_back({ p.widthMm, p.mark, printed });
        if (p.widthMm >= 0.2 - 1e-9) {
            spread += (printed - p.widthMm * r.across.scale) * (p.mark ? 1 : -1);
            ++used;
        }
    }
    r.spreadMm = used ? spread / used : 0;
    return r;
}

std::optional<Reading> measureFile(
    const QString &fileName, double dpi, const std::vector<PrintTarget::Page> &pages, QString *why)
{
    // Qt refuses images over 128 MB by default; an A4 scan at 600 dpi in colour is 140 MB.
    if (QImageReader::allocationLimit() > 0)
        QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), 2048));
    QImageReader reader(fileName);
    const QImage scan = reader.read();
    if (scan.isNull()) {
        *why = QStringLiteral("Can't read %1: %2").arg(fileName, reader.errorString());
        return std::nullopt;
    }
    const std::optional<QPointF> resolution
        = dpi > 0 ? std::optional(QPointF(dpi, dpi)) : statedDpi(scan);
    if (!resolution) {
        *why = QStringLiteral("%1 states no resolution; give the scan's with --scan-dpi N")
                   .arg(fileName);
        return std::nullopt;
    }
    std::optional<Reading> reading = measure(scan, *resolution, pages, why);
    if (!reading)
        *why = QStringLiteral("%1: %2").arg(fileName, *why);
    return reading;
}

}
