#!/usr/bin/env bash
# Makes the release a Pi owner downloads, in dist/: rangefinder_<version>_armhf.deb, for every
# Pi with a 32-bit system, the Pi 1 and Zero included, and rangefinder_<version>_arm64.deb, each
# with both programs; rangefinder_<version>.buildinfo, what made them: the commit, the date of
# the Debian archive, and every package of the build root with its version and architecture; and
# SHA256SUMS over those three. They are built in a Debian 12 root kept for the purpose, made
# again when the archive changes (archive_root, cached-root.sh), with its cross compilers and
# its libmosquitto for each architecture, against the project's own stand-in for wiringPi's
# library, whose name is all the programs take from it; so they run on Raspberry Pi OS 12 and
# newer, and one commit and one archive give the same bytes whatever Debian builds them and
# wherever the tree is.
#   bash scripts/release.sh                 the commit checked out; refused with uncommitted changes
#   bash scripts/release.sh --commit REV    the commit REV, whatever the tree holds
#   bash scripts/release.sh --uncommitted   the tree as it is, for a check: the record says so
# Needs root, for the root; asks sudo for it, keeping RANGEFINDER_ROOTS.
set -euo pipefail
self=$(realpath "$0")
if [ "$(id -u)" -ne 0 ]; then
    exec sudo ${RANGEFINDER_ROOTS:+env RANGEFINDER_ROOTS="$RANGEFINDER_ROOTS"} bash "$self" "$@"
fi
cd "$(dirname "$self")/.."
umask 022
. scripts/need-packages.sh
. scripts/cached-root.sh
. scripts/copy-tree.sh
usage() { echo "usage: bash scripts/release.sh [--commit REV | --uncommitted]" >&2; exit 2; }
revision=HEAD
uncommitted=
case $# in
0) ;;
1) [ "$1" = --uncommitted ] || usage; uncommitted=1 ;;
2) [ "$1" = --commit ] || usage; revision=$2 ;;
*) usage ;;
esac
need_packages git
commit=$(git rev-parse --verify --quiet "$revision^{commit}") || {
    echo "release: $revision is no commit here" >&2
    exit 1
}
changes=$(git status --porcelain)
if [ "$revision" = HEAD ] && [ -z "$uncommitted" ] && [ -n "$changes" ]; then
    echo "release: the tree has changes not committed, which a release would not hold; commit them" \
        "(or build them for a check with --uncommitted):" >&2
    echo "$changes" >&2
    exit 1
fi
[ -n "$changes" ] || uncommitted=
need_packages mmdebstrap
architectures=(armhf arm64)
declare -A option=([armhf]=--arm [arm64]=--arm64)
declare -A toolchain=([armhf]=cmake/armv6-hf.cmake [arm64]=cmake/aarch64.cmake)

# The root's folder where the work is done.
prepare_build_root() { mkdir -p "$1/build"; }
# What the root holds: what a build needs, and each toolchain's compilers, the other packages it
# names, and the publisher's library for its architecture.
packages=(cmake ninja-build g++ binutils nlohmann-json3-dev)
for architecture in "${architectures[@]}"; do
    # shellcheck disable=SC2207 # a list of names
    packages+=("g++-$(toolchain_setting "${toolchain[$architecture]}" RANGEFINDER_CROSS_TRIPLET)"
        $(toolchain_setting "${toolchain[$architecture]}" RANGEFINDER_CROSS_PACKAGES | tr -d '"')
        "libmosquitto-dev:$architecture")
done
archive_root release-build prepare_build_root bookworm --variant=minbase --architectures=amd64,armhf,arm64 \
    --include="$(IFS=,; echo "${packages[*]}")"
root=$archive_folder

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

if [ -n "$uncommitted" ]; then
    copy_tree "$work/rangefinder"
else
    mkdir "$work/rangefinder"
    git archive "$commit" | tar -x -C "$work/rangefinder"
fi
for architecture in "${architectures[@]}"; do
    log=$work/$architecture.log
    in_root bash /build/rangefinder/scripts/stand-in-wiringpi.sh "/build/wiringpi-$architecture" \
        "/build/rangefinder/${toolchain[$architecture]}" >"$log" 2>&1 &&
        in_root bash /build/rangefinder/scripts/package.sh "${option[$architecture]}" \
            --wiringpi-prefix "/build/wiringpi-$architecture" --build-dir "/build/$architecture" >>"$log" 2>&1 ||
        { cat "$log" >&2; echo "release: cannot make the $architecture package" >&2; exit 1; }
    grep -h '^check-armv6: ' "$log" >&2 || true
done

# dist/ is replaced whole, once everything is made, so that no release there is half made.
mkdir "$work/dist"
mv "$work"/armhf/rangefinder_*.deb "$work"/arm64/rangefinder_*.deb "$work/dist/"
version=$(dpkg-deb -f "$work"/dist/rangefinder_*_arm64.deb Version)
# In the form of Debian's .buildinfo files, with no date or path of the build, for its bytes are
# the same from one build of the commit to the next.
{
    echo "Format: 1.0"
    echo "Source: rangefinder"
    echo "Binary: rangefinder"
    echo "Architecture: ${architectures[*]}"
    echo "Version: $version"
    echo "Commit: $commit${uncommitted:+ with changes not committed}"
    echo "Checksums-Sha256:"
    (cd "$work/dist" && for deb in *.deb; do echo " $(sha256sum <"$deb" | cut -d' ' -f1) $(stat -c %s "$deb") $deb"; done)
    echo "Build-Origin: Debian"
    echo "Build-Architecture: $(in_root dpkg --print-architecture)"
    echo "Build-Archive: $mirror $(in_root sh -c '. /etc/os-release && echo "$VERSION_CODENAME"'), published $archive_date"
    echo "Installed-Build-Depends:"
    in_root dpkg-query -W -f='${Package}:${Architecture} (= ${Version})\n' | sort | sed 's/^/ /; $!s/$/,/'
} >"$work/dist/rangefinder_$version.buildinfo"
(cd "$work/dist" && sha256sum -- *.deb *.buildinfo >SHA256SUMS)
rm -rf dist.new
mv "$work/dist" dist.new
rm -rf dist
mv dist.new dist
ls dist/*
