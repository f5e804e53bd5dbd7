#include "hw/gpio.h"
#include "ranging/ranging.h"

namespace {

// What one wait saw. An edge came after `lastOld`, the clock reading taken just before the last
// read that still saw the old level; `changedAt` is the clock reading of the pass that saw the
// new one.
struct Wait {
    bool changed;
    std::uint32_t lastOld;
    std::uint32_t changedAt;
};

// Reads the echo back to back while it reads `level`, each read just after a clock reading, so
// that the clock bounds when the edge came. Gives up once ECHO_TIMEOUT_US have passed since
// `since`; the unsigned differences stay right across the clock's wrap.
Wait waitWhileEcho(int level, std::uint32_t since, std::uint32_t lastOld) {
    for (;;) {
        std::uint32_t const now = micros();
        if (digitalRead(ECHO_PIN) != level) {
            return {true, lastOld, now};
        }
        if (now - since > ECHO_TIMEOUT_US) {
            return {false, lastOld, now};
        }
        lastOld = now;
    }
}

// A timestamp is vouched for when it can be no later than STAMP_SLACK_US after its edge.
bool stampIsLate(std::uint32_t stamp, std::uint32_t edgeCameAfter) {
    return stamp - edgeCameAfter > STAMP_SLACK_US;
}

}  // namespace

std::int32_t getCM() {
    digitalWrite(TRIGGER_PIN, HIGH);
    delayMicroseconds(TRIGGER_PULSE_US);
    digitalWrite(TRIGGER_PIN, LOW);

    // An echo already high at the first read is timed from that read, which came after this.
    std::uint32_t const fell = micros();
    Wait const rise = waitWhileEcho(LOW, fell, fell);
    if (!rise.changed) {
        return NO_READING;
    }
    std::uint32_t const start = micros();
    Wait const fall = waitWhileEcho(HIGH, start, rise.changedAt);
    if (!fall.changed) {
        return NO_READING;
    }
    std::uint32_t const end = micros();

    // Held off the processor across an edge, or between a wait's last check and its end, the
    // program no longer knows the echo's width: better no reading than a wrong one.
    std::uint32_t const elapsed = end - start;
    if (stampIsLate(start, rise.lastOld) || stampIsLate(end, fall.lastOld) ||
        elapsed > ECHO_TIMEOUT_US) {
        return NO_READING;
    }
    return static_cast<std::int32_t>(elapsed) / US_PER_CM;
}
