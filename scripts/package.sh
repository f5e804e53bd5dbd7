#!/usr/bin/env bash
# Makes rangefinder's Debian package from its wiringPi build, with the MQTT publisher, their
# manual pages, units, licence and changelog, and prints the package's path.
#   bash scripts/package.sh                     on a Pi, against the wiringPi installed there
#   bash scripts/package.sh --arm --wiringpi-prefix DIR
#                                               here, cross-built for armhf (or, with --arm64,
#                                               for arm64) against a wiringPi copied from a Pi
#                                               into DIR/include and DIR/lib
# --wiringpi-prefix alone builds natively against a wiringPi in DIR; --build-dir DIR builds in
# DIR instead of build/package (or build/package-armhf, build/package-arm64); --repository URL
# --keyring FILE, as a release gives them, make a package that installs the apt source of the
# repository at URL, signed by the key in the keyring FILE, so that apt upgrade brings the next
# release; without, it installs none, and takes away one a release left. A cross-built
# package takes libmosquitto from Debian's own package for its architecture, installed beside
# this machine's. Every date in the package is that of the changelog's newest entry, so one
# tree and toolchain make the same package byte for byte, wherever it is built, and whoever's
# umask. The armhf package's programs are checked to be ARMv6 throughout, for every 32-bit Pi.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
. scripts/need-packages.sh

build=
toolchain=
options=(-DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_BACKEND=wiringpi -DRANGEFINDER_TESTS=OFF
    -DRANGEFINDER_MQTT=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
    # Linked once, as installed: a build folder's library path would stay in the build ID.
    -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON)
while [ $# -gt 0 ]; do
    case $1 in
    --arm) toolchain=cmake/armv6-hf.cmake ;;
    --arm64) toolchain=cmake/aarch64.cmake ;;
    --build-dir)
        [ $# -ge 2 ] || { echo "package: --build-dir needs a folder" >&2; exit 2; }
        build=$2
        shift
        ;;
    --repository | --keyring)
        [ $# -ge 2 ] || { echo "package: $1 needs a value" >&2; exit 2; }
        if [ "$1" = --repository ]; then
            options+=(-DRANGEFINDER_APT_REPOSITORY="$2")
        else
            options+=(-DRANGEFINDER_APT_KEYRING="$(realpath "$2")")
        fi
        shift
        ;;
    --wiringpi-prefix)
        [ $# -ge 2 ] || { echo "package: --wiringpi-prefix needs a folder" >&2; exit 2; }
        options+=(-DCMAKE_PREFIX_PATH="$(realpath "$2")")
        shift
        ;;
    *)
        echo "usage: bash scripts/package.sh [--arm | --arm64] [--wiringpi-prefix DIR] [--build-dir DIR]" \
            "[--repository URL --keyring FILE]" >&2
        exit 2
        ;;
    esac
    shift
done

if [ -n "$toolchain" ]; then
    triplet=$(toolchain_setting "$toolchain" RANGEFINDER_CROSS_TRIPLET)
    architecture=$(toolchain_setting "$toolchain" RANGEFINDER_DEB_ARCHITECTURE)
    need_architecture "$architecture"
    need_build_packages "$toolchain"
    need_packages "libmosquitto-dev:$architecture" nlohmann-json3-dev
    options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain"
        -DMOSQUITTO_LIBRARY="/usr/lib/$triplet/libmosquitto.so" -DMOSQUITTO_INCLUDE_DIR=/usr/include)
    [ -n "$build" ] || build=build/package-$architecture
else
    need_packages cmake g++ ninja-build libmosquitto-dev nlohmann-json3-dev
    [ -n "$build" ] || build=build/package
fi
SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' packaging/changelog | head -n 1)" +%s)
export SOURCE_DATE_EPOCH
rm -rf "$build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake -S . -B "$build" -G Ninja "${options[@]}" >"$log" 2>&1; then
    if grep -q 'wiringPi was not found' "$log"; then
        echo "package: wiringPi was not found: install it, or give the folder it was copied into" \
            "(with include/ and lib/) as --wiringpi-prefix DIR" >&2
    else
        cat "$log" >&2
    fi
    exit 1
fi
cat "$log" >&2
cmake --build "$build" >&2
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/rangefinder_*.deb)
if [ "${architecture:-}" = armhf ] && ! bash scripts/check-armv6.sh --package "$deb" "$build" >&2; then
    rm -f "$deb"
    echo "package: the armhf package would not run on a Pi 1 or Zero, so it is not made" >&2
    exit 1
fi
echo "$deb"
