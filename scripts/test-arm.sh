#!/usr/bin/env bash
# Cross-builds rangefinder and all its tests three times and runs them under QEMU:
#   hard-float  the build for the Pi (ARMv6 with VFP, hard-float, ARMv6 start-up files), on an
#               emulated Cortex-A7, since Debian's armhf C library it runs against here is ARMv7
#   ARMv6 check the same ARMv6 code linked statically with Debian's ARMv5TE armel library, on
#               an emulated ARM1176, the Pi 1 and Zero's processor, which stops at any ARMv7
#               instruction
#   64-bit      the build for 64-bit Raspberry Pi OS, on an emulated Cortex-A53, the oldest
#               64-bit Pi processor
# and checks what the objects and programs say they need: every instruction of every 32-bit
# program one the ARM1176 runs (scripts/check-armv6.sh), which is also shown to catch one that
# is not.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake ninja-build g++-arm-linux-gnueabihf g++-arm-linux-gnueabi g++-aarch64-linux-gnu \
    qemu-user googletest binutils

fail() { echo "test-arm: $*" >&2; exit 1; }

# tag NAME FILE: the value of one of readelf's ARM attribute tags.
tag() { readelf -A "$2" | sed -n "s/^ *$1: //p"; }

# The project's objects, GoogleTest's left out, are ARMv6KZ with VFPv2.
check_objects() {
    local objects object
    objects=$(find "$1" -name '*.o' -not -path '*/googletest/*' -not -path '*/armv6-startup/*')
    [ -n "$objects" ] || fail "no object files in $1"
    for object in $objects; do
        [ "$(tag Tag_CPU_arch "$object")" = v6KZ ] && [ "$(tag Tag_FP_arch "$object")" = VFPv2 ] ||
            fail "$object is not built for ARMv6KZ with VFPv2: $(readelf -A "$object")"
        [ -z "$2" ] || [ "$(tag Tag_ABI_VFP_args "$object")" = "$2" ] ||
            fail "$object does not pass arguments in $2"
    done
    echo "test-arm: $1: $(wc -w <<<"$objects") object files are ARMv6KZ with VFPv2${2:+, arguments in $2}"
}

programs() { find "$1" -maxdepth 2 -type f -perm -u+x -not -name '*.so*' | sort; }

# The check names what an ARMv6 processor lacks: here a program built for ARMv7, and one whose
# own code is ARMv6 but which begins with Debian's armhf start-up code, its attributes taken off.
check_the_check() {
    local work=$1 file found
    mkdir -p "$work/hidden"
    echo 'int main(int argc, char **argv) { return argc * argv[0][0] / 7; }' >"$work/main.c"
    arm-linux-gnueabihf-gcc -O2 "$work/main.c" -o "$work/armv7"
    for file in Scrt1.o crti.o crtbeginS.o crtendS.o crtn.o; do
        arm-linux-gnueabihf-objcopy --remove-section=.ARM.attributes \
            "$(arm-linux-gnueabihf-gcc -print-file-name=$file)" "$work/hidden/$file"
    done
    arm-linux-gnueabihf-gcc -O2 -marm -march=armv6kz+fp -mfpu=vfp -B"$work/hidden/" "$work/main.c" -o "$work/hidden-armv7"
    for file in armv7:"tagged v7" hidden-armv7:"<_start>: "; do
        ! found=$(bash scripts/check-armv6.sh --hard-float "$work/${file%%:*}" 2>&1) && grep -qF "${file#*:}" <<<"$found" ||
            fail "check-armv6.sh did not name the ARMv7 in ${file%%:*}: $found"
    done
    echo "test-arm: check-armv6.sh names an ARMv7 program, and the ARMv7 instructions of _start in one tagged ARMv6"
}

# Every program of the 64-bit build is for AArch64.
check_aarch64_programs() {
    local program
    for program in $(programs "$1"); do
        readelf -h "$program" | grep -q 'Machine: *AArch64' || fail "$program is not an AArch64 program"
    done
    echo "test-arm: $1: $(programs "$1" | wc -l) programs are AArch64"
}

# configure_and_build FOLDER TOOLCHAIN: builds one configuration, warnings as errors.
configure_and_build() {
    cmake -S . -B "build/$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$2.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRANGEFINDER_BACKEND=sim -DRANGEFINDER_WERROR=ON >/dev/null
    cmake --build "build/$1"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check_the_check "$work"

configure_and_build arm armv6-hf
check_objects build/arm "VFP registers"
# shellcheck disable=SC2046 # one name a line, none with a space
bash scripts/check-armv6.sh --hard-float $(programs build/arm)
(cd build/arm && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/armv6-hf.cmake

configure_and_build armv6 armv6-check
check_objects build/armv6 ""
# shellcheck disable=SC2046
bash scripts/check-armv6.sh $(programs build/armv6)
(cd build/armv6 && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/armv6-check.cmake

configure_and_build aarch64 aarch64
check_aarch64_programs build/aarch64
(cd build/aarch64 && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/aarch64.cmake
