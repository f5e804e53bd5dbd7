// The ranging module driver: pins, timing and the conversion to centimetres.
#pragma once

#include <cstdint>

// Pins in wiringPi's own numbering.
constexpr int TRIGGER_PIN = 0;
constexpr int ECHO_PIN = 2;

constexpr unsigned TRIGGER_PULSE_US = 20;
constexpr unsigned SETTLE_MS = 30;
constexpr std::int32_t US_PER_CM = 58;

// Well past the longest echo a module gives (about 38 ms when nothing is in range), so only
// a missing, miswired or stuck module runs into it.
constexpr std::uint32_t ECHO_TIMEOUT_US = 100000;
// How late after its edge a timestamp may be taken for the reading to stand: half a centimetre
// of echo, less the microsecond that the clock's truncation can add. Within it an echo in the
// middle of a centimetre still reads as that centimetre; a process held off the processor for
// longer across an edge gives no reading.
constexpr std::uint32_t STAMP_SLACK_US = US_PER_CM / 2 - 1;
constexpr std::int32_t NO_READING = -1;

// Opens the GPIO and prepares both pins. False when the GPIO could not be opened; errno says
// why, and no other GPIO operation has been made.
bool setup();

// One trigger/echo exchange, in whole centimetres, or NO_READING when the echo did not begin or
// did not end within ECHO_TIMEOUT_US, or when either edge's timestamp may be more than
// STAMP_SLACK_US late. The trigger is low when it returns.
std::int32_t getCM();
