#include "virtual_wiring.h"

#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "hw/operations.h"
#include "ranging/ranging.h"
#include "wiringpi_failure.h"

namespace {

// A wait that no bound ends is reported rather than left spinning forever.
constexpr std::uint64_t RUNAWAY_US = 1000000;
constexpr std::uint64_t NEVER = UINT64_MAX;

struct World {
    std::uint64_t now = 0;
    std::uint32_t clockBase = 0;
    std::uint32_t readStep = 1;
    bool setupFails = false;
    int setupError = 0;
    unsigned delays = 0;
    unsigned stopAt = 0;
    std::function<void()> hook;
    std::vector<std::string> log;
    std::vector<vw::Echo> queued;
    int trigger = LOW;
    std::uint64_t fellAt = 0;
    int echoLevel = LOW;
    std::vector<std::pair<std::uint64_t, int>> changes;  // absolute, still to come
    std::size_t nextChange = 0;
    std::uint64_t holdAt = NEVER;
    std::uint64_t holdFor = 0;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> held;
    std::uint64_t heldSinceFall = 0;
};

std::uint32_t numberIn(char const* variable) {
    char const* value = std::getenv(variable);
    return value != nullptr ? static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10)) : 0;
}

// The program linked to the double as a stand-in wiringPi takes no input, so the stand-in is
// scripted by variables of its own:
//   FAKE_WIRINGPI_ECHOES       the echo answering each trigger in turn: a width in microseconds,
//                              "none" for one that never rises, "stuck" for one that never falls;
//                              DEFAULT_ECHO follows once they are used up
//   FAKE_WIRINGPI_CLOCK        what micros() reads at start
//   FAKE_WIRINGPI_SETUP_ERRNO  wiringPiSetup fails with this errno; with 0, giving no reason
//   FAKE_WIRINGPI_CALLS_TO     a file to write the GPIO operations made into, one a line, at exit
//   FAKE_WIRINGPI_DEVICE       a file that wiringPiSetup opens and keeps open, as wiringPi does
//                              its GPIO device
World scripted() {
    constexpr std::uint32_t ECHO_AFTER_US = 300;
    World w;
    w.clockBase = numberIn("FAKE_WIRINGPI_CLOCK");
    w.setupFails = std::getenv("FAKE_WIRINGPI_SETUP_ERRNO") != nullptr;
    w.setupError = static_cast<int>(numberIn("FAKE_WIRINGPI_SETUP_ERRNO"));
    char const* echoes = std::getenv("FAKE_WIRINGPI_ECHOES");
    std::istringstream words(echoes != nullptr ? echoes : "");
    for (std::string word; words >> word;) {
        if (word == "none") {
            w.queued.push_back(vw::stuck(LOW));
        } else if (word == "stuck") {
            w.queued.push_back(vw::Echo{LOW, {{ECHO_AFTER_US, HIGH}}});
        } else {
            w.queued.push_back(
                vw::pulse(ECHO_AFTER_US, static_cast<std::uint32_t>(std::stoul(word))));
        }
    }
    return w;
}

World world = scripted();

void writeCalls() {
    if (std::FILE* file = std::fopen(std::getenv("FAKE_WIRINGPI_CALLS_TO"), "w")) {
        for (auto const& call : world.log) {
            std::fprintf(file, "%s\n", call.c_str());
        }
        std::fclose(file);
    }
}

// Registered after `world` is made, so that it runs before `world` is gone.
[[maybe_unused]] bool const callsWritten =
    std::getenv("FAKE_WIRINGPI_CALLS_TO") != nullptr && std::atexit(writeCalls) == 0;

void record(std::string op) {
    world.log.push_back(std::move(op));
}

// Moves time on to `at`, the echo changing on the way.
void advanceTo(std::uint64_t at) {
    world.now = at;
    while (world.nextChange < world.changes.size() &&
           world.changes[world.nextChange].first <= world.now) {
        world.echoLevel = world.changes[world.nextChange++].second;
    }
}

void holdIfDue() {
    if (world.now < world.holdAt) {
        return;
    }
    world.held = {world.now, world.now + world.holdFor};
    world.heldSinceFall += world.holdFor;
    world.holdAt = NEVER;
    advanceTo(world.held->second);
}

void armEcho() {
    vw::Echo echo = vw::DEFAULT_ECHO;
    if (!world.queued.empty()) {
        echo = world.queued.front();
        world.queued.erase(world.queued.begin());
    }
    world.fellAt = world.now;
    world.heldSinceFall = 0;
    world.echoLevel = echo.levelAtFall;
    world.changes.clear();
    world.nextChange = 0;
    for (auto const& [after, level] : echo.changes) {
        world.changes.emplace_back(world.now + after, level);
    }
}

}  // namespace

namespace vw {

Echo pulse(std::uint32_t afterUs, std::uint32_t widthUs) {
    return Echo{LOW, {{afterUs, HIGH}, {afterUs + widthUs, LOW}}};
}

Echo stuck(int level) {
    return Echo{level, {}};
}

void reset() {
    world = World{};
    unsetenv("WIRINGPI_CODES");
}
void queue(Echo echo) {
    world.queued.push_back(std::move(echo));
}
void setClock(std::uint32_t micros) {
    world.clockBase = micros - static_cast<std::uint32_t>(world.now);
}
void setReadStepUs(std::uint32_t us) {
    world.readStep = us;
}
void failSetup(int error) {
    world.setupFails = true;
    world.setupError = error;
}
void holdOnce(std::uint64_t atUs, std::uint64_t forUs) {
    world.holdAt = atUs;
    world.holdFor = forUs;
    world.held.reset();
}
std::optional<std::pair<std::uint64_t, std::uint64_t>> endHold() {
    world.holdAt = NEVER;
    return std::exchange(world.held, std::nullopt);
}
void stopAfterDelays(unsigned n) {
    world.stopAt = n;
}
void onDelay(std::function<void()> hook) {
    world.hook = std::move(hook);
}
std::vector<std::string> const& calls() {
    return world.log;
}
int triggerLevel() {
    return world.trigger;
}
std::uint64_t nowUs() {
    return world.now;
}

}  // namespace vw

extern "C" int wiringPiSetup(void) {
    record("wiringPiSetup");
    if (char const* device = std::getenv("FAKE_WIRINGPI_DEVICE")) {
        open(device, O_RDWR);
    }
    if (world.setupFails) {
        return failWiringPiSetup(world.setupError);
    }
    return 0;
}

extern "C" void pinMode(int pin, int mode) {
    holdIfDue();
    record(vw::call("pinMode", pin, mode));
}

extern "C" void digitalWrite(int pin, int value) {
    holdIfDue();
    record(vw::call("digitalWrite", pin, value));
    if (pin != TRIGGER_PIN) {
        return;
    }
    bool const falls = world.trigger != LOW && value == LOW;
    world.trigger = value;
    if (falls) {
        armEcho();
    }
}

// A read of any pin takes readStep of time, so that a wait on the wrong pin still runs into its
// time-out; it lands on the next edge if that comes first, so an edge is seen at the very
// microsecond it happens.
extern "C" int digitalRead(int pin) {
    holdIfDue();
    std::uint64_t next = world.now + world.readStep;
    if (world.nextChange < world.changes.size() && world.changes[world.nextChange].first < next) {
        next = world.changes[world.nextChange].first;
    }
    advanceTo(next);
    if (world.now - world.fellAt - world.heldSinceFall > RUNAWAY_US) {
        throw std::runtime_error("the echo wait never gave up");
    }
    return pin == ECHO_PIN ? world.echoLevel : LOW;
}

extern "C" unsigned int micros(void) {
    holdIfDue();
    return world.clockBase + static_cast<std::uint32_t>(world.now);
}

extern "C" void delayMicroseconds(unsigned int us) {
    holdIfDue();
    record("delayMicroseconds(" + std::to_string(us) + ")");
    advanceTo(world.now + us);
}

extern "C" void delay(unsigned int ms) {
    holdIfDue();
    record("delay(" + std::to_string(ms) + ")");
    advanceTo(world.now + std::uint64_t{ms} * 1000);
    if (world.hook) {
        world.hook();
    }
    if (++world.delays == world.stopAt) {
        throw vw::Stopped{};
    }
}
