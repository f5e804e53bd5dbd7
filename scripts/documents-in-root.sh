#!/usr/bin/env bash
# documents-in-root.sh: run by test-documents.sh, as root, in a freshly made Debian system booted
# under systemd, from the project as its first user cloned it. That user types every block of
# the README and docs/*.md as written, in the documents' order, but that section 8 builds the
# simulator before section 7's recipes read it; after each block, what the user would look at
# is checked: exit statuses, readings alone on standard output, the service's state, and the
# user, groups, scheduling and network of every process it runs. Each block run is noted in
# /var/tmp/blocks-taken.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/blocks.sh
. scripts/owner.sh
export BLOCKS_TAKEN=/var/tmp/blocks-taken
: >"$BLOCKS_TAKEN"
architecture=$(dpkg --print-architecture)
# The simulated object drifts between these, and so does the stand-in wiringPi's.
near=10 far=250

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

gpio=$(getent group gpio | cut -d: -f3)
# unit_runs UNIT LINE...: UNIT is active, and its processes are those LINEs, each "NAME
# POLICY PRIORITY NETWORK" (see `process`), each run by one dynamic user with the gpio group
# alone.
unit_runs() {
    local unit=$1 seen uid
    shift
    wait_for 10 systemctl -q is-active "$unit" || fail "$unit is not active: $(systemctl is-active "$unit")"
    # systemd 257 starts each process as root in its systemd-executor, which then becomes it.
    started() { [ -n "$(unit_processes "$unit")" ] && ! unit_processes "$unit" | grep -q '^systemd-executor '; }
    wait_for 10 started || fail "$unit has not started its processes: $(unit_processes "$unit")"
    seen=$(unit_processes "$unit")
    uid=$(awk 'NR == 1 { print $2 }' <<<"$seen")
    [ "$uid" -ge 61184 ] && [ "$uid" -le 65519 ] || fail "$unit runs as user $uid, not a dynamic one"
    [ "$(awk -v uid="$uid" -v gpio="$gpio" '$2 == uid && $3 == gpio { print $1, $4, $5, $6 }' <<<"$seen" | sort)" = \
        "$(printf '%s\n' "$@" | sort)" ] || fail "$unit runs (name, user, groups, policy, priority, network):"$'\n'"$seen"
}

install_package
typed 60 "$project" "$(line 1 service)" || fail "enabling the service"
[ "$(systemctl is-enabled rangefinder)" = enabled ] || fail "the service is not enabled"
unit_runs rangefinder "rangefinder 1 50 none"
typed 6 "$project" "$(line 2 service)" || stopped || fail "journalctl -f"
[ "$(grep -cE 'rangefinder\[[0-9]+\]: (-1|[0-9]+)$' "$last.out")" -ge 5 ] || fail "journalctl -f did not follow the readings"
say "service: enabled and started, its readings followed in the journal; it runs as a dynamic user" \
    "with the gpio group alone, at FIFO 50, without network"

# The GPIO device unopenable: the program says so and ends, systemd tries again every 5 s,
# and the service recovers by itself once the device opens.
chmod 0600 /dev/gpiomem
since=$(date '+%Y-%m-%d %H:%M:%S')
systemctl restart rangefinder
told() {
    journalctl -u rangefinder --since "$since" -o short-unix --no-pager |
        grep -F 'rangefinder: cannot open the GPIO: Permission denied (' | awk '{ print $1 }'
}
twice() { [ "$(told | wc -l)" -ge 2 ]; }
wait_for 20 twice || fail "with the GPIO device unopenable the service did not fail twice"
interval=$(told | awk 'NR == 1 { first = $1 } NR == 2 { printf "%.1f", $1 - first }')
awk -v s="$interval" 'BEGIN { exit !(s >= 5 && s < 7) }' || fail "it was started again after $interval s, not 5"
chmod 0660 /dev/gpiomem
since=$(date '+%Y-%m-%d %H:%M:%S')
reads_again() { [ "$(journal_readings rangefinder "$since")" -ge 3 ]; }
wait_for 15 reads_again || fail "the service did not recover once the GPIO device could be opened"
say "service: with the GPIO device unopenable it says why, starts again ${interval} s later, and recovers"

# The editor `systemctl edit` opens, standing in for the owner at the keyboard: it adds the
# lines of /run/typed where systemctl says the drop-in's contents go, in the file it is given
# last (systemd 257 gives the line to start at first).
cat >/usr/local/bin/editor <<'EDITOR'
#!/bin/bash
sed -i '/^### Anything between here and the comment below will become the/r /run/typed' "${!#}"
EDITOR
chmod 755 /usr/local/bin/editor
# edit_the_service DROP-IN: the owner makes the drop-in with README's two commands, in a
# terminal, as `systemctl edit` needs, typing nothing but into the editor.
edit_the_service() {
    block "$1" >/run/typed
    keyboard=true typed 60 "$project" "script -qec $(printf '%q' "$(line 1 edit-the-service)") /dev/null" &&
        typed 60 "$project" "$(line 2 edit-the-service)" || fail "making the drop-in $1"
    grep -qxF -f /run/typed /etc/systemd/system/rangefinder.service.d/override.conf ||
        fail "the drop-in $1 was not made: $(cat /etc/systemd/system/rangefinder.service.d/override.conf)"
}

log=/var/log/rangefinder.log
edit_the_service service-to-a-file
logged() { [ -f "$log" ] && [ "$(grep -cEx -- '-1|[0-9]+' "$log")" -ge 3 ]; }
wait_for 10 logged || fail "no readings in $log"
[ "$(stat -c '%U:%G %a' "$log")" = "root:root 600" ] || fail "$log is $(stat -c '%U:%G %a' "$log")"
! typed 10 "$project" "tail -n 1 $log" || fail "$log is readable without sudo"
typed 6 "$project" "$(block read-the-log)" || stopped || fail "sudo tail -f"
readings "$near" "$far" || fail "sudo tail -f $log did not show readings alone"
typed 60 "$project" "$(block revert)" || fail "reverting the drop-in"
[ ! -e /etc/systemd/system/rangefinder.service.d/override.conf ] &&
    [ "$(systemctl show -P StandardOutput rangefinder)" = journal ] || fail "systemctl revert left the drop-in"
since=$(date '+%Y-%m-%d %H:%M:%S')
wait_for 10 reads_again || fail "no readings in the journal after the drop-in was taken away"
say "service-to-a-file: the drop-in sends the readings to $log, root's alone, read with sudo; reverted"

sim=/home/$owner/$project/build/sim/rangefinder
typed 600 "$project" "$(lines 1 2 simulator)" || fail "building the simulator"
typed 30 "$project" "$(first 5 "$(line 3 simulator)")" || fail "build/sim/rangefinder"
readings "$near" "$far" || fail "the simulator did not print readings of its drifting object alone"
[ "$(wc -l <"$last.err")" -eq 1 ] && grep -q 'readings are simulated' "$last.err" ||
    fail "the simulator did not say once on standard error that its readings are simulated"
placed=$(block simulator-placed)
[[ $placed == RANGEFINDER_SIM_CM=100\ * ]] || fail "simulator-placed does not place the object at 100"
# Each row of the README's table of RANGEFINDER_SIM_CM, by the values its first cell gives.
rows=$(awk -F'|' '$2 ~ /`RANGEFINDER_SIM_CM`/ { table = 1; next }
                  table && /^\|---/ { next }
                  table && /^\|/ { print $2; next }
                  table { exit }' README.md)
values=$(grep -o '`[^`]*`' <<<"$rows" | tr -d '`')
grep -q unset <<<"$rows" || fail "the table of RANGEFINDER_SIM_CM has no row for it unset"
for value in unset $values; do
    if [ "$value" = unset ]; then
        typed 30 "$project" "$(first 5 "${placed#RANGEFINDER_SIM_CM=100 }")"
        readings "$near" "$far" || fail "unset, the simulator did not print its drifting object"
        continue
    fi
    typed 30 "$project" "$(first 5 "RANGEFINDER_SIM_CM=$value ${placed#RANGEFINDER_SIM_CM=100 }")"
    if [ "$value" = absent ]; then
        [ "$(sort -u "$last.out")" = -1 ] || fail "absent, the simulator printed other than -1"
    else
        expected=$(awk -v cm="$value" 'BEGIN { print cm > 400 ? 655 : int(cm + 0.5) }')
        readings "$expected" "$expected" && [ "$(distances)" -ge 1 ] || fail "at $value cm the simulator did not print $expected"
    fi
done
status=0
typed 10 "$project" "RANGEFINDER_SIM_CM=abc ${placed#RANGEFINDER_SIM_CM=100 }" || status=$?
[ "$status" -eq 2 ] && grep -q RANGEFINDER_SIM_CM "$last.err" || fail "a value neither a distance nor absent was not refused with status 2"
say "simulator: built by name, it says it simulates; unset, $(echo $values | sed 's/ /, /g') give what the table says; abc is refused"

# recipe SECONDS CM COMMANDS: the owner runs COMMANDS, a recipe of README's "Using the readings",
# in the home folder, with `rangefinder` the simulator with its object at CM.
recipe() {
    typed "$1" . "export PATH=~/$project/build/sim:\$PATH RANGEFINDER_SIM_CM=$2 PYTHONUNBUFFERED=1; $3"
}
# The simulator runs in real time, so a stall of this machine across an edge of an echo makes
# that reading -1, as on a busy Pi: what is checked allows for it.
recipe 10 100 "$(block one-reading)" && readings 100 100 && [ "$(wc -l <"$last.out")" -eq 1 ] ||
    fail "one-reading did not print one reading"
recipe 20 100 "$(block first-distance)" && [ "$(cat "$last.out")" = 100 ] || fail "first-distance did not print 100"
recipe 3 absent "$(block first-distance)" || stopped || fail "first-distance with no module"
[ ! -s "$last.out" ] || fail "first-distance printed something with no module"
recipe 3 100 "$(block csv)" || stopped || fail "csv"
csv=/home/$owner/distances.csv
[ -s "$csv" ] && ! grep -Evx '[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},(100|-1)' "$csv" ||
    fail "csv did not log lines of a time and a reading: $(head -n 3 "$csv")"
say "one-reading, first-distance, csv: one reading; the first distance, and nothing with no module;" \
    "$(wc -l <"$csv") lines of a time and a reading"

# Placed near, the first command runs once however long the object stays; placed far, neither
# runs; drifting from 10 cm out to 250, each runs once, in turn.
threshold=$(block threshold)
came=$(sed -n 's/.*echo "\(something came within\) $near cm".*/\1/p' <<<"$threshold")
went=$(sed -n 's/.*echo "\(it went beyond\) $far cm".*/\1/p' <<<"$threshold")
read -r near_cm far_cm < <(sed -n 's/^near=\([0-9]*\) far=\([0-9]*\)$/\1 \2/p' <<<"$threshold")
[ -n "$came" ] && [ -n "$went" ] && [ -n "$far_cm" ] || fail "threshold has not the commands and distances looked for"
recipe 4 "$((near_cm / 2))" "$threshold" || stopped || fail "threshold, the object near"
[ "$(cat "$last.out")" = "$came $near_cm cm" ] || fail "threshold, the object near, did not say once that it came"
recipe 4 "$((far_cm * 2))" "$threshold" || stopped || fail "threshold, the object far"
[ ! -s "$last.out" ] || fail "threshold ran a command for an object far from the start"
# (The loop writes nothing more until the object comes back, so it is stopped.)
recipe 8 "" "$(first 2 "unset RANGEFINDER_SIM_CM; $threshold")" || stopped || fail "threshold, the object drifting"
[ "$(cat "$last.out")" = "$came $near_cm cm"$'\n'"$went $far_cm cm" ] ||
    fail "threshold, the object drifting away, did not say that it came and then that it went"
say "threshold: once as the object comes within $near_cm cm, once as it goes beyond $far_cm cm," \
    "nothing for one far from the start"

typed 300 . "$(block mqtt-clients)" || fail "installing mosquitto-clients"
# The broker the recipes publish to, on this Pi.
DEBIAN_FRONTEND=noninteractive apt-get install -y -q mosquitto >"$logs/broker" 2>&1 || fail "installing mosquitto"
listening() { (exec 3<>/dev/tcp/127.0.0.1/1883) 2>/dev/null; }
wait_for 10 listening || fail "the broker does not listen"
new_log
as_owner 30 . "export PATH=~/$project/build/sim:\$PATH RANGEFINDER_SIM_CM=100; $(block mqtt)" &
publisher=$!
publisher_log=$last
recipe 20 100 "$(first 3 "$(block mqtt-watch)")" &&
    ! grep -vx -e "rangefinder/$(hostname)/distance 100" -e "rangefinder/$(hostname)/distance -1" "$last.out" &&
    grep -qx "rangefinder/$(hostname)/distance 100" "$last.out" ||
    fail "mosquitto_sub did not receive the readings on this Pi's topic: $(cat "$publisher_log.err")"
kill $(pids_of "$sim")
wait "$publisher" || fail "the publisher did not end with its readings: $(cat "$publisher_log.err")"
say "mqtt: mosquitto_pub publishes each reading on this Pi's topic, mosquitto_sub receives them"

block python >"/home/$owner/distance.py"
chown "$owner:" "/home/$owner/distance.py"
recipe 10 100 "$(first 5 'python3 distance.py')" && ! grep -vx -e '100 cm' -e 'no reading' "$last.out" &&
    grep -qx '100 cm' "$last.out" || fail "python did not print 100 cm"
recipe 10 absent "$(first 3 'python3 distance.py')" && [ "$(sort -u "$last.out")" = "no reading" ] ||
    fail "python did not print 'no reading' with no module"
say "python: reads the stream line by line, -1 as no reading"

# The Pi that docs/developing.md copies from and to: its files are /srv/raspberrypi.local, and
# what is copied to it lands in /var/tmp/raspberrypi.local.
pi=/var/tmp/raspberrypi.local
mkdir -p "$pi/home/pi" /var/tmp/scp
chown "$owner:" "$pi/home/pi"
cat >/var/tmp/scp/scp <<'SCP'
#!/bin/bash
set -e
to=${*: -1}
for from in "${@:1:$#-1}"; do
    case $from in pi@raspberrypi.local:*) from=/srv/raspberrypi.local/${from#*:} ;; esac
    case $to in pi@raspberrypi.local:*) to=/var/tmp/raspberrypi.local/home/pi/${to#*:} ;; esac
    cp -L "$from" "$to"
done
SCP
chmod 755 /var/tmp/scp/scp
# arm: whether FILE is an ARM program or library (its ELF machine is 40).
arm() { [ "$(od -An -tu2 -j18 -N2 "$1" | tr -d ' ')" = 40 ]; }
cross() { typed 900 "$project" "export PATH=/var/tmp/scp:\$PATH; $1"; }
cross "$(block copy-wiringpi)" && arm "/home/$owner/$project/pi-wiringpi/lib/libwiringPi.so" &&
    [ -f "/home/$owner/$project/pi-wiringpi/include/wiringPi.h" ] || fail "copying wiringPi from the Pi"
cross "$(block cross-package)" || fail "making the armhf package"
received=$(ls "$pi"/home/pi/rangefinder_*_armhf.deb)
[ "$(dpkg-deb -f "$received" Architecture)" = armhf ] || fail "the package copied to the Pi is not armhf"
rm "$received"
cross "$(block cross-program)" && arm "$pi/home/pi/rangefinder" || fail "the program copied to the Pi is not an ARM program"
say "cross-package, cross-program: the armhf package and the ARM program, built against the Pi's" \
    "wiringPi, reach the Pi"

edit_the_service service-to-mqtt
host=$(hostname -s)
id=$(cat /etc/machine-id)
config=$(mosquitto_sub -v -t 'homeassistant/#' -C 1 -W 5 2>/dev/null || true)
[ "${config%% *}" = "homeassistant/sensor/rangefinder_$id/config" ] ||
    fail "a subscriber to homeassistant/# got no retained config for this Pi: '$config'"
read -r state availability unique < <(discovery_config "$(dpkg-query -W -f='${Version}' rangefinder)" \
    "$host" "$id" <<<"${config#* }") || fail "the retained discovery config is not as Home Assistant documents it"
heard "$state" 3 && readings "$near" "$far" ||
    fail "the config's state topic $state carries no readings"
wait_for 5 has_retained "$availability" online || fail "availability is not online while it runs"
unit_runs rangefinder "bash 1 50 some" "rangefinder 1 50 some" "mosquitto_pub 0 0 some"
rating=$(systemd-analyze security --no-pager rangefinder | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
documented=$(sed -n 's/.*rates the unit with this drop-in \([0-9.]*\),.*/\1/p' docs/using-the-readings.md)
[ "$rating" = "$documented" ] || fail "systemd-analyze security rates the unit with the drop-in $rating, docs/ say $documented"
say "service-to-mqtt: the retained discovery config holds Home Assistant's keys, its state topic" \
    "carries the readings, availability is online; rangefinder at FIFO 50, mosquitto_pub at" \
    "normal priority, each as the dynamic user with the gpio group alone; rated $rating"

systemctl stop rangefinder
wait_for 5 has_retained "$availability" offline || fail "availability is not offline once the service stops"
systemctl start rangefinder
wait_for 10 has_retained "$availability" online || fail "availability is not online once the service starts again"
# The broker's last will alone: rangefinder held, so that the pipeline does not end yet.
unit_runs rangefinder "bash 1 50 some" "rangefinder 1 50 some" "mosquitto_pub 0 0 some"
program=$(unit_pids rangefinder /usr/bin/rangefinder)
kill -STOP "$program"
kill -KILL "$(unit_pids rangefinder /usr/bin/mosquitto_pub)"
wait_for 5 has_retained "$availability" offline || fail "the broker did not send the last will"
[ "$(systemctl is-active rangefinder)" = active ] || fail "the service ended before the last will was seen"
kill -CONT "$program"
restarted() { [ "$(systemctl show -P NRestarts rangefinder)" -ge 1 ] && has_retained "$availability" online; }
wait_for 15 restarted || fail "availability is not online again once systemd has restarted the pipeline"
say "service-to-mqtt: availability offline once stopped, offline by the last will when" \
    "mosquitto_pub is killed, online again when systemd has started it again"
printf '%s\n' "$config" "$unique" "$state" "$availability" >/var/tmp/first-boot
nothing_left
