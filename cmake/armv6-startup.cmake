# Included by the hard-float toolchain: links every program with start-up files that an ARMv6
# processor runs. Debian's armhf C library and GCC put ARMv7 Thumb-2 start-up code into every
# program, about a hundred instructions, and the C library's few functions that are linked in,
# not loaded (atexit, say); all else a program calls is loaded at run time from the Pi's own
# system, which is ARMv6 on 32-bit Raspberry Pi OS. Debian's armel port has the same files as
# ARMv5TE ARM code, with no floating point: they are taken from its packages when the build is
# configured, stripped of the build attributes for which the hard-float linker would refuse
# them, and put in a folder where GCC looks for start-up files before its own (-B), with the C
# library's linked ahead of armhf's.
set(startup ${CMAKE_BINARY_DIR}/armv6-startup)
file(MAKE_DIRECTORY ${startup})
foreach(object Scrt1.o crti.o crtbeginS.o crtendS.o crtn.o libc_nonshared.a)
  execute_process(COMMAND arm-linux-gnueabi-gcc -print-file-name=${object}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR NOT IS_ABSOLUTE "${path}")
    message(FATAL_ERROR "rangefinder: Debian's armel start-up file ${object} was not found: "
      "install gcc-arm-linux-gnueabi and libc6-dev-armel-cross")
  endif()
  execute_process(COMMAND ${RANGEFINDER_CROSS_TRIPLET}-objcopy --remove-section=.ARM.attributes
    ${path} ${startup}/${object} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "rangefinder: cannot copy ${path}: ${failed}")
  endif()
endforeach()
# Quoted for the shell that runs the link, for a build folder's name may hold a space.
set(CMAKE_EXE_LINKER_FLAGS_INIT "'-B${startup}/'")
set(CMAKE_C_STANDARD_LIBRARIES_INIT "'${startup}/libc_nonshared.a'")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "'${startup}/libc_nonshared.a'")
