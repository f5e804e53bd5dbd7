#!/usr/bin/env bash
# documents/release.sh: run by test-release.sh, as root, in a fresh Debian system booted under
# systemd: of a Pi's architecture through qemu's user-mode emulation, or of this machine's. Its
# first user has downloaded the release's package for it, its SHA256SUMS and wiringPi's package
# into the home folder, and, where the upgrade is to be tried, the package of the version before
# into ~/previous. That user installs the version before, sets its publisher up as
# docs/using-the-readings.md says, and upgrades as README section 5 says (on armhf with the
# kernel saying, as a Pi 1 or Zero's does, that the processor is ARMv6); the owner's file, the
# readings, the publisher and its processes are looked at; then the package is removed and
# purged. Before that, what an owner may get wrong on arm64: the armhf package, and the package
# without wiringPi's. Where the next release's repository was given (~/later), the release's
# repository is followed as README section 5 says: documents/repository.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/documents/owner.sh
. scripts/documents/publisher.sh
. scripts/emulator-limits.sh
: >"$BLOCKS_TAKEN"
architecture=$(dpkg --print-architecture)
home=/home/$owner
version=$(dpkg-deb -f "$home"/rangefinder_*.deb Version)
units=(rangefinder rangefinder-mqtt)

# refused WHY COMMANDS: COMMANDS, typed in the home folder, fail, saying WHY, and install nothing.
refused() {
    ! typed 300 . "$2" || fail "$2 did not fail"
    grep -qF -- "$1" "$last.out" "$last.err" || fail "$2 did not say '$1'"
    ! dpkg-query -W -f='${Status}' rangefinder 2>/dev/null | grep -q 'ok installed' || fail "$2 installed rangefinder"
}

if [ "$architecture" = arm64 ]; then
    refused "rangefinder:armhf" "sudo apt-get install -y ./other/rangefinder_*_armhf.deb"
    refused "wiringpi" "sudo apt-get install -y ./rangefinder_*.deb"
    say "apt refuses the armhf package, naming its architecture, and names wiringpi when its" \
        "package is not given"
fi

# emulated_publisher: under emulation, where every process runs qemu, this script's shell too,
# the publisher's unit goes without what systemd cannot do there (emulator-limits.sh); the
# native systems prove the unit whole. It reads a copy of its file that its group may read, in
# place of the credential.
emulated_publisher() {
    local drop_in
    [ "$(program_of $$)" != "$(readlink /proc/$$/exe)" ] || return 0
    install -m 0640 -g gpio /etc/rangefinder/mqtt.conf /run/rangefinder-mqtt.conf
    drop_in=$(without_credentials
        printf '%s\n' ExecStart= "ExecStart=/usr/bin/rangefinder-mqtt --config /run/rangefinder-mqtt.conf")
    if ! systemd-run --quiet --wait --property=PrivateTmp=yes true 2>/dev/null; then
        drop_in+=$'\n'$(without_mount_namespace; echo User=nobody)
        unit_uid=$(id -u nobody)
    fi
    mkdir -p /etc/systemd/system/rangefinder-mqtt.service.d
    printf '[Service]\n%s\n' "$drop_in" >/etc/systemd/system/rangefinder-mqtt.service.d/emulator.conf
    systemctl daemon-reload
    say "under qemu the publisher's unit runs with a drop-in of what systemd cannot do there:" $drop_in
}

typed 60 . "$(line 1 release)" || fail "sha256sum -c"
grep -qx "rangefinder_${version}_$architecture.deb: OK" "$last.out" || fail "sha256sum did not check the package"
say "release: the package's sum is checked"

if [ -d "$home/previous" ]; then
    previous=$(dpkg-deb -f "$home"/previous/rangefinder_*.deb Version)
    typed 300 . "sudo apt-get install -y ./wiringpi_*.deb ./previous/rangefinder_*.deb" || fail "installing $previous"
    configure_publisher
    emulated_publisher
    typed 60 . "$(line 1 mqtt-enable)" || fail "enabling rangefinder-mqtt"
    publishing "$previous"
    cp /etc/rangefinder/mqtt.conf /run/owners.conf
    say "$previous installed, its publisher set up, enabled and publishing"
fi

if [ "$architecture" = armhf ]; then
    # As a Pi 1 or Zero has it: the kernel says armv6l. apt runs the package's scripts with a
    # PATH of its own, whose first folder takes the uname that says so, for the while.
    printf '#!/bin/sh\n[ "$1" != -m ] || { echo armv6l; exit; }\nexec /usr/bin/uname "$@"\n' >/usr/sbin/uname
    chmod 755 /usr/sbin/uname
fi
typed 300 . "$(line 2 release)" && [ "$(dpkg-query -W -f='${Version}' rangefinder)" = "$version" ] ||
    fail "installing the release's package"
if [ "$architecture" = armhf ]; then
    rm /usr/sbin/uname
    say "release: the package installs where the kernel says the processor is armv6l, as a Pi 1's does"
fi
typed 60 . "$(line 2 install-wiringpi)" && grep -q '^gpio version' "$last.out" || fail "gpio -v did not answer"
typed 60 . "$(first 3 rangefinder)" && readings "$near" "$far" && [ "$(wc -l <"$last.out")" -eq 3 ] ||
    fail "rangefinder | head -n 3 did not print 3 readings"
say "release: the package installs with wiringPi's, gpio -v answers, rangefinder | head -n 3 prints readings"
# The units as installed, the emulator's drop-in for the version before set aside: systemd 257
# rates a file with its drop-ins.
drop_ins=/etc/systemd/system/rangefinder-mqtt.service.d
[ ! -d "$drop_ins" ] || mv "$drop_ins" /run/drop-ins-aside
for unit in "${units[@]}"; do
    rated=$(rating --offline=yes "/usr/lib/systemd/system/$unit.service")
    [ "$rated" = "$(documented_rating "$unit")" ] ||
        fail "systemd-analyze security rates $unit's file $rated, the documents say $(documented_rating "$unit")"
done
[ ! -d /run/drop-ins-aside ] || mv /run/drop-ins-aside "$drop_ins"
say "systemd-analyze security rates both units' files as the documents do"

if [ -n "${previous:-}" ]; then
    cmp -s /etc/rangefinder/mqtt.conf /run/owners.conf || fail "the upgrade changed the owner's mqtt.conf"
    [ "$(systemctl is-enabled rangefinder-mqtt)" = enabled ] || fail "the upgrade left the publisher disabled"
    publishing "$version"
    say "upgraded from $previous: the owner's file and the enabled service are kept, and the service" \
        "runs $version"
else
    configure_publisher
    emulated_publisher
    typed 60 . "$(line 1 mqtt-enable)" || fail "enabling rangefinder-mqtt"
    publishing "$version"
fi
unit_runs rangefinder-mqtt "rangefinder-mqtt 0 0 some" "rangefinder 1 50 some"
say "the publisher runs rangefinder at FIFO 50 and itself at normal priority, and publishes" \
    "readings and Home Assistant's config"

if [ -d "$home/later" ]; then
    . scripts/documents/repository.sh
fi

rm -rf "$drop_ins"
typed 300 . "$(line 4 package)" || fail "apt remove"
for unit in "${units[@]}"; do
    ! systemctl -q is-active "$unit" && [ "$(systemctl show -P LoadState "$unit")" = not-found ] ||
        fail "apt remove left $unit running or known to systemd"
done
[ ! -e /usr/bin/rangefinder ] && [ -f /etc/rangefinder/mqtt.conf ] || fail "apt remove left the program, or took the owner's file"
typed 300 . "sudo apt-get purge -y rangefinder" || fail "apt purge"
left=$(find /etc /usr /var/lib/systemd -name '*rangefinder*' -not -path /etc/rangefinder/ca.crt | xargs)
[ "$left" = /etc/rangefinder ] && [ -z "$(dpkg-query -W rangefinder 2>/dev/null)" ] ||
    fail "apt purge left: $left"
say "remove stops both services and keeps only the owner's file; purge leaves only the CA certificate" \
    "the owner put beside it"
nothing_left
