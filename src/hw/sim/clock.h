// The simulator's time: real time from the monotonic clock, counted from wiringPiSetup.
#pragma once

#include <cstdint>

void startSimClock();
std::uint64_t simNowNs();
