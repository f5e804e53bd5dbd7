#include "mqtt/identity.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

bool readShortHostName(char (&host)[NAME_MAX_BYTES]) {
    if (gethostname(host, sizeof host) != 0) {
        return false;
    }
    host[sizeof host - 1] = '\0';
    host[std::strcspn(host, ".")] = '\0';
    return true;
}

bool readMachineId(char (&id)[NAME_MAX_BYTES]) {
    std::FILE* const file = std::fopen(MACHINE_ID_FILE, "re");
    if (file == nullptr) {
        return false;
    }
    bool const read = std::fgets(id, sizeof id, file) != nullptr;
    int const why = std::ferror(file) ? errno : EINVAL;
    std::fclose(file);
    id[std::strcspn(id, "\n")] = '\0';
    std::size_t const digits = std::strspn(id, "0123456789abcdef");
    if (!read || digits != 32 || id[digits] != '\0') {
        errno = why;
        return false;
    }
    return true;
}
