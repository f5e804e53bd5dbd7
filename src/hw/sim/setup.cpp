// Opening the simulated GPIO: the scene is read, and the readings are said to be simulated.
#include <cstdio>
#include <cstdlib>

#include "hw/operations.h"
#include "hw/sim/module.h"
#include "hw/sim/scene.h"

namespace {

bool toldSimulated = false;

}  // namespace

extern "C" int wiringPiSetup(void) {
    if (!loadScene()) {
        std::exit(2);
    }
    // Said once, on standard error, so that no one takes these readings for a real module's and
    // standard output still carries readings alone.
    if (!toldSimulated) {
        std::fputs(
            "rangefinder: these readings are simulated: this build has no wiringPi; "
            "install wiringPi and build again to read the module\n",
            stderr);
        toldSimulated = true;
    }
    startSimModule();
    return 0;
}
