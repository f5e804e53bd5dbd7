# Sourced by the scripts that work in fresh Debian systems: cached_root makes such a system's
# root with mmdebstrap, once, and keeps it in /var/cache/rangefinder-roots (or
# $RANGEFINDER_ROOTS), keyed by all that went into it, so that it is made again only when that
# changes or it is missing; archive_root also when Debian's archive has changed what it holds.

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
    mkdir -p "$roots_cache"
    # One run makes it while any other that wants it waits, and then takes it as made; what a run
    # that was stopped left half made is made afresh.
    (
        flock 9
        if [ ! -d "$folder" ]; then
            rm -rf "$folder.new"
            mmdebstrap --quiet "$@" "$release" "$folder.new" "$mirror" >&2
            for step in $prepare; do
                "$step" "$folder.new"
            done
            mv "$folder.new" "$folder"
        fi
    ) 9>"$folder.lock" || return 1
    echo "$folder"
}

# archive_root NAME PREPARE RELEASE MMDEBSTRAP_OPTION...: as cached_root, but made again too when
# the archive publishes RELEASE anew (a point release), the date it did so being part of its
# key; the roots of NAME made from the archive before are taken away. Sets archive_folder to
# the root's folder and archive_date to that date, so it is not to be called in a subshell.
archive_root() {
    local name=$1 listing folder old stamp
    listing=$(mktemp)
    /usr/lib/apt/apt-helper download-file "$mirror/dists/$3/InRelease" "$listing" >/dev/null 2>&1 || {
        rm -f "$listing"
        echo "rangefinder: cannot read $mirror/dists/$3/InRelease, to tell what Debian's archive holds" >&2
        return 1
    }
    archive_date=$(sed -n 's/^Date: //p' "$listing")
    rm -f "$listing"
    [ -n "$archive_date" ] || { echo "rangefinder: $mirror/dists/$3/InRelease has no date" >&2; return 1; }
    stamp=$(archive_stamp "$archive_date") ||
        { echo "rangefinder: $mirror/dists/$3/InRelease has a date that cannot be read: $archive_date" >&2; return 1; }
    folder=$(cached_root "$name-$stamp" "${@:2}") || return 1
    # The roots of other dates, but none that another run is making or may be using still: each
    # is taken only once its lock is free.
    for old in "$roots_cache/$name"-*.lock; do
        [ -e "$old" ] && [ "${old%.lock}" != "$folder" ] || continue
        (flock -n 9 && rm -rf "${old%.lock}" "${old%.lock}.new" && rm -f "$old") 9<"$old" || true
    done
    archive_folder=$folder
}

# archive_stamp DATE: DATE, as an archive's InRelease gives it, in the form a root's name holds;
# fails for a date that date(1) cannot read.
archive_stamp() {
    [ -n "$1" ] && date -u -d "$1" +%Y%m%dT%H%M%S
}
