// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "renderoptions.h"
#include "search.h"

#include <QtTest>

#include <set>

// The benchmark's random search: the same seed gives the same settings, every one of them a
// setting quvelta-render accepts, and they reach across the options.
class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameSettings_data();
    void sameSeedSameSettings();
};

void TestSearch::sameSeedSameSettings_data()
{
    QTest::addColumn<int>("output");
    QTest::newRow("raster") << int(Search::Output::Raster);
    QTest::newRow("vector") << int(Search::Output::Vector);
}

void TestSearch::sameSeedSameSettings()
{
    QFETCH(int, output);
    const auto kind = Search::Output(output);
    const std::vector<Search::Setting> a = Search::randomSettings(7, 120, kind);
    const std::vector<Search::Setting> b = Search::randomSettings(7, 120, kind);
    const std::vector<Search::Setting> other = Search::randomSettings(8, 120, kind);
    QCOMPARE(a.size(), size_t(120));
    std::set<QString> suffixes;
    std::set<QString> options;
    bool differs = false;
    for (size_t i = 0; i < a.size(); ++i) {
        QCOMPARE(a[i].commandLine(), b[i].commandLine());
        differs = differs || a[i].commandLine() != other[i].commandLine();
        const ParseResult parsed = parseRenderArguments(QStringList { "quvelta-render" }
            << a[i].withOutput(QStringLiteral("x.") + a[i].suffix));
        QVERIFY2(parsed.status == ParseResult::Status::Run, qPrintable(a[i].commandLine()));
        suffixes.insert(a[i].suffix);
        for (const QString &arg : a[i].arguments)
            if (arg.startsWith(QLatin1String("--")))
                options.insert(arg);
    }
    QVERIFY(differs);
    QCOMPARE(suffixes.size(), kind == Search::Output::Raster ? size_t(5) : size_t(3));
    for (const char *option : { "--shape", "--pairs", "--bits", "--positions", "--quadrature",
             "--border", "--no-border", "--dpi", "--foreground", "--calibration" })
        QVERIFY2(options.count(QLatin1String(option)), option);
    // A neighbour changes one group of options and is still accepted.
    std::mt19937 random(3);
    const Search::Setting next = Search::neighbour(a[0], random, kind);
    const ParseResult parsed = parseRenderArguments(QStringList { "quvelta-render" }
        << next.withOutput(QStringLiteral("x.") + next.suffix));
    QVERIFY(parsed.status == ParseResult::Status::Run);
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
