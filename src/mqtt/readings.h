// The readings' source: rangefinder itself, run as a child whose standard output is a pipe.
#pragma once

#include <sys/types.h>

#include <cstddef>

// A reading line is a few digits; anything longer is no reading.
constexpr std::size_t READING_MAX = 32;

// A line that is a reading: -1, or a whole number of centimetres that fits in an int. False for
// anything else a program may print, which is no reading to publish.
bool parseReading(char const* line, int& reading);

// Starts `program` with its standard output on a pipe; its read end goes to `out`. Signals the
// caller blocks or ignores are unblocked and at their defaults in the child. Returns its PID, or
// -1 with errno set.
pid_t startRangefinder(char const* program, int& out);

// Splits what is read from the pipe into lines, across reads.
struct LineBuffer {
    char text[READING_MAX + 1];
    std::size_t length = 0;
    bool overlong = false;
};

// Feeds `size` bytes of `data`, calling `line(text)` for each whole line that fits, its newline
// left out; a longer line is dropped.
template <typename OnLine>
void splitLines(LineBuffer& buffer, char const* data, std::size_t size, OnLine line) {
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            if (!buffer.overlong) {
                buffer.text[buffer.length] = '\0';
                line(buffer.text);
            }
            buffer.length = 0;
            buffer.overlong = false;
        } else if (buffer.length < READING_MAX) {
            buffer.text[buffer.length++] = data[i];
        } else {
            buffer.overlong = true;
        }
    }
}
