#!/usr/bin/env bash
# Cross-builds rangefinder and all its tests three times and runs them under QEMU:
#   hard-float  the build for the Pi (ARMv6 with VFP, hard-float), on an emulated Cortex-A7,
#               since Debian's start-up files and C library for it are ARMv7
#   ARMv6 check the same ARMv6 code linked statically with Debian's ARMv5TE armel library, on
#               an emulated ARM1176, the Pi 1 and Zero's processor, which stops at any ARMv7
#               instruction
#   64-bit      the build for 64-bit Raspberry Pi OS, on an emulated Cortex-A53, the oldest
#               64-bit Pi processor
# and checks what the objects and programs say they need.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
need_packages cmake ninja-build g++-arm-linux-gnueabihf g++-arm-linux-gnueabi g++-aarch64-linux-gnu \
    qemu-user googletest binutils

fail() { echo "test-arm: $*" >&2; exit 1; }

# tag NAME FILE: the value of one of readelf's ARM attribute tags.
tag() { readelf -A "$2" | sed -n "s/^ *$1: //p"; }

# The project's objects, GoogleTest's left out, are ARMv6 with VFPv2.
check_objects() {
    local objects object
    objects=$(find "$1" -name '*.o' -not -path '*/googletest/*')
    [ -n "$objects" ] || fail "no object files in $1"
    for object in $objects; do
        [ "$(tag Tag_CPU_arch "$object")" = v6 ] && [ "$(tag Tag_FP_arch "$object")" = VFPv2 ] ||
            fail "$object is not built for ARMv6 with VFPv2: $(readelf -A "$object")"
        [ -z "$2" ] || [ "$(tag Tag_ABI_VFP_args "$object")" = "$2" ] ||
            fail "$object does not pass arguments in $2"
    done
    echo "test-arm: $1: $(wc -w <<<"$objects") object files are ARMv6 with VFPv2${2:+, arguments in $2}"
}

programs() { find "$1" -maxdepth 2 -type f -perm -u+x -not -name '*.so*' | sort; }

# Instructions that an ARM1176 does not have: ARMv7's, Thumb-2's wide ones, NEON's, and VFPv3's
# immediate moves. (The C library's set-up of a jump saves VFPv3's upper registers, but only on
# a processor that has them, so those are left to the tags and the emulator.)
armv7_instructions() {
    arm-linux-gnueabi-objdump -d --no-show-raw-insn "$1" | awk -F'\t' '
        { op = $2; args = $3 }
        (op ~ /^(movw|movt|ubfx|sbfx|bfi|bfc|rbit|mls|sdiv|udiv|dmb|dsb|isb)(eq|ne|cs|cc|mi|pl|vs|vc|hi|ls|ge|lt|gt|le)?$/ ||
         op ~ /\.w$/ || op ~ /^v(ld[1-4]|st[1-4]|dup|ext|zip|uzp|trn|tbl)/ ||
         (op ~ /^vmov/ && args ~ /#/)) && ++found <= 5'
}

# Every program of the ARMv6 check, C library and start-up code included, is ARMv6 or older.
check_armv6_programs() {
    local program arch thumb found
    for program in $(programs "$1"); do
        arch=$(tag Tag_CPU_arch "$program")
        thumb=$(tag Tag_THUMB_ISA_use "$program")
        [[ $arch =~ ^v(4|4T|5T|5TE|5TEJ|6|6KZ|6K)$ ]] || fail "$program is tagged $arch, not ARMv6 or older"
        [ "$thumb" != Thumb-2 ] || fail "$program carries Thumb-2 code"
        found=$(armv7_instructions "$program")
        [ -z "$found" ] || fail "$program has instructions an ARMv6 processor lacks:"$'\n'"$found"
    done
    echo "test-arm: $1: $(programs "$1" | wc -l) programs are ARMv6 or older throughout, with no Thumb-2"
}

# The hard-float programs take the tags of Debian's armhf start-up files, and the C library
# version they link against: say which.
report_hard_float_programs() {
    local program startup file path glibc
    program=$(programs "$1" | head -n 1)
    for file in Scrt1.o crti.o crtbeginS.o crtendS.o crtn.o; do
        path=$(arm-linux-gnueabihf-gcc -print-file-name=$file)
        startup+=" $file ($(tag Tag_CPU_arch "$path"), $(tag Tag_THUMB_ISA_use "$path"))"
    done
    glibc=$(arm-linux-gnueabihf-objdump -T "$program" | grep -o 'GLIBC_[0-9.]*' | sort -V | tail -n 1)
    echo "test-arm: $1: programs are tagged $(tag Tag_CPU_arch "$program"), $(tag Tag_THUMB_ISA_use "$program"):" \
        "the start-up files linked into each are$startup, and they need $glibc:" \
        "a Pi 2 or newer, with a C library that new"
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

configure_and_build arm armv6-hf
check_objects build/arm "VFP registers"
report_hard_float_programs build/arm
(cd build/arm && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/armv6-hf.cmake

configure_and_build armv6 armv6-check
check_objects build/armv6 ""
check_armv6_programs build/armv6
(cd build/armv6 && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/armv6-check.cmake

configure_and_build aarch64 aarch64
check_aarch64_programs build/aarch64
(cd build/aarch64 && ctest --output-on-failure --no-tests=error --timeout 60)
bash scripts/check-wiringpi-build.sh cmake/aarch64.cmake
