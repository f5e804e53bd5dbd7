#!/usr/bin/env bash
# Builds everything (the program, its tests and its benchmarks) with each compiler a Pi owner
# may have, warnings as errors, and runs the whole suite with each: g++ 11 and 12, clang 14
# and 16.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
compilers=(g++-11 g++-12 clang++-14 clang++-16)
need_packages cmake ninja-build libgtest-dev libbenchmark-dev g++-11 g++-12 clang-14 clang-16

for compiler in "${compilers[@]}"; do
    build=build/compiler-$compiler
    cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRANGEFINDER_BACKEND=sim -DRANGEFINDER_WERROR=ON \
        -DRANGEFINDER_BENCH=ON >/dev/null
    cmake --build "$build"
    (cd "$build" && ctest --output-on-failure --no-tests=error --timeout 60)
done
