#!/usr/bin/env bash
# Builds rangefinder (against wiringPi where it is installed, else with the simulator) and runs
# it. Build messages go to standard error, so that standard output carries readings only.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_TESTS=OFF >&2
cmake --build build/release >&2
exec build/release/rangefinder "$@"
