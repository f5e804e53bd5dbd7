# Sourced by test-documents.sh: fresh Debian roots holding what Raspberry Pi OS Lite gives its
# user, made once and kept, and copies of them booted with systemd as PID 1 under
# systemd-nspawn, each in a network namespace of its own that reaches Debian's mirror.

roots_cache=${RANGEFINDER_ROOTS:-/var/cache/rangefinder-roots}
mirror=http://deb.debian.org/debian
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

# cached_root RELEASE: prints the folder of a fresh RELEASE root, made first when the cache has
# none for this package list and preparation.
cached_root() {
    local key folder
    key=$(printf '%s\n' "$1" "${root_packages[*]}" "$(declare -f prepare_root)" | sha256sum | cut -c1-16)
    folder=$roots_cache/$1-$key
    if [ ! -d "$folder" ]; then
        rm -rf "$folder.new"
        mkdir -p "$roots_cache"
        mmdebstrap --quiet --variant=minbase --include="$(IFS=,; echo "${root_packages[*]}")" \
            "$1" "$folder.new" "$mirror" >&2
        prepare_root "$folder.new"
        mv "$folder.new" "$folder"
    fi
    echo "$folder"
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

# power_off NAME: shuts the machine NAME down, as systemd-nspawn does on SIGTERM, and removes
# its cgroups and its network.
power_off() {
    local hierarchy nspawn
    nspawn=$(pgrep -f -- "^systemd-nspawn .* --machine=$1 " || true)
    if [ -n "$nspawn" ] && kill -TERM "$nspawn" 2>/dev/null; then
        timeout 60 tail --pid="$nspawn" -f /dev/null || kill -KILL "$nspawn" 2>/dev/null || true
    fi
    for hierarchy in unified systemd; do
        [ ! -d "/sys/fs/cgroup/$hierarchy/rangefinder-$1" ] ||
            find "/sys/fs/cgroup/$hierarchy/rangefinder-$1" -depth -type d -exec rmdir {} + 2>/dev/null || true
    done
    network_down "$1"
}
