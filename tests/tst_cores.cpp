// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "cores.h"

#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <vector>

class TestCores : public QObject
{
    Q_OBJECT

private slots:
    void coreCountIsBounded();
    void everyTaskRunsOnce_data();
    void everyTaskRunsOnce();
    void firstFailureIsRethrown();
};

void TestCores::coreCountIsBounded()
{
    QVERIFY(usableCores() >= 1);
    QVERIFY(usableCores() <= 8);
}

void TestCores::everyTaskRunsOnce_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("fewer than cores") << 3;
    QTest::newRow("many") << 1000;
}

void TestCores::everyTaskRunsOnce()
{
    QFETCH(int, count);
    std::vector<std::atomic<int>> runs(size_t(count) + 1);
    shareOutOverCores(count, [&](int i) { ++runs[size_t(i)]; });
    for (int i = 0; i < count; ++i)
        QCOMPARE(runs[size_t(i)].load(), 1);
    QCOMPARE(runs[size_t(count)].load(), 0); // nothing past the last task
}

void TestCores::firstFailureIsRethrown()
{
    bool caught = false;
    try {
        shareOutOverCores(100, [](int i) {
            if (i == 7)
                throw std::runtime_error("task 7");
        });
    } catch (const std::runtime_error &e) {
        caught = QByteArray(e.what()) == "task 7";
    }
    QVERIFY(caught);
}

QTEST_APPLESS_MAIN(TestCores)

#include "tst_cores.moc"
