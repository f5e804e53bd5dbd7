#!/usr/bin/env bash
# Builds rangefinder and its benchmarks for release with the simulator, and prints what a
# reading costs and how exact it is: polling cost, accuracy, processor time, system calls and
# memory. With --build-only it stops once they are built.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build libbenchmark-dev
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_BACKEND=sim \
    -DRANGEFINDER_TESTS=OFF -DRANGEFINDER_BENCH=ON >/dev/null
cmake --build build/bench >/dev/null
[ "${1:-}" != --build-only ] || exit 0
need_packages strace
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build/bench/bench/rangefinder-bench --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
             { gsub(/"/, "", $1)
               printf "polling\t%s: %.1f ns a pass\n", $1, $column["\"s_per_poll\""] * 1e9 }'

build/bench/bench/rangefinder-bench-sim

# System calls between two readings, the waits included, from the program's own run.
RANGEFINDER_SIM_CM=100 timeout -s INT 2 strace -qq -o "$work/calls" build/bench/rangefinder \
    >/dev/null || true
awk '!/^[a-z_0-9]+\(/ { next }
     /^write\(1,/ { if (writes++) between += calls; calls = 0; next }
     writes { calls++; sub(/\(.*/, ""); names[$0] = 1 }
     END { for (name in names) list = list " " name
           printf "syscalls\t%.1f a reading besides its write:%s\n", between / (writes - 1), list }' \
    "$work/calls"

# Peak resident memory, measured from outside after a few seconds of readings.
env RANGEFINDER_SIM_CM=100 build/bench/rangefinder >/dev/null &
pid=$!
sleep 3
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
private=$(awk '/^Private_(Clean|Dirty)/ { sum += $2 } END { print sum }' "/proc/$pid/smaps_rollup")
kill "$pid"
printf 'memory\tpeak resident %s kB, of which %s kB private to the process\n' "$peak" "$private"
