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
    mapfile -t objects < <(find "$1" -name '*.o' -not -path '*/googletest/*' -not -path '*/armv6-startup/*')
    [ ${#objects[@]} -gt 0 ] || fail "no object files in $1"
    for object in "${objects[@]}"; do
        [ "$(tag Tag_CPU_arch "$object")" = v6KZ ] && [ "$(tag Tag_FP_arch "$object")" = VFPv2 ] ||
            fail "$object is not built for ARMv6KZ with VFPv2: $(readelf -A "$object")"
        [ -z "$2" ] || [ "$(tag Tag_ABI_VFP_args "$object")" = "$2" ] ||
            fail "$object does not pass arguments in $2"
    done
    echo "test-arm: $1: ${#objects[@]} object files are ARMv6KZ with VFPv2${2:+, arguments in $2}"
}

programs() { find "$1" -maxdepth 2 -type f -perm -u+x -not -name '*.so*' | sort; }

# The check names what an ARMv6 processor lacks, or what it cannot tell: here a program built for
# ARMv7; one whose own code is ARMv6 but which begins with Debian's armhf start-up code, its
# attributes taken off; one with ARMv6 start-up code (armel's, as the toolchain takes it) whose
# one function is Thumb, which the programs never are; and a package whose program, like the
# one built, has no build ID to match them by. In a folder whose name has a space, and so are
# check-armv6.sh's own.
check_the_check() {
    local work=$1 file found
    mkdir -p "$work/hidden" "$work/armel" "$work/package/usr/bin" "$work/built"
    echo 'int main(int argc, char **argv) { return argc * argv[0][0] / 7; }' >"$work/main.c"
    cat >"$work/thumb.c" <<'C'
__asm__(".syntax unified\n.thumb\n.thumb_func\n.global twice\ntwice:\n lsls r0, r0, #1\n bx lr\n.arm\n");
int twice(int);
int main(int argc, char **argv) { return twice(argc) + argv[0][0]; }
C
    arm-linux-gnueabihf-gcc -O2 "$work/main.c" -o "$work/armv7"
    for file in Scrt1.o crti.o crtbeginS.o crtendS.o crtn.o; do
        arm-linux-gnueabihf-objcopy --remove-section=.ARM.attributes \
            "$(arm-linux-gnueabihf-gcc -print-file-name=$file)" "$work/hidden/$file"
        arm-linux-gnueabihf-objcopy --remove-section=.ARM.attributes \
            "$(arm-linux-gnueabi-gcc -print-file-name=$file)" "$work/armel/$file"
    done
    local armv6=(arm-linux-gnueabihf-gcc -O2 -marm -march=armv6kz+fp -mfpu=vfp)
    "${armv6[@]}" -B"$work/hidden/" "$work/main.c" -o "$work/hidden-armv7"
    "${armv6[@]}" -B"$work/armel/" "$work/thumb.c" -o "$work/thumb"
    "${armv6[@]}" -B"$work/armel/" -Wl,--build-id=none "$work/main.c" -o "$work/built/rangefinder"
    bash scripts/check-armv6.sh --hard-float "$work/built/rangefinder" >/dev/null ||
        fail "check-armv6.sh refused an ARMv6 program built as the toolchain builds"
    cp "$work/built/rangefinder" "$work/package/usr/bin/"
    mkdir "$work/package/DEBIAN"
    printf 'Package: rangefinder\nVersion: 0\nArchitecture: armhf\nMaintainer: m <m@example.org>\nDescription: d\n' \
        >"$work/package/DEBIAN/control"
    dpkg-deb -b "$work/package" "$work/rangefinder.deb" >/dev/null
    for file in armv7:"tagged v7" hidden-armv7:"Thumb code at "*" in <_start>" thumb:"Thumb code at "*" in <twice>" \
        rangefinder.deb:"rangefinder of $work/rangefinder.deb has no build ID"; do
        local checked=(--hard-float "$work/${file%%:*}")
        [[ $file != *.deb:* ]] || checked=(--package "$work/${file%%:*}" "$work/built")
        ! found=$(TMPDIR=$work bash scripts/check-armv6.sh "${checked[@]}" 2>&1) && [[ $found == *${file#*:}* ]] ||
            fail "check-armv6.sh did not name what is wrong with ${file%%:*}: $found"
    done
    echo "test-arm: check-armv6.sh names an ARMv7 program, the Thumb code of _start in one tagged ARMv6," \
        "a Thumb function among ARMv6 start-up code, and a package without build IDs"
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

work=$(mktemp -d "${TMPDIR:-/tmp}/test arm.XXXXXX")
trap 'rm -rf "$work"' EXIT
check_the_check "$work"

# In a folder whose name has a space, as any may.
configure_and_build "arm hf" armv6-hf
check_objects "build/arm hf" "VFP registers"
mapfile -t built < <(programs "build/arm hf")
bash scripts/check-armv6.sh --hard-float "${built[@]}"
(cd "build/arm hf" && ctest --output-on-failure --no-tests=error --timeout 60)
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
