#!/usr/bin/env bash
# stand-in-wiringpi.sh PREFIX [TOOLCHAIN_FILE]: builds the stand-in wiringPi library made from
# the tests' double, natively or with the toolchain given, and installs it and its wiringPi.h
# into PREFIX, where a wiringPi build can be pointed at it as at a copy taken from a Pi.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_build_packages "${2:-}"
prefix=$1
cross=()
[ -z "${2:-}" ] || cross=(-DCMAKE_TOOLCHAIN_FILE="$(realpath "$2")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S tests/fake_wiringpi -B "$work" -G Ninja "${cross[@]}" >/dev/null
cmake --build "$work" >/dev/null
cmake --install "$work" --prefix "$prefix" >/dev/null
