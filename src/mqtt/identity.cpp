#include "mqtt/identity.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool readHostName(char (&host)[NAME_MAX_BYTES]) {
    if (gethostname(host, sizeof host) != 0) {
        return false;
    }
    host[sizeof host - 1] = '\0';
    return true;
}

bool readMachineId(char (&id)[NAME_MAX_BYTES]) {
    std::FILE* const file = std::fopen(MACHINE_ID_FILE, "re");
    if (file == nullptr) {
        return false;
    }
    id[0] = '\0';
    bool const read = std::fgets(id, sizeof id, file) != nullptr || !std::ferror(file);
    int const why = errno;
    std::fclose(file);
    id[std::strcspn(id, "\n")] = '\0';
    errno = why;
    return read;
}
