// What tells this Pi from the others on the same broker.
#pragma once

#include <cstddef>

constexpr char const* MACHINE_ID_FILE = "/etc/machine-id";
constexpr std::size_t NAME_MAX_BYTES = 256;

// The host name, whole; false with errno on failure.
bool readHostName(char (&host)[NAME_MAX_BYTES]);

// The first line of the machine ID's file, whatever it holds; false with errno on failure.
bool readMachineId(char (&id)[NAME_MAX_BYTES]);
