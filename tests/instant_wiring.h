// The seven GPIO operations at next to no cost, for timing the driver's own work: the echo reads
// low for a scripted number of reads, then high for a scripted number, then low again, and the
// clock stands still, so no wait ever times out.
#pragma once

#include <cstdint>

namespace instant {

void script(std::uint32_t lowReads, std::uint32_t highReads);

}  // namespace instant
