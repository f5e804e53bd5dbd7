// How wiringPi fails to open the GPIO, shared by the stand-ins for it.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// It ends the process with a message of its own, unless the caller set WIRINGPI_CODES; then it
// returns -1 with errno as the failed open left it (untouched for 0, a failure with no reason).
inline int failWiringPiSetup(int error) {
    if (std::getenv("WIRINGPI_CODES") == nullptr) {
        std::fprintf(stderr, "wiringPiSetup: Unable to open /dev/gpiomem: %s\n",
                     std::strerror(error));
        std::exit(EXIT_FAILURE);
    }
    if (error != 0) {
        errno = error;
    }
    return -1;
}
