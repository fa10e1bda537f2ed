// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Quvelta developers
#ifndef QUVELTA_LOADEDLIBRARY_H
#define QUVELTA_LOADEDLIBRARY_H

// A library loaded when a part is first cut or packed, not at every start. GEOS and lib3mf serve
// only cut and solid parts, yet linked they took about 10 ms of the 26 ms every quvelta-render
// and window start spends loading libraries (perf stat on a small render and on --version).

#include <QLibrary>

#include <string>

class LoadedLibrary
{
public:
    // `name` without prefix or suffix, as QLibrary takes it; `version` the ABI's major number.
    LoadedLibrary(const char *name, int version);

    // Points `function` at `symbol`; false (and `failure()` says why) when it is missing.
    template<typename Function> bool resolve(Function &function, const char *symbol)
    {
        function = reinterpret_cast<Function>(library.resolve(symbol));
        if (!function && problem.empty())
            problem = library.errorString().toStdString();
        return function != nullptr;
    }

    // Empty when every function asked for was found.
    const std::string &failure() const { return problem; }

private:
    QLibrary library;
    std::string problem;
};

#endif
