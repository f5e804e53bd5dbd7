#include "mqtt/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool fits(int wrote, std::size_t size) {
    return wrote >= 0 && static_cast<std::size_t>(wrote) < size;
}

// Whether `line` opens a PEM block whose label ends with `label`.
bool begins(char const* line, char const* label) {
    constexpr char const* BEGIN = "-----BEGIN ";
    std::size_t const end = std::strcspn(line, "\r\n");
    std::size_t const labelEnd = end >= 5 ? end - 5 : 0;
    std::size_t const length = std::strlen(label);
    return std::strncmp(line, BEGIN, std::strlen(BEGIN)) == 0 && end >= 5 &&
           std::strncmp(line + labelEnd, "-----", 5) == 0 && labelEnd >= length &&
           std::strncmp(line + labelEnd - length, label, length) == 0;
}

}  // namespace

char const* fileToRead(char const* path, char (&copy)[PATH_MAX]) {
    char const* const credentials = std::getenv("CREDENTIALS_DIRECTORY");
    std::size_t const folder = std::strlen(CONFIG_FOLDER);
    if (credentials == nullptr || std::strncmp(path, CONFIG_FOLDER, folder) != 0 ||
        std::strchr(path + folder, '/') != nullptr) {
        return path;
    }
    return fits(std::snprintf(copy, sizeof copy, "%s/%s_%s", credentials, FOLDER_CREDENTIAL,
                              path + folder),
                sizeof copy)
               ? copy
               : path;
}

char const* pemProblem(char const* path, Pem kind, char (&why)[128]) {
    std::FILE* const file = std::fopen(path, "re");
    if (file == nullptr) {
        std::snprintf(why, sizeof why, "%s", std::strerror(errno));
        return why;
    }
    char const* const label = kind == Pem::CERTIFICATE ? "CERTIFICATE" : "PRIVATE KEY";
    bool found = false;
    // A key the publisher cannot unlock without asking someone for its passphrase.
    bool encrypted = false;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        found = found || begins(line, label);
        encrypted = encrypted || begins(line, "ENCRYPTED PRIVATE KEY") ||
                    std::strncmp(line, "Proc-Type: 4,ENCRYPTED", 22) == 0;
    }
    bool const failed = std::ferror(file) != 0;
    int const error = errno;
    std::fclose(file);
    if (failed) {
        std::snprintf(why, sizeof why, "%s", std::strerror(error));
    } else if (kind == Pem::PRIVATE_KEY && encrypted) {
        std::snprintf(why, sizeof why, "the key is encrypted: give it without a passphrase");
    } else if (!found) {
        std::snprintf(why, sizeof why, "it holds no PEM %s",
                      kind == Pem::CERTIFICATE ? "certificate" : "private key");
    } else {
        return nullptr;
    }
    return why;
}
