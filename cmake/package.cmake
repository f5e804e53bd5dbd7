# Installs the manual page and the package's documents, and makes the Debian package of the
# wiringPi build with CPack (cpack -G DEB).
find_program(GZIP gzip)
# Compressed as Debian's tools compress, with no name or time stamp, so the output is the same
# from one build to the next.
function(rangefinder_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP} -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

# The manual page carries the version and date of the changelog's newest entry, as the package
# does; the entry's date is in `date -R`'s form, its day two digits.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog signed REGEX "^ -- " LIMIT_COUNT 1)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
if(NOT signed MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
  message(FATAL_ERROR "rangefinder: no date in the changelog's newest entry: '${signed}'")
endif()
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 101")
string(SUBSTRING ${month} 1 2 month)
set(RANGEFINDER_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
configure_file(${PROJECT_SOURCE_DIR}/docs/rangefinder.1.in ${CMAKE_BINARY_DIR}/rangefinder.1 @ONLY)
rangefinder_gzip(${CMAKE_BINARY_DIR}/rangefinder.1 ${CMAKE_BINARY_DIR}/rangefinder.1.gz)
rangefinder_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(rangefinder_documents ALL
  DEPENDS ${CMAKE_BINARY_DIR}/rangefinder.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

# The licence in the form Debian reads copyright files in.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REGEX REPLACE "^MIT License\n\n(Copyright [^\n]*)\n\n" "" terms "${licence}")
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n" "\n " terms "${terms}")
string(REPLACE "Copyright (c) " "" holder "${holder}")
file(WRITE ${CMAKE_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: rangefinder

Files: *
Copyright: ${holder}
License: Expat
 ${terms}
")

include(GNUInstallDirs)
install(FILES ${CMAKE_BINARY_DIR}/rangefinder.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The service names the program where it is installed, which for the package is known only
# when the package is made; systemd reads units under /usr/local as well as /usr.
install(CODE "
  set(RANGEFINDER_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/rangefinder.service.in
                 ${CMAKE_BINARY_DIR}/rangefinder.service @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/rangefinder.service DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangefinder.preset
  DESTINATION lib/systemd/system-preset RENAME 50-rangefinder.preset)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rangefinder)
set(CPACK_PACKAGE_CONTACT "rangefinder authors <rangefinder@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "distance readings from an ultrasonic ranging module on the GPIO")
set(CPACK_PACKAGE_DESCRIPTION
"rangefinder triggers an ultrasonic ranging module with trigger and echo pins,
the common 5 V kind, wired to a Raspberry Pi's GPIO header, times its echo and
prints the distance to the object in front of it in whole centimetres, one
line about every 300 milliseconds, until it is stopped. Each line is flushed
as it is written, for a person at a terminal or a script at the end of a pipe.

It reaches the pins and the clock through the wiringPi library.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(RANGEFINDER_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${RANGEFINDER_DEB_ARCHITECTURE})
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Worked out when the package is made, from what the built program needs.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package-depends.cmake)
set(CPACK_RANGEFINDER_BACKEND ${RANGEFINDER_BACKEND_USED})
set(CPACK_RANGEFINDER_PROGRAM ${CMAKE_BINARY_DIR}/rangefinder)
set(CPACK_RANGEFINDER_OBJDUMP ${CMAKE_OBJDUMP})
include(CPack)
