// One session with the broker, kept up in a thread of its own: it carries the last will and the
// readings, says online and sends the discovery config each time it connects, and connects
// again, ever more slowly, whenever the broker goes away or refuses it.
#pragma once

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "mqtt/config.h"
#include "mqtt/discovery.h"
#include "mqtt/states.h"

// Waits between tries to connect, in seconds: from the first, doubling to the last.
constexpr int FIRST_RETRY_S = 1;
// Also the pace after a refused login or certificate, which only the owner can mend.
constexpr int LAST_RETRY_S = 30;

using Discovery = std::string[ENTITY_COUNT];

struct Session {
    MqttConfig const* config = nullptr;
    Topics const* topics = nullptr;
    // Each entity's config; empty for one the file does not ask for, which that takes away.
    Discovery const* discovery = nullptr;
    mosquitto* client = nullptr;
    std::atomic<bool> connected{false};
    // Set at each connection, and when Home Assistant starts: the next reading is to go out,
    // whatever the last one published was, for the broker or Home Assistant may not have it.
    std::atomic<bool> readingWanted{false};

    // Between the publisher and the thread that keeps the session.
    std::mutex lock;
    std::condition_variable changed;
    bool stopping = false;
    int offlineMessage = -1;  // its message ID, while its delivery is awaited
    bool offlineDelivered = false;
    bool disconnected = false;
    // Clearing the sensor's retained messages instead of publishing.
    bool removing = false;
    int removalsDelivered = 0;

    // The thread's own: what this try has met, and what the log has said.
    bool connectedThisTry = false;
    bool refusedThisTry = false;
    bool outageSaid = false;
    char tlsError[256] = "";
    char refusalSaid[256] = "";
};

// Sets up the client and starts keeping the session; false, having said why, when the client
// cannot be made.
bool startSession(Session& session, MqttConfig const& config, Topics const& topics,
                  Discovery const& discovery);

// Publishes each state that has a text; false when they are dropped, for want of a connection:
// an old distance is no use.
bool publishStates(Session& session, StateTexts const& states);

// Says offline, where the broker can still hear it, and leaves; the last will covers the rest.
void endSession(Session& session);

// The wait before the next try to connect, the last having been `lastWaitS` (0 before the
// first), when this try connected (to lose the connection later) or was refused, or neither.
int nextRetryWaitS(int lastWaitS, bool connected, bool refused);

// Takes every entity the publisher may have announced out of Home Assistant: replaces their
// retained configs and availability with nothing, as Home Assistant's discovery asks. False, having
// said why, when the broker could not be reached and told within `wait`.
bool removeSensor(Session& session, MqttConfig const& config, Topics const& topics,
                  std::chrono::seconds wait);
