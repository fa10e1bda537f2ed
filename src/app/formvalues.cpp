// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
// The window's values as one map: kept between runs and written to design files.
#include "mainform.h"

#include "colorselector.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>

#include <cmath>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// A value for `widget` from `value`, or a reason why not. Strict: JSON's own types only (a
// design file); otherwise text converts too (QSettings keeps INI text).
QString check(const QWidget *widget, const QVariant &value, bool strict)
{
    const bool isBool = value.typeId() == QMetaType::Bool;
    const bool isNumber = value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int
        || value.typeId() == QMetaType::LongLong;
    bool ok = false;
    const double real = value.toDouble(&ok);
    if (qobject_cast<const QAbstractButton *>(widget)) {
        if (strict && !isBool)
            return QCoreApplication::translate("MainForm", "is not true or false");
        return QString();
    }
    if (const auto *spin = qobject_cast<const QSpinBox *>(widget)) {
        if ((strict && !isNumber) || !ok || std::floor(real) != real)
            return QCoreApplication::translate("MainForm", "is not a whole number");
        if (real < spin->minimum() || real > spin->maximum())
            return QCoreApplication::translate("MainForm", "%1 is not between %2 and %3")
                .arg(number(real))
                .arg(spin->minimum())
                .arg(spin->maximum());
        return QString();
    }
    if (const auto *spin = qobject_cast<const QDoubleSpinBox *>(widget)) {
        if ((strict && !isNumber) || !ok || !std::isfinite(real))
            return QCoreApplication::translate("MainForm", "is not a number");
        const double step = std::pow(10.0, -spin->decimals());
        if (real < spin->minimum() - step / 2 || real > spin->maximum() + step / 2)
            return QCoreApplication::translate("MainForm", "%1 is not between %2 and %3")
                .arg(number(real), number(spin->minimum()), number(spin->maximum()));
        if (std::abs(std::round(real / step) * step - real) > step * 1e-6)
            return QCoreApplication::translate("MainForm", "%1 has more than %2 decimals")
                .arg(number(real))
                .arg(spin->decimals());
        return QString();
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        if ((strict && !isNumber) || !ok || std::floor(real) != real || real < 0
            || real >= combo->count())
            return QCoreApplication::translate("MainForm", "is not one of 0 to %1")
                .arg(combo->count() - 1);
        return QString();
    }
    // A swatch: a colour as #rrggbb or #aarrggbb.
    if ((strict && value.typeId() != QMetaType::QString)
        || !QColor::isValidColorName(value.toString()))
        return QCoreApplication::translate("MainForm", "is not a colour such as #ff204060");
    return QString();
}

}

QList<std::pair<QString, QWidget *>> MainForm::valueControls() const
{
    // The shape and type first: the type sets the count's range; the inner radius after the
    // outer one, which bounds it.
    return {
        { QStringLiteral("disc"), ui.circleRadioButton },
        { QStringLiteral("relative"), ui.relativeRadioButton },
        { QStringLiteral("count"), ui.pairsBitsSpin },
        { QStringLiteral("msbFirst"), ui.bitOrderButton },
        { QStringLiteral("grayCode"), ui.grayCodeCheck },
        { QStringLiteral("width"), ui.widthSpin },
        { QStringLiteral("height"), ui.heightSpin },
        { QStringLiteral("outerRadius"), ui.outerRadiusSpin },
        { QStringLiteral("innerRadius"), ui.innerRadiusSpin },
        { QStringLiteral("border"), ui.borderCheck },
        { QStringLiteral("borderWidth"), ui.borderSpin },
        { QStringLiteral("centerMark"), ui.centerMarkCheck },
        { QStringLiteral("dpi"), ui.dpiSpin },
        { QStringLiteral("highQuality"), ui.qualityCheck },
        { QStringLiteral("foreground"), ui.foregroundColorWidget },
        { QStringLiteral("background"), ui.backgroundColorWidget },
        { QStringLiteral("positionsOn"), more.positionsCheck },
        { QStringLiteral("positions"), more.positionsSpin },
        { QStringLiteral("code"), more.codeCombo },
        { QStringLiteral("quadrature"), more.quadratureCheck },
        { QStringLiteral("index"), more.indexCheck },
        { QStringLiteral("indexWidth"), more.indexWidthSpin },
        { QStringLiteral("sensorMarks"), more.sensorMarksCheck },
        { QStringLiteral("classicPixels"), more.classicPixelsCheck },
        { QStringLiteral("ruler"), more.calibrationCheck },
        { QStringLiteral("markBias"), more.markBiasSpin },
        { QStringLiteral("scaleX"), more.scaleXSpin },
        { QStringLiteral("scaleY"), more.scaleYSpin },
        { QStringLiteral("transparent"), more.transparentCheck },
        { QStringLiteral("aperture"), more.apertureSpin },
        { QStringLiteral("autoPreview"), ui.autoPreviewCheck },
    };
}

QVariantMap MainForm::values() const
{
    QVariantMap map;
    for (const auto &[key, widget] : valueControls()) {
        if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            map.insert(key, button->isChecked());
        else if (const auto *spin = qobject_cast<const QSpinBox *>(widget))
            map.insert(key, spin->value());
        else if (const auto *real = qobject_cast<const QDoubleSpinBox *>(widget))
            map.insert(key, real->value());
        else if (const auto *combo = qobject_cast<const QComboBox *>(widget))
            map.insert(key, combo->currentIndex());
        else
            map.insert(key, qobject_cast<const ColorSelector *>(widget)->color().name(QColor::HexArgb));
    }
    return map;
}

bool MainForm::setValues(const QVariantMap &values, bool strict, QString *error)
{
    const QVariantMap before = values.isEmpty() ? QVariantMap() : this->values();
    restoring = true; // one render at the end, not one per value
    QString why;
    if (values.contains(QStringLiteral("innerRadius"))
        && values.contains(QStringLiteral("outerRadius")))
        ui.innerRadiusSpin->setValue(0);
    for (const auto &[key, widget] : valueControls()) {
        const auto found = values.constFind(key);
        if (found == values.constEnd())
            continue;
        const QVariant &value = *found;
        if (const QString problem = check(widget, value, strict); !problem.isEmpty()) {
            if (!strict)
                continue;
            why = QStringLiteral("\"%1\": %2").arg(key, problem);
            break;
        }
        if (widget == ui.circleRadioButton)
            (value.toBool() ? ui.circleRadioButton : ui.barRadioButton)->setChecked(true);
        else if (widget == ui.relativeRadioButton)
            (value.toBool() ? ui.relativeRadioButton : ui.absoluteRadioButton)->setChecked(true);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            button->setChecked(value.toBool());
        else if (auto *spin = qobject_cast<QSpinBox *>(widget))
            spin->setValue(value.toInt());
        else if (auto *real = qobject_cast<QDoubleSpinBox *>(widget))
            real->setValue(value.toDouble());
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            combo->setCurrentIndex(value.toInt());
        else
            qobject_cast<ColorSelector *>(widget)->setColor(QColor(value.toString()));
    }
    restoring = false;
    if (!why.isEmpty()) {
        setValues(before, false);
        if (error)
            *error = why;
        return false;
    }
    onColorChanged(QColor()); // captions and preview take the colours; renders
    updateExtrasEnabled();
    return true;
}

bool MainForm::restoresAtStart()
{
    return QSettings().value(QStringLiteral("options/restoreLast"), false).toBool();
}

void MainForm::setRestoresAtStart(bool restore)
{
    QSettings().setValue(QStringLiteral("options/restoreLast"), restore);
}

void MainForm::restoreSettings()
{
    keepsSettings = true;
    more.restoreCheck->setChecked(restoresAtStart());
    if (!restoresAtStart())
        return;
    QSettings store;
    store.beginGroup(QStringLiteral("window"));
    QVariantMap kept;
    for (const QString &key : store.childKeys())
        kept.insert(key, store.value(key));
    if (kept.isEmpty())
        return;
    setValues(kept, false);
    // Values kept from a run that could not all be drawn: their reason is on the More page.
    QString problem;
    settings(&problem);
    if (!problem.isEmpty())
        ui.optionsTab->setCurrentIndex(2);
}

void MainForm::saveSettings() const
{
    QSettings store;
    store.beginGroup(QStringLiteral("window"));
    const QVariantMap map = values();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        store.setValue(it.key(), it.value());
}

QStringList MainForm::recentDesigns()
{
    return QSettings().value(QStringLiteral("recentDesigns")).toStringList();
}

namespace {

void rememberDesign(const QString &fileName)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList recent = MainForm::recentDesigns();
    recent.removeAll(path);
    recent.prepend(path);
    QSettings().setValue(QStringLiteral("recentDesigns"), recent.mid(0, 8));
}

}

// The window now stands for this file: its title, its baseline for "*", the recent list.
void MainForm::adoptDesign(const QString &fileName)
{
    design = fileName;
    designBaseline = values();
    rememberDesign(fileName);
    updateTitle();
}

bool MainForm::saveDesign(const QString &fileName, QString *error)
{
    // Keys the window does not know stay as the file had them.
    QJsonObject settings = designKept;
    const QJsonObject shown = QJsonObject::fromVariantMap(values());
    for (auto it = shown.constBegin(); it != shown.constEnd(); ++it)
        settings.insert(it.key(), it.value());
    // Written whole or not at all.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(DesignFile::encode(settings)) < 0
        || !file.commit()) {
        *error
            = tr("Can't write %1: %2").arg(QDir::toNativeSeparators(fileName), file.errorString());
        return false;
    }
    designKept = settings;
    adoptDesign(fileName);
    return true;
}

bool MainForm::openDesign(const QString &fileName, QString *error)
{
    const QString shown = QDir::toNativeSeparators(fileName);
    const std::optional<QJsonObject> settings = DesignFile::read(fileName, error);
    if (!settings)
        return false;
    // What the window cannot draw is not dropped in silence: quvelta-render draws it.
    if (const QStringList beyond = DesignFile::beyondWindow(*settings); !beyond.isEmpty()) {
        *error = tr("%1 holds settings the window does not draw (%2); render it with "
                    "quvelta-render --design")
                     .arg(shown, beyond.join(QStringLiteral(", ")));
        return false;
    }
    QString why;
    if (!setValues(settings->toVariantMap(), true, &why)) {
        *error = tr("%1 has a bad value: %2; nothing was changed").arg(shown, why);
        return false;
    }
    designKept = *settings;
    adoptDesign(fileName);
    return true;
}
