// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "decodetable.h"

#include "codes.h"
#include "description.h"
#include "exporterror.h"
#include "outputfile.h"
#include "patterngeometry.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace DecodeTable {

std::vector<int> positionsByWord(const EncoderSettings &settings)
{
    const int bits = Codes::wordBits(settings);
    std::vector<int> table(size_t(1) << bits, -1);
    const int n = Codes::positions(settings);
    for (int p = 0; p < n; ++p)
        table[sensedWord(settings, p)] = p;
    return table;
}

QString formatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv") || suffix == QLatin1String("json")
        || suffix == QLatin1String("h"))
        return suffix;
    return QString();
}

namespace {

QByteArray csv(const EncoderSettings &settings, const std::vector<int> &table)
{
    QByteArray text;
    for (const QString &line : describePattern(settings).split(QLatin1Char('\n')))
        text += "# " + line.toUtf8() + '\n';
    text += "word,position\n";
    for (size_t word = 0; word < table.size(); ++word)
        text += QByteArray::number(qulonglong(word)) + ','
            + (table[word] < 0 ? QByteArray("invalid") : QByteArray::number(table[word])) + '\n';
    return text;
}

QByteArray json(const EncoderSettings &settings, const std::vector<int> &table)
{
    const PatternGeometry g = patternGeometry(settings);
    const bool disc = settings.shape == Shape::Disc;
    QJsonArray tracks;
    for (const PatternGeometry::Track &t : g.tracks) {
        QJsonObject track { { QStringLiteral("name"), t.name },
            { disc ? QStringLiteral("centreRadiusMm") : QStringLiteral("centreLineMm"),
                g.measuredCentre(t) },
            { QStringLiteral("widthMm"), t.to - t.from } };
        if (t.bit >= 0)
            track.insert(QStringLiteral("bit"), t.bit);
        tracks.append(track);
    }
    QJsonArray sensors;
    for (const PatternGeometry::Sensor &s : g.sensors) {
        sensors.append(QJsonObject { { QStringLiteral("name"), s.name },
            { disc ? QStringLiteral("degreesClockwiseFrom3OClock")
                   : QStringLiteral("mmFromLeftEnd"),
                g.measuredPlace(s) } });
    }
    QJsonArray positions;
    for (int p : table)
        positions.append(p < 0 ? QJsonValue() : QJsonValue(p));
    const QJsonObject root { { QStringLiteral("settings"), settingsSummary(settings) },
        { QStringLiteral("positions"), Codes::positions(settings) },
        { QStringLiteral("wordBits"), Codes::wordBits(settings) },
        { QStringLiteral("tracks"), tracks }, { QStringLiteral("sensors"), sensors },
        { QStringLiteral("positionOfWord"), positions } };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray header(const EncoderSettings &settings, const std::vector<int> &table)
{
    const int n = Codes::positions(settings);
    // int16_t holds every position up to 32767; the largest counts need 32 bits.
    const QByteArray type = n <= 32768 ? "int16_t" : "int32_t";
    QByteArray text = "/* Quvelta decode table.\n *\n";
    for (const QString &line : describePattern(settings).split(QLatin1Char('\n')))
        text += line.isEmpty() ? QByteArray(" *\n") : " * " + line.toUtf8() + '\n';
    text += " *\n * QUVELTA_DECODE[word] is the position a reading shows (bit j of the word is\n"
            " * the bit named in the table above), or -1 where no position shows that word.\n"
            " */\n#ifndef QUVELTA_DECODE_H\n#define QUVELTA_DECODE_H\n\n#include <stdint.h>\n\n"
            "#define QUVELTA_POSITIONS "
        + QByteArray::number(n) + "\n#define QUVELTA_WORD_BITS "
        + QByteArray::number(Codes::wordBits(settings)) + "\n\nstatic const " + type
        + " QUVELTA_DECODE[" + QByteArray::number(qulonglong(table.size())) + "] = {";
    for (size_t word = 0; word < table.size(); ++word) {
        text += word % 12 == 0 ? "\n    " : " ";
        text += QByteArray::number(table[word]);
        if (word + 1 < table.size())
            text += ',';
    }
    text += "\n};\n\n#endif\n";
    return text;
}

}

bool write(const EncoderSettings &settings, const QString &fileName, QString *error)
{
    const QString format = formatOf(fileName);
    if (settings.type != EncoderType::Absolute) {
        *error = cantWrite(fileName, QStringLiteral("a relative pattern has no code to decode"));
        return false;
    }
    return reportingMemory(fileName, error, [&] {
        const std::vector<int> table = positionsByWord(settings);
        const QByteArray data = format == QLatin1String("csv") ? csv(settings, table)
            : format == QLatin1String("json")                  ? json(settings, table)
            : format == QLatin1String("h")                     ? header(settings, table)
                                                               : QByteArray();
        if (data.isEmpty()) {
            *error = cantWrite(fileName, QStringLiteral("a decode table is .csv, .json or .h"));
            return false;
        }
        return saveFile(data, fileName, error);
    });
}

}
