#include "hw/sim/scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The module's contract: 58 us of echo for every centimetre of distance.
constexpr std::int64_t ECHO_NS_PER_CM = 58000;
constexpr double MAX_RANGE_CM = 400;
constexpr std::int64_t NOTHING_IN_RANGE_ECHO_NS = 38000000;
// Anything further is nothing in range as well; the bound keeps the arithmetic finite.
constexpr double LARGEST_CM = 1e6;

// Unpinned, an object drifts back and forth so that the readings visibly change.
constexpr double DRIFT_NEAR_CM = 10;
constexpr double DRIFT_FAR_CM = 250;
constexpr std::uint64_t DRIFT_PERIOD_NS = 24000000000;

enum class Scene { drifting, pinned, absent };
Scene scene = Scene::drifting;
double pinnedCm = 0;

double driftingCm(std::uint64_t atNs) {
    std::uint64_t const half = DRIFT_PERIOD_NS / 2;
    std::uint64_t const phase = atNs % DRIFT_PERIOD_NS;
    std::uint64_t const out = phase < half ? phase : DRIFT_PERIOD_NS - phase;
    return DRIFT_NEAR_CM +
           (DRIFT_FAR_CM - DRIFT_NEAR_CM) * static_cast<double>(out) / static_cast<double>(half);
}

}  // namespace

bool loadScene() {
    char const* value = std::getenv(SIM_DISTANCE_VARIABLE);
    if (value == nullptr) {
        scene = Scene::drifting;
        return true;
    }
    if (std::strcmp(value, "absent") == 0) {
        scene = Scene::absent;
        return true;
    }
    char* end = nullptr;
    double const cm = std::strtod(value, &end);
    if (end == value || *end != '\0' || !(cm >= 0 && cm <= LARGEST_CM)) {
        std::fprintf(stderr,
                     "rangefinder: %s: '%s' is neither a distance in centimetres (0 to 1000000) "
                     "nor 'absent'\n",
                     SIM_DISTANCE_VARIABLE, value);
        return false;
    }
    scene = Scene::pinned;
    pinnedCm = cm;
    return true;
}

std::int64_t echoWidthNs(std::uint64_t atNs) {
    if (scene == Scene::absent) {
        return -1;
    }
    double const cm = scene == Scene::pinned ? pinnedCm : driftingCm(atNs);
    if (cm > MAX_RANGE_CM) {
        return NOTHING_IN_RANGE_ECHO_NS;
    }
    // Half a centimetre more than the contract: a whole distance then lies in the middle of its
    // centimetre, where a few microseconds of timing jitter cannot move the reading off it.
    return static_cast<std::int64_t>((cm + 0.5) * ECHO_NS_PER_CM + 0.5);
}
