# Cross-builds for the Raspberry Pi 1 and Zero processor (ARM1176: ARMv6 with VFPv2,
# hard-float calling convention) with Debian's arm-linux-gnueabihf compilers, and runs what it
# builds under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_C_FLAGS_INIT "-marm -march=armv6+fp -mfpu=vfp -mfloat-abi=hard")
# -Wno-psabi: GCC notes that C++ argument passing changed in GCC 7.1, which concerns only code
# mixed with objects from older compilers.
set(CMAKE_CXX_FLAGS_INIT "-marm -march=armv6+fp -mfpu=vfp -mfloat-abi=hard -Wno-psabi")

set(RANGEFINDER_ARM_SYSROOT /usr/arm-linux-gnueabihf)
# Prefixes given with -DCMAKE_PREFIX_PATH (a wiringPi copied from the Pi, say) count as target
# files too.
set(CMAKE_FIND_ROOT_PATH ${RANGEFINDER_ARM_SYSROOT} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's C library for this target is built for ARMv7, so the emulated processor is the
# Pi 2's Cortex-A7: an ARMv6 one would stop at the library's first ARMv7 instruction.
# Cached, so that scripts can read it back from a build folder instead of spelling it again.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu cortex-a7 -L ${RANGEFINDER_ARM_SYSROOT}
    CACHE STRING "How the target's programs run here")
