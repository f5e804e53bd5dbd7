#include "mqtt/readings.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "ranging/ranging.h"

extern char** environ;

bool parseReading(char const* line, int& reading) {
    if (std::strcmp(line, "-1") == 0) {
        reading = NO_READING;
        return true;
    }
    std::size_t const digits = std::strspn(line, "0123456789");
    if (digits == 0 || line[digits] != '\0') {
        return false;
    }
    errno = 0;
    long const value = std::strtol(line, nullptr, 10);
    if (errno != 0 || value > INT_MAX) {
        return false;
    }
    reading = static_cast<int>(value);
    return true;
}

pid_t startRangefinder(char const* program, int& out) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = -1;
    char* const arguments[] = {const_cast<char*>(program), nullptr};
    int const failed = posix_spawn(&child, program, &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    if (failed != 0) {
        close(ends[0]);
        errno = failed;
        return -1;
    }
    out = ends[0];
    return child;
}
