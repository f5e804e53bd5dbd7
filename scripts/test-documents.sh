#!/usr/bin/env bash
# Runs every block of the README and docs/*.md as written, as a Pi owner types them, on freshly
# made Debian 12 (bookworm) and 13 (trixie) systems, both at once, each booted with systemd as
# PID 1 and then again as another Pi (what runs there, and what is checked: scripts/documents/).
# wiringPi comes as a Pi owner installs it, from a release package: here one made of a stand-in
# library that keeps real time and opens /dev/gpiomem. Home Assistant's machine, for each, is
# this machine at the far end of the Pi's link, running a broker that wants a login over TLS;
# between the boots, the broker is killed and started again. Fails on a block without a marker, and
# on a block marked to run that was not. Needs root. The fresh roots, and the packages their
# users download, are kept in /var/cache/rangefinder-roots (or $RANGEFINDER_ROOTS), keyed by
# release and package list, and made again when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
. scripts/copy-tree.sh
. scripts/blocks.sh
. scripts/booted-root.sh
. scripts/home-assistant-broker.sh
[ "$(id -u)" -eq 0 ] || { echo "test-documents: needs root, to make and boot the systems" >&2; exit 1; }
need_packages mmdebstrap systemd-container iproute2 nftables git mosquitto openssl
releases=(bookworm trixie)
# Where a few gigabytes fit; /tmp may be memory.
work=$(mktemp -d /var/tmp/rangefinder-documents.XXXXXX)
# Apart, where the brokers, which drop to a user of their own, can reach their files.
brokers=$(mktemp -d /var/tmp/rangefinder-brokers.XXXXXX)
chmod 0755 "$brokers"
. scripts/children.sh
trap 'stop_children; for release in "${releases[@]}"; do power_off "pi-$release"; power_off "pi-$release-again"
      broker_down "$brokers/$release"; done; rm -rf "$work" "$brokers"' EXIT
say() { echo "test-documents: $*"; }
started=$SECONDS

marked_blocks >"$work/marked"
say "$(wc -l <"$work/marked") blocks marked to run, every other block marked as not run"

project_bundle "$work/rangefinder.bundle"
deb=$(bash scripts/real-time-wiringpi-deb.sh "$work")
# The Pi that docs/developing.md copies wiringPi from and programs to: its wiringPi for armhf.
bash scripts/stand-in-wiringpi.sh "$work/raspberrypi.local/usr" cmake/armv6-hf.cmake
say "made the project's bundle, $(basename "$deb"), and an armhf wiringPi for the Pi it copies to"

# on RELEASE INDEX: makes a copy of the fresh RELEASE root and boots it as pi-RELEASE, with the
# network 10.77.INDEX.0/30, to run the documents there; kills Home Assistant's broker and starts
# it again; then boots the Pi again as another, with another host name and machine ID.
on() {
    local release=$1 name=pi-$1 machine=$work/$1 broker=$brokers/$1 root missing binds file
    root=$(pi_root "$release")
    cp -a "$root" "$machine"
    name_machine "$machine" "$name" "$2"
    network_up "$name" "$2"
    broker_up "$broker" "$2" "$release"
    # What the owner downloaded: wiringPi's release, and the CA of Home Assistant's broker, and
    # the certificate and key it made for the Pi.
    for file in "$deb" "$broker/ca.crt" "$broker/pi.crt" "$broker/pi.key"; do
        cp "$file" "$machine/home/$owner/"
        chown --reference="$machine/home/$owner" "$machine/home/$owner/$(basename "$file")"
    done
    mkdir -p "$roots_cache/apt-$release"
    binds=(--bind-ro="$work/rangefinder.bundle:/srv/rangefinder.bundle"
        --bind-ro="$work/raspberrypi.local:/srv/raspberrypi.local"
        --bind="$roots_cache/apt-$release:/var/cache/apt/archives")
    boot "$name" "$machine" "$work/$release.console" "${binds[@]}"
    echo "$name: booted: $(inside systemctl --version | head -n 1), $(inside cat /etc/debian_version)"
    clone_there
    run_there documents/first-boot.sh
    broker_restart "$broker"
    run_there documents/broker-restarted.sh
    power_off "$name"

    name_machine "$machine" "$name-again" "$2"
    network_up "$name-again" "$2"
    # Listening again on the link made anew.
    broker_down "$broker"
    broker_start "$broker"
    boot "$name-again" "$machine" "$work/$release-again.console" "${binds[@]}"
    echo "$name-again: booted again, as another Pi"
    run_there documents/rebooted.sh
    power_off "$name-again"

    # The release's block installs packages for the Pi's architectures: test-release.sh runs it there.
    missing=$(sort -u "$machine/var/tmp/blocks-taken" | comm -13 - <(grep -vE '^release(-|$)' "$work/marked" | sort))
    [ -z "$missing" ] || { echo "$name: FAILED: blocks marked to run were not run:" $missing >&2; return 1; }
    echo "$name: every block marked to run was run"
}

after_failure() { tail -n 20 "$brokers/$1/broker.log" 2>/dev/null | sed "s/^/broker: /" >&2; }
at_once on "${releases[@]}"
say "every block ran as written on ${releases[*]}, in $((SECONDS - started)) s"
