# Checks the program's ARMv6 code on the Pi 1 and Zero's own processor (qemu-arm's ARM1176).
#
# Debian has no ARMv6 hard-float C library, but its armel one is built for ARMv5TE, which the
# ARM1176 runs. So this builds the same ARMv6 and VFP code with the soft-float calling
# convention (softfp still computes on the VFP unit), links it statically so that every
# instruction of a program is ARMv6 or older, and runs it where an ARMv7 instruction stops it.
# Only the calling convention differs from the hard-float build; what this builds is for the
# check, not for copying to a Pi.
set(RANGEFINDER_CROSS_TRIPLET arm-linux-gnueabi)
set(RANGEFINDER_ARM_FLOAT_ABI softfp)
set(RANGEFINDER_CROSS_CPU arm1176)
set(RANGEFINDER_LINK_STATIC ON)
include(${CMAKE_CURRENT_LIST_DIR}/arm.cmake)
