#include "mqtt/pace.h"

#include <cstdlib>

Pace startPace(std::int64_t nowMs) {
    Pace pace;
    pace.distanceAtMs = nowMs;
    return pace;
}

std::optional<int> paceReading(Pace& pace, PaceSettings settings, int reading, std::int64_t nowMs) {
    std::int64_t const heartbeatMs = std::int64_t{settings.heartbeatS} * 1000;
    if (reading != NO_READING) {
        pace.distance = reading;
        pace.distanceAtMs = nowMs;
    }
    // A -1 among distances is a busy moment, not a change: the object is still where it was.
    std::optional<int> const value = reading != NO_READING                      ? reading
                                     : nowMs - pace.distanceAtMs >= heartbeatMs ? NO_READING
                                                                                : pace.distance;
    if (!value || !pace.sent) {
        return value;
    }
    int const sent = *pace.sent;
    bool const moved = reading != NO_READING &&
                       (sent == NO_READING || std::abs(reading - sent) >= settings.deltaCm);
    bool const silenced = *value == NO_READING && sent != NO_READING;
    if (moved || silenced || nowMs - pace.sentAtMs >= heartbeatMs) {
        return value;
    }
    return std::nullopt;
}

void notePublished(Pace& pace, int value, std::int64_t nowMs) {
    pace.sent = value;
    pace.sentAtMs = nowMs;
}
