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
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "installing ${missing[*]}" >&2
    if [ -z "${RANGEFINDER_APT_UPDATED:-}" ]; then
        $sudo apt-get update >&2
        export RANGEFINDER_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >&2
}
