// What tells this Pi from the others on the same broker.
#pragma once

#include <cstddef>

constexpr char const* MACHINE_ID_FILE = "/etc/machine-id";
constexpr std::size_t NAME_MAX_BYTES = 256;

// The host name up to its first dot, as systemd's %l gives it; false with errno on failure.
bool readShortHostName(char (&host)[NAME_MAX_BYTES]);

// The machine ID's 32 hexadecimal digits; false with errno on failure (EINVAL: not an ID).
bool readMachineId(char (&id)[NAME_MAX_BYTES]);
