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
    int broker = 0, port = 0, username = 0, password = 0, cafile = 0, delta = 0, heartbeat = 0;
};

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
        };
        Field const fields[] = {
            {"broker", &seen.broker, config.broker, nullptr, 0, 0},
            {"port", &seen.port, nullptr, &config.port, 1, 65535},
            {"username", &seen.username, config.username, nullptr, 0, 0},
            {"password", &seen.password, config.password, nullptr, 0, 0},
            {"cafile", &seen.cafile, config.cafile, nullptr, 0, 0},
            {"delta", &seen.delta, nullptr, &config.deltaCm, 0, DELTA_MAX_CM},
            {"heartbeat", &seen.heartbeat, nullptr, &config.heartbeatS, 0, HEARTBEAT_MAX_S}};
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
                        "delta, heartbeat)",
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
        } else if (!parseNumber(value, field->low, field->high, *field->whole)) {
            return fail(problem, number, "%s must be a number from %d to %d", field->name,
                        field->low, field->high);
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
    if (seen.port == 0 && seen.cafile != 0) {
        config.port = DEFAULT_TLS_PORT;
    }
    config.cafileLine = seen.cafile;
    return true;
}
