// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "loadedlibrary.h"

LoadedLibrary::LoadedLibrary(const char *name, int version)
    : library(QString::fromLatin1(name), version)
{
    if (!library.load())
        problem = library.errorString().toStdString();
}
