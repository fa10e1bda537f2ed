#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Syntax-checks every C++ source with MinGW-w64 (Windows x86-64, GCC, C++17), so code that only
# builds on Linux shows up here. There are no Windows Qt libraries on Debian, so the sources are
# checked against the Linux Qt headers, which declare the same API. Only the libraries'
# headers are taken from the host (zlib, libpng, libtiff, libdeflate, libjpeg, Cairo, Google
# Benchmark), never the host's C library. Generated headers (uic, moc) come from the host's Qt tools.
#
# Usage: scripts/check-mingw.sh [files...]   (default: every .cpp under src, tests and bench)
set -eu
cd "$(dirname "$0")/.."

cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
command -v "$cxx" >/dev/null || { echo "check-mingw: $cxx not found (g++-mingw-w64-x86-64-posix)"; exit 1; }

qtinc=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
qtbin=$(qmake6 -query QT_INSTALL_LIBEXECS 2>/dev/null || echo /usr/lib/qt6/libexec)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The third-party headers one by one, so /usr/include itself (glibc) is never on the path.
mkdir -p "$work/inc" "$work/gen" "$work/log"
# GEOS's C header is plain C with its own fixed-width types, the same on Windows (OSGeo4W and
# MSYS2 ship it), so it is checked like the others; so is lib3mf's interface (its own folder).
for h in zlib.h zconf.h png.h pngconf.h pnglibconf.h tiff.h tiffio.h tiffconf.h tiffvers.h \
         libdeflate.h jpeglib.h jmorecfg.h jerror.h jconfig.h cairo benchmark geos_c.h geos lib3mf; do
    for dir in /usr/include /usr/include/"$multiarch"; do
        [ -e "$dir/$h" ] && ln -sf "$dir/$h" "$work/inc/$h" && break
    done
done

# uic's and moc's output is plain C++, the same for every platform.
for ui in src/app/*.ui; do
    "$qtbin/uic" "$ui" -o "$work/gen/ui_$(basename "$ui" .ui).h"
done
for t in tests/tst_*.cpp; do
    "$qtbin/moc" "$t" -o "$work/gen/$(basename "$t" .cpp).moc"
done

defines="-D_USE_MATH_DEFINES -DUNICODE -D_UNICODE -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB
-DQT_PRINTSUPPORT_LIB -DQT_CONCURRENT_LIB -DQT_TESTLIB_LIB -DQUVELTA_VERSION=\"0\" -DQUVELTA_RENDER_PATH=\"quvelta-render.exe\"
-DQUVELTA_DXFCHECK_PATH=\"dxfcheck.py\" -DQUVELTA_KICADCHECK_PATH=\"kicadcheck.py\" -DQUVELTA_CUTCHECK_PATH=\"cutcheck.py\" -DQUVELTA_SOURCE_DIR=\".\" -DQUVELTA_LUPDATE=\"lupdate\" -DQUVELTA_TRANSLATIONS -DQT_TESTCASE_BUILDDIR=\".\" -DQT_TESTCASE_SOURCEDIR=\".\""
includes="-I$work/gen -Isrc/pattern -Isrc/fabrication -Isrc/raster -Isrc/codec -Isrc/export -Isrc/calibrate -Isrc/widgets -Isrc/app -Isrc/cli -Itests
-Ibench -isystem $qtinc -isystem $qtinc/QtCore -isystem $qtinc/QtGui -isystem $qtinc/QtWidgets
-isystem $qtinc/QtPrintSupport -isystem $qtinc/QtConcurrent -isystem $qtinc/QtTest -isystem $work/inc -isystem $work/inc/cairo
-isystem $work/inc/lib3mf"

if [ $# -gt 0 ]; then
    files="$*"
else
    # bench/bench.cpp is left out: it measures the command line's peak memory with fork() and
    # wait4(), which Windows lacks, and the benchmark is an optional Linux tool.
    files=$(find src tests bench -name '*.cpp' ! -path bench/bench.cpp | sort)
fi

# Two at a time (JOBS), each file's errors in a file of its own, printed in order at the end.
export cxx defines includes work
printf '%s\n' $files | xargs -P "${JOBS:-2}" -I{} sh -c '
    f={}; log="$work/log/$(echo "$f" | tr / _)"
    # shellcheck disable=SC2086
    "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra $defines $includes "$f" >"$log" 2>&1 \
        && rm -f "$log" || true' 2>/dev/null || true
count=$(printf '%s\n' $files | wc -l)
failed=0
for f in $files; do
    log="$work/log/$(echo "$f" | tr / _)"
    if [ -e "$log" ]; then
        echo "check-mingw: $f does not compile for Windows:"
        head -n 20 "$log"
        failed=$((failed + 1))
    fi
done
echo "check-mingw: $count files, $failed failing"
[ "$failed" -eq 0 ]
