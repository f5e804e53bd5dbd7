# Sourced by the other scripts: need_packages NAME... installs those Debian packages that are
# not installed yet, refreshing the package lists first, once.
need_packages() {
    local missing=() name
    for name in "$@"; do
        dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "rangefinder: these Debian packages are needed and not installed: ${missing[*]}" >&2
            echo "rangefinder: there is no sudo here, so as root run:" \
                "apt-get update && apt-get install ${missing[*]}" >&2
            exit 1
        fi
        sudo=sudo
    fi
    echo "installing ${missing[*]}" >&2
    if [ -z "${RANGEFINDER_APT_UPDATED:-}" ]; then
        $sudo apt-get update >&2
        export RANGEFINDER_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# need_build_packages [TOOLCHAIN_FILE]: what building natively, or with one of cmake/'s cross
# toolchains and running its programs under emulation, needs.
need_build_packages() {
    local triplet=
    [ -z "${1:-}" ] || triplet=$(sed -n 's/^set(RANGEFINDER_CROSS_TRIPLET \(.*\))$/\1/p' "$1")
    if [ -n "$triplet" ]; then
        need_packages cmake ninja-build binutils "g++-$triplet" qemu-user
    else
        need_packages cmake ninja-build binutils g++
    fi
}
