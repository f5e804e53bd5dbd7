// A JSON object written member by member into a buffer of fixed size, its texts escaped.
#pragma once

#include <cstddef>

struct Json {
    char* out;
    std::size_t size;
    std::size_t used = 0;
    bool fits = true;   // false once anything did not fit
    bool first = true;  // nothing yet in the object now open
};

// Opens an object: the whole, for a null `key`, or a member of the one open.
void openObject(Json& json, char const* key = nullptr);
void closeObject(Json& json);
void addText(Json& json, char const* key, char const* text);
void addNumber(Json& json, char const* key, int number);
// A member that is a list of one text.
void addTextList(Json& json, char const* key, char const* text);
