#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer and UndefinedBehaviorSanitizer, then checks
# the wiringPi build against a stand-in library.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build libgtest-dev binutils
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRANGEFINDER_BACKEND=sim \
    -DRANGEFINDER_SANITIZE=ON -DRANGEFINDER_WERROR=ON
cmake --build build/test
(cd build/test && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh
