#include <cerrno>
#include <cstdlib>

#include "hw/gpio.h"
#include "ranging/ranging.h"

bool setup() {
    // wiringPi ends the process itself when it cannot open the GPIO, unless this variable asks
    // it for a status code instead; the program wants to say what to check.
    setenv("WIRINGPI_CODES", "1", 0);
    // Cleared, so that a failure that gives no reason does not show a stale one.
    errno = 0;
    if (wiringPiSetup() == -1) {
        return false;
    }
    pinMode(TRIGGER_PIN, OUTPUT);
    pinMode(ECHO_PIN, INPUT);
    digitalWrite(TRIGGER_PIN, LOW);
    delay(SETTLE_MS);
    return true;
}
