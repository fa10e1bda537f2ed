// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_BENCH_SEARCH_H
#define QUVELTA_BENCH_SEARCH_H

#include <QStringList>

#include <random>
#include <vector>

// Settings of quvelta-render drawn at random over every option, biased to large images, for a
// search of the slowest corners. The same seed gives the same settings.
namespace Search {

enum class Output { Raster, Vector };

// One setting: the arguments without -o, and the output's suffix.
struct Setting
{
    QStringList arguments;
    QString suffix;

    QStringList withOutput(const QString &fileName) const
    {
        return QStringList(arguments) << QStringLiteral("-o") << fileName;
    }
    QString commandLine() const;
};

// `count` settings that quvelta-render accepts, of raster or vector output.
std::vector<Setting> randomSettings(unsigned seed, int count, Output output);

// A setting next to `from`: one option drawn again.
Setting neighbour(const Setting &from, std::mt19937 &random, Output output);

}

#endif
