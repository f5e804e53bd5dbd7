#include "mqtt/median.h"

#include <algorithm>

std::optional<int> addDistance(MedianWindow& window, int size, int cm) {
    window.distances[window.next] = cm;
    window.next = (window.next + 1) % size;
    window.count = std::min(window.count + 1, size);
    if (window.count < size) {
        return std::nullopt;
    }
    int sorted[MEDIAN_MAX];
    std::copy(window.distances, window.distances + size, sorted);
    std::nth_element(sorted, sorted + size / 2, sorted + size);
    return sorted[size / 2];
}
