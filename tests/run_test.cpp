#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/run.h"
#include "virtual_wiring.h"

namespace {

// What has reached the file itself, leaving out anything still in the stream's buffer.
std::string written(std::FILE* file) {
    std::string text;
    char chunk[256];
    off_t at = 0;
    for (ssize_t n; (n = pread(fileno(file), chunk, sizeof chunk, at)) > 0; at += n) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

struct Run : ::testing::Test {
    void SetUp() override {
        vw::reset();
        ASSERT_NE(out, nullptr);
        ASSERT_NE(err, nullptr);
        std::setvbuf(err, nullptr, _IONBF, 0);  // unbuffered, as standard error is
    }
    void TearDown() override {
        std::fclose(out);
        std::fclose(err);
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
};

TEST_F(Run, EachReadingIsALineFlushedBeforeItsPause) {
    for (vw::Echo const& echo : {vw::pulse(300, 10), vw::pulse(300, 58), vw::stuck(0),
                                 vw::pulse(300, 38000), vw::pulse(300, 999)}) {
        vw::queue(echo);
    }
    std::vector<std::string> seenAtEachPause;
    vw::onDelay([&] { seenAtEachPause.push_back(written(out)); });
    vw::stopAfterDelays(6);

    EXPECT_THROW(run(out, err), vw::Stopped);

    EXPECT_EQ(seenAtEachPause,
              (std::vector<std::string>{"", "0\n", "0\n1\n", "0\n1\n-1\n", "0\n1\n-1\n655\n",
                                        "0\n1\n-1\n655\n17\n"}));
    std::vector<std::string> pauses;
    for (auto const& call : vw::calls()) {
        if (call.rfind("delay(", 0) == 0) {
            pauses.push_back(call);
        }
    }
    EXPECT_EQ(pauses, (std::vector<std::string>{"delay(30)", "delay(300)", "delay(300)",
                                                "delay(300)", "delay(300)", "delay(300)"}));
    EXPECT_EQ(written(err), "");
}

TEST_F(Run, GpioThatCannotOpenForNoGivenReasonSaysNoneWasFoundNotAStaleReason) {
    vw::failSetup(0);
    errno = EBADF;
    EXPECT_EQ(run(out, err), 1);
    EXPECT_EQ(written(err),
              "rangefinder: cannot open the GPIO: no GPIO hardware found (run it on a Raspberry "
              "Pi, as root or as a user in the gpio group, which may open /dev/gpiomem, or "
              "/dev/gpiomem0 on a Pi 5)\n");
    EXPECT_EQ(written(out), "");
}

}  // namespace
