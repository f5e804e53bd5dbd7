// rangefinder-mqtt: runs rangefinder and publishes its readings to an MQTT broker, with the
// availability and Home Assistant discovery of the sensor.
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "mqtt/config.h"
#include "mqtt/discovery.h"
#include "mqtt/files.h"
#include "mqtt/identity.h"
#include "mqtt/pace.h"
#include "mqtt/readings.h"
#include "mqtt/session.h"
#include "mqtt/states.h"

namespace {

constexpr char const* CONFIG_FILE = "/etc/rangefinder/mqtt.conf";
constexpr int CONFIG_FAILED = 2;
// How long after the readings end a signal that stopped them both may still be on its way.
constexpr int SIGNAL_WAIT_MS = 200;
// Long enough for a broker not up yet to come, and for two tries after a refusal.
constexpr std::chrono::seconds REMOVAL_WAIT{45};

int usage() {
    std::fprintf(stderr,
                 "usage: rangefinder-mqtt [--config FILE] [--rangefinder PROGRAM]\n"
                 "       rangefinder-mqtt [--config FILE] --remove\n");
    return CONFIG_FAILED;
}

// Checks that each TLS file the configuration names holds what it is for, and puts the path of
// systemd's copy in its place where the service has one.
bool useTlsFiles(char const* shown, MqttConfig& config) {
    struct TlsFile {
        char const* name;
        char* path;
        int line;
        Pem kind;
    };
    TlsFile const files[] = {{"cafile", config.cafile, config.cafileLine, Pem::CERTIFICATE},
                             {"certfile", config.certfile, config.certfileLine, Pem::CERTIFICATE},
                             {"keyfile", config.keyfile, config.keyfileLine, Pem::PRIVATE_KEY}};
    for (TlsFile const& file : files) {
        if (file.path[0] == '\0') {
            continue;
        }
        char copy[PATH_MAX];
        char why[128];
        char const* const read = fileToRead(file.path, copy);
        char const* problem = pemProblem(read, file.kind, why);
        if (problem == nullptr && std::strlen(read) > CONFIG_VALUE_MAX) {
            problem = "systemd's copy of it has a path too long";
        }
        if (problem != nullptr) {
            std::fprintf(stderr, "rangefinder-mqtt: %s:%d: cannot read the %s %s: %s\n", shown,
                         file.line, file.name, file.path, problem);
            return false;
        }
        std::memmove(file.path, read, std::strlen(read) + 1);
    }
    return true;
}

// Reads the file, naming it `shown` in every message.
bool loadConfig(char const* path, char const* shown, MqttConfig& config) {
    std::FILE* const file = std::fopen(path, "re");
    if (file == nullptr) {
        std::fprintf(stderr, "rangefinder-mqtt: %s: %s\n", shown, std::strerror(errno));
        return false;
    }
    ConfigProblem problem;
    bool const read = readConfig(file, config, problem);
    std::fclose(file);
    if (!read) {
        if (problem.line > 0) {
            std::fprintf(stderr, "rangefinder-mqtt: %s:%d: %s\n", shown, problem.line, problem.why);
        } else {
            std::fprintf(stderr, "rangefinder-mqtt: %s: %s\n", shown, problem.why);
        }
        return false;
    }
    return useTlsFiles(shown, config);
}

// The rangefinder installed beside this program.
bool findRangefinder(char (&program)[PATH_MAX]) {
    ssize_t const length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) {
        return false;
    }
    program[length] = '\0';
    char* const slash = std::strrchr(program, '/');
    return slash != nullptr &&
           std::snprintf(slash + 1, sizeof program - static_cast<std::size_t>(slash + 1 - program),
                         "rangefinder") < static_cast<int>(sizeof program - (slash + 1 - program));
}

// The unit may start this program at rangefinder's real-time priority, which rangefinder keeps;
// the publisher and its client's thread need none.
void leaveRealTime() {
    if (sched_getscheduler(0) != SCHED_OTHER) {
        sched_param const normal{};
        if (sched_setscheduler(0, SCHED_OTHER, &normal) != 0) {
            std::fprintf(stderr, "rangefinder-mqtt: cannot leave real-time priority: %s\n",
                         std::strerror(errno));
        }
    }
}

void stopRangefinder(pid_t child) {
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
}

bool signalArrives(int signals, int waitMs) {
    pollfd watched{signals, POLLIN, 0};
    return poll(&watched, 1, waitMs) > 0;
}

// Why rangefinder ended, from its wait status.
void sayEnded(char const* program, int status) {
    if (WIFEXITED(status)) {
        std::fprintf(stderr, "rangefinder-mqtt: %s ended with status %d\n", program,
                     WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "rangefinder-mqtt: %s was ended by signal %d\n", program,
                     WTERMSIG(status));
    }
}

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What the file asks to be published, and when.
PaceSettings paceOf(MqttConfig const& config) {
    PaceSettings settings{config.deltaCm, config.heartbeatS, config.median, std::nullopt};
    if (config.presence) {
        settings.presence = Edges{config.nearCm, config.farCm};
    }
    return settings;
}

std::optional<Tank> tankOf(MqttConfig const& config) {
    return config.level ? std::optional<Tank>(Tank{config.emptyCm, config.fullCm}) : std::nullopt;
}

// Each entity's discovery config, or none for one the file does not ask for.
void formatDiscoveries(Discovery& discovery, MqttConfig const& config, Topics const& topics) {
    bool const wanted[ENTITY_COUNT] = {true, config.presence, config.level};
    for (int entity = 0; entity < ENTITY_COUNT; ++entity) {
        discovery[entity] = wanted[entity] ? formatDiscovery(static_cast<Entity>(entity), topics,
                                                             RANGEFINDER_VERSION, config.heartbeatS)
                                           : "";
    }
}

// Publishes the readings, at the pace the file sets, until a signal asks to stop (0) or
// rangefinder ends (1).
int relay(Session& session, MqttConfig const& config, char const* program, pid_t child,
          int readings, int signals) {
    PaceSettings const settings = paceOf(config);
    std::optional<Tank> const tank = tankOf(config);
    LineBuffer lines;
    Pace pace = startPace(nowMs());
    // The lines of one read came together, and are taken as of one moment.
    std::int64_t now = 0;
    auto const take = [&](char const* line) {
        int reading = 0;
        if (!parseReading(line, reading)) {
            return;
        }
        if (session.readingWanted.exchange(false)) {
            publishAgain(pace);
        }
        Outgoing const out = paceReading(pace, settings, reading, now);
        if ((out.distance || out.presence) && publishStates(session, formatStates(out, tank))) {
            notePublished(pace, out, now);
        }
    };
    pollfd watched[] = {{readings, POLLIN, 0}, {signals, POLLIN, 0}};
    for (;;) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "rangefinder-mqtt: cannot wait for readings: %s\n",
                         std::strerror(errno));
            stopRangefinder(child);
            return 1;
        }
        if (watched[1].revents != 0) {
            stopRangefinder(child);
            return 0;
        }
        char chunk[256];
        ssize_t const got = read(readings, chunk, sizeof chunk);
        if (got > 0) {
            now = nowMs();
            splitLines(lines, chunk, static_cast<std::size_t>(got), take);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // A Ctrl-C at the terminal ends rangefinder too, and may be seen here first.
        bool const stopped = signalArrives(signals, SIGNAL_WAIT_MS);
        int status = 0;
        waitpid(child, &status, 0);
        if (stopped) {
            return 0;
        }
        sayEnded(program, status);
        return 1;
    }
}

// Takes the signals that stop the publisher as readable events, so that a stop can say offline
// first; the descriptor, or -1.
int takeStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int const stop : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, stop);
    }
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    return signalfd(-1, &stops, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
    // A broker, or a reader of what it says, gone in the middle of a write is an error to say,
    // not the end.
    signal(SIGPIPE, SIG_IGN);
    char const* configPath = nullptr;
    char found[PATH_MAX];
    char const* program = nullptr;
    bool remove = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configPath = argv[++i];
        } else if (std::strcmp(argv[i], "--rangefinder") == 0 && i + 1 < argc) {
            program = argv[++i];
        } else if (std::strcmp(argv[i], "--remove") == 0) {
            remove = true;
        } else {
            return usage();
        }
    }
    if (remove && program != nullptr) {
        return usage();
    }

    char credential[PATH_MAX];
    static MqttConfig config;
    if (!loadConfig(configPath != nullptr ? configPath : fileToRead(CONFIG_FILE, credential),
                    configPath != nullptr ? configPath : CONFIG_FILE, config)) {
        return CONFIG_FAILED;
    }

    char host[NAME_MAX_BYTES];
    char machineId[NAME_MAX_BYTES];
    if (!readHostName(host)) {
        std::fprintf(stderr, "rangefinder-mqtt: cannot read the host name: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!readMachineId(machineId)) {
        std::fprintf(stderr, "rangefinder-mqtt: cannot read %s: %s\n", MACHINE_ID_FILE,
                     std::strerror(errno));
        return 1;
    }
    static Topics topics;
    static Discovery discovery;
    if (char const* const why = formatTopics(topics, host, machineId)) {
        std::fprintf(stderr, "rangefinder-mqtt: cannot name the MQTT topics of %s (%s): %s\n", host,
                     MACHINE_ID_FILE, why);
        return 1;
    }
    formatDiscoveries(discovery, config, topics);
    static Session session;
    if (remove) {
        bool const removed = removeSensor(session, config, topics, REMOVAL_WAIT);
        std::fflush(stderr);
        _exit(removed ? 0 : 1);
    }
    if (program == nullptr) {
        if (!findRangefinder(found)) {
            std::fprintf(stderr, "rangefinder-mqtt: cannot tell where this program is: %s\n",
                         std::strerror(errno));
            return 1;
        }
        program = found;
    }

    int const signals = takeStopSignals();
    int readings = -1;
    pid_t const child = signals < 0 ? -1 : startRangefinder(program, readings);
    if (child < 0) {
        std::fprintf(stderr, "rangefinder-mqtt: cannot run %s: %s\n", program,
                     std::strerror(errno));
        return 1;
    }
    leaveRealTime();

    int status = 1;
    if (startSession(session, config, topics, discovery)) {
        status = relay(session, config, program, child, readings, signals);
        endSession(session);
    } else {
        stopRangefinder(child);
    }
    // The client's thread may be in the middle of a connect that nothing can cut short.
    std::fflush(stderr);
    _exit(status);
}
