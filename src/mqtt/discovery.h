// What the publisher says to the broker: the topics of this Pi and the Home Assistant discovery
// configs of its entities.
#pragma once

#include <cstddef>
#include <string>

constexpr char const* ONLINE = "online";
constexpr char const* OFFLINE = "offline";
// Home Assistant says `online` here when it starts, and asks for discovery again.
constexpr char const* HOME_ASSISTANT_STATUS_TOPIC = "homeassistant/status";
// Seconds past a heartbeat without a message before Home Assistant shows an entity
// unavailable: readings come every third of a second or so, and a message a heartbeat at least.
constexpr int EXPIRE_MARGIN_S = 5;
constexpr std::size_t TOPIC_MAX = 320;
constexpr std::size_t MACHINE_ID_DIGITS = 32;

// The entities of one Pi's device: the distance always, the others where the file asks.
enum Entity { DISTANCE, PRESENCE, LEVEL, ENTITY_COUNT };

struct Topics {
    char host[TOPIC_MAX];  // the host name that names them, up to its first dot
    char machineId[MACHINE_ID_DIGITS + 1];
    char state[ENTITY_COUNT][TOPIC_MAX];
    char availability[TOPIC_MAX];
    char discovery[ENTITY_COUNT][TOPIC_MAX];
};

// The topics of a Pi of host name `host` (a fully qualified one is cut at its first dot, as
// systemd's %l is) and machine ID `machineId`; or why they cannot be made, naming no value.
char const* formatTopics(Topics& topics, char const* host, char const* machineId);

// The retained discovery config of `entity`, for a publisher whose heartbeat is `heartbeatS`.
std::string formatDiscovery(Entity entity, Topics const& topics, char const* version,
                            int heartbeatS);
