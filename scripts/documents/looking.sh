# Sourced by the scripts of documents/: what the owner, or root, looks at after a command.

# The simulated object drifts between these, and so does the stand-in wiringPi's.
near=10 far=250

# readings [LOW HIGH]: whether $last.out holds readings alone, one or more, each -1 or a whole
# number from LOW to HIGH (any when not given).
readings() {
    [ -s "$last.out" ] && awk -v low="${1:-0}" -v high="${2:-1e9}" '
        $0 != "-1" && !($0 ~ /^[0-9]+$/ && $0 + 0 >= low + 0 && $0 + 0 <= high + 0) { exit 1 }' "$last.out"
}

# manual_page: whether $last.out is rangefinder's manual page, as man shows it.
manual_page() { grep -q '^RANGEFINDER(1) ' "$last.out" && grep -qx 'SYNOPSIS' "$last.out"; }

# distances: how many lines of $last.out are distances, not -1.
distances() { grep -cvx -- -1 "$last.out" || true; }

# program_of PID: the path of the program a process runs. Under qemu's user-mode emulation the
# process runs the emulator, which has the program's path for its first argument.
program_of() {
    local exe
    exe=$(readlink "/proc/$1/exe" 2>/dev/null) || return 0
    case $exe in
    */qemu-*) tr '\0' '\n' <"/proc/$1/cmdline" | sed -n 2p ;;
    *) echo "$exe" ;;
    esac
}

# pids_of PROGRAM: the processes running PROGRAM, by its path.
pids_of() {
    local process
    for process in /proc/[0-9]*; do
        [ "$(program_of "${process#/proc/}")" != "$1" ] || echo "${process#/proc/}"
    done
}

# process PID: "NAME UID GROUPS POLICY PRIORITY NETWORK" of a process: its program's name, its
# user's ID, the IDs of its groups but its own, joined by commas, its scheduling policy (0
# normal, 1 FIFO) and real-time priority, and "none" when it has no network interface but the
# loopback.
process() {
    local stat fields groups network=some
    stat=$(cat "/proc/$1/stat")
    read -r -a fields <<<"${stat##*) }"
    groups=$(awk '/^Gid:/ { own = $2 }
                  /^Groups:/ { for (i = 2; i <= NF; i++) if ($i != own) list = list (list ? "," : "") $i }
                  END { print list }' "/proc/$1/status")
    [ "$(awk 'NR > 2' "/proc/$1/net/dev" | grep -cv '^ *lo:')" -ne 0 ] || network=none
    echo "$(basename "$(program_of "$1")") $(awk '/^Uid:/ { print $2 }' "/proc/$1/status")" \
        "${groups:-none} ${fields[38]} ${fields[37]} $network"
}

# unit_members UNIT: the PIDs of every process of UNIT that this system sees: under emulation its
# cgroup may list ones it does not, as 0.
unit_members() { grep -vx 0 "/sys/fs/cgroup$(systemctl show -P ControlGroup "$1")/cgroup.procs" || true; }

# unit_processes UNIT: `process` of every process of UNIT, one a line.
unit_processes() {
    local pid
    for pid in $(unit_members "$1"); do
        process "$pid"
    done
}

# running PROGRAM: whether a process runs PROGRAM.
running() { [ -n "$(pids_of "$1")" ]; }

# wait_for SECONDS COMMAND...: whether COMMAND succeeds within SECONDS, tried every 0.2 s.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$until" ] || return 1
        sleep 0.2
    done
}

gpio=$(getent group gpio | cut -d: -f3)
# unit_runs UNIT LINE...: UNIT is active, and its processes are those LINEs, each "NAME
# POLICY PRIORITY NETWORK" (see `process`), each run by one dynamic user (or the user
# $unit_uid, where it is set) with the gpio group alone.
unit_runs() {
    local unit=$1 seen uid
    shift
    wait_for 10 systemctl -q is-active "$unit" || fail "$unit is not active: $(systemctl is-active "$unit")"
    # systemd 257 starts each process as root in its systemd-executor, which then becomes it.
    started() { [ -n "$(unit_processes "$unit")" ] && ! unit_processes "$unit" | grep -q '^systemd-executor '; }
    wait_for 10 started || fail "$unit has not started its processes: $(unit_processes "$unit")"
    seen=$(unit_processes "$unit")
    uid=$(awk 'NR == 1 { print $2 }' <<<"$seen")
    if [ -n "${unit_uid:-}" ]; then
        [ "$uid" -eq "$unit_uid" ] || fail "$unit runs as user $uid, not $unit_uid"
    else
        [ "$uid" -ge 61184 ] && [ "$uid" -le 65519 ] || fail "$unit runs as user $uid, not a dynamic one"
    fi
    [ "$(awk -v uid="$uid" -v gpio="$gpio" '$2 == uid && $3 == gpio { print $1, $4, $5, $6 }' <<<"$seen" | sort)" = \
        "$(printf '%s\n' "$@" | sort)" ] || fail "$unit runs (name, user, groups, policy, priority, network):"$'\n'"$seen"
}

# journal_readings UNIT SINCE: how many readings UNIT has logged since SINCE (a journalctl time).
journal_readings() {
    journalctl -u "$1" --since "$2" -o cat --no-pager | grep -cEx -- '-1|[0-9]+' || true
}

# nothing_left: every command typed has ended, and nothing it started runs on but the owner's
# systemd.
nothing_left() {
    local left
    left=$(for process in /proc/[0-9]*; do
        [ "$(stat -c %U "$process" 2>/dev/null)" = "$owner" ] || continue
        name=$(cat "$process/comm" 2>/dev/null) || continue
        [ "$name" = systemd ] || [ "$name" = "(sd-pam)" ] || echo "$name"
    done)
    [ -z "$left" ] || fail "the owner's commands left these running:" $left
}

# unit_pids UNIT PROGRAM: the processes of UNIT that run PROGRAM.
unit_pids() {
    local pid
    for pid in $(unit_members "$1"); do
        [ "$(program_of "$pid")" != "$2" ] || echo "$pid"
    done
}

# The broker of Home Assistant's machine, as the test's own login reaches it.
remote=(-h "$(broker_name)" --cafile /etc/rangefinder/ca.crt -u "$watcher" -P "$watcher_password")

# heard TOPIC N [SECONDS]: whether a subscriber to TOPIC hears N messages within SECONDS (10 unless
# given); they are $last.out.
heard() {
    new_log
    echo "mosquitto_sub -t $1 -C $2 -W ${3:-10}" >"$last.command"
    mosquitto_sub "${remote[@]}" -t "$1" -C "$2" -W "${3:-10}" >"$last.out" 2>"$last.err"
}

# retained TOPIC: the message the broker keeps on TOPIC, if any.
retained() { mosquitto_sub "${remote[@]}" -t "$1" -C 1 -W 1 2>/dev/null || true; }

# has_retained TOPIC MESSAGE: whether the broker keeps MESSAGE on TOPIC.
has_retained() { [ "$(retained "$1")" = "$2" ]; }

# config_topic ENTITY: the discovery topic of this Pi's distance, presence or level.
config_topic() {
    case $1 in
    distance) echo "homeassistant/sensor/rangefinder_$(cat /etc/machine-id)/config" ;;
    presence) echo "homeassistant/binary_sensor/rangefinder_$(cat /etc/machine-id)_presence/config" ;;
    level) echo "homeassistant/sensor/rangefinder_$(cat /etc/machine-id)_level/config" ;;
    esac
}

# sensor_config: "TOPIC CONFIG" of this Pi's retained discovery config of its distance, if any.
sensor_config() { mosquitto_sub "${remote[@]}" -v -t "$(config_topic distance)" -C 1 -W 5 2>/dev/null || true; }

# discovery_config VERSION HOST ID [ENTITY]: whether the JSON on standard input is a Home
# Assistant MQTT discovery config of ENTITY (distance, the default: a sensor in cm; presence: a
# binary sensor of occupancy; level: a sensor in %), with only keys Home Assistant keeps (none
# it has deprecated or dropped, none it does not know inside device, which would make it drop
# the whole config), of this Pi (HOST, machine ID ID) and the package's VERSION; prints its
# state topic, availability topic and unique ID.
discovery_config() {
    python3 -c '
import json, sys
version, host, machine, entity = (sys.argv[1:] + ["distance"])[:4]
config = json.load(sys.stdin)
expected = {
    "distance": {"unit_of_measurement": "cm", "device_class": "distance", "state_class": "measurement"},
    "presence": {"device_class": "occupancy"},
    "level": {"unit_of_measurement": "%", "state_class": "measurement"},
}[entity]
kinds = {"name": str, "unique_id": str, "state_topic": str, "availability_topic": str,
         "expire_after": int, "value_template": str, "device": dict, "origin": dict}
wrong = [key for key, kind in kinds.items() if not isinstance(config.get(key), kind)]
for key in ("unit_of_measurement", "device_class", "state_class"):
    if config.get(key) != expected.get(key): wrong.append(key)
device = config.get("device", {})
origin = config.get("origin", {})
wrong += [key for key in ("identifiers", "name") if not device.get(key)]
device_keys = {"identifiers", "connections", "name", "manufacturer", "model", "model_id",
               "serial_number", "hw_version", "sw_version", "suggested_area", "via_device",
               "configuration_url"}
wrong += ["device." + key for key in device if key not in device_keys]
wrong += ["origin." + key for key in origin if key not in {"name", "sw_version", "support_url"}]
if "object_id" in config: wrong.append("object_id")
platform = "binary_sensor." if entity == "presence" else "sensor."
if not str(config.get("default_entity_id", platform)).startswith(platform):
    wrong.append("default_entity_id")
if device.get("identifiers") != ["rangefinder_" + machine]: wrong.append("device.identifiers")
# A heartbeat of 0 to 3600 s, and 5 s more.
if not 5 <= config.get("expire_after", 0) <= 3605: wrong.append("expire_after")
if device.get("sw_version") != version: wrong.append("device.sw_version")
if origin.get("sw_version") != version or not origin.get("name"): wrong.append("origin")
suffix = "" if entity == "distance" else "_" + entity
if config.get("unique_id") != "rangefinder_" + machine + suffix: wrong.append("unique_id")
if config.get("state_topic") != "rangefinder/" + host + "/" + entity or host not in config.get("availability_topic", ""):
    wrong.append("topics")
if wrong:
    sys.exit("discovery config: wrong or missing: " + ", ".join(wrong) + ": " + json.dumps(config))
print(config["state_topic"], config["availability_topic"], config["unique_id"])
' "$@"
}

# password_hidden PASSWORD: PASSWORD stands in no process's command line or environment, not in
# systemctl show or cat of the publisher's unit, nor in the journal, and in no file but the
# publisher's file and systemd's copy of it, both root's; a user of no privilege finds it in
# none. Nothing here puts it in a command line, and no message shows it.
password_hidden() {
    local password=$1 process what files
    for process in /proc/[0-9]*; do
        for what in cmdline environ; do
            [[ "$(tr '\0' ' ' <"$process/$what" 2>/dev/null)" != *"$password"* ]] ||
                fail "the password stands in the $what of $(cat "$process/comm")"
        done
    done
    [[ "$(systemctl show rangefinder-mqtt)" != *"$password"* ]] || fail "systemctl show shows the password"
    [[ "$(systemctl cat rangefinder-mqtt)" != *"$password"* ]] || fail "systemctl cat shows the password"
    [[ "$(journalctl --no-pager -o cat)" != *"$password"* ]] || fail "the journal holds the password"
    everything=$(ls -d /* | grep -vxE '/(proc|sys|dev)')
    # grep's status is 2 for what it could not read, which is no finding.
    files=$({ printf '%s\n' "$password" | grep -rlsF -D skip -f - $everything || true; } | sort | xargs)
    [ "$files" = "/etc/rangefinder/mqtt.conf /run/credentials/rangefinder-mqtt.service/rangefinder_mqtt.conf" ] ||
        fail "the password is in these files: $files"
    # Root's or the service's user's (systemd 252 gives its copy to that user, 257 to its
    # group), and nothing for any other user.
    service=$(stat -c %u "/proc/$(systemctl show -P MainPID rangefinder-mqtt)")
    for file in $files; do
        [[ "$(stat -c '%a' "$file")" == [46][04]0 ]] &&
            { [ "$(stat -c %u "$file")" -eq 0 ] || [ "$(stat -c %u "$file")" -eq "$service" ]; } ||
            fail "$file, which holds the password, is $(stat -c '%u %a' "$file") (the service runs as $service)"
    done
    files=$({ printf '%s\n' "$password" | runuser -u nobody -- grep -rlsF -D skip -f - $everything || true; } | xargs)
    [ -z "$files" ] || fail "a user of no privilege finds the password in $files"
}
