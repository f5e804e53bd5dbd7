#include "hw/sim/clock.h"

#include <cerrno>
#include <ctime>

#include "hw/operations.h"

namespace {

// Like wiringPi, sleep for longer waits and spin for short ones, where waking up late would
// swamp the wait itself.
constexpr unsigned SPIN_BELOW_US = 100;

std::uint64_t originNs = 0;

std::uint64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

void sleepUntil(std::uint64_t deadlineNs) {
    timespec const until{static_cast<time_t>(deadlineNs / 1000000000u),
                         static_cast<long>(deadlineNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace

void startSimClock() {
    originNs = monotonicNs();
}

std::uint64_t simNowNs() {
    return monotonicNs() - originNs;
}

extern "C" unsigned int micros(void) {
    // Truncation to 32 bits is the library's own wrap, every 2^32 microseconds.
    return static_cast<unsigned int>(simNowNs() / 1000u);
}

extern "C" void delay(unsigned int ms) {
    sleepUntil(monotonicNs() + static_cast<std::uint64_t>(ms) * 1000000u);
}

extern "C" void delayMicroseconds(unsigned int us) {
    std::uint64_t const deadline = monotonicNs() + static_cast<std::uint64_t>(us) * 1000u;
    if (us >= SPIN_BELOW_US) {
        sleepUntil(deadline);
        return;
    }
    while (monotonicNs() < deadline) {
    }
}
