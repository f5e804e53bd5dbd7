#include "mqtt/discovery.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "mqtt/json.h"

namespace {

struct Kind {
    char const* component;
    char const* name;
    char const* topic;   // the last part of its state topic
    char const* suffix;  // of its unique and entity IDs, after rangefinder_<machine or host>
    char const* unit;    // each of these three, where it has one
    char const* deviceClass;
    char const* stateClass;
    char const* valueTemplate;
};

// A -1 renders None, which Home Assistant shows as unknown, not unavailable.
constexpr char const* NUMBER_OR_UNKNOWN = "{{ value if value | int(-1) >= 0 else None }}";

constexpr Kind KINDS[ENTITY_COUNT] = {
    {"sensor", "Distance", "distance", "", "cm", "distance", "measurement", NUMBER_OR_UNKNOWN},
    {"binary_sensor", "Presence", "presence", "_presence", nullptr, "occupancy", nullptr,
     "{{ value if value in ('ON', 'OFF') else None }}"},
    {"sensor", "Level", "level", "_level", "%", nullptr, "measurement", NUMBER_OR_UNKNOWN},
};

bool fits(int wrote, std::size_t size) {
    return wrote >= 0 && static_cast<std::size_t>(wrote) < size;
}

}  // namespace

bool formatTopics(Topics& topics, char const* host, char const* machineId) {
    if (*host == '\0' || std::strpbrk(host, "+#/") != nullptr) {
        return false;
    }
    bool fit =
        fits(std::snprintf(topics.availability, TOPIC_MAX, "rangefinder/%s/availability", host),
             TOPIC_MAX);
    for (int entity = 0; entity < ENTITY_COUNT; ++entity) {
        Kind const& kind = KINDS[entity];
        fit = fit &&
              fits(std::snprintf(topics.state[entity], TOPIC_MAX, "rangefinder/%s/%s", host,
                                 kind.topic),
                   TOPIC_MAX) &&
              fits(std::snprintf(topics.discovery[entity], TOPIC_MAX,
                                 "homeassistant/%s/rangefinder_%s%s/config", kind.component,
                                 machineId, kind.suffix),
                   TOPIC_MAX);
    }
    return fit;
}

bool formatDiscovery(char* out, std::size_t size, Entity entity, Topics const& topics,
                     char const* host, char const* machineId, char const* version, int heartbeatS) {
    Kind const& kind = KINDS[entity];
    char device[TOPIC_MAX];
    char uniqueId[TOPIC_MAX];
    char entityId[2 * TOPIC_MAX];
    char deviceName[TOPIC_MAX];
    if (!fits(std::snprintf(device, sizeof device, "rangefinder_%s", machineId), sizeof device) ||
        !fits(std::snprintf(uniqueId, sizeof uniqueId, "%s%s", device, kind.suffix),
              sizeof uniqueId) ||
        !fits(std::snprintf(entityId, sizeof entityId, "%s.rangefinder_%s%s", kind.component, host,
                            kind.suffix),
              sizeof entityId) ||
        !fits(std::snprintf(deviceName, sizeof deviceName, "rangefinder on %s", host),
              sizeof deviceName)) {
        return false;
    }
    Json json{out, size};
    openObject(json);
    addText(json, "name", kind.name);
    addText(json, "unique_id", uniqueId);
    addText(json, "default_entity_id", entityId);
    addText(json, "state_topic", topics.state[entity]);
    addText(json, "availability_topic", topics.availability);
    for (auto const& [key, text] :
         {std::pair{"unit_of_measurement", kind.unit}, std::pair{"device_class", kind.deviceClass},
          std::pair{"state_class", kind.stateClass}}) {
        if (text != nullptr) {
            addText(json, key, text);
        }
    }
    addNumber(json, "expire_after", heartbeatS + EXPIRE_MARGIN_S);
    addText(json, "value_template", kind.valueTemplate);
    openObject(json, "device");
    addTextList(json, "identifiers", device);
    addText(json, "name", deviceName);
    addText(json, "sw_version", version);
    closeObject(json);
    openObject(json, "origin");
    addText(json, "name", "rangefinder");
    addText(json, "sw_version", version);
    closeObject(json);
    closeObject(json);
    return json.fits;
}
