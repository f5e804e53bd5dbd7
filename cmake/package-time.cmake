# Read by cpack when it makes the package: refuses the simulator build, gives the package the
# Debian dependencies of the libraries the built programs need, and, where those programs need
# an ARMv7 processor, the check that refuses to install them on an ARMv6 one.
if(NOT CPACK_RANGEFINDER_BACKEND STREQUAL "wiringpi")
  message(FATAL_ERROR "rangefinder: this is a simulator build, for trying the program; only "
    "the wiringPi build is packaged (-DRANGEFINDER_BACKEND=wiringpi)")
endif()

set(dump "")
foreach(program IN LISTS CPACK_RANGEFINDER_PROGRAMS)
  execute_process(COMMAND ${CPACK_RANGEFINDER_OBJDUMP} -p -T ${program}
    OUTPUT_VARIABLE program_dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "rangefinder: cannot read ${program}: ${failed}")
  endif()
  string(APPEND dump "${program_dump}")
endforeach()
string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${dump}")
string(REGEX MATCHALL "GLIBC_[0-9.]+" glibc "${dump}")
list(TRANSFORM glibc REPLACE "GLIBC_" "")
list(SORT glibc COMPARE NATURAL ORDER DESCENDING)
list(GET glibc 0 newest_glibc)

set(depends "")
foreach(line IN LISTS needed)
  string(REGEX REPLACE "NEEDED +" "" library "${line}")
  # The dynamic loader is NEEDED where a stack canary's guard comes from it (armhf, arm64).
  if(library MATCHES "^(lib(c|m)\\.so\\.6|ld-linux.*\\.so\\.[0-9]+)$")
    list(APPEND depends "libc6 (>= ${newest_glibc})")
  elseif(library STREQUAL "libgcc_s.so.1")
    list(APPEND depends libgcc-s1)
  elseif(library STREQUAL "libstdc++.so.6")
    list(APPEND depends libstdc++6)
  elseif(library STREQUAL "libwiringPi.so")
    list(APPEND depends wiringpi)
  elseif(library STREQUAL "libmosquitto.so.1")
    list(APPEND depends libmosquitto1)
  else()
    message(FATAL_ERROR "rangefinder: no Debian package known for ${library}")
  endif()
endforeach()
list(REMOVE_DUPLICATES depends)
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

# A 32-bit ARM program is tagged with the newest architecture any of its parts was built for;
# Debian's armhf start-up files make that ARMv7, whatever the program's own code is.
list(GET CPACK_RANGEFINDER_PROGRAMS 0 program)
execute_process(COMMAND ${CPACK_RANGEFINDER_READELF} -A ${program} OUTPUT_VARIABLE attributes)
if(attributes MATCHES "Tag_CPU_arch: v([0-9]+)" AND CMAKE_MATCH_1 GREATER_EQUAL 7)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CPACK_RANGEFINDER_PREINST})
endif()
