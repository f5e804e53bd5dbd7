// The publisher's configuration file: lines of name=value, blank lines and # comments.
#pragma once

#include <cstdio>

#include "mqtt/median.h"

constexpr int DEFAULT_PORT = 1883;
constexpr int DEFAULT_TLS_PORT = 8883;
// The longest value a line may give, in bytes.
constexpr int CONFIG_VALUE_MAX = 255;
// A still object's readings waver by a centimetre, which 2 cm passes over; a minute is how often
// other programs for Home Assistant read their sensors unless told otherwise.
constexpr int DEFAULT_DELTA_CM = 2;
constexpr int DEFAULT_HEARTBEAT_S = 60;
constexpr int DELTA_MAX_CM = 1000;
constexpr int HEARTBEAT_MAX_S = 3600;
// A missed echo reads as nothing in range, about 655 cm, and a stray one short; a median of five
// keeps out a lone false reading and two in a row, at the price of a step going out two readings
// after the first that shows it. A heartbeat of 0 asks for every reading as it is read.
constexpr int DEFAULT_MEDIAN = 5;
constexpr int EVERY_READING_MEDIAN = 1;
// Past the farthest a module reads, for the edges of presence and the tank's depths.
constexpr int DISTANCE_MAX_CM = 1000;

struct MqttConfig {
    char broker[CONFIG_VALUE_MAX + 1] = "";
    int port = DEFAULT_PORT;
    char username[CONFIG_VALUE_MAX + 1] = "";
    char password[CONFIG_VALUE_MAX + 1] = "";
    // TLS: the CA of the broker's certificate, and this client's certificate and its key.
    char cafile[CONFIG_VALUE_MAX + 1] = "";
    char certfile[CONFIG_VALUE_MAX + 1] = "";
    char keyfile[CONFIG_VALUE_MAX + 1] = "";
    // Where each was given, to name the line when the file cannot be used.
    int cafileLine = 0;
    int certfileLine = 0;
    int keyfileLine = 0;
    int deltaCm = DEFAULT_DELTA_CM;
    int heartbeatS = DEFAULT_HEARTBEAT_S;
    int median = DEFAULT_MEDIAN;
    bool presence = false;  // near= and far= given
    int nearCm = 0;
    int farCm = 0;
    bool level = false;  // empty= and full= given
    int emptyCm = 0;
    int fullCm = 0;
};

// What is wrong with a file, and where: line 0 is the file as a whole.
struct ConfigProblem {
    int line = 0;
    char why[192] = "";
};

// Reads `in` into `config`; false, with the first problem found, when it is not a whole and
// valid configuration. Values are never quoted in a problem, for one may be a password.
bool readConfig(std::FILE* in, MqttConfig& config, ConfigProblem& problem);
