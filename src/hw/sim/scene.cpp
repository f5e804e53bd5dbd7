#include "hw/sim/scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double SOUND_CM_PER_NS = 343.0 * 100 / 1e9;
constexpr double MAX_RANGE_CM = 400;
constexpr std::int64_t NOTHING_IN_RANGE_ECHO_NS = 38000000;

// Unpinned, an object drifts back and forth so that the readings visibly change.
constexpr double DRIFT_NEAR_CM = 10;
constexpr double DRIFT_FAR_CM = 250;
constexpr double DRIFT_PERIOD_S = 24;

enum class Scene { drifting, pinned, absent };
Scene scene = Scene::drifting;
double pinnedCm = 0;

double driftingCm(std::uint64_t atNs) {
    double const phase =
        std::fmod(static_cast<double>(atNs) / 1e9, DRIFT_PERIOD_S) / DRIFT_PERIOD_S;
    double const there = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
    return DRIFT_NEAR_CM + (DRIFT_FAR_CM - DRIFT_NEAR_CM) * there;
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
    if (end == value || *end != '\0' || !std::isfinite(cm) || cm < 0) {
        std::fprintf(stderr,
                     "rangefinder: %s: '%s' is neither a distance in centimetres nor 'absent'\n",
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
    return std::llround(2 * cm / SOUND_CM_PER_NS);
}
