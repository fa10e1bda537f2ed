// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#include "loadedlibrary.h"

LoadedLibrary::LoadedLibrary(const char *name, int version)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // That ABI's file only: QLibrary would fall back to the development link, of any version.
    library.setFileName(QStringLiteral("lib%1.so.%2").arg(QLatin1String(name)).arg(version));
#else
    library.setFileNameAndVersion(QString::fromLatin1(name), version);
#endif
    if (!library.load())
        problem = library.errorString().toStdString();
}
