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
# Each program's page, and the unit that runs it.
set(programs rangefinder)
if(RANGEFINDER_MQTT_BUILT)
  list(APPEND programs rangefinder-mqtt)
endif()
set(pages "")
foreach(program IN LISTS programs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${program}.1.in ${CMAKE_BINARY_DIR}/${program}.1 @ONLY)
  rangefinder_gzip(${CMAKE_BINARY_DIR}/${program}.1 ${CMAKE_BINARY_DIR}/${program}.1.gz)
  list(APPEND pages ${CMAKE_BINARY_DIR}/${program}.1.gz)
endforeach()
rangefinder_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(rangefinder_documents ALL DEPENDS ${pages} ${CMAKE_BINARY_DIR}/changelog.gz)

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
install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# A service names its program where it is installed, which for the package is known only when
# the package is made; systemd reads units under /usr/local as well as /usr.
foreach(program IN LISTS programs)
  install(CODE "
    set(RANGEFINDER_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(${PROJECT_SOURCE_DIR}/packaging/${program}.service.in
                   ${CMAKE_BINARY_DIR}/${program}.service @ONLY)")
  install(FILES ${CMAKE_BINARY_DIR}/${program}.service DESTINATION lib/systemd/system)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/rangefinder.preset
  DESTINATION lib/systemd/system-preset RENAME 50-rangefinder.preset)
# The publisher's file, root's alone for the password it will hold. The package makes it a
# conffile, which upgrades keep; a CMake install over an earlier one leaves the owner's file be.
if(RANGEFINDER_MQTT_BUILT)
  set(config_folder /etc/rangefinder)
  install(CODE "
    if(EXISTS \"\$ENV{DESTDIR}${config_folder}/mqtt.conf\")
      message(STATUS \"Keeping: \$ENV{DESTDIR}${config_folder}/mqtt.conf\")
    else()
      file(INSTALL ${PROJECT_SOURCE_DIR}/packaging/mqtt.conf DESTINATION ${config_folder}
           PERMISSIONS OWNER_READ OWNER_WRITE)
    endif()")
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/conffiles)
  # Its mode is meant: the file holds a password.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME rangefinder)
endif()

# A release's package follows its apt repository: the source that its postinst writes, and the
# key that signs the repository, alone in a keyring of its own. Only a package sets these.
set(RANGEFINDER_APT_REPOSITORY "" CACHE STRING "the URL of the apt repository the package follows")
set(RANGEFINDER_APT_KEYRING "" CACHE FILEPATH "the keyring of the key that signs it")
set(RANGEFINDER_APT_KEYRING_NAME rangefinder-archive-keyring.gpg)
set(RANGEFINDER_APT_SOURCE /etc/apt/sources.list.d/rangefinder.sources)
set(RANGEFINDER_APT_TEMPLATE /usr/share/rangefinder/rangefinder.sources)
if(RANGEFINDER_APT_REPOSITORY OR RANGEFINDER_APT_KEYRING)
  if(NOT (RANGEFINDER_APT_REPOSITORY AND EXISTS "${RANGEFINDER_APT_KEYRING}"))
    message(FATAL_ERROR "rangefinder: RANGEFINDER_APT_REPOSITORY and RANGEFINDER_APT_KEYRING come "
      "together, the keyring a file: '${RANGEFINDER_APT_REPOSITORY}', '${RANGEFINDER_APT_KEYRING}'")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/rangefinder.sources.in
    ${CMAKE_BINARY_DIR}/rangefinder.sources @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/rangefinder.sources DESTINATION ${CMAKE_INSTALL_DATADIR}/rangefinder)
  install(FILES ${RANGEFINDER_APT_KEYRING} DESTINATION ${CMAKE_INSTALL_DATADIR}/keyrings
    RENAME ${RANGEFINDER_APT_KEYRING_NAME})
endif()

# The maintainer scripts, which keep the services in step with the programs as the package comes,
# changes and goes.
list(TRANSFORM programs APPEND .service OUTPUT_VARIABLE units)
list(JOIN units " " RANGEFINDER_UNITS)
foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${script}.in ${CMAKE_BINARY_DIR}/maintainer/${script}
    @ONLY)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/maintainer/${script})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

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

It reaches the pins and the clock through the wiringPi library.

rangefinder-mqtt runs it and publishes each reading to an MQTT broker, with a
login and TLS where the broker wants them, and announces the sensor to Home
Assistant through its MQTT discovery.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(RANGEFINDER_DEB_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${RANGEFINDER_DEB_ARCHITECTURE})
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Worked out when the package is made, from what the built program needs.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package-time.cmake)
set(CPACK_RANGEFINDER_BACKEND ${RANGEFINDER_BACKEND_USED})
list(TRANSFORM programs PREPEND ${CMAKE_BINARY_DIR}/ OUTPUT_VARIABLE CPACK_RANGEFINDER_PROGRAMS)
set(CPACK_RANGEFINDER_MQTT_BUILT ${RANGEFINDER_MQTT_BUILT})
set(CPACK_RANGEFINDER_OBJDUMP ${CMAKE_OBJDUMP})
set(CPACK_RANGEFINDER_READELF ${CMAKE_READELF})
set(CPACK_RANGEFINDER_PREINST ${PROJECT_SOURCE_DIR}/packaging/preinst)
include(CPack)
