# Sourced by documents-in-root.sh, which runs as root in a booted system: the first user at the
# keyboard, typing what the documents show, and what that user, or root, would look at after.

owner=pi
project=rangefinder
logs=/var/tmp/documents
mkdir -p "$logs"
chmod 0777 "$logs"
last=
calls=0

say() { echo "$(hostname): $*"; }

# fail WHAT: stops the run, saying WHAT and showing the output of the last command typed.
fail() {
    {
        echo "$(hostname): FAILED: $*"
        if [ -n "$last" ]; then
            echo "--- the last command typed, and its standard output and error (the end of each):"
            cat "$last.command"
            tail -n 40 "$last.out"
            tail -n 40 "$last.err"
        fi
    } >&2
    exit 1
}

# typed SECONDS DIR COMMANDS: runs COMMANDS as the owner types them into a login shell, in DIR
# of the owner's home, stopping at the first that fails; after SECONDS, Ctrl-C (SIGINT to them
# all), then SIGKILL 10 s later. Standard output and error go to $last.out and $last.err; the
# status is that of COMMANDS, or 124 when they were stopped.
typed() {
    new_log
    as_owner "$@"
}

# new_log: a new $last, for the next command typed; `typed` starts with it, and a command typed
# in the background starts with it before `as_owner`.
new_log() {
    calls=$((calls + 1))
    last=$logs/$calls
}

# The owner answers yes to whatever is asked, as to apt's "Do you want to continue?", unless
# `keyboard` names another command for what is typed (`keyboard=true` for nothing). The time
# limit is kept inside the login, which is a session of its own, so that its Ctrl-C reaches
# every process the commands started.
as_owner() {
    local seconds=$1 dir=$2
    shift 2
    printf '%s\n' "$*" >"$last.command"
    runuser -l "$owner" -c "timeout -s INT -k 10 $seconds bash -c $(printf '%q' "set -e; cd ~/$dir; $*")" \
        < <(${keyboard:-yes}) >"$last.out" 2>"$last.err"
}

# stopped: whether the command just typed ran until it was stopped, as one that follows
# something does: typed ... || stopped || fail ...
stopped() { [ $? -eq 124 ]; }

# line N NAME: line N of the block NAME; lines N,M NAME: those lines.
line() { block "$2" | sed -n "$1p"; }
lines() { block "$3" | sed -n "$1,$2p"; }

# first N COMMANDS: COMMANDS, ended once they have printed N lines (their reader gone), however
# they end, a comment included.
first() { printf '{ %s\n} | head -n %s' "$2" "$1"; }

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

# pids_of PROGRAM: the processes running PROGRAM, by its path.
pids_of() {
    local process
    for process in /proc/[0-9]*; do
        [ "$(readlink "$process/exe" 2>/dev/null)" != "$1" ] || echo "${process#/proc/}"
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
    echo "$(basename "$(readlink "/proc/$1/exe")") $(awk '/^Uid:/ { print $2 }' "/proc/$1/status")" \
        "${groups:-none} ${fields[38]} ${fields[37]} $network"
}

# unit_processes UNIT: `process` of every process of UNIT, one a line.
unit_processes() {
    local pid
    for pid in $(cat "/sys/fs/cgroup$(systemctl show -P ControlGroup "$1")/cgroup.procs"); do
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
    for pid in $(cat "/sys/fs/cgroup$(systemctl show -P ControlGroup "$1")/cgroup.procs"); do
        [ "$(readlink "/proc/$pid/exe")" != "$2" ] || echo "$pid"
    done
}

# heard TOPIC N: whether a subscriber to TOPIC hears N messages within 10 s; they are $last.out.
heard() {
    new_log
    echo "mosquitto_sub -t $1 -C $2 -W 10" >"$last.command"
    mosquitto_sub -t "$1" -C "$2" -W 10 >"$last.out" 2>"$last.err"
}

# has_retained TOPIC MESSAGE: whether the broker keeps MESSAGE on TOPIC.
has_retained() { [ "$(mosquitto_sub -t "$1" -C 1 -W 1 2>/dev/null || true)" = "$2" ]; }

# discovery_config VERSION HOST ID: whether the JSON on standard input is a Home Assistant MQTT
# discovery config of a distance sensor in cm, as Home Assistant documents its keys, of this
# Pi (HOST, machine ID ID) and the package's VERSION; prints its state topic, availability
# topic and unique ID.
discovery_config() {
    python3 -c '
import json, sys
version, host, machine = sys.argv[1:]
config = json.load(sys.stdin)
kinds = {"name": str, "unique_id": str, "object_id": str, "state_topic": str,
         "availability_topic": str, "unit_of_measurement": str, "device_class": str,
         "state_class": str, "expire_after": int, "value_template": str, "device": dict}
wrong = [key for key, kind in kinds.items() if not isinstance(config.get(key), kind)]
device = config.get("device", {})
wrong += [key for key in ("identifiers", "name") if not device.get(key)]
if config.get("unit_of_measurement") != "cm": wrong.append("unit_of_measurement")
if config.get("device_class") != "distance": wrong.append("device_class")
if config.get("state_class") != "measurement": wrong.append("state_class")
if not 1 <= config.get("expire_after", 0) <= 60: wrong.append("expire_after")
if device.get("sw_version") != version: wrong.append("device.sw_version")
if machine not in config.get("unique_id", ""): wrong.append("unique_id")
if host not in config.get("state_topic", "") or host not in config.get("availability_topic", ""):
    wrong.append("topics")
if wrong:
    sys.exit("discovery config: wrong or missing: " + ", ".join(wrong) + ": " + json.dumps(config))
print(config["state_topic"], config["availability_topic"], config["unique_id"])
' "$@"
}
