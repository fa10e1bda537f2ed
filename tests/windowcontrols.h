// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_TEST_WINDOWCONTROLS_H
#define QUVELTA_TEST_WINDOWCONTROLS_H

#include "mainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QSpinBox>
#include <QtTest>

// Sets the window's controls as a user would, by words: "circle", "relative", "plain",
// "positions=N", "code=I" (the More page's combo row), "quadrature", "index", "classic", "ruler",
// "bias=MM", "inner=MM", "height=MM", "width=MM", "outer=MM", "bits=N", "msb", "nogray",
// "noborder", "nocenter", "noauto", "border=MM", "fg=COLOR", "bg=COLOR", "dpi=N"; and in the
// Options dialog "indexwidth=DEG", "sensormarks", "transparent", "aperture=MM", "scalex=F",
// "scaley=F".
inline void apply(MainForm &form, const QStringList &controls)
{
    const MainForm::Extras &more = form.extras();
    const auto spin
        = [&form](const char *name) { return form.findChild<QSpinBox *>(QLatin1String(name)); };
    const auto size = [&form](const char *name) {
        return form.findChild<QDoubleSpinBox *>(QLatin1String(name));
    };
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
            size("innerRadiusSpin")->setValue(value.toDouble());
        else if (key == QLatin1String("height"))
            size("heightSpin")->setValue(value.toDouble());
        else if (key == QLatin1String("width"))
            size("widthSpin")->setValue(value.toDouble());
        else if (key == QLatin1String("outer"))
            size("outerRadiusSpin")->setValue(value.toDouble());
        else if (key == QLatin1String("bits"))
            spin("pairsBitsSpin")->setValue(value.toInt());
        else if (key == QLatin1String("msb"))
            form.findChild<QPushButton *>(QStringLiteral("bitOrderButton"))->setChecked(true);
        else if (key == QLatin1String("nogray"))
            form.findChild<QCheckBox *>(QStringLiteral("grayCodeCheck"))->setChecked(false);
        else if (key == QLatin1String("noborder"))
            form.findChild<QCheckBox *>(QStringLiteral("borderCheck"))->setChecked(false);
        else if (key == QLatin1String("nocenter"))
            form.findChild<QCheckBox *>(QStringLiteral("centerMarkCheck"))->setChecked(false);
        else if (key == QLatin1String("plain"))
            form.findChild<QCheckBox *>(QStringLiteral("qualityCheck"))->setChecked(false);
        else if (key == QLatin1String("noauto"))
            form.findChild<QCheckBox *>(QStringLiteral("autoPreviewCheck"))->setChecked(false);
        else if (key == QLatin1String("border"))
            form.findChild<QDoubleSpinBox *>(QStringLiteral("borderSpin"))
                ->setValue(value.toDouble());
        else if (key == QLatin1String("fg") || key == QLatin1String("bg")) {
            QWidget *swatch = form.findChild<QWidget *>(
                key == QLatin1String("fg") ? "foregroundColorWidget" : "backgroundColorWidget");
            QPalette pal = swatch->palette();
            pal.setBrush(QPalette::All, QPalette::Window, QBrush(QColor(value)));
            swatch->setPalette(pal);
            QMetaObject::invokeMethod(swatch, "colorChanged", Q_ARG(QColor, QColor(value)));
        } else if (key == QLatin1String("dpi"))
            spin("dpiSpin")->setValue(value.toInt());
        else if (key == QLatin1String("indexwidth"))
            more.indexWidthSpin->setValue(value.toDouble());
        else if (key == QLatin1String("sensormarks"))
            more.sensorMarksCheck->setChecked(true);
        else if (key == QLatin1String("transparent"))
            more.transparentCheck->setChecked(true);
        else if (key == QLatin1String("aperture"))
            more.apertureSpin->setValue(value.toDouble());
        else if (key == QLatin1String("scalex"))
            more.scaleXSpin->setValue(value.toDouble());
        else if (key == QLatin1String("scaley"))
            more.scaleYSpin->setValue(value.toDouble());
        else
            QFAIL(qPrintable(control));
    }
}

// Keeps a test's window settings (recent designs, the last run's values) in `folder`, never in
// the user's own.
inline void keepSettingsIn(const QString &folder, const QString &testName)
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("QuveltaTests"));
    QCoreApplication::setApplicationName(testName);
    for (QSettings::Format format : { QSettings::NativeFormat, QSettings::IniFormat })
        QSettings::setPath(format, QSettings::UserScope, folder);
}

// The desktop font sizes the form must fit, as pixel sizes: 8, 11 and 14 pt.
inline void addDesktopFontRows()
{
    QTest::addColumn<int>("pixels");
    QTest::newRow("8 pt") << 11;
    QTest::newRow("11 pt") << 15;
    QTest::newRow("14 pt") << 19;
}

// The application font at `pixels` for as long as it lives; the desktop's again after, even
// when a check fails on the way.
class DesktopFontSize
{
public:
    explicit DesktopFontSize(int pixels) : desktop(QApplication::font())
    {
        QFont font = desktop;
        font.setPixelSize(pixels);
        QApplication::setFont(font);
    }
    ~DesktopFontSize() { QApplication::setFont(desktop); }
    DesktopFontSize(const DesktopFontSize &) = delete;
    DesktopFontSize &operator=(const DesktopFontSize &) = delete;

private:
    QFont desktop;
};

// The captions under `root` wider than the room their style gives them: radio buttons and group
// titles always, labels, push buttons and check boxes too when `all`.
inline QStringList clippedCaptions(const QWidget *root, bool all)
{
    QStringList clipped;
    const auto check = [&clipped](const QWidget *w, const QString &text, int room) {
        if (!text.isEmpty() && w->fontMetrics().horizontalAdvance(text) > room)
            clipped << QStringLiteral("%1 (%2)").arg(text, w->objectName());
    };
    for (const QRadioButton *radio : root->findChildren<QRadioButton *>()) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        check(radio, radio->text(),
            radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).width());
    }
    for (const QGroupBox *group : root->findChildren<QGroupBox *>())
        check(group, group->title(), group->width() - 1);
    if (!all)
        return clipped;
    for (const QLabel *label : root->findChildren<QLabel *>())
        if (!label->wordWrap() && label->isVisibleTo(root))
            check(label, label->text(), label->width());
    for (const QPushButton *button : root->findChildren<QPushButton *>())
        if (button->isVisibleTo(root))
            check(button, button->text(), button->width() - 6);
    for (const QCheckBox *box : root->findChildren<QCheckBox *>()) {
        if (!box->isVisibleTo(root))
            continue;
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        check(box, box->text(),
            box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width());
    }
    return clipped;
}

#endif
