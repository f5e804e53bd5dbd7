#include "hw/gpio.h"
#include "ranging/ranging.h"

namespace {

// Reads the echo back to back while it reads `level`. False once ECHO_TIMEOUT_US have passed
// since `since`; the unsigned difference stays right across the clock's wrap.
bool waitWhileEcho(int level, std::uint32_t since) {
    while (digitalRead(ECHO_PIN) == level) {
        if (micros() - since > ECHO_TIMEOUT_US) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int32_t getCM() {
    digitalWrite(TRIGGER_PIN, HIGH);
    delayMicroseconds(TRIGGER_PULSE_US);
    digitalWrite(TRIGGER_PIN, LOW);

    if (!waitWhileEcho(LOW, micros())) {
        return NO_ECHO;
    }
    std::uint32_t const start = micros();
    if (!waitWhileEcho(HIGH, start)) {
        return NO_ECHO;
    }
    std::uint32_t const end = micros();

    // The wrapped difference is at most about ECHO_TIMEOUT_US, so it fits a signed 32-bit value.
    auto const elapsed = static_cast<std::int32_t>(end - start);
    return elapsed / US_PER_CM;
}
