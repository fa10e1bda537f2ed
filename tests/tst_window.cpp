#include "mainform.h"
#include "renderoptions.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMimeData>
#include <QPrinter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

// The window with its modal dialogs and message boxes answered by the test.
class ScriptedForm : public MainForm
{
public:
    QStringList answers;
    QStringList errors;

protected:
    QString askSaveFileName(const QString &, const QString &) override
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void showError(const QString &text) override { errors << text; }
};

// The window as a user meets it: what it refuses to write, what it says, what it keeps.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void writesOnlyWhatIsShown_data();
    void writesOnlyWhatIsShown();
    void reasonsAreReadable_data();
    void reasonsAreReadable();

private:
    QTemporaryDir dir;
};

// Sets the window's controls: "circle", "relative", "positions=N", "code=I" (the More page's
// combo row), "quadrature", "index", "classic", "ruler", "bias=MM", "inner=MM", "height=MM",
// "dpi=N".
static void apply(MainForm &form, const QStringList &controls)
{
    const MainForm::Extras &more = form.extras();
    const auto spin
        = [&form](const char *name) { return form.findChild<QSpinBox *>(QLatin1String(name)); };
    for (const QString &control : controls) {
        const QString key = control.section(QLatin1Char('='), 0, 0);
        const QString value = control.section(QLatin1Char('='), 1);
        if (key == QLatin1String("circle"))
            form.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->setChecked(true);
        else if (key == QLatin1String("relative"))
            form.findChild<QRadioButton *>(QStringLiteral("relativeRadioButton"))->setChecked(true);
        else if (key == QLatin1String("positions")) {
            more.positionsCheck->setChecked(true);
            more.positionsSpin->setValue(value.toInt());
        } else if (key == QLatin1String("code"))
            more.codeCombo->setCurrentIndex(value.toInt());
        else if (key == QLatin1String("quadrature"))
            more.quadratureCheck->setChecked(true);
        else if (key == QLatin1String("index"))
            more.indexCheck->setChecked(true);
        else if (key == QLatin1String("classic"))
            more.classicPixelsCheck->setChecked(true);
        else if (key == QLatin1String("ruler"))
            more.calibrationCheck->setChecked(true);
        else if (key == QLatin1String("bias"))
            more.markBiasSpin->setValue(value.toDouble());
        else if (key == QLatin1String("inner"))
            spin("innerRadiusSpin")->setValue(value.toInt());
        else if (key == QLatin1String("height"))
            spin("heightSpin")->setValue(value.toInt());
        else if (key == QLatin1String("dpi"))
            spin("dpiSpin")->setValue(value.toInt());
        else
            QFAIL(qPrintable(control));
    }
}

static QAction *action(MainForm &form, const QString &text)
{
    for (QAction *a : form.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void TestWindow::writesOnlyWhatIsShown_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("way");
    struct Case
    {
        const char *name;
        QStringList controls;
        QStringList arguments;
    };
    // Each asks the More page for something that cannot be drawn; the last ones can be.
    const QList<Case> cases = {
        { "single-track 361", { "circle", "positions=361", "code=3" },
            { "--shape", "disc", "--positions", "361", "--code", "single-track" } },
        { "gray disc 361", { "circle", "positions=361" },
            { "--shape", "disc", "--positions", "361" } },
        { "single-track strip", { "code=3" }, { "--code", "single-track" } },
        { "classic with ruler", { "classic", "ruler" }, { "--classic-pixels", "--calibration" } },
        { "bias at the centre", { "circle", "inner=0", "bias=0.1" },
            { "--shape", "disc", "--inner-radius", "0", "--mark-bias", "0.1" } },
        { "three tracks in no room", { "relative", "quadrature", "index", "height=1", "dpi=10" },
            { "--type", "relative", "--quadrature", "--index", "--height", "1", "--dpi", "10" } },
        { "valid single-track 360", { "circle", "positions=360", "code=3" },
            { "--shape", "disc", "--positions", "360", "--code", "single-track" } },
        { "valid quadrature", { "relative", "quadrature", "index" },
            { "--type", "relative", "--quadrature", "--index" } },
    };
    const QStringList ways
        = { "image", "pdf", "svg", "vector pdf", "dxf", "decode table", "copy", "print" };
    for (const Case &c : cases) {
        for (const QString &way : ways) {
            // A relative pattern has no decode table: its action is off.
            if (way == QLatin1String("decode table") && c.controls.contains("relative"))
                continue;
            QTest::addRow("%s, %s", c.name, qPrintable(way)) << c.controls << c.arguments << way;
        }
    }
}

// Whatever the More page asks for that cannot be drawn, no save, copy or print falls back to the
// form's pattern: an error box gives the command line's reason and nothing is written. Settings
// the command line takes are written.
void TestWindow::writesOnlyWhatIsShown()
{
    QFETCH(QStringList, controls);
    QFETCH(QStringList, arguments);
    QFETCH(QString, way);
    const ParseResult cli
        = parseRenderArguments(QStringList { "quvelta-render" } << arguments << "-o"
                                                                << "x.png");
    const QString reason = cli.status == ParseResult::Status::UsageError ? cli.text : QString();
    QCOMPARE(cli.status == ParseResult::Status::Run, reason.isEmpty());

    const QString folder = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString suffix = way == QLatin1String("image") ? "png"
        : way == QLatin1String("svg")                    ? "svg"
        : way == QLatin1String("dxf")                    ? "dxf"
        : way == QLatin1String("decode table")           ? "csv"
                                                         : "pdf";
    const QString name = QDir(folder).filePath(QStringLiteral("out.") + suffix);

    ScriptedForm form;
    apply(form, controls);
    form.answers << name;
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    if (way == QLatin1String("image")) {
        form.onSaveButton();
    } else if (way == QLatin1String("pdf")) {
        form.onSavePDFButton();
    } else if (way == QLatin1String("print")) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(name);
        printer.setPageSize(QPageSize(QPageSize::A4));
        form.printTo(printer);
    } else {
        const QString text = way == QLatin1String("svg") ? "Save as SVG..."
            : way == QLatin1String("vector pdf")         ? "Save as vector PDF..."
            : way == QLatin1String("dxf")                ? "Save as DXF..."
            : way == QLatin1String("decode table")       ? "Save decode table..."
                                                         : "Copy image";
        QAction *a = action(form, text);
        QVERIFY2(a && a->isEnabled(), qPrintable(text));
        a->trigger();
    }

    const bool copied = QGuiApplication::clipboard()->mimeData()->hasImage();
    if (reason.isEmpty()) {
        QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
        if (way == QLatin1String("copy"))
            QVERIFY(copied);
        else
            QVERIFY(QFileInfo(name).size() > 0);
    } else {
        QCOMPARE(form.errors, QStringList { reason });
        QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QVERIFY(!copied);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    }
}

void TestWindow::reasonsAreReadable_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("single-track 361")
        << QStringList { "circle", "positions=361", "code=3" }
        << QStringList { "--shape", "disc", "--positions", "361", "--code", "single-track" };
    QTest::newRow("gray disc 361") << QStringList { "circle", "positions=361" }
                                   << QStringList { "--shape", "disc", "--positions", "361" };
    QTest::newRow("classic with ruler") << QStringList { "classic", "ruler" }
                                        << QStringList { "--classic-pixels", "--calibration" };
}

// The More page's red line holds the whole reason, advice included, in its text and its tooltip,
// and shows it wrapped over the lines its rectangle has, never drawn past its edges.
void TestWindow::reasonsAreReadable()
{
    QFETCH(QStringList, controls);
    QFETCH(QStringList, arguments);
    const ParseResult cli
        = parseRenderArguments(QStringList { "quvelta-render" } << arguments << "-o"
                                                                << "x.png");
    QCOMPARE(cli.status, ParseResult::Status::UsageError);

    MainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.findChild<QTabWidget *>(QStringLiteral("optionsTab"))->setCurrentIndex(2);
    apply(form, controls);
    const QLabel *label = form.extras().narrowestLabel;
    QCOMPARE(label->text(), cli.text);
    QTextDocument tip;
    tip.setHtml(label->toolTip());
    QVERIFY2(tip.toPlainText().contains(cli.text), qPrintable(tip.toPlainText()));

    const QSize room = label->contentsRect().size();
    const QStringList lines = MainForm::fitLines(label->text(), label->font(), room);
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY(lines.size() * MainForm::readOutLineStep(label->font()) <= room.height());
    QString shown;
    for (const QString &line : lines) {
        QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= room.width(), qPrintable(line));
        shown += line + QLatin1Char(' ');
    }
    shown = shown.remove(QChar(0x2026)).simplified();
    QVERIFY2(cli.text.startsWith(shown), qPrintable(shown));

    // Given the room, every word shows.
    const QStringList all
        = MainForm::fitLines(label->text(), label->font(), QSize(room.width(), room.height() * 20));
    QCOMPARE(all.join(QLatin1Char(' ')).simplified(), cli.text.simplified());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
