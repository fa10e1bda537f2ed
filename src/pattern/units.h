// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_UNITS_H
#define QUVELTA_UNITS_H

// Lengths on paper: millimetres, inches, PDF points and printer dots.
namespace Units {

constexpr double mmPerInch = 25.4;
constexpr double pointsPerMm = 72.0 / mmPerInch; // a PDF point is 1/72 inch

constexpr double dotsPerMm(double dpi)
{
    return dpi / mmPerInch;
}

}

#endif
