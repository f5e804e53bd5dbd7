// The median of the last few distances read, which a module's false readings, a missed echo or
// a stray one, do not move as long as they are fewer than half of them.
#pragma once

#include <optional>

constexpr int MEDIAN_MAX = 15;

struct MedianWindow {
    int distances[MEDIAN_MAX];
    int count = 0;  // how many it holds
    int next = 0;   // where the next goes: the oldest, once it is full
};

// Adds `cm` to a window of the last `size` distances (odd, 1 to MEDIAN_MAX); their median, once
// it holds that many.
std::optional<int> addDistance(MedianWindow& window, int size, int cm);
