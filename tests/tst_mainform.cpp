// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "mainform.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <memory>
#include <set>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // The window after construction.
    void startState_data();
    void startState();
    void fixedSizeAndFirstRender();
    void stepping();
    void borderWidthIgnoresSystemLocale();
    void captionClickDoesNotToggle();
    void iconResource();
    void slotOrder();

    // Controls.
    void conditionalRenders_data();
    void conditionalRenders();
    void radiusLimits();
    void typeSwitch();
    void sixteenBitsOnlyBeforeFirstTypeSwitch();
    void typingZeroFirstLeavesOne();
    void typingWidthPassesThroughPrefixes();
    void shapeSwitch();
    void grayCodeEnabledOnlyForAbsoluteDisc();
    void bitOrderCaption();
    void colours_data();
    void colours();
    void autoPreviewOff();
    void previewButtonActsOnPress();
    void tabSwitchedByHandChangesNothing();

    // The render pipeline.
    void explicitRenderAntialiasedOnlyWithQuality();
    void discSizeIgnoresInnerRadius();

private:
    template<class T> static T *child(const MainForm &form, const char *name)
    {
        T *widget = form.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
};

static QColor swatchColor(const QWidget *w)
{
    return w->palette().brush(QPalette::Current, QPalette::Window).color();
}

// Number of distinct colours: 2 for a plain two-colour render, many when antialiased.
static int colourCount(const QImage &image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

void TestMainForm::initTestCase()
{
    Q_INIT_RESOURCE(resources);
}

void TestMainForm::startState_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    const auto row = [](const char *object, const char *property, const QVariant &value) {
        QTest::addRow("%s.%s", object, property)
            << QString::fromLatin1(object) << QByteArray(property) << value;
    };
    row("MainForm", "windowModality", QVariant::fromValue(Qt::ApplicationModal));
    row("MainForm", "locale", QLocale(QLocale::English, QLocale::UnitedStates));
    row("optionsTab", "currentIndex", 0);
    row("barRadioButton", "checked", true);
    row("circleRadioButton", "checked", false);
    row("absoluteRadioButton", "checked", true);
    row("relativeRadioButton", "checked", false);
    row("previewButton", "enabled", false);
    row("previewButton", "text", "Make preview");
    row("autoPreviewCheck", "checked", true);
    row("autoPreviewCheck", "text", "Auto preview");
    row("autoPreviewCheck", "layoutDirection", QVariant::fromValue(Qt::RightToLeft));
    row("widthSpin", "value", 100);
    row("widthSpin", "minimum", 1);
    row("widthSpin", "maximum", 200);
    row("heightSpin", "value", 20);
    row("heightSpin", "maximum", 200);
    row("outerRadiusSpin", "value", 20);
    row("outerRadiusSpin", "minimum", 1);
    row("outerRadiusSpin", "maximum", 100);
    row("innerRadiusSpin", "value", 0);
    row("innerRadiusSpin", "maximum", 19);
    row("innerRadiusSpin", "alignment", QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter));
    row("centerMarkCheck", "checked", true);
    row("centerMarkCheck", "text", QString());
    row("borderCheck", "checked", true);
    row("borderCheck", "text", QString());
    row("borderSpin", "value", 0.1);
    row("borderSpin", "minimum", 0.01);
    row("borderSpin", "maximum", 5.0);
    row("borderSpin", "decimals", 2);
    row("pairsBitsSpin", "value", 4);
    row("pairsBitsSpin", "minimum", 0);
    row("pairsBitsSpin", "maximum", 16);
    row("pairsBitsSpin", "alignment", QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter));
    row("pairsBitsLabel", "text", "Bits");
    row("bitOrderButton", "checkable", true);
    row("bitOrderButton", "checked", false);
    row("bitOrderButton", "text", "LSB ---> MSB");
    row("grayCodeCheck", "checked", true);
    row("grayCodeCheck", "enabled", false);
    row("qualityCheck", "checked", true);
    row("dpiSpin", "value", 600);
    row("dpiSpin", "minimum", 10);
    row("dpiSpin", "maximum", 1200);
    row("dpiSpin", "singleStep", 100);
    row("saveButton", "text", "Image...");
    row("savePDFButton", "text", "PDF...");
    row("shapeTypeBox", "title", "Encoder shape");
    row("encodingTypeBox", "title", "Encoder type");
    row("barRadioButton", "text", "Bar");
    row("circleRadioButton", "text", "Circle");
    row("absoluteRadioButton", "text", "Absolute");
    row("relativeRadioButton", "text", "Relative");
    row("widthLabel", "text", "Width [mm]");
    row("heightLabel", "text", "Height [mm]");
    row("outerRadiusLabel", "text", "Outer radius [mm]");
    row("innerRadiusLabel", "text", "Inner radius [mm]");
    row("centerMarkLabel", "text", "Center mark");
    row("borderLabel", "text", "Border lines");
    row("borderWidthLabel", "text", "Border width [mm]");
    row("dpiLabel", "text", "DPI");
    row("foregroundLabel", "text", "Foreground");
    row("backgroundLabel", "text", "Background");
    row("qualitySave", "text", "Save in high quality");
    row("useGrayLabel", "text", "Use Gray code");
    row("preview", "geometry", QRect(10, 220, 436, 211));
    row("foregroundColorWidget", "geometry", QRect(380, 90, 61, 21));
    row("backgroundColorWidget", "geometry", QRect(380, 120, 61, 21));
    row("foregroundLabel", "alignment", QVariant::fromValue(Qt::Alignment(Qt::AlignCenter)));
}

void TestMainForm::startState()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    MainForm form;
    QObject *target
        = object == QLatin1String("MainForm") ? &form : form.findChild<QObject *>(object);
    QVERIFY2(target, qPrintable(object));
    QVariant actual = target->property(property);
    QVERIFY2(actual.isValid(), property.constData());
    if (expected.typeId() == QMetaType::Double)
        QVERIFY(qFuzzyCompare(actual.toDouble(), expected.toDouble()));
    else if (expected.typeId() == QMetaType::QString)
        QCOMPARE(actual.toString(), expected.toString());
    else if (actual.metaType() != expected.metaType()
        && actual.canConvert(QMetaType::fromType<int>()))
        QCOMPARE(actual.toInt(), expected.toInt());
    else
        QCOMPARE(actual, expected);
}

void TestMainForm::fixedSizeAndFirstRender()
{
    MainForm form;
    QCOMPARE(form.size(), QSize(456, 442));
    QCOMPARE(form.minimumSize(), QSize(456, 442));
    QCOMPARE(form.maximumSize(), QSize(456, 442));
    form.resize(600, 600);
    QCOMPARE(form.size(), QSize(456, 442));

    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 2364 x 474"));
    QCOMPARE(form.renderCount(), 1);
    QVERIFY(form.currentImage());
    QCOMPARE(form.currentImage()->size(), QSize(2364, 474));
    QCOMPARE(form.currentImage()->dotsPerMeterX(), 23622);
    QCOMPARE(form.currentImage()->dotsPerMeterY(), 23622);
    QCOMPARE(colourCount(*form.currentImage()), 2); // automatic renders are never antialiased

    const auto *preview = child<Preview>(form, "preview");
    QVERIFY(preview->scaledCopy());
    QCOMPARE(preview->scaledCopy()->size(), QSize(435, 87));
    QCOMPARE(preview->offset(), QPoint(0, 61));
}

void TestMainForm::stepping()
{
    MainForm form;
    auto *dpi = child<QSpinBox>(form, "dpiSpin");
    dpi->setValue(100);
    dpi->stepDown();
    QCOMPARE(dpi->value(), 10);
    dpi->setValue(1200);
    dpi->stepUp();
    QCOMPARE(dpi->value(), 1200);
}

void TestMainForm::borderWidthIgnoresSystemLocale()
{
    const QLocale system;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        MainForm form;
        auto *border = child<QDoubleSpinBox>(form, "borderSpin");
        QCOMPARE(border->text(), QStringLiteral("0.10"));
        border->stepDown();
        QCOMPARE(border->text(), QStringLiteral("0.01"));
        border->stepUp();
        QCOMPARE(border->text(), QStringLiteral("0.11"));
        QVERIFY(qFuzzyCompare(border->value(), 0.11));
    }
    QLocale::setDefault(system);
}

void TestMainForm::captionClickDoesNotToggle()
{
    MainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const std::pair<const char *, const char *> pairs[] = { { "borderLabel", "borderCheck" },
        { "qualitySave", "qualityCheck" }, { "centerMarkLabel", "centerMarkCheck" } };
    for (const auto &[label, box] : pairs) {
        QTest::mouseClick(child<QLabel>(form, label), Qt::LeftButton);
        QVERIFY2(child<QCheckBox>(form, box)->isChecked(), box);
    }
}

void TestMainForm::iconResource()
{
    const QIcon icon(QStringLiteral(":/icon.ico"));
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : { 16, 24, 32, 64 })
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    QFile file(QStringLiteral(":/icon.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), 24838);
    MainForm form;
    QVERIFY(!form.windowIcon().isNull());
}

void TestMainForm::slotOrder()
{
    // Slots keep their indices 0 to 17 after the base class's methods.
    const QStringList expected = {
        "onColorChanged(QColor)",
        "onDPIChanged(int)",
        "onBorderCheckChange(int)",
        "onBorderWidthChange(double)",
        "onWidthChanged(int)",
        "onHeightChanged(int)",
        "onInnerRadiusChanged(int)",
        "onOuterRadiusChanged(int)",
        "onCenterMark(int)",
        "onAutoPreviewChanged(int)",
        "onPreviewPressed()",
        "onBitOrderToggled(bool)",
        "onPairsBitsChanged(int)",
        "onGrayCodeChanged(int)",
        "onShapeToggled(bool)",
        "onTypeToggled(bool)",
        "onSaveButton()",
        "onSavePDFButton()",
    };
    const QMetaObject &meta = MainForm::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(QString::fromLatin1(method.methodSignature()), expected[i]);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Public);
    }
    const QMetaObject &swatch = ColorSelector::staticMetaObject;
    QCOMPARE(swatch.methodCount() - swatch.methodOffset(), 1);
    QCOMPARE(
        swatch.method(swatch.methodOffset()).methodSignature(), QByteArray("colorChanged(QColor)"));
    QCOMPARE(swatch.method(swatch.methodOffset()).parameterNames(), QList<QByteArray> { "color" });
}

// Each row: the shape, what is changed, whether that renders and whether the title changes.
void TestMainForm::conditionalRenders_data()
{
    QTest::addColumn<bool>("disc");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("renders");
    QTest::addColumn<bool>("titleChanges");

    QTest::newRow("strip: width") << false << "width" << 1 << true;
    QTest::newRow("strip: height") << false << "height" << 1 << true;
    QTest::newRow("disc: width") << true << "width" << 0 << false;
    QTest::newRow("disc: height") << true << "height" << 0 << false;
    QTest::newRow("strip: outer radius") << false << "outer" << 0 << false;
    QTest::newRow("strip: inner radius") << false << "inner" << 0 << false;
    QTest::newRow("strip: centre mark") << false << "mark" << 0 << false;
    QTest::newRow("disc: outer radius") << true << "outer" << 1 << true;
    QTest::newRow("disc: inner radius") << true << "inner" << 1 << false;
    QTest::newRow("disc: centre mark") << true << "mark" << 1 << false;
    QTest::newRow("strip: dpi") << false << "dpi" << 1 << true;
    QTest::newRow("disc: dpi") << true << "dpi" << 1 << true;
    QTest::newRow("strip: border off") << false << "border" << 1 << true;
    QTest::newRow("strip: border width") << false << "borderWidth" << 1 << true;
    QTest::newRow("strip: gray code") << false << "gray" << 1 << false;
    QTest::newRow("strip: bits") << false << "bits" << 1 << false;
    QTest::newRow("disc: bit order") << true << "bitOrder" << 1 << false;
}

void TestMainForm::conditionalRenders()
{
    QFETCH(bool, disc);
    QFETCH(QString, change);
    QFETCH(int, renders);
    QFETCH(bool, titleChanges);

    MainForm form;
    if (disc)
        child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    const int before = form.renderCount();
    const QString title = form.windowTitle();

    if (change == QLatin1String("width"))
        child<QDoubleSpinBox>(form, "widthSpin")->setValue(50);
    else if (change == QLatin1String("height"))
        child<QDoubleSpinBox>(form, "heightSpin")->setValue(50);
    else if (change == QLatin1String("outer"))
        child<QDoubleSpinBox>(form, "outerRadiusSpin")->setValue(30);
    else if (change == QLatin1String("inner"))
        child<QDoubleSpinBox>(form, "innerRadiusSpin")->setValue(5);
    else if (change == QLatin1String("mark"))
        child<QCheckBox>(form, "centerMarkCheck")->setChecked(false);
    else if (change == QLatin1String("dpi"))
        child<QSpinBox>(form, "dpiSpin")->setValue(300);
    else if (change == QLatin1String("border"))
        child<QCheckBox>(form, "borderCheck")->setChecked(false);
    else if (change == QLatin1String("borderWidth"))
        child<QDoubleSpinBox>(form, "borderSpin")->setValue(1.0);
    else if (change == QLatin1String("gray"))
        child<QCheckBox>(form, "grayCodeCheck")->setChecked(false);
    else if (change == QLatin1String("bits"))
        child<QSpinBox>(form, "pairsBitsSpin")->setValue(6);
    else if (change == QLatin1String("bitOrder"))
        child<QPushButton>(form, "bitOrderButton")->setChecked(true);
    else
        QFAIL("unknown change");

    QCOMPARE(form.renderCount() - before, renders);
    QCOMPARE(form.windowTitle() != title, titleChanges);
}

void TestMainForm::radiusLimits()
{
    MainForm form; // strip: the limits follow although nothing renders
    auto *outer = child<QDoubleSpinBox>(form, "outerRadiusSpin");
    auto *inner = child<QDoubleSpinBox>(form, "innerRadiusSpin");
    outer->setValue(5);
    QCOMPARE(inner->maximum(), 4.0);
    outer->setValue(20);
    inner->setValue(10);
    QCOMPARE(outer->minimum(), 11.0);
    outer->setValue(3);
    QCOMPARE(outer->value(), 11.0);
    inner->setValue(50);
    QCOMPARE(inner->value(), 10.0);
    // Decimals bound each other alike.
    outer->setValue(20);
    inner->setValue(10.25);
    QCOMPARE(outer->minimum(), 11.25);
}

void TestMainForm::typeSwitch()
{
    for (bool disc : { false, true }) {
        MainForm form;
        if (disc)
            child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
        auto *label = child<QLabel>(form, "pairsBitsLabel");
        auto *count = child<QSpinBox>(form, "pairsBitsSpin");
        auto *bitOrder = child<QPushButton>(form, "bitOrderButton");
        auto *gray = child<QCheckBox>(form, "grayCodeCheck");
        bitOrder->setChecked(true);

        for (int round = 0; round < 2; ++round) {
            int before = form.renderCount();
            child<QRadioButton>(form, "relativeRadioButton")->setChecked(true);
            // The count change renders inside the switch, then the switch renders again.
            QCOMPARE(form.renderCount() - before, 2);
            QCOMPARE(label->text(), QStringLiteral("Pairs"));
            QCOMPARE(count->value(), 16);
            QCOMPARE(count->maximum(), 1024);
            QVERIFY(!bitOrder->isEnabled());
            QVERIFY(bitOrder->isChecked()); // keeps its state and caption while disabled
            QCOMPARE(bitOrder->text(), QStringLiteral("MSB ---> LSB"));
            QVERIFY(!gray->isEnabled());

            before = form.renderCount();
            child<QRadioButton>(form, "absoluteRadioButton")->setChecked(true);
            QCOMPARE(form.renderCount() - before, 2);
            QCOMPARE(label->text(), QStringLiteral("Bits"));
            QCOMPARE(count->value(), 4);
            QCOMPARE(count->maximum(), 10);
            QVERIFY(bitOrder->isEnabled());
            QCOMPARE(gray->isEnabled(), disc);
        }
        QVERIFY(gray->isChecked());
    }
}

void TestMainForm::sixteenBitsOnlyBeforeFirstTypeSwitch()
{
    MainForm form;
    auto *count = child<QSpinBox>(form, "pairsBitsSpin");
    count->setValue(16);
    QCOMPARE(count->value(), 16);
    QCOMPARE(form.currentImage()->size(), QSize(2364, 474));
    child<QRadioButton>(form, "relativeRadioButton")->setChecked(true);
    child<QRadioButton>(form, "absoluteRadioButton")->setChecked(true);
    count->setValue(16);
    QCOMPARE(count->value(), 10);
}

void TestMainForm::typingZeroFirstLeavesOne()
{
    MainForm form;
    auto *count = child<QSpinBox>(form, "pairsBitsSpin");
    const int before = form.renderCount();
    QTest::keyClick(count, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(count, Qt::Key_0);
    QCOMPARE(count->value(), 1);
    QCOMPARE(count->minimum(), 1);
    QCOMPARE(form.renderCount() - before, 1);
}

void TestMainForm::typingWidthPassesThroughPrefixes()
{
    MainForm form;
    auto *width = child<QDoubleSpinBox>(form, "widthSpin");
    QSignalSpy values(width, &QDoubleSpinBox::valueChanged);
    const int before = form.renderCount();
    QTest::keyClick(width, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(width, QStringLiteral("150"));
    QCOMPARE(values.count(), 3);
    QCOMPARE(values.at(0).at(0).toInt(), 1);
    QCOMPARE(values.at(1).at(0).toInt(), 15);
    QCOMPARE(values.at(2).at(0).toInt(), 150);
    QCOMPARE(form.renderCount() - before, 3);
    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 3545 x 474"));
}

void TestMainForm::shapeSwitch()
{
    MainForm form;
    auto *tabs = child<QTabWidget>(form, "optionsTab");
    const int before = form.renderCount();
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    QCOMPARE(form.renderCount() - before, 1);
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(tabs->tabText(1), QStringLiteral("Circle size"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 946 x 946"));
    QCOMPARE(form.currentImage()->size(), QSize(946, 946));
    child<QRadioButton>(form, "barRadioButton")->setChecked(true);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Bar size"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 2364 x 474"));
}

void TestMainForm::grayCodeEnabledOnlyForAbsoluteDisc()
{
    MainForm form;
    auto *gray = child<QCheckBox>(form, "grayCodeCheck");
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    QVERIFY(gray->isEnabled());
    gray->setChecked(false);
    child<QRadioButton>(form, "barRadioButton")->setChecked(true);
    QVERIFY(!gray->isEnabled());
    QVERIFY(!gray->isChecked());
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    child<QRadioButton>(form, "relativeRadioButton")->setChecked(true);
    QVERIFY(!gray->isEnabled());
    QVERIFY(!gray->isChecked());
}

void TestMainForm::bitOrderCaption()
{
    MainForm form;
    auto *button = child<QPushButton>(form, "bitOrderButton");
    const QImage before = *form.currentImage();
    button->toggle();
    QCOMPARE(button->text(), QStringLiteral("MSB ---> LSB"));
    QVERIFY(*form.currentImage() != before);
    // The strip's tracks swap top to bottom: the top track now has the most segments.
    QCOMPARE(before.pixelColor(221, 20), QColor(Qt::white));
    QCOMPARE(form.currentImage()->pixelColor(221, 20), QColor(Qt::black));
    button->toggle();
    QCOMPARE(button->text(), QStringLiteral("LSB ---> MSB"));
    QCOMPARE(*form.currentImage(), before);
}

void TestMainForm::colours_data()
{
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("foregroundCaption");
    QTest::addColumn<QColor>("backgroundCaption");
    QTest::newRow("grey on white")
        << QColor(128, 128, 128) << QColor(Qt::white) << QColor(127, 127, 127) << QColor(Qt::black);
    QTest::newRow("white on black")
        << QColor(Qt::white) << QColor(Qt::black) << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("dark on orange") << QColor(10, 20, 30) << QColor(200, 100, 0)
                                    << QColor(245, 235, 225) << QColor(55, 155, 255);
}

void TestMainForm::colours()
{
    // The input's alpha is ignored and the result is opaque.
    QCOMPARE(MainForm::invertColor(QColor(10, 20, 30, 40)), QColor(245, 235, 225, 255));

    QFETCH(QColor, foreground);
    QFETCH(QColor, background);
    QFETCH(QColor, foregroundCaption);
    QFETCH(QColor, backgroundCaption);

    for (bool autoPreview : { true, false }) {
        MainForm form;
        child<QCheckBox>(form, "autoPreviewCheck")->setChecked(autoPreview);
        const int before = form.renderCount();
        const QImage image = *form.currentImage();
        auto *fg = child<ColorSelector>(form, "foregroundColorWidget");
        auto *bg = child<ColorSelector>(form, "backgroundColorWidget");
        // As a pick in the dialog does: palette first, then the signal.
        for (auto [swatch, color] : { std::pair(fg, foreground), std::pair(bg, background) }) {
            QPalette pal = swatch->palette();
            pal.setBrush(QPalette::All, QPalette::Window, QBrush(color));
            swatch->setPalette(pal);
        }
        emit bg->colorChanged(background); // one signal recolours both captions

        const auto captionColor = [&](const char *name) {
            return child<QLabel>(form, name)
                ->palette()
                .color(QPalette::Current, QPalette::WindowText);
        };
        QCOMPARE(captionColor("foregroundLabel"), foregroundCaption);
        QCOMPARE(captionColor("backgroundLabel"), backgroundCaption);
        QCOMPARE(swatchColor(child<Preview>(form, "preview")), background);
        QCOMPARE(form.renderCount() - before, autoPreview ? 1 : 0);
        if (autoPreview) {
            QCOMPARE(form.currentImage()->pixelColor(0, 200), QColor(foreground.rgb())); // frame
            QCOMPARE(form.currentImage()->pixelColor(10, 10), QColor(background.rgb()));
        } else {
            QCOMPARE(*form.currentImage(), image);
        }
    }
}

void TestMainForm::autoPreviewOff()
{
    MainForm form;
    auto *autoPreview = child<QCheckBox>(form, "autoPreviewCheck");
    auto *button = child<QPushButton>(form, "previewButton");
    const auto *preview = child<Preview>(form, "preview");
    int before = form.renderCount();
    autoPreview->setChecked(false);
    QVERIFY(button->isEnabled());
    QCOMPARE(form.renderCount(), before);

    const QImage shown = *preview->scaledCopy();
    child<QSpinBox>(form, "dpiSpin")->setValue(300);
    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 1182 x 237"));
    QCOMPARE(form.renderCount(), before);
    QCOMPARE(form.currentImage()->size(), QSize(2364, 474));
    QCOMPARE(*preview->scaledCopy(), shown);

    form.renderEncoder(false); // explicit renders run anyway
    QCOMPARE(form.currentImage()->size(), QSize(1182, 237));
    before = form.renderCount();
    autoPreview->setChecked(true);
    QVERIFY(!button->isEnabled());
    QCOMPARE(form.renderCount() - before, 1);
}

void TestMainForm::previewButtonActsOnPress()
{
    MainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    child<QCheckBox>(form, "autoPreviewCheck")->setChecked(false);
    child<QSpinBox>(form, "dpiSpin")->setValue(200);
    auto *button = child<QPushButton>(form, "previewButton");
    const int before = form.renderCount();
    QTest::mousePress(button, Qt::LeftButton);
    QCOMPARE(form.renderCount() - before, 1);
    // A pixel more than the truncated 787 x 157, which would cut off most of the 0.8 px border.
    QCOMPARE(form.currentImage()->size(), QSize(788, 158));
    // Released outside the button: the render stays.
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-20, -20));
    QCOMPARE(form.currentImage()->size(), QSize(788, 158));
}

void TestMainForm::tabSwitchedByHandChangesNothing()
{
    MainForm form;
    const int before = form.renderCount();
    child<QTabWidget>(form, "optionsTab")->setCurrentIndex(1);
    QVERIFY(child<QRadioButton>(form, "barRadioButton")->isChecked());
    QCOMPARE(form.renderCount(), before);
    QCOMPARE(form.windowTitle(), QStringLiteral("Quvelta by ardin51, 2364 x 474"));
}

void TestMainForm::explicitRenderAntialiasedOnlyWithQuality()
{
    MainForm form;
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    auto *quality = child<QCheckBox>(form, "qualityCheck");
    QCOMPARE(colourCount(*form.currentImage()), 2); // automatic: plain
    form.renderEncoder(false);
    QVERIFY(colourCount(*form.currentImage()) > 10);
    quality->setChecked(false);
    form.renderEncoder(false);
    QCOMPARE(colourCount(*form.currentImage()), 2);
}

void TestMainForm::discSizeIgnoresInnerRadius()
{
    MainForm form;
    child<QRadioButton>(form, "circleRadioButton")->setChecked(true);
    const QString title = form.windowTitle();
    child<QDoubleSpinBox>(form, "innerRadiusSpin")->setValue(12);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(form.currentImage()->size(), QSize(946, 946));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
