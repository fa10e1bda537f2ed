// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "fabrication.h"
#include "loadedlibrary.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "testsupport.h"

#include <algorithm>
#include <array>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <map>

// Parts to cut: the pieces that fall out and the bridges that hold them, the kerf's offsets
// against their areas worked by hand, strip holes, the refusals, and the DXF as ezdxf reads it.
class TestCut : public QObject
{
    Q_OBJECT

private slots:
    void piecesAndBridges_data();
    void piecesAndBridges();
    void bridgesOffRefuses();
    void kerfRectangle_data();
    void kerfRectangle();
    void kerfAnnulus_data();
    void kerfAnnulus();
    void stripHoles();
    void refused_data();
    void refused();
    void dxfIsOnePiece_data();
    void dxfIsOnePiece();
    void solidIsClosed_data();
    void solidIsClosed();
    void threeMfHoldsTheMesh();
    void librariesLoadedWhenNeeded_data();
    void librariesLoadedWhenNeeded();
    void slicerTakesIt_data();
    void slicerTakesIt();

private:
    QTemporaryDir dir;
};

namespace {

QStringList words(const QString &text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The settings a cutting command line gives (a vector output: images refuse --cut); a command
// line that does not parse throws the test off at once.
EncoderSettings cutSettings(const QString &arguments)
{
    const ParseResult parsed = parseRenderArguments(QStringList { QStringLiteral("quvelta-render") }
        << words(arguments) << QStringLiteral("-o") << QStringLiteral("x.dxf"));
    if (parsed.status != ParseResult::Status::Run)
        qFatal("%s", qPrintable(parsed.text));
    return parsed.job.settings;
}

// The cut contours' areas, largest first, as positive numbers.
std::vector<double> areas(const Fabrication::Part &part)
{
    std::vector<double> result;
    for (const Shapes::Contour &c : part.cut)
        result.push_back(std::fabs(c.signedArea()));
    std::sort(result.rbegin(), result.rend());
    return result;
}

}

void TestCut::piecesAndBridges_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("piecesAsDrawn");

    // Pieces at least 0.3 mm wide when the marks are cut out of the pattern as it is drawn,
    // the rim only the border line wide: counted apart from this program (15, 63, 90, 19 and 35
    // pieces fall out, the rest holds).
    QTest::newRow("6-bit Gray disc") << QStringLiteral("--shape disc --bits 6") << 16;
    QTest::newRow("8-bit Gray disc") << QStringLiteral("--shape disc --bits 8") << 64;
    QTest::newRow("360-position Gray disc") << QStringLiteral("--shape disc --positions 360") << 91;
    QTest::newRow("9 x 360 single track")
        << QStringLiteral("--shape disc --code single-track --positions 360 --sensors 9") << 20;
    QTest::newRow("36-pair relative disc")
        << QStringLiteral("--shape disc --type relative --pairs 36") << 36;
}

void TestCut::piecesAndBridges()
{
    QFETCH(QString, arguments);
    QFETCH(int, piecesAsDrawn);

    EncoderSettings drawn = cutSettings(arguments + " --cut marks --bridge 0");
    drawn.rimMm = drawn.borderWidthMm;
    const Fabrication::Part before = Fabrication::cutPart(drawn);
    QCOMPARE(before.piecesBefore, piecesAsDrawn);
    QVERIFY(!before.problem.isEmpty());

    // With a rim and the bridges: nothing falls out, one piece.
    for (const char *cut : { "marks", "gaps" }) {
        const Fabrication::Part after
            = Fabrication::cutPart(cutSettings(arguments + " --cut " + cut));
        QVERIFY2(after.problem.isEmpty(), qPrintable(after.problem));
        QCOMPARE(after.pieces, 1);
        QCOMPARE(after.bridges.size(), after.islands.size());
        for (const Fabrication::Bridge &b : after.bridges)
            QCOMPARE(b.width, 0.5);
    }
}

void TestCut::bridgesOffRefuses()
{
    // The 360-position disc's two innermost loose pieces: refused with status 2, named, and no
    // file.
    const QString file = dir.filePath(QStringLiteral("refused.dxf"));
    const Run run
        = runRender(words("--shape disc --positions 360 --cut marks --bridge 0 -o") << file);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("2 piece(s) would fall out and bridges are off"), run.err);
    QVERIFY2(run.err.contains("track "), run.err);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(runRender(words("--shape disc --positions 360 --cut marks -o") << file).exitCode, 0);
    QVERIFY(QFile::exists(file));
    // With bridges, --describe names both, radial, on one line through the two pieces.
    const QString text = QString::fromUtf8(
        runRender(words("--shape disc --positions 360 --cut marks --describe")).out);
    QVERIFY2(text.contains(QLatin1String("2 of them loose")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("bridge 2, 0.5 mm wide, radial at")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1String("bridge 3")));
    const QString first = text.section(QLatin1String("bridge 1, 0.5 mm wide, radial at "), 1)
                              .section(QLatin1Char(' '), 0, 0);
    const QString second = text.section(QLatin1String("bridge 2, 0.5 mm wide, radial at "), 1)
                               .section(QLatin1Char(' '), 0, 0);
    QCOMPARE(first, second);
}

void TestCut::kerfRectangle_data()
{
    QTest::addColumn<double>("kerf");
    QTest::newRow("none") << 0.0;
    QTest::newRow("0.1 mm") << 0.1;
    QTest::newRow("0.3 mm") << 0.3;
}

void TestCut::kerfRectangle()
{
    QFETCH(double, kerf);
    // One mark, the right half of a 100 x 20 mm strip without border lines, in a 1 mm rim: a
    // 102 x 22 mm outline round a 50 x 20 mm hole.
    EncoderSettings s
        = cutSettings("--type relative --pairs 1 --width 100 --height 20 --no-border --cut marks");
    s.kerfMm = kerf;
    const Fabrication::Part part = Fabrication::cutPart(s);
    QVERIFY2(part.problem.isEmpty(), qPrintable(part.problem));
    const std::vector<double> a = areas(part);
    QCOMPARE(a.size(), size_t(2));
    // The outline grows by d = kerf / 2 with round corners; the hole shrinks by d, square.
    const double d = kerf / 2;
    const double outline = 102.0 * 22 + 2 * (102.0 + 22) * d + M_PI * d * d;
    const double hole = (50 - kerf) * (20 - kerf);
    const double tolerance = 2 * (102.0 + 22 + 4 * d) * Fabrication::segmentError;
    QVERIFY2(std::fabs(a[0] - outline) < tolerance,
        qPrintable(QStringLiteral("outline %1, expected %2").arg(a[0]).arg(outline)));
    QVERIFY2(std::fabs(a[1] - hole) < 2 * (70 - 2 * kerf) * Fabrication::segmentError,
        qPrintable(QStringLiteral("hole %1, expected %2").arg(a[1]).arg(hole)));
}

void TestCut::kerfAnnulus_data()
{
    QTest::addColumn<double>("kerf");
    QTest::newRow("none") << 0.0;
    QTest::newRow("0.15 mm") << 0.15;
    QTest::newRow("0.4 mm") << 0.4;
}

void TestCut::kerfAnnulus()
{
    QFETCH(double, kerf);
    // A relative disc of radius 20 round a 10 mm hole, 1 mm rim and hub: the outline is a circle
    // of 20.95 mm (outer radius less half the border plus the rim), the inner cut one of 9.05 mm.
    EncoderSettings s = cutSettings("--shape disc --type relative --pairs 4 "
                                    "--outer-radius 20 --inner-radius 10 --cut marks");
    s.kerfMm = kerf;
    const Fabrication::Part part = Fabrication::cutPart(s);
    QVERIFY2(part.problem.isEmpty(), qPrintable(part.problem));
    const std::vector<double> a = areas(part);
    QCOMPARE(a.size(), size_t(1 + 1 + 4)); // outline, inner circle, four marks
    const double d = kerf / 2;
    const double outer = M_PI * (20.95 + d) * (20.95 + d);
    const double inner = M_PI * (9.05 - d) * (9.05 - d);
    // Chords within the segment error of the circle lose at most the perimeter times it.
    QVERIFY2(std::fabs(a[0] - outer) < 2 * M_PI * 21.2 * Fabrication::segmentError,
        qPrintable(QStringLiteral("outline %1, expected %2").arg(a[0]).arg(outer)));
    QVERIFY(a[0] <= outer);
    // Each mark: an annular sector of 45 degrees between 10.05 and 19.95 mm, its four edges
    // moved in by d (the arcs' radii, the radial edges parallel to themselves).
    const double r1 = 10.05 + d;
    const double r2 = 19.95 - d;
    double mark = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const double r = r1 + (r2 - r1) * (i + 0.5) / n;
        mark += r * (M_PI / 4 - 2 * std::asin(d / r)) * (r2 - r1) / n;
    }
    for (int i = 2; i <= 5; ++i)
        QVERIFY2(std::fabs(a[size_t(i)] - mark) < 2 * (r2 - r1 + r2 * M_PI / 4) * 2e-3,
            qPrintable(QStringLiteral("mark %1, expected %2").arg(a[size_t(i)]).arg(mark)));
    QVERIFY2(std::fabs(a[1] - inner) < 2 * M_PI * 9.1 * Fabrication::segmentError,
        qPrintable(QStringLiteral("inner %1, expected %2").arg(a[1]).arg(inner)));
}

void TestCut::stripHoles()
{
    // Two 3 mm holes along a 100 mm strip: at 25 and 75 mm, in the middle of a rim of the border
    // line and two diameters, 3.05 mm below the pattern's bottom edge.
    const QString describe = QString::fromUtf8(runRender(words("--holes 2,3 --describe")).out);
    QVERIFY2(describe.contains(QLatin1String("hole 1 diameter 3.000 at 25.000 from the left end, "
                                             "3.050 below")),
        qPrintable(describe));
    QVERIFY(describe.contains(QLatin1String("hole 2 diameter 3.000 at 75.000")));
    // Cut, they are two more holes in the part; the outline takes the rim all round.
    const EncoderSettings s = cutSettings("--bits 3 --holes 2,3 --rim 7 --cut gaps");
    const PatternGeometry g = patternGeometry(s);
    QCOMPARE(g.holes.size(), size_t(2));
    QCOMPARE(g.holes[1].y() - g.nominal.bottom(), 3.5);
    const Fabrication::Part part = Fabrication::cutPart(s);
    QVERIFY2(part.problem.isEmpty(), qPrintable(part.problem));
    const Fabrication::Part none = Fabrication::cutPart(cutSettings("--bits 3 --rim 7 --cut gaps"));
    QCOMPARE(part.holes, none.holes + 2);
    QVERIFY(std::fabs(none.area - part.area - 2 * M_PI * 1.5 * 1.5) < 0.01);
}

void TestCut::refused_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("teeth too fine to cut") << QStringLiteral(
        "--shape disc --type relative --pairs 360 --outer-radius 30 --cut marks "
        "-o x.dxf") << QStringLiteral("narrower than --min-web 0.3 mm");
    QTest::newRow("bridge narrower than the web")
        << QStringLiteral("--shape disc --bits 4 --cut marks --bridge 0.2 -o x.dxf")
        << QStringLiteral("the bridges would break");
    QTest::newRow("rim breaks") << QStringLiteral("--shape disc --bits 4 --cut marks --rim 0.2 "
                                                  "-o x.dxf")
                                << QStringLiteral("the rim breaks");
    QTest::newRow("kerf without cut")
        << QStringLiteral("--kerf 0.1 -o x.dxf") << QStringLiteral("goes with --cut");
    QTest::newRow("cut into an image")
        << QStringLiteral("--cut marks -o x.png") << QStringLiteral("images show the pattern");
    QTest::newRow("hub on a strip")
        << QStringLiteral("--hub 2 -o x.svg") << QStringLiteral("--hub is for discs");
    QTest::newRow("strip hole wider than its margin")
        << QStringLiteral("--holes 2,3 --rim 2 -o x.svg") << QStringLiteral("raise --rim");
}

void TestCut::refused()
{
    QFETCH(QString, arguments);
    QFETCH(QString, message);
    const Run run = runRender(words(arguments), dir.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err);
}

void TestCut::dxfIsOnePiece_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::newRow("6-bit disc") << QStringLiteral("--shape disc --bits 6 --cut marks");
    QTest::newRow("360-position disc, bridged")
        << QStringLiteral("--shape disc --positions 360 --cut marks");
    QTest::newRow("360-position disc, kerf")
        << QStringLiteral("--shape disc --positions 360 --cut gaps --kerf 0.1");
    QTest::newRow("quadrature strip with holes")
        << QStringLiteral("--type relative --pairs 20 --quadrature --index --holes 3,3 --rim 7 "
                          "--cut marks");
}

void TestCut::dxfIsOnePiece()
{
    QFETCH(QString, arguments);
    QUVELTA_NEEDS("/usr/bin/python3 -c __import__('ezdxf')");
    const QString file = dir.filePath(QStringLiteral("part.dxf"));
    const Run render = runRender(words(arguments) << QStringLiteral("-o") << file);
    QVERIFY2(render.exitCode == 0, render.err);
    const Run check = runProgram(
        QStringLiteral("/usr/bin/python3"), { QStringLiteral(QUVELTA_CUTCHECK_PATH), file });
    QVERIFY2(check.exitCode == 0, check.out + check.err);
    const QString out = QString::fromUtf8(check.out);
    // Closed polylines (arcs as bulges) and circles, nothing else.
    const QString types = out.section(QLatin1String("types="), 1).section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(types == QLatin1String("POLYLINE") || types == QLatin1String("CIRCLE,POLYLINE"),
        qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("layers=CUT\n")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("closed=1\n")), qPrintable(out));
    // One outline, every hole inside it and none inside another: one piece.
    QVERIFY2(out.contains(QLatin1String("outlines=1\n")), qPrintable(out));
    QVERIFY2(out.contains(QLatin1String("nested=0\n")), qPrintable(out));
    // As much material as the part has (the kerf moves every contour).
    const EncoderSettings s = cutSettings(arguments);
    if (s.kerfMm > 0)
        return;
    const Fabrication::Part part = Fabrication::cutPart(s);
    const double read = out.section(QLatin1String("area="), 1).trimmed().toDouble();
    QVERIFY2(std::fabs(read - part.area) < 1e-4 * part.area,
        qPrintable(QStringLiteral("%1 mm² read, %2 cut").arg(read).arg(part.area)));
}

namespace {

// A binary STL as its reader sees it: corners (as 32-bit floats) and triangles.
struct StlMesh
{
    std::vector<std::array<float, 9>> triangles;
    bool read(const QByteArray &bytes)
    {
        if (bytes.size() < 84)
            return false;
        quint32 n = 0;
        std::memcpy(&n, bytes.constData() + 80, 4);
        if (bytes.size() != 84 + 50 * qsizetype(n))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            std::array<float, 9> t;
            std::memcpy(t.data(), bytes.constData() + 84 + 50 * i + 12, 36);
            triangles.push_back(t);
        }
        return true;
    }
};

}

void TestCut::solidIsClosed_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<double>("thickness");
    QTest::newRow("6-bit disc, marks")
        << QStringLiteral("--shape disc --bits 6 --cut marks") << 1.5;
    QTest::newRow("360-position disc, bridged")
        << QStringLiteral("--shape disc --positions 360 --cut marks") << 2.0;
    QTest::newRow("bored relative disc") << QStringLiteral(
        "--shape disc --type relative --pairs 36 "
        "--inner-radius 8 --bore 5 "
        "--no-center-mark --cut gaps") << 1.5;
    QTest::newRow("quadrature strip with holes")
        << QStringLiteral("--type relative --pairs 20 --quadrature --holes 3,3 --rim 7 --cut marks")
        << 0.8;
}

void TestCut::solidIsClosed()
{
    QFETCH(QString, arguments);
    QFETCH(double, thickness);
    const QString file = dir.filePath(QStringLiteral("part.stl"));
    const Run render
        = runRender(words(arguments) << QStringLiteral("--thickness") << QString::number(thickness)
                                     << QStringLiteral("-o") << file);
    QVERIFY2(render.exitCode == 0, render.err);
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    StlMesh mesh;
    QVERIFY(mesh.read(in.readAll()));
    QVERIFY(!mesh.triangles.empty());

    // Closed and 2-manifold with one orientation: every edge is met once each way.
    using Corner = std::array<float, 3>;
    std::map<std::pair<Corner, Corner>, int> edges;
    double volume = 0;
    for (const std::array<float, 9> &t : mesh.triangles) {
        const Corner c[3] = { { t[0], t[1], t[2] }, { t[3], t[4], t[5] }, { t[6], t[7], t[8] } };
        for (int k = 0; k < 3; ++k)
            ++edges[{ c[k], c[(k + 1) % 3] }];
        // The signed volume of the tetrahedron from the origin: the sum is the enclosed one,
        // positive when the triangles face outwards.
        const auto d = [](const Corner &p) { return std::array<double, 3> { p[0], p[1], p[2] }; };
        const auto a = d(c[0]), b = d(c[1]), e = d(c[2]);
        volume += (a[0] * (b[1] * e[2] - b[2] * e[1]) - a[1] * (b[0] * e[2] - b[2] * e[0])
                      + a[2] * (b[0] * e[1] - b[1] * e[0]))
            / 6;
    }
    int bad = 0;
    for (const auto &[edge, count] : edges) {
        const auto back = edges.find({ edge.second, edge.first });
        bad += count != 1 || back == edges.end() || back->second != 1;
    }
    QCOMPARE(bad, 0);

    // The volume is the part's area times the thickness.
    const Fabrication::Part part = Fabrication::cutPart(cutSettings(arguments));
    const double expected = part.area * thickness;
    QVERIFY2(std::fabs(volume - expected) < 0.001 * expected,
        qPrintable(QStringLiteral("%1 mm³, expected %2").arg(volume).arg(expected)));

    // A slice at mid-thickness gives back the part's outline and holes: the walls' cuts, each
    // run with the outside on its right, enclose the part's area and are as long as its rings.
    const double z = thickness / 2;
    double area = 0;
    double length = 0;
    for (const std::array<float, 9> &t : mesh.triangles) {
        std::vector<std::array<double, 2>> cut;
        for (int k = 0; k < 3; ++k) {
            const double a[3] = { t[size_t(3 * k)], t[size_t(3 * k + 1)], t[size_t(3 * k + 2)] };
            const int n = (k + 1) % 3;
            const double b[3] = { t[size_t(3 * n)], t[size_t(3 * n + 1)], t[size_t(3 * n + 2)] };
            if ((a[2] - z) * (b[2] - z) < 0) {
                const double f = (z - a[2]) / (b[2] - a[2]);
                cut.push_back({ a[0] + f * (b[0] - a[0]), a[1] + f * (b[1] - a[1]) });
            }
        }
        if (cut.size() != 2)
            continue;
        // The outward normal's horizontal part, turned a quarter left: the run's direction.
        const double u[3] = { t[3] - t[0], t[4] - t[1], t[5] - t[2] };
        const double v[3] = { t[6] - t[0], t[7] - t[1], t[8] - t[2] };
        const double nx = u[1] * v[2] - u[2] * v[1];
        const double ny = u[2] * v[0] - u[0] * v[2];
        double dx = cut[1][0] - cut[0][0], dy = cut[1][1] - cut[0][1];
        if (dx * -ny + dy * nx < 0) {
            std::swap(cut[0], cut[1]);
            dx = -dx;
            dy = -dy;
        }
        area += (cut[0][0] * cut[1][1] - cut[1][0] * cut[0][1]) / 2;
        length += std::hypot(dx, dy);
    }
    double rings = 0;
    for (const auto &polygon : part.material)
        for (const std::vector<QPointF> &ring : polygon)
            for (size_t i = 0; i < ring.size(); ++i) {
                const QPointF d = ring[(i + 1) % ring.size()] - ring[i];
                rings += std::hypot(d.x(), d.y());
            }
    QVERIFY2(std::fabs(area - part.area) < 0.001 * part.area,
        qPrintable(QStringLiteral("slice %1 mm², part %2").arg(area).arg(part.area)));
    QVERIFY2(std::fabs(length - rings) < 0.001 * rings,
        qPrintable(QStringLiteral("slice %1 mm round, part %2").arg(length).arg(rings)));
}

void TestCut::librariesLoadedWhenNeeded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<bool>("found");
    QTest::newRow("GEOS") << "geos_c" << 1 << "GEOSBuffer_r" << true;
    QTest::newRow("lib3mf") << "3MF" << 1 << "lib3mf_createmodel" << true;
    QTest::newRow("a missing function") << "geos_c" << 1 << "GEOSNoSuchThing_r" << false;
    QTest::newRow("a missing library") << "quvelta-no-such-library" << 1 << "f" << false;
    QTest::newRow("a wrong version") << "geos_c" << 999 << "GEOSBuffer_r" << false;
}

// GEOS and lib3mf are found when first needed, and a missing one is said, never a null call.
void TestCut::librariesLoadedWhenNeeded()
{
    QFETCH(QString, name);
    QFETCH(int, version);
    QFETCH(QString, symbol);
    QFETCH(bool, found);
    LoadedLibrary library(name.toLatin1().constData(), version);
    void (*function)() = reinterpret_cast<void (*)()>(1);
    QCOMPARE(library.resolve(function, symbol.toLatin1().constData()), found);
    QCOMPARE(function != nullptr, found);
    QCOMPARE(library.failure().empty(), found);
}

void TestCut::threeMfHoldsTheMesh()
{
    // The 3MF package as a plain zip reader sees it: millimetres, and as many corners and
    // triangles as the STL of the same part has triangles (each corner once).
    QUVELTA_NEEDS("/usr/bin/python3");
    const QString stl = dir.filePath(QStringLiteral("part.stl"));
    const QString threeMf = dir.filePath(QStringLiteral("part.3mf"));
    const QStringList part = words("--shape disc --bits 5 --cut marks");
    QCOMPARE(runRender(QStringList(part) << QStringLiteral("-o") << stl).exitCode, 0);
    QCOMPARE(runRender(QStringList(part) << QStringLiteral("-o") << threeMf).exitCode, 0);
    QFile in(stl);
    QVERIFY(in.open(QIODevice::ReadOnly));
    StlMesh mesh;
    QVERIFY(mesh.read(in.readAll()));
    const Run read = runProgram(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import sys, zipfile\n"
                           "m = zipfile.ZipFile(sys.argv[1]).read('3D/3dmodel.model').decode()\n"
                           "print(m.count('<vertex '), m.count('<triangle '), "
                           "'unit=\"millimeter\"' in m)"),
            threeMf });
    QVERIFY2(read.exitCode == 0, read.err);
    const QStringList counts = QString::fromUtf8(read.out).split(QLatin1Char(' '));
    QCOMPARE(counts.size(), 3);
    QCOMPARE(counts[1].toInt(), int(mesh.triangles.size()));
    // A closed mesh of genus g has V = F / 2 + 2 - 2g corners: the part's holes are its genus.
    const Fabrication::Part cut = Fabrication::cutPart(cutSettings(part.join(QLatin1Char(' '))));
    QCOMPARE(counts[0].toInt(), int(mesh.triangles.size()) / 2 + 2 - 2 * cut.holes);
    QCOMPARE(counts[2].trimmed(), QStringLiteral("True"));
}

QTEST_GUILESS_MAIN(TestCut)
// PrusaSlicer, as a maker's slicer reads the files: one manifold part of the part's volume,
// sliced to G-code without errors.
void TestCut::slicerTakesIt_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("stl") << QStringLiteral("stl");
    QTest::newRow("3mf") << QStringLiteral("3mf");
}

void TestCut::slicerTakesIt()
{
    QUVELTA_NEEDS("prusa-slicer");
    QFETCH(QString, suffix);
    const QString arguments = QStringLiteral(
        "--shape disc --type relative --pairs 36 --outer-radius 20 --inner-radius 5 --cut gaps");
    const QString file = dir.filePath(QStringLiteral("sliced.") + suffix);
    const Run render = runRender(words(arguments) << QStringLiteral("-o") << file);
    QVERIFY2(render.exitCode == 0, render.err);

    const Run info = runProgram(QStringLiteral("prusa-slicer"), { QStringLiteral("--info"), file });
    QVERIFY2(info.exitCode == 0, info.err);
    const QString text = QString::fromUtf8(info.out);
    QVERIFY2(text.contains(QStringLiteral("manifold = yes")), qPrintable(text));
    const QRegularExpression parts(QStringLiteral("number_of_parts =\\s*(\\d+)"));
    QCOMPARE(parts.match(text).captured(1), QStringLiteral("1"));
    const QRegularExpression volume(QStringLiteral("volume = ([0-9.]+)"));
    const double expected = Fabrication::cutPart(cutSettings(arguments)).area * 1.5;
    const double read = volume.match(text).captured(1).toDouble();
    QVERIFY2(std::fabs(read - expected) < 0.001 * expected,
        qPrintable(QStringLiteral("%1 mm³, expected %2").arg(read).arg(expected)));

    const QString gcode = dir.filePath(QStringLiteral("sliced.gcode"));
    QFile::remove(gcode);
    const Run slice = runProgram(QStringLiteral("prusa-slicer"),
        { QStringLiteral("--export-gcode"), QStringLiteral("--output"), gcode, file });
    QVERIFY2(slice.exitCode == 0, slice.err);
    QVERIFY(QFileInfo(gcode).size() > 0);
}

#include "tst_cut.moc"
