// A ranging module on the driver's trigger and echo pins, answering in real time.
#include <cstdint>

#include "hw/operations.h"
#include "hw/sim/clock.h"
#include "hw/sim/module.h"
#include "hw/sim/scene.h"
#include "ranging/ranging.h"

namespace {

constexpr std::uint64_t SHORTEST_TRIGGER_NS = 10000;
// The module sends its burst of sound before it raises the echo.
constexpr std::uint64_t ECHO_RISE_DELAY_NS = 450000;

bool triggerIsOutput = false;
bool echoIsInput = false;
int triggerLevel = LOW;
std::uint64_t triggerRoseNs = 0;
std::uint64_t echoRiseNs = 0;
std::uint64_t echoFallNs = 0;

void answerTrigger(std::uint64_t fellNs) {
    bool const busy = fellNs < echoFallNs;
    if (busy || fellNs - triggerRoseNs < SHORTEST_TRIGGER_NS) {
        return;
    }
    std::int64_t const width = echoWidthNs(fellNs);
    if (width < 0) {
        return;
    }
    // Counted from now rather than from the fall, so that however long working out the echo
    // took (a first call, under an emulator) is not taken out of the pulse.
    echoRiseNs = simNowNs() + ECHO_RISE_DELAY_NS;
    echoFallNs = echoRiseNs + static_cast<std::uint64_t>(width);
}

}  // namespace

void startSimModule() {
    // A new clock starts a new timeline: nothing of an echo timed on the old one is left.
    startSimClock();
    echoRiseNs = echoFallNs = triggerRoseNs = 0;
}

extern "C" void pinMode(int pin, int mode) {
    if (pin == TRIGGER_PIN) {
        triggerIsOutput = mode == OUTPUT;
    } else if (pin == ECHO_PIN) {
        echoIsInput = mode == INPUT;
    }
}

extern "C" void digitalWrite(int pin, int value) {
    int const level = value == LOW ? LOW : HIGH;
    if (pin != TRIGGER_PIN || !triggerIsOutput || level == triggerLevel) {
        return;
    }
    triggerLevel = level;
    if (level == HIGH) {
        triggerRoseNs = simNowNs();
    } else {
        answerTrigger(simNowNs());
    }
}

extern "C" int digitalRead(int pin) {
    if (pin != ECHO_PIN || !echoIsInput) {
        return LOW;
    }
    std::uint64_t const now = simNowNs();
    return now >= echoRiseNs && now < echoFallNs ? HIGH : LOW;
}
