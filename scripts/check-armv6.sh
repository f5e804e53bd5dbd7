#!/usr/bin/env bash
# check-armv6.sh [--hard-float] PROGRAM...: fails, naming the program and the instruction, unless
# every instruction of each PROGRAM, linked and not yet stripped, is one the ARM1176 of the Pi 1
# and Zero runs (ARM or Thumb-1, ARMv6KZ at most, VFPv2), as its build attributes say too; with
# --hard-float, unless each also passes its arguments in VFP registers and asks for the armhf
# loader, as a program for 32-bit Raspberry Pi OS must.
# check-armv6.sh --package DEB [BUILD]: checks so each program of the armhf package DEB, as built
# in the folder BUILD before it was stripped: the packaged one must have the build ID of the one
# checked, and the attributes and loader of its own. Without BUILD, only those of its own.
set -euo pipefail
. "$(dirname "$0")/need-packages.sh"
need_packages binutils-arm-linux-gnueabihf
fail() { echo "check-armv6: $*" >&2; exit 1; }

# tag NAME FILE: the value of one of readelf's ARM attribute tags.
tag() { readelf -A "$2" | sed -n "s/^ *$1: //p"; }
build_id() { readelf -n "$1" | sed -n 's/^ *Build ID: //p'; }

# Instructions that an ARM1176 does not have: ARMv7's, NEON's, and VFPv3's immediate moves; and any
# Thumb code at all, for the programs are built as ARM code, so Thumb in one came from elsewhere
# (the start-up code of Debian's armhf, say), and Thumb-2 is not always told by its mnemonic.
# (The C library's set-up of a jump saves VFPv3's upper registers, but only on a processor that
# has them, so those are left to the tags.) Without a program's symbols objdump
# cannot tell ARM code from Thumb, or either from data, so only a program not yet stripped is read.
armv7_instructions() {
    arm-linux-gnueabihf-objdump -d --no-show-raw-insn "$1" | awk -F'\t' '
        /^[0-9a-f]+ <.*>:$/ { function_name = $0; sub(/^[0-9a-f]+ /, "", function_name); next }
        { op = $2; args = $3 }
        (op ~ /^(movw|movt|ubfx|sbfx|bfi|bfc|rbit|mls|sdiv|udiv|dmb|dsb|isb)(eq|ne|cs|cc|mi|pl|vs|vc|hi|ls|ge|lt|gt|le)?$/ ||
         op ~ /\.w$/ || op ~ /^v(ld[1-4]|st[1-4]|dup|ext|zip|uzp|trn|tbl)/ ||
         (op ~ /^vmov/ && args ~ /#/)) && ++found <= 5 { gsub(/ /, "", $1); print "    " function_name " " $1 " " op " " args }'
}

# thumb_code PROGRAM: where its Thumb code begins, by the mapping symbols ($t) the linker keeps,
# each with the function it lies in.
thumb_code() {
    # By address, and at one address the function before the mapping symbol.
    arm-linux-gnueabihf-nm --special-syms "$1" | awk 'NF == 3' | sort -k1,1 -k3,3r | awk '
        $2 ~ /^[tTwW]$/ && $3 !~ /^\$/ { function_name = $3 }
        $3 ~ /^\$t(\.|$)/ && ++found <= 5 { print "    Thumb code at " $1 " in <" function_name ">" }'
}

# attributes PROGRAM: the checks that hold for a program stripped or not.
attributes() {
    local arch thumb fp
    arch=$(tag Tag_CPU_arch "$1")
    thumb=$(tag Tag_THUMB_ISA_use "$1")
    fp=$(tag Tag_FP_arch "$1")
    [[ $arch =~ ^v(4|4T|5T|5TE|5TEJ|6|6K|6KZ)$ ]] || fail "$1 is tagged $arch, not ARMv6 or older"
    [ "$thumb" != Thumb-2 ] || fail "$1 carries Thumb-2 code"
    [[ $fp =~ ^(|VFPv1|VFPv2)$ ]] || fail "$1 is tagged $fp, not VFPv2 or older"
    [ -z "$hard_float" ] || {
        [ "$(tag Tag_ABI_VFP_args "$1")" = "VFP registers" ] || fail "$1 does not pass arguments in VFP registers"
        readelf -l "$1" | grep -qF '[Requesting program interpreter: /lib/ld-linux-armhf.so.3]' ||
            fail "$1 does not ask for the armhf loader, /lib/ld-linux-armhf.so.3"
    }
}

check_program() {
    local found
    attributes "$1"
    readelf -S "$1" | grep -q ' \.symtab ' || fail "$1 is stripped: give the program as linked"
    found=$(thumb_code "$1")
    [ -z "$found" ] || fail "$1 carries Thumb code, which no part of it is built as:"$'\n'"$found"
    found=$(armv7_instructions "$1")
    [ -z "$found" ] || fail "$1 has instructions an ARMv6 processor lacks:"$'\n'"$found"
}

hard_float=
case ${1:-} in
--hard-float) hard_float=1; shift ;;
--package)
    [ $# -eq 2 ] || [ $# -eq 3 ] || fail "usage: check-armv6.sh --package DEB [BUILD]"
    hard_float=1
    unpacked=$(mktemp -d)
    trap 'rm -rf "$unpacked"' EXIT
    dpkg-deb -x "$2" "$unpacked"
    mapfile -t programs < <(find "$unpacked" -type f -perm -u+x -path '*/bin/*' | sort)
    [ ${#programs[@]} -gt 0 ] || fail "$2 holds no programs"
    for packaged in "${programs[@]}"; do
        attributes "$packaged"
        [ $# -eq 3 ] || continue
        built=$3/$(basename "$packaged")
        id=$(build_id "$packaged")
        # Two programs without one would match.
        [ -n "$id" ] || fail "$(basename "$packaged") of $2 has no build ID, to match it to the one built"
        [ -f "$built" ] && [ "$id" = "$(build_id "$built")" ] ||
            fail "$(basename "$packaged") of $2 is not the one built in $3"
        check_program "$built"
    done
    if [ $# -eq 3 ]; then
        echo "check-armv6: the ${#programs[@]} programs of $(basename "$2") are ARMv6 throughout, hard-float, for the armhf loader"
    else
        echo "check-armv6: the ${#programs[@]} programs of $(basename "$2") are tagged ARMv6, hard-float, for the armhf loader"
    fi
    exit 0
    ;;
esac
[ $# -gt 0 ] || fail "usage: check-armv6.sh [--hard-float] PROGRAM..."
for program in "$@"; do
    check_program "$program"
done
echo "check-armv6: $# programs are ARMv6 throughout${hard_float:+, hard-float, for the armhf loader}"
