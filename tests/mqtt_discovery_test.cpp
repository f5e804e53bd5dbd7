// The discovery configs read back as Home Assistant reads them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "mqtt/discovery.h"

namespace {

using nlohmann::json;

constexpr char const* ID = "0123456789abcdef0123456789abcdef";

json discoveryOf(char const* host, Entity entity = DISTANCE, int heartbeatS = 60) {
    Topics topics{};
    EXPECT_EQ(formatTopics(topics, host, ID), nullptr);
    return json::parse(formatDiscovery(entity, topics, "1.3.0", heartbeatS));
}

TEST(MqttDiscovery, AreEntitiesOfThisPiWithOnlyKeysHomeAssistantKeeps) {
    // Every key but those all share. A -1 shows as unknown, and 0 cm, touching the module, as 0.
    struct Case {
        Entity entity;
        char const* topic;
        char const* keys;
    };
    Case const cases[] = {
        {DISTANCE, "homeassistant/sensor/rangefinder_0123456789abcdef0123456789abcdef/config",
         R"({"name": "Distance", "unique_id": "rangefinder_0123456789abcdef0123456789abcdef",
             "default_entity_id": "sensor.rangefinder_kitchen",
             "state_topic": "rangefinder/kitchen/distance",
             "unit_of_measurement": "cm", "device_class": "distance", "state_class": "measurement",
             "value_template": "{{ value if value | int(-1) >= 0 else None }}"})"},
        {PRESENCE,
         "homeassistant/binary_sensor/rangefinder_0123456789abcdef0123456789abcdef_presence/config",
         R"({"name": "Presence",
             "unique_id": "rangefinder_0123456789abcdef0123456789abcdef_presence",
             "default_entity_id": "binary_sensor.rangefinder_kitchen_presence",
             "state_topic": "rangefinder/kitchen/presence", "device_class": "occupancy",
             "value_template": "{{ value if value in ('ON', 'OFF') else None }}"})"},
        {LEVEL, "homeassistant/sensor/rangefinder_0123456789abcdef0123456789abcdef_level/config",
         R"({"name": "Level", "unique_id": "rangefinder_0123456789abcdef0123456789abcdef_level",
             "default_entity_id": "sensor.rangefinder_kitchen_level",
             "state_topic": "rangefinder/kitchen/level",
             "unit_of_measurement": "%", "state_class": "measurement",
             "value_template": "{{ value if value | int(-1) >= 0 else None }}"})"},
    };
    // One key inside device that Home Assistant does not know makes it drop the whole config.
    json const shared = json::parse(R"({"availability_topic": "rangefinder/kitchen/availability",
        "expire_after": 65, "origin": {"name": "rangefinder", "sw_version": "1.3.0"},
        "device": {"identifiers": ["rangefinder_0123456789abcdef0123456789abcdef"],
                   "name": "rangefinder on kitchen", "sw_version": "1.3.0"}})");
    // A fully qualified host name names them as its first part does.
    Topics topics{};
    ASSERT_EQ(formatTopics(topics, "kitchen.example.org", ID), nullptr);
    for (Case const& each : cases) {
        SCOPED_TRACE(each.topic);
        EXPECT_STREQ(topics.discovery[each.entity], each.topic);
        json expected = json::parse(each.keys);
        expected.update(shared);
        EXPECT_EQ(discoveryOf("kitchen.example.org", each.entity), expected);
        // Unavailable only once a heartbeat, and a little more, has passed without a message.
        EXPECT_EQ(discoveryOf("kitchen", each.entity, 0)["expire_after"], 5);
    }
}

TEST(MqttDiscovery, StaysValidJsonForAnyHostName) {
    json const config = discoveryOf("a\"b\\c\td\xff");
    EXPECT_EQ(config["state_topic"], "rangefinder/a\"b\\c\td\xef\xbf\xbd/distance");
    EXPECT_EQ(config["device"]["name"], "rangefinder on a\"b\\c\td\xef\xbf\xbd");
}

TEST(MqttDiscovery, RefusesWhatCannotNameATopic) {
    struct Case {
        std::string host;
        char const* id;
        char const* why;
    };
    char const* const HOST = "the host name ";
    Case const cases[] = {
        {"", ID, "is empty"},
        {".example.org", ID, "is empty"},
        {"a+b", ID, "holds +, # or /, which an MQTT topic may not"},
        {"a#", ID, "holds +, # or /, which an MQTT topic may not"},
        {"a/b.example.org", ID, "holds +, # or /, which an MQTT topic may not"},
        {std::string(TOPIC_MAX - 20, 'a'), ID, "is too long for an MQTT topic"},
        {"kitchen", "0123456789abcdef0123456789abcde", nullptr},
        {"kitchen", "0123456789abcdef0123456789abcdef0", nullptr},
        {"kitchen", "0123456789ABCDEF0123456789abcdef", nullptr},
        {"kitchen", "", nullptr},
    };
    for (Case const& each : cases) {
        SCOPED_TRACE(each.host + " " + each.id);
        Topics topics{};
        char const* const why = formatTopics(topics, each.host.c_str(), each.id);
        ASSERT_NE(why, nullptr);
        EXPECT_EQ(why, each.why != nullptr ? HOST + std::string(each.why)
                                           : "the machine ID is not 32 hexadecimal digits");
    }
}

}  // namespace
