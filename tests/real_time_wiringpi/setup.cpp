// Opening the GPIO as wiringPi does on a Pi: the GPIO device is opened once and kept open,
// and a failed open is its failure. Behind it the simulator's module answers in real time, an
// object drifting in front of it.
#include <fcntl.h>

#include <cerrno>

#include "hw/operations.h"
#include "hw/sim/module.h"
#include "wiringpi_failure.h"

extern "C" int wiringPiSetup(void) {
    if (open("/dev/gpiomem", O_RDWR | O_SYNC | O_CLOEXEC) == -1) {
        return failWiringPiSetup(errno);
    }
    startSimModule();
    return 0;
}
