// Which readings the publisher sends, in virtual time: each row a trace of readings and the
// messages that must come of it, exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "mqtt/pace.h"

namespace {

using Timed = std::vector<std::pair<std::int64_t, int>>;  // (ms, reading or message)

constexpr PaceSettings EVERY_READING{0, 0};
constexpr PaceSettings DEFAULTS{2, 60};

Timed published(PaceSettings settings, Timed const& readings) {
    Timed messages;
    Pace pace = startPace(0);
    for (auto const& [ms, reading] : readings) {
        if (auto const value = paceReading(pace, settings, reading, ms)) {
            notePublished(pace, *value, ms);
            messages.emplace_back(ms, *value);
        }
    }
    return messages;
}

struct Row {
    char const* what;
    PaceSettings settings;
    Timed readings;
    Timed messages;
};

TEST(MqttPace, PublishesChangesAtOnceAndTheRestOnceAHeartbeat) {
    Row const rows[] = {
        {"every reading, the -1s too",
         EVERY_READING,
         {{0, 100}, {300, 100}, {600, -1}, {900, -1}, {1200, 101}},
         {{0, 100}, {300, 100}, {600, -1}, {900, -1}, {1200, 101}}},
        {"a still object wavering by 1 cm, a lone -1 among it",
         DEFAULTS,
         {{0, 100}, {300, 101}, {600, 100}, {900, -1}, {1200, 101}, {1500, 99}},
         {{0, 100}}},
        {"a change of delta goes out with its reading; less waits",
         DEFAULTS,
         {{0, 100}, {300, 101}, {600, 102}, {900, 131}, {1200, 130}},
         {{0, 100}, {600, 102}, {900, 131}}},
        {"the latest distance once a heartbeat, even on a -1",
         DEFAULTS,
         {{0, 100}, {30000, 101}, {60000, 101}, {60300, 100}, {119000, 101}, {120000, -1}},
         {{0, 100}, {60000, 101}, {120000, 101}}},
        {"-1 once no distance has come for a heartbeat, then a heartbeat's",
         DEFAULTS,
         {{0, 100},
          {30000, -1},
          {59900, -1},
          {60000, -1},
          {61000, -1},
          {120000, -1},
          {120300, 101}},
         {{0, 100}, {60000, -1}, {120000, -1}, {120300, 101}}},
        {"no module from the start", DEFAULTS, {{0, -1}, {59900, -1}, {60000, -1}}, {{60000, -1}}},
        {"every distance with delta 0, but no lone -1",
         {0, 60},
         {{0, 100}, {300, 100}, {600, -1}, {900, 100}},
         {{0, 100}, {300, 100}, {900, 100}}},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(published(row.settings, row.readings), row.messages);
    }
}

}  // namespace
