#!/usr/bin/env bash
# Builds rangefinder's wiringPi backend against a stand-in library made from the tests' double
# (natively, or with the toolchain file given) and checks that the program takes all seven
# operations from it and prints its readings.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_build_packages "${1:-}"
# A cross-built program runs here under emulation.
[ -z "${1:-}" ] || need_packages qemu-user
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cross=()
if [ -n "${1:-}" ]; then
    cross=(-DCMAKE_TOOLCHAIN_FILE="$(realpath "$1")")
fi

bash scripts/stand-in-wiringpi.sh "$work/prefix" "${1:-}"
cmake -S . -B "$work/app" -G Ninja "${cross[@]}" -DRANGEFINDER_BACKEND=wiringpi \
    -DRANGEFINDER_TESTS=OFF -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/app" >/dev/null
program="$work/app/rangefinder"
# Whatever the toolchain runs the target's programs with (nothing for a native build).
emulator=$(cmake -N -L "$work/app" 2>/dev/null | sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:STRING=//p')
IFS=';' read -r -a run <<<"$emulator"

fail() { echo "check-wiringpi-build: $*" >&2; exit 1; }
operations=(wiringPiSetup pinMode digitalWrite digitalRead micros delay delayMicroseconds)
if readelf -d "$program" | grep -q NEEDED; then
    readelf -d "$program" | grep -q 'NEEDED.*\[libwiringPi\.so\]' || fail "not linked to libwiringPi.so"
    taken=$(readelf --dyn-syms -W "$program" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }')
    from="libwiringPi.so"
else
    # Linked statically (the ARMv6 check): the library's operations are built in.
    taken=$(nm "$program" | awk '$2 == "T" { print $3 }')
    from="libwiringPi.a"
fi
for operation in "${operations[@]}"; do
    grep -qx "$operation" <<<"$taken" || fail "$operation does not come from the library"
done
readings=$( (timeout 30 "${run[@]}" "$program" 2>"$work/errors" || true) | head -n 2 | tr '\n' ' ')
[ "$readings" = "21 21 " ] || fail "expected two readings of 21 from the stand-in, got '$readings'"
[ ! -s "$work/errors" ] || fail "wrote to standard error: $(cat "$work/errors")"
echo "check-wiringpi-build: the wiringPi build${1:+ ($1)} takes all seven operations from $from and reads 21 21"
