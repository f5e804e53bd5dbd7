#include "app/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

bool isOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

int fillClosedStandardDescriptors() {
    // In this order each open takes the lowest free descriptor, which is the closed one.
    for (int const fd : {STDIN_FILENO, STDERR_FILENO}) {
        if (!isOpen(fd) && open("/dev/null", O_RDWR) == -1) {
            return errno;
        }
    }
    return 0;
}
