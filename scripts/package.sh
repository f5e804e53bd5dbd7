#!/usr/bin/env bash
# Makes rangefinder's Debian package from its wiringPi build, with the MQTT publisher, their
# manual pages, units, licence and changelog, and prints the package's path.
#   bash scripts/package.sh                     on a Pi, against the wiringPi installed there
#   bash scripts/package.sh --arm --wiringpi-prefix DIR
#                                               here, cross-built for armhf (or, with --arm64,
#                                               for arm64) against a wiringPi copied from a Pi
#                                               into DIR/include and DIR/lib
# --wiringpi-prefix alone builds natively against a wiringPi in DIR; --build-dir DIR builds in
# DIR instead of build/package (or build/package-armhf, build/package-arm64). A cross-built
# package holds the publisher only where DIR holds libmosquitto for its architecture too
# (mosquitto.h, libmosquitto.so and the libraries it needs, copied from a Pi with
# libmosquitto-dev installed).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh

build=
suffix=
options=(-DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_BACKEND=wiringpi -DRANGEFINDER_TESTS=OFF
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
packages=(cmake g++ ninja-build)
cross=
while [ $# -gt 0 ]; do
    case $1 in
    --arm)
        suffix=-armhf
        cross=armhf
        options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/armv6-hf.cmake")
        packages+=(g++-arm-linux-gnueabihf)
        ;;
    --arm64)
        suffix=-arm64
        cross=arm64
        options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64.cmake")
        packages+=(g++-aarch64-linux-gnu)
        ;;
    --build-dir)
        [ $# -ge 2 ] || { echo "package: --build-dir needs a folder" >&2; exit 2; }
        build=$2
        shift
        ;;
    --wiringpi-prefix)
        [ $# -ge 2 ] || { echo "package: --wiringpi-prefix needs a folder" >&2; exit 2; }
        options+=(-DCMAKE_PREFIX_PATH="$(realpath "$2")")
        shift
        ;;
    *)
        echo "usage: bash scripts/package.sh [--arm | --arm64] [--wiringpi-prefix DIR] [--build-dir DIR]" >&2
        exit 2
        ;;
    esac
    shift
done

[ -n "$build" ] || build=build/package$suffix
if [ -z "$cross" ]; then
    packages+=(libmosquitto-dev)
    options+=(-DRANGEFINDER_MQTT=ON)
fi
need_packages "${packages[@]}"
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
if grep -q 'libmosquitto not found' "$log"; then
    echo "package: no libmosquitto for $cross was given, so this package holds no rangefinder-mqtt" >&2
fi
cmake --build "$build" >&2
(cd "$build" && cpack -G DEB >&2)
ls "$build"/rangefinder_*.deb
