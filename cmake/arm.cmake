# What the two 32-bit ARM toolchains share. Each sets before including this:
#   RANGEFINDER_CROSS_TRIPLET  the Debian cross compilers' prefix
#   RANGEFINDER_ARM_FLOAT_ABI  hard or softfp
#   RANGEFINDER_CROSS_CPU      the processor qemu-arm emulates to run what is built
# and RANGEFINDER_LINK_STATIC to link every program statically.
set(RANGEFINDER_CROSS_PROCESSOR arm)
set(RANGEFINDER_CROSS_EMULATOR qemu-arm)
# The Pi 1 and Zero's ARM1176: ARMv6KZ with VFPv2, whose byte-sized atomics are instructions of
# its own, so that none are linked from GCC's library, which is ARMv7.
set(arm_flags "-marm -march=armv6kz+fp -mfpu=vfp -mfloat-abi=${RANGEFINDER_ARM_FLOAT_ABI}")
set(CMAKE_C_FLAGS_INIT "${arm_flags}")
# -Wno-psabi: GCC notes that C++ argument passing changed in GCC 7.1, which concerns only code
# mixed with objects from older compilers.
set(CMAKE_CXX_FLAGS_INIT "${arm_flags} -Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
