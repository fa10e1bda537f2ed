// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "decodetable.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "preciseraster.h"
#include "readback.h"
#include "renderer.h"
#include "testsupport.h"

#include <QtTest>

#include <cmath>
#include <map>
#include <set>

Q_DECLARE_METATYPE(BitOrder)

// The single-track code library: each published code as its data file gives it, checked here
// on its own terms, drawn, described and decoded at its real sensor places.
class TestCodes : public QObject
{
    Q_OBJECT

private slots:
    void publishedCode_data();
    void publishedCode();
    void everyDataFileIsCompiledIn();
    void fewestSensorsByDefault_data();
    void fewestSensorsByDefault();
    void everyLibraryCodeIsGray();
    void renderedDiscDecodes_data();
    void renderedDiscDecodes();
    void readsBack_data();
    void readsBack();
    void commandLine_data();
    void commandLine();
    void refusals_data();
    void refusals();
    void checkerPassesTheCompiledInCopies();
};

namespace {

const QString codesDir = QStringLiteral(QUVELTA_SOURCE_DIR "/resources/codes");

// The track of a data file, read here apart from the program: every line not a comment.
QString trackOf(const QString &file)
{
    QFile f(codesDir + QLatin1Char('/') + file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString track;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1Char('#')))
            track += line.trimmed();
    return track;
}

// What the sensors read at position p: sensor j at cell (p + apart * j) mod cells, as text.
QString wordAt(const QString &track, int sensors, int apart, int p)
{
    QString word;
    for (int j = 0; j < sensors; ++j)
        word += track.at((p + apart * j) % track.size());
    return word;
}

int differences(const QString &a, const QString &b)
{
    int n = 0;
    for (int i = 0; i < a.size(); ++i)
        n += a.at(i) != b.at(i);
    return n;
}

EncoderSettings singleTrackDisc(int positions, int sensors)
{
    EncoderSettings s;
    s.shape = Shape::Disc;
    s.code = Code::SingleTrack;
    s.positions = positions;
    s.sensors = sensors;
    return s;
}

}

// File, positions, sensors and their spacing in cells, as each file's own comment gives them.
void TestCodes::publishedCode_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("positions");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("apart");
    QTest::newRow("5 x 30") << "stgc-5x30.txt" << 30 << 5 << 6;
    QTest::newRow("6 x 60, 5 cells apart") << "stgc-6x60.txt" << 60 << 6 << 5;
    QTest::newRow("7 x 126") << "stgc-7x126.txt" << 126 << 7 << 18;
    QTest::newRow("8 x 240, 15 cells apart") << "stgc-8x240.txt" << 240 << 8 << 15;
    QTest::newRow("9 x 360") << "stgc-9x360.txt" << 360 << 9 << 40;
    QTest::newRow("10 x 360") << "stgc-10x360.txt" << 360 << 10 << 36;
}

// The data file's words are distinct and change one sensor a step (wrap-around included), and
// the compiled-in code reads exactly those words, in both bit orders.
void TestCodes::publishedCode()
{
    QFETCH(QString, file);
    QFETCH(int, positions);
    QFETCH(int, sensors);
    QFETCH(int, apart);
    const QString track = trackOf(file);
    QCOMPARE(int(track.size()), positions);
    std::set<QString> words;
    for (int p = 0; p < positions; ++p) {
        const QString word = wordAt(track, sensors, apart, p);
        words.insert(word);
        QVERIFY2(differences(word, wordAt(track, sensors, apart, (p + 1) % positions)) == 1,
            qPrintable(QStringLiteral("%1 to %2").arg(p).arg(p + 1)));
    }
    QCOMPARE(int(words.size()), positions);

    const Codes::SingleTrack *code = Codes::singleTrack(positions, sensors);
    QVERIFY(code);
    QVERIFY2(code->source.contains(QLatin1String("Hiltgen")), qPrintable(code->source));
    QCOMPARE(int(code->cells.size()), positions);
    for (int i = 0; i < positions; ++i)
        QCOMPARE(code->cells[size_t(i)], track.at(i) == QLatin1Char('1'));
    QCOMPARE(int(code->sensorOffset.size()), sensors);
    for (int j = 0; j < sensors; ++j)
        QCOMPARE(code->sensorOffset[size_t(j)], apart * j);

    EncoderSettings s = singleTrackDisc(positions, sensors);
    QCOMPARE(Codes::wordBits(s), sensors);
    for (const BitOrder order : { BitOrder::LsbToMsb, BitOrder::MsbToLsb }) {
        s.bitOrder = order;
        for (int p = 0; p < positions; ++p) {
            const QString word = wordAt(track, sensors, apart, p);
            unsigned expected = 0;
            for (int j = 0; j < sensors; ++j) {
                const int bit = order == BitOrder::LsbToMsb ? j : sensors - 1 - j;
                expected |= unsigned(word.at(j) == QLatin1Char('1')) << bit;
            }
            QCOMPARE(codeWord(s, p), expected);
        }
    }
}

// A data file the program could not read would silently leave its code out.
void TestCodes::everyDataFileIsCompiledIn()
{
    const QStringList files
        = QDir(codesDir).entryList({ QStringLiteral("stgc-*.txt") }, QDir::Files);
    QVERIFY(!files.isEmpty());
    QCOMPARE(int(Codes::publishedSingleTracks().size()), int(files.size()));
    for (const QString &file : files) {
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("stgc-(\\d+)x(\\d+)\\.txt")).match(file);
        QVERIFY2(m.hasMatch(), qPrintable(file));
        const Codes::SingleTrack *code
            = Codes::singleTrack(m.captured(2).toInt(), m.captured(1).toInt());
        QVERIFY2(code && !code->source.isEmpty(), qPrintable(file));
    }
}

void TestCodes::fewestSensorsByDefault_data()
{
    QTest::addColumn<int>("positions");
    QTest::addColumn<QList<int>>("sensors"); // every code of that count, fewest first
    QTest::newRow("4: Johnson only") << 4 << QList<int> { 2 };
    QTest::newRow("30: published before Johnson") << 30 << QList<int> { 5, 15 };
    QTest::newRow("32: Johnson only") << 32 << QList<int> { 16 };
    QTest::newRow("60") << 60 << QList<int> { 6 };
    QTest::newRow("126") << 126 << QList<int> { 7 };
    QTest::newRow("240") << 240 << QList<int> { 8 };
    QTest::newRow("360: 9 before 10") << 360 << QList<int> { 9, 10 };
    QTest::newRow("100: none") << 100 << QList<int> {};
    QTest::newRow("34: past Johnson") << 34 << QList<int> {};
}

// Without a sensor count the code with the fewest is drawn; any other is chosen by its count.
void TestCodes::fewestSensorsByDefault()
{
    QFETCH(int, positions);
    QFETCH(QList<int>, sensors);
    const std::vector<const Codes::SingleTrack *> codes = Codes::singleTracks(positions);
    QCOMPARE(int(codes.size()), int(sensors.size()));
    for (int i = 0; i < int(sensors.size()); ++i) {
        QCOMPARE(int(codes[size_t(i)]->sensorOffset.size()), sensors.at(i));
        QCOMPARE(Codes::singleTrack(positions, sensors.at(i)), codes[size_t(i)]);
    }
    const Codes::SingleTrack *chosen = Codes::singleTrack(positions);
    QCOMPARE(chosen != nullptr, !sensors.isEmpty());
    if (chosen)
        QCOMPARE(int(chosen->sensorOffset.size()), sensors.first());
    QVERIFY(!Codes::singleTrack(positions, 11));
    QCOMPARE(
        Codes::wordBits(singleTrackDisc(positions, 0)), sensors.isEmpty() ? 0 : sensors.first());
}

// Every code, chosen by its sensor count, reads distinct words one sensor apart as the settings
// give them.
void TestCodes::everyLibraryCodeIsGray()
{
    int codes = 0;
    for (int n = 2; n <= 400; ++n) {
        for (const Codes::SingleTrack *code : Codes::singleTracks(n)) {
            ++codes;
            const int sensors = int(code->sensorOffset.size());
            const EncoderSettings s = singleTrackDisc(n, sensors);
            std::set<unsigned> words;
            for (int p = 0; p < n; ++p) {
                const unsigned word = codeWord(s, p);
                QVERIFY(word < (1u << sensors));
                QVERIFY2(qPopulationCount(word ^ codeWord(s, (p + 1) % n)) == 1,
                    qPrintable(QStringLiteral("%1 x %2 at %3").arg(sensors).arg(n).arg(p)));
                words.insert(word);
            }
            QCOMPARE(int(words.size()), n);
        }
    }
    QVERIFY(codes >= int(Codes::publishedSingleTracks().size()) + 15);
}

void TestCodes::renderedDiscDecodes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("positions");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("apart");
    QTest::addColumn<BitOrder>("order");
    QTest::newRow("5 x 30") << "stgc-5x30.txt" << 30 << 5 << 6 << BitOrder::LsbToMsb;
    QTest::newRow("6 x 60") << "stgc-6x60.txt" << 60 << 6 << 5 << BitOrder::MsbToLsb;
    QTest::newRow("7 x 126") << "stgc-7x126.txt" << 126 << 7 << 18 << BitOrder::LsbToMsb;
    QTest::newRow("8 x 240") << "stgc-8x240.txt" << 240 << 8 << 15 << BitOrder::LsbToMsb;
    QTest::newRow("10 x 360") << "stgc-10x360.txt" << 360 << 10 << 36 << BitOrder::MsbToLsb;
    QTest::newRow("Johnson 15 x 30") << QString() << 30 << 15 << 1 << BitOrder::LsbToMsb;
}

// The drawn disc read at the data's sensor angles, mid-cell, gives each position back through
// the decode table: N distinct words in order.
void TestCodes::renderedDiscDecodes()
{
    QFETCH(QString, file);
    QFETCH(int, positions);
    QFETCH(int, sensors);
    QFETCH(int, apart);
    QFETCH(BitOrder, order);
    EncoderSettings s = singleTrackDisc(positions, sensors);
    s.outerRadiusMm = 40;
    s.innerRadiusMm = 30;
    s.dpi = 300;
    s.bitOrder = order;
    s.sensorMarks = true;
    const PatternGeometry g = patternGeometry(s);
    QCOMPARE(int(g.tracks.size()), 1);
    QCOMPARE(int(g.sensors.size()), sensors);
    const QImage image = renderPreciseImage(s, false);
    const double k = precisePixelsPerMm(s.dpi);
    const QPointF shift = patternPixelOffset(s);
    const double across = (g.tracks.front().from + g.tracks.front().to) / 2;
    const auto dark = [&](double cell) {
        const double angle = qDegreesToRadians(360.0 * cell / positions);
        const QPointF mm = g.center + QPointF(across * std::cos(angle), across * std::sin(angle));
        const QPointF px = mm * k + shift;
        return qGray(image.pixel(int(std::floor(px.x())), int(std::floor(px.y())))) < 128;
    };
    const QString track = file.isEmpty() ? QString() : trackOf(file);
    const std::vector<int> table = DecodeTable::positionsByWord(s);
    QCOMPARE(int(table.size()), 1 << sensors);
    for (int p = 0; p < positions; ++p) {
        unsigned word = 0;
        for (int j = 0; j < sensors; ++j) {
            const bool mark = dark(p + 0.5 + apart * j);
            if (!track.isEmpty())
                QCOMPARE(mark, track.at((p + apart * j) % positions) == QLatin1Char('1'));
            word |= unsigned(mark) << (order == BitOrder::LsbToMsb ? j : sensors - 1 - j);
        }
        QVERIFY2(table[word] == p,
            qPrintable(QStringLiteral("position %1 read %2, decoded %3")
                           .arg(p)
                           .arg(word)
                           .arg(table[word])));
    }
    QCOMPARE(
        int(std::count_if(table.begin(), table.end(), [](int q) { return q >= 0; })), positions);
}

void TestCodes::readsBack_data()
{
    QTest::addColumn<int>("positions");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("outerRadius");
    QTest::newRow("5 x 30, small") << 30 << 5 << 10;
    QTest::newRow("6 x 60") << 60 << 6 << 20;
    QTest::newRow("7 x 126") << 126 << 7 << 20;
    QTest::newRow("8 x 240") << 240 << 8 << 30;
    QTest::newRow("9 x 360") << 360 << 9 << 30;
    QTest::newRow("10 x 360") << 360 << 10 << 30;
    QTest::newRow("Johnson 15 x 30") << 30 << 15 << 10;
}

// The read-back of --check compares the drawn track with the code the settings choose: the
// drawing and the code must be the same code.
void TestCodes::readsBack()
{
    QFETCH(int, positions);
    QFETCH(int, sensors);
    QFETCH(int, outerRadius);
    EncoderSettings s = singleTrackDisc(positions, sensors);
    s.outerRadiusMm = outerRadius;
    s.innerRadiusMm = outerRadius / 2;
    s.dpi = 300;
    const ReadBack reading = readBack(s);
    QCOMPARE(int(reading.tracks.size()), 1);
    QVERIFY2(reading.reads(), qPrintable(readBackReport(reading, 0)));
    QVERIFY(reading.tracks.front().readings >= positions);
}

void TestCodes::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<int>("apart");
    QTest::newRow("30") << QStringList { "--positions", "30" } << "stgc-5x30.txt" << 5 << 6;
    QTest::newRow("60") << QStringList { "--positions", "60" } << "stgc-6x60.txt" << 6 << 5;
    QTest::newRow("126") << QStringList { "--positions", "126" } << "stgc-7x126.txt" << 7 << 18;
    QTest::newRow("240") << QStringList { "--positions", "240" } << "stgc-8x240.txt" << 8 << 15;
    QTest::newRow("360 by default") << QStringList {} << "stgc-9x360.txt" << 9 << 40;
    QTest::newRow("360, 10 sensors")
        << QStringList { "--positions", "360", "--sensors", "10" } << "stgc-10x360.txt" << 10 << 36;
    QTest::newRow("30, 5 sensors asked for")
        << QStringList { "--positions", "30", "--sensors", "5" } << "stgc-5x30.txt" << 5 << 6;
}

// --describe places each sensor where the data file puts it, and the .csv decode table gives
// every position for the word the data file's sensors read there.
void TestCodes::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(int, sensors);
    QFETCH(int, apart);
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("table.csv"));
    const Run run
        = runRender(QStringList { "--shape", "disc", "--code", "single-track", "--outer-radius",
                        "30", "--inner-radius", "20", "--dpi", "100", "--describe",
                        "--decode-table", csv, "-o", dir.filePath(QStringLiteral("disc.png")) }
            << arguments);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QString track = trackOf(file);
    const int positions = int(track.size());

    const QRegularExpression line(
        QStringLiteral("sensor (\\d+) \\(bit (\\d+)\\)\\s+([0-9.]+) degrees clockwise"));
    int described = 0;
    for (auto it = line.globalMatch(QString::fromUtf8(run.out)); it.hasNext(); ++described) {
        const QRegularExpressionMatch m = it.next();
        const int j = m.captured(1).toInt() - 1;
        QCOMPARE(j, described);
        QCOMPARE(m.captured(2).toInt(), j);
        const double expected = 360.0 * apart * j / positions;
        QVERIFY2(std::abs(m.captured(3).toDouble() - expected) < 1e-3, qPrintable(m.captured(0)));
    }
    QCOMPARE(described, sensors);

    QFile table(csv);
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    std::map<int, int> positionOf;
    for (const QString &row : QString::fromUtf8(table.readAll()).split(QLatin1Char('\n'))) {
        const QStringList fields = row.split(QLatin1Char(','));
        if (row.startsWith(QLatin1Char('#')) || fields.size() != 2 || !fields[0].at(0).isDigit())
            continue;
        bool ok = false;
        const int position = fields[1].toInt(&ok);
        QVERIFY2(ok || fields[1] == QLatin1String("invalid"), qPrintable(row));
        positionOf[fields[0].toInt()] = ok ? position : -1; // "invalid": no position reads it
    }
    QCOMPARE(int(positionOf.size()), 1 << sensors);
    for (int p = 0; p < positions; ++p) {
        const QString word = wordAt(track, sensors, apart, p);
        int value = 0;
        for (int j = 0; j < sensors; ++j)
            value |= int(word.at(j) == QLatin1Char('1')) << j;
        QCOMPARE(positionOf[value], p);
    }
    QCOMPARE(int(std::count_if(positionOf.begin(), positionOf.end(),
                 [](const auto &entry) { return entry.second >= 0; })),
        positions);
}

void TestCodes::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown count lists the published ones")
        << QStringList { "--shape", "disc", "--code", "single-track", "--positions", "100" }
        << "no single-track code of 100 positions is known; choose 360, or an even count from 4 "
           "to 32, or 60, 126 or 240";
    QTest::newRow("no code with that many sensors")
        << QStringList { "--shape", "disc", "--code", "single-track", "--sensors", "8" }
        << "no single-track code of 360 positions has 8 sensors; choose 9 or 10";
    QTest::newRow("one code of 126") << QStringList {
        "--shape", "disc", "--code", "single-track", "--positions", "126", "--sensors", "9"
    } << "no single-track code of 126 positions has 9 sensors; choose 7";
    QTest::newRow("sensors without single track") << QStringList { "--shape", "disc", "--sensors",
        "9" } << "--sensors goes with --code single-track";
    QTest::newRow("sensors out of range") << QStringList { "--shape", "disc", "--code",
        "single-track", "--sensors", "0" } << "--sensors takes a whole number from 1 to 32";
}

void TestCodes::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run run = runRender(arguments << "-o" << dir.filePath(QStringLiteral("x.png")));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.png"))));
}

// The files' own check, run on the copies compiled into the program rather than on the sources.
void TestCodes::checkerPassesTheCompiledInCopies()
{
    QUVELTA_NEEDS("python3");
    QTemporaryDir dir;
    QStringList copies;
    const QDir compiled(QStringLiteral(":/codes"));
    for (const QString &name : compiled.entryList({ QStringLiteral("stgc-*.txt") })) {
        const QString copy = dir.filePath(name);
        QVERIFY(QFile::copy(compiled.filePath(name), copy));
        copies << copy;
    }
    QCOMPARE(int(copies.size()), int(Codes::publishedSingleTracks().size()));
    const Run run = runProgram(QStringLiteral("python3"),
        QStringList { codesDir + QStringLiteral("/verify-stgc.py") } << copies);
    QVERIFY2(run.exitCode == 0, run.out.constData());
    const QStringList lines
        = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(int(lines.size()), int(copies.size()));
    for (const QString &l : lines)
        QVERIFY2(
            l.contains(QLatin1String("distinct=True, one change per step=True")), qPrintable(l));
}

QTEST_MAIN(TestCodes)
#include "tst_codes.moc"
