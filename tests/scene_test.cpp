// The simulated module keeps the module's contract, so that the simulator reads as a real
// module would.
#include <gtest/gtest.h>

#include <cstdlib>

#include "hw/sim/scene.h"
#include "ranging/ranging.h"

namespace {

constexpr std::uint64_t SECOND_NS = 1000000000;

std::int64_t echoUsFor(char const* setting, std::uint64_t atNs = 0) {
    if (setting == nullptr) {
        unsetenv(SIM_DISTANCE_VARIABLE);
    } else {
        setenv(SIM_DISTANCE_VARIABLE, setting, 1);
    }
    EXPECT_TRUE(loadScene()) << setting;
    return echoWidthNs(atNs) / 1000;
}

TEST(SimulatedModule, AWholeDistanceReadsAsItselfThroughAnyJitterUnderHalfACentimetre) {
    for (int cm : {0, 2, 57, 100, 200, 300, 399, 400}) {
        std::int64_t const echoUs = echoUsFor(std::to_string(cm).c_str());
        for (int jitterUs : {-28, 0, 28}) {
            EXPECT_EQ((echoUs + jitterUs) / US_PER_CM, cm) << jitterUs << " us off";
        }
    }
}

TEST(SimulatedModule, NothingInRangeHoldsTheEchoFor38Ms) {
    for (char const* far : {"400.5", "1000", "1000000"}) {
        EXPECT_EQ(echoUsFor(far), 38000) << far;
    }
    setenv(SIM_DISTANCE_VARIABLE, "absent", 1);
    ASSERT_TRUE(loadScene());
    EXPECT_LT(echoWidthNs(0), 0) << "no module, no echo";
}

TEST(SimulatedModule, UnpinnedTheObjectDriftsFrom10To250CmAndBackEvery24S) {
    EXPECT_EQ(echoUsFor(nullptr, 0) / US_PER_CM, 10);
    EXPECT_EQ(echoUsFor(nullptr, 12 * SECOND_NS) / US_PER_CM, 250);
    EXPECT_EQ(echoUsFor(nullptr, 24 * SECOND_NS) / US_PER_CM, 10);
    EXPECT_EQ(echoUsFor(nullptr, 30 * SECOND_NS) / US_PER_CM, 130);
}

TEST(SimulatedModule, AnUnusableSettingIsRefused) {
    for (char const* setting : {"", "far", "12cm", "-1", "1e7", "nan"}) {
        setenv(SIM_DISTANCE_VARIABLE, setting, 1);
        EXPECT_FALSE(loadScene()) << setting;
    }
}

}  // namespace
