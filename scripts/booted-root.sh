# Sourced by test-documents.sh and test-release.sh: fresh Debian roots holding what Raspberry Pi
# OS Lite gives its user, of this machine's architecture or, emulated, of a Pi's, made once and
# kept, and copies of them booted with systemd as PID 1 under systemd-nspawn, each in a network
# namespace of its own that reaches Debian's mirror.
. scripts/cached-root.sh
. scripts/copy-tree.sh
. scripts/emulator-limits.sh

# systemd as Debian installs it, with what it recommends, and python3, which Raspberry Pi OS
# has too.
root_packages=(git ca-certificates sudo man-db systemd systemd-sysv dbus libpam-systemd python3)
owner=pi

# prepare_root ROOT: what a Pi has beyond its packages: the gpio group, a first user in it with
# sudo that asks no password, and the GPIO device as the Pi's udev makes it, root:gpio 0660
# (the null device, which is all the stand-in library needs to open).
prepare_root() {
    chroot "$1" groupadd --system gpio
    chroot "$1" useradd --create-home --shell /bin/bash --groups sudo,adm,gpio "$owner"
    echo "$owner ALL=(ALL) NOPASSWD: ALL" >"$1/etc/sudoers.d/010_$owner-nopasswd"
    chmod 0440 "$1/etc/sudoers.d/010_$owner-nopasswd"
    echo 'c /dev/gpiomem 0660 root gpio - 1:3' >"$1/etc/tmpfiles.d/gpiomem.conf"
}

# prepare_emulated_root ROOT: Debian's own units go without what systemd cannot do under the
# emulator (see emulator-limits.sh), so that the system boots to "running".
prepare_emulated_root() {
    local unit systemd drop_in
    systemd=$(dpkg-query --admindir="$1/var/lib/dpkg" -W -f='${Version}' systemd)
    for unit in "$1"/usr/lib/systemd/system/*.service; do
        drop_in=$(
            ! grep -qE '^(Load|Import)Credential=' "$unit" || without_credentials
            dpkg --compare-versions "$systemd" lt 257 || ! grep -qE "$mount_namespace_settings" "$unit" ||
                without_mount_namespace
        )
        [ -n "$drop_in" ] || continue
        mkdir -p "$1/etc/systemd/system/${unit##*/}.d"
        printf '[Service]\n%s\n' "$drop_in" >"$1/etc/systemd/system/${unit##*/}.d/emulator.conf"
    done
}

# need_emulation ARCHITECTURE: lets this machine run the programs of a Debian ARCHITECTURE (armhf,
# arm64) as its own, through qemu's user-mode emulator registered with binfmt_misc, which a
# booted system of that architecture needs; the registration lasts until the machine restarts.
# The emulator is qemu 10.0, from bookworm-backports: Debian 12's own, qemu 7.2, cannot start a
# single unit of systemd 257's ("Failed to spawn executor: Invalid argument"). It is registered
# as Debian registers it, but that the kernel gives a program the credentials of its own file,
# not the emulator's (flag C), so that sudo works.
need_emulation() {
    local emulator=qemu-aarch64 entry qemu
    [ "$1" != armhf ] || emulator=qemu-arm
    entry=/proc/sys/fs/binfmt_misc/$emulator
    need_packages mmdebstrap arch-test
    qemu=$(cached_root qemu "" bookworm --variant=extract --include=qemu-user/bookworm-backports,qemu-user-binfmt/bookworm-backports \
        --setup-hook='echo "deb '"$mirror"' bookworm-backports main" >"$1/etc/apt/sources.list.d/backports.list"')
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if ! grep -qx "interpreter $qemu/usr/bin/$emulator" "$entry" 2>/dev/null || ! grep -q '^flags: .*C' "$entry"; then
        [ ! -e "$entry" ] || echo -1 >"$entry"
        sed "s|:[^:]*:[A-Z]*\$|:$qemu/usr/bin/$emulator:POCF|" "$qemu/usr/lib/binfmt.d/$emulator.conf" \
            >/proc/sys/fs/binfmt_misc/register
    fi
}

# pi_root RELEASE [ARCHITECTURE [PACKAGE...]]: prints the folder of a fresh root of a Pi with
# Debian RELEASE, for ARCHITECTURE (this machine's own unless given), with PACKAGEs beside the
# usual ones.
pi_root() {
    local release=$1 architecture=${2:-$(dpkg --print-architecture)} prepare=prepare_root packages
    shift $(($# < 2 ? $# : 2))
    packages=("${root_packages[@]}" "$@")
    if [ "$architecture" != "$(dpkg --print-architecture)" ]; then
        need_emulation "$architecture"
        prepare+=" prepare_emulated_root"
    fi
    cached_root "pi-$architecture" "$prepare" "$release" --variant=minbase --architectures="$architecture" \
        --include="$(IFS=,; echo "${packages[*]}")"
}

# name_machine ROOT NAME INDEX: gives the system in ROOT the host name NAME, as Raspberry Pi OS writes
# it, and a machine ID of its own; the Pi's network, 10.77.INDEX.0/30 (see network_up), knows
# the far end of its link as Home Assistant's machine.
name_machine() {
    echo "$2" >"$1/etc/hostname"
    printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$2" >"$1/etc/hosts"
    printf '10.77.%s.1\t%s\n' "$3" "$(broker_name)" >>"$1/etc/hosts"
    tr -d '-' </proc/sys/kernel/random/uuid >"$1/etc/machine-id"
}

# network_up NAME INDEX: the network namespace NAME, whose address 10.77.INDEX.2 reaches the
# outside world through NAT on this machine.
network_up() {
    local host=rf$2h inside=rf$2c
    network_down "$1"
    # What a machine no longer running may have left of its link.
    ip link delete "$host" 2>/dev/null || true
    ip netns add "$1"
    ip link add "$host" type veth peer name "$inside"
    ip link set "$inside" netns "$1"
    ip addr add "10.77.$2.1/30" dev "$host"
    ip link set "$host" up
    ip -n "$1" link set lo up
    ip -n "$1" addr add "10.77.$2.2/30" dev "$inside"
    ip -n "$1" link set "$inside" up
    ip -n "$1" route add default via "10.77.$2.1"
    sysctl -qw net.ipv4.ip_forward=1
    nft -f - <<NFT
table ip rangefinder-$1 {
    chain out { type nat hook postrouting priority 100; ip saddr 10.77.$2.0/30 masquerade; }
}
NFT
}

# network_down NAME: takes away what network_up NAME made, or what is left of it.
network_down() {
    nft delete table ip "rangefinder-$1" 2>/dev/null || true
    ip netns delete "$1" 2>/dev/null || true
}

# boot NAME ROOT LOG [OPTION...]: boots ROOT as the machine NAME, which is also its host name,
# with systemd-nspawn's OPTIONs, its console in LOG; sets `leader` to the PID of the machine's
# systemd once it is running. systemd-nspawn boots here (cgroup v1 with the named systemd and
# unified hierarchies) only from a cgroup of its own in both; IPAddressDeny= needs BPF, which
# its default system-call filter forbids; PrivateNetwork= needs CAP_NET_ADMIN, which it grants
# only to a --private-network (and systemd 257 goes on without, saying so only in the journal);
# its passive console can stop PID 1 on a console nobody reads.
boot() {
    local name=$1 root=$2 log=$3 nspawn tries
    shift 3
    # Each system's systemd takes inotify instances of root's, and with four or more at once the
    # kernel's default of 128 runs out ("Failed to allocate manager object: Too many open files").
    [ "$(cat /proc/sys/fs/inotify/max_user_instances)" -ge 1024 ] || sysctl -qw fs.inotify.max_user_instances=1024
    (
        for hierarchy in unified systemd; do
            mkdir -p "/sys/fs/cgroup/$hierarchy/rangefinder-$name"
            echo "$BASHPID" >"/sys/fs/cgroup/$hierarchy/rangefinder-$name/cgroup.procs"
        done
        SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1 exec systemd-nspawn --quiet --directory="$root" \
            --machine="$name" --boot --register=no --keep-unit --console=read-only \
            --capability=CAP_BPF,CAP_NET_ADMIN --system-call-filter=bpf \
            --network-namespace-path="/run/netns/$name" \
            --resolv-conf=copy-host "$@"
    ) >"$log" 2>&1 &
    nspawn=$!
    # power_off ends it, perhaps by SIGKILL, which is no news.
    disown "$nspawn"
    leader=
    for tries in $(seq 100); do
        leader=$(pgrep -P "$nspawn" -x systemd || true)
        [ -z "$leader" ] || break
        kill -0 "$nspawn" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$leader" ] || { cat "$log" >&2; return 1; }
    # systemctl can ask only once systemd listens.
    for tries in $(seq 100); do
        ! inside test -S /run/systemd/private || break
        sleep 0.1
    done
    inside timeout 120 systemctl is-system-running --wait >/dev/null || {
        inside systemctl --failed --no-pager >&2
        return 1
    }
}

# inside COMMAND...: runs COMMAND in the booted machine as its root, with an environment of its
# own rather than this script's.
inside() {
    nsenter --target="$leader" --all env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"
}

# power_off NAME: shuts the machine NAME down, as systemd-nspawn does on SIGTERM, then kills what
# is left in its cgroups (a system that did not shut down within 60 s, or one that a stopped run
# left behind), and removes them and its network.
power_off() {
    local nspawn hierarchy tries
    for nspawn in $(pgrep -f -- "^systemd-nspawn .* --machine=$1 " || true); do
        kill -TERM "$nspawn" 2>/dev/null && timeout 60 tail --pid="$nspawn" -f /dev/null || true
    done
    for hierarchy in unified systemd; do
        [ -d "/sys/fs/cgroup/$hierarchy/rangefinder-$1" ] || continue
        for tries in $(seq 50); do
            find "/sys/fs/cgroup/$hierarchy/rangefinder-$1" -name cgroup.procs -exec cat {} + | xargs -r kill -KILL 2>/dev/null || true
            find "/sys/fs/cgroup/$hierarchy/rangefinder-$1" -depth -type d -exec rmdir {} + 2>/dev/null && break
            sleep 0.1
        done
    done
    network_down "$1"
}

# project_bundle FILE: the project as its owner clones it, what git tracks here and what it
# would add, as a git bundle in FILE, for a booted machine to clone (clone_there).
project_bundle() {
    local source
    source=$(mktemp -d)
    copy_tree "$source"
    git -C "$source" init -q -b main
    git -C "$source" add -A
    git -C "$source" -c user.name=rangefinder -c user.email=rangefinder@example.org commit -q -m "the tree under test"
    git -C "$source" bundle create -q "$1" HEAD main
    rm -rf "$source"
}

# clone_there: the owner clones the bundle, bound into the machine at /srv/rangefinder.bundle,
# into ~/rangefinder.
clone_there() {
    inside runuser -u "$owner" -- git -c init.defaultBranch=main clone -q /srv/rangefinder.bundle "/home/$owner/rangefinder"
}

# run_there SCRIPT: runs the SCRIPT of the owner's clone in the booted machine, as a service of
# its own, but with SIGPIPE as a login shell has it, which systemd's services ignore.
run_there() {
    inside systemd-run --quiet --wait --pipe --collect --property=IgnoreSIGPIPE=no \
        bash "/home/$owner/rangefinder/scripts/$1"
}
