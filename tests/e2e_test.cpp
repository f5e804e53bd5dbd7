// The real program, simulator inside, run as users run it: in a pipe, into a file, killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "child_process.h"

using namespace std::chrono_literals;

namespace {

bool isDecimal(std::string const& line) {
    std::size_t const digits = line.rfind('-', 0) == 0 ? 1 : 0;
    return line.size() > digits &&
           line.find_first_not_of("0123456789", digits) == std::string::npos &&
           (line[digits] != '0' || line == "0");
}

// The program to run, with whatever must launch it (an emulator), from the command line.
std::vector<std::string> program;

struct EndToEnd : ::testing::Test {
    void SetUp() override { ASSERT_FALSE(program.empty()) << "name the program to run"; }
    void TearDown() override { finish(child); }
    Child child;
};

TEST_F(EndToEnd, PrintsOnlyReadingsOneALineAtLeast300MsApart) {
    child = start(program, std::nullopt);
    std::optional<Clock::time_point> previous;
    for (int n = 0; n < 4; ++n) {
        auto const line = readLine(child, 2s);
        ASSERT_TRUE(line) << "line " << n;
        auto const at = Clock::now();
        ASSERT_TRUE(isDecimal(*line)) << *line;
        int const cm = std::atoi(line->c_str());
        // The simulated object drifts between 10 and 250 cm; a stall can move a reading a little.
        EXPECT_GE(cm, 0);
        EXPECT_LE(cm, 260);
        if (previous) {
            EXPECT_GE(at - *previous, 300ms) << "before line " << n;
        }
        previous = at;
    }
    kill(child.pid, SIGTERM);
    EXPECT_EQ(readErrors(child), "");
}

TEST_F(EndToEnd, PrintsThePinnedDistanceWhateverItsArguments) {
    std::vector<std::string> withArguments = program;
    withArguments.insert(withArguments.end(), {"--help", "-v", "42"});
    child = start(withArguments, "100");
    // A processor stall across an edge of the echo can move any one reading of a real-time
    // simulation, above all under an emulator, but hardly most of them.
    std::vector<int> readings;
    for (int n = 0; n < 5; ++n) {
        auto const line = readLine(child, 2s);
        ASSERT_TRUE(line);
        readings.push_back(std::atoi(line->c_str()));
    }
    std::nth_element(readings.begin(), readings.begin() + 2, readings.end());
    EXPECT_NEAR(readings[2], 100, 1) << "the median of five readings";
}

TEST_F(EndToEnd, EndsQuietlyWhenItsReaderGoesAway) {
    child = start(program, "100");
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(readLine(child, 2s));
    }
    close(child.out);  // as `head -n 3` does when it exits
    child.out = -1;
    auto const status = waitFor(child, 1s);
    ASSERT_TRUE(status) << "still running after its reader left";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGPIPE) << *status;
    EXPECT_EQ(readErrors(child), "");
}

TEST_F(EndToEnd, InterruptOrTerminateEndsItEvenWhileItWaitsForAnEcho) {
    for (int signal : {SIGINT, SIGTERM}) {
        finish(child);
        child = start(program, "absent");
        ASSERT_EQ(readLine(child, 2s), "-1");
        // After the 300 ms pause it waits up to 100 ms for an echo that never comes.
        std::this_thread::sleep_for(350ms);
        kill(child.pid, signal);
        auto const status = waitFor(child, 100ms);
        ASSERT_TRUE(status) << "still running 100 ms after signal " << signal;
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == signal) << *status;
    }
}

TEST_F(EndToEnd, EachLineReachesAFileAsSoonAsItIsPrinted) {
    char path[] = "/tmp/rangefinder-e2e-XXXXXX";
    int const file = mkstemp(path);
    ASSERT_GE(file, 0);
    unlink(path);
    child = start(program, "100", file);

    std::string seen;
    auto const deadline = Clock::now() + 3s;
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
