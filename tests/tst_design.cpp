// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"
#include "renderoptions.h"
#include "testsupport.h"
#include "windowcontrols.h"

#include <QJsonDocument>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Design files between the window and quvelta-render: each reads what the other writes, and
// draws the same pixels from it.
class TestDesign : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowDesignRendersTheSame_data();
    void windowDesignRendersTheSame();
    void savedDesignOpensInTheWindow_data();
    void savedDesignOpensInTheWindow();
    void optionsOverrideTheDesign_data();
    void optionsOverrideTheDesign();
    void unknownKeysStay();
    void badDesigns_data();
    void badDesigns();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    static QImage image(const QString &name)
    {
        return QImage(name).convertToFormat(QImage::Format_RGB32);
    }
    QTemporaryDir dir;
};

void TestDesign::initTestCase()
{
    QVERIFY(dir.isValid());
    keepSettingsIn(path(QStringLiteral("settings")), QStringLiteral("tst_design"));
}

void TestDesign::windowDesignRendersTheSame_data()
{
    QTest::addColumn<QVariantMap>("values"); // the window's, by design key
    QTest::newRow("start state") << QVariantMap();
    QTest::newRow("Gray disc with a hole") << QVariantMap { { "disc", true }, { "count", 6 },
        { "outerRadius", 30.5 }, { "innerRadius", 5.25 } };
    QTest::newRow("relative disc, A/B and a wide index")
        << QVariantMap { { "disc", true }, { "relative", true }, { "count", 40 },
               { "quadrature", true }, { "index", true }, { "indexWidth", 180 } };
    QTest::newRow("binary disc of 100 positions, plain pixels") << QVariantMap { { "disc", true },
        { "code", 1 }, { "positionsOn", true }, { "positions", 100 }, { "highQuality", false } };
    QTest::newRow("coloured strip, MSB first, ruler, bias") << QVariantMap { { "width", 60.5 },
        { "height", 12 }, { "msbFirst", true }, { "foreground", "#ff203080" },
        { "background", "#ffffffe0" }, { "ruler", true }, { "markBias", 0.02 }, { "dpi", 300 } };
}

// What the window saves, quvelta-render --design draws to the window's own pixels.
void TestDesign::windowDesignRendersTheSame()
{
    QFETCH(QVariantMap, values);
    const QString design = path(QStringLiteral("window.quvelta"));
    const QString png = path(QStringLiteral("window.png"));
    MainForm form;
    QString error;
    QVERIFY2(form.setValues(values, true, &error), qPrintable(error));
    QVERIFY2(form.saveDesign(design, &error), qPrintable(error));
    form.renderEncoder(false);

    const Run run = runRender({ QStringLiteral("--design"), design, QStringLiteral("-o"), png });
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(image(png), *form.currentImage());
}

void TestDesign::savedDesignOpensInTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QVariantMap>("expected"); // window values after opening
    QTest::newRow("disc with a hole")
        << QStringList { "--shape", "disc", "--bits", "6", "--outer-radius", "30", "--inner-radius",
               "5.5" }
        << QVariantMap { { "disc", true }, { "count", 6 }, { "outerRadius", 30.0 },
               { "innerRadius", 5.5 }, { "grayCode", true }, { "code", 0 } };
    // 50 mm at 100 lines per inch is 197 periods of 0.254 mm: 50.038 mm.
    QTest::newRow("relative strip by its pitch")
        << QStringList { "--type", "relative", "--lpi", "100", "--width", "50", "--quadrature" }
        << QVariantMap { { "relative", true }, { "count", 197 }, { "width", 50.038 },
               { "quadrature", true } };
    QTest::newRow("strip order, colour, border, plain pixels")
        << QStringList { "--bit-order", "msb-lsb", "--dpi", "300", "--foreground", "navy",
               "--no-antialias", "--border", "0.25" }
        << QVariantMap { { "msbFirst", true }, { "dpi", 300 }, { "foreground", "#ff000080" },
               { "highQuality", false }, { "borderWidth", 0.25 } };
    QTest::newRow("the Options dialog's")
        << QStringList { "--type", "relative", "--index", "--index-width", "180", "--sensor-marks",
               "--scale-x", "0.992", "--calibration" }
        << QVariantMap { { "index", true }, { "indexWidth", 180.0 }, { "sensorMarks", true },
               { "scaleX", 0.992 }, { "ruler", true } };
    QTest::newRow("Gray strip from the list") << QStringList { "--code", "gray", "--positions",
        "12" } << QVariantMap { { "code", 2 }, { "positionsOn", true }, { "positions", 12 } };
}

// What --save-design writes, the window opens to those values, and draws as the run did.
void TestDesign::savedDesignOpensInTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QVariantMap, expected);
    const QString design = path(QStringLiteral("line.quvelta"));
    const QString png = path(QStringLiteral("line.png"));
    const Run run = runRender(
        arguments << QStringLiteral("--save-design") << design << QStringLiteral("-o") << png);
    QVERIFY2(run.exitCode == 0, run.err.constData());

    MainForm form;
    QString error;
    QVERIFY2(form.openDesign(design, &error), qPrintable(error));
    const QVariantMap values = form.values();
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const QVariant value = values.value(it.key());
        if (it.value().typeId() == QMetaType::Double)
            QVERIFY2(qFuzzyCompare(value.toDouble(), it.value().toDouble()), qPrintable(it.key()));
        else
            QCOMPARE(value.toString(), it.value().toString());
    }
    form.renderEncoder(false);
    QCOMPARE(*form.currentImage(), image(png));
}

void TestDesign::optionsOverrideTheDesign_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("beside"); // the options given with --design
    QTest::addColumn<QStringList>("alone"); // the same pattern without a design
    QTest::newRow("a wider strip")
        << QByteArray(R"({"width": 50, "height": 15, "dpi": 300, "count": 5})")
        << QStringList { "--width", "80" }
        << QStringList { "--width", "80", "--height", "15", "--dpi", "300", "--bits", "5" };
    // As the window's switches: the Gray box speaks once the shape is a disc.
    QTest::newRow("the form's code follows the shape")
        << QByteArray(R"({"grayCode": true, "count": 6})") << QStringList { "--shape", "disc" }
        << QStringList { "--shape", "disc", "--code", "gray", "--bits", "6" };
    QTest::newRow("a new type starts at 16 pairs")
        << QByteArray(R"({"count": 6, "dpi": 200})") << QStringList { "--type", "relative" }
        << QStringList { "--type", "relative", "--pairs", "16", "--dpi", "200" };
    QTest::newRow("and at 4 bits")
        << QByteArray(R"({"disc": true, "relative": true, "count": 200})")
        << QStringList { "--type", "absolute" }
        << QStringList { "--shape", "disc", "--code", "binary", "--bits", "4" };
    QTest::newRow("counts per revolution of a strip design")
        << QByteArray(R"({"width": 30, "count": 3})") << QStringList { "--cpr", "100" }
        << QStringList { "--cpr", "100" };
}

// Options beside --design win over its values, as the window's controls would.
void TestDesign::optionsOverrideTheDesign()
{
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, beside);
    QFETCH(QStringList, alone);
    const QString design = path(QStringLiteral("over.quvelta"));
    QFile file(design);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"format": "quvelta-design", "version": 1, "settings": )" + settings + "}");
    file.close();
    const QString withDesign = path(QStringLiteral("design.png"));
    const QString withOptions = path(QStringLiteral("options.png"));
    const Run run = runRender(QStringList { "--design", design } << beside << "-o" << withDesign);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(runRender(alone << "-o" << withOptions).exitCode, 0);
    QCOMPARE(image(withDesign), image(withOptions));
}

// Keys that neither program knows stay in a design saved again, by either.
void TestDesign::unknownKeysStay()
{
    const QString first = path(QStringLiteral("first.quvelta"));
    QFile file(first);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"format": "quvelta-design", "version": 1, "settings": )"
               R"({"width": 50, "dpi": 300, "laserPower": 80}})");
    file.close();
    const QString second = path(QStringLiteral("second.quvelta"));
    const Run run = runRender({ "--design", first, "--width", "80", "--save-design", second });
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const auto settings = [](const QString &name) {
        QFile saved(name);
        return saved.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(saved.readAll()).object().value("settings").toObject()
            : QJsonObject();
    };
    QCOMPARE(settings(second).value("width").toDouble(), 80.0);
    QCOMPARE(settings(second).value("dpi").toInt(), 300);
    QCOMPARE(settings(second).value("laserPower").toInt(), 80);

    MainForm form;
    QString error;
    QVERIFY2(form.openDesign(second, &error), qPrintable(error));
    const QString third = path(QStringLiteral("third.quvelta"));
    QVERIFY2(form.saveDesign(third, &error), qPrintable(error));
    QCOMPARE(settings(third).value("laserPower").toInt(), 80);

    // A design that cannot be written is a failed write: status 1, its name and the reason.
    const QString nowhere = path(QStringLiteral("no/such/folder.quvelta"));
    const Run failed = runRender({ "--design", first, "--save-design", nowhere });
    QCOMPARE(failed.exitCode, 1);
    QVERIFY2(failed.err.contains(nowhere.toUtf8()), failed.err.constData());
}

void TestDesign::badDesigns_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // after "--design: FILE"
    const auto design = [](const QByteArray &settings, int version = 1) {
        return QByteArray(R"({"format": "quvelta-design", "version": )")
            + QByteArray::number(version) + R"(, "settings": )" + settings + "}";
    };
    QTest::newRow("not JSON") << QByteArray("{ width: 3") << " is not a Quvelta design: ";
    QTest::newRow("another format")
        << QByteArray(R"({"format": "svg", "settings": {}})") << " is not a Quvelta design";
    QTest::newRow("newer version") << design("{}", 2)
                                   << " is a design of format version 2; this Quvelta reads "
                                      "version 1";
    QTest::newRow("text for a number")
        << design(R"({"dpi": "600"})") << R"( has a bad value: "dpi": is not a whole number)";
    QTest::newRow("too wide") << design(R"({"width": 2500})")
                              << R"( has a bad value: "width": 2500 is not between 1 and 2000)";
    QTest::newRow("17 bits") << design(R"({"count": 17})")
                             << R"( has a bad value: "count": 17 is not between 1 and 16)";
    QTest::newRow("hole as large as the disc")
        << design(R"({"disc": true, "outerRadius": 10, "innerRadius": 10})")
        << R"( has a bad value: "innerRadius": 10 is not between 0 and 9.999)";
    QTest::newRow("see-through ink")
        << design(R"({"foreground": "#80ff0000"})")
        << R"( has a bad value: "foreground": #80ff0000 is not opaque)";
    QTest::newRow("a switch as a word")
        << design(R"({"disc": "yes"})") << R"( has a bad value: "disc": is not true or false)";
    QTest::newRow("unknown cut") << design(R"({"cut": "laser"})")
                                 << R"( has a bad value: "cut": is not "none", "marks" or "gaps")";
}

// A bad design is a usage error naming the file and what is wrong; nothing is written.
void TestDesign::badDesigns()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString name = path(QStringLiteral("bad.quvelta"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    const ParseResult parsed = parseRenderArguments(
        { "quvelta-render", "--design", name, "-o", path(QStringLiteral("bad.png")) });
    QCOMPARE(int(parsed.status), int(ParseResult::Status::UsageError));
    QVERIFY2(parsed.text.startsWith(QStringLiteral("--design: ") + name + message),
        qPrintable(parsed.text));

    const Run run = runRender({ "--design", name, "-o", path(QStringLiteral("bad.png")) });
    QCOMPARE(run.exitCode, 2);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("bad.png"))));
}

QTEST_MAIN(TestDesign)
#include "tst_design.moc"
