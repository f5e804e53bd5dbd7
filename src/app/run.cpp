#include "app/run.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "hw/gpio.h"
#include "ranging/ranging.h"

int run(std::FILE* out, std::FILE* err) {
    if (!setup()) {
        int const why = errno;
        std::fprintf(err,
                     "rangefinder: cannot open the GPIO: %s (run it on a Raspberry Pi, as root or "
                     "as a user in the gpio group, which may open /dev/gpiomem)\n",
                     why != 0 ? std::strerror(why) : "no GPIO hardware found");
        return 1;
    }
    for (;;) {
        std::int32_t const cm = getCM();
        // Each line is flushed at once so that a reader at the end of a pipe or file sees it now.
        if (std::fprintf(out, "%" PRId32 "\n", cm) < 0 || std::fflush(out) != 0) {
            std::fprintf(err, "rangefinder: cannot write the readings: %s\n", std::strerror(errno));
            return 1;
        }
        delay(REPORT_PAUSE_MS);
    }
}
