# Sourced by the scripts that work in fresh Debian systems: cached_root makes such a system's
# root with mmdebstrap, once, and keeps it in /var/cache/rangefinder-roots (or
# $RANGEFINDER_ROOTS), keyed by all that went into it, so that it is made again only when that
# changes or it is missing.

roots_cache=${RANGEFINDER_ROOTS:-/var/cache/rangefinder-roots}
mirror=http://deb.debian.org/debian

# cached_root NAME PREPARE RELEASE MMDEBSTRAP_OPTION...: prints the folder of a root of Debian
# RELEASE, made with mmdebstrap and the options given, then handed to each of the functions named
# in PREPARE (a list, may be empty) to finish.
cached_root() {
    local name=$1 prepare=$2 release=$3 key folder step
    shift 3
    # With no names, declare -f would print every function there is.
    # shellcheck disable=SC2086 # PREPARE is a list of names
    key=$(printf '%s\n' "$release" "$@" "$([ -z "$prepare" ] || declare -f $prepare)" | sha256sum | cut -c1-16)
    folder=$roots_cache/$name-$release-$key
    if [ ! -d "$folder" ]; then
        rm -rf "$folder.new"
        mkdir -p "$roots_cache"
        mmdebstrap --quiet "$@" "$release" "$folder.new" "$mirror" >&2
        for step in $prepare; do
            "$step" "$folder.new"
        done
        mv "$folder.new" "$folder"
    fi
    echo "$folder"
}
