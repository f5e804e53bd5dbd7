# Cross-builds for the Raspberry Pi's ARMv6 with VFP and its hard-float calling convention,
# with Debian's arm-linux-gnueabihf compilers: the build to copy to a Pi.
#
# Debian's C library and start-up files for this target are built for ARMv7 (Thumb-2), and the
# start-up files are linked into every program, so what this builds runs on a Pi 2 or newer:
# the emulated processor is the Pi 2's Cortex-A7. cmake/armv6-check.cmake runs the same code on
# the Pi 1's own processor.
set(RANGEFINDER_CROSS_TRIPLET arm-linux-gnueabihf)
set(RANGEFINDER_ARM_FLOAT_ABI hard)
set(RANGEFINDER_CROSS_CPU cortex-a7)
set(RANGEFINDER_DEB_ARCHITECTURE armhf)
include(${CMAKE_CURRENT_LIST_DIR}/arm.cmake)
