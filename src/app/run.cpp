#include "app/run.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "app/standard_descriptors.h"
#include "hw/gpio.h"
#include "ranging/ranging.h"

namespace {

int cannotWrite(std::FILE* err, int why) {
    std::fprintf(err, "rangefinder: cannot write the readings: %s\n", std::strerror(why));
    return 1;
}

}  // namespace

int run(std::FILE* out, std::FILE* err) {
    // Before the GPIO is opened, so that its device can never take a standard descriptor.
    if (!isOpen(fileno(out))) {
        return cannotWrite(err, EBADF);
    }
    if (int const why = fillClosedStandardDescriptors(); why != 0) {
        std::fprintf(err, "rangefinder: cannot open /dev/null: %s\n", std::strerror(why));
        return 1;
    }
    if (!setup()) {
        int const why = errno;
        std::fprintf(err,
                     "rangefinder: cannot open the GPIO: %s (run it on a Raspberry Pi, as root or "
                     "as a user in the gpio group, which may open /dev/gpiomem, or /dev/gpiomem0 "
                     "on a Pi 5)\n",
                     why != 0 ? std::strerror(why) : "no GPIO hardware found");
        return 1;
    }
    for (;;) {
        std::int32_t const cm = getCM();
        // Each line is flushed at once so that a reader at the end of a pipe or file sees it now.
        if (std::fprintf(out, "%" PRId32 "\n", cm) < 0 || std::fflush(out) != 0) {
            return cannotWrite(err, errno);
        }
        delay(REPORT_PAUSE_MS);
    }
}
