#!/usr/bin/env bash
# Builds rangefinder, rangefinder-mqtt and the benchmarks for release with the simulator, and
# prints what a reading costs and how exact it is: polling cost, accuracy on an idle machine
# (with every echo mid-centimetre, and with echoes spread evenly across it), under load (a busy
# process a core) and under load at real-time priority, processor time, system calls and
# memory; then what the publisher's pace costs Home Assistant (bench/publisher-pace.sh, some six
# minutes). It plots the accuracy to build/bench/accuracy-under-load.png, or to the file given
# with --plot FILE (from the project's folder). With --build-only it stops once everything is
# built.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
plot=build/bench/accuracy-under-load.png
build_only=
while [ $# -gt 0 ]; do
    case $1 in
    --build-only) build_only=1 ;;
    --plot) plot=$2; shift ;;
    *) echo "usage: bash scripts/bench.sh [--build-only] [--plot FILE]" >&2; exit 2 ;;
    esac
    shift
done
need_packages cmake g++ ninja-build libbenchmark-dev libmosquitto-dev nlohmann-json3-dev
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_BACKEND=sim \
    -DRANGEFINDER_TESTS=OFF -DRANGEFINDER_BENCH=ON -DRANGEFINDER_MQTT=ON >/dev/null
cmake --build build/bench >/dev/null
[ -z "$build_only" ] || exit 0
need_packages strace gnuplot-nox mosquitto mosquitto-clients iproute2
work=$(mktemp -d)
. scripts/children.sh

build/bench/bench/rangefinder-bench --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
             { gsub(/"/, "", $1)
               printf "polling\t%s: %.1f ns a pass\n", $1, $column["\"s_per_poll\""] * 1e9 }'

# The simulator's own notice that its readings are simulated goes without saying here.
sim() {
    { "$@" 2>&1 1>&3 | sed '/readings are simulated/d' >&2; } 3>&1
}
bench_sim=build/bench/bench/rangefinder-bench-sim
sim $bench_sim
sim $bench_sim accuracy idle "$work/idle.dat"
sim $bench_sim spread "idle, spread" "$work/spread.dat"
# The load: a process a core that only computes, in user space.
for _ in $(seq "$(nproc)"); do
    (while :; do :; done) &
    children+=($!)
done
sim $bench_sim accuracy loaded "$work/loaded.dat"
if why=$(chrt -f 50 true 2>&1); then
    sim chrt -f 50 $bench_sim accuracy "loaded, real-time" "$work/realtime.dat"
else
    printf 'accuracy loaded, real-time\tnot measured: real-time priority is not permitted here (%s)\n' "$why"
fi
stop_children
mkdir -p "$(dirname "$plot")"
gnuplot -e "out='$plot'; data='$work'" bench/accuracy.gnuplot
printf 'plot\t%s\n' "$plot"

# System calls between two readings, the waits included, from the program's own run.
RANGEFINDER_SIM_CM=100 timeout -s INT 2 strace -qq -o "$work/calls" build/bench/rangefinder 2>/dev/null \
    >/dev/null || true
awk '!/^[a-z_0-9]+\(/ { next }
     /^write\(1,/ { if (writes++) between += calls; calls = 0; next }
     writes { calls++; sub(/\(.*/, ""); names[$0] = 1 }
     END { for (name in names) list = list " " name
           printf "syscalls\t%.1f a reading besides its write:%s\n", between / (writes - 1), list }' \
    "$work/calls"

# Peak resident memory, measured from outside after a few seconds of readings.
env RANGEFINDER_SIM_CM=100 build/bench/rangefinder >/dev/null 2>&1 &
pid=$!
children+=("$pid")
sleep 3
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
private=$(awk '/^Private_(Clean|Dirty)/ { sum += $2 } END { print sum }' "/proc/$pid/smaps_rollup")
stop_children
printf 'memory\tpeak resident %s kB, of which %s kB private to the process\n' "$peak" "$private"

bash bench/publisher-pace.sh build/bench/rangefinder-mqtt
