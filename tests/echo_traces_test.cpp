// getCM against thousands of random echo traces: clean, glitching, stuck, with the clock
// wrapping anywhere, and with the program held off the processor now and then. The seed is
// printed on failure; RANGEFINDER_TEST_SEED replays one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

#include "ranging/ranging.h"
#include "virtual_wiring.h"

namespace {

constexpr int TRACES = 10000;
// Reads this far apart time an edge to within two of them, inside the slack; the rest may not.
constexpr std::uint32_t FINE_STEPS_US[] = {1, 3, 7, 13};
constexpr std::uint32_t COARSE_STEPS_US[] = {61, 331};

struct Hold {
    std::uint32_t afterFallUs = 0;
    std::uint64_t forUs = 0;
};

struct Trace {
    vw::Echo echo;
    std::uint32_t readStep = 1;
    std::uint32_t clockAtStart = 0;
    std::optional<Hold> hold;
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
            return NO_READING;
        }
        start = changes[i].first;
    } else {
        start = trace.readStep;
    }
    while (i < changes.size() && changes[i].second == 1) {
        ++i;
    }
    if (i == changes.size()) {
        return NO_READING;
    }
    return static_cast<std::int32_t>(changes[i].first - start) / US_PER_CM;
}

Trace randomTrace(std::mt19937& random) {
    auto const upTo = [&](std::uint32_t most) {
        return std::uniform_int_distribution<std::uint32_t>(0, most)(random);
    };
    Trace trace;
    trace.readStep = upTo(3) > 0 ? FINE_STEPS_US[upTo(std::size(FINE_STEPS_US) - 1)]
                                 : COARSE_STEPS_US[upTo(std::size(COARSE_STEPS_US) - 1)];
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
    // Every other trace is held once, after the first read, mostly close to an edge, for longer
    // than the slack: from just over it to past the time-out.
    if (upTo(1) == 0) {
        std::uint32_t const near = changes.empty() ? 0 : changes[upTo(changes.size() - 1)].first;
        std::uint32_t const at = upTo(2) == 0 ? upTo(45000) : near + upTo(60) - 40;
        std::uint64_t const longest = std::uint64_t{10} << (upTo(3) * 5);
        trace.hold = Hold{
            std::max(at, trace.readStep + 1),
            STAMP_SLACK_US + 1 + std::uniform_int_distribution<std::uint64_t>(0, longest)(random)};
    }
    return trace;
}

// The trace as a program held from `from` to `to` after the fall could see it: what the echo did
// meanwhile is lost to it.
Trace unseenWhileHeld(Trace trace, std::uint64_t from, std::uint64_t to) {
    auto& changes = trace.echo.changes;
    changes.erase(std::remove_if(changes.begin(), changes.end(),
                                 [&](auto const& change) {
                                     return change.first > from && change.first <= to;
                                 }),
                  changes.end());
    return trace;
}

// Whether an edge came while the program was held, or in the two reads after: the last read
// that saw the old level may then have come only after the hold.
bool heldAcrossAnEdge(Trace const& trace, std::uint64_t from, std::uint64_t to) {
    return std::any_of(trace.echo.changes.begin(), trace.echo.changes.end(), [&](auto const& c) {
        return c.first >= from && c.first <= to + 2 * trace.readStep;
    });
}

std::string describe(std::uint32_t seed, int n, Trace const& trace) {
    std::ostringstream text;
    text << "seed " << seed << ", trace " << n << ": read step " << trace.readStep
         << " us, clock at " << trace.clockAtStart << ", level " << trace.echo.levelAtFall;
    if (trace.hold) {
        text << ", held " << trace.hold->forUs << " us at " << trace.hold->afterFallUs << " us";
    }
    for (auto const& [after, level] : trace.echo.changes) {
        text << ", " << after << " us: " << level;
    }
    return text.str();
}

TEST(EchoTraces, EveryReadingReturnsInTimeWithTheTriggerLowAndIsExactOrNone) {
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
        std::uint64_t const fell = began + TRIGGER_PULSE_US;
        if (trace.hold) {
            vw::holdOnce(fell + trace.hold->afterFallUs, trace.hold->forUs);
        }
        std::int32_t cm = 0;
        try {
            cm = getCM();
        } catch (std::exception const& e) {
            FAIL() << describe(seed, n, trace) << ": " << e.what();
        }
        auto const held = vw::endHold();
        std::uint64_t const heldUs = held ? held->second - held->first : 0;
        std::uint64_t const took = vw::nowUs() - began;
        ASSERT_EQ(vw::triggerLevel(), 0) << describe(seed, n, trace);
        ASSERT_LE(took, TRIGGER_PULSE_US + 2 * (ECHO_TIMEOUT_US + trace.readStep) + heldUs)
            << describe(seed, n, trace);

        // Reads close enough, and no hold near an edge: the reading must stand. Otherwise it
        // may be none, but any it gives is exact for the echo as the program could see it.
        std::uint64_t const from = held ? held->first - fell : 0;
        std::uint64_t const to = held ? held->second - fell : 0;
        if (trace.readStep * 2 <= STAMP_SLACK_US && !(held && heldAcrossAnEdge(trace, from, to))) {
            ASSERT_EQ(cm, expected(trace)) << describe(seed, n, trace);
        } else if (cm != NO_READING) {
            ASSERT_EQ(cm, expected(held ? unseenWhileHeld(trace, from, to) : trace))
                << describe(seed, n, trace) << ": held from " << from << " to " << to << " us";
        }
    }
}

}  // namespace
