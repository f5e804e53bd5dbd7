// Which readings the publisher sends, in virtual time: each row a trace of readings and the
// messages that must come of it, exactly; and how long it waits between tries to connect.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mqtt/config.h"
#include "mqtt/pace.h"
#include "mqtt/readings.h"
#include "mqtt/session.h"
#include "mqtt/states.h"

namespace {

// As the publisher was before its median, and with its default median.
PaceSettings const EVERY_READING{0, 0, 1, std::nullopt};
PaceSettings const TODAY{DEFAULT_DELTA_CM, DEFAULT_HEARTBEAT_S, 1, std::nullopt};
PaceSettings const DEFAULTS{DEFAULT_DELTA_CM, DEFAULT_HEARTBEAT_S, DEFAULT_MEDIAN, std::nullopt};
PaceSettings const GARAGE{DEFAULT_DELTA_CM, DEFAULT_HEARTBEAT_S, 1, Edges{50, 60}};

// The messages of `readings`, "MS:READING ...", a reading of C for the session connecting: as
// "MS:DISTANCE,presence=...,level=... ...", each part where it went out.
std::string published(PaceSettings const& settings, std::string const& readings,
                      std::optional<Tank> tank) {
    std::istringstream in(readings);
    std::string messages;
    Pace pace = startPace(0);
    std::int64_t ms = 0;
    char colon = 0;
    std::string reading;
    while (in >> ms >> colon >> reading) {
        if (reading == "C") {
            publishAgain(pace);
            continue;
        }
        int cm = 0;
        if (!parseReading(reading.c_str(), cm)) {
            continue;
        }
        Outgoing const out = paceReading(pace, settings, cm, ms);
        if (!out.distance && !out.presence) {
            continue;
        }
        notePublished(pace, out, ms);
        StateTexts const states = formatStates(out, tank);
        std::string said = states.text[DISTANCE];
        for (auto const& [entity, name] : {std::pair{PRESENCE, "presence="}, {LEVEL, "level="}}) {
            if (states.text[entity][0] != '\0') {
                said += (said.empty() ? "" : ",") + std::string(name) + states.text[entity];
            }
        }
        messages += (messages.empty() ? "" : " ") + std::to_string(ms) + ":" + said;
    }
    return messages;
}

struct Row {
    char const* what;
    PaceSettings settings;
    std::string readings;
    std::string messages;
    std::optional<Tank> tank = std::nullopt;
};

TEST(MqttPace, PublishesChangesAtOnceAndTheRestOnceAHeartbeat) {
    std::string const still = "0:100 300:101 600:100 900:101 1200:100 ";
    Row const rows[] = {
        {"every reading, the -1s too", EVERY_READING, "0:100 300:100 600:-1 900:-1 1200:101",
         "0:100 300:100 600:-1 900:-1 1200:101"},
        {"a still object wavering by 1 cm, a lone -1 among it", TODAY,
         "0:100 300:101 600:100 900:-1 1200:101 1500:99", "0:100"},
        {"a change of delta goes out with its reading; less waits", TODAY,
         "0:100 300:101 600:102 900:131 1200:130", "0:100 600:102 900:131"},
        {"the latest distance once a heartbeat, even on a -1", TODAY,
         "0:100 30000:101 60000:101 60300:100 119000:101 120000:-1", "0:100 60000:101 120000:101"},
        {"-1 once no distance has come for a heartbeat, then a heartbeat's", TODAY,
         "0:100 30000:-1 59900:-1 60000:-1 61000:-1 120000:-1 120300:101",
         "0:100 60000:-1 120000:-1 120300:101"},
        {"-1 a heartbeat after the last distance, though the latest went out since", TODAY,
         "0:100 50000:100 50300:-1 60000:-1 110000:-1", "0:100 60000:100 110000:-1"},
        {"the first distance after silence goes out at once, however large delta",
         {DELTA_MAX_CM, 60, 1, std::nullopt},
         "0:100 60000:-1 60300:100",
         "0:100 60000:-1 60300:100"},
        {"no module from the start", TODAY, "0:-1 59900:-1 60000:-1", "60000:-1"},
        {"lines that are no readings, though digits, one of them 2^32 + 100, are passed over",
         TODAY, "0:100 300:123456789012 600:4294967396 900:12x 1200:-2 1500:+1", "0:100"},
        {"heartbeat 0: each -1 goes out, and costs the median no distance, but 2 s of them do",
         {0, 0, DEFAULT_MEDIAN, std::nullopt},
         "0:100 300:100 600:-1 900:100 1200:100 1500:-1 1800:100 2100:101 2400:-1 2700:100 "
         "4600:-1 4700:-1 4800:40 5100:40",
         "600:-1 1500:-1 1800:100 2100:100 2400:-1 2700:100 4600:-1 4700:-1"},
        {"heartbeat 1: a -1 as the median fills is no silence; -1 a second after a distance",
         {DEFAULT_DELTA_CM, 1, DEFAULT_MEDIAN, std::nullopt},
         "0:100 300:100 600:100 900:100 1200:-1 1500:100 1800:-1 2100:-1 2400:-1 2700:-1 3000:101",
         "1500:100 2700:-1 3000:100"},
        {"heartbeat 60: a few -1s among distances cost the step nothing", DEFAULTS,
         still + "1500:-1 1800:-1 2100:130 2400:-1 2700:131 3000:130", "1200:100 3000:130"},
        {"every distance with delta 0, but no lone -1",
         {0, 60, 1, std::nullopt},
         "0:100 300:100 600:-1 900:100",
         "0:100 300:100 900:100"},
        {"the median of five: lone false readings and two in a row never go out", DEFAULTS,
         still + "1500:655 1800:100 2100:3 2400:101 2700:655 3000:655 3300:100 3600:101 3900:100 "
                 "4200:-1 4500:4 4800:5 5100:101 5400:100",
         "1200:100"},
        {"a step goes out with the third reading that shows it", DEFAULTS,
         still + "1500:130 1800:131 2100:130", "1200:100 2100:130"},
        {"after a heartbeat of silence the median takes only what comes after it", DEFAULTS,
         still + "61200:-1 61500:40 61800:40 62100:40 62400:41 62700:40",
         "1200:100 61200:-1 62700:40"},
        {"presence: on at near, off beyond far, as it was between; unknown with the distance",
         GARAGE,
         "0:100 300:55 600:51 900:50 1200:51 1500:55 1800:60 2100:61 2400:60 2700:50 62700:-1 "
         "63000:55",
         "0:100,presence=OFF 300:55,presence=OFF 600:51,presence=OFF 900:presence=ON "
         "1500:55,presence=ON 1800:60,presence=ON 2100:presence=OFF 2700:50,presence=ON "
         "62700:-1,presence=unknown 63000:55,presence=OFF"},
        {"after a connection all goes out at once, and again once it can have been heard", GARAGE,
         "0:C 0:100 300:101 1900:100 2000:101 2300:100 4000:C 5000:101 6900:100 7000:101 9000:100",
         "0:100,presence=OFF 2000:101,presence=OFF 5000:101,presence=OFF 7000:101,presence=OFF"},
        {"the level of a tank with the module above it, in whole percent within 0 to 100", TODAY,
         "0:120 300:130 600:70 900:20 1200:0 1500:45 61500:-1",
         "0:120,level=0 300:130,level=0 600:70,level=50 900:20,level=100 1200:0,level=100 "
         "1500:45,level=75 61500:-1,level=-1",
         Tank{120, 20}},
        {"the level rounded, of a tank with the module below it", TODAY, "0:80 300:90 600:75",
         "0:80,level=33 300:90,level=67 600:75,level=17", Tank{70, 100}},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(published(row.settings, row.readings, row.tank), row.messages);
    }
}

TEST(MqttRetry, WaitsLongerEachTryAndStartsAgainAfterEachConnection) {
    struct Case {
        char const* what;
        char const* tries;  // each f (failed), c (connected, to lose it later) or r (refused)
        std::vector<int> waits;
    };
    Case const cases[] = {
        {"a broker that is down", "fffffff", {1, 2, 4, 8, 16, 30, 30}},
        {"each outage from the start", "ffcffcf", {1, 2, 1, 2, 4, 1, 2}},
        {"a refusal at the slowest pace", "rfc", {30, 30, 1}},
    };
    for (Case const& each : cases) {
        SCOPED_TRACE(each.what);
        std::vector<int> waits;
        int wait = 0;
        for (char const* tried = each.tries; *tried != '\0'; ++tried) {
            waits.push_back(wait = nextRetryWaitS(wait, *tried == 'c', *tried == 'r'));
        }
        EXPECT_EQ(waits, each.waits);
    }
}

}  // namespace
