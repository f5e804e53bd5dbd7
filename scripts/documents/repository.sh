# Sourced by documents/release.sh, with the release installed from its download and its publisher
# enabled: the apt repository the package follows, as README section 5 says, served on this
# Pi's loopback at the URL the release was made for: the next release's (~/later), the same
# signed by another key (~/other-key), and with a package changed after signing (~/changed).
# Also a package without a source (~/local, as package.sh makes one), and the way back.

source=/etc/apt/sources.list.d/rangefinder.sources
keyring=/usr/share/keyrings/rangefinder-archive-keyring.gpg
later=$(dpkg-deb -f "$home"/later/rangefinder_*_"$architecture".deb Version)
port=$(sed -n 's|^Repository: http://127.0.0.1:\([0-9]*\)/$|\1|p' "$home"/rangefinder_*.buildinfo)
[ -n "$port" ] || fail "the release's record names no repository on the loopback"

# serve FOLDER: the repository is FOLDER from now on.
ln -sfn "$home/later" /run/repository
python3 -m http.server "$port" --bind 127.0.0.1 --directory /run/repository >/dev/null 2>&1 &
server=$!
serve() { ln -sfn "$1" /run/repository; }
# Python starts slowly under the emulator.
wait_for 180 bash -c "exec 2>/dev/null 3<>/dev/tcp/127.0.0.1/$port" || fail "the repository is not served"

# running VERSION: the release of VERSION is installed, its publisher enabled and running, the
# owner's file as it was.
running() {
    [ "$(dpkg-query -W -f='${Version}' rangefinder)" = "$1" ] && cmp -s /etc/rangefinder/mqtt.conf /run/owners.conf &&
        [ "$(systemctl is-enabled rangefinder-mqtt)" = enabled ] && systemctl -q is-active rangefinder-mqtt
}
cp /etc/rangefinder/mqtt.conf /run/owners.conf
# Debian's own sources set aside while the repository is tried: the Pi's other updates are not
# this check's, and would take long under the emulator.
[ ! -f /etc/apt/sources.list ] || mv /etc/apt/sources.list /run/debian-sources.list

grep -qx "Signed-By: $keyring" "$source" && [ -f "$keyring" ] || fail "the release installed no source, or no keyring"
typed 60 . "$(block release-key)" || fail "gpg --show-keys"
fingerprint=$(sed -n 's/^Signing-Key: //p' "$home"/rangefinder_*.buildinfo)
[ "$(grep -cE '^ +[0-9A-F]{40}$' "$last.out")" -eq 1 ] && grep -qx " *$fingerprint" "$last.out" ||
    fail "the keyring holds not the one key the record names: $(cat "$last.out")"
say "release-key: the package's source names its keyring, which holds the one key of the record"

# A package built on the Pi, of the same version, in the release's place; the next release
# served: it stays.
typed 300 . "sudo apt-get install -y --reinstall ./local/rangefinder_*.deb" || fail "installing the package built elsewhere"
[ ! -e "$source" ] && [ ! -e "$keyring" ] || fail "the package built elsewhere left the release's source or key"
typed 600 . "$(block release-upgrade)" || fail "apt update && apt upgrade"
running "$version" || fail "apt upgrade replaced the package built elsewhere, or stopped it"
typed 300 . "$(block release-back)" && [ -f "$source" ] || fail "installing the release again"
say "a package built elsewhere takes the source away and stays through apt upgrade; release-back" \
    "brings the source back"

# refused FOLDER WHY: with FOLDER served, apt update or apt upgrade fails, and leaves the release
# as it was, running.
refused() {
    serve "$home/$1"
    ! typed 600 . "$(block release-upgrade)" && grep -qE "$2" "$last.out" "$last.err" && running "$version" ||
        fail "apt did not refuse the repository $1 for '$2', or the release did not stay as it was: $(tail -n 3 "$last.err")"
}
refused other-key "NO_PUBKEY|not signed"
refused changed "Hash Sum mismatch|File has unexpected size|Size mismatch"
say "apt refuses the repository signed by another key, and a package changed after signing;" \
    "$version stays, running"

serve "$home/later"
typed 600 . "$(block release-upgrade)" && running "$later" ||
    fail "apt upgrade did not bring $later, keeping the owner's file and the enabled service"
publishing "$later"
say "release-upgrade: apt update && apt upgrade brings $later; the owner's file, byte for byte, and" \
    "the enabled service kept"

# Turned off, the source stays off through an install of the package.
typed 60 . "$(block release-updates-off)" || fail "turning the updates off"
typed 300 . "sudo apt-get install -y --reinstall ./later/rangefinder_*_$architecture.deb" || fail "installing $later again"
grep -qx 'Enabled: no' "$source" || fail "installing the package turned the updates on again"
typed 120 . "sudo apt-get update" || fail "apt update with the source off"
! apt-cache policy rangefinder | grep -qF "127.0.0.1:$port" || fail "apt still reads the source turned off"
say "release-updates-off: the source is off, and stays off through an install of the package"
kill "$server"
[ ! -f /run/debian-sources.list ] || mv /run/debian-sources.list /etc/apt/sources.list
