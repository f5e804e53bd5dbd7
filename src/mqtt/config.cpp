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

// The port as a number from 1 to 65535, or 0 when it is not one.
int parsePort(char const* text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) {
        return 0;
    }
    char* end = nullptr;
    errno = 0;
    long const port = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0' && port >= 1 && port <= 65535 ? static_cast<int>(port) : 0;
}

struct Seen {
    int broker = 0, port = 0, username = 0, password = 0, cafile = 0;
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
            char* text;  // where the value goes, or null for the port
        };
        Field const fields[] = {{"broker", &seen.broker, config.broker},
                                {"port", &seen.port, nullptr},
                                {"username", &seen.username, config.username},
                                {"password", &seen.password, config.password},
                                {"cafile", &seen.cafile, config.cafile}};
        Field const* field = nullptr;
        for (Field const& known : fields) {
            if (std::strcmp(known.name, name) == 0) {
                field = &known;
            }
        }
        if (field == nullptr) {
            // Only a name, never a value, may be shown.
            return fail(problem, number,
                        "unknown name '%.40s' (known: broker, port, username, password, cafile)",
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
        } else if ((config.port = parsePort(value)) == 0) {
            return fail(problem, number, "port must be a number from 1 to 65535");
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
