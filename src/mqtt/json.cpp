#include "mqtt/json.h"

#include <cstdarg>
#include <cstdio>

namespace {

[[gnu::format(printf, 2, 3)]] void append(Json& json, char const* format, ...) {
    if (!json.fits) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    int const wrote =
        std::vsnprintf(json.out + json.used, json.size - json.used, format, arguments);
    va_end(arguments);
    if (wrote < 0 || static_cast<std::size_t>(wrote) >= json.size - json.used) {
        json.fits = false;
        return;
    }
    json.used += static_cast<std::size_t>(wrote);
}

void appendString(Json& json, char const* text) {
    append(json, "\"");
    for (char const* c = text; *c != '\0'; ++c) {
        unsigned char const byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            append(json, "\\%c", *c);
        } else if (byte < 0x20) {
            append(json, "\\u%04x", byte);
        } else {
            append(json, "%c", *c);
        }
    }
    append(json, "\"");
}

// The separator and the key of a member.
void startMember(Json& json, char const* key) {
    if (!json.first) {
        append(json, ", ");
    }
    json.first = false;
    if (key != nullptr) {
        appendString(json, key);
        append(json, ": ");
    }
}

}  // namespace

void openObject(Json& json, char const* key) {
    if (key != nullptr) {
        startMember(json, key);
    }
    append(json, "{");
    json.first = true;
}

void closeObject(Json& json) {
    append(json, "}");
    json.first = false;
}

void addText(Json& json, char const* key, char const* text) {
    startMember(json, key);
    appendString(json, text);
}

void addNumber(Json& json, char const* key, int number) {
    startMember(json, key);
    append(json, "%d", number);
}

void addTextList(Json& json, char const* key, char const* text) {
    startMember(json, key);
    append(json, "[");
    appendString(json, text);
    append(json, "]");
}
