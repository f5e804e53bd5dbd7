#include "mqtt/session.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <thread>

namespace {

using std::chrono::seconds;

constexpr int KEEPALIVE_S = 30;
constexpr int LOOP_WAIT_MS = 1000;
// How long a clean stop waits for the broker to take its offline.
constexpr seconds GOODBYE_WAIT{3};

int publishText(mosquitto* client, char const* topic, char const* text, int quality, bool retain,
                int* message = nullptr) {
    return mosquitto_publish(client, message, topic, static_cast<int>(std::strlen(text)), text,
                             quality, retain);
}

// Each config, and with `clearing` an empty one for each entity the file no longer asks for.
void sendDiscovery(mosquitto* client, Session const& session, bool clearing) {
    for (int entity = 0; entity < ENTITY_COUNT; ++entity) {
        std::string const& config = (*session.discovery)[entity];
        if (clearing || !config.empty()) {
            publishText(client, session.topics->discovery[entity], config.c_str(), 1, true);
        }
    }
}

void say(Session const& session, char const* what, char const* why = nullptr) {
    std::fprintf(stderr, "rangefinder-mqtt: %s %s:%d%s%s\n", what, session.config->broker,
                 session.config->port, why != nullptr ? ": " : "", why != nullptr ? why : "");
}

// Once for each outage, however many tries it takes, unless the reason turns into a refusal.
void sayUnreachable(Session& session, char const* why) {
    if (!session.outageSaid) {
        say(session, "cannot connect to", why);
        session.outageSaid = true;
    }
}

void sayRefused(Session& session, char const* why) {
    session.refusedThisTry = true;
    if (std::strcmp(session.refusalSaid, why) != 0) {
        std::fprintf(stderr, "rangefinder-mqtt: refused by %s:%d, trying again every %d s: %s\n",
                     session.config->broker, session.config->port, LAST_RETRY_S, why);
        std::snprintf(session.refusalSaid, sizeof session.refusalSaid, "%s", why);
    }
    session.outageSaid = true;
}

void onConnect(mosquitto* client, void* data, int code) {
    Session& session = *static_cast<Session*>(data);
    if (code != 0) {
        sayRefused(session, mosquitto_connack_string(code));
        return;
    }
    session.connectedThisTry = true;
    session.outageSaid = false;
    session.refusalSaid[0] = '\0';
    say(session, "connected to");
    Topics const& topics = *session.topics;
    if (session.removing) {
        for (char const* topic : topics.discovery) {
            publishText(client, topic, "", 1, true);
        }
        publishText(client, topics.availability, "", 1, true);
        return;
    }
    // Before online is said, so that whoever hears it can count on every reading after it.
    session.readingWanted = true;
    session.connected = true;
    publishText(client, topics.availability, ONLINE, 1, true);
    sendDiscovery(client, session, true);
    mosquitto_subscribe(client, nullptr, HOME_ASSISTANT_STATUS_TOPIC, 1);
}

void onDisconnect(mosquitto*, void* data, int code) {
    Session& session = *static_cast<Session*>(data);
    {
        std::lock_guard<std::mutex> const held(session.lock);
        session.disconnected = true;
        session.changed.notify_all();
    }
    bool const wasConnected = session.connected.exchange(false);
    if (code != 0 && wasConnected) {
        say(session, "lost the connection to", mosquitto_strerror(code));
        session.outageSaid = true;
    }
}

// Home Assistant, just started, asks every publisher for its discovery again.
void onMessage(mosquitto* client, void* data, mosquitto_message const* message) {
    Session& session = *static_cast<Session*>(data);
    if (std::strcmp(message->topic, HOME_ASSISTANT_STATUS_TOPIC) == 0 &&
        message->payloadlen == static_cast<int>(std::strlen(ONLINE)) &&
        std::memcmp(message->payload, ONLINE, std::strlen(ONLINE)) == 0) {
        sendDiscovery(client, session, false);
        session.readingWanted = true;
    }
}

void onPublish(mosquitto*, void* data, int message) {
    Session& session = *static_cast<Session*>(data);
    std::lock_guard<std::mutex> const held(session.lock);
    if (message == session.offlineMessage) {
        session.offlineDelivered = true;
    }
    if (session.removing) {
        ++session.removalsDelivered;
    }
    session.changed.notify_all();
}

// TLS says why it failed only here; the first error of a try is the reason.
void onLog(mosquitto*, void* data, int level, char const* text) {
    Session& session = *static_cast<Session*>(data);
    if (level == MOSQ_LOG_ERR && session.tlsError[0] == '\0') {
        std::snprintf(session.tlsError, sizeof session.tlsError, "%s", text);
    }
}

// A broker that refuses the client's certificate ends the TLS handshake with an alert, which only
// the log says; the client then sees the connection lost.
void cannotConnect(Session& session, int code) {
    if (code == MOSQ_ERR_TLS || session.tlsError[0] != '\0') {
        sayRefused(session, session.tlsError[0] != '\0' ? session.tlsError : "TLS failed");
    } else {
        sayUnreachable(session,
                       code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code));
    }
}

// Whether the session is to end, having waited `wait` seconds for it.
bool stopsWithin(Session& session, int wait) {
    std::unique_lock<std::mutex> held(session.lock);
    return session.changed.wait_for(held, seconds(wait), [&] { return session.stopping; });
}

void keepConnected(Session& session) {
    MqttConfig const& config = *session.config;
    int wait = 0;
    for (bool first = true;; first = false) {
        session.connectedThisTry = false;
        session.refusedThisTry = false;
        session.tlsError[0] = '\0';
        int code = first
                       ? mosquitto_connect(session.client, config.broker, config.port, KEEPALIVE_S)
                       : mosquitto_reconnect(session.client);
        if (code == MOSQ_ERR_SUCCESS) {
            while ((code = mosquitto_loop(session.client, LOOP_WAIT_MS, 1)) == MOSQ_ERR_SUCCESS) {
            }
            // The TLS handshake is made here, after the connect itself; and a port that takes the
            // connection but is no broker ends it here, before any answer.
            if (!session.connectedThisTry && !session.refusedThisTry) {
                cannotConnect(session, code);
            }
        } else {
            cannotConnect(session, code);
        }
        wait = nextRetryWaitS(wait, session.connectedThisTry, session.refusedThisTry);
        if (stopsWithin(session, wait)) {
            return;
        }
    }
}

// Says goodbye, and waits until the broker has it, so that it takes the end as a clean one.
void leave(Session& session, std::unique_lock<std::mutex>& held) {
    session.disconnected = false;
    held.unlock();
    mosquitto_disconnect(session.client);
    held.lock();
    session.changed.wait_for(held, GOODBYE_WAIT, [&] { return session.disconnected; });
}

}  // namespace

int nextRetryWaitS(int lastWaitS, bool connected, bool refused) {
    if (refused) {
        return LAST_RETRY_S;
    }
    if (connected || lastWaitS == 0) {
        return FIRST_RETRY_S;
    }
    return lastWaitS * 2 < LAST_RETRY_S ? lastWaitS * 2 : LAST_RETRY_S;
}

bool startSession(Session& session, MqttConfig const& config, Topics const& topics,
                  Discovery const& discovery) {
    session.config = &config;
    session.topics = &topics;
    session.discovery = &discovery;
    mosquitto_lib_init();
    mosquitto* const client = mosquitto_new(nullptr, true, &session);
    if (client == nullptr) {
        std::fprintf(stderr, "rangefinder-mqtt: cannot make an MQTT client: %s\n",
                     std::strerror(errno));
        return false;
    }
    session.client = client;
    mosquitto_threaded_set(client, true);
    // A removal leaves nothing behind, not even its will.
    if (!session.removing) {
        mosquitto_will_set(client, topics.availability, static_cast<int>(std::strlen(OFFLINE)),
                           OFFLINE, 1, true);
    }
    if (config.username[0] != '\0') {
        mosquitto_username_pw_set(client, config.username,
                                  config.password[0] != '\0' ? config.password : nullptr);
    }
    if (config.cafile[0] != '\0') {
        auto const given = [](char const* path) { return path[0] != '\0' ? path : nullptr; };
        int const code = mosquitto_tls_set(client, config.cafile, nullptr, given(config.certfile),
                                           given(config.keyfile), nullptr);
        if (code != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "rangefinder-mqtt: cannot use the TLS files %s %s %s: %s\n",
                         config.cafile, config.certfile, config.keyfile, mosquitto_strerror(code));
            return false;
        }
    }
    mosquitto_connect_callback_set(client, onConnect);
    mosquitto_disconnect_callback_set(client, onDisconnect);
    mosquitto_message_callback_set(client, onMessage);
    mosquitto_publish_callback_set(client, onPublish);
    mosquitto_log_callback_set(client, onLog);
    std::thread(keepConnected, std::ref(session)).detach();
    return true;
}

bool publishStates(Session& session, StateTexts const& states) {
    bool published = session.connected;
    for (int entity = 0; published && entity < ENTITY_COUNT; ++entity) {
        char const* const text = states.text[entity];
        published = text[0] == '\0' || publishText(session.client, session.topics->state[entity],
                                                   text, 0, false) == MOSQ_ERR_SUCCESS;
    }
    return published;
}

void endSession(Session& session) {
    std::unique_lock<std::mutex> held(session.lock);
    session.stopping = true;
    session.changed.notify_all();
    if (!session.connected) {
        return;
    }
    int message = -1;
    if (publishText(session.client, session.topics->availability, OFFLINE, 1, true, &message) ==
        MOSQ_ERR_SUCCESS) {
        session.offlineMessage = message;
        session.changed.wait_for(held, GOODBYE_WAIT, [&] { return session.offlineDelivered; });
    }
    leave(session, held);
}

bool removeSensor(Session& session, MqttConfig const& config, Topics const& topics,
                  std::chrono::seconds wait) {
    session.removing = true;
    static Discovery const none{};
    if (!startSession(session, config, topics, none)) {
        return false;
    }
    std::unique_lock<std::mutex> held(session.lock);
    bool const removed = session.changed.wait_for(
        held, wait, [&] { return session.removalsDelivered >= ENTITY_COUNT + 1; });
    session.stopping = true;
    session.changed.notify_all();
    if (removed) {
        leave(session, held);
    } else {
        std::fprintf(stderr, "rangefinder-mqtt: %s:%d did not take the removal within %d s\n",
                     config.broker, config.port, static_cast<int>(wait.count()));
    }
    return removed;
}
