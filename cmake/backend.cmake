# Chooses what provides the seven GPIO and clock operations:
#   rangefinder_gpio_headers  what the driver compiles against
#   rangefinder_gpio          what the program links against
string(TOLOWER "${RANGEFINDER_BACKEND}" backend)
# Where the board names itself; a Raspberry Pi's device tree says "Raspberry Pi ...".
set(RANGEFINDER_BOARD_MODEL_FILE /proc/device-tree/model CACHE FILEPATH
  "The file naming the board, to tell a Raspberry Pi by")
if(NOT backend MATCHES "^(auto|wiringpi|sim)$")
  message(FATAL_ERROR "RANGEFINDER_BACKEND must be auto, wiringpi or sim, not '${RANGEFINDER_BACKEND}'")
endif()

if(NOT backend STREQUAL "sim")
  find_path(WIRINGPI_INCLUDE_DIR wiringPi.h)
  find_library(WIRINGPI_LIBRARY wiringPi)
  if(WIRINGPI_INCLUDE_DIR AND WIRINGPI_LIBRARY)
    set(backend wiringpi)
  elseif(backend STREQUAL "wiringpi")
    message(FATAL_ERROR
      "RANGEFINDER_BACKEND=wiringpi, but wiringPi was not found "
      "(wiringPi.h: ${WIRINGPI_INCLUDE_DIR}; libwiringPi.so: ${WIRINGPI_LIBRARY}). "
      "Install wiringPi, or point -DCMAKE_PREFIX_PATH at its prefix.")
  else()
    # On a Pi the simulator would print a drifting object while a real module sits wired up.
    set(pi_model "")
    if(EXISTS "${RANGEFINDER_BOARD_MODEL_FILE}")
      file(STRINGS "${RANGEFINDER_BOARD_MODEL_FILE}" pi_model REGEX "Raspberry Pi" LIMIT_COUNT 1)
    endif()
    if(pi_model)
      message(FATAL_ERROR
        "rangefinder: this is a ${pi_model}, but wiringPi was not found, so the program could "
        "only simulate its readings. Install wiringPi (the release package of the maintained "
        "wiringPi project, then check with 'gpio -v') and configure again; or, to try the "
        "simulator here all the same, configure with -DRANGEFINDER_BACKEND=sim.")
    endif()
    set(backend sim)
  endif()
endif()
set(RANGEFINDER_BACKEND_USED ${backend})
message(STATUS "rangefinder: GPIO backend: ${backend}")

add_library(rangefinder_gpio_headers INTERFACE)
target_include_directories(rangefinder_gpio_headers INTERFACE ${PROJECT_SOURCE_DIR}/src)

# The simulator is built with either backend: the benchmark measures through it.
add_library(rangefinder_sim STATIC
  src/hw/sim/clock.cpp
  src/hw/sim/module.cpp
  src/hw/sim/scene.cpp
  src/hw/sim/setup.cpp)
target_include_directories(rangefinder_sim PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(rangefinder_sim PRIVATE ${RANGEFINDER_WARNINGS})

add_library(rangefinder_gpio INTERFACE)
if(backend STREQUAL "wiringpi")
  target_compile_definitions(rangefinder_gpio_headers INTERFACE RANGEFINDER_WIRINGPI)
  target_include_directories(rangefinder_gpio_headers INTERFACE ${WIRINGPI_INCLUDE_DIR})
  target_link_libraries(rangefinder_gpio INTERFACE ${WIRINGPI_LIBRARY})
else()
  target_link_libraries(rangefinder_gpio INTERFACE rangefinder_sim)
endif()
