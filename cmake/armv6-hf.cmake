# Cross-builds for the Raspberry Pi's ARMv6 with VFP and its hard-float calling convention,
# with Debian's arm-linux-gnueabihf compilers: the build to copy to a Pi, any Pi with a 32-bit
# system, the Pi 1 and Zero included, and the build of the release's armhf package.
#
# Its programs are ARMv6 throughout (cmake/armv6-startup.cmake); they run here on the emulated
# Pi 2's Cortex-A7 against Debian's armhf libraries, which are ARMv7, and
# cmake/armv6-check.cmake runs the same code on the Pi 1's own processor.
set(RANGEFINDER_CROSS_TRIPLET arm-linux-gnueabihf)
set(RANGEFINDER_ARM_FLOAT_ABI hard)
set(RANGEFINDER_CROSS_CPU cortex-a7)
set(RANGEFINDER_DEB_ARCHITECTURE armhf)
# What the build needs besides the cross compilers: Debian's armel start-up files.
set(RANGEFINDER_CROSS_PACKAGES "gcc-arm-linux-gnueabi libc6-dev-armel-cross")
include(${CMAKE_CURRENT_LIST_DIR}/armv6-startup.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/arm.cmake)
