#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer and UndefinedBehaviorSanitizer, then checks
# the wiringPi build against a stand-in library. The MQTT publisher's tests against a broker run
# where Debian's mosquitto is installed, and say they were skipped where it is not: installing it
# would leave a broker running on this machine. A compiler's warnings are shown, and are errors
# only under CI (CI=true), where the project checks itself.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake g++ ninja-build libgtest-dev binutils libmosquitto-dev nlohmann-json3-dev
version=$(cmake --version | sed -n 's/^cmake version \([0-9]*\.[0-9]*\).*/\1/p')
if [ "$(printf '%s\n' 3.22 "$version" | sort -V | head -n 1)" != 3.22 ]; then
    echo "rangefinder: the tests need CMake 3.22 or newer; this is CMake $version" >&2
    exit 1
fi
werror=OFF
[ "${CI:-}" != true ] || werror=ON
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRANGEFINDER_BACKEND=sim \
    -DRANGEFINDER_SANITIZE=ON -DRANGEFINDER_WERROR=$werror
cmake --build build/test
(cd build/test && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh
