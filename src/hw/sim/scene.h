// What stands in front of the simulated module.
#pragma once

#include <cstdint>

// The variable that pins the simulated distance, read by the simulator alone (and the tests'
// real-time stand-in for wiringPi, which has its module).
constexpr char const* SIM_DISTANCE_VARIABLE = "RANGEFINDER_SIM_CM";

// Reads SIM_DISTANCE_VARIABLE; false, after saying why on standard error, when it is unusable.
bool loadScene();

// How long the module holds its echo high for a trigger at `atNs`; negative when there is no
// module to answer.
std::int64_t echoWidthNs(std::uint64_t atNs);
