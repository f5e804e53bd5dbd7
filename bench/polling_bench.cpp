// What one pass of each of getCM's echo waits costs: a read, the time-out check and the loop,
// with reads that cost next to nothing. This is the driver's own share of the delay between an
// edge of the echo and its timestamp.
#include <benchmark/benchmark.h>

#include "instant_wiring.h"
#include "ranging/ranging.h"

namespace {

constexpr std::uint32_t POLLS = 100000;

void reportPerPoll(benchmark::State& state) {
    state.counters["s_per_poll"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * POLLS,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void waitForEchoToBegin(benchmark::State& state) {
    for (auto _ : state) {
        instant::script(POLLS, 1);
        benchmark::DoNotOptimize(getCM());
    }
    reportPerPoll(state);
}

void waitForEchoToEnd(benchmark::State& state) {
    for (auto _ : state) {
        instant::script(0, POLLS);
        benchmark::DoNotOptimize(getCM());
    }
    reportPerPoll(state);
}

}  // namespace

BENCHMARK(waitForEchoToBegin);
BENCHMARK(waitForEchoToEnd);
