#include "mqtt/discovery.h"

#include <cstdio>
#include <cstring>

namespace {

// `text` as the inside of a JSON string, where it fits in `size` bytes.
bool escapeJson(char* out, std::size_t size, char const* text) {
    std::size_t used = 0;
    for (char const* c = text; *c != '\0'; ++c) {
        unsigned char const byte = static_cast<unsigned char>(*c);
        int const wrote = byte == '"' || byte == '\\'
                              ? std::snprintf(out + used, size - used, "\\%c", *c)
                          : byte < 0x20 ? std::snprintf(out + used, size - used, "\\u%04x", byte)
                                        : std::snprintf(out + used, size - used, "%c", *c);
        if (wrote < 0 || used + static_cast<std::size_t>(wrote) >= size) {
            return false;
        }
        used += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool fits(int wrote, std::size_t size) {
    return wrote >= 0 && static_cast<std::size_t>(wrote) < size;
}

}  // namespace

bool formatTopics(Topics& topics, char const* host, char const* machineId) {
    if (*host == '\0' || std::strpbrk(host, "+#/") != nullptr) {
        return false;
    }
    return fits(std::snprintf(topics.distance, TOPIC_MAX, "rangefinder/%s/distance", host),
                TOPIC_MAX) &&
           fits(std::snprintf(topics.availability, TOPIC_MAX, "rangefinder/%s/availability", host),
                TOPIC_MAX) &&
           fits(std::snprintf(topics.discovery, TOPIC_MAX,
                              "homeassistant/sensor/rangefinder_%s/config", machineId),
                TOPIC_MAX);
}

bool formatDiscovery(char* out, std::size_t size, Topics const& topics, char const* host,
                     char const* machineId, char const* version, int heartbeatS) {
    char jsonHost[TOPIC_MAX];
    char jsonId[TOPIC_MAX];
    char jsonState[2 * TOPIC_MAX];
    char jsonAvailability[2 * TOPIC_MAX];
    char jsonVersion[64];
    if (!escapeJson(jsonHost, sizeof jsonHost, host) ||
        !escapeJson(jsonId, sizeof jsonId, machineId) ||
        !escapeJson(jsonState, sizeof jsonState, topics.distance) ||
        !escapeJson(jsonAvailability, sizeof jsonAvailability, topics.availability) ||
        !escapeJson(jsonVersion, sizeof jsonVersion, version)) {
        return false;
    }
    // A -1 renders None, which Home Assistant shows as unknown, not unavailable.
    return fits(
        std::snprintf(
            out, size,
            "{\"name\": \"Distance\", \"unique_id\": \"rangefinder_%s\", "
            "\"default_entity_id\": \"sensor.rangefinder_%s\", \"state_topic\": \"%s\", "
            "\"availability_topic\": \"%s\", \"unit_of_measurement\": \"cm\", "
            "\"device_class\": \"distance\", \"state_class\": \"measurement\", "
            "\"expire_after\": %d, "
            "\"value_template\": \"{{ value if value | int(-1) >= 0 else None }}\", "
            "\"device\": {\"identifiers\": [\"rangefinder_%s\"], \"name\": \"rangefinder on %s\", "
            "\"sw_version\": \"%s\"}, "
            "\"origin\": {\"name\": \"rangefinder\", \"sw_version\": \"%s\"}}",
            jsonId, jsonHost, jsonState, jsonAvailability, heartbeatS + EXPIRE_MARGIN_S, jsonId,
            jsonHost, jsonVersion, jsonVersion),
        size);
}
