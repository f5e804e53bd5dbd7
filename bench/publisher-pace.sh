#!/usr/bin/env bash
# publisher-pace.sh PUBLISHER: what the publisher's pace costs Home Assistant. PUBLISHER runs
# module-trace.sh in place of rangefinder, three times at once, each against a mosquitto broker
# of its own on loopback: with the defaults, with median=1 (no median), and with delta=0
# heartbeat=0 median=1 (every reading). For each it prints the false readings that reached the
# broker (a distance neither the still object's nor the step's); for the still object, once the
# start's two messages are past, messages an hour and Home Assistant's state changes an hour
# (each message's state after the discovery config's value_template: the distance, or unknown
# for -1), from the time between the first and last of its messages; the delay from the step's
# first reading to its message; and the messages of -1 while the module is unplugged. Then, with
# delta=0 heartbeat=0 (each reading as read) and with median=5 beside them, a module that misses
# one echo in three for 30 s: the distances and -1s out of those read. Exits 1 when the defaults
# miss their goal: no false reading, at most 60 messages and 60 state changes an hour, the step
# out within 1 s, -1 said once; or when a distance read is not published at heartbeat=0.
set -euo pipefail
publisher=$(realpath "$1")
cd "$(dirname "$0")"
export TRACE_STILL_S=${TRACE_STILL_S:-240} TRACE_STEP_S=${TRACE_STEP_S:-20} TRACE_UNPLUGGED_S=${TRACE_UNPLUGGED_S:-75}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
runs=(defaults median=1 every-reading)
missing_runs=(heartbeat=0 heartbeat=0,median=5)
declare -A settings=([defaults]='' [median=1]=$'median=1\n' [every-reading]=$'delta=0\nheartbeat=0\nmedian=1\n'
    [heartbeat=0]=$'delta=0\nheartbeat=0\n' [heartbeat=0,median=5]=$'delta=0\nheartbeat=0\nmedian=5\n')

port=20000
publishers=()
# start RUN [VARIABLE=VALUE...]: a broker, a subscriber and the publisher of RUN, the trace run
# with the settings given.
start() {
    local run=$1
    shift
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
    env TRACE_MARKS="$work/$run.marks" "$@" "$publisher" --config "$work/$run.conf" \
        --rangefinder "$PWD/module-trace.sh" 2>"$work/$run.said" &
    pids+=($!)
    publishers+=($!)
    port=$((port + 1))
}
for run in "${runs[@]}"; do
    start "$run"
done
for run in "${missing_runs[@]}"; do
    start "$run" TRACE_MISSING_S=30
done
# Each publisher ends, with status 1, when the trace does.
wait "${publishers[@]}" || true

met=0
for run in "${runs[@]}"; do
    awk -v run="$run" -v goal="$([ "$run" = defaults ] && echo 1 || echo 0)" '
        FILENAME ~ /marks$/ { mark[$1] = $2; next }
        $2 != -1 && ($2 < 99 || $2 > 102) && ($2 < 129 || $2 > 132) { false++ }
        # The first message and its repeat once Home Assistant can hear it: the start, not the pace.
        start == "" { start = $1 }
        $1 < start + 5 { next }
        $1 < mark["step"] {
            if (still++) { last = $1 } else { first = $1 }
            state = $2 >= 0 ? $2 : "unknown"
            if (still > 1 && state != before) changes++
            before = state
            next
        }
        $1 < mark["unplugged"] && step == "" && $2 >= 129 { step = $2; delay = $1 - mark["step"]; next }
        $1 >= mark["unplugged"] && $2 == -1 { unplugged++ }
        END {
            hour = 3600 / (last - first)
            printf "publisher pace\t%s: %d false readings out; for the still object %.1f messages and %.1f state changes an hour;", run, false, (still - 1) * hour, changes * hour
            printf " the step out %.0f ms after its first reading, as %s; %d messages of -1 unplugged\n", delay * 1000, step, unplugged
            if (goal) exit !(false == 0 && (still - 1) * hour <= 60 && changes * hour <= 60 && step >= 129 && delay < 1 && unplugged == 1)
        }' "$work/$run.marks" "$work/$run.messages" || met=1
done
# Of 100, 100, -1 over and over, every one read after the first distance published goes out, the
# median's window full by then.
for run in "${missing_runs[@]}"; do
    awk -v run="$run" '
        FILENAME ~ /marks$/ { read_at[++reads] = $1; cm[reads] = $2; next }
        first == "" { if ($2 != -1) first = $1; next }
        { if ($2 == -1) missing++; else distances++ }
        END {
            for (i = 1; i <= reads; i++) if (read_at[i] > first) { if (cm[i] == -1) read_missing++; else read_distances++ }
            printf "publisher pace\tdelta=0 %s, one -1 in three readings: after the first distance out, %d of %d distances and %d of %d -1s out\n", run, distances, read_distances, missing, read_missing
            exit !(read_distances > 0 && distances == read_distances && missing == read_missing)
        }' "$work/$run.marks" "$work/$run.messages" || met=1
done
[ "$met" -eq 0 ] || { echo "publisher pace: the defaults miss the goal, or a distance read was not published" >&2; exit 1; }
