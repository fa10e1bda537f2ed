// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"
#include "outsidetools.h"
#include "pixelrule.h"
#include "preciseraster.h"
#include "renderer.h"
#include "renderoptions.h"
#include "testsupport.h"
#include "windowcontrols.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

// The window with its modal dialogs and message boxes answered by the test.
class ScriptedForm : public MainForm
{
public:
    QStringList answers;
    QStringList errors;
    QStringList questions; // what askPrintPages was asked
    bool printPages = false;
    QStringList reports; // what askUseMeasurement showed
    bool useMeasurement = true;

protected:
    QString askSaveFileName(const QString &, const QString &) override
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    void showError(const QString &text) override { errors << text; }
    QString askOpenFileName(const QString &, const QString &) override
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    bool askPrintPages(const QString &text) override
    {
        questions << text;
        return printPages;
    }
    bool askUseMeasurement(const QString &report) override
    {
        reports << report;
        return useMeasurement;
    }
};

// The window as a user meets it: what it refuses to write, what it says, what it keeps.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesOnlyWhatIsShown_data();
    void writesOnlyWhatIsShown();
    void reasonsAreReadable_data();
    void reasonsAreReadable();
    void printsInsideThePage_data();
    void printsInsideThePage();
    void printQuestionIsAMessageBox();
    void printRefusedOnTooSmallPaper();
    void keptBetweenRuns_data();
    void keptBetweenRuns();
    void restoresOnlyWhenChosen();
    void burstDrawsOnce_data();
    void burstDrawsOnce();
    void rendersTakenOrOvertaken();
    void designRoundTrip_data();
    void designRoundTrip();
    void badDesignsRefused_data();
    void badDesignsRefused();
    void shortcuts_data();
    void shortcuts();
    void captionsFitLargeFonts_data();
    void captionsFitLargeFonts();
    void suffixAdded();
    void calibrationPageMeasuredBack();
    void detailsOfTheReadOut();

private:
    QTemporaryDir dir;
};

void TestWindow::initTestCase()
{
    QVERIFY(dir.isValid());
    keepSettingsIn(dir.filePath(QStringLiteral("settings")), QStringLiteral("tst_window"));
    QVERIFY(QSettings().fileName().startsWith(dir.path()));
}

static QAction *action(MainForm &form, const QString &text)
{
    for (QAction *a : form.actions())
        if (QString(a->text()).remove(QLatin1Char('&')) == text) // without its mnemonic
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
    // Each asks the More page for something that cannot be drawn, or the outlines would show no
    // mark; the last ones can be drawn.
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
        // Refused as outlines only: images show the border lines, or the classic pixels.
        { "classic pixels", { "classic" }, { "--classic-pixels" } },
        { "no mark between the borders", { "height=1", "border=0.5" },
            { "--height", "1", "--border", "0.5" } },
        { "valid single-track 360", { "circle", "positions=360", "code=3" },
            { "--shape", "disc", "--positions", "360", "--code", "single-track" } },
        { "valid quadrature", { "relative", "quadrature", "index" },
            { "--type", "relative", "--quadrature", "--index" } },
        // Refused for cutters and plotters only: prints take the printer's scale.
        { "printer scale", { "scalex=0.992" }, { "--scale-x", "0.992" } },
        { "index wider than the strip's period allows",
            { "relative", "index", "indexwidth=360", "bits=1", "width=1" },
            { "--type", "relative", "--index", "--index-width", "360", "--pairs", "1", "--width",
                "1" } },
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
    // The command line asked for the same output.
    const QStringList output = way == QLatin1String("svg") ? QStringList { "-o", "x.svg" }
        : way == QLatin1String("dxf")                      ? QStringList { "-o", "x.dxf" }
        : way == QLatin1String("vector pdf")   ? QStringList { "--vector", "-o", "x.pdf" }
        : way == QLatin1String("decode table") ? QStringList { "--decode-table", "x.csv" }
        : way == QLatin1String("pdf") || way == QLatin1String("print")
        ? QStringList { "-o", "x.pdf" }
        : QStringList { "-o", "x.png" };
    const ParseResult cli
        = parseRenderArguments(QStringList { "quvelta-render" } << arguments << output);
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

void TestWindow::printsInsideThePage_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QSizeF>("paper"); // mm, portrait
    QTest::addColumn<bool>("landscape"); // the paper as the print dialog leaves it
    QTest::addColumn<QString>("asked"); // what the question says, in part; null when not asked
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("pages"); // printed; 0: nothing
    QTest::addColumn<bool>("landscapePrinted");
    const QSizeF a4(210, 297), a5(148, 210);
    QTest::newRow("100 mm strip") << QStringList {} << a4 << false << QString() << false << 1
                                  << false;
    QTest::newRow("200 mm strip, turned")
        << QStringList { "width=200" } << a4 << false << QString() << false << 1 << true;
    QTest::newRow("200 mm strip on landscape paper")
        << QStringList { "width=200" } << a4 << true << QString() << false << 1 << true;
    QTest::newRow("200 mm tall strip, turned") << QStringList { "width=20", "height=200" } << a4
                                               << true << QString() << false << 1 << false;
    QTest::newRow("disc of radius 100 on A4, two pages")
        << QStringList { "circle", "outer=100" } << a4 << true
        << "The pattern is 200.1 x 200.1 mm; it will print on 2 pages of A4 (portrait), 2 across "
           "and 1 down, to be joined along the marks."
        << true << 2 << false;
    QTest::newRow("disc of radius 100 on A5, four pages")
        << QStringList { "circle", "outer=100" } << a5 << false << "4 pages of A5 (portrait)"
        << true << 4 << false;
    QTest::newRow("200 mm strip on A6, landscape pages")
        << QStringList { "width=200" } << QSizeF(105, 148) << false
        << "2 pages of A6 (landscape), 2 across and 1 down" << true << 2 << true;
    QTest::newRow("disc of radius 100, cancelled")
        << QStringList { "circle", "outer=100" } << a4 << false << "2 pages" << false << 0 << false;
}

// A pattern is never printed off the page: turned when it fits the other way, else tiled as the
// tiled PDF tiles it after saying so. Every page is at 1:1: the single pattern's edges land 10 mm
// in; a tile's crosses sit at their millimetres and neighbours repeat the same overlap.
void TestWindow::printsInsideThePage()
{
    QUVELTA_NEEDS("pdfinfo", "pdftoppm");
    QFETCH(QStringList, controls);
    QFETCH(QSizeF, paper);
    QFETCH(bool, landscape);
    QFETCH(QString, asked);
    QFETCH(bool, answer);
    QFETCH(int, pages);
    QFETCH(bool, landscapePrinted);
    ScriptedForm form;
    form.findChild<QCheckBox *>(QStringLiteral("autoPreviewCheck"))->setChecked(false);
    apply(form, controls);
    form.printPages = answer;
    const QString name = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".pdf");
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
    printer.setPageSize(QPageSize(paper, QPageSize::Millimeter));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setResolution(300);
    // The tiles' crosses and edges below are measured from the paper's corner.
    QCOMPARE(printer.pageLayout().minimumMargins(), QMarginsF());
    form.printTo(printer);

    QCOMPARE(form.questions.size(), asked.isNull() ? 0 : 1);
    if (!asked.isNull())
        QVERIFY2(form.questions.first().contains(asked), qPrintable(form.questions.first()));
    QVERIFY(form.errors.isEmpty());
    QCOMPARE(QFileInfo::exists(name), pages > 0);
    if (pages == 0)
        return;
    const QByteArray info = runProgram(QStringLiteral("pdfinfo"), { name }).out;
    const QSizeF pt = (landscapePrinted ? paper.transposed() : paper) * 72 / 25.4;
    // Qt's PDF engine rounds the page to whole points.
    const QRegularExpressionMatch size
        = QRegularExpression(QStringLiteral("Page size: +([0-9.]+) x ([0-9.]+) pts"))
              .match(QString::fromLatin1(info));
    QVERIFY2(size.hasMatch(), info.constData());
    QVERIFY2(std::abs(size.captured(1).toDouble() - pt.width()) < 1
            && std::abs(size.captured(2).toDouble() - pt.height()) < 1,
        info.constData());
    QVERIFY2(info.contains("Pages:           " + QByteArray::number(pages)), info.constData());
    const double mm = 300 / 25.4; // the pictures' pixels per millimetre
    runProgram(QStringLiteral("pdftoppm"),
        { "-r", "300", "-gray", "-png", name, dir.filePath(QStringLiteral("page")) });
    const auto picture = [&](int n) {
        const QString digits = pages >= 10 ? QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'))
                                           : QString::number(n);
        return QImage(dir.filePath(QStringLiteral("page-%1.png").arg(digits)));
    };
    const QImage first = picture(1);
    QVERIFY(!first.isNull());
    const auto dark = [](const QImage &page, QPointF atMm) {
        const QPoint p = (atMm * 300 / 25.4).toPoint();
        return qGray(page.pixel(p)) < 128;
    };
    if (pages == 1) {
        // The pattern's border lines, found on the page: 10 mm in, and its far edges on the paper.
        QRect ink;
        for (int y = 0; y < first.height(); ++y)
            for (int x = 0; x < first.width(); ++x)
                if (qGray(first.pixel(x, y)) < 128)
                    ink |= QRect(x, y, 1, 1);
        EncoderSettings s = form.settings();
        s.dpi = printer.resolution();
        const QSize size = PixelRule::imageSize(s);
        QVERIFY2(std::abs(ink.left() - 10 * mm) <= 2 && std::abs(ink.top() - 10 * mm) <= 2,
            qPrintable(QStringLiteral("%1,%2").arg(ink.left()).arg(ink.top())));
        QVERIFY2(std::abs(ink.width() - size.width()) <= 2
                && std::abs(ink.height() - size.height()) <= 2,
            qPrintable(QStringLiteral("%1 x %2").arg(ink.width()).arg(ink.height())));
        QVERIFY(ink.right() < first.width() - 1 && ink.bottom() < first.height() - 1);
        return;
    }
    // Tiles: 15 mm margins, 10 mm overlaps, crosses 9 mm out from the area, mid-overlap. The
    // first page's seam with its right neighbour: a cross above the area.
    const QSizeF page = landscapePrinted ? paper.transposed() : paper;
    const double stepX = page.width() - 30 - 10;
    const QPointF cross(15 + stepX + 5, 15 - 9);
    for (QPointF arm : { QPointF(0, 0), QPointF(2, 0), QPointF(-2, 0), QPointF(0, 2) })
        QVERIFY2(dark(first, cross + arm), qPrintable(QStringLiteral("%1").arg(arm.x())));
    QVERIFY(!dark(first, cross + QPointF(1.5, 1.5)));
    // The overlap: the last 10 mm of the first page's area are the first 10 mm of the second's.
    const QImage second = picture(2);
    QVERIFY(!second.isNull());
    const auto differing = [&](double shiftMm) {
        int inked = 0, differ = 0, all = 0;
        for (double y = 16; y < 15 + std::min(page.height() - 30, 190.0) - 1; y += 0.25)
            for (double x = 1; x < 9; x += 0.25) {
                const bool a = dark(first, QPointF(15 + stepX + x + shiftMm, y));
                inked += a;
                differ += a != dark(second, QPointF(15 + x, y));
                ++all;
            }
        if (inked == 0 || inked == all)
            return -1.0; // nothing to compare
        return double(differ) / all;
    };
    const double same = differing(0);
    QVERIFY2(same >= 0 && same < 0.02, qPrintable(QString::number(same)));
    QVERIFY(differing(1) > same); // a page 1 mm off would show
}

// Unscripted, the question before printing tiles is a box with Print and Cancel; its default
// prints.
void TestWindow::printQuestionIsAMessageBox()
{
    QUVELTA_NEEDS("pdfinfo");
    MainForm form;
    apply(form, { "circle", "outer=100" });
    const QString name = dir.filePath(QStringLiteral("asked.pdf"));
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(300);
    QStringList buttons;
    QString text;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        for (QAbstractButton *button : box->buttons())
            buttons << button->text().remove(QLatin1Char('&'));
        box->defaultButton()->click();
    });
    form.printTo(printer);
    buttons.sort();
    QCOMPARE(buttons, QStringList({ "Cancel", "Print" }));
    QVERIFY2(text.contains(QLatin1String("200.1 x 200.1 mm")) && text.contains(QLatin1String("A4")),
        qPrintable(text));
    const QByteArray info = runProgram(QStringLiteral("pdfinfo"), { name }).out;
    QVERIFY2(info.contains("Pages:           2"), info.constData());
}

// A page too small even for tiles is refused with the paper the pattern needs: 10 mm in, so the
// 100.1 x 20.1 mm strip needs 111 x 31 mm (with this printer's zero margins).
void TestWindow::printRefusedOnTooSmallPaper()
{
    ScriptedForm form;
    form.findChild<QCheckBox *>(QStringLiteral("autoPreviewCheck"))->setChecked(false);
    const QString name = dir.filePath(QStringLiteral("refused.pdf"));
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
    printer.setPageSize(QPageSize(QSizeF(35, 35), QPageSize::Millimeter));
    printer.setResolution(300);
    form.printTo(printer);
    QVERIFY(form.questions.isEmpty());
    QCOMPARE(form.errors.size(), 1);
    QVERIFY2(form.errors.first().contains(QLatin1String("at least 111 x 31 mm")),
        qPrintable(form.errors.first()));
    QVERIFY(!QFileInfo::exists(name));
}

// Every value a user can set: the form's widgets by name, then the More page's.
static QStringList snapshot(const MainForm &form)
{
    QStringList values;
    const auto value = [&values](const QWidget *w) {
        if (const auto *spin = qobject_cast<const QSpinBox *>(w))
            values << QString::number(spin->value());
        else if (const auto *real = qobject_cast<const QDoubleSpinBox *>(w))
            values << QString::number(real->value());
        else if (const auto *button = qobject_cast<const QAbstractButton *>(w))
            values << QString::number(button->isChecked());
        else if (const auto *combo = qobject_cast<const QComboBox *>(w))
            values << QString::number(combo->currentIndex());
        else
            values << w->palette().color(QPalette::Window).name(QColor::HexArgb); // a swatch
    };
    for (const char *name : { "barRadioButton", "circleRadioButton", "absoluteRadioButton",
             "relativeRadioButton", "autoPreviewCheck", "widthSpin", "heightSpin",
             "outerRadiusSpin", "innerRadiusSpin", "centerMarkCheck", "borderCheck", "borderSpin",
             "pairsBitsSpin", "bitOrderButton", "dpiSpin", "foregroundColorWidget",
             "backgroundColorWidget", "qualityCheck", "grayCodeCheck" }) {
        const QWidget *w = form.findChild<QWidget *>(QLatin1String(name));
        if (!w)
            return { QLatin1String(name) + QLatin1String(" missing") };
        value(w);
    }
    const MainForm::Extras &more = form.extras();
    for (const QWidget *w : std::initializer_list<const QWidget *> { more.positionsCheck,
             more.positionsSpin, more.codeCombo, more.quadratureCheck, more.indexCheck,
             more.classicPixelsCheck, more.markBiasSpin, more.calibrationCheck })
        value(w);
    return values;
}

void TestWindow::keptBetweenRuns_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::newRow("form of a strip") << QStringList { "bits=7", "msb", "width=123", "height=45",
        "noborder", "border=0.25", "dpi=300", "plain", "fg=#204060", "bg=#ffeedd" };
    QTest::newRow("small disc, More page") << QStringList { "circle", "outer=5", "inner=2",
        "nocenter", "nogray", "positions=360", "code=3", "ruler", "bias=0.03" };
    QTest::newRow("relative, auto preview off")
        << QStringList { "relative", "bits=300", "quadrature", "index", "classic", "noauto" };
    QTest::newRow("single-track disc of 361, not drawn")
        << QStringList { "circle", "positions=361", "code=3" };
}

// What a window is closed with, the next one that restores starts with: the form and the More
// page alike. A window that does not restore starts as the form's defaults.
void TestWindow::keptBetweenRuns()
{
    QFETCH(QStringList, controls);
    QSettings().clear();
    MainForm::setRestoresAtStart(true); // the user's choice in the Options dialog
    QStringList defaults;
    {
        const MainForm fresh;
        defaults = snapshot(fresh);
    }
    QStringList changed;
    QString title;
    {
        MainForm first;
        first.restoreSettings();
        QCOMPARE(snapshot(first), defaults); // nothing kept yet
        first.show();
        apply(first, controls);
        first.renderEncoder(false);
        changed = snapshot(first);
        title = first.windowTitle();
        QVERIFY(changed != defaults);
        QVERIFY(first.close());
    }
    {
        const MainForm untouched;
        QCOMPARE(snapshot(untouched), defaults);
    }
    MainForm second;
    second.restoreSettings();
    QCOMPARE(snapshot(second), changed);
    QCOMPARE(second.windowTitle(), title);
    QVERIFY(second.currentImage() && !second.currentImage()->isNull());
    QCOMPARE(second.currentImage()->size(), patternImageSize(second.settings()));
    // Kept values that cannot be drawn show their reason: the More page is up.
    QString problem;
    second.settings(&problem);
    QCOMPARE(second.findChild<QTabWidget *>(QStringLiteral("optionsTab"))->currentIndex() == 2,
        !problem.isEmpty());
}

// Without the user's choice the window starts as the form's defaults, though it keeps what it was
// closed with; chosen in the Options dialog, the next start takes those values.
void TestWindow::restoresOnlyWhenChosen()
{
    QSettings().clear();
    {
        MainForm first;
        first.restoreSettings();
        QVERIFY(!first.extras().restoreCheck->isChecked());
        first.show();
        apply(first, { "dpi=300", "width=150.5" });
        QVERIFY(first.close());
    }
    {
        MainForm second;
        second.restoreSettings();
        QCOMPARE(second.findChild<QSpinBox *>(QStringLiteral("dpiSpin"))->value(), 600);
        second.extras().restoreCheck->setChecked(true); // not closed: keeps nothing this time
    }
    QVERIFY(MainForm::restoresAtStart());
    MainForm third;
    third.restoreSettings();
    QVERIFY(third.extras().restoreCheck->isChecked());
    QCOMPARE(third.findChild<QSpinBox *>(QStringLiteral("dpiSpin"))->value(), 300);
    QCOMPARE(third.findChild<QDoubleSpinBox *>(QStringLiteral("widthSpin"))->value(), 150.5);
    QSettings().clear();
}

void TestWindow::burstDrawsOnce_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed"); // "up" for ten arrow steps
    QTest::newRow("typing 1024 pairs") << QStringList { "relative" } << "pairsBitsSpin"
                                       << "1024";
    QTest::newRow("ten steps up the dpi") << QStringList { "circle", "dpi=300" } << "dpiSpin"
                                          << "up";
    QTest::newRow("typing a width of 150.25") << QStringList {} << "widthSpin"
                                              << "150.25";
    // Large enough for a quick preview-sized render first, which is not a drawn image.
    QTest::newRow("ten steps up on a large disc")
        << QStringList { "circle", "outer=40", "dpi=300" } << "dpiSpin"
        << "up";
}

// Quick changes draw one image, of the last value, and none of it on the window's thread while
// the changes come.
void TestWindow::burstDrawsOnce()
{
    QFETCH(QStringList, controls);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    MainForm form;
    apply(form, controls);
    QTRY_VERIFY(!form.renderPending());
    const int drawn = form.imagesDrawn();
    const int asked = form.renderCount();
    auto *spin = form.findChild<QAbstractSpinBox *>(field);
    QVERIFY(spin);
    const QString before = spin->text();
    if (typed == QLatin1String("up")) {
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(spin, Qt::Key_Up);
    } else {
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spin, typed);
    }
    QVERIFY(form.renderCount() - asked >= 3); // every step asked for a render
    QVERIFY(form.renderPending());
    QCOMPARE(form.imagesDrawn(), drawn);
    QTRY_VERIFY(!form.renderPending());
    QCOMPARE(form.imagesDrawn() - drawn, 1);
    if (typed != QLatin1String("up"))
        QCOMPARE(spin->text(), typed);
    else
        QVERIFY(spin->text() != before);
    QCOMPARE(*form.currentImage(), renderEncoderImage(form.settings(), false));
    QCOMPARE(form.imagesDrawn() - drawn, 1); // the image shown was already the last one
}

// A large pattern's full render, overtaken by a change while it runs or waited for by a save,
// never shows a stale picture, and the window renders on afterwards.
void TestWindow::rendersTakenOrOvertaken()
{
    MainForm form;
    // The largest disc: its full render takes long enough to be overtaken.
    apply(form, { "circle", "outer=100", "dpi=1200" });
    QTRY_VERIFY_WITH_TIMEOUT(!form.renderPending(), 20000);
    auto *order = form.findChild<QPushButton *>(QStringLiteral("bitOrderButton"));
    auto *border = form.findChild<QDoubleSpinBox *>(QStringLiteral("borderSpin"));
    QVERIFY(order && border);
    const auto settled
        = [&form] { return *form.currentImage() == renderEncoderImage(form.settings(), false); };
    // Overtaken: a change once the render of the one before is under way.
    order->toggle();
    QTest::qWait(450); // the controls rest; the full render starts
    border->setValue(2.5);
    QTRY_VERIFY_WITH_TIMEOUT(!form.renderPending(), 20000);
    QVERIFY(settled());
    // Waited for while it runs, its end reported to the window afterwards.
    order->toggle();
    QTest::qWait(450);
    QVERIFY(settled());
    QTest::qWait(100);
    // And on: the next change renders as ever.
    const int drawn = form.imagesDrawn();
    border->setValue(1.5);
    QVERIFY(form.renderPending());
    QTRY_VERIFY_WITH_TIMEOUT(!form.renderPending(), 20000);
    QCOMPARE(form.imagesDrawn() - drawn, 1);
    QVERIFY(settled());
}

void TestWindow::designRoundTrip_data()
{
    keptBetweenRuns_data();
    QTest::newRow("the Options dialog") << QStringList { "relative", "index", "indexwidth=180",
        "sensormarks", "transparent", "aperture=0.25", "scalex=0.992", "scaley=1.013" };
    QTest::newRow("sizes in decimals")
        << QStringList { "width=99.875", "height=12.5", "circle", "outer=23.36", "inner=1.5" };
}

// A design written and opened again gives every value back; the title names it and stars it
// while the window differs from it.
void TestWindow::designRoundTrip()
{
    QFETCH(QStringList, controls);
    const QString name = dir.filePath(QStringLiteral("%1.quvelta").arg(QTest::currentDataTag()));
    QVariantMap values;
    QStringList shown;
    {
        ScriptedForm first;
        apply(first, controls);
        values = first.values();
        shown = snapshot(first);
        first.answers << name;
        action(first, QStringLiteral("Save design..."))->trigger();
        QVERIFY2(first.errors.isEmpty(), qPrintable(first.errors.join(QLatin1Char('\n'))));
        QVERIFY(first.windowTitle().endsWith(QStringLiteral(" - %1").arg(QTest::currentDataTag())));
        apply(first, { "dpi=123" });
        QVERIFY(first.windowTitle().endsWith(QLatin1Char('*')));
    }
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("format")).toString(), QStringLiteral("quvelta-design"));
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), MainForm::designVersion);
    QCOMPARE(root.value(QStringLiteral("settings")).toObject().size(), values.size());

    ScriptedForm second;
    second.answers << name;
    action(second, QStringLiteral("Open design..."))->trigger();
    QVERIFY2(second.errors.isEmpty(), qPrintable(second.errors.join(QLatin1Char('\n'))));
    QCOMPARE(second.values(), values);
    QCOMPARE(snapshot(second), shown);
    QCOMPARE(second.designFile(), name);
    QVERIFY(!second.windowTitle().endsWith(QLatin1Char('*')));
    QCOMPARE(MainForm::recentDesigns().value(0), QFileInfo(name).absoluteFilePath());
    // A change that does not render (the disc's size under a strip, or the reverse) stars it too.
    const bool disc
        = second.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->isChecked();
    second.findChild<QDoubleSpinBox *>(disc ? "heightSpin" : "outerRadiusSpin")->setValue(7);
    QVERIFY(second.windowTitle().endsWith(QLatin1Char('*')));
}

void TestWindow::badDesignsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // after the file's name; empty: opens
    const auto design = [](const QByteArray &settings, int version = 1) {
        return QByteArray(R"({"format": "quvelta-design", "version": )")
            + QByteArray::number(version) + R"(, "settings": )" + settings + "}";
    };
    QTest::newRow("not JSON") << QByteArray("{ width: 3") << " is not a Quvelta design: ";
    QTest::newRow("other JSON") << QByteArray(R"({"width": 3})") << " is not a Quvelta design";
    QTest::newRow("newer version") << design("{}", 2)
                                   << " is a design of format version 2; this Quvelta reads "
                                      "version 1";
    QTest::newRow("text for a number")
        << design(R"({"dpi": "600"})") << R"( has a bad value: "dpi": is not a whole number)";
    QTest::newRow("dpi out of range") << design(R"({"width": 150, "dpi": 5000})")
                                      << R"( has a bad value: "dpi": 5000 is not between 10 )"
                                         R"(and 1200; nothing was changed)";
    QTest::newRow("a thousandth too fine")
        << design(R"({"width": 10.0004})")
        << R"( has a bad value: "width": 10.0004 has more than 3 decimals)";
    QTest::newRow("bits as a fraction")
        << design(R"({"count": 4.5})") << R"( has a bad value: "count": is not a whole number)";
    QTest::newRow("no colour") << design(R"({"foreground": "blackish"})")
                               << R"( has a bad value: "foreground": is not a colour)";
    QTest::newRow("a word for a switch")
        << design(R"({"disc": "yes"})") << R"( has a bad value: "disc": is not true or false)";
    QTest::newRow("what only the command line draws")
        << design(R"({"width": 150, "code": 4, "invert": true, "bore": 6})")
        << " holds settings the window does not draw (code, invert, bore)";
    QTest::newRow("unknown keys ignored")
        << design(R"({"width": 150, "laserPower": 80})") << QString();
}

// A file that is not a design, or holds a value the window cannot take, is a message naming it;
// the window keeps every value it had.
void TestWindow::badDesignsRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString name = dir.filePath(QStringLiteral("bad.quvelta"));
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    ScriptedForm form;
    const QVariantMap before = form.values();
    const QString title = form.windowTitle();
    form.answers << name;
    action(form, QStringLiteral("Open design..."))->trigger();
    if (error.isEmpty()) {
        QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
        QCOMPARE(form.findChild<QDoubleSpinBox *>(QStringLiteral("widthSpin"))->value(), 150.0);
        return;
    }
    QCOMPARE(form.errors.size(), 1);
    QVERIFY2(form.errors[0].startsWith(name + error), qPrintable(form.errors[0]));
    QCOMPARE(form.values(), before);
    QCOMPARE(form.windowTitle(), title);
    QVERIFY(form.designFile().isEmpty());
}

void TestWindow::shortcuts_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("action");
    const QStringList rows = { "Ctrl+S|Save image...", "Ctrl+E|Save image...",
        "Ctrl+Shift+E|Save as SVG...", "Ctrl+Shift+D|Save as DXF...", "Ctrl+P|Print...",
        "Ctrl+C|Copy image", "Ctrl+O|Open design...", "Ctrl+Shift+S|Save design...", "Ctrl+Q|Quit",
        "Ctrl+,|Options..." };
    for (const QString &row : rows)
        QTest::newRow(qPrintable(row.section(QLatin1Char('|'), 0, 0)))
            << row.section(QLatin1Char('|'), 0, 0) << row.section(QLatin1Char('|'), 1);
}

// Each key reaches exactly one action, and that action is in the preview's menu.
void TestWindow::shortcuts()
{
    QFETCH(QString, keys);
    QFETCH(QString, action);
    MainForm form;
    QStringList found;
    for (const QAction *a : form.actions())
        if (a->shortcuts().contains(QKeySequence(keys)))
            found << QString(a->text()).remove(QLatin1Char('&'));
    QCOMPARE(found, QStringList { action });
    const QWidget *preview = form.findChild<QWidget *>(QStringLiteral("preview"));
    QCOMPARE(preview->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(preview->actions().contains(::action(form, action)));
}

void TestWindow::captionsFitLargeFonts_data()
{
    addDesktopFontRows();
}

// At a large desktop font radio buttons, group titles and spin boxes fit their rectangles as the
// style lays them out; spin boxes hold four digits.
void TestWindow::captionsFitLargeFonts()
{
    QFETCH(int, pixels);
    const DesktopFontSize fontSize(pixels);
    {
        MainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QStringList clipped = clippedCaptions(&form, false);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(", "))));
        for (const char *name : { "pairsBitsSpin", "dpiSpin", "widthSpin", "heightSpin",
                 "outerRadiusSpin", "innerRadiusSpin", "borderSpin" }) {
            const auto *spin = form.findChild<QAbstractSpinBox *>(QLatin1String(name));
            const QLineEdit *edit = spin->findChild<QLineEdit *>();
            const QString widest = qobject_cast<const QSpinBox *>(spin)
                ? QStringLiteral("1200")
                : qobject_cast<const QDoubleSpinBox *>(spin)->textFromValue(
                    qobject_cast<const QDoubleSpinBox *>(spin)->maximum());
            // A line edit keeps two pixels each side of its text.
            QVERIFY2(edit->fontMetrics().horizontalAdvance(widest) + 4 <= edit->width(),
                qPrintable(QStringLiteral("%1: %2 in %3 px").arg(name, widest).arg(edit->width())));
        }
        QCOMPARE(form.size(), QSize(456, 442));
    }
}

// A name given without a suffix takes the one of the only format that entry writes.
void TestWindow::suffixAdded()
{
    for (const char *name : { "Save PDF...|pdf", "Save as SVG...|svg", "Save as DXF...|dxf" }) {
        const QString entry = QString::fromLatin1(name);
        const QString folder = dir.filePath(QStringLiteral("bare-") + entry.section('|', 1));
        QVERIFY(QDir().mkpath(folder));
        ScriptedForm form;
        form.answers << QDir(folder).filePath(QStringLiteral("pattern"));
        action(form, entry.section('|', 0, 0))->trigger();
        QVERIFY(form.errors.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files), { "pattern." + entry.section('|', 1) });
    }
}

// The calibration page saved from the window and measured back by it: drawn for the printer
// scale in use, 1/F as large, and not printed, it measures 1/F, which the window then takes.
void TestWindow::calibrationPageMeasuredBack()
{
    const QString page = dir.filePath(QStringLiteral("calibration-page.png"));
    ScriptedForm form;
    form.extras().scaleXSpin->setValue(1.02);
    form.extras().scaleYSpin->setValue(0.99);
    form.answers << page;
    action(form, QStringLiteral("Calibration page..."))->trigger();
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
    QVERIFY(QFileInfo(page).size() > 0);

    form.useMeasurement = false; // declined: nothing changes
    form.answers << page;
    action(form, QStringLiteral("Measure a scan..."))->trigger();
    QVERIFY2(form.errors.isEmpty(), qPrintable(form.errors.join(QLatin1Char('\n'))));
    QCOMPARE(form.reports.size(), 1);
    QCOMPARE(form.extras().scaleXSpin->value(), 1.02);

    form.useMeasurement = true;
    form.answers << page;
    action(form, QStringLiteral("Measure a scan..."))->trigger();
    QCOMPARE(form.reports.size(), 2);
    QVERIFY2(qAbs(form.extras().scaleXSpin->value() - 1 / 1.02) < 0.0006,
        qPrintable(QString::number(form.extras().scaleXSpin->value())));
    QVERIFY2(qAbs(form.extras().scaleYSpin->value() - 1 / 0.99) < 0.0006,
        qPrintable(QString::number(form.extras().scaleYSpin->value())));
    QCOMPARE(form.extras().markBiasSpin->value(), 0.0);

    // Not a calibration page: a clear error, no question.
    const QString other = dir.filePath(QStringLiteral("not-a-target.png"));
    QImage blank(400, 300, QImage::Format_Grayscale8);
    blank.fill(255);
    blank.setDotsPerMeterX(11811);
    blank.setDotsPerMeterY(11811);
    QVERIFY(blank.save(other));
    form.answers << other;
    action(form, QStringLiteral("Measure a scan..."))->trigger();
    QCOMPARE(form.errors.size(), 1);
    QCOMPARE(form.reports.size(), 2);
}

// The read-out's whole text, advice and details included, one click away.
void TestWindow::detailsOfTheReadOut()
{
    const ParseResult cli = parseRenderArguments(
        { "quvelta-render", "--shape", "disc", "--positions", "361", "-o", "x.png" });
    MainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    apply(form, { "circle", "positions=361" });
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            QTextDocument text;
            text.setHtml(box->text());
            shown = text.toPlainText();
            box->close();
        }
    });
    QTest::mouseClick(form.extras().narrowestLabel, Qt::LeftButton);
    QVERIFY2(shown.contains(cli.text), qPrintable(shown));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
