// The discovery config read back as Home Assistant reads it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "mqtt/discovery.h"

namespace {

using nlohmann::json;

constexpr char const* ID = "0123456789abcdef0123456789abcdef";

json discoveryOf(char const* host, int heartbeatS = 60) {
    Topics topics{};
    EXPECT_TRUE(formatTopics(topics, host, ID));
    char text[DISCOVERY_MAX];
    EXPECT_TRUE(formatDiscovery(text, sizeof text, topics, host, ID, "1.3.0", heartbeatS));
    return json::parse(text);
}

TEST(MqttDiscovery, IsASensorOfThisPiWithOnlyKeysHomeAssistantKeeps) {
    json const config = discoveryOf("kitchen");
    EXPECT_EQ(config["unique_id"], "rangefinder_0123456789abcdef0123456789abcdef");
    EXPECT_EQ(config["default_entity_id"], "sensor.rangefinder_kitchen");
    EXPECT_EQ(config["state_topic"], "rangefinder/kitchen/distance");
    EXPECT_EQ(config["availability_topic"], "rangefinder/kitchen/availability");
    EXPECT_EQ(config["unit_of_measurement"], "cm");
    EXPECT_EQ(config["device_class"], "distance");
    EXPECT_EQ(config["state_class"], "measurement");
    // Unavailable only once a heartbeat, and a little more, has passed without a message.
    EXPECT_EQ(config["expire_after"], 65);
    EXPECT_EQ(discoveryOf("kitchen", 0)["expire_after"], 5);
    EXPECT_FALSE(config.contains("object_id"));
    // One key inside device that Home Assistant does not know makes it drop the whole config.
    json const& device = config["device"];
    for (auto const& [key, value] : device.items()) {
        EXPECT_TRUE(key == "identifiers" || key == "name" || key == "sw_version") << key;
    }
    EXPECT_EQ(device["identifiers"], json::array({config["unique_id"]}));
    EXPECT_EQ(device["sw_version"], "1.3.0");
    EXPECT_EQ(config["origin"], json({{"name", "rangefinder"}, {"sw_version", "1.3.0"}}));
}

TEST(MqttDiscovery, StaysValidJsonForAnyHostName) {
    json const config = discoveryOf("a\"b\\c");
    EXPECT_EQ(config["state_topic"], "rangefinder/a\"b\\c/distance");
    EXPECT_EQ(config["device"]["name"], "rangefinder on a\"b\\c");
}

TEST(MqttDiscovery, RefusesAHostNameThatCannotNameATopic) {
    Topics topics{};
    for (char const* host : {"", "a+b", "a#", "a/b"}) {
        EXPECT_FALSE(formatTopics(topics, host, ID)) << host;
    }
}

}  // namespace
