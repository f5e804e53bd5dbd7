#!/usr/bin/env bash
# Checks the release as the Pis' owners meet it, and as one who builds it again would.
# scripts/release.sh, run from two copies of the tree in two folders, one from inside scripts/,
# makes the same bytes, its record names the commit and the root's packages, its armhf programs
# pass the ARMv6 check, and it refuses the tree once it has a change not committed, leaving
# dist/ as it was. Then, on fresh Debian systems of the Pi's own architectures, booted under
# systemd through qemu's user-mode emulation (arm64 on Debian 12 and 13, armhf on Debian 12,
# each with a wiringpi package of the real-time stand-in for its architecture), the version
# before's release package, made by this release.sh from its commit, is installed and its
# publisher set up against the broker of Home Assistant's machine on another host; then the
# release's package is installed over it as README section 5 says, and run. A Debian 12 system
# of this machine's own architecture does the same with packages made here by package.sh from
# each version's tree. What is checked inside, and the package's removal and purge:
# scripts/documents/release.sh. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
. scripts/blocks.sh
. scripts/booted-root.sh
. scripts/home-assistant-broker.sh
[ "$(id -u)" -eq 0 ] || { echo "test-release: needs root, to make and boot the systems" >&2; exit 1; }
need_packages mmdebstrap systemd-container iproute2 nftables git mosquitto openssl
native=$(dpkg --print-architecture)
# architecture:release, each booted as pi-architecture-release.
systems=(arm64:bookworm arm64:trixie armhf:bookworm "$native:bookworm")
work=$(mktemp -d /var/tmp/rangefinder-release.XXXXXX)
brokers=$(mktemp -d /var/tmp/rangefinder-release-brokers.XXXXXX)
chmod 0755 "$brokers"
. scripts/children.sh
trap 'stop_children; for system in "${systems[@]}"; do power_off "pi-${system/:/-}"; broker_down "$brokers/${system/:/-}"; done
      rm -rf "$work" "$brokers"' EXIT
say() { echo "test-release: $*"; }
fail() { echo "test-release: FAILED: $*" >&2; exit 1; }
started=$SECONDS

project_bundle "$work/rangefinder.bundle"
for copy in one two/deeper; do
    git clone -q "$work/rangefinder.bundle" "$work/$copy/rangefinder"
done
release() {
    (cd "$1" && bash "${@:2}") >"$work/release.log" 2>&1 || { cat "$work/release.log" >&2; fail "release.sh in $1"; }
}
release "$work/one/rangefinder/scripts" release.sh
release "$work/two" deeper/rangefinder/scripts/release.sh
dist=$work/one/rangefinder/dist
diff -r "$dist" "$work/two/deeper/rangefinder/dist" >&2 || fail "two runs of release.sh made different bytes"
[ "$(cd "$dist" && ls | grep -vx SHA256SUMS)" = "$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort)" ] &&
    (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS is not over exactly the files beside it"
version=$(dpkg-deb -f "$dist"/rangefinder_*_arm64.deb Version)
buildinfo=$dist/rangefinder_$version.buildinfo
grep -qx "Commit: $(git -C "$work/one/rangefinder" rev-parse HEAD)" "$buildinfo" &&
    grep -qx " g++-arm-linux-gnueabihf:amd64 (= [^ ]*)," "$buildinfo" &&
    grep -qx " libmosquitto-dev:armhf (= [^ ]*)," "$buildinfo" || fail "the .buildinfo names not the commit and the root's packages"
grep -qx "check-armv6: the 2 programs of rangefinder_${version}_armhf.deb are ARMv6 throughout, hard-float, for the armhf loader" \
    "$work/release.log" || fail "release.sh did not say its armhf programs passed the ARMv6 check"
bash scripts/check-armv6.sh --package "$dist/rangefinder_${version}_armhf.deb" >/dev/null
say "release.sh, run twice from trees in two folders, made the same bytes, its armhf programs ARMv6:"
sed 's/^/    /' "$dist/SHA256SUMS"
echo "# changed" >>"$work/one/rangefinder/README.md"
touch "$work/one/rangefinder/new-file"
! (cd "$work/one/rangefinder" && bash scripts/release.sh) >"$work/release.log" 2>&1 &&
    grep -qx ' M README.md' "$work/release.log" && grep -qx '?? new-file' "$work/release.log" ||
    { cat "$work/release.log" >&2; fail "release.sh did not refuse a tree with changes not committed, naming them"; }
diff -r "$dist" "$work/two/deeper/rangefinder/dist" >&2 || fail "the refused release.sh touched dist/"
say "release.sh refuses a tree with changes not committed, naming them, and leaves dist/ as it was"

# What each owner downloads, or, on this machine's architecture, the packages made here: this
# version's, with its sums, and the version before's, from the commit that added its changelog
# entry.
for system in "${systems[@]}"; do
    architecture=${system%:*}
    downloads=$work/downloads-$architecture
    [ ! -d "$downloads" ] || continue
    toolchain=
    [ "$architecture" = "$native" ] || toolchain=$(grep -l "RANGEFINDER_DEB_ARCHITECTURE $architecture)" cmake/*.cmake)
    bash scripts/real-time-wiringpi-deb.sh "$downloads" $toolchain >/dev/null
done
bash scripts/stand-in-wiringpi.sh "$work/stand-in"
package() {
    bash "$1/scripts/package.sh" --wiringpi-prefix "$work/stand-in" --build-dir "$2" >"$work/package.log" 2>&1 ||
        { cat "$work/package.log" >&2; fail "cannot make the package of $1"; }
}
package . "$work/now"
cp "$work"/now/rangefinder_*.deb "$work/downloads-$native/"
(cd "$work/downloads-$native" && sha256sum -- rangefinder_*.deb >SHA256SUMS)
previous=$(sed -n 's/^rangefinder (\(.*\)) .*/\1/p' packaging/changelog | sed -n 2p)
[ "$(git rev-parse --is-shallow-repository)" = false ] || git fetch -q --unshallow || true
commit=$(git log --format=%H -S"rangefinder ($previous)" -- packaging/changelog 2>/dev/null | tail -n 1)
[ -n "$commit" ] || fail "this clone does not hold the commit that made $previous (a shallow clone?)"
mkdir "$work/previous"
git archive "$commit" | tar -x -C "$work/previous"
package "$work/previous" "$work/previous/build"
mkdir "$work/downloads-$native/previous"
cp "$work"/previous/build/rangefinder_*.deb "$work/downloads-$native/previous/"
# The version before's release, as this release.sh makes it from that commit.
git -C "$work/two/deeper/rangefinder" fetch -q "$PWD" "$commit:refs/heads/previous"
release "$work/two/deeper/rangefinder" scripts/release.sh --commit previous
for system in "${systems[@]}"; do
    architecture=${system%:*}
    [ "$architecture" != "$native" ] || continue
    mkdir -p "$work/downloads-$architecture/previous"
    cp "$work"/two/deeper/rangefinder/dist/rangefinder_"${previous}_$architecture".deb "$work/downloads-$architecture/previous/"
done
say "made the $native packages of $version, and of $previous from the commit of its changelog entry;" \
    "the release of $previous from that commit"

# The fresh roots, one after the other: each made under emulation takes a core or two.
declare -A roots
for system in "${systems[@]}"; do
    roots[$system]=$(pi_root "${system#*:}" "${system%:*}" mosquitto-clients libmosquitto1)
done

# on ARCHITECTURE RELEASE INDEX: boots a fresh RELEASE system of ARCHITECTURE as
# pi-ARCHITECTURE-RELEASE, puts the downloads in its owner's home, and runs documents/release.sh.
on() {
    local name=pi-$1-$2 machine=$work/pi-$1-$2 broker=$brokers/$1-$2
    cp -a "${roots[$1:$2]}" "$machine"
    name_machine "$machine" "$name" "$3"
    network_up "$name" "$3"
    broker_up "$broker" "$3" "$2"
    cp -r "$work/downloads-$1/." "$broker/ca.crt" "$machine/home/$owner/"
    [ "$1" = "$native" ] || cp "$dist"/rangefinder_*_"$1".deb "$dist/SHA256SUMS" "$machine/home/$owner/"
    mkdir -p "$machine/home/$owner/other"
    cp "$dist"/rangefinder_*_armhf.deb "$machine/home/$owner/other/"
    chown -R --reference="$machine/home/$owner" "$machine/home/$owner"
    boot "$name" "$machine" "$work/$name.console" --bind-ro="$work/rangefinder.bundle:/srv/rangefinder.bundle"
    echo "$name: booted: $(inside systemctl --version | head -n 1), $(inside cat /etc/debian_version), $(inside uname -m)"
    clone_there
    run_there documents/release.sh
    power_off "$name"
    grep -qx release "$machine/var/tmp/blocks-taken" || { echo "$name: FAILED: the release block was not run" >&2; return 1; }
}

# on_system ARCHITECTURE:RELEASE N: the Nth system, on network 10.77.(10+N).0/30.
on_system() { on "${1%:*}" "${1#*:}" "$((10 + $2))"; }
after_failure() { tail -n 20 "$brokers/${1/:/-}/broker.log" 2>/dev/null | sed "s/^/broker: /" >&2; }
at_once on_system "${systems[@]}"
say "the release installs, runs and publishes on ${systems[*]}, in $((SECONDS - started)) s"
