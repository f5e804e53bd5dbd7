#!/usr/bin/env bash
# Cross-builds rangefinder and its tests for the Pi's ARMv6 hard-float processor, checks that
# the objects say so, and runs every test under qemu-arm.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake ninja-build g++-arm-linux-gnueabihf qemu-user googletest binutils
cmake -S . -B build/arm -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/armv6-hf.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRANGEFINDER_BACKEND=sim
cmake --build build/arm

objects=$(find build/arm -name '*.o' -not -path '*/googletest/*')
[ -n "$objects" ] || { echo "test-arm: no object files found" >&2; exit 1; }
for object in $objects; do
    attributes=$(readelf -A "$object")
    for tag in 'Tag_CPU_arch: v6$' 'Tag_FP_arch: VFPv2$' 'Tag_ABI_VFP_args: VFP registers$'; do
        grep -q "$tag" <<<"$attributes" || {
            echo "test-arm: $object is not built for ARMv6 hard-float (no '$tag'):" >&2
            echo "$attributes" >&2
            exit 1
        }
    done
done
echo "test-arm: $(wc -w <<<"$objects") object files are ARMv6, VFPv2, hard-float"

(cd build/arm && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh --arm
