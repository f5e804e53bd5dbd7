#include "mqtt/states.h"

#include <cstdio>

#include "ranging/ranging.h"

StateTexts formatStates(Outgoing const& out, std::optional<Tank> tank) {
    StateTexts states{};
    if (out.distance) {
        int const distance = *out.distance;
        std::snprintf(states.text[DISTANCE], STATE_MAX, "%d", distance);
        if (tank) {
            std::snprintf(states.text[LEVEL], STATE_MAX, "%d",
                          distance == NO_READING ? NO_READING : levelPercent(*tank, distance));
        }
    }
    if (out.presence) {
        char const* const texts[] = {"unknown", "OFF", "ON"};
        std::snprintf(states.text[PRESENCE], STATE_MAX, "%s",
                      texts[static_cast<int>(*out.presence)]);
    }
    return states;
}
