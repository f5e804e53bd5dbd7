// A scripted ranging module and clock in virtual time, providing the seven GPIO operations:
// nothing sleeps, and every exchange is repeatable to the microsecond.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logged_call.h"

namespace vw {

// What the echo line does after one trigger falls: its level at the fall, then each change,
// in microseconds after the fall.
struct Echo {
    int levelAtFall = 0;
    std::vector<std::pair<std::uint32_t, int>> changes;
};

Echo pulse(std::uint32_t afterUs, std::uint32_t widthUs);
Echo stuck(int level);
// Answers a trigger when nothing is queued, so that a program linked to the double reads 21.
Echo const DEFAULT_ECHO = pulse(300, 1234);

struct Stopped {};

// Back to power-on: time 0, the clock reading 0, nothing queued or logged, reads 1 µs apart,
// and no WIRINGPI_CODES in the environment, as a user's would not have it.
void reset();
void queue(Echo echo);
// What micros() reads from now on (and so where it wraps).
void setClock(std::uint32_t micros);
// How far one read moves time on, unless an edge of the echo comes sooner.
void setReadStepUs(std::uint32_t us);
// wiringPiSetup will fail with this errno, or with errno untouched for 0; like wiringPi, it then
// ends the process unless WIRINGPI_CODES is set.
void failSetup(int error);
// Holds the program off the processor once: the first operation called at or after virtual time
// `atUs` does nothing for `forUs`, then runs. The echo goes on meanwhile, unseen.
void holdOnce(std::uint64_t atUs, std::uint64_t forUs);
// When the hold began and ended, if it was taken; one not taken yet is called off.
std::optional<std::pair<std::uint64_t, std::uint64_t>> endHold();
// The nth call of delay throws Stopped, after running the hook.
void stopAfterDelays(unsigned n);
void onDelay(std::function<void()> hook);

// GPIO operations made so far; reads and the clock are left out.
std::vector<std::string> const& calls();
int triggerLevel();
std::uint64_t nowUs();

}  // namespace vw
