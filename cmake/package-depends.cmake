# Read by cpack when it makes the package: refuses the simulator build, and gives the package
# the Debian dependencies of the libraries the built program needs.
if(NOT CPACK_RANGEFINDER_BACKEND STREQUAL "wiringpi")
  message(FATAL_ERROR "rangefinder: this is a simulator build, for trying the program; only "
    "the wiringPi build is packaged (-DRANGEFINDER_BACKEND=wiringpi)")
endif()

execute_process(COMMAND ${CPACK_RANGEFINDER_OBJDUMP} -p -T ${CPACK_RANGEFINDER_PROGRAM}
  OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "rangefinder: cannot read ${CPACK_RANGEFINDER_PROGRAM}: ${failed}")
endif()
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
  else()
    message(FATAL_ERROR "rangefinder: no Debian package known for ${library}")
  endif()
endforeach()
list(REMOVE_DUPLICATES depends)
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
