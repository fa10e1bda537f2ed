#!/bin/sh
# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Installs what building, testing, benchmarking and packaging Quvelta need on Debian 12.
# Inkscape (its DXF importer needs lxml, numpy, cssselect) and LibreCAD read the vector files;
# PrusaSlicer slices the solids (its Noto fonts are why the window's tests pin their own fonts);
# KiCad's pcbnew Python module loads the footprints (kicad without its recommended libraries:
# about 80 MB to download, 300 MB installed, a minute or two of a CI run).
# GEOS (libgeos-dev) is the polygon library that finds loose pieces, bridges and kerf offsets of
# parts to cut and triangulates solids; lib3mf (lib3mf-dev) writes 3MF. The program loads both
# when first needed (libgeos-c1v5 and lib3mf1, Depends of the package).
# Qt's Linguist tools (qt6-tools-dev has their CMake package, qt6-l10n-tools lupdate and
# lrelease) build the window's translations; qt6-translations-l10n holds Qt's own.
# Runs apt-get only when a package is missing, so repeated builds stay quick.
# With the argument "checks" it also installs what CI's platform and package checks use
# (MinGW-w64, Ninja, the .deb tools and the metadata validators); with "arm64" what the AArch64
# cross build and its emulated tests use (Debian multiarch: the arm64 libraries beside ours;
# not qt6-image-formats-plugins:arm64, which would replace the host's).
set -eu

packages="cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools
qt6-image-formats-plugins qt6-qpa-plugins libgl-dev xvfb xauth poppler-utils libbenchmark-dev
libcairo2-dev zlib1g-dev libpng-dev libtiff-dev libdeflate-dev libjpeg-dev python3-ezdxf
librsvg2-bin libtiff-tools fonts-dejavu-core dpkg-dev file libgeos-dev lib3mf-dev
inkscape python3-lxml python3-numpy python3-cssselect librecad kicad prusa-slicer
qt6-tools-dev qt6-l10n-tools qt6-translations-l10n"
if [ "${1:-}" = checks ]; then
    packages="$packages g++-mingw-w64-x86-64-posix ninja-build ccache binutils appstream
desktop-file-utils man-db groff-base gzip"
fi

if [ "${1:-}" = arm64 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo dpkg --add-architecture arm64
        $sudo apt-get update -qq
    fi
    packages="$packages g++-aarch64-linux-gnu qemu-user qt6-base-dev:arm64 zlib1g-dev:arm64
libpng-dev:arm64 libtiff-dev:arm64 libdeflate-dev:arm64 libjpeg-dev:arm64 lib3mf-dev:arm64
libgeos-c1v5:arm64"
fi

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
