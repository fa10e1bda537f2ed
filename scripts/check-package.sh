#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Checks the Debian package `make package` made: it unpacks into a scratch root (nothing is
# installed on this machine), its programs run from there with nothing but the system's
# libraries, every library they link comes from a package its Depends names, apt can resolve
# those Depends on this Debian release, and its desktop file, AppStream metainfo and manual
# pages pass their validators.
#
# Usage: scripts/check-package.sh [build-folder]   (default: build)
set -eu
cd "$(dirname "$0")/.."

build=${1:-build}
fail() { echo "check-package: $*" >&2; exit 1; }

set -- "$build"/quvelta_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one quvelta_*.deb in $build, found: $*"
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT INT TERM
dpkg-deb -x "$deb" "$root/pkg"

version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "check-package: $(basename "$deb"), Depends: $depends"

for f in usr/bin/quvelta usr/bin/quvelta-render usr/share/applications/quvelta.desktop \
         usr/share/metainfo/io.github.quvelta.Quvelta.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/quvelta.svg \
         usr/share/man/man1/quvelta.1.gz usr/share/man/man1/quvelta-render.1.gz \
         usr/share/doc/quvelta/copyright; do
    [ -s "$root/pkg/$f" ] || fail "$f missing from the package"
done
grep -q "MIT License" "$root/pkg/usr/share/doc/quvelta/copyright" \
    && grep -q "Bitstream Vera" "$root/pkg/usr/share/doc/quvelta/copyright" \
    || fail "the copyright file lacks the program's or the font's licence"
for size in 16 24 32 48 64 128 256; do
    png="$root/pkg/usr/share/icons/hicolor/${size}x${size}/apps/quvelta.png"
    [ -s "$png" ] || fail "no ${size}x${size} icon"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "icon $png is not $size px"
done

# The programs from the scratch root, only the system's library path.
render="$root/pkg/usr/bin/quvelta-render"
out=$(env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH "$render" --version)
[ "$out" = "quvelta-render $version" ] || fail "--version said '$out', the package is $version"
env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH "$render" --shape disc --bits 6 --calibration \
    -o "$root/packaged.png"
"$build/src/cli/quvelta-render" --shape disc --bits 6 --calibration -o "$root/built.png"
cmp "$root/packaged.png" "$root/built.png" || fail "the packaged program draws other pixels"

# Each library a program needs belongs to a package the Depends field names.
for exe in "$root/pkg/usr/bin/quvelta" "$render"; do
    if env -u LD_LIBRARY_PATH ldd "$exe" | grep -q "not found"; then
        env -u LD_LIBRARY_PATH ldd "$exe" >&2
        fail "$exe needs a library that is not there"
    fi
    for lib in $(env -u LD_LIBRARY_PATH ldd "$exe" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }'); do
        real=$(readlink -f "$lib")
        owner=$(dpkg -S "$lib" 2>/dev/null || dpkg -S "$real" 2>/dev/null) \
            || fail "no package owns $lib"
        pkg=${owner%%:*}
        # Libraries the listed ones pull in need not be listed themselves.
        direct=$(readelf -d "$exe" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
        echo "$direct" | grep -qx "$(basename "$lib")" || continue
        echo ", $depends" | grep -q ", $pkg\( \|,\|$\)" \
            || fail "$(basename "$exe") links $(basename "$lib") from $pkg, which Depends lacks"
    done
done

# apt resolves the Depends against this release's archive without installing anything.
if [ "$(id -u)" -eq 0 ]; then
    apt-get install -s -qq --no-install-recommends "$deb" >"$root/apt.log" 2>&1 \
        || { cat "$root/apt.log" >&2; fail "apt cannot resolve the package's Depends"; }
fi

desktop-file-validate "$root/pkg/usr/share/applications/quvelta.desktop"
appstreamcli validate --no-net --strict \
    "$root/pkg/usr/share/metainfo/io.github.quvelta.Quvelta.metainfo.xml"
for page in quvelta quvelta-render; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$root/pkg/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
done

# The manual page names every option the program's --help lists.
for option in $("$render" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    man_option=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
    zcat "$root/pkg/usr/share/man/man1/quvelta-render.1.gz" | grep -q -- "$man_option" \
        || fail "quvelta-render(1) does not describe $option"
done
echo "check-package: $(basename "$deb") installs, runs and validates"
