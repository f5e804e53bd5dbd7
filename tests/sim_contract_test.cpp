// The real-time simulator keeps the library's and the module's contract. Only what no stall of
// this process can break is checked: a stall can delay a read, never make one wrong.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "hw/operations.h"
#include "hw/sim/scene.h"
#include "ranging/ranging.h"

namespace {

constexpr int ATTEMPTS = 20;

std::int64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

// One reading of micros() and the monotonic clock's readings on either side of it.
struct Bracket {
    std::int64_t before;
    unsigned micros;
    std::int64_t after;
};

Bracket bracketMicros() {
    std::int64_t const before = monotonicUs();
    unsigned const us = micros();
    return {before, us, monotonicUs()};
}

// Whether the echo reads high at any time within `forUs` of now.
bool echoRisesWithin(std::int64_t forUs) {
    for (std::int64_t const end = monotonicUs() + forUs; monotonicUs() < end;) {
        if (digitalRead(ECHO_PIN) == HIGH) {
            return true;
        }
    }
    return false;
}

struct SimulatedLibrary : ::testing::Test {
    void SetUp() override {
        setenv(SIM_DISTANCE_VARIABLE, "100", 1);
        ASSERT_EQ(wiringPiSetup(), 0);
    }
};

TEST_F(SimulatedLibrary, MicrosCountsTheMicrosecondsOfTheMonotonicClock) {
    Bracket const first = bracketMicros();
    delay(30);
    Bracket const last = bracketMicros();
    // The clock's count lies between the shortest and the longest the interval can have been,
    // each off by one for truncation; so its rate is exact to a few parts in ten thousand.
    std::int64_t const counted = last.micros - first.micros;
    EXPECT_GE(counted, last.before - first.after - 1);
    EXPECT_LE(counted, last.after - first.before + 1);
    EXPECT_GE(last.before - first.after, 30000) << "delay(30) returned early";
}

TEST_F(SimulatedLibrary, OnlyATriggerPinSetAsOutputAndAnEchoPinSetAsInputWork) {
    auto const triggered = [] {
        digitalWrite(TRIGGER_PIN, HIGH);
        delayMicroseconds(20);
        digitalWrite(TRIGGER_PIN, LOW);
        return echoRisesWithin(10000);
    };
    pinMode(TRIGGER_PIN, INPUT);
    pinMode(ECHO_PIN, INPUT);
    EXPECT_FALSE(triggered()) << "a trigger pin left as an input was driven";
    pinMode(TRIGGER_PIN, OUTPUT);
    pinMode(ECHO_PIN, OUTPUT);
    EXPECT_FALSE(triggered()) << "an echo pin set as an output was read";
    delay(10);  // past the echo of 100 cm that trigger started
    pinMode(ECHO_PIN, INPUT);
    bool answered = false;
    for (int n = 0; n < ATTEMPTS && !answered; ++n) {
        answered = triggered();
        delay(10);
    }
    EXPECT_TRUE(answered) << "no echo to a trigger of 20 us";
}

TEST_F(SimulatedLibrary, ATriggerShorterThan10UsGetsNoEcho) {
    pinMode(TRIGGER_PIN, OUTPUT);
    pinMode(ECHO_PIN, INPUT);
    int shortOnes = 0;
    for (int n = 0; n < ATTEMPTS; ++n) {
        std::int64_t const before = monotonicUs();
        digitalWrite(TRIGGER_PIN, HIGH);
        digitalWrite(TRIGGER_PIN, LOW);
        // Held up between the two writes, the trigger may have been long enough after all.
        if (monotonicUs() - before < 10) {
            ++shortOnes;
            EXPECT_FALSE(echoRisesWithin(5000)) << "attempt " << n;
        }
        delay(10);
    }
    if (shortOnes == 0) {
        GTEST_SKIP() << "every trigger was held up past 10 us";
    }
}

}  // namespace
