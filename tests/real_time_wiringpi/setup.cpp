// Opening the GPIO as wiringPi does on a Pi: the GPIO device is opened once and kept open,
// and a failed open is its failure. Behind it the simulator's module answers in real time, an
// object drifting in front of it unless RANGEFINDER_SIM_CM places it.
#include <fcntl.h>

#include <cerrno>
#include <cstdlib>

#include "hw/operations.h"
#include "hw/sim/module.h"
#include "hw/sim/scene.h"
#include "wiringpi_failure.h"

extern "C" int wiringPiSetup(void) {
    if (open("/dev/gpiomem", O_RDWR | O_SYNC | O_CLOEXEC) == -1) {
        return failWiringPiSetup(errno);
    }
    // The object may be placed, as in the simulator, for a check that wants it still.
    if (!loadScene()) {
        std::exit(2);
    }
    startSimModule();
    return 0;
}
