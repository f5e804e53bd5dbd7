#include "mqtt/pace.h"

#include <algorithm>
#include <cstdlib>

Pace startPace(std::int64_t nowMs) {
    Pace pace;
    pace.readAtMs = nowMs;
    return pace;
}

namespace {

// The distance that stands at this reading, or -1, or none yet; true in `fresh` for a new
// median.
std::optional<int> standing(Pace& pace, PaceSettings const& settings, int reading,
                            std::int64_t nowMs, bool& fresh) {
    std::int64_t const heartbeatMs = std::int64_t{settings.heartbeatS} * 1000;
    fresh = false;
    if (reading != NO_READING) {
        pace.readAtMs = nowMs;
        pace.silent = false;
        if (auto const median = addDistance(pace.window, settings.median, reading)) {
            pace.distance = median;
            fresh = true;
        }
        return pace.distance;
    }
    std::int64_t const quietMs = nowMs - pace.readAtMs;
    if (quietMs >= std::max(heartbeatMs, SILENCE_MIN_MS) && !pace.silent) {
        pace.silent = true;
        pace.window = MedianWindow{};
        pace.distance.reset();
    }
    // A -1 among distances is a busy moment, not a change: the object is still where it was.
    return quietMs < heartbeatMs ? pace.distance : NO_READING;
}

}  // namespace

Outgoing paceReading(Pace& pace, PaceSettings const& settings, int reading, std::int64_t nowMs) {
    bool fresh = false;
    std::optional<int> const value = standing(pace, settings, reading, nowMs, fresh);
    if (!value) {
        return {};
    }
    if (settings.presence) {
        pace.presence = *value == NO_READING
                            ? Presence::UNKNOWN
                            : nextPresence(pace.presence, *settings.presence, *value);
    }
    std::int64_t const heartbeatMs = std::int64_t{settings.heartbeatS} * 1000;
    bool const all = !pace.sent || (pace.againAtMs && nowMs >= *pace.againAtMs) ||
                     nowMs - pace.sentAtMs >= heartbeatMs ||
                     (fresh && (*pace.sent == NO_READING ||
                                std::abs(*value - *pace.sent) >= settings.deltaCm)) ||
                     (*value == NO_READING && *pace.sent != NO_READING);
    Outgoing out;
    if (all) {
        out.distance = value;
    }
    if (settings.presence && (all || (pace.presenceSent && pace.presence != *pace.presenceSent))) {
        out.presence = pace.presence;
    }
    return out;
}

void notePublished(Pace& pace, Outgoing const& out, std::int64_t nowMs) {
    if (out.distance) {
        pace.sent = out.distance;
        pace.sentAtMs = nowMs;
        if (pace.againWanted) {
            pace.againWanted = false;
            pace.againAtMs = nowMs + AGAIN_AFTER_MS;
        } else if (pace.againAtMs && nowMs >= *pace.againAtMs) {
            pace.againAtMs.reset();
        }
    }
    if (out.presence) {
        pace.presenceSent = out.presence;
    }
}

void publishAgain(Pace& pace) {
    pace.sent.reset();
    pace.presenceSent.reset();
    pace.againWanted = true;
    pace.againAtMs.reset();
}
