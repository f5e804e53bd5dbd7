#!/usr/bin/env bash
# Makes the native and the armhf Debian packages against the stand-in wiringPi library made
# from the tests' double, and checks them as Debian's tools and a user would: lintian finds
# nothing, the unpacked program reads from the stand-in, its manual page renders without a
# warning, its binary is hardened, and cmake --install installs the program and the page.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build g++-arm-linux-gnueabihf lintian devscripts mandoc groff-base binutils
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

bash scripts/stand-in-wiringpi.sh "$work/native"
bash scripts/stand-in-wiringpi.sh "$work/armhf" cmake/armv6-hf.cmake
native=$(bash scripts/package.sh --wiringpi-prefix "$work/native")
cmake --install build/package --prefix "$work/installed" >/dev/null
armhf=$(bash scripts/package.sh --arm --wiringpi-prefix "$work/armhf")

for deb in "$native" "$armhf"; do
    lintian --fail-on error,warning "$deb" || fail "lintian finds fault with $deb"
done
echo "check-package: lintian finds nothing in $native or $armhf"

for file in bin/rangefinder share/man/man1/rangefinder.1.gz; do
    [ -f "$work/installed/$file" ] || fail "cmake --install did not install $file"
done

dpkg-deb -x "$native" "$work/unpacked"
program=$work/unpacked/usr/bin/rangefinder
readings=$( (LD_LIBRARY_PATH="$work/native/lib" timeout 30 "$program" || true) | head -n 2 | tr '\n' ' ')
[ "$readings" = "21 21 " ] || fail "the unpacked program read '$readings' from the stand-in, not 21 21"

page=$work/unpacked/usr/share/man/man1/rangefinder.1.gz
warnings=$(zcat "$page" | groff -man -ww -z 2>&1; mandoc -T lint -W warning "$page" 2>&1) ||
    fail "the manual page does not render"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

# Control-flow protection is an x86 feature, and not one Debian's default flags ask for.
# -fstack-protector-strong puts a canary only in functions with a local array or a local whose
# address is taken; where the program has none, the flag is confirmed in the build instead.
dpkg-deb -x "$armhf" "$work/unpacked-armhf"
for build in package package-armhf; do
    binary=$work/unpacked${build#package}/usr/bin/rangefinder
    hardening-check --nocfprotection --nostackprotector "$binary" >/dev/null ||
        fail "$binary is not hardened: $(hardening-check --nocfprotection "$binary")"
    if ! hardening-check --nocfprotection --quiet "$binary" >/dev/null; then
        sources=$(grep -c '"file"' "build/$build/compile_commands.json")
        protected=$(grep -c -- '-fstack-protector-strong' "build/$build/compile_commands.json")
        [ "$sources" -gt 0 ] && [ "$protected" -eq "$sources" ] ||
            fail "only $protected of $sources sources in build/$build have the stack protector"
        echo "check-package: $build: no function needs a stack canary; all $sources sources are compiled with -fstack-protector-strong"
    fi
done
echo "check-package: PIE, stack protector, fortified calls, RELRO and BIND_NOW in both packages;" \
    "the unpacked program reads 21 21; the manual page renders without a warning"
