// The real program run as users run it: in a pipe, into a file, killed. Linked to the stand-in
// wiringPi library it reads in virtual time, so its output is checked exactly; with the
// simulator inside it runs in real time, where a busy machine may move any reading, so only
// what no processor stall can change is checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <thread>

#include "child_process.h"
#include "hw/operations.h"
#include "logged_call.h"
#include "ranging/ranging.h"

using namespace std::chrono_literals;

namespace {

// Longer than any of these waits takes unless the program is at fault.
constexpr auto PATIENCE = 5s;
// A busy machine can cost the simulator's readings, never all of these in a row.
constexpr int MOST_LINES_WITHOUT_A_DISTANCE = 20;
constexpr char const* SIMULATED =
    "rangefinder: these readings are simulated: this build has no wiringPi; install wiringPi and "
    "build again to read the module\n";

bool isDecimal(std::string const& line) {
    std::size_t const digits = line.rfind('-', 0) == 0 ? 1 : 0;
    return line.size() > digits &&
           line.find_first_not_of("0123456789", digits) == std::string::npos &&
           (line[digits] != '0' || line == "0");
}

bool diedOf(int signal, int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

bool exitedWith(int code, int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// The program to run, with whatever must launch it (an emulator), from the command line.
std::vector<std::string> program;

// A file of the test's own, removed however the test ends.
struct TempFile {
    TempFile() {
        int const fd = mkstemp(path);
        made = fd >= 0;
        if (made) {
            close(fd);
        }
    }
    ~TempFile() {
        if (made) {
            unlink(path);
        }
    }
    std::string contents() const {
        int const fd = open(path, O_RDONLY | O_CLOEXEC);
        std::string text = fd >= 0 ? readRest(fd) : "(unreadable)";
        close(fd);
        return text;
    }
    char path[32] = "/tmp/rangefinder-test-XXXXXX";
    bool made = false;
};

// Where one of a process's descriptors leads.
std::string target(pid_t pid, int fd) {
    char link[256] = {};
    std::string const path = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    return readlink(path.c_str(), link, sizeof link - 1) > 0 ? link : "(closed)";
}

struct Program : ::testing::Test {
    void SetUp() override { ASSERT_FALSE(program.empty()) << "name the program to run"; }
    void TearDown() override { finish(child); }
    Child child;
};

using StandIn = Program;
using EndToEnd = Program;

TEST_F(StandIn, PrintsEachEchoExactlyThroughAClockWrapAndRecoversFromLostOnesWhateverItsArguments) {
    std::vector<std::string> withArguments = program;
    withArguments.insert(withArguments.end(), {"--help", "-v", "42"});
    // The first echo rises 30320 us after set-up (a 30 ms settle, the 20 us trigger, 300 us), so
    // the clock wraps 500 us into it.
    child = start(withArguments,
                  {"FAKE_WIRINGPI_ECHOES=999 1 57 58 115 116 580 38000 none 580 stuck 580",
                   "FAKE_WIRINGPI_CLOCK=" + std::to_string(0u - 30320u - 500u)});
    std::vector<std::string> lines;
    for (int n = 0; n < 12; ++n) {
        auto const line = readLine(child, PATIENCE);
        ASSERT_TRUE(line) << "line " << n;
        lines.push_back(*line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"17", "0", "0", "1", "1", "2", "10", "655", "-1",
                                               "10", "-1", "10"}));
    close(child.out);
    child.out = -1;
    ASSERT_TRUE(waitFor(child, PATIENCE));
    EXPECT_EQ(readRest(child.err), "");
}

TEST_F(StandIn, GpioThatCannotOpenIsOneLineOnStandardErrorAndStatus1) {
    child = start(program, {"FAKE_WIRINGPI_SETUP_ERRNO=13", "WIRINGPI_CODES"});
    auto const status = waitFor(child, PATIENCE);
    ASSERT_TRUE(status);
    EXPECT_TRUE(exitedWith(1, *status)) << *status;
    EXPECT_EQ(readRest(child.out), "");
    EXPECT_EQ(readRest(child.err),
              "rangefinder: cannot open the GPIO: Permission denied (run it on a Raspberry Pi, as "
              "root or as a user in the gpio group, which may open /dev/gpiomem, or /dev/gpiomem0 "
              "on a Pi 5)\n");
}

TEST_F(StandIn, OutputThatCannotBeWrittenStopsItAtTheFirstReadingWithStatus1) {
    TempFile const calls;
    ASSERT_TRUE(calls.made);
    int const full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    child = start(program, {std::string("FAKE_WIRINGPI_CALLS_TO=") + calls.path}, full);
    close(full);
    auto const status = waitFor(child, PATIENCE);
    ASSERT_TRUE(status);
    EXPECT_TRUE(exitedWith(1, *status)) << *status;
    EXPECT_EQ(readRest(child.err),
              "rangefinder: cannot write the readings: No space left on device\n");
    // One trigger, and no pause after it: it never went on to a second reading.
    std::string const log = calls.contents();
    std::size_t const settled = log.find("delay(30)\n");
    ASSERT_NE(settled, std::string::npos) << log;
    EXPECT_EQ(log.substr(settled), "delay(30)\n" + vw::call("digitalWrite", TRIGGER_PIN, HIGH) +
                                       "\ndelayMicroseconds(20)\n" +
                                       vw::call("digitalWrite", TRIGGER_PIN, LOW) + "\n");
}

TEST_F(StandIn, NoReadingOrMessageGoesIntoTheGpioDeviceWhicheverStandardDescriptorIsClosed) {
    struct Case {
        std::vector<int> closed;
        char const* out;  // a file for its standard output, or a pipe
        std::optional<int> status;
        char const* err;
    };
    for (Case const& c : {
             Case{{STDOUT_FILENO},
                  nullptr,
                  1,
                  "rangefinder: cannot write the readings: Bad file descriptor\n"},
             // The message that standard output is full goes nowhere, rather than to the device.
             Case{{STDERR_FILENO}, "/dev/full", 1, ""},
             Case{{STDIN_FILENO, STDERR_FILENO}, nullptr, std::nullopt, ""},
         }) {
        finish(child);
        TempFile const device;
        ASSERT_TRUE(device.made);
        int const out = c.out != nullptr ? open(c.out, O_WRONLY | O_CLOEXEC) : -1;
        child = start(program, {std::string("FAKE_WIRINGPI_DEVICE=") + device.path}, out, c.closed);
        if (out >= 0) {
            close(out);
        }
        if (c.status) {
            auto const status = waitFor(child, PATIENCE);
            ASSERT_TRUE(status) << c.closed[0];
            EXPECT_TRUE(exitedWith(*c.status, *status)) << *status;
        } else {
            EXPECT_EQ(readLine(child, PATIENCE), "21");
            EXPECT_EQ(readLine(child, PATIENCE), "21");
            for (int fd : c.closed) {
                EXPECT_EQ(target(child.pid, fd), "/dev/null") << fd;
            }
        }
        EXPECT_EQ(readRest(child.err), c.err);
        EXPECT_EQ(device.contents(), "") << "descriptor " << c.closed[0] << " closed";
    }
}

TEST_F(EndToEnd, PrintsOnlyReadingsOneALineAtLeast300MsApart) {
    auto const started = Clock::now();
    child = start(program, {"RANGEFINDER_SIM_CM"});
    int distances = 0;
    for (int n = 0; n < MOST_LINES_WITHOUT_A_DISTANCE && distances < 2; ++n) {
        auto const line = readLine(child, PATIENCE);
        ASSERT_TRUE(line) << "line " << n;
        // A line may be seen late, never before it is written: so line n is seen no sooner than
        // n pauses after the start, however this test or the program was held up.
        EXPECT_GE(Clock::now() - started, n * 300ms) << "line " << n;
        // A stall can cost a reading (-1), but not change a line's shape.
        EXPECT_TRUE(isDecimal(*line)) << *line;
        EXPECT_GE(std::atoi(line->c_str()), -1) << *line;
        distances += *line != "-1";
    }
    EXPECT_EQ(distances, 2) << "a simulated module that gives no distances";
    kill(child.pid, SIGTERM);
    EXPECT_EQ(readRest(child.err), SIMULATED);
}

TEST_F(EndToEnd, EndsQuietlyWhenItsReaderGoesAway) {
    child = start(program, {"RANGEFINDER_SIM_CM=100"});
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(readLine(child, PATIENCE));
    }
    close(child.out);  // as `head -n 3` does when it exits
    child.out = -1;
    auto const status = waitFor(child, PATIENCE);
    ASSERT_TRUE(status) << "still running after its reader left";
    EXPECT_TRUE(diedOf(SIGPIPE, *status)) << *status;
    EXPECT_EQ(readRest(child.err), SIMULATED);
}

TEST_F(EndToEnd, InterruptOrTerminateEndsItEvenWhileItWaitsForAnEcho) {
    for (int signal : {SIGINT, SIGTERM}) {
        finish(child);
        child = start(program, {"RANGEFINDER_SIM_CM=absent"});
        ASSERT_EQ(readLine(child, PATIENCE), "-1");
        // After the 300 ms pause it waits up to 100 ms for an echo that never comes; a handler
        // that ended it only between readings would show in the status, not in the time.
        std::this_thread::sleep_for(350ms);
        kill(child.pid, signal);
        auto const status = waitFor(child, PATIENCE);
        ASSERT_TRUE(status) << "still running after signal " << signal;
        EXPECT_TRUE(diedOf(signal, *status)) << *status;
    }
}

TEST_F(EndToEnd, EachLineReachesAFileAsSoonAsItIsPrinted) {
    char path[] = "/tmp/rangefinder-e2e-XXXXXX";
    int const file = mkstemp(path);
    ASSERT_GE(file, 0);
    unlink(path);
    child = start(program, {"RANGEFINDER_SIM_CM=100"}, file);

    // Unflushed, three short lines would sit in a 4 kB buffer for minutes.
    std::string seen;
    auto const deadline = Clock::now() + PATIENCE;
    while (std::count(seen.begin(), seen.end(), '\n') < 3 && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        char chunk[64];
        ssize_t const n = pread(file, chunk, sizeof chunk, 0);
        seen.assign(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    EXPECT_GE(std::count(seen.begin(), seen.end(), '\n'), 3) << seen;
    EXPECT_FALSE(waitFor(child, 0ms)) << "it should still be running";
    close(file);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    program.assign(argv + 1, argv + argc);
    return RUN_ALL_TESTS();
}
