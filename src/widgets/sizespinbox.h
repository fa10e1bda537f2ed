// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_SIZESPINBOX_H
#define QUVELTA_SIZESPINBOX_H

#include <QDoubleSpinBox>

// A length in millimetres to 0.001 mm that shows only the decimals it has: "100", "12.5",
// "23.36". A comma is taken as the decimal point, as many keyboards type it.
class SizeSpinBox : public QDoubleSpinBox
{
public:
    explicit SizeSpinBox(QWidget *parent = nullptr);

    QString textFromValue(double value) const override;
    double valueFromText(const QString &text) const override;
    QValidator::State validate(QString &input, int &pos) const override;
};

#endif
