# Chooses what provides the seven GPIO and clock operations:
#   rangefinder_gpio_headers  what the driver compiles against
#   rangefinder_gpio          what the program links against
string(TOLOWER "${RANGEFINDER_BACKEND}" backend)
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
  src/hw/sim/scene.cpp)
target_include_directories(rangefinder_sim PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(rangefinder_sim PRIVATE -Wall -Wextra -Werror)

add_library(rangefinder_gpio INTERFACE)
if(backend STREQUAL "wiringpi")
  target_compile_definitions(rangefinder_gpio_headers INTERFACE RANGEFINDER_WIRINGPI)
  target_include_directories(rangefinder_gpio_headers INTERFACE ${WIRINGPI_INCLUDE_DIR})
  target_link_libraries(rangefinder_gpio INTERFACE ${WIRINGPI_LIBRARY})
else()
  target_link_libraries(rangefinder_gpio INTERFACE rangefinder_sim)
endif()
