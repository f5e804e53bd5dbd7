// rangefinder-mqtt against a real mosquitto broker of the test's own, on free loopback ports:
// one listener wanting a login, one wanting it over TLS with a certificate of the test's CA, one
// whose certificate names another host, and one that wants the client's certificate too. The
// publisher and the simulator run in real time, so only what a busy machine cannot change is
// checked, each within a generous wait.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"

using namespace std::chrono_literals;

namespace {

constexpr auto PATIENCE = 10s;
// Back within this of a broker's restart: the longest wait between tries, and a try.
constexpr auto RECONNECT_PATIENCE = 35s;
constexpr char const* USER = "pi";
constexpr char const* PASSWORD = "two words # and more";

std::string publisher;
std::string mosquittoProgram;

std::string found(std::vector<std::string> const& places) {
    for (auto const& place : places) {
        if (access(place.c_str(), X_OK) == 0) {
            return place;
        }
    }
    return "";
}

bool exitedWith(int code, int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// A socket listening on a free loopback port, which goes in `port`.
int listenOnLoopback(int& port) {
    int const s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), size);
    listen(s, 16);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return s;
}

int freePort() {
    int port = 0;
    close(listenOnLoopback(port));
    return port;
}

void write(std::string const& path, std::string const& text) {
    std::ofstream(path) << text;
    chmod(path.c_str(), 0644);
}

// Everything the publisher has said on standard error, gathered as it comes.
struct Said {
    Child child;
    std::string text;

    // Takes in what it says within `waitMs`; false when it says nothing more.
    bool readMore(int waitMs) {
        pollfd ready{child.err, POLLIN, 0};
        char chunk[512];
        ssize_t n = 0;
        if (poll(&ready, 1, waitMs) <= 0 || (n = read(child.err, chunk, sizeof chunk)) <= 0) {
            return false;
        }
        text.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    // Whether it says `what` within `wait`, past the first `from` bytes of what it has said.
    bool within(std::chrono::milliseconds wait, std::string const& what, std::size_t from = 0) {
        auto const deadline = Clock::now() + wait;
        while (text.find(what, from) == std::string::npos) {
            auto const left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (!readMore(std::max(0, static_cast<int>(left.count())))) {
                return false;
            }
        }
        return true;
    }

    // Takes in all it has said so far.
    void catchUp() {
        while (readMore(0)) {
        }
    }

    std::size_t count(std::string const& what) const {
        std::size_t found = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++found;
        }
        return found;
    }
};

struct Heard {
    std::string topic;
    std::string text;
    bool retained;
};

// A subscriber to every topic, which keeps each message heard in order; made, it has subscribed
// and heard all the broker keeps.
struct Listener {
    mosquitto* client = nullptr;
    std::mutex lock;
    std::condition_variable heard;
    std::vector<Heard> messages;
    std::string caughtUpTopic =
        "test/caught-up/" + std::to_string(reinterpret_cast<std::uintptr_t>(this));

    explicit Listener(int port) {
        client = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(client, USER, PASSWORD);
        mosquitto_connect_callback_set(
            client, [](mosquitto* m, void*, int) { mosquitto_subscribe(m, nullptr, "#", 1); });
        // The broker sends what it keeps before it takes anything published after the
        // subscription, so once this comes back every retained message has been heard.
        mosquitto_subscribe_callback_set(
            client, [](mosquitto* m, void* self, int, int, int const*) {
                auto const& topic = static_cast<Listener*>(self)->caughtUpTopic;
                mosquitto_publish(m, nullptr, topic.c_str(), 0, nullptr, 1, false);
            });
        mosquitto_message_callback_set(client, [](mosquitto*, void* self,
                                                  mosquitto_message const* message) {
            auto& listener = *static_cast<Listener*>(self);
            std::lock_guard<std::mutex> const held(listener.lock);
            listener.messages.push_back({message->topic,
                                         std::string(static_cast<char const*>(message->payload),
                                                     static_cast<std::size_t>(message->payloadlen)),
                                         message->retain});
            listener.heard.notify_all();
        });
        mosquitto_reconnect_delay_set(client, 1, 1, false);
        mosquitto_connect_async(client, "127.0.0.1", port, 30);
        mosquitto_loop_start(client);
        // Subscribed before the test goes on, for a still object's reading is sent but once.
        caughtUp();
    }
    ~Listener() {
        mosquitto_disconnect(client);
        mosquitto_loop_stop(client, true);
        mosquitto_destroy(client);
    }

    // Whether, within `wait`, a message on a topic ending in `suffix` says `payload` (anything
    // but nothing, when `payload` is null), after the first `after` messages; with `retained`,
    // one the broker kept.
    bool hears(std::string const& suffix, char const* payload,
               std::chrono::milliseconds wait = PATIENCE, std::size_t after = 0,
               bool retained = false) {
        std::unique_lock<std::mutex> held(lock);
        return heard.wait_for(held, wait, [&] {
            for (std::size_t i = after; i < messages.size(); ++i) {
                if (matches(messages[i], suffix, payload) && (!retained || messages[i].retained)) {
                    return true;
                }
            }
            return false;
        });
    }

    bool hearsKept(std::string const& suffix, char const* payload) {
        return hears(suffix, payload, PATIENCE, 0, true);
    }

    // Whether, within PATIENCE, it has subscribed and every message the broker kept has come.
    bool caughtUp() { return hears(caughtUpTopic, "", PATIENCE); }

    // The texts of the messages on topics ending in `suffix`, after the first `after`.
    std::vector<std::string> texts(std::string const& suffix, std::size_t after = 0) {
        std::lock_guard<std::mutex> const held(lock);
        std::vector<std::string> found;
        for (std::size_t i = after; i < messages.size(); ++i) {
            if (onTopic(messages[i], suffix)) {
                found.push_back(messages[i].text);
            }
        }
        return found;
    }

    std::size_t size() {
        std::lock_guard<std::mutex> const held(lock);
        return messages.size();
    }

    void publish(char const* topic, std::string const& payload, bool retain) {
        mosquitto_publish(client, nullptr, topic, static_cast<int>(payload.size()), payload.data(),
                          1, retain);
    }

    static bool onTopic(Heard const& message, std::string const& suffix) {
        auto const& topic = message.topic;
        return topic.size() >= suffix.size() &&
               topic.compare(topic.size() - suffix.size(), suffix.size(), suffix) == 0;
    }

    static bool matches(Heard const& message, std::string const& suffix, char const* payload) {
        return onTopic(message, suffix) &&
               (payload == nullptr ? !message.text.empty() : message.text == payload);
    }
};

class Broker : public testing::Test {
protected:
    static inline std::string folder;

    static void SetUpTestSuite() {
        if (mosquittoProgram.empty() || found({"/usr/bin/openssl"}).empty()) {
            return;
        }
        char name[] = "/tmp/rangefinder-broker-XXXXXX";
        folder = mkdtemp(name);
        // A broker started as root reads its files as its own user.
        chmod(folder.c_str(), 0755);
        std::string const make =
            "cd " + folder +
            " && key='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'"
            " && openssl req -x509 $key -keyout ca.key -out ca.crt -days 2 -subj /CN=test-ca"
            " && openssl req -x509 $key -keyout other-ca.key -out other-ca.crt -days 2"
            "    -subj /CN=other-ca"
            " && for name in localhost elsewhere pi; do"
            "    openssl req $key -keyout $name.key -out $name.csr -subj /CN=$name &&"
            "    printf 'subjectAltName=DNS:%s\\n' $name >$name.ext &&"
            "    openssl x509 -req -in $name.csr -CA ca.crt -CAkey ca.key -CAcreateserial"
            "      -out $name.crt -days 2 -extfile $name.ext || exit 1; done"
            " && openssl req $key -keyout stranger.key -out stranger.csr -subj /CN=pi"
            " && openssl x509 -req -in stranger.csr -CA other-ca.crt -CAkey other-ca.key"
            "    -CAcreateserial -out stranger.crt -days 2"
            " && touch passwords && mosquitto_passwd -b passwords pi '" +
            std::string(PASSWORD) + "' && chmod 0644 * >/dev/null 2>&1";
        ASSERT_EQ(std::system(("(" + make + ") >/dev/null 2>&1").c_str()), 0);
    }

    static void TearDownTestSuite() {
        if (!folder.empty()) {
            std::filesystem::remove_all(folder);
        }
    }

    int plain = freePort();
    int tls = freePort();
    int misnamed = freePort();
    int certain = freePort();
    Child broker;
    Said brokerLog;
    std::deque<Said> publishers;  // each stays where it is, for a test to keep

    void SetUp() override {
        if (folder.empty()) {
            GTEST_SKIP() << "these need the mosquitto broker and openssl (apt-get install "
                            "mosquitto openssl); they are not installed, so the broker was not "
                            "tried";
        }
        write(folder + "/broker.conf",
              "per_listener_settings false\nallow_anonymous false\npassword_file " + folder +
                  "/passwords\n" + listener(plain, "") + listener(tls, "localhost") +
                  listener(misnamed, "elsewhere") + listener(certain, "localhost") +
                  "require_certificate true\n");
        startBroker();
    }

    void TearDown() override {
        for (auto& each : publishers) {
            finish(each.child);
        }
        finish(broker);
    }

    std::string listener(int port, std::string const& name) const {
        std::string text = "listener " + std::to_string(port) + " 127.0.0.1\n";
        if (!name.empty()) {
            text += "cafile " + folder + "/ca.crt\ncertfile " + folder + "/" + name +
                    ".crt\nkeyfile " + folder + "/" + name + ".key\n";
        }
        return text;
    }

    void startBroker() {
        broker = start({mosquittoProgram, "-c", folder + "/broker.conf"}, {});
        brokerLog = Said{broker, ""};
        ASSERT_TRUE(brokerLog.within(PATIENCE, "running"));
    }

    std::string config(std::string const& text) {
        std::string const path = folder + "/mqtt-" + std::to_string(publishers.size()) + ".conf";
        write(path, text);
        return path;
    }

    // Starts the publisher with the configuration `text`, and `extra` options.
    Said& publish(std::string const& text, std::vector<std::string> extra = {}) {
        std::vector<std::string> command = {publisher, "--config", config(text)};
        command.insert(command.end(), extra.begin(), extra.end());
        Child child = start(command, {"RANGEFINDER_SIM_CM=100"});
        publishers.push_back(Said{child, ""});
        return publishers.back();
    }

    // With tabs where an owner's editor may put them, which are no part of a name or a value.
    std::string login(int port) const {
        return "broker = localhost\n\tport\t=\t" + std::to_string(port) + "\nusername\t= " + USER +
               "\t\npassword =\t" + PASSWORD + "\n";
    }

    // A program for --rangefinder that reads 100 cm as a module does, but never -1, however busy
    // the machine: a still object's reading, which the default pace sends but once.
    std::string steadyProgram() {
        std::string const program = folder + "/steady.sh";
        write(program, "#!/bin/sh\nwhile echo 100; do sleep 0.3; done\n");
        chmod(program.c_str(), 0755);
        return program;
    }

    // A program for --rangefinder that prints what the test writes to `fifo`, once it does.
    std::string traceProgram(std::string const& fifo) {
        std::string const program = fifo + ".sh";
        mkfifo(fifo.c_str(), 0600);
        write(program, "#!/bin/sh\nexec cat " + fifo + "\n");
        chmod(program.c_str(), 0755);
        return program;
    }
};

std::string machineId() {
    std::string id;
    std::ifstream("/etc/machine-id") >> id;
    return id;
}

// Whether `pid` has ended (a zombie left for its new parent counts as ended).
bool ended(pid_t pid) {
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
    auto const end = stat.rfind(')');
    return end == std::string::npos || stat.compare(end + 2, 1, "Z") == 0;
}

TEST_F(Broker, WithTheRightLoginPublishesOnlineTheConfigAndReadings) {
    Listener listener(plain);
    // Every reading, for on a busy machine a distance may be long in coming.
    Said& said = publish(login(plain) + "heartbeat=0\n");
    ASSERT_TRUE(said.within(PATIENCE, "connected to localhost:" + std::to_string(plain)))
        << said.text;
    EXPECT_TRUE(listener.hears("/availability", "online"));
    // The machine's, for a Pi keeps its sensor when its host name changes.
    EXPECT_TRUE(
        listener.hears("homeassistant/sensor/rangefinder_" + machineId() + "/config", nullptr));
    EXPECT_TRUE(listener.hears("/distance", nullptr));
}

TEST_F(Broker, KeepsOnlineTheConfigAndTheWillButNoReading) {
    Listener live(plain);
    Said& said = publish(login(plain), {"--rangefinder", steadyProgram()});
    ASSERT_TRUE(live.hears("/distance", "100"));
    Listener late(plain);
    EXPECT_TRUE(late.hearsKept("/availability", "online"));
    EXPECT_TRUE(late.hearsKept("/config", nullptr));
    std::size_t const before = live.size();
    kill(said.child.pid, SIGKILL);
    ASSERT_TRUE(live.hears("/availability", "offline", PATIENCE, before));
    Listener after(plain);
    EXPECT_TRUE(after.hearsKept("/availability", "offline"));
    EXPECT_TRUE(after.hearsKept("/config", nullptr));
    EXPECT_TRUE(after.texts("/distance").empty());
}

TEST_F(Broker, PublishesAtThePaceTheFileSets) {
    // A still object wavering by a centimetre, a lone -1, two lines that are no readings, and a
    // step of 30 cm: all at once, within far less than a heartbeat.
    // By default the median of five: the first distance with the fifth, the step with its third.
    std::string const trace = "100\n101\n100\n-1\nabc\n101\n12x\n-1\n130\n131\n130\n";
    struct Case {
        std::string settings;
        std::vector<std::string> messages;
    };
    Case const cases[] = {
        {"delta=0\nheartbeat=0\nmedian=1\n",
         {"100", "101", "100", "-1", "101", "-1", "130", "131", "130"}},
        {"", {"101", "130"}},
    };
    Listener listener(plain);
    for (Case const& each : cases) {
        SCOPED_TRACE(each.settings);
        std::string const fifo = folder + "/trace-" + std::to_string(publishers.size());
        std::size_t const before = listener.size();
        Said& said = publish(login(plain) + each.settings, {"--rangefinder", traceProgram(fifo)});
        ASSERT_TRUE(listener.hears("/availability", "online", PATIENCE, before)) << said.text;
        std::ofstream(fifo) << trace;
        auto const status = waitFor(said.child, PATIENCE);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(exitedWith(1, *status));
        ASSERT_TRUE(listener.hears("/availability", "offline", PATIENCE, before));
        EXPECT_EQ(listener.texts("/distance", before), each.messages);
    }
}

TEST_F(Broker, TriesABrokerThatIsDownEverMoreSlowly) {
    // A port that takes each connection and closes it at once, as no broker would.
    int down = 0;
    int const server = listenOnLoopback(down);
    Said& said = publish("broker=localhost\nport=" + std::to_string(down) + "\n");
    std::vector<Clock::time_point> tries;
    auto const take = [&](std::chrono::milliseconds wait) {
        pollfd ready{server, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(wait.count())) > 0) {
            close(accept(server, nullptr, nullptr));
            tries.push_back(Clock::now());
        }
    };
    take(PATIENCE);
    ASSERT_EQ(tries.size(), 1U) << said.text;
    // After 1, 2 and 4 s of waiting the fourth try comes; the fifth only 8 s later.
    auto const window = tries[0] + 14s;
    for (auto now = Clock::now(); now < window; now = Clock::now()) {
        take(std::chrono::duration_cast<std::chrono::milliseconds>(window - now));
    }
    close(server);
    EXPECT_GE(tries.size(), 2U);
    EXPECT_LE(tries.size(), 4U);
    said.catchUp();
    EXPECT_EQ(said.count("cannot connect"), 1U) << said.text;
}

TEST_F(Broker, RangefinderEndsWhenThePublisherIsKilled) {
    Listener listener(plain);
    Said& said = publish(login(plain));
    ASSERT_TRUE(listener.hears("/availability", "online"));
    std::string const pid = std::to_string(said.child.pid);
    pid_t rangefinder = 0;
    std::ifstream("/proc/" + pid + "/task/" + pid + "/children") >> rangefinder;
    ASSERT_GT(rangefinder, 0);
    kill(said.child.pid, SIGKILL);
    auto const deadline = Clock::now() + PATIENCE;
    while (!ended(rangefinder) && Clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(ended(rangefinder)) << "rangefinder runs on, holding the module";
}

TEST_F(Broker, SaysWhyTheBrokerRefusesTheLoginOrTheCertificate) {
    std::string const tlsLogin = "cafile = " + folder + "/ca.crt\n";
    struct Case {
        std::string text;
        std::string says;
    };
    Case const cases[] = {
        {"broker=localhost\nport=" + std::to_string(plain) + "\nusername=pi\npassword=wrong\n",
         "refused by localhost:" + std::to_string(plain) +
             ", trying again every 30 s: Connection Refused: not authorised."},
        {"broker=localhost\nport=" + std::to_string(plain) + "\n",
         "Connection Refused: not authorised."},
        {login(tls) + tlsLogin, "connected to localhost:" + std::to_string(tls)},
        {login(tls) + "cafile = " + folder + "/other-ca.crt\n", "certificate verify failed"},
        {login(misnamed) + tlsLogin, "host name verification failed"},
        {login(certain) + tlsLogin + "certfile=" + folder + "/pi.crt\nkeyfile=" + folder +
             "/pi.key\n",
         "connected to localhost:" + std::to_string(certain)},
        {login(certain) + tlsLogin, "refused by localhost:" + std::to_string(certain) +
                                        ", trying again every 30 s: OpenSSL Error[0]: "
                                        "error:0A00045C:SSL routines::tlsv13 alert certificate "
                                        "required"},
        {login(certain) + tlsLogin + "certfile=" + folder + "/stranger.crt\nkeyfile=" + folder +
             "/stranger.key\n",
         "tlsv1 alert unknown ca"},
    };
    for (Case const& each : cases) {
        SCOPED_TRACE(each.text);
        Said& said = publish(each.text);
        EXPECT_TRUE(said.within(PATIENCE, each.says)) << said.text;
        EXPECT_EQ(said.text.find(PASSWORD), std::string::npos);
    }
}

TEST_F(Broker, TriesARefusedLoginAgainOnlyAtTheSlowestPace) {
    Said& said = publish("broker=localhost\nport=" + std::to_string(plain) +
                         "\nusername=pi\npassword=wrong\n");
    ASSERT_TRUE(said.within(PATIENCE, "not authorised"));
    // Past the first three waits a broker that went away would get.
    std::this_thread::sleep_for(8s);
    brokerLog.catchUp();
    EXPECT_EQ(brokerLog.count("not authorised"), 1U) << brokerLog.text;
    EXPECT_EQ(said.count("not authorised"), 1U) << said.text;
}

TEST_F(Broker, ComesBackAfterEachTimeTheBrokerIsKilledAndStartedAgainSayingSoOnce) {
    // The still object's reading comes back only because each new connection sends it at once.
    Said& said = publish(login(plain), {"--rangefinder", steadyProgram()});
    ASSERT_TRUE(said.within(PATIENCE, "connected to"));
    for (std::size_t outage = 1; outage <= 2; ++outage) {
        SCOPED_TRACE(outage);
        std::size_t const lost = said.text.size();
        kill(broker.pid, SIGKILL);
        finish(broker);
        ASSERT_TRUE(said.within(PATIENCE, "lost the connection to", lost));
        // Long enough for several tries to fail.
        std::this_thread::sleep_for(4s);
        startBroker();
        Listener listener(plain);
        EXPECT_TRUE(listener.hears("/availability", "online", RECONNECT_PATIENCE));
        EXPECT_TRUE(listener.hears("/config", nullptr));
        EXPECT_TRUE(listener.hears("/distance", "100"));
        EXPECT_TRUE(
            said.within(PATIENCE, "connected to", said.text.find("lost the connection", lost)))
            << said.text;
        EXPECT_EQ(said.count("lost the connection"), outage) << said.text;
    }
    EXPECT_EQ(said.count("cannot connect"), 0U) << said.text;
}

TEST_F(Broker, SendsTheConfigAgainWhenHomeAssistantStarts) {
    Listener listener(plain);
    Said& said = publish(login(plain));
    ASSERT_TRUE(listener.hears("/config", nullptr));
    std::string topic;
    {
        std::lock_guard<std::mutex> const held(listener.lock);
        for (auto const& message : listener.messages) {
            if (message.topic.rfind("homeassistant/sensor/", 0) == 0 && !message.text.empty()) {
                topic = message.topic;
            }
        }
    }
    // Cleared, as a broker restarted without its stored messages has it.
    std::size_t before = listener.size();
    listener.publish(topic.c_str(), "", true);
    ASSERT_TRUE(listener.hears("/config", "", PATIENCE, before));
    before = listener.size();
    listener.publish("homeassistant/status", "online", false);
    EXPECT_TRUE(listener.hears("/config", nullptr, PATIENCE, before + 1)) << said.text;
}

TEST_F(Broker, SaysOfflineWhenStoppedAndByItsWillWhenKilled) {
    Listener listener(plain);
    Said& stopped = publish(login(plain));
    // What it says goes nowhere, as when the journal restarts: that ends nothing.
    close(stopped.child.err);
    stopped.child.err = -1;
    ASSERT_TRUE(listener.hears("/availability", "online"));
    std::size_t before = listener.size();
    kill(stopped.child.pid, SIGTERM);
    auto const status = waitFor(stopped.child, PATIENCE);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(exitedWith(0, *status));
    EXPECT_TRUE(listener.hears("/availability", "offline", PATIENCE, before));

    Said& killed = publish(login(plain));
    ASSERT_TRUE(listener.hears("/availability", "online", PATIENCE, before + 1));
    before = listener.size();
    kill(killed.child.pid, SIGKILL);
    EXPECT_TRUE(listener.hears("/availability", "offline", PATIENCE, before));
}

TEST_F(Broker, RemovesTheSensorsRetainedMessagesWithItsOwnLogin) {
    Listener listener(plain);
    Said& running = publish(login(plain) + "near=50\nfar=60\nempty=100\nfull=10\n");
    for (char const* config : {"_presence/config", "_level/config", "/config"}) {
        ASSERT_TRUE(listener.hears(config, nullptr)) << config;
    }
    kill(running.child.pid, SIGTERM);
    ASSERT_TRUE(waitFor(running.child, PATIENCE).has_value());
    std::size_t const before = listener.size();
    Said& removing = publish(login(plain), {"--remove"});
    auto const status = waitFor(removing.child, PATIENCE);
    ASSERT_TRUE(status.has_value());
    removing.catchUp();
    EXPECT_TRUE(exitedWith(0, *status)) << removing.text;
    EXPECT_TRUE(listener.hears("/config", "", PATIENCE, before));
    EXPECT_TRUE(listener.hears("/availability", "", PATIENCE, before));
    // Nothing comes after: a will of the removal's own would bring back an offline.
    std::this_thread::sleep_for(1s);
    Listener later(plain);
    EXPECT_FALSE(later.hears("/availability", nullptr, 2s));
    EXPECT_FALSE(later.hears("/config", nullptr, 0s));
}

TEST_F(Broker, SendsTheStatesAgainOnceHomeAssistantCanHearThemAndClearsEntitiesNoLongerAsked) {
    Listener listener(plain);
    Said& both = publish(login(plain) + "near=150\nfar=160\nempty=200\nfull=0\n",
                         {"--rangefinder", steadyProgram()});
    ASSERT_TRUE(listener.hears("_presence/config", nullptr)) << both.text;
    ASSERT_TRUE(listener.hears("_level/config", nullptr));
    // Once at once, and once more a moment later; then nothing until the heartbeat.
    auto const deadline = Clock::now() + PATIENCE;
    while (listener.texts("/level").size() < 2 && Clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(listener.texts("/distance"), std::vector<std::string>({"100", "100"}));
    EXPECT_EQ(listener.texts("/presence"), std::vector<std::string>({"ON", "ON"}));
    EXPECT_EQ(listener.texts("/level"), std::vector<std::string>({"50", "50"}));

    kill(both.child.pid, SIGTERM);
    ASSERT_TRUE(waitFor(both.child, PATIENCE).has_value());
    std::size_t const before = listener.size();
    publish(login(plain) + "empty=200\nfull=0\n", {"--rangefinder", steadyProgram()});
    ASSERT_TRUE(listener.hears("_presence/config", "", PATIENCE, before));
    ASSERT_TRUE(listener.hears("/level", "50", PATIENCE, before));
    Listener late(plain);
    EXPECT_TRUE(late.hearsKept("_level/config", nullptr));
    EXPECT_TRUE(late.hearsKept(machineId() + "/config", nullptr));
    EXPECT_FALSE(late.hears("_presence/config", nullptr, 0s));
    EXPECT_FALSE(late.hears("/level", nullptr, 0s));
}

TEST_F(Broker, EndsWithStatus1AndSaysOfflineWhenRangefinderEnds) {
    Listener listener(plain);
    // As rangefinder does when the GPIO cannot be opened, but once connected.
    std::string const failing = folder + "/failing-rangefinder";
    write(failing, "#!/bin/sh\nsleep 2\nexit 1\n");
    chmod(failing.c_str(), 0755);
    Said& said = publish(login(plain), {"--rangefinder", failing});
    ASSERT_TRUE(listener.hears("/availability", "online"));
    std::size_t const before = listener.size();
    auto const status = waitFor(said.child, PATIENCE);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(exitedWith(1, *status));
    EXPECT_TRUE(said.within(PATIENCE, failing + " ended with status 1")) << said.text;
    EXPECT_TRUE(listener.hears("/availability", "offline", PATIENCE, before));
}

TEST(PublisherConfig, RefusesAFaultyFileWithItsLineAndStatus2) {
    char name[] = "/tmp/rangefinder-config-XXXXXX";
    std::string const folder = mkdtemp(name);
    struct Case {
        std::string text;
        std::string says;
    };
    Case const cases[] = {
        {"broker=a\nbroker a\n", ":2: not a line of name=value\n"},
        {"broker=a\nhost=b\n", ":2: unknown name 'host'"},
        {"broker=a\nport=eighty\n", ":2: port must be a number from 1 to 65535\n"},
        {"# nothing\n", ": no broker: give its host name or address as broker=NAME\n"},
        {"broker=a\ncafile=" + folder + "/none.crt\n",
         ":2: cannot read the cafile " + folder + "/none.crt: No such file or directory\n"},
        {"broker=a\ncafile=" + folder + "/ca.crt\ncertfile=" + folder +
             "/none.crt\nkeyfile=" + folder + "/mqtt.conf\n",
         ":3: cannot read the certfile " + folder + "/none.crt: No such file or directory\n"},
        {"broker=a\ncafile=" + folder + "/ca.crt\ncertfile=" + folder +
             "/ca.crt\nkeyfile=" + folder + "/mqtt.conf\n",
         ":4: cannot read the keyfile " + folder + "/mqtt.conf: it holds no PEM private key\n"},
    };
    write(folder + "/ca.crt", "-----BEGIN CERTIFICATE-----\n");
    for (Case const& each : cases) {
        SCOPED_TRACE(each.text);
        std::string const path = folder + "/mqtt.conf";
        write(path, each.text);
        Child child = start({publisher, "--config", path}, {});
        std::string const said = readRest(child.err);
        auto const status = waitFor(child, PATIENCE);
        finish(child);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(exitedWith(2, *status));
        EXPECT_EQ(said.rfind("rangefinder-mqtt: " + path + each.says, 0), 0U) << said;
    }
    Child missing = start({publisher, "--config", folder + "/none.conf"}, {});
    EXPECT_EQ(readRest(missing.err),
              "rangefinder-mqtt: " + folder + "/none.conf: No such file or directory\n");
    auto const status = waitFor(missing, PATIENCE);
    finish(missing);
    EXPECT_TRUE(status.has_value() && exitedWith(2, *status));
    std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The publisher to try; none is needed to list the tests.
    publisher = argc > 1 ? argv[1] : "rangefinder-mqtt";
    mosquittoProgram = found({"/usr/sbin/mosquitto", "/usr/bin/mosquitto"});
    mosquitto_lib_init();
    return RUN_ALL_TESTS();
}
