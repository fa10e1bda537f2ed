// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_TRANSLATIONS_H
#define QUVELTA_TRANSLATIONS_H

#include <QLocale>

namespace Translations {

// Installs the window's translation for `locale` (compiled in) and Qt's own (qtbase, where Qt's
// translations are installed) into the application. True when the window's own was found;
// English, the language of the sources, needs none.
bool install(const QLocale &locale);

}

#endif
