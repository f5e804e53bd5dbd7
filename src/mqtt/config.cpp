#include "mqtt/config.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int LINE_MAX_BYTES = 1024;

char* skipSpaces(char* text) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    return text;
}

// Cuts spaces, tabs and a carriage return (a file saved on Windows) from the end of `text`.
void trimEnd(char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) {
        text[--length] = '\0';
    }
}

[[gnu::format(printf, 3, 4)]] bool fail(ConfigProblem& problem, int line, char const* format, ...) {
    problem.line = line;
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(problem.why, sizeof problem.why, format, arguments);
    va_end(arguments);
    return false;
}

// `text` as a whole number from `low` to `high`, into `number`; false when it is not one.
bool parseNumber(char const* text, int low, int high, int& number) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long const value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) {
        return false;
    }
    number = static_cast<int>(value);
    return true;
}

struct Seen {
    int broker = 0, port = 0, username = 0, password = 0, cafile = 0, certfile = 0, keyfile = 0,
        delta = 0, heartbeat = 0, median = 0, near = 0, far = 0, empty = 0, full = 0;
};

// A pair of names that make sense only together, such as near= and far=: false, with the problem,
// when one is given without the other.
bool bothOrNeither(ConfigProblem& problem, char const* first, int firstLine, char const* second,
                   int secondLine) {
    if (firstLine != 0 && secondLine == 0) {
        return fail(problem, firstLine, "%s needs %s", first, second);
    }
    if (secondLine != 0 && firstLine == 0) {
        return fail(problem, secondLine, "%s needs %s", second, first);
    }
    return true;
}

}  // namespace

bool readConfig(std::FILE* in, MqttConfig& config, ConfigProblem& problem) {
    config = MqttConfig{};
    Seen seen;
    char text[LINE_MAX_BYTES];
    int number = 0;
    while (std::fgets(text, sizeof text, in) != nullptr) {
        ++number;
        if (std::strchr(text, '\n') == nullptr && !std::feof(in)) {
            return fail(problem, number, "the line is longer than %d bytes", LINE_MAX_BYTES - 2);
        }
        trimEnd(text);
        char* const name = skipSpaces(text);
        if (*name == '\0' || *name == '#') {
            continue;
        }
        char* const equals = std::strchr(name, '=');
        if (equals == nullptr || equals == name) {
            return fail(problem, number, "not a line of name=value");
        }
        *equals = '\0';
        trimEnd(name);
        char* const value = skipSpaces(equals + 1);
        struct Field {
            char const* name;
            int* seenOn;
            char* text;  // where a text goes, or null for a whole number
            int* whole;  // where a whole number goes
            int low, high;
            bool odd;
        };
        Field const fields[] = {
            {"broker", &seen.broker, config.broker, nullptr, 0, 0, false},
            {"port", &seen.port, nullptr, &config.port, 1, 65535, false},
            {"username", &seen.username, config.username, nullptr, 0, 0, false},
            {"password", &seen.password, config.password, nullptr, 0, 0, false},
            {"cafile", &seen.cafile, config.cafile, nullptr, 0, 0, false},
            {"certfile", &seen.certfile, config.certfile, nullptr, 0, 0, false},
            {"keyfile", &seen.keyfile, config.keyfile, nullptr, 0, 0, false},
            {"delta", &seen.delta, nullptr, &config.deltaCm, 0, DELTA_MAX_CM, false},
            {"heartbeat", &seen.heartbeat, nullptr, &config.heartbeatS, 0, HEARTBEAT_MAX_S, false},
            {"median", &seen.median, nullptr, &config.median, 1, MEDIAN_MAX, true},
            {"near", &seen.near, nullptr, &config.nearCm, 0, DISTANCE_MAX_CM, false},
            {"far", &seen.far, nullptr, &config.farCm, 0, DISTANCE_MAX_CM, false},
            {"empty", &seen.empty, nullptr, &config.emptyCm, 0, DISTANCE_MAX_CM, false},
            {"full", &seen.full, nullptr, &config.fullCm, 0, DISTANCE_MAX_CM, false}};
        Field const* field = nullptr;
        for (Field const& known : fields) {
            if (std::strcmp(known.name, name) == 0) {
                field = &known;
            }
        }
        if (field == nullptr) {
            // Only a name, never a value, may be shown.
            return fail(problem, number,
                        "unknown name '%.40s' (known: broker, port, username, password, cafile, "
                        "certfile, keyfile, delta, heartbeat, median, near, far, empty, full)",
                        name);
        }
        if (*field->seenOn != 0) {
            return fail(problem, number, "%s is given twice", field->name);
        }
        *field->seenOn = number;
        if (*value == '\0') {
            return fail(problem, number, "%s has no value", field->name);
        }
        if (std::strlen(value) > CONFIG_VALUE_MAX) {
            return fail(problem, number, "%s is longer than %d bytes", field->name,
                        CONFIG_VALUE_MAX);
        }
        if (field->text != nullptr) {
            std::strcpy(field->text, value);
        } else if (!parseNumber(value, field->low, field->high, *field->whole) ||
                   (field->odd && *field->whole % 2 == 0)) {
            return fail(problem, number, "%s must be %s number from %d to %d", field->name,
                        field->odd ? "an odd" : "a", field->low, field->high);
        }
    }
    if (std::ferror(in)) {
        return fail(problem, 0, "%s", std::strerror(errno));
    }
    if (seen.broker == 0) {
        return fail(problem, 0, "no broker: give its host name or address as broker=NAME");
    }
    if (seen.password != 0 && seen.username == 0) {
        return fail(problem, seen.password, "a password needs a username");
    }
    if (!bothOrNeither(problem, "near", seen.near, "far", seen.far) ||
        !bothOrNeither(problem, "empty", seen.empty, "full", seen.full) ||
        !bothOrNeither(problem, "certfile", seen.certfile, "keyfile", seen.keyfile)) {
        return false;
    }
    if (seen.certfile != 0 && seen.cafile == 0) {
        return fail(problem, seen.certfile,
                    "certfile needs cafile, for a client certificate is "
                    "shown only over TLS");
    }
    config.presence = seen.near != 0;
    if (config.presence && config.nearCm >= config.farCm) {
        return fail(problem, seen.near, "near must be below far");
    }
    config.level = seen.empty != 0;
    if (config.level && config.emptyCm == config.fullCm) {
        return fail(problem, seen.full, "empty and full must differ");
    }
    if (seen.port == 0 && seen.cafile != 0) {
        config.port = DEFAULT_TLS_PORT;
    }
    if (seen.median == 0 && config.heartbeatS == 0) {
        config.median = EVERY_READING_MEDIAN;
    }
    config.cafileLine = seen.cafile;
    config.certfileLine = seen.certfile;
    config.keyfileLine = seen.keyfile;
    return true;
}
