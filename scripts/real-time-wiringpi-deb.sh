#!/usr/bin/env bash
# real-time-wiringpi-deb.sh DIR [TOOLCHAIN_FILE]: makes DIR/wiringpi_<version>_<arch>.deb, a
# package that stands in for wiringPi's own release package on a system that is not a Pi: the
# stand-in library that keeps real time and opens /dev/gpiomem (tests/real_time_wiringpi), its
# wiringPi.h, and a `gpio` that answers `gpio -v`; for this machine, or for the architecture of
# one of cmake/'s cross toolchains. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_build_packages "${2:-}"
out=$(realpath -m "$1")
cross=()
architecture=$(dpkg --print-architecture)
if [ -n "${2:-}" ]; then
    cross=(-DCMAKE_TOOLCHAIN_FILE="$(realpath "$2")")
    architecture=$(toolchain_setting "$2" RANGEFINDER_DEB_ARCHITECTURE)
fi
version=3.14
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S tests/real_time_wiringpi -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr "${cross[@]}" >/dev/null
cmake --build "$work/build" >/dev/null
DESTDIR=$work/root cmake --install "$work/build" >/dev/null
mkdir -p "$work/root/usr/bin" "$work/root/DEBIAN"
cat >"$work/root/usr/bin/gpio" <<GPIO
#!/bin/sh
echo "gpio version: $version (a stand-in, for checking rangefinder where there is no Pi)"
GPIO
chmod 755 "$work/root/usr/bin/gpio"
cat >"$work/root/DEBIAN/control" <<CONTROL
Package: wiringpi
Version: $version
Architecture: $architecture
Maintainer: rangefinder authors <rangefinder@example.org>
Depends: libc6, libstdc++6, libgcc-s1
Section: electronics
Priority: optional
Description: stand-in for the wiringPi library, for checking rangefinder
 Opens /dev/gpiomem as wiringPi does and answers the seven GPIO and clock
 operations from a simulated ranging module, in real time.
CONTROL
mkdir -p "$out"
deb=$out/wiringpi_${version}_$architecture.deb
dpkg-deb --root-owner-group --build "$work/root" "$deb" >/dev/null
echo "$deb"
