#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hw/operations.h"
#include "ranging/ranging.h"
#include "virtual_wiring.h"

namespace {

using Calls = std::vector<std::string>;

struct Ranging : ::testing::Test {
    void SetUp() override { vw::reset(); }
};

TEST_F(Ranging, SetupOpensTheGpioFirstThenLeavesTheTriggerLowAndSettles) {
    ASSERT_TRUE(setup());
    EXPECT_EQ(vw::calls(), (Calls{"wiringPiSetup", vw::call("pinMode", TRIGGER_PIN, OUTPUT),
                                  vw::call("pinMode", ECHO_PIN, INPUT),
                                  vw::call("digitalWrite", TRIGGER_PIN, LOW), "delay(30)"}));
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
              (Calls{vw::call("digitalWrite", TRIGGER_PIN, HIGH), "delayMicroseconds(20)",
                     vw::call("digitalWrite", TRIGGER_PIN, LOW)}));
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
                         {300, ECHO_TIMEOUT_US, 1724},
                         {300, ECHO_TIMEOUT_US + 1, NO_READING},
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
        EXPECT_EQ(getCM(), NO_READING);
        EXPECT_EQ(vw::triggerLevel(), 0);
        EXPECT_GE(vw::nowUs(), ECHO_TIMEOUT_US);
        EXPECT_LE(vw::nowUs(), 20 + 300 + ECHO_TIMEOUT_US + 2);
        EXPECT_EQ(getCM(), 10);
    }
}

// Held off the processor: the trigger falls at 20 us, and an echo of 10.5 cm (609 us) rises 300
// us later, so at 320 us, and falls at 929 us. Reads are 1 us apart.
constexpr std::uint64_t RISE_US = 320;
constexpr std::uint64_t FALL_US = 929;
constexpr std::uint32_t MID_10_CM_US = 609;

std::int32_t readHeld(std::uint64_t atUs, std::uint64_t forUs, std::uint32_t clockAtStart = 0) {
    vw::reset();
    vw::setClock(clockAtStart);
    vw::queue(vw::pulse(300, MID_10_CM_US));
    vw::holdOnce(atUs, forUs);
    std::int32_t const cm = getCM();
    EXPECT_TRUE(vw::endHold()) << "never held";
    return cm;
}

TEST_F(Ranging, APauseAwayFromBothEdgesChangesNothingOneAcrossEitherGivesNoReading) {
    // A timestamp may be late by half a centimetre of echo, less the clock's truncation. Two
    // reads already pass between the clock reading before the last read of the old level and
    // the edge, so a pause two shorter than that at the edge is the longest that stays within.
    std::uint64_t const longest = US_PER_CM / 2 - 1 - 2;
    for (std::uint32_t clock : {0u, 0u - 500u, 0u - 900u}) {
        // Ending two reads or more before the rise, or inside the echo.
        for (auto const& [at, pause] : {std::pair<std::uint64_t, std::uint64_t>{100, longest + 1},
                                        {100, RISE_US - 100 - 3},
                                        {RISE_US + 1, FALL_US - RISE_US - 4}}) {
            EXPECT_EQ(readHeld(at, pause, clock), 10)
                << pause << " us at " << at << ", clock " << clock;
        }
        for (std::uint64_t edge : {RISE_US, FALL_US}) {
            for (std::uint64_t at : {edge - 3, edge - 1, edge}) {
                EXPECT_EQ(readHeld(at, longest, clock), 10) << "at " << at << ", clock " << clock;
                EXPECT_EQ(readHeld(at, longest + 1, clock), NO_READING)
                    << "at " << at << ", clock " << clock;
                EXPECT_EQ(readHeld(at, 5000, clock), NO_READING)
                    << "at " << at << ", clock " << clock;
            }
        }
    }
}

TEST_F(Ranging, AnyLongPauseAtTheEndOfTheEchoGivesNoReadingNeverAWrongOne) {
    // Held past the fall after the end wait's last time-out check: for 2 s, then for longer
    // than half the clock's range.
    for (std::uint64_t pause : {std::uint64_t{2000000}, (std::uint64_t{1} << 31) + 1000}) {
        EXPECT_EQ(readHeld(FALL_US - 1, pause), NO_READING) << pause;
        EXPECT_EQ(readHeld(FALL_US, pause), NO_READING) << pause;
    }
}

TEST_F(Ranging, AnEchoAcrossHalfTheClocksRangeReadsWithoutSignedOverflow) {
    vw::setClock((1u << 31) - RISE_US - 100);
    vw::queue(vw::pulse(300, MID_10_CM_US));
    EXPECT_EQ(getCM(), 10);
}

}  // namespace
