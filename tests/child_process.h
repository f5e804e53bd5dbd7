// Runs the real program as a child process, the way a user's shell or script would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int out = -1;  // read end of its standard output, unless that went elsewhere
    int err = -1;  // read end of its standard error
    std::string pending;
};

// Starts `command` with its standard output on a pipe, or on `outFd` when one is given, and the
// descriptors in `closed` closed, in the test's environment changed by `settings`: "NAME=value"
// sets a variable, "NAME" unsets it.
Child start(std::vector<std::string> const& command, std::vector<std::string> const& settings,
            int outFd = -1, std::vector<int> const& closed = {});

// The next line of its standard output, without the newline; nothing at its end or after
// `timeout`.
std::optional<std::string> readLine(Child& child, std::chrono::milliseconds timeout);

// Everything left on one of its outputs, once that closes.
std::string readRest(int fd);

// Its wait status, or nothing if it is still running after `timeout`.
std::optional<int> waitFor(Child& child, std::chrono::milliseconds timeout);

// Ends it if it is still running and closes what is left open.
void finish(Child& child);
