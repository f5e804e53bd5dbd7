#!/usr/bin/env bash
# check-service.sh ROOT: checks the systemd unit installed under ROOT (an unpacked package) as
# systemd 252 sees it: `systemd-analyze verify` says nothing of it, its manual page included,
# nor of it with each drop-in that the documents show, and `systemd-analyze security` rates it
# 2.0 or safer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/blocks.sh
root=$(realpath "$1")
unit=$root/usr/lib/systemd/system/rangefinder.service
fail() { echo "check-service: $*" >&2; exit 1; }
[ -f "$unit" ] || fail "no unit at $unit"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is needed (apt-get install systemd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A root of the package's files beside this system's own units, which the unit's default
# dependencies name.
cp -a "$root/." "$work"
cp -rn /usr/lib/systemd/system/. "$work/usr/lib/systemd/system/"
verify() {
    local said
    said=$(MANPATH="$root/usr/share/man" systemd-analyze verify --root="$work" rangefinder.service 2>&1) ||
        fail "systemd-analyze verify fails$1: $said"
    [ -z "$said" ] || fail "systemd-analyze verify warns$1: $said"
}
verify ""

dropins=$work/etc/systemd/system/rangefinder.service.d
mkdir -p "$dropins"
for shown in service-to-a-file service-to-mqtt; do
    block "$shown" >"$dropins/override.conf"
    # Stand-ins for the commands a drop-in starts, which only need to be there.
    for command in $(sed -n 's/^Exec[A-Za-z]*=\([^ ]\{1,\}\).*/\1/p' "$dropins/override.conf"); do
        [ -e "$work$command" ] || { mkdir -p "$(dirname "$work$command")" && install /dev/null "$work$command"; }
    done
    verify " with the drop-in $shown"
done

rating=$(systemd-analyze security --offline=yes --no-pager "$unit" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$rating" ] || fail "systemd-analyze security gave no rating"
awk -v r="$rating" 'BEGIN { exit !(r <= 2.0) }' || fail "the unit is rated $rating, over 2.0"
echo "check-service: systemd-analyze verify finds nothing in the unit, alone or with either" \
    "documented drop-in, and rates it $rating (2.0 at most)"
