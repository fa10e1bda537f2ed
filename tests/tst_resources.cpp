// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "outsidetools.h"
#include "renderer.h"
#include "testsupport.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// What ships beside the code: the icon in every size and the calibration text's font.
// Runs with FONTCONFIG_FILE naming a configuration without a single font (see CMakeLists.txt).
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void iconPngsDrawTheSvg_data();
    void iconPngsDrawTheSvg();
    void legendFontIsTheShippedOne();
    void legendSameWithoutInstalledFonts();

private:
    QTemporaryDir dir;
};

void TestResources::iconPngsDrawTheSvg_data()
{
    QTest::addColumn<int>("size");
    for (int size : { 16, 24, 32, 48, 64, 128, 256 })
        QTest::newRow(qPrintable(QStringLiteral("%1 px").arg(size))) << size;
}

// rsvg-convert draws icon.svg at each PNG's size: apart from how edges are smoothed, the same
// picture, so neither can change alone.
void TestResources::iconPngsDrawTheSvg()
{
    QUVELTA_NEEDS("rsvg-convert");
    QFETCH(int, size);
    const QImage png = QImage(QStringLiteral(QUVELTA_SOURCE_DIR "/resources/icon-%1.png").arg(size))
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(png.size(), QSize(size, size));
    const QString drawn = dir.filePath(QStringLiteral("icon-%1.png").arg(size));
    QProcess rsvg;
    rsvg.start(QStringLiteral("rsvg-convert"),
        { QStringLiteral("-w"), QString::number(size), QStringLiteral("-h"), QString::number(size),
            QStringLiteral(QUVELTA_SOURCE_DIR "/resources/icon.svg"), QStringLiteral("-o"),
            drawn });
    QVERIFY(rsvg.waitForFinished(30000) && rsvg.exitCode() == 0);
    const QImage svg = QImage(drawn).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(svg.size(), png.size());
    // Edges smoothed differently stay well within 96 levels; the smallest sector in the wrong
    // colour puts 5 pixels beyond that at 16 px, 64 at 64 px.
    int apart = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const QRgb a = png.pixel(x, y);
            const QRgb b = svg.pixel(x, y);
            const int d = std::max({ std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b)) });
            apart += d > 96;
        }
    QVERIFY2(apart == 0, qPrintable(QStringLiteral("%1 pixels differ").arg(apart)));
}

// With no font installed at all, the calibration text still finds its family, from the program.
void TestResources::legendFontIsTheShippedOne()
{
    EncoderSettings s;
    s.calibration = true;
    const QImage image = renderEncoderImage(s, true);
    QVERIFY(!image.isNull());
    QVERIFY2(QFontDatabase::families().contains(QStringLiteral("DejaVu Sans")),
        qPrintable(QFontDatabase::families().join(QLatin1String(", "))));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(100);
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
}

// The command line draws the same calibrated page with the system's fonts and with none.
void TestResources::legendSameWithoutInstalledFonts()
{
    const QStringList arguments { QStringLiteral("--shape"), QStringLiteral("disc"),
        QStringLiteral("--bits"), QStringLiteral("6"), QStringLiteral("--calibration"),
        QStringLiteral("-o") };
    QByteArray pages[2];
    for (int i = 0; i < 2; ++i) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (i == 0)
            env.remove(QStringLiteral("FONTCONFIG_FILE")); // the system's fonts
        const QString name = dir.filePath(QStringLiteral("calibrated-%1.png").arg(i));
        QProcess render;
        render.setProcessEnvironment(env);
        render.start(renderProgram(), QStringList(arguments) << name);
        QVERIFY(render.waitForFinished(60000));
        QVERIFY2(render.exitCode() == 0, render.readAllStandardError().constData());
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        pages[i] = file.readAll();
    }
    QVERIFY(!pages[0].isEmpty());
    QVERIFY(pages[0] == pages[1]);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
