// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "kicadwriter.h"

#include "arcs.h"
#include "exporterror.h"
#include "outputfile.h"
#include "patterngeometry.h"
#include "summary.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace KicadExport {

namespace {

using Shapes::Contour;
using Shapes::Layer;
using Shapes::Segment;

// KiCad keeps nanometres.
QByteArray num(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 6);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

QByteArray quoted(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c == '\n' ? ' ' : c;
    }
    return out + '"';
}

class Footprint
{
public:
    explicit Footprint(QPointF origin) : origin(origin) { }

    QByteArray xy(QPointF p) const
    {
        const QPointF q = p - origin;
        return num(q.x()) + ' ' + num(q.y());
    }

    // The middle of an arc piece, which KiCad's three-point arcs take.
    static QPointF middle(const Segment &s, double start, double sweep)
    {
        return Arcs::pointOnCircle(s.center, s.radius, start + sweep / 2);
    }

    static bool wholeCircle(const Contour &c)
    {
        return c.segments.size() == 1 && c.segments.front().kind == Segment::Kind::Arc
            && std::fabs(c.segments.front().sweepDegrees) >= 360.0 - 1e-9;
    }

    void polygon(const Contour &c, const QByteArray &layer)
    {
        text += "  (fp_poly (pts";
        QPointF at = c.start;
        if (c.segments.empty() || c.segments.front().kind == Segment::Kind::Line)
            text += " (xy " + xy(at) + ')';
        for (size_t i = 0; i < c.segments.size(); ++i) {
            const Segment &s = c.segments[i];
            if (s.kind == Segment::Kind::Line) {
                // The closing edge is KiCad's to draw.
                if (i + 1 < c.segments.size() || s.to != c.start)
                    text += " (xy " + xy(s.to) + ')';
                at = s.to;
                continue;
            }
            Arcs::forEachPiece(s.center, s.radius, s.startDegrees, s.sweepDegrees, s.to, 90.0,
                [&](double start, double sweep, QPointF to) {
                    text += "\n    (arc (start " + xy(at) + ") (mid " + xy(middle(s, start, sweep))
                        + ") (end " + xy(to) + "))";
                    at = to;
                });
        }
        text += ")\n    (layer " + layer + ") (width 0) (fill solid))\n";
    }

    // A circle, filled, or a ring as a stroke of its width.
    void circle(QPointF center, double radius, double width, bool fill, const QByteArray &layer)
    {
        text += "  (fp_circle (center " + xy(center) + ") (end " + xy(center + QPointF(radius, 0))
            + ") (layer " + layer + ") (width " + num(width) + ") (fill "
            + (fill ? "solid" : "none") + "))\n";
    }

    void line(QPointF from, QPointF to, const QByteArray &layer, double width)
    {
        text += "  (fp_line (start " + xy(from) + ") (end " + xy(to) + ") (layer " + layer
            + ") (width " + num(width) + "))\n";
    }

    // A cut contour as the lines and arcs of the board's edge.
    void edge(const Contour &c)
    {
        const QByteArray layer = "\"Edge.Cuts\"";
        if (wholeCircle(c)) {
            circle(c.segments.front().center, c.segments.front().radius, edgeWidth, false, layer);
            return;
        }
        QPointF at = c.start;
        for (const Segment &s : c.segments) {
            if (s.kind == Segment::Kind::Line) {
                line(at, s.to, layer, edgeWidth);
                at = s.to;
                continue;
            }
            Arcs::forEachPiece(s.center, s.radius, s.startDegrees, s.sweepDegrees, s.to, 90.0,
                [&](double start, double sweep, QPointF to) {
                    text += "  (fp_arc (start " + xy(at) + ") (mid " + xy(middle(s, start, sweep))
                        + ") (end " + xy(to) + ") (layer " + layer + ") (width " + num(edgeWidth)
                        + "))\n";
                    at = to;
                });
        }
        if (at != c.start)
            line(at, c.start, layer, edgeWidth);
    }

    void label(const char *kind, const QString &words, QPointF at, const QByteArray &layer)
    {
        text += QByteArray("  (fp_text ") + kind + ' ' + quoted(words) + " (at " + xy(at)
            + ") (layer " + layer + ")\n    (effects (font (size 1 1) (thickness 0.15))))\n";
    }

    static constexpr double edgeWidth = 0.05;
    QPointF origin;
    QByteArray text;
};

}

QStringList markLayers()
{
    return { QStringLiteral("F.Cu"), QStringLiteral("F.Mask"), QStringLiteral("F.SilkS"),
        QStringLiteral("B.Cu"), QStringLiteral("B.Mask"), QStringLiteral("B.SilkS") };
}

QString checkLayers(const QStringList &names, QStringList *canonical)
{
    canonical->clear();
    for (const QString &name : names) {
        const QStringList known = markLayers();
        const auto it = std::find_if(known.begin(), known.end(), [&name](const QString &k) {
            return k.compare(name.trimmed(), Qt::CaseInsensitive) == 0;
        });
        if (it == known.end())
            return QStringLiteral("--pcb-layer takes %1 or several joined by commas (F.Cu,F.Mask "
                                  "for copper marks with the solder mask opened over them), not "
                                  "\"%2\"")
                .arg(known.join(QLatin1String(", ")), name);
        if (!canonical->contains(*it))
            canonical->push_back(*it);
    }
    if (canonical->isEmpty())
        return QStringLiteral("--pcb-layer needs a layer name");
    return {};
}

static bool writeFootprintUnguarded(const EncoderSettings &settings, const QStringList &layers,
    const QString &fileName, QString *error)
{
    EncoderSettings board = settings;
    board.border = false;
    board.centerMark = false;
    board.calibration = false;
    board.sensorMarks = false;
    const PatternGeometry g = patternGeometry(board);
    const bool disc = g.shape == Shape::Disc;
    Footprint fp(disc ? g.center : g.nominal.center());
    QString name = QFileInfo(fileName).completeBaseName();
    if (name.isEmpty() || fileName == QLatin1String("-"))
        name = QStringLiteral("quvelta_encoder");

    fp.text = "(footprint " + quoted(name) + " (version 20211014) (generator quvelta)\n"
        + "  (layer \"F.Cu\")\n  (descr "
        + quoted(QStringLiteral("Quvelta encoder pattern: ") + settingsSummary(settings))
        + ")\n  (tags \"encoder codewheel optical\")\n"
        + "  (attr board_only exclude_from_pos_files exclude_from_bom)\n";
    const double bottom = disc ? g.center.y() + g.outerRadius : g.nominal.bottom();
    fp.label(
        "reference", QStringLiteral("REF**"), QPointF(fp.origin.x(), bottom + 2.5), "\"F.SilkS\"");
    fp.label("value", name, QPointF(fp.origin.x(), bottom + 4.5), "\"F.Fab\"");

    for (const Layer &layer : g.layers()) {
        if (layer.kind == Layer::Kind::Cut) {
            for (const Contour &c : layer.contours)
                fp.edge(c);
            continue;
        }
        for (const QString &boardLayer : layers) {
            const QByteArray on = quoted(boardLayer);
            for (size_t i = 0; i < layer.contours.size(); ++i) {
                const Contour &c = layer.contours[i];
                if (!Footprint::wholeCircle(c)) {
                    fp.polygon(c, on);
                    continue;
                }
                // A whole ring: the two circles of a mark with a hole, drawn as one stroke.
                const Segment &outer = c.segments.front();
                const Contour *hole = i + 1 < layer.contours.size()
                        && Footprint::wholeCircle(layer.contours[i + 1])
                        && layer.contours[i + 1].signedArea() < 0
                    ? &layer.contours[i + 1]
                    : nullptr;
                if (hole) {
                    const double inner = hole->segments.front().radius;
                    fp.circle(
                        outer.center, (outer.radius + inner) / 2, outer.radius - inner, false, on);
                    ++i;
                } else {
                    fp.circle(outer.center, outer.radius, 0, true, on);
                }
            }
        }
    }
    if (!disc) {
        const QRectF r = g.nominal;
        fp.edge(Shapes::rectangle(r.left(), r.top(), r.right(), r.bottom()));
    }

    // Where the sensors read, across the tracks they read, named.
    double from = disc ? g.outerRadius : g.nominal.bottom();
    double to = disc ? 0.0 : g.nominal.top();
    for (const PatternGeometry::Track &t : g.tracks) {
        from = std::min(from, t.from);
        to = std::max(to, t.to);
    }
    int place = 0;
    for (const PatternGeometry::Sensor &sensor : g.sensors) {
        const QByteArray fab = "\"F.Fab\"";
        if (disc) {
            fp.line(Arcs::pointOnCircle(g.center, from, sensor.at),
                Arcs::pointOnCircle(g.center, to + 1.0, sensor.at), fab, 0.1);
            fp.label("user", sensor.name, Arcs::pointOnCircle(g.center, to + 3.0, sensor.at), fab);
        } else {
            fp.line(QPointF(sensor.at, to), QPointF(sensor.at, from - 1.0), fab, 0.1);
            fp.label("user", sensor.name, QPointF(sensor.at, from - 2.0 - 1.5 * place), fab);
        }
        ++place;
    }
    fp.text += ")\n";
    return saveFile(fp.text, fileName, error);
}

bool writeFootprint(const EncoderSettings &settings, const QStringList &layers,
    const QString &fileName, QString *error)
{
    return reportingMemory(fileName, error,
        [&] { return writeFootprintUnguarded(settings, layers, fileName, error); });
}

}
