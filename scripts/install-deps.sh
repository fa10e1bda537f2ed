#!/bin/sh
# Installs what building, testing, benchmarking and packaging Quvelta need on Debian 12.
# Inkscape (its DXF importer needs lxml, numpy, cssselect) and LibreCAD read the vector files.
# Runs apt-get only when a package is missing, so repeated builds stay quick.
# With the argument "checks" it also installs what CI's platform and package checks use
# (MinGW-w64, Ninja, the .deb tools and the metadata validators); with "arm64" what the AArch64
# cross build and its emulated tests use (Debian multiarch: the arm64 libraries beside ours).
set -eu

packages="cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools
qt6-image-formats-plugins qt6-qpa-plugins libgl-dev xvfb xauth poppler-utils libbenchmark-dev
libcairo2-dev zlib1g-dev libpng-dev libtiff-dev libdeflate-dev libjpeg-dev python3-ezdxf
librsvg2-bin
libtiff-tools fonts-dejavu-core dpkg-dev file
inkscape python3-lxml python3-numpy python3-cssselect librecad"
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
libpng-dev:arm64 libtiff-dev:arm64 libdeflate-dev:arm64 libjpeg-dev:arm64 qt6-image-formats-plugins:arm64"
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
