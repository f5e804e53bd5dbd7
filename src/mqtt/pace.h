// Which readings go to the broker. Home Assistant's database keeps a row for each change of a
// sensor's state, so a still object's wavering by a centimetre, a lone -1 and a module's false
// readings are kept back; a real change goes out with the reading that shows it, and the latest
// state at least once a heartbeat, so that Home Assistant knows the publisher is there.
#pragma once

#include <cstdint>
#include <optional>

#include "mqtt/median.h"
#include "mqtt/presence.h"
#include "ranging/ranging.h"

// Home Assistant subscribes to a new entity's state only once it has taken in its config, which
// goes out a moment before the first state: the states go out again this long after that.
constexpr std::int64_t AGAIN_AFTER_MS = 2000;
// The module is silent, and what it read before says nothing of what it reads after, once no
// distance has come for a heartbeat; or for this long where the heartbeat is shorter, six
// readings in a row, for a few -1s among distances are busy moments, not silence.
constexpr std::int64_t SILENCE_MIN_MS = 2000;

struct PaceSettings {
    int deltaCm;     // a distance this far from the last one published goes out at once
    int heartbeatS;  // and something goes out at least this often; 0: every reading
    int median;      // the distance is the median of this many readings
    std::optional<Edges> presence;
};

struct Pace {
    std::optional<int> sent;  // the distance last published, none since a (re)start
    std::int64_t sentAtMs = 0;
    std::optional<int> distance;  // the latest median, none while the window fills
    std::int64_t readAtMs = 0;    // when the last distance was read, or the readings began
    bool silent = false;          // the module was silent: the window started afresh
    MedianWindow window;
    Presence presence = Presence::UNKNOWN;
    std::optional<Presence> presenceSent;
    bool againWanted = false;  // all is to go out again, after the first that goes out
    std::optional<std::int64_t> againAtMs;
};

// What is to go out for one reading.
struct Outgoing {
    std::optional<int> distance;  // a distance or -1, with the level where there is one
    std::optional<Presence> presence;
};

// A pace for readings that begin at `nowMs`.
Pace startPace(std::int64_t nowMs);

// What to publish for `reading`, read at `nowMs`: the median distance; the latest in place of a
// -1 that comes less than a heartbeat after the last distance read; -1 once it comes later (so
// each -1 where the heartbeat is 0); a change of presence; or nothing. Times are in
// milliseconds of a clock that only goes forward.
Outgoing paceReading(Pace& pace, PaceSettings const& settings, int reading, std::int64_t nowMs);

// Notes that `out` was published at `nowMs`.
void notePublished(Pace& pace, Outgoing const& out, std::int64_t nowMs);

// The broker or Home Assistant is new, and may have none of it: all goes out with the next
// reading, and again once Home Assistant has had the time to subscribe.
void publishAgain(Pace& pace);
