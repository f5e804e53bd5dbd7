# Sourced by the other scripts: need_packages NAME... installs those Debian packages that are
# not installed yet, refreshing the package lists first, once.

# as_root COMMAND...: runs COMMAND as root, with sudo when this is not root; without sudo it names
# what it wanted and stops.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "rangefinder: there is no sudo here, so as root run: $*" >&2
        exit 1
    fi
}

need_packages() {
    local missing=() name
    for name in "$@"; do
        dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
        echo "rangefinder: these Debian packages are needed and not installed: ${missing[*]}" >&2
        echo "rangefinder: there is no sudo here, so as root run:" \
            "apt-get update && apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "installing ${missing[*]}" >&2
    if [ -z "${RANGEFINDER_APT_UPDATED:-}" ]; then
        as_root apt-get update >&2
        export RANGEFINDER_APT_UPDATED=1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# need_architecture ARCH: lets Debian's packages of the architecture ARCH (armhf, arm64) be
# installed beside this machine's own, as NAME:ARCH.
need_architecture() {
    [ "$1" != "$(dpkg --print-architecture)" ] || return 0
    ! dpkg --print-foreign-architectures | grep -qx "$1" || return 0
    as_root dpkg --add-architecture "$1"
    # The package lists are read again, with the new architecture's.
    unset RANGEFINDER_APT_UPDATED
}

# need_build_packages [TOOLCHAIN_FILE]: what building natively, or with one of cmake/'s cross
# toolchains, needs.
need_build_packages() {
    if [ -n "${1:-}" ]; then
        # shellcheck disable=SC2046 # a list of names, or none
        need_packages cmake ninja-build binutils "g++-$(toolchain_setting "$1" RANGEFINDER_CROSS_TRIPLET)" \
            $(toolchain_setting "$1" RANGEFINDER_CROSS_PACKAGES | tr -d '"')
    else
        need_packages cmake ninja-build binutils g++
    fi
}

# toolchain_setting TOOLCHAIN_FILE NAME: the value a cross toolchain file gives NAME.
toolchain_setting() { sed -n "s/^set($2 \(.*\))\$/\1/p" "$1"; }
