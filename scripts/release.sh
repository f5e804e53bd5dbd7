#!/usr/bin/env bash
# Makes the packages a Pi owner downloads, in dist/: rangefinder_<version>_armhf.deb and
# rangefinder_<version>_arm64.deb, each with both programs, and SHA256SUMS over exactly them.
# They are built in a Debian 12 root kept for the purpose (see cached-root.sh), with its cross
# compilers and its libmosquitto for each architecture, against the project's own stand-in for
# wiringPi's library, whose name is all the programs take from it; so they run on Raspberry Pi
# OS 12 and newer, and one commit gives the same bytes whatever Debian builds them and wherever
# the tree is. Needs root, for the root; asks sudo for it.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"
. scripts/need-packages.sh
. scripts/cached-root.sh
. scripts/copy-tree.sh
need_packages mmdebstrap
architectures=(armhf arm64)
declare -A option=([armhf]=--arm [arm64]=--arm64)
declare -A toolchain=([armhf]=cmake/armv6-hf.cmake [arm64]=cmake/aarch64.cmake)

# The root's folder where the work is done.
prepare_build_root() { mkdir -p "$1/build"; }
root=$(cached_root release-build prepare_build_root bookworm --variant=minbase --architectures=amd64,armhf,arm64 \
    --include=cmake,ninja-build,g++,binutils,g++-arm-linux-gnueabihf,g++-aarch64-linux-gnu,libmosquitto-dev:armhf,libmosquitto-dev:arm64)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# in_root COMMAND...: runs COMMAND in the root, read-only but for $work as its /build and a /tmp
# of its own, so that the root stays as it was made.
in_root() {
    unshare --mount --propagation private -- bash -c '
        mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && mount --bind "$2" "$1/build" &&
            mount --rbind /dev "$1/dev" && mount -t proc proc "$1/proc" &&
            mount -t tmpfs tmpfs "$1/tmp" &&
            exec chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/build LANG=C.UTF-8 "${@:3}"' \
        _ "$root" "$work" "$@"
}

copy_tree "$work/rangefinder"
for architecture in "${architectures[@]}"; do
    log=$work/$architecture.log
    in_root bash /build/rangefinder/scripts/stand-in-wiringpi.sh "/build/wiringpi-$architecture" \
        "/build/rangefinder/${toolchain[$architecture]}" >"$log" 2>&1 &&
        in_root bash /build/rangefinder/scripts/package.sh "${option[$architecture]}" \
            --wiringpi-prefix "/build/wiringpi-$architecture" --build-dir "/build/$architecture" >>"$log" 2>&1 ||
        { cat "$log" >&2; echo "release: cannot make the $architecture package" >&2; exit 1; }
done
echo "release: built with $(in_root dpkg-query -W -f='${Package} ${Version}, ' cmake g++-arm-linux-gnueabihf g++-aarch64-linux-gnu libmosquitto-dev:armhf | sed 's/, $//')" >&2

# dist/ is replaced whole, once everything is made, so that no package there is half made.
mkdir "$work/dist"
mv "$work"/armhf/rangefinder_*.deb "$work"/arm64/rangefinder_*.deb "$work/dist/"
(cd "$work/dist" && sha256sum -- *.deb >SHA256SUMS)
rm -rf dist.new
mv "$work/dist" dist.new
rm -rf dist
mv dist.new dist
ls dist/*
