#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

void check(bool ok, char const* what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

void closeFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

Child start(std::vector<std::string> const& command, std::vector<std::string> const& settings,
            int outFd, std::vector<int> const& closed) {
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    check(pipe2(errPipe, O_CLOEXEC) == 0, "pipe");
    if (outFd < 0) {
        check(pipe2(outPipe, O_CLOEXEC) == 0, "pipe");
        outFd = outPipe[1];
    }

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, errPipe[1], STDERR_FILENO);
    for (int fd : closed) {
        posix_spawn_file_actions_addclose(&files, fd);
    }
    // The default actions for these signals, whatever the test runner inherited.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (auto const& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    // Each setting replaces whatever the test runner's environment has of that name.
    auto const named = [](std::string const& setting, char const* variable) {
        std::size_t const length = setting.find('=');
        return setting.compare(0, length, variable, std::strcspn(variable, "=")) == 0;
    };
    std::vector<char*> env;
    for (auto const& setting : settings) {
        if (setting.find('=') != std::string::npos) {
            env.push_back(const_cast<char*>(setting.c_str()));
        }
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
        bool const replaced =
            std::any_of(settings.begin(), settings.end(),
                        [&](auto const& setting) { return named(setting, *variable); });
        if (!replaced) {
            env.push_back(*variable);
        }
    }
    env.push_back(nullptr);

    Child child;
    int const failed =
        posix_spawnp(&child.pid, argv[0], &files, &attributes, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    closeFd(errPipe[1]);
    closeFd(outPipe[1]);
    check(failed == 0, "posix_spawnp");
    child.out = outPipe[0];
    child.err = errPipe[0];
    return child;
}

std::optional<std::string> readLine(Child& child, std::chrono::milliseconds timeout) {
    auto const deadline = Clock::now() + timeout;
    for (;;) {
        auto const newline = child.pending.find('\n');
        if (newline != std::string::npos) {
            std::string line = child.pending.substr(0, newline);
            child.pending.erase(0, newline + 1);
            return line;
        }
        auto const left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{child.out, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        char chunk[256];
        ssize_t const n = read(child.out, chunk, sizeof chunk);
        if (n <= 0) {
            return std::nullopt;
        }
        child.pending.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string readRest(int fd) {
    std::string text;
    char chunk[256];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

std::optional<int> waitFor(Child& child, std::chrono::milliseconds timeout) {
    auto const deadline = Clock::now() + timeout;
    do {
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            child.pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (Clock::now() < deadline);
    return std::nullopt;
}

void finish(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
        child.pid = -1;
    }
    closeFd(child.out);
    closeFd(child.err);
}
