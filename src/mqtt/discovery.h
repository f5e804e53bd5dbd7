// What the publisher says to the broker: the topics of this Pi and the Home Assistant discovery
// config of its sensor.
#pragma once

#include <cstddef>

constexpr char const* ONLINE = "online";
constexpr char const* OFFLINE = "offline";
// Home Assistant says `online` here when it starts, and asks for discovery again.
constexpr char const* HOME_ASSISTANT_STATUS_TOPIC = "homeassistant/status";
// Seconds without a reading before Home Assistant shows the sensor unavailable.
constexpr int EXPIRE_AFTER_S = 5;
constexpr std::size_t TOPIC_MAX = 320;
constexpr std::size_t DISCOVERY_MAX = 2048;

struct Topics {
    char distance[TOPIC_MAX];
    char availability[TOPIC_MAX];
    char discovery[TOPIC_MAX];
};

// The topics of a Pi of short host name `host` and machine ID `machineId`; false when they do
// not fit, or when the host name holds what a topic may not (`+`, `#`, `/`).
bool formatTopics(Topics& topics, char const* host, char const* machineId);

// The retained discovery config; false when it does not fit in `size` bytes.
bool formatDiscovery(char* out, std::size_t size, Topics const& topics, char const* host,
                     char const* machineId, char const* version);
