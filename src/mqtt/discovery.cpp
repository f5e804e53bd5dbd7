#include "mqtt/discovery.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <utility>

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

char const* formatTopics(Topics& topics, char const* host, char const* machineId) {
    std::size_t const length = std::strcspn(host, ".");
    if (length == 0) {
        return "the host name is empty";
    }
    if (length >= sizeof topics.host) {
        return "the host name is too long for an MQTT topic";
    }
    std::memcpy(topics.host, host, length);
    topics.host[length] = '\0';
    if (std::strpbrk(topics.host, "+#/") != nullptr) {
        return "the host name holds +, # or /, which an MQTT topic may not";
    }
    if (std::strlen(machineId) != MACHINE_ID_DIGITS ||
        std::strspn(machineId, "0123456789abcdef") != MACHINE_ID_DIGITS) {
        return "the machine ID is not 32 hexadecimal digits";
    }
    std::memcpy(topics.machineId, machineId, sizeof topics.machineId);
    bool fit = fits(
        std::snprintf(topics.availability, TOPIC_MAX, "rangefinder/%s/availability", topics.host),
        TOPIC_MAX);
    for (int entity = 0; entity < ENTITY_COUNT; ++entity) {
        Kind const& kind = KINDS[entity];
        fit = fit &&
              fits(std::snprintf(topics.state[entity], TOPIC_MAX, "rangefinder/%s/%s", topics.host,
                                 kind.topic),
                   TOPIC_MAX) &&
              fits(std::snprintf(topics.discovery[entity], TOPIC_MAX,
                                 "homeassistant/%s/rangefinder_%s%s/config", kind.component,
                                 machineId, kind.suffix),
                   TOPIC_MAX);
    }
    return fit ? nullptr : "the host name is too long for an MQTT topic";
}

std::string formatDiscovery(Entity entity, Topics const& topics, char const* version,
                            int heartbeatS) {
    Kind const& kind = KINDS[entity];
    std::string const device = std::string("rangefinder_") + topics.machineId;
    nlohmann::ordered_json config = {
        {"name", kind.name},
        {"unique_id", device + kind.suffix},
        {"default_entity_id",
         std::string(kind.component) + ".rangefinder_" + topics.host + kind.suffix},
        {"state_topic", topics.state[entity]},
        {"availability_topic", topics.availability},
    };
    for (auto const& [key, text] :
         {std::pair{"unit_of_measurement", kind.unit}, std::pair{"device_class", kind.deviceClass},
          std::pair{"state_class", kind.stateClass}}) {
        if (text != nullptr) {
            config[key] = text;
        }
    }
    config["expire_after"] = heartbeatS + EXPIRE_MARGIN_S;
    config["value_template"] = kind.valueTemplate;
    config["device"] = {{"identifiers", {device}},
                        {"name", std::string("rangefinder on ") + topics.host},
                        {"sw_version", version}};
    config["origin"] = {{"name", "rangefinder"}, {"sw_version", version}};
    // A host name is bytes, not always UTF-8: what is not is replaced, not thrown over.
    return config.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
