# Cross-builds for 64-bit Raspberry Pi OS (a Pi 3, 4, 5 or Zero 2 running its 64-bit system),
# with Debian's aarch64-linux-gnu compilers. Debian's arm64 C library is built for ARMv8.0, so
# what this builds runs on the oldest of them: the emulated processor is the Pi 3 and Zero 2's
# Cortex-A53.
set(RANGEFINDER_CROSS_TRIPLET aarch64-linux-gnu)
set(RANGEFINDER_CROSS_PROCESSOR aarch64)
set(RANGEFINDER_CROSS_EMULATOR qemu-aarch64)
set(RANGEFINDER_CROSS_CPU cortex-a53)
set(RANGEFINDER_DEB_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
