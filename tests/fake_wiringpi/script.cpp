// Scripts the stand-in library from its own environment variables, since the program linked to
// it takes no input:
//   FAKE_WIRINGPI_ECHOES       the echo answering each trigger in turn: a width in microseconds,
//                              "none" for one that never rises, "stuck" for one that never falls;
//                              the default echo follows once they are used up
//   FAKE_WIRINGPI_CLOCK        what micros() reads at start
//   FAKE_WIRINGPI_SETUP_ERRNO  wiringPiSetup fails with this errno
#include <cstdlib>
#include <sstream>
#include <string>

#include "virtual_wiring.h"

namespace {

constexpr std::uint32_t ECHO_AFTER_US = 300;

std::uint32_t numberIn(char const* variable) {
    char const* value = std::getenv(variable);
    return value != nullptr ? static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10)) : 0;
}

__attribute__((constructor)) void readScript() {
    vw::setClock(numberIn("FAKE_WIRINGPI_CLOCK"));
    vw::failSetup(static_cast<int>(numberIn("FAKE_WIRINGPI_SETUP_ERRNO")));
    char const* echoes = std::getenv("FAKE_WIRINGPI_ECHOES");
    std::istringstream words(echoes != nullptr ? echoes : "");
    for (std::string word; words >> word;) {
        if (word == "none") {
            vw::queue(vw::stuck(0));
        } else if (word == "stuck") {
            vw::queue(vw::Echo{0, {{ECHO_AFTER_US, 1}}});
        } else {
            vw::queue(vw::pulse(ECHO_AFTER_US, static_cast<std::uint32_t>(std::stoul(word))));
        }
    }
}

}  // namespace
