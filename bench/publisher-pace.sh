#!/usr/bin/env bash
# publisher-pace.sh PUBLISHER: what the publisher's pace costs Home Assistant. PUBLISHER runs
# module-trace.sh in place of rangefinder, twice at once, each against a mosquitto broker of its
# own on loopback: with delta=0 heartbeat=0 (every reading) and with the defaults. For the still
# object it prints messages an hour and Home Assistant's state changes an hour (each message's
# state after the discovery config's value_template: the distance, or unknown for -1), from the
# time between the first and last of its messages; the delay from the step's reading to its
# message; and the messages of -1 while the module is unplugged. Exits 1 when the defaults miss
# their goal: at most 60 of each an hour, the step out with its own reading, -1 said once.
set -euo pipefail
publisher=$(realpath "$1")
cd "$(dirname "$0")"
export TRACE_STILL_S=${TRACE_STILL_S:-240} TRACE_STEP_S=${TRACE_STEP_S:-20} TRACE_UNPLUGGED_S=${TRACE_UNPLUGGED_S:-75}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
declare -A settings=([every-reading]=$'delta=0\nheartbeat=0\n' [defaults]='')

port=20000
for run in every-reading defaults; do
    # A broker on the first port nothing listens on.
    while ss -ltn | grep -q ":$port "; do port=$((port + 1)); done
    printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/$run.broker"
    mosquitto -c "$work/$run.broker" 2>"$work/$run.broker.log" &
    pids+=($!)
    for _ in $(seq 50); do
        ! grep -qs running "$work/$run.broker.log" || break
        sleep 0.1
    done
    mosquitto_sub -p "$port" -t 'rangefinder/+/distance' -F '@s.@N %p' >"$work/$run.messages" &
    pids+=($!)
    printf 'broker=127.0.0.1\nport=%s\n%s' "$port" "${settings[$run]}" >"$work/$run.conf"
    TRACE_MARKS=$work/$run.marks "$publisher" --config "$work/$run.conf" --rangefinder "$PWD/module-trace.sh" \
        2>"$work/$run.said" &
    pids+=($!)
    port=$((port + 1))
done
# Each publisher ends, with status 1, when the trace does.
wait "${pids[2]}" "${pids[5]}" || true

met=0
for run in every-reading defaults; do
    awk -v run="$run" -v goal="$([ "$run" = defaults ] && echo 1 || echo 0)" '
        FILENAME ~ /marks$/ { mark[$1] = $2; next }
        $1 < mark["step"] {
            if (still++) { last = $1 } else { first = $1 }
            state = $2 >= 0 ? $2 : "unknown"
            if (still > 1 && state != before) changes++
            before = state
            next
        }
        $1 < mark["unplugged"] && step == "" { step = $2; delay = $1 - mark["step"]; next }
        $1 >= mark["unplugged"] && $2 == -1 { unplugged++ }
        END {
            hour = 3600 / (last - first)
            printf "publisher pace\t%s: for the still object %.1f messages and %.1f state changes an hour;", run, (still - 1) * hour, changes * hour
            printf " the step out %.1f ms after its reading, as %s; %d messages of -1 unplugged\n", delay * 1000, step, unplugged
            if (goal) exit !((still - 1) * hour <= 60 && changes * hour <= 60 && step >= 130 && delay < 0.306 && unplugged == 1)
        }' "$work/$run.marks" "$work/$run.messages" || met=1
done
[ "$met" -eq 0 ] || { echo "publisher pace: the defaults miss the goal" >&2; exit 1; }
