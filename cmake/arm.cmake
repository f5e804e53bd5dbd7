# What the two ARM toolchains share. Each sets before including this:
#   RANGEFINDER_ARM_TRIPLET    the Debian cross compilers' prefix
#   RANGEFINDER_ARM_FLOAT_ABI  hard or softfp
#   RANGEFINDER_ARM_CPU        the processor qemu-arm emulates to run what is built
# and RANGEFINDER_LINK_STATIC to link every program statically.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER ${RANGEFINDER_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${RANGEFINDER_ARM_TRIPLET}-g++)
# The Pi 1 and Zero's ARM1176: ARMv6 with VFPv2.
set(arm_flags "-marm -march=armv6+fp -mfpu=vfp -mfloat-abi=${RANGEFINDER_ARM_FLOAT_ABI}")
set(CMAKE_C_FLAGS_INIT "${arm_flags}")
# -Wno-psabi: GCC notes that C++ argument passing changed in GCC 7.1, which concerns only code
# mixed with objects from older compilers.
set(CMAKE_CXX_FLAGS_INIT "${arm_flags} -Wno-psabi")
if(RANGEFINDER_LINK_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()

set(RANGEFINDER_ARM_SYSROOT /usr/${RANGEFINDER_ARM_TRIPLET})
# Prefixes given with -DCMAKE_PREFIX_PATH (a wiringPi copied from the Pi, say) count as target
# files too.
set(CMAKE_FIND_ROOT_PATH ${RANGEFINDER_ARM_SYSROOT} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Cached, so that scripts can read it back from a build folder instead of spelling it again.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu ${RANGEFINDER_ARM_CPU} -L ${RANGEFINDER_ARM_SYSROOT}
    CACHE STRING "How the target's programs run here")
