# Sourced by documents/first-boot.sh, in the order the documents run: README sections 2 to 5,
# wiringPi, building and running, packaging and the CMake install.

architecture=$(dpkg --print-architecture)

# wiringPi, from the release package downloaded to the home folder.
typed 300 . "$(block install-wiringpi)" || fail "installing wiringPi"
grep -q '^gpio version' "$last.out" || fail "gpio -v did not answer"
say "install-wiringpi: the wiringpi package installs, and gpio -v answers"

typed 900 "$project" "$(first 5 "$(line 1 set-up)")" || fail "scripts/run.sh"
readings "$near" "$far" && [ "$(wc -l <"$last.out")" -eq 5 ] || fail "scripts/run.sh did not print 5 readings alone"
grep -q 'GPIO backend: wiringpi' "$last.err" || fail "scripts/run.sh did not build against wiringPi"
! grep -q 'simulated' "$last.err" || fail "scripts/run.sh simulated its readings with wiringPi installed"
say "set-up: scripts/run.sh installs what it needs, builds against wiringPi and prints readings alone"
typed 1800 "$project" "$(line 2 set-up)" || fail "scripts/test.sh"
grep -q '100% tests passed' "$last.out" || fail "scripts/test.sh did not pass every test"
say "set-up: scripts/test.sh passes: $(grep -o '[0-9]*% tests passed.*' "$last.out" | head -n 1)"

typed 60 "$project" "$(first 3 "$(line 1 built)")" && readings "$near" "$far" || fail "build/release/rangefinder"
typed 60 "$project" "$(line 2 built)" && manual_page ||
    fail "man -l did not show the manual page"
say "built: the built program reads again, and man -l shows its page"

typed 60 "$project" "$(block join-gpio)" && id -nG "$owner" | grep -qw gpio || fail "joining the gpio group"
say "join-gpio: the user is in the gpio group"

program=/home/$owner/$project/build/release/rangefinder
new_log
as_owner 60 "$project" "$(first 12 "$(block real-time)")" &
wait_for 20 running "$program" || fail "the program did not start at real-time priority"
read -r _ uid _ policy priority _ <<<"$(process "$(pids_of "$program" | head -n 1)")"
wait $! || fail "sudo chrt -f 50"
readings "$near" "$far" || fail "the program at real-time priority did not print readings alone"
[ "$uid $policy $priority" = "0 1 50" ] || fail "chrt ran it as $uid at policy $policy, priority $priority"
say "real-time: sudo chrt -f 50 runs it as root at FIFO 50"

# unit_waits PATH: the unit systemd sees is the one at PATH, and it is neither enabled nor
# started, nor enabled by a preset.
# (Debian 12's systemd names /usr/lib's units by /lib, which is the same folder.)
unit_waits() {
    local seen status
    seen=$(systemctl show -P FragmentPath rangefinder)
    [ "$(realpath "$seen")" = "$1" ] || fail "systemd does not see the unit at $1 but at '$seen'"
    [ "$(systemctl is-enabled rangefinder || true)" = disabled ] || fail "installing it enabled the unit"
    systemctl preset rangefinder
    [ "$(systemctl is-enabled rangefinder || true)" = disabled ] || fail "systemctl preset enabled the unit"
    # Its status is 3, for a unit that is not active.
    status=$(systemctl status rangefinder || true)
    grep -qF "Loaded: loaded ($seen; disabled; preset: disabled)" <<<"$status" ||
        fail "systemctl status does not say the unit is disabled, as its preset: $(grep Loaded: <<<"$status")"
    ! systemctl -q is-active rangefinder || fail "installing it started the unit"
}

typed 600 "$project" "$(line 1 package)" || fail "scripts/package.sh"
package=/home/$owner/$project/$(tail -n 1 "$last.out")
[ -f "$package" ] && [ "$(dpkg-deb -f "$package" Architecture)" = "$architecture" ] ||
    fail "scripts/package.sh did not print the path of an $architecture package"
install_package() {
    typed 300 "$project" "$(line 2 package)" &&
        [ "$(dpkg-query -W -f='${Status}' rangefinder)" = "install ok installed" ] || fail "apt install of the package"
}
install_package
unit_waits /usr/lib/systemd/system/rangefinder.service
typed 60 "$project" "$(line 3 package)" && manual_page || fail "man rangefinder did not show the installed page"
typed 300 "$project" "$(line 4 package)" || fail "apt remove"
! dpkg-query -W -f='${Status}' rangefinder 2>/dev/null | grep -q 'ok installed' && [ ! -e /usr/bin/rangefinder ] &&
    [ "$(systemctl show -P LoadState rangefinder)" = not-found ] || fail "apt remove left the package or its unit"
say "package: made, installed with its unit waiting (disabled, preset: disabled), its page shown, removed"

typed 600 "$project" "$(block cmake-install)" || fail "the CMake install"
[ -x /usr/local/bin/rangefinder ] && grep -qx 'ExecStart=/usr/local/bin/rangefinder' /usr/local/lib/systemd/system/rangefinder.service ||
    fail "the CMake install did not install the program and a unit that starts it"
unit_waits /usr/local/lib/systemd/system/rangefinder.service
installed=$(cat "/home/$owner/$project/build/pi/install_manifest.txt")
typed 60 "$project" "$(block cmake-uninstall)" || fail "removing the CMake install"
for file in $installed; do
    [ ! -e "$file" ] || fail "removing the CMake install left $file"
done
[ "$(systemctl show -P LoadState rangefinder)" = not-found ] || fail "systemd still sees the unit"
say "cmake-install: installs into /usr/local with its unit waiting (disabled, preset: disabled), and is removed"
