// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "codes.h"
#include "mainform.h"
#include "outsidetools.h"
#include "patterngeometry.h"
#include "pixelrule.h"
#include "preview.h"
#include "testsupport.h"
#include "windowcontrols.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define QUVELTA_HAVE_RLIMIT
#endif

// The window's third page, printing and the preview on a high-DPI screen.
class TestWindowExtras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void sameAsTheCommandLine_data();
    void sameAsTheCommandLine();
    void controlsFollowShapeAndType();
    void readoutTurnsRed();
    void singleTrackCounts_data();
    void singleTrackCounts();
    void printsAtPhysicalSize();
    void crispPreview();
    void captionsFitEachAlone_data();
    void captionsFitEachAlone();
    void outOfMemoryIsAnErrorBox();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

static QByteArray run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    const Run result = runProgram(program, arguments);
    if (exitCode)
        *exitCode = result.exitCode;
    return result.out;
}

void TestWindowExtras::sameAsTheCommandLine_data()
{
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("360-position gray disc") << QStringList { "circle", "positions=360",
        "plain" } << QStringList { "--shape", "disc", "--positions", "360", "--no-antialias" };
    QTest::newRow("gray strip") << QStringList { "code=2" } << QStringList { "--code", "gray" };
    QTest::newRow("single-track disc") << QStringList { "circle",
        "code=3" } << QStringList { "--shape", "disc", "--code", "single-track" };
    QTest::newRow("single-track disc, 126 positions")
        << QStringList { "circle", "code=3", "positions=126" }
        << QStringList { "--shape", "disc", "--code", "single-track", "--positions", "126" };
    QTest::newRow("single-track disc, 60 positions")
        << QStringList { "circle", "code=3", "positions=60" }
        << QStringList { "--shape", "disc", "--code", "single-track", "--positions", "60" };
    QTest::newRow("quadrature disc with index")
        << QStringList { "circle", "relative", "quadrature", "index" }
        << QStringList { "--shape", "disc", "--type", "relative", "--quadrature", "--index" };
    QTest::newRow("strip, bias") << QStringList { "relative", "bias=-0.05",
        "plain" } << QStringList { "--type", "relative", "--mark-bias", "-0.05", "--no-antialias" };
    QTest::newRow("classic pixels") << QStringList { "classic", "plain" }
                                    << QStringList { "--classic-pixels", "--no-antialias" };
    QTest::newRow("classic pixels, disc") << QStringList { "circle", "classic" }
                                          << QStringList { "--shape", "disc", "--classic-pixels" };
    QTest::newRow("calibrated disc")
        << QStringList { "circle", "ruler" } << QStringList { "--shape", "disc", "--calibration" };
    // The Options dialog.
    QTest::newRow("wide index") << QStringList { "relative", "index", "indexwidth=270" }
                                << QStringList { "--type", "relative", "--index", "--index-width",
                                       "270" };
    QTest::newRow("sensor marks, disc") << QStringList { "circle", "sensormarks" }
                                        << QStringList { "--shape", "disc", "--sensor-marks" };
    QTest::newRow("printer scale") << QStringList { "scalex=0.992", "scaley=1.013" }
                                   << QStringList { "--scale-x", "0.992", "--scale-y", "1.013" };
    QTest::newRow("index width on an absolute strip changes nothing")
        << QStringList { "indexwidth=180" } << QStringList {};
}

// Each control changes the render as the matching option of quvelta-render does.
void TestWindowExtras::sameAsTheCommandLine()
{
    QFETCH(QStringList, controls);
    QFETCH(QStringList, arguments);
    const QString name = path(QStringLiteral("cli.png"));
    int exitCode = -1;
    run(renderProgram(), QStringList(arguments) << "-o" << name, &exitCode);
    QCOMPARE(exitCode, 0);
    MainForm form;
    apply(form, controls);
    form.renderEncoder(false);
    const QImage cli = QImage(name).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(cli.size(), form.currentImage()->size());
    QVERIFY(cli == *form.currentImage());
    QCOMPARE(form.windowTitle(),
        QStringLiteral("Quvelta by ardin51, %1 x %2").arg(cli.width()).arg(cli.height()));
}

void TestWindowExtras::controlsFollowShapeAndType()
{
    MainForm form;
    const MainForm::Extras &more = form.extras();
    QVERIFY(more.codeCombo->isEnabled() && more.positionsCheck->isEnabled());
    QVERIFY(!more.quadratureCheck->isEnabled() && !more.indexCheck->isEnabled());
    QVERIFY(!more.positionsSpin->isEnabled());
    // "Use Gray code" is off while the More page chooses the code itself.
    auto *gray = form.findChild<QCheckBox *>(QStringLiteral("grayCodeCheck"));
    form.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->setChecked(true);
    for (int code : { 1, 2, 3, 0 }) {
        more.codeCombo->setCurrentIndex(code);
        QCOMPARE(gray->isEnabled(), code == 0);
    }
    form.findChild<QRadioButton *>(QStringLiteral("barRadioButton"))->setChecked(true);
    form.findChild<QRadioButton *>(QStringLiteral("relativeRadioButton"))->setChecked(true);
    QVERIFY(!more.codeCombo->isEnabled() && !more.positionsCheck->isEnabled());
    QVERIFY(more.quadratureCheck->isEnabled() && more.indexCheck->isEnabled());
    // The form's shape switch keeps selecting its own two pages.
    auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("optionsTab"));
    QCOMPARE(tabs->count(), 3);
    tabs->setCurrentIndex(2);
    const int renders = form.renderCount();
    QCOMPARE(form.renderCount(), renders); // choosing the page by hand changes nothing
    form.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->setChecked(true);
    QCOMPARE(tabs->currentIndex(), 1);
}

void TestWindowExtras::readoutTurnsRed()
{
    MainForm form;
    const MainForm::Extras &more = form.extras();
    const QColor normal = more.narrowestLabel->palette().color(QPalette::WindowText);
    QVERIFY(more.narrowestLabel->text().contains(QLatin1String("6.25 mm = 148 px")));
    QVERIFY(normal != QColor(Qt::red));
    // Sixteen 65,536 steps over 100 mm at 600 dpi: the finest marks are 0.04 px.
    form.findChild<QCheckBox *>(QStringLiteral("autoPreviewCheck"))->setChecked(false);
    apply(form, { "positions=65536" });
    QCOMPARE(more.narrowestLabel->palette().color(QPalette::WindowText), QColor(Qt::red));
    // Classic pixels on a fine strip: the read-out names the tracks that read wrong positions.
    apply(form, { "positions=4", "classic" });
    more.positionsCheck->setChecked(false);
    form.findChild<QSpinBox *>(QStringLiteral("pairsBitsSpin"))->setValue(10);
    // The read-back runs beside the window; its answer comes a moment later.
    QTRY_VERIFY2(more.narrowestLabel->text().contains(
                     QLatin1String("Does not read: 10 tracks, track 1 (bit 9, most significant)")),
        qPrintable(more.narrowestLabel->text()));
    QVERIFY(more.narrowestLabel->toolTip().contains(QLatin1String("does not read")));
    more.classicPixelsCheck->setChecked(false);
    QTRY_VERIFY(more.narrowestLabel->toolTip().contains(QLatin1String("reads right")));
    QVERIFY2(!more.narrowestLabel->text().contains(QLatin1String("Does not read")),
        qPrintable(more.narrowestLabel->text()));
    // A Gray disc with an odd count says why it draws the form's count instead.
    apply(form, { "circle", "positions=361" });
    QVERIFY(more.narrowestLabel->text().contains(QLatin1String("even number of positions")));
}

void TestWindowExtras::singleTrackCounts_data()
{
    QTest::addColumn<int>("positions");
    QTest::addColumn<int>("sensors"); // 0: refused, the window says why
    QTest::newRow("30: five sensors, not fifteen") << 30 << 5;
    QTest::newRow("240") << 240 << 8;
    QTest::newRow("360") << 360 << 9;
    QTest::newRow("16") << 16 << 8;
    QTest::newRow("100") << 100 << 0;
}

// The More page's single-track code takes every published count, with its fewest sensors, and
// names them all when it refuses one.
void TestWindowExtras::singleTrackCounts()
{
    QFETCH(int, positions);
    QFETCH(int, sensors);
    MainForm form;
    form.findChild<QCheckBox *>(QStringLiteral("autoPreviewCheck"))->setChecked(false);
    apply(form, { "circle", "code=3", QStringLiteral("positions=%1").arg(positions) });
    QString problem;
    const EncoderSettings s = form.settings(&problem);
    QCOMPARE(s.code == Code::SingleTrack, sensors > 0);
    if (sensors > 0) {
        QCOMPARE(Codes::positions(s), positions);
        QCOMPARE(int(patternGeometry(s).sensors.size()), sensors);
    } else {
        QVERIFY2(problem.contains(
                     QLatin1String("choose 360, or an even count from 4 to 32, or 60, 126 or 240")),
            qPrintable(problem));
    }
}

// Printed to a PDF printer at its own resolution: one image of the pattern at that resolution,
// 10 mm from the paper's left and top edges.
void TestWindowExtras::printsAtPhysicalSize()
{
    QUVELTA_NEEDS("pdfinfo", "pdfimages", "pdftoppm");
    MainForm form;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path(QStringLiteral("printed.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    form.printTo(printer);
    const int dpi = printer.resolution();
    EncoderSettings s = form.settings();
    s.dpi = dpi;
    const QSize size = PixelRule::imageSize(s);
    const QByteArray images
        = run(QStringLiteral("pdfimages"), { "-list", printer.outputFileName() });
    QVERIFY2(images.simplified().contains(
                 QStringLiteral("1 0 image %1 %2").arg(size.width()).arg(size.height()).toLatin1()),
        images.constData());
    const QByteArray info = run(QStringLiteral("pdfinfo"), { printer.outputFileName() });
    QVERIFY2(info.contains("(A4)"), info.constData()); // the paper as chosen, nothing fitted
    run(QStringLiteral("pdftoppm"),
        { "-r", "300", "-png", "-singlefile", printer.outputFileName(),
            path(QStringLiteral("printed")) });
    const QImage page(path(QStringLiteral("printed.png")));
    QVERIFY(!page.isNull());
    int left = page.width(), top = page.height(), right = 0;
    for (int y = 0; y < page.height() / 3; ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
            }
    const double mm = 300 / 25.4;
    QVERIFY2(std::abs(left - 10 * mm) <= 2 && std::abs(top - 10 * mm) <= 2,
        qPrintable(QStringLiteral("%1,%2").arg(left).arg(top)));
    QVERIFY2(std::abs(right - left + 1 - 100.1 * mm) <= 3,
        qPrintable(QString::number(right - left + 1)));
}

// On a screen of twice the pixel density the preview's copy has twice the pixels, and the same
// logical size; at ratio 1 it is the plain copy.
void TestWindowExtras::crispPreview()
{
    MainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.renderEncoder(true);
    const Preview *preview = form.findChild<Preview *>(QStringLiteral("preview"));
    const qreal ratio = preview->devicePixelRatioF();
    const QImage *copy = preview->scaledCopy();
    QVERIFY(copy);
    QCOMPARE(copy->devicePixelRatio(), ratio);
    // 2364 x 474 into 436 x 211: 436 x 87 logical pixels.
    QVERIFY2(
        std::abs(copy->width() - 436 * ratio) <= 1, qPrintable(QString::number(copy->width())));
    QVERIFY(std::abs(copy->height() - 87 * ratio) <= 1);
    qInfo("device pixel ratio %g", ratio);
}

void TestWindowExtras::captionsFitEachAlone_data()
{
    QTest::addColumn<int>("pixels");
    QTest::newRow("desktop font") << 0;
    QTest::newRow("large font") << 15;
    QTest::newRow("small font") << 9;
}

// The desktop's font stays: only captions that do not fit get a smaller font of their own, each
// just small enough and never below 8 px; none is enlarged.
void TestWindowExtras::captionsFitEachAlone()
{
    QFETCH(int, pixels);
    const QFont desktop = QApplication::font();
    QFont font = desktop;
    if (pixels > 0)
        font.setPixelSize(pixels);
    QApplication::setFont(font);
    const int base = QFontInfo(font).pixelSize();
    {
        MainForm form;
        int kept = 0;
        const QStringList names = { "widthLabel", "heightLabel", "outerRadiusLabel",
            "innerRadiusLabel", "borderWidthLabel", "dpiLabel", "qualitySave", "autoPreviewLabel",
            "previewButton", "saveButton", "savePDFButton" };
        for (const QString &name : names) {
            QWidget *caption = form.findChild<QWidget *>(name);
            if (!caption)
                continue;
            const int size = QFontInfo(caption->font()).pixelSize();
            QVERIFY2(size <= base && size >= std::min(base, 8), qPrintable(name));
            const QString text = caption->property("text").toString();
            const int room = caption->width() - (qobject_cast<QPushButton *>(caption) ? 6 : 0);
            QVERIFY2(caption->fontMetrics().horizontalAdvance(text) <= room || size == 8,
                qPrintable(name));
            // Just small enough: one pixel more would not fit.
            if (size < base) {
                QFont larger = caption->font();
                larger.setPixelSize(size + 1);
                QVERIFY2(QFontMetrics(larger).horizontalAdvance(text) > room, qPrintable(name));
            } else {
                ++kept;
            }
        }
        QVERIFY(kept > 0);
        QCOMPARE(form.size(), QSize(456, 442));
    }
    QApplication::setFont(desktop);
}

// A render that cannot have its memory is an "Error" box naming the size, and the window goes on
// working once memory is there again.
void TestWindowExtras::outOfMemoryIsAnErrorBox()
{
#ifdef QUVELTA_SANITIZED
    QSKIP("the sanitizers reserve more address space than the limit allows");
#endif
#ifndef QUVELTA_HAVE_RLIMIT
    QSKIP("no setrlimit here to limit the address space");
#else
    QUVELTA_NEEDS("/proc/self/status");
    MainForm form;
    form.show();
    form.findChild<QRadioButton *>(QStringLiteral("circleRadioButton"))->setChecked(true);
    form.findChild<QSpinBox *>(QStringLiteral("dpiSpin"))->setValue(1200);
    QVERIFY(form.currentImage() && !form.currentImage()->isNull());

    // Room for everything but the 357 MB of a 200 mm disc at 1200 dpi.
    QFile status(QStringLiteral("/proc/self/status"));
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QString vmSize = QString::fromLatin1(status.readAll())
                               .section(QLatin1String("VmSize:"), 1)
                               .section(QLatin1String("kB"), 0, 0);
    rlimit old {};
    QVERIFY(getrlimit(RLIMIT_AS, &old) == 0);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(vmSize.trimmed().toLongLong() * 1024 + (200 << 20));
    QVERIFY(setrlimit(RLIMIT_AS, &tight) == 0);
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->close();
        }
    });
    form.findChild<QDoubleSpinBox *>(QStringLiteral("outerRadiusSpin"))->setValue(100);
    form.currentImage(); // waits for the render the change started
    setrlimit(RLIMIT_AS, &old);
    QCOMPARE(title, QStringLiteral("Error"));
    QCOMPARE(text, QStringLiteral("not enough memory to render 9452 x 9452"));
    QVERIFY(form.currentImage() && form.currentImage()->isNull());

    form.findChild<QSpinBox *>(QStringLiteral("dpiSpin"))->setValue(100);
    QVERIFY(form.currentImage() && !form.currentImage()->isNull());
    QCOMPARE(form.currentImage()->size(), QSize(787, 787)); // 200 mm at 100 dpi
#endif
}

QTEST_MAIN(TestWindowExtras)
#include "tst_windowextras.moc"
