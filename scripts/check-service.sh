#!/usr/bin/env bash
# check-service.sh ROOT: checks the systemd units installed under ROOT (an unpacked package) as
# systemd 252 sees them: `systemd-analyze verify` says nothing of either, their manual pages
# included, nor of rangefinder.service with the drop-in that the documents show, and
# `systemd-analyze security` rates each 2.0 or safer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/blocks.sh
root=$(realpath "$1")
units=$root/usr/lib/systemd/system
fail() { echo "check-service: $*" >&2; exit 1; }
[ -f "$units/rangefinder.service" ] || fail "no unit at $units/rangefinder.service"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is needed (apt-get install systemd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A root of the package's files beside this system's own units, which the unit's default
# dependencies name.
cp -a "$root/." "$work"
cp -rn /usr/lib/systemd/system/. "$work/usr/lib/systemd/system/"
# verify UNIT [WITH]: systemd-analyze verify says nothing of UNIT (WITH names what is added).
verify() {
    local said
    said=$(MANPATH="$root/usr/share/man" systemd-analyze verify --root="$work" "$1" 2>&1) ||
        fail "systemd-analyze verify fails on $1${2:-}: $said"
    [ -z "$said" ] || fail "systemd-analyze verify warns of $1${2:-}: $said"
}
names=$(cd "$units" && ls -- *.service)
for name in $names; do
    verify "$name"
done

dropins=$work/etc/systemd/system/rangefinder.service.d
mkdir -p "$dropins"
for shown in service-to-a-file; do
    block "$shown" >"$dropins/override.conf"
    # Stand-ins for the commands a drop-in starts, which only need to be there.
    for command in $(sed -n 's/^Exec[A-Za-z]*=\([^ ]\{1,\}\).*/\1/p' "$dropins/override.conf"); do
        [ -e "$work$command" ] || { mkdir -p "$(dirname "$work$command")" && install /dev/null "$work$command"; }
    done
    verify rangefinder.service " with the drop-in $shown"
done

ratings=
for name in $names; do
    rating=$(systemd-analyze security --offline=yes --no-pager "$units/$name" 2>&1 |
        sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [ -n "$rating" ] || fail "systemd-analyze security gave $name no rating"
    awk -v r="$rating" 'BEGIN { exit !(r <= 2.0) }' || fail "$name is rated $rating, over 2.0"
    ratings+="${ratings:+, }$name $rating"
done
echo "check-service: systemd-analyze verify finds nothing in $(echo $names), nor in rangefinder.service" \
    "with the documented drop-in, and rates them $ratings (2.0 at most)"
