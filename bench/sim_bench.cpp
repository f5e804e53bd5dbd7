// The whole chain through the real-time simulator: how exact the readings are across the
// module's range, and how much processor time a reading takes.
//
//   rangefinder-bench-sim                        processor time
//   rangefinder-bench-sim accuracy LABEL FILE    stalls and the accuracy sweep, every echo
//                                                mid-centimetre, their lines labelled, with
//                                                each reading's distance and error, or "none",
//                                                in FILE
//   rangefinder-bench-sim spread LABEL FILE      the same with echoes spread evenly across
//                                                their centimetre; fails if a printed reading
//                                                is more than 1 cm off
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "hw/operations.h"
#include "hw/sim/scene.h"
#include "ranging/ranging.h"

namespace {

constexpr int READINGS = 20;
constexpr double PACE_MS = 300;
// Between the sweep's readings, so that like the program it leaves the processor now and then:
// at real-time priority, one that never did would be throttled by the kernel mid-echo.
constexpr unsigned SWEEP_PAUSE_MS = 5;

double msOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void placeObjectAt(double cm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", cm);
    setenv(SIM_DISTANCE_VARIABLE, text, 1);
    if (!setup()) {
        std::perror("rangefinder-bench-sim: setup");
        std::exit(1);
    }
}

struct Tally {
    int distances = 0;
    int readings = 0;
    int printed = 0;
    int exact = 0;      // equal to the echo's width W in whole centimetres, W / 58 truncated
    int withinOne = 0;  // within a centimetre of it
    int worst = 0;
};

// 41 distances from 2 to 400 cm, READINGS each. The simulator answers an object at d cm with an
// echo of d + 0.5 centimetres, so an object at a whole n puts every echo mid-centimetre, half a
// centimetre from either neighbour; spread, the r-th echo lies (r + 0.5) / READINGS of the way
// across its centimetre. Readings the program could not vouch for are counted apart, and
// written to `data` as "none".
Tally sweep(bool spread, std::FILE* data) {
    Tally t;
    for (int n = 2; n <= 400; n = n == 392 ? 400 : n + 10, ++t.distances) {
        for (int r = 0; r < READINGS; ++r, ++t.readings) {
            if (spread || r == 0) {
                placeObjectAt(spread ? n + (r + 0.5) / READINGS - 0.5 : n);
            }
            auto const truth = static_cast<int>(echoWidthNs(0) / (US_PER_CM * 1000));
            std::int32_t const cm = getCM();
            delay(SWEEP_PAUSE_MS);
            if (cm == NO_READING) {
                std::fprintf(data, "%d none\n", n);
                continue;
            }
            int const error = cm - truth;
            ++t.printed;
            t.exact += error == 0;
            t.withinOne += std::abs(error) <= 1;
            t.worst = std::abs(error) > t.worst ? std::abs(error) : t.worst;
            std::fprintf(data, "%d %d\n", n, error);
        }
    }
    return t;
}

double percent(int part, int whole) {
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

void measureAccuracy(char const* label, std::FILE* data) {
    Tally const t = sweep(false, data);
    std::printf(
        "accuracy %s\t%d distances from 2 to 400 cm, %d readings each, every echo "
        "mid-centimetre: %.1f%% printed as distances, %.1f%% of them exact, largest error %d cm\n",
        label, t.distances, READINGS, percent(t.printed, t.readings), percent(t.exact, t.printed),
        t.worst);
}

// What the program promises of any echo: each printed reading is W / 58 truncated, or, for a
// width within 29 us of a centimetre's edge, its neighbour. False when one was further off.
bool measureSpread(char const* label, std::FILE* data) {
    Tally const t = sweep(true, data);
    std::printf(
        "accuracy %s\t%d distances from 2 to 400 cm, %d readings each, echoes spread evenly "
        "across their centimetre: %.1f%% printed as distances, %.1f%% of them W/58 truncated, "
        "%.1f%% within 1 cm of it\n",
        label, t.distances, READINGS, percent(t.printed, t.readings), percent(t.exact, t.printed),
        percent(t.withinOne, t.printed));
    return t.withinOne == t.printed;
}

void measureCost(double cm) {
    placeObjectAt(cm);
    double cpu = 0;
    double wall = 0;
    for (int r = 0; r < READINGS; ++r) {
        double const cpuBefore = msOf(CLOCK_PROCESS_CPUTIME_ID);
        double const wallBefore = msOf(CLOCK_MONOTONIC);
        getCM();
        cpu += msOf(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
        wall += msOf(CLOCK_MONOTONIC) - wallBefore;
    }
    cpu /= READINGS;
    wall /= READINGS;
    std::printf(
        "cost %g cm\t%.3f ms of processor in %.3f ms per reading: %.1f%% of a core at "
        "the %g ms pace\n",
        cm, cpu, wall, 100 * cpu / (wall + PACE_MS), PACE_MS);
}

// A stall that spans an edge of the echo delays its timestamp, and one longer than STAMP_SLACK_US
// costs the reading: the program gives none rather than a wrong one. Counted in slices as long
// as the longest echo, with the sweep's pauses between them, as a reading is.
void measureStalls(char const* label) {
    constexpr int SLICES = 40;
    constexpr double SLICE_MS = 25;
    double const slackMs = STAMP_SLACK_US / 1000.0;
    int stalls = 0;
    for (int slice = 0; slice < SLICES; ++slice) {
        double const end = msOf(CLOCK_MONOTONIC) + SLICE_MS;
        for (double before = msOf(CLOCK_MONOTONIC), now; (now = msOf(CLOCK_MONOTONIC)) < end;
             before = now) {
            stalls += now - before > slackMs;
        }
        delay(SWEEP_PAUSE_MS);
    }
    std::printf("stalls %s\t%d a second of over %g us, in a loop that only reads the clock\n",
                label, static_cast<int>(stalls * 1000 / (SLICES * SLICE_MS)), slackMs * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    bool const spread = argc == 4 && std::strcmp(argv[1], "spread") == 0;
    if (spread || (argc == 4 && std::strcmp(argv[1], "accuracy") == 0)) {
        std::FILE* data = std::fopen(argv[3], "w");
        if (data == nullptr) {
            std::perror(argv[3]);
            return 1;
        }
        measureStalls(argv[2]);
        bool kept = true;
        if (spread) {
            kept = measureSpread(argv[2], data);
        } else {
            measureAccuracy(argv[2], data);
        }
        if (!kept) {
            std::fprintf(stderr,
                         "rangefinder-bench-sim: a printed reading was more than 1 cm off\n");
        }
        return std::fclose(data) == 0 && kept ? 0 : 1;
    }
    for (double cm : {1.0, 100.0, 400.0}) {
        measureCost(cm);
    }
    return 0;
}
