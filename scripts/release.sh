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
# and with either of these, dist/ is also an apt repository of both packages, served as it stands
# at URL, which each package installs as its source, so that `apt upgrade` brings the next:
#   --signing-key FILE --repository URL     its index signed (InRelease, Release.gpg) with the
#                                           secret key in FILE, as gpg --export-secret-keys
#                                           --armor writes it, read, used and forgotten
#   --public-key FILE --repository URL      the same packages from the key's public part alone,
#                                           rangefinder-archive-key.asc, the index unsigned
# dist/ then holds the public key too, named in the record and summed in SHA256SUMS.
# Needs root, for the root; asks sudo for it, keeping RANGEFINDER_ROOTS.
set -euo pipefail
self=$(realpath "$0")
invoked_in=$PWD
if [ "$(id -u)" -ne 0 ]; then
    exec sudo ${RANGEFINDER_ROOTS:+env RANGEFINDER_ROOTS="$RANGEFINDER_ROOTS"} bash "$self" "$@"
fi
cd "$(dirname "$self")/.."
umask 022
. scripts/need-packages.sh
. scripts/cached-root.sh
. scripts/copy-tree.sh
. scripts/apt-repository.sh
usage() {
    echo "usage: bash scripts/release.sh [--commit REV | --uncommitted]" \
        "[--signing-key FILE --repository URL | --public-key FILE --repository URL]" >&2
    exit 2
}
revision=HEAD
uncommitted=
key_kind=
key_file=
repository=
while [ $# -gt 0 ]; do
    case $1 in
    --uncommitted) [ "$revision" = HEAD ] || usage; uncommitted=1 ;;
    --commit) [ $# -ge 2 ] && [ -z "$uncommitted" ] || usage; revision=$2; shift ;;
    --signing-key | --public-key)
        [ $# -ge 2 ] && [ -z "$key_kind" ] || usage
        key_kind=${1#--}
        key_file=$2
        shift
        ;;
    --repository) [ $# -ge 2 ] && [ -n "$2" ] || usage; repository=$2; shift ;;
    *) usage ;;
    esac
    shift
done
# Each asks for the other.
{ [ -n "$key_kind" ] && [ -n "$repository" ]; } || { [ -z "$key_kind" ] && [ -z "$repository" ]; } || usage
need_packages git gpg
# The key is read before anything is made: a key that will not serve stops the release here.
secrets=$(mktemp -d)
trap 'gpgconf --homedir "$secrets" --kill all 2>/dev/null || true; rm -rf "$secrets"' EXIT
if [ -n "$key_kind" ]; then
    [[ $key_file == /* ]] || key_file=$invoked_in/$key_file
    take_key "${key_kind%-key}" "$key_file" "$secrets" || exit 1
fi
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
# This script's own commit, which the record names beside the one it builds.
own=$(git rev-parse HEAD)${changes:+ with changes not committed}
[ -n "$changes" ] || uncommitted=
need_packages mmdebstrap
architectures=(armhf arm64)
declare -A option=([armhf]=--arm [arm64]=--arm64)
declare -A toolchain=([armhf]=cmake/armv6-hf.cmake [arm64]=cmake/aarch64.cmake)

# The root's folder where the work is done.
prepare_build_root() { mkdir -p "$1/build"; }
# What the root holds: what a build needs, and each toolchain's compilers, the other packages it
# names, and the publisher's library for its architecture.
packages=(cmake ninja-build g++ binutils nlohmann-json3-dev apt-utils)
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
trap 'gpgconf --homedir "$secrets" --kill all 2>/dev/null || true; rm -rf "$secrets" "$work"' EXIT
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
# The packages of a release with a repository carry its source and its key alone.
follow=()
if [ -n "$repository" ]; then
    export_key "$secrets" "$work/$public_key_name" "$work/$keyring_name"
    follow=(--repository "$repository" --keyring "/build/$keyring_name")
fi
for architecture in "${architectures[@]}"; do
    log=$work/$architecture.log
    in_root bash /build/rangefinder/scripts/stand-in-wiringpi.sh "/build/wiringpi-$architecture" \
        "/build/rangefinder/${toolchain[$architecture]}" >"$log" 2>&1 &&
        in_root bash /build/rangefinder/scripts/package.sh "${option[$architecture]}" "${follow[@]}" \
            --wiringpi-prefix "/build/wiringpi-$architecture" --build-dir "/build/$architecture" >>"$log" 2>&1 ||
        { cat "$log" >&2; echo "release: cannot make the $architecture package" >&2; exit 1; }
done
# By this script's own check, whatever the commit built has of it.
bash scripts/check-armv6.sh --package "$(ls "$work"/armhf/rangefinder_*.deb)" "$work/armhf" >&2 ||
    { echo "release: the armhf package is not ARMv6 throughout, so no release is made" >&2; exit 1; }

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
    echo "Release-Script-Commit: $own"
    if [ -n "$repository" ]; then
        echo "Repository: $repository"
        echo "Signing-Key: $key_fingerprint"
    fi
    echo "Checksums-Sha256:"
    (cd "$work/dist" && for deb in *.deb; do echo " $(sha256sum <"$deb" | cut -d' ' -f1) $(stat -c %s "$deb") $deb"; done)
    echo "Build-Origin: Debian"
    echo "Build-Architecture: $(in_root dpkg --print-architecture)"
    echo "Build-Archive: $mirror $(in_root sh -c '. /etc/os-release && echo "$VERSION_CODENAME"'), published $archive_date"
    echo "Installed-Build-Depends:"
    in_root dpkg-query -W -f='${Package}:${Architecture} (= ${Version})\n' | sort | sed 's/^/ /; $!s/$/,/'
} >"$work/dist/rangefinder_$version.buildinfo"
if [ -n "$repository" ]; then
    cp "$work/$public_key_name" "$work/dist/"
    write_release "$work/dist" "$(sed -n 's/^ -- .*>  //p' "$work/rangefinder/packaging/changelog" | head -n 1)"
    [ "$key_kind" != signing-key ] || sign_release "$work/dist" "$secrets" || exit 1
fi
(cd "$work/dist" && sha256sum -- *.deb *.buildinfo ${repository:+"$public_key_name"} >SHA256SUMS)
# Moved in whole: copied beside dist/ first, for $work may be on another file system, then put in
# its place. dist.new/ is ignored by git, so one left by a run that was stopped stops no other.
rm -rf dist.new
cp -r "$work/dist" dist.new
rm -rf dist
mv dist.new dist
ls dist/*
