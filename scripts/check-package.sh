#!/usr/bin/env bash
# Makes the native, the armhf and the arm64 Debian packages against the stand-in wiringPi
# library made from the tests' double, in build/check-package/ (packages for checking, not for
# installing), and checks them as Debian's tools and a user would: lintian finds nothing, the
# unpacked program reads from the stand-in, its manual pages render without a warning and carry
# the package's version, its binaries are hardened, its systemd units are sound and nothing
# enables them, each package holds the MQTT publisher with its file, root's alone and a
# conffile, its maintainer scripts are those meant (no preinst: the armhf programs are ARMv6
# throughout, as package.sh checks), and cmake --install installs the programs, the pages and
# the units, and keeps an owner's file of the publisher's. It then makes all three again from a copy of the tree with a
# function that carries a stack canary. Prints a line before each step and after each check;
# the builds' own output only when one fails.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
. scripts/copy-tree.sh
need_packages cmake g++ ninja-build g++-arm-linux-gnueabihf g++-aarch64-linux-gnu lintian devscripts \
    mandoc groff-base binutils systemd libmosquitto-dev nlohmann-json3-dev
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
say() { echo "check-package: $*"; }
builds=build/check-package
rm -rf "$builds"
names=(native armhf arm64)
# Each package's toolchain, for its stand-in, and package.sh's option for it.
declare -A toolchain=([native]= [armhf]=cmake/armv6-hf.cmake [arm64]=cmake/aarch64.cmake)
declare -A option=([native]= [armhf]=--arm [arm64]=--arm64)

# package TREE NAME BUILD: makes the NAME package from the tree in TREE, in BUILD, against the
# stand-in in $work/NAME.
package() {
    bash "$1/scripts/package.sh" ${option[$2]} --wiringpi-prefix "$work/$2" --build-dir "$(realpath -m "$3")" \
        >/dev/null 2>"$work/$2.log" || { cat "$work/$2.log" >&2; fail "cannot make the $2 package"; }
}

# unpack NAME BUILD: the package in BUILD, unpacked into $work/unpacked-NAME.
unpack() {
    rm -rf "$work/unpacked-$1"
    dpkg-deb -x "$2"/rangefinder_*.deb "$work/unpacked-$1"
}

for name in "${names[@]}"; do
    say "making the $name package"
    bash scripts/stand-in-wiringpi.sh "$work/$name" ${toolchain[$name]}
    package . "$name" "$builds/$name"
    unpack "$name" "$builds/$name"
done

say "running lintian on each package"
root=()
[ "$(id -u)" -ne 0 ] || root=(--allow-root)
for name in "${names[@]}"; do
    # Its temporary files go where this script cleans up.
    TMPDIR=$work lintian "${root[@]}" --fail-on error,warning "$builds/$name"/rangefinder_*.deb ||
        fail "lintian finds fault with the $name package"
done
say "lintian finds nothing in the native, armhf and arm64 packages ($builds)"

program=$work/unpacked-native/usr/bin/rangefinder
readings=$( (LD_LIBRARY_PATH="$work/native/lib" timeout 30 "$program" || true) | head -n 2 | tr '\n' ' ')
[ "$readings" = "21 21 " ] || fail "the unpacked program read '$readings' from the stand-in, not 21 21"
say "the unpacked native program reads 21 21 from the stand-in"

version=$(dpkg-deb -f "$builds/native"/rangefinder_*.deb Version)
for program in rangefinder rangefinder-mqtt; do
    page=$work/unpacked-native/usr/share/man/man1/$program.1.gz
    warnings=$(zcat "$page" | groff -man -ww -z 2>&1; mandoc -T lint -W warning "$page" 2>&1) ||
        fail "the manual page of $program does not render"
    [ -z "$warnings" ] || fail "the manual page of $program renders with warnings: $warnings"
    zcat "$page" | grep -q "^\.TH ${program^^} 1 .*\"rangefinder $version\"" ||
        fail "the manual page's .TH line does not carry version $version: $(zcat "$page" | grep '^\.TH')"
done
say "the packaged manual pages render without a warning and are of version $version"

say "checking the packaged systemd unit"
bash scripts/check-service.sh "$work/unpacked-native"
# No package's programs need more than its architecture's oldest Pi has, so none has a preinst
# to refuse one.
declare -A scripts=([native]="postinst postrm prerm" [armhf]="postinst postrm prerm" [arm64]="postinst postrm prerm")
for name in "${names[@]}"; do
    unpacked=$work/unpacked-$name
    deb=$(ls "$builds/$name"/rangefinder_*.deb)
    for program in rangefinder rangefinder-mqtt; do
        grep -qx "ExecStart=/usr/bin/$program" "$unpacked/usr/lib/systemd/system/$program.service" &&
            grep -qx "disable $program.service" "$unpacked/usr/lib/systemd/system-preset/50-rangefinder.preset" ||
            fail "the $name package has no unit that starts $program, or no preset that leaves it disabled"
    done
    [ "$(stat -c '%a' "$unpacked/etc/rangefinder/mqtt.conf")" = 600 ] &&
        [ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/rangefinder/mqtt.conf ] ||
        fail "the $name package's publisher file is not a conffile of mode 0600"
    dpkg-deb -f "$deb" Depends | grep -qw libmosquitto1 || fail "the $name package does not depend on libmosquitto1"
    found=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed -n 's|^\./\(p[a-z]*\)$|\1|p' | sort | xargs)
    [ "$found" = "${scripts[$name]}" ] || fail "the $name package's maintainer scripts are '$found', not '${scripts[$name]}'"
done

# The publisher's file lands in /etc whatever the prefix, so the install goes to a folder that
# stands for the root.
root=$work/root
DESTDIR=$root cmake --install "$builds/native" --prefix /usr/local >/dev/null
for file in bin/rangefinder bin/rangefinder-mqtt share/man/man1/rangefinder.1.gz \
    share/man/man1/rangefinder-mqtt.1.gz lib/systemd/system/rangefinder.service \
    lib/systemd/system/rangefinder-mqtt.service lib/systemd/system-preset/50-rangefinder.preset; do
    [ -f "$root/usr/local/$file" ] || fail "cmake --install did not install $file"
done
for program in rangefinder rangefinder-mqtt; do
    grep -qx "ExecStart=/usr/local/bin/$program" "$root/usr/local/lib/systemd/system/$program.service" ||
        fail "the unit cmake --install installs does not start the $program it installed"
done
[ "$(stat -c '%a' "$root/etc/rangefinder/mqtt.conf")" = 600 ] || fail "cmake --install did not install mqtt.conf, 0600"
echo 'broker=the owner'"'"'s' >"$root/etc/rangefinder/mqtt.conf"
DESTDIR=$root cmake --install "$builds/native" --prefix /usr/local >/dev/null
[ "$(cat "$root/etc/rangefinder/mqtt.conf")" = "broker=the owner's" ] || fail "cmake --install replaced the owner's mqtt.conf"
say "each package holds both programs, with units that start them and a preset that leaves them" \
    "disabled, the publisher's file, a conffile of mode 0600, and the maintainer scripts meant, no" \
    "preinst; cmake --install installs both programs, their pages, the preset," \
    "units that start them, and the file, which it leaves be when it is there"

# hardening NAME [OPTION...]: whether hardening-check passes the NAME package's programs.
# Control-flow protection is an x86 feature, and not one Debian's default flags ask for; its
# disassembler knows only this machine's instructions, and what it says of the others' is left
# out.
hardening() {
    local name=$1 binary
    shift
    for binary in "$work/unpacked-$name"/usr/bin/*; do
        hardening-check --nocfprotection "$@" "$binary" >/dev/null 2>&1 ||
            fail "the $name program $binary is not hardened: $(hardening-check --nocfprotection "$binary" 2>/dev/null)"
    done
}
say "checking each program's hardening"
# -fstack-protector-strong puts a canary only in functions with a local array or a local whose
# address is taken; where the program has none, the flag is confirmed in the build instead.
for name in "${names[@]}"; do
    hardening "$name" --nostackprotector
    if ! hardening-check --nocfprotection --quiet "$work/unpacked-$name/usr/bin/rangefinder" >/dev/null 2>&1; then
        commands=$builds/$name/compile_commands.json
        sources=$(grep -c '"file"' "$commands")
        protected=$(grep -c -- '-fstack-protector-strong' "$commands")
        [ "$sources" -gt 0 ] && [ "$protected" -eq "$sources" ] ||
            fail "$name: only $protected of $sources sources have the stack protector"
    fi
done
say "PIE, stack protector (in every source's flags where no function needs a canary)," \
    "fortified calls, RELRO and BIND_NOW in all three programs"

# On armhf and arm64 a canary's guard comes from the dynamic loader, which the program then
# needs, and the package's dependencies must say which package that is.
copy=$builds/canary-tree
copy_tree "$copy"
cat >>"$copy/src/app/main.cpp" <<'CANARY'

extern "C" void rangefinderCanary(char const* text) {
    char copy[64];
    std::snprintf(copy, sizeof copy, "%s", text);
    std::puts(copy);
}
CANARY
for name in "${names[@]}"; do
    say "making the $name package again with a stack canary"
    package "$copy" "$name" "$builds/canary-$name"
    unpack "canary-$name" "$builds/canary-$name"
    hardening "canary-$name"
done
say "with a stack canary, all three packages are made and their programs are protected"
