#!/usr/bin/env bash
# Checks the release as the Pis' owners meet it, and as one who builds it again would.
# scripts/release.sh refuses a key that will not serve and a repository without a key; signed
# with a key made for the test, run from two copies of the tree in two folders, one from inside
# scripts/, the other from a folder with a space and from the public key alone, it makes the same
# packages, its record names both commits, the key and the root's packages, its index is signed
# by the key the packages hold, its armhf programs pass the ARMv6 check, and it refuses the tree
# once it has a change not committed, leaving dist/ as it was. It also makes the same tree's
# release without a repository, and the next release, from a clone with a changelog entry added.
# Then, on fresh Debian systems of the Pi's own architectures, booted under systemd through
# qemu's user-mode emulation (arm64 on Debian 12 and 13, armhf on Debian 12, each with a wiringpi
# package of the real-time stand-in for its architecture), the version before's release package,
# made by this release.sh from its commit, is installed and its publisher set up against the
# broker of Home Assistant's machine on another host; then the release's package is installed
# over it as README section 5 says, and run, and the repository followed to the next release. A
# Debian 12 system of this machine's own architecture does the same, but for the repository, with
# packages made here by package.sh from each version's tree. What is checked inside, and the
# package's removal and purge: scripts/documents/release.sh. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
. scripts/blocks.sh
. scripts/booted-root.sh
. scripts/home-assistant-broker.sh
[ "$(id -u)" -eq 0 ] || { echo "test-release: needs root, to make and boot the systems" >&2; exit 1; }
need_packages mmdebstrap systemd-container iproute2 nftables git mosquitto openssl gpg gpgv lintian
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
for copy in one "two/with space"; do
    git clone -q "$work/rangefinder.bundle" "$work/$copy/rangefinder"
done
release() {
    (cd "$1" && bash "${@:2}") >"$work/release.log" 2>&1 || { cat "$work/release.log" >&2; fail "release.sh in $1"; }
}
# refused STATUS SAYS ARGUMENT...: release.sh with ARGUMENTs ends with STATUS, saying SAYS, and
# leaves dist/ as it was (none, here).
refused() {
    local status=0
    (cd "$work/one/rangefinder" && bash scripts/release.sh "${@:3}") >"$work/release.log" 2>&1 || status=$?
    [ "$status" -eq "$1" ] && grep -qF -- "$2" "$work/release.log" && [ ! -e "$work/one/rangefinder/dist" ] ||
        { cat "$work/release.log" >&2; fail "release.sh ${*:3} did not end with status $1 saying '$2'"; }
}

# The repository's key, and another, each made for the test alone; the repository on the
# loopback of each emulated Pi.
keys=$work/keys
mkdir -m 0700 "$keys"
for key in signing other; do
    gpg --homedir "$keys" --batch --passphrase '' --quick-gen-key "rangefinder $key test key <$key@example.org>" ed25519 sign never 2>/dev/null
    gpg --homedir "$keys" --batch --armor --export-secret-keys "$key@example.org" >"$work/$key.asc"
done
gpgconf --homedir "$keys" --kill all
url=http://127.0.0.1:8765/
refused 2 usage: --repository "$url"
refused 2 usage: --signing-key "$work/signing.asc"
refused 2 usage: --public-key "$work/signing.asc" --signing-key "$work/signing.asc" --repository "$url"
refused 1 "the signing key $work/none.asc: No such file or directory" --signing-key "$work/none.asc" --repository "$url"
refused 1 "the signing key $work cannot be read" --signing-key "$work" --repository "$url"
refused 1 "the signing key $work/release.log holds no OpenPGP key" --signing-key "$work/release.log" --repository "$url"
gpg --homedir "$keys" --batch --armor --export signing@example.org >"$work/public.asc"
refused 1 "the signing key $work/public.asc is not secret" --signing-key "$work/public.asc" --repository "$url"
refused 1 "the public key $work/signing.asc holds a secret key" --public-key "$work/signing.asc" --repository "$url"
say "release.sh says usage for a key without a repository or the other way round, and stops before" \
    "it builds for a signing key missing, unreadable, no key or not secret, leaving dist/ as it was"

# The signed release from inside scripts/; the same packages from the public key alone, from a
# folder whose name has a space, where a release stopped while it moved dist/ into place left
# dist.new/ behind.
release "$work/one/rangefinder/scripts" release.sh --signing-key "$work/signing.asc" --repository "$url"
dist=$work/one/rangefinder/dist
mkdir "$work/two/with space/rangefinder/dist.new"
touch "$work/two/with space/rangefinder/dist.new/half-made"
release "$work/two" "with space/rangefinder/scripts/release.sh" --public-key "$dist/rangefinder-archive-key.asc" --repository "$url"
diff -r -x InRelease -x Release.gpg "$dist" "$work/two/with space/rangefinder/dist" >&2 ||
    fail "the release from the public key alone made other bytes than the signed one"
[ "$(cd "$dist" && ls | grep -vxE 'SHA256SUMS|InRelease|Release(\.gpg)?|Packages(\.gz)?')" = "$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort)" ] &&
    (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS is not over exactly the packages, the record and the key"
version=$(dpkg-deb -f "$dist"/rangefinder_*_arm64.deb Version)
buildinfo=$dist/rangefinder_$version.buildinfo
fingerprint=$(gpg --homedir "$keys" --batch --with-colons --fingerprint signing@example.org | awk -F: '$1 == "fpr" { print $10; exit }')
gpgconf --homedir "$keys" --kill all
commit=$(git -C "$work/one/rangefinder" rev-parse HEAD)
grep -qx "Commit: $commit" "$buildinfo" && grep -qx "Release-Script-Commit: $commit" "$buildinfo" &&
    grep -qx "Signing-Key: $fingerprint" "$buildinfo" && grep -qx "Repository: $url" "$buildinfo" &&
    grep -qx " g++-arm-linux-gnueabihf:amd64 (= [^ ]*)," "$buildinfo" &&
    grep -qx " libmosquitto-dev:armhf (= [^ ]*)," "$buildinfo" || fail "the .buildinfo names not the commits, the key and the root's packages"
gpg --dearmor <"$dist/rangefinder-archive-key.asc" >"$work/keyring.gpg"
gpgv --keyring "$work/keyring.gpg" "$dist/InRelease" 2>/dev/null && gpgv --keyring "$work/keyring.gpg" "$dist/Release.gpg" "$dist/Release" 2>/dev/null ||
    fail "the index is not signed by the release's key"
for deb in "$dist"/*.deb; do
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/keyrings/rangefinder-archive-keyring.gpg | cmp -s - "$work/keyring.gpg" ||
        fail "$(basename "$deb") does not hold the release's key alone"
done
# The lines of the secret key's export that its public one has not.
grep -vxF -f "$work/public.asc" "$work/signing.asc" | grep -E '^[A-Za-z0-9+/]{64}$' >"$work/secret-lines"
[ -s "$work/secret-lines" ] && ! grep -rqF -f "$work/secret-lines" "$dist" "$work/one/rangefinder" "$work/release.log" ||
    fail "the secret key stands in dist/, the tree or the log"
grep -qx "check-armv6: the 2 programs of rangefinder_${version}_armhf.deb are ARMv6 throughout, hard-float, for the armhf loader" \
    "$work/release.log" || fail "release.sh did not say its armhf programs passed the ARMv6 check"
TMPDIR=$work lintian --allow-root --fail-on error,warning "$dist"/*.deb || fail "lintian finds fault with the release's packages"
say "release.sh made the same packages from the public key alone, from a folder with a space past" \
    "a dist.new/ left behind; its index signed by the key that the packages hold alone, named in" \
    "the record with both commits; its armhf programs ARMv6:"
sed 's/^/    /' "$dist/SHA256SUMS"
echo "# changed" >>"$work/one/rangefinder/README.md"
touch "$work/one/rangefinder/new-file"
cp -r "$dist" "$work/signed"
! (cd "$work/one/rangefinder" && bash scripts/release.sh) >"$work/release.log" 2>&1 &&
    grep -qx ' M README.md' "$work/release.log" && grep -qx '?? new-file' "$work/release.log" ||
    { cat "$work/release.log" >&2; fail "release.sh did not refuse a tree with changes not committed, naming them"; }
diff -r "$dist" "$work/signed" >&2 || fail "the refused release.sh touched dist/"
say "release.sh refuses a tree with changes not committed, naming them, and leaves dist/ as it was"

# Without a repository, the packages as package.sh makes them, with no source: one built on a Pi.
release "$work/two/with space/rangefinder" scripts/release.sh
cp -r "$work/two/with space/rangefinder/dist" "$work/unsigned"
! dpkg-deb -c "$work/unsigned/rangefinder_${version}_arm64.deb" | grep -q 'keyrings\|share/rangefinder/' ||
    fail "a release without a repository holds its source or a key"
# The next release, from a clone with a changelog entry added, and its repository as another key
# signs it and with a package changed after signing.
git clone -q "$work/rangefinder.bundle" "$work/three/rangefinder"
later=${version%.*}.$((${version##*.} + 1))
{
    printf 'rangefinder (%s) unstable; urgency=medium\n\n  * The next release.\n\n' "$later"
    printf ' -- rangefinder authors <rangefinder@example.org>  %s\n\n' "$(LC_ALL=C date -u -R -d '1 minute ago')"
    cat "$work/three/rangefinder/packaging/changelog"
} >"$work/changelog"
mv "$work/changelog" "$work/three/rangefinder/packaging/changelog"
git -C "$work/three/rangefinder" -c user.name=rangefinder -c user.email=rangefinder@example.org commit -qam "$later"
release "$work/three/rangefinder" scripts/release.sh --signing-key "$work/signing.asc" --repository "$url"
cp -r "$work/three/rangefinder/dist" "$work/later"
cp -r "$work/later" "$work/other-key"
cp -r "$work/later" "$work/changed"
other=(gpg --homedir "$keys" --batch --yes --local-user other@example.org)
"${other[@]}" --clearsign --output "$work/other-key/InRelease" "$work/later/Release"
"${other[@]}" --armor --detach-sign --output "$work/other-key/Release.gpg" "$work/later/Release"
gpgconf --homedir "$keys" --kill all
for deb in "$work/changed"/*.deb; do printf 'x' >>"$deb"; done
say "made the release of $later, and its repository signed by another key and with a package changed"

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
git -C "$work/two/with space/rangefinder" fetch -q "$PWD" "$commit:refs/heads/previous"
release "$work/two/with space/rangefinder" scripts/release.sh --commit previous
for system in "${systems[@]}"; do
    architecture=${system%:*}
    [ "$architecture" != "$native" ] || continue
    mkdir -p "$work/downloads-$architecture/previous"
    cp "$work/two/with space/rangefinder/dist/rangefinder_${previous}_$architecture.deb" "$work/downloads-$architecture/previous/"
done
say "made the $native packages of $version, and of $previous from the commit of its changelog entry;" \
    "the release of $previous from that commit"

# The fresh roots, one after the other: each made under emulation takes a core or two.
declare -A roots
for system in "${systems[@]}"; do
    roots[$system]=$(pi_root "${system#*:}" "${system%:*}" mosquitto-clients libmosquitto1 gnupg)
done

# on ARCHITECTURE RELEASE INDEX: boots a fresh RELEASE system of ARCHITECTURE as
# pi-ARCHITECTURE-RELEASE, puts the downloads in its owner's home, and runs documents/release.sh.
on() {
    local name=pi-$1-$2 machine=$work/pi-$1-$2 broker=$brokers/$1-$2 missing
    cp -a "${roots[$1:$2]}" "$machine"
    name_machine "$machine" "$name" "$3"
    network_up "$name" "$3"
    broker_up "$broker" "$3" "$2"
    cp -r "$work/downloads-$1/." "$broker/ca.crt" "$machine/home/$owner/"
    if [ "$1" != "$native" ]; then
        # The release's download, and the repositories the Pi's apt is to meet on its loopback.
        cp "$work"/signed/rangefinder_*_"$1".deb "$work"/signed/{SHA256SUMS,*.buildinfo} "$machine/home/$owner/"
        cp -r "$work/later" "$work/other-key" "$work/changed" "$machine/home/$owner/"
        mkdir -p "$machine/home/$owner/local"
        cp "$work"/unsigned/rangefinder_*_"$1".deb "$machine/home/$owner/local/"
    fi
    mkdir -p "$machine/home/$owner/other"
    cp "$work"/signed/rangefinder_*_armhf.deb "$machine/home/$owner/other/"
    chown -R --reference="$machine/home/$owner" "$machine/home/$owner"
    boot "$name" "$machine" "$work/$name.console" --bind-ro="$work/rangefinder.bundle:/srv/rangefinder.bundle"
    echo "$name: booted: $(inside systemctl --version | head -n 1), $(inside cat /etc/debian_version), $(inside uname -m)"
    clone_there
    run_there documents/release.sh
    power_off "$name"
    missing=$(blocks_of_release | comm -23 - <(sort -u "$machine/var/tmp/blocks-taken"))
    [ "$1" = "$native" ] || [ -z "$missing" ] || { echo "$name: FAILED: these blocks were not run: $missing" >&2; return 1; }
    grep -qx release "$machine/var/tmp/blocks-taken" || { echo "$name: FAILED: the release block was not run" >&2; return 1; }
}

# on_system ARCHITECTURE:RELEASE N: the Nth system, on network 10.77.(10+N).0/30.
on_system() { on "${1%:*}" "${1#*:}" "$((10 + $2))"; }
after_failure() { tail -n 20 "$brokers/${1/:/-}/broker.log" 2>/dev/null | sed "s/^/broker: /" >&2; }
at_once on_system "${systems[@]}"
say "the release installs, runs and publishes on ${systems[*]}, in $((SECONDS - started)) s"
