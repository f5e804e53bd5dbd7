#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "ranging/ranging.h"
#include "virtual_wiring.h"

namespace {

using Calls = std::vector<std::string>;

struct Ranging : ::testing::Test {
    void SetUp() override { vw::reset(); }
};

TEST_F(Ranging, SetupOpensTheGpioFirstThenLeavesTheTriggerLowAndSettles) {
    ASSERT_TRUE(setup());
    EXPECT_EQ(vw::calls(), (Calls{"wiringPiSetup", "pinMode(0,1)", "pinMode(2,0)",
                                  "digitalWrite(0,0)", "delay(30)"}));
}

TEST_F(Ranging, SetupGoesNoFurtherWhenTheGpioCannotOpen) {
    vw::failSetup(EACCES);
    EXPECT_FALSE(setup());
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(vw::calls(), Calls{"wiringPiSetup"});
}

TEST_F(Ranging, TriggerIsHeldHighFor20UsThenLowered) {
    vw::queue(vw::pulse(300, 580));
    getCM();
    EXPECT_EQ(vw::calls(),
              (Calls{"digitalWrite(0,1)", "delayMicroseconds(20)", "digitalWrite(0,0)"}));
}

struct Case {
    std::uint32_t afterUs;
    std::uint32_t widthUs;
    std::int32_t cm;
};

TEST_F(Ranging, EchoWidthIsDividedBy58Truncating) {
    for (Case const c : {Case{300, 1, 0},
                         {300, 57, 0},
                         {300, 58, 1},
                         {300, 115, 1},
                         {300, 116, 2},
                         {300, 580, 10},
                         {300, 999, 17},
                         {300, 38000, 655},
                         {300, 99999, 1724},
                         {0, 580, 10},
                         {99000, 580, 10}}) {
        vw::reset();
        vw::queue(vw::pulse(c.afterUs, c.widthUs));
        EXPECT_EQ(getCM(), c.cm) << c.widthUs << " us after " << c.afterUs << " us";
        EXPECT_EQ(vw::triggerLevel(), 0);
    }
}

TEST_F(Ranging, ClockWrapBetweenStartAndEndGivesTheTrueWidth) {
    // The trigger falls at 20 us and the echo rises 300 us later, reading 2^32 - 6.
    vw::setClock(0u - 6u - 320u);
    vw::queue(vw::pulse(300, 106));
    EXPECT_EQ(getCM(), 1);

    for (std::uint32_t beforeWrap = 0; beforeWrap < 700; beforeWrap += 7) {
        vw::reset();
        vw::setClock(0u - beforeWrap);
        vw::queue(vw::pulse(300, 580));
        EXPECT_EQ(getCM(), 10) << "clock " << beforeWrap << " us short of the wrap";
    }
}

TEST_F(Ranging, EchoAlreadyHighReadsWhatIsLeftOfIt) {
    vw::queue(vw::Echo{1, {{600, 0}}});
    EXPECT_EQ(getCM(), 10);
}

TEST_F(Ranging, EchoThatNeverBeginsOrNeverEndsGivesNoEchoAndTheNextReadingRecovers) {
    for (vw::Echo const& fault : {vw::stuck(0), vw::stuck(1), vw::Echo{0, {{300, 1}}}}) {
        vw::reset();
        vw::queue(fault);
        vw::queue(vw::pulse(300, 580));
        EXPECT_EQ(getCM(), NO_ECHO);
        EXPECT_EQ(vw::triggerLevel(), 0);
        EXPECT_GE(vw::nowUs(), ECHO_TIMEOUT_US);
        EXPECT_LE(vw::nowUs(), 20 + 300 + ECHO_TIMEOUT_US + 2);
        EXPECT_EQ(getCM(), 10);
    }
}

}  // namespace
