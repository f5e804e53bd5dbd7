// The publisher's configuration file, line by line, and what it says of each fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "mqtt/config.h"

namespace {

struct Read {
    bool valid;
    MqttConfig config;
    ConfigProblem problem;
};

Read readText(std::string const& text) {
    Read read{};
    std::FILE* const in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    read.valid = readConfig(in, read.config, read.problem);
    std::fclose(in);
    return read;
}

struct Faulty {
    std::string text;
    int line;
    char const* why;
};

TEST(MqttConfig, NamesTheLineAndTheFaultWithoutShowingAValue) {
    std::string const longValue(CONFIG_VALUE_MAX + 1, 'x');
    std::string const longLine(2000, 'x');
    Faulty const faults[] = {
        {"broker=a\nbrokr=b\n", 2,
         "unknown name 'brokr' (known: broker, port, username, password, cafile, certfile, "
         "keyfile, delta, heartbeat, median, near, far, empty, full)"},
        {"broker=a\ncafile=/ca\ncertfile=/c\n", 3, "certfile needs keyfile"},
        {"broker=a\nkeyfile=/k\ncafile=/ca\n", 2, "keyfile needs certfile"},
        {"broker=a\nkeyfile=/k\ncertfile=/c\n", 3,
         "certfile needs cafile, for a client certificate is shown only over TLS"},
        {"# a comment\nbroker a\n", 2, "not a line of name=value"},
        {"=secret\n", 1, "not a line of name=value"},
        {"broker=a\nport=http\n", 2, "port must be a number from 1 to 65535"},
        {"broker=a\nport=0\n", 2, "port must be a number from 1 to 65535"},
        {"broker=a\nport=65536\n", 2, "port must be a number from 1 to 65535"},
        {"broker=a\nport=-1\n", 2, "port must be a number from 1 to 65535"},
        {"broker=a\nport=1883x\n", 2, "port must be a number from 1 to 65535"},
        {"broker=a\ndelta=-1\n", 2, "delta must be a number from 0 to 1000"},
        {"broker=a\ndelta=1.5\n", 2, "delta must be a number from 0 to 1000"},
        {"broker=a\nheartbeat=3601\n", 2, "heartbeat must be a number from 0 to 3600"},
        {"broker=a\nheartbeat=1m\n", 2, "heartbeat must be a number from 0 to 3600"},
        {"broker=a\nmedian=4\n", 2, "median must be an odd number from 1 to 15"},
        {"broker=a\nmedian=0\n", 2, "median must be an odd number from 1 to 15"},
        {"broker=a\nmedian=17\n", 2, "median must be an odd number from 1 to 15"},
        {"broker=a\nmedian=five\n", 2, "median must be an odd number from 1 to 15"},
        {"broker=a\nnear=1001\nfar=1002\n", 2, "near must be a number from 0 to 1000"},
        {"broker=a\nnear=50\nfar=60.5\n", 3, "far must be a number from 0 to 1000"},
        {"broker=a\nempty=-20\nfull=20\n", 2, "empty must be a number from 0 to 1000"},
        {"broker=a\nfar=60\nnear=60\n", 3, "near must be below far"},
        {"broker=a\nnear=70\nfar=60\n", 2, "near must be below far"},
        {"broker=a\n\nnear=50\n", 3, "near needs far"},
        {"broker=a\nfar=50\n", 2, "far needs near"},
        {"broker=a\nempty=150\n", 2, "empty needs full"},
        {"full=20\nbroker=a\n", 1, "full needs empty"},
        {"broker=a\nempty=150\nfull=150\n", 3, "empty and full must differ"},
        {"broker=a\nbroker=b\n", 2, "broker is given twice"},
        {"broker=  \n", 1, "broker has no value"},
        {"port=1883\n", 0, "no broker: give its host name or address as broker=NAME"},
        {"", 0, "no broker: give its host name or address as broker=NAME"},
        {"broker=a\n\npassword=secret\n", 3, "a password needs a username"},
        {"broker=a\npassword=" + longValue + "\n", 2, "password is longer than 255 bytes"},
        {"broker=a\n# " + longLine + "\n", 2, "the line is longer than 1022 bytes"},
    };
    for (Faulty const& fault : faults) {
        SCOPED_TRACE(fault.text);
        Read const read = readText(fault.text);
        EXPECT_FALSE(read.valid);
        EXPECT_EQ(read.problem.line, fault.line);
        EXPECT_STREQ(read.problem.why, fault.why);
    }
}

TEST(MqttConfig, TakesSpacesCommentsAndValuesToTheEndOfTheLine) {
    Read const read = readText(
        "# the broker of Home Assistant\n"
        "\n"
        "   \t\n"
        "  broker = homeassistant.local  \r\n"
        "\tusername\t=\tpi\t\n"
        "password =  two words # and a hash=sign\n"
        "cafile=/etc/rangefinder/ca.crt\n"
        "certfile=/etc/rangefinder/pi.crt\nkeyfile=/etc/rangefinder/pi.key\n"
        "delta=0\n"
        "heartbeat = 3600\n"
        "median = 15\n"
        "near=0\nfar=1000\n"
        "empty=20\nfull=150\n"
        "port = 8884");
    ASSERT_TRUE(read.valid) << read.problem.line << ": " << read.problem.why;
    EXPECT_STREQ(read.config.broker, "homeassistant.local");
    EXPECT_STREQ(read.config.username, "pi");
    EXPECT_STREQ(read.config.password, "two words # and a hash=sign");
    EXPECT_STREQ(read.config.cafile, "/etc/rangefinder/ca.crt");
    EXPECT_EQ(read.config.cafileLine, 7);
    EXPECT_STREQ(read.config.certfile, "/etc/rangefinder/pi.crt");
    EXPECT_EQ(read.config.keyfileLine, 9);
    EXPECT_EQ(read.config.port, 8884);
    EXPECT_EQ(read.config.deltaCm, 0);
    EXPECT_EQ(read.config.heartbeatS, 3600);
    EXPECT_EQ(read.config.median, 15);
    EXPECT_TRUE(read.config.presence);
    EXPECT_EQ(read.config.nearCm, 0);
    EXPECT_EQ(read.config.farCm, 1000);
    EXPECT_TRUE(read.config.level);
    EXPECT_EQ(read.config.emptyCm, 20);
    EXPECT_EQ(read.config.fullCm, 150);
    // Every reading as it is read, as the heartbeat of 0 has always meant, unless the file says.
    EXPECT_EQ(readText("broker=a\n").config.median, DEFAULT_MEDIAN);
    EXPECT_EQ(readText("broker=a\nheartbeat=0\n").config.median, 1);
    EXPECT_EQ(readText("broker=a\nmedian=5\nheartbeat=0\n").config.median, 5);
}

TEST(MqttConfig, PortDefaultsToTheTlsPortWithACaFile) {
    struct Case {
        char const* text;
        int port;
    };
    Case const cases[] = {{"broker=a\n", DEFAULT_PORT},
                          {"broker=a\ncafile=/ca.crt\n", DEFAULT_TLS_PORT},
                          {"broker=a\ncafile=/ca.crt\nport=1883\n", 1883},
                          {"broker=a\nusername=anonymous-allowed\n", DEFAULT_PORT}};
    for (Case const& each : cases) {
        SCOPED_TRACE(each.text);
        Read const read = readText(each.text);
        ASSERT_TRUE(read.valid) << read.problem.why;
        EXPECT_EQ(read.config.port, each.port);
    }
}

}  // namespace
