# Sourced by documents/first-boot.sh, in the order the documents run: README section 8, the simulator,
# and then section 7's recipes, which read it.

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

typed 300 . "$(line 1 mqtt)" || fail "installing mosquitto-clients"
# The broker the recipes publish to, on this Pi.
DEBIAN_FRONTEND=noninteractive apt-get install -y -q mosquitto >"$logs/broker" 2>&1 || fail "installing mosquitto"
listening() { (exec 3<>/dev/tcp/127.0.0.1/1883) 2>/dev/null; }
wait_for 10 listening || fail "the broker does not listen"
new_log
as_owner 30 . "export PATH=~/$project/build/sim:\$PATH RANGEFINDER_SIM_CM=100; $(line 2 mqtt)" &
publisher=$!
publisher_log=$last
recipe 20 100 "$(first 3 "mosquitto_sub -v -t 'rangefinder/+/distance'")" &&
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
