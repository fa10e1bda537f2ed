// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

namespace Codes {

namespace {

// A published code from its data file, compiled in as a resource: '#' lines are comments (the
// first names the code, the next paragraph its source), the rest is the track, '1' a mark.
// "Sensors: S, D cells apart" places the sensors; without the distance they share the turn
// equally, as the files' own check reads them. Null when the file is not of that form.
std::optional<SingleTrack> readPublished(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    SingleTrack code;
    QStringList source;
    enum { Title, BeforeSource, Source, After } part = Title;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char('#'))) {
            for (const QChar c : line.trimmed()) {
                if (c != QLatin1Char('0') && c != QLatin1Char('1'))
                    return std::nullopt;
                code.cells.push_back(c == QLatin1Char('1'));
            }
            continue;
        }
        const QString comment = line.mid(1).trimmed();
        if (part == Title) {
            code.name = comment;
            part = BeforeSource;
        } else if (part == BeforeSource && !comment.isEmpty()) {
            source << comment;
            part = Source;
        } else if (part == Source) {
            if (comment.isEmpty())
                part = After;
            else
                source << comment;
        }
    }
    code.source = source.join(QLatin1Char(' '));
    static const QRegularExpression sensorsLine(
        QStringLiteral("Sensors: (\\d+)(?:, (\\d+) cells apart)?"));
    const QRegularExpressionMatch m = sensorsLine.match(text);
    const int cells = int(code.cells.size());
    const int sensors = m.hasMatch() ? m.captured(1).toInt() : 0;
    if (cells == 0 || sensors <= 0 || sensors > 32)
        return std::nullopt;
    const int apart = m.captured(2).isEmpty() ? cells / sensors : m.captured(2).toInt();
    for (int j = 0; j < sensors; ++j)
        code.sensorOffset.push_back(apart * j % cells);
    return code;
}

// k marks and k gaps read by k sensors one cell apart: the words of a Johnson counter, 2k of
// them, each differing from the next in one sensor.
SingleTrack makeJohnson(int k)
{
    SingleTrack code;
    code.name = QStringLiteral("%1 sensors one cell apart on %1 marks and %1 gaps").arg(k);
    for (int i = 0; i < 2 * k; ++i)
        code.cells.push_back(i < k);
    for (int j = 0; j < k; ++j)
        code.sensorOffset.push_back(j);
    return code;
}

constexpr int largestJohnson = 16;

}

std::vector<bool> mSequence(int n)
{
    // Primitive trinomials and pentanomials x^n + ... + 1, as exponents below n; the
    // recurrence s[k + n] = s[k] + sum of s[k + t] has period 2^n - 1 for each (checked by the
    // tests: every window distinct).
    static const std::vector<std::vector<int>> taps
        = { {}, {}, { 1 }, { 2 }, { 3 }, { 3 }, { 5 }, { 6 }, { 6, 5, 4 }, { 5 }, { 7 }, { 9 },
              { 11, 10, 4 }, { 12, 11, 8 }, { 13, 12, 2 }, { 14 }, { 15, 13, 4 } };
    if (n < 2 || n > 16)
        return {};
    const size_t length = (size_t(1) << n) - 1;
    std::vector<bool> s(length + size_t(n));
    for (int i = 0; i < n; ++i)
        s[size_t(i)] = true; // any nonzero start; all marks keeps the first reading simple
    for (size_t k = 0; k + size_t(n) < s.size(); ++k) {
        bool next = s[k];
        for (int t : taps[size_t(n)])
            next = next != s[k + size_t(t)];
        s[k + size_t(n)] = next;
    }
    s.resize(length);
    return s;
}

int pseudoRandomSensors(int positions)
{
    int n = 2;
    while (n < 16 && (1 << n) - 1 < positions)
        ++n;
    return n;
}

namespace {

// Round a disc the sequence must close on itself. Cutting out the d = 2^n - 1 - L cells from a
// to a + d, where the n - 1 cells from a equal those from a + d, leaves a ring of L cells whose
// every window is one of the m-sequence's own (one crossing the cut reads as the window that
// began before it), so all stay distinct. Each nonzero (n - 1)-cell word occurs twice in the
// sequence; for every count from 2 to 65535 two of them lie d apart (the tests check each count).
std::optional<SingleTrack> makePseudoRandom(int positions, Shape shape)
{
    if (positions < 2 || positions > 65535)
        return std::nullopt;
    const int n = pseudoRandomSensors(positions);
    const std::vector<bool> s = mSequence(n);
    const int length = int(s.size());
    SingleTrack code;
    for (int j = 0; j < n; ++j)
        code.sensorOffset.push_back(j);
    if (shape == Shape::Strip) {
        // The first L + n - 1 cells: L windows, each a different one of the sequence's.
        for (int i = 0; i < positions + n - 1; ++i)
            code.cells.push_back(s[size_t(i % length)]);
        code.name = QStringLiteral("pseudo-random, %1 sensors one cell apart, the first %2 cells "
                                   "of the %3-cell m-sequence (read round its end)")
                        .arg(n)
                        .arg(positions + n - 1)
                        .arg(length);
        return code;
    }
    const int d = length - positions;
    const auto sameWindow = [&](int a, int b) {
        for (int i = 0; i < n - 1; ++i)
            if (s[size_t((a + i) % length)] != s[size_t((b + i) % length)])
                return false;
        return true;
    };
    for (int a = 0; a < length; ++a) {
        if (d != 0 && !sameWindow(a, a + d))
            continue;
        for (int i = 0; i < positions; ++i)
            code.cells.push_back(s[size_t((a + d + i) % length)]);
        code.name = d == 0 ? QStringLiteral("pseudo-random, %1 sensors one cell apart, the whole "
                                            "%2-cell m-sequence")
                                 .arg(n)
                                 .arg(length)
                           : QStringLiteral("pseudo-random, %1 sensors one cell apart, the %2-cell "
                                            "m-sequence without the %3 cells from its cell %4 "
                                            "on")
                                 .arg(n)
                                 .arg(length)
                                 .arg(d)
                                 .arg(a);
        return code;
    }
    return std::nullopt;
}

}

const SingleTrack *pseudoRandom(int positions, Shape shape)
{
    static std::mutex mutex;
    static std::map<std::pair<int, Shape>, std::optional<SingleTrack>> made;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::pair(positions, shape);
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, makePseudoRandom(positions, shape)).first;
    return it->second ? &*it->second : nullptr;
}

int nearestPseudoRandomDisc(int positions)
{
    for (int d = 1; d < 65535; ++d) {
        // Made and dropped: a cache of every count tried would hold megabytes.
        for (int n : { positions - d, positions + d })
            if (n >= 2 && n <= 65535 && makePseudoRandom(n, Shape::Disc))
                return n;
    }
    return 0;
}

const SingleTrack *oneTrack(const EncoderSettings &settings)
{
    if (settings.type != EncoderType::Absolute)
        return nullptr;
    if (settings.code == Code::SingleTrack)
        return singleTrack(settings);
    if (settings.code == Code::PseudoRandom)
        return pseudoRandom(positions(settings), settings.shape);
    return nullptr;
}

int positions(const EncoderSettings &settings)
{
    if (settings.type != EncoderType::Absolute)
        return 0;
    if (settings.positions > 0)
        return settings.positions;
    return 1 << std::clamp(settings.bits, 0, 16);
}

int wordBits(const EncoderSettings &settings)
{
    if (settings.code == Code::SingleTrack || settings.code == Code::PseudoRandom) {
        const SingleTrack *code = oneTrack(settings);
        return code ? int(code->sensorOffset.size()) : 0;
    }
    if (settings.positions <= 0)
        return std::clamp(settings.bits, 0, 16);
    int bits = 1;
    while ((1 << bits) < settings.positions)
        ++bits;
    return bits;
}

bool isGray(const EncoderSettings &settings)
{
    return settings.code == Code::Gray || settings.code == Code::SingleTrack;
}

bool oddGrayRound(const EncoderSettings &settings)
{
    return settings.type == EncoderType::Absolute && settings.shape == Shape::Disc
        && settings.code == Code::Gray && positions(settings) % 2 != 0;
}

namespace {

struct Library
{
    std::map<int, std::vector<SingleTrack>> byPositions; // each fewest sensors first
    std::vector<const SingleTrack *> published;
};

const Library &library()
{
    static std::once_flag once;
    static Library lib;
    std::call_once(once, [] {
        const QDir dir(QStringLiteral(":/codes"));
        for (const QString &name :
            dir.entryList({ QStringLiteral("stgc-*.txt") }, QDir::Files, QDir::Name)) {
            if (std::optional<SingleTrack> code = readPublished(dir.filePath(name)))
                lib.byPositions[int(code->cells.size())].push_back(std::move(*code));
        }
        for (int k = 2; k <= largestJohnson; ++k)
            lib.byPositions[2 * k].push_back(makeJohnson(k));
        for (auto &[n, codes] : lib.byPositions) {
            std::stable_sort(
                codes.begin(), codes.end(), [](const SingleTrack &a, const SingleTrack &b) {
                    return a.sensorOffset.size() < b.sensorOffset.size();
                });
            for (const SingleTrack &code : codes)
                if (!code.source.isEmpty())
                    lib.published.push_back(&code);
        }
    });
    return lib;
}

}

const SingleTrack *singleTrack(int positions, int sensors)
{
    const Library &lib = library();
    const auto it = lib.byPositions.find(positions);
    if (it == lib.byPositions.end())
        return nullptr;
    if (sensors <= 0)
        return &it->second.front();
    for (const SingleTrack &code : it->second)
        if (int(code.sensorOffset.size()) == sensors)
            return &code;
    return nullptr;
}

const SingleTrack *singleTrack(const EncoderSettings &settings)
{
    return singleTrack(positions(settings), settings.sensors);
}

std::vector<const SingleTrack *> singleTracks(int positions)
{
    std::vector<const SingleTrack *> codes;
    const Library &lib = library();
    const auto it = lib.byPositions.find(positions);
    if (it != lib.byPositions.end())
        for (const SingleTrack &code : it->second)
            codes.push_back(&code);
    return codes;
}

std::vector<const SingleTrack *> publishedSingleTracks()
{
    return library().published;
}

QString singleTrackCounts()
{
    // 360 first: the count drawn when none is asked for.
    QStringList others;
    for (const SingleTrack *code : library().published) {
        const int n = int(code->cells.size());
        const bool johnson = n % 2 == 0 && n >= 4 && n <= 2 * largestJohnson;
        if (n != 360 && !johnson && !others.contains(QString::number(n)))
            others << QString::number(n);
    }
    QString text = QStringLiteral("360, or an even count from 4 to %1").arg(2 * largestJohnson);
    if (!others.isEmpty()) {
        const QString last = others.takeLast();
        text += QStringLiteral(", or ")
            + (others.isEmpty()
                    ? last
                    : others.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last);
    }
    return text;
}

QString singleTrackSensors(int positions)
{
    QStringList counts;
    for (const SingleTrack *code : singleTracks(positions))
        counts << QString::number(code->sensorOffset.size());
    if (counts.size() < 2)
        return counts.join(QString());
    const QString last = counts.takeLast();
    return counts.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

}

unsigned codeWord(const EncoderSettings &settings, int step)
{
    const int n = Codes::positions(settings);
    if (settings.code == Code::SingleTrack || settings.code == Code::PseudoRandom) {
        const Codes::SingleTrack *code = Codes::oneTrack(settings);
        if (!code)
            return 0;
        unsigned word = 0;
        const int cells = int(code->cells.size());
        const int sensors = int(code->sensorOffset.size());
        for (int j = 0; j < sensors; ++j) {
            const int bit = settings.bitOrder == BitOrder::LsbToMsb ? j : sensors - 1 - j;
            word |= unsigned(code->cells[size_t((step + code->sensorOffset[size_t(j)]) % cells)])
                << bit;
        }
        return word;
    }
    const unsigned q = unsigned(step);
    if (!Codes::isGray(settings))
        return q;
    // The n codes of the reflected Gray code that lie symmetrically around its middle: the
    // first and the last differ only in the top bit, so an even count is cyclic.
    const unsigned offset = ((1u << Codes::wordBits(settings)) - unsigned(n)) / 2;
    const unsigned i = q + offset;
    return i ^ (i >> 1);
}

unsigned sensedWord(const EncoderSettings &settings, int step)
{
    const unsigned word = codeWord(settings, step);
    if (!settings.invert)
        return word;
    const int bits = Codes::wordBits(settings);
    return ~word & (bits >= 32 ? ~0u : (1u << bits) - 1);
}
