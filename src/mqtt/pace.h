// Which readings go to the broker. Home Assistant's database keeps a row for each change of the
// sensor's state, so a still object's wavering by a centimetre, and a lone -1, are kept back;
// a real change goes out with the reading that shows it, and the latest state at least once a
// heartbeat, so that Home Assistant knows the publisher is there.
#pragma once

#include <cstdint>
#include <optional>

#include "ranging/ranging.h"

struct PaceSettings {
    int deltaCm;     // a distance this far from the last one published goes out at once
    int heartbeatS;  // and something goes out at least this often; 0: every reading
};

struct Pace {
    std::optional<int> sent;  // the reading last published, none since a (re)start
    std::int64_t sentAtMs = 0;
    std::optional<int> distance;    // the latest distance read
    std::int64_t distanceAtMs = 0;  // when, or when the readings began
};

// A pace for readings that begin at `nowMs`.
Pace startPace(std::int64_t nowMs);

// What to publish for `reading`, read at `nowMs`: the distance; the latest distance in place of
// a -1 that lasts less than a heartbeat; -1 once no distance has come for a heartbeat; or
// nothing. Times are in milliseconds of a clock that only goes forward.
std::optional<int> paceReading(Pace& pace, PaceSettings settings, int reading, std::int64_t nowMs);

// Notes that `value` was published at `nowMs`.
void notePublished(Pace& pace, int value, std::int64_t nowMs);
