# What every cross toolchain here shares. Each sets before including this:
#   RANGEFINDER_CROSS_TRIPLET    the Debian cross compilers' prefix
#   RANGEFINDER_CROSS_PROCESSOR  the target's processor family, as CMake names it
#   RANGEFINDER_CROSS_EMULATOR   the qemu user-mode emulator that runs the target's programs here
#   RANGEFINDER_CROSS_CPU        the processor it emulates
# and may set RANGEFINDER_LINK_STATIC to link every program statically, and
# RANGEFINDER_DEB_ARCHITECTURE to name the package's architecture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${RANGEFINDER_CROSS_PROCESSOR})

set(CMAKE_C_COMPILER ${RANGEFINDER_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${RANGEFINDER_CROSS_TRIPLET}-g++)
if(RANGEFINDER_LINK_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
endif()

set(RANGEFINDER_CROSS_SYSROOT /usr/${RANGEFINDER_CROSS_TRIPLET})
# Prefixes given with -DCMAKE_PREFIX_PATH (a wiringPi copied from the Pi, say) count as target
# files too.
set(CMAKE_FIND_ROOT_PATH ${RANGEFINDER_CROSS_SYSROOT} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Cached, so that scripts can read it back from a build folder instead of spelling it again.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${RANGEFINDER_CROSS_EMULATOR} -cpu ${RANGEFINDER_CROSS_CPU} -L ${RANGEFINDER_CROSS_SYSROOT}
    CACHE STRING "How the target's programs run here")
