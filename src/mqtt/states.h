// What goes out on each entity's state topic: the distance as rangefinder prints it, the level
// in whole percent, the presence as Home Assistant's ON and OFF; -1 or unknown for none.
#pragma once

#include <cstddef>
#include <optional>

#include "mqtt/discovery.h"
#include "mqtt/level.h"
#include "mqtt/pace.h"

constexpr std::size_t STATE_MAX = 16;

struct StateTexts {
    char text[ENTITY_COUNT][STATE_MAX];  // empty where nothing goes out
};

// The texts of `out`; the level where there is a `tank`.
StateTexts formatStates(Outgoing const& out, std::optional<Tank> tank);
