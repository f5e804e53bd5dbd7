#!/usr/bin/env bash
# Makes the native, the armhf and the arm64 Debian packages against the stand-in wiringPi
# library made from the tests' double, in build/check-package/ (packages for checking, not for
# installing), and checks them as Debian's tools and a user would: lintian finds nothing, the
# unpacked program reads from the stand-in, its manual page renders without a warning and
# carries the package's version, its binary is hardened, and cmake --install installs the
# program and the page. Prints a line a check; the builds' own output only when one fails.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build g++-arm-linux-gnueabihf g++-aarch64-linux-gnu lintian devscripts \
    mandoc groff-base binutils
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
builds=build/check-package
rm -rf "$builds"

# package NAME [OPTION...]: makes one package against a stand-in built for it, and prints its path.
package() {
    local name=$1 toolchain=
    shift
    case $name in
    armhf) toolchain=cmake/armv6-hf.cmake ;;
    arm64) toolchain=cmake/aarch64.cmake ;;
    esac
    bash scripts/stand-in-wiringpi.sh "$work/$name" $toolchain
    bash scripts/package.sh "$@" --wiringpi-prefix "$work/$name" --build-dir "$builds/$name" \
        2>"$work/$name.log" || { cat "$work/$name.log" >&2; fail "cannot make the $name package"; }
}
native=$(package native)
armhf=$(package armhf --arm)
arm64=$(package arm64 --arm64)
cmake --install "$builds/native" --prefix "$work/installed" >/dev/null

root=()
[ "$(id -u)" -ne 0 ] || root=(--allow-root)
for deb in "$native" "$armhf" "$arm64"; do
    lintian "${root[@]}" --fail-on error,warning "$deb" || fail "lintian finds fault with $deb"
done
echo "check-package: lintian finds nothing in the native, armhf and arm64 packages ($builds)"

for file in bin/rangefinder share/man/man1/rangefinder.1.gz; do
    [ -f "$work/installed/$file" ] || fail "cmake --install did not install $file"
done

for name in native armhf arm64; do
    dpkg-deb -x "$builds/$name"/rangefinder_*.deb "$work/unpacked-$name"
done
program=$work/unpacked-native/usr/bin/rangefinder
readings=$( (LD_LIBRARY_PATH="$work/native/lib" timeout 30 "$program" || true) | head -n 2 | tr '\n' ' ')
[ "$readings" = "21 21 " ] || fail "the unpacked program read '$readings' from the stand-in, not 21 21"

page=$work/unpacked-native/usr/share/man/man1/rangefinder.1.gz
warnings=$(zcat "$page" | groff -man -ww -z 2>&1; mandoc -T lint -W warning "$page" 2>&1) ||
    fail "the manual page does not render"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
version=$(dpkg-deb -f "$native" Version)
zcat "$page" | grep -q "^\.TH RANGEFINDER 1 .*\"rangefinder $version\"" ||
    fail "the manual page's .TH line does not carry version $version: $(zcat "$page" | grep '^\.TH')"
echo "check-package: the packaged manual page renders without a warning and is of version $version"

# Control-flow protection is an x86 feature, and not one Debian's default flags ask for.
# -fstack-protector-strong puts a canary only in functions with a local array or a local whose
# address is taken; where the program has none, the flag is confirmed in the build instead.
# hardening-check's disassembler knows only this machine's instructions: what it says of the
# others' on standard error is left out.
for name in native armhf arm64; do
    binary=$work/unpacked-$name/usr/bin/rangefinder
    hardening-check --nocfprotection --nostackprotector "$binary" >/dev/null 2>&1 ||
        fail "$name: the program is not hardened: $(hardening-check --nocfprotection "$binary" 2>/dev/null)"
    if ! hardening-check --nocfprotection --quiet "$binary" >/dev/null 2>&1; then
        commands=$builds/$name/compile_commands.json
        sources=$(grep -c '"file"' "$commands")
        protected=$(grep -c -- '-fstack-protector-strong' "$commands")
        [ "$sources" -gt 0 ] && [ "$protected" -eq "$sources" ] ||
            fail "$name: only $protected of $sources sources have the stack protector"
    fi
done
echo "check-package: PIE, stack protector (in every source's flags where no function needs a" \
    "canary), fortified calls, RELRO and BIND_NOW in all three programs"
echo "check-package: the unpacked native program reads 21 21 from the stand-in"
