// One session with the broker, kept up in a thread of its own: it carries the last will and the
// readings, says online and sends the discovery config each time it connects, and connects
// again, ever more slowly, whenever the broker goes away or refuses it.
#pragma once

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "mqtt/config.h"
#include "mqtt/discovery.h"

struct Session {
    MqttConfig const* config = nullptr;
    Topics const* topics = nullptr;
    char const* discovery = nullptr;
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
                  char const* discovery);

// Publishes one reading; false when it is dropped, for want of a connection: an old distance is
// no use.
bool publishReading(Session& session, int reading);

// Says offline, where the broker can still hear it, and leaves; the last will covers the rest.
void endSession(Session& session);

// Takes the sensor out of Home Assistant: replaces its retained config and availability with
// nothing, as Home Assistant's discovery asks. False, having said why, when the broker could
// not be reached and told within `wait`.
bool removeSensor(Session& session, MqttConfig const& config, Topics const& topics,
                  std::chrono::seconds wait);
