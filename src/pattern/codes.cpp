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
    if (settings.code == Code::SingleTrack) {
        const SingleTrack *code = singleTrack(settings);
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
    if (settings.code == Code::SingleTrack) {
        const Codes::SingleTrack *code = Codes::singleTrack(settings);
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
