// getCM against thousands of random echo traces: clean, glitching, stuck, and with the clock
// wrapping anywhere. The seed is printed on failure; RANGEFINDER_TEST_SEED replays one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>

#include "ranging/ranging.h"
#include "virtual_wiring.h"

namespace {

constexpr int TRACES = 10000;
constexpr std::uint32_t STEPS_US[] = {3, 7, 61, 331, 997};

struct Trace {
    vw::Echo echo;
    std::uint32_t readStep = 1;
    std::uint32_t clockAtStart = 0;
};

// What a reading must give, from the trace alone: the first rise to the next fall, with the
// first read taken one read step after the trigger falls.
std::int32_t expected(Trace const& trace) {
    auto const& changes = trace.echo.changes;
    std::size_t i = 0;
    std::uint32_t start = 0;
    if (trace.echo.levelAtFall == 0 || (!changes.empty() && changes[0].first <= trace.readStep)) {
        while (i < changes.size() && changes[i].second == 0) {
            ++i;
        }
        if (i == changes.size()) {
            return NO_ECHO;
        }
        start = changes[i].first;
    } else {
        start = trace.readStep;
    }
    while (i < changes.size() && changes[i].second == 1) {
        ++i;
    }
    if (i == changes.size()) {
        return NO_ECHO;
    }
    return static_cast<std::int32_t>(changes[i].first - start) / US_PER_CM;
}

Trace randomTrace(std::mt19937& random) {
    auto const upTo = [&](std::uint32_t most) {
        return std::uniform_int_distribution<std::uint32_t>(0, most)(random);
    };
    Trace trace;
    trace.readStep = STEPS_US[upTo(std::size(STEPS_US) - 1)];
    std::uint32_t at = upTo(5000);
    auto& changes = trace.echo.changes;
    auto const echo = [&](std::uint32_t width) {
        changes.push_back({at, 1});
        changes.push_back({at += width, 0});
    };
    switch (upTo(7)) {
        case 0:  // short glitches, then the echo
            for (std::uint32_t n = 1 + upTo(2); n > 0; --n) {
                echo(1 + upTo(4));
                at += 2 + upTo(50);
            }
            echo(1 + upTo(40000));
            break;
        case 1:  // an echo with a drop-out
            echo(1 + upTo(20000));
            at += 1 + upTo(3);
            echo(1 + upTo(20000));
            break;
        case 2:  // already high when the trigger falls
            trace.echo.levelAtFall = 1;
            changes.push_back({1 + upTo(40000), 0});
            break;
        case 3:  // stuck low: no module, or a miswired one
            break;
        case 4:  // stuck high, from before the trigger or from the echo's rise
            if (upTo(1) == 0) {
                trace.echo.levelAtFall = 1;
            } else {
                changes.push_back({at, 1});
            }
            break;
        default:
            echo(1 + upTo(40000));
            break;
    }
    // The clock wraps anywhere, or within a few microseconds of an edge.
    std::uint32_t const nearEdge = changes.empty() ? 0 : changes[upTo(changes.size() - 1)].first;
    std::uint32_t const fallAt = TRIGGER_PULSE_US;
    trace.clockAtStart = upTo(1) == 0 ? static_cast<std::uint32_t>(random())
                                      : 0u - (fallAt + nearEdge) + upTo(10) - 5;
    return trace;
}

std::string describe(std::uint32_t seed, int n, Trace const& trace) {
    std::ostringstream text;
    text << "seed " << seed << ", trace " << n << ": read step " << trace.readStep
         << " us, clock at " << trace.clockAtStart << ", level " << trace.echo.levelAtFall;
    for (auto const& [after, level] : trace.echo.changes) {
        text << ", " << after << " us: " << level;
    }
    return text.str();
}

TEST(EchoTraces, EveryReadingReturnsInTimeWithTheTriggerLowAndCleanEchoesReadExactly) {
    char const* replay = std::getenv("RANGEFINDER_TEST_SEED");
    std::uint32_t const seed = replay ? std::strtoul(replay, nullptr, 10) : 20261208u;
    std::mt19937 random(seed);
    vw::reset();
    for (int n = 0; n < TRACES; ++n) {
        Trace const trace = randomTrace(random);
        vw::setReadStepUs(trace.readStep);
        vw::setClock(trace.clockAtStart);
        vw::queue(trace.echo);
        std::uint64_t const began = vw::nowUs();
        std::int32_t cm = 0;
        try {
            cm = getCM();
        } catch (std::exception const& e) {
            FAIL() << describe(seed, n, trace) << ": " << e.what();
        }
        std::uint64_t const took = vw::nowUs() - began;
        ASSERT_EQ(vw::triggerLevel(), 0) << describe(seed, n, trace);
        ASSERT_LE(took, TRIGGER_PULSE_US + 2 * (ECHO_TIMEOUT_US + trace.readStep))
            << describe(seed, n, trace);
        ASSERT_EQ(cm, expected(trace)) << describe(seed, n, trace);
    }
}

}  // namespace
