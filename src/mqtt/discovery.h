// What the publisher says to the broker: the topics of this Pi and the Home Assistant discovery
// config of its sensor.
#pragma once

#include <cstddef>

constexpr char const* ONLINE = "online";
constexpr char const* OFFLINE = "offline";
// Home Assistant says `online` here when it starts, and asks for discovery again.
constexpr char const* HOME_ASSISTANT_STATUS_TOPIC = "homeassistant/status";
// Seconds past a heartbeat without a message before Home Assistant shows the sensor
// unavailable: readings come every third of a second or so, and a message a heartbeat at least.
constexpr int EXPIRE_MARGIN_S = 5;
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

// The retained discovery config, for a publisher whose heartbeat is `heartbeatS`; false when it
// does not fit in `size` bytes.
bool formatDiscovery(char* out, std::size_t size, Topics const& topics, char const* host,
                     char const* machineId, char const* version, int heartbeatS);
