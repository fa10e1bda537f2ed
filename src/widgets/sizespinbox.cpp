// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "sizespinbox.h"

SizeSpinBox::SizeSpinBox(QWidget *parent) : QDoubleSpinBox(parent)
{
    setDecimals(3);
}

QString SizeSpinBox::textFromValue(double value) const
{
    QString text = locale().toString(value, 'f', decimals());
    text.remove(locale().groupSeparator());
    const QString point = locale().decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

double SizeSpinBox::valueFromText(const QString &text) const
{
    QString plain = text;
    plain.replace(QLatin1Char(','), locale().decimalPoint());
    return QDoubleSpinBox::valueFromText(plain);
}

QValidator::State SizeSpinBox::validate(QString &input, int &pos) const
{
    if (locale().decimalPoint() != QLatin1String(","))
        input.replace(QLatin1Char(','), locale().decimalPoint());
    return QDoubleSpinBox::validate(input, pos);
}
