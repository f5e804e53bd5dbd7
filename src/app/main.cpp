#include <cstdio>

#include "app/run.h"

// Any arguments are accepted and ignored: the program has no options.
int main() {
    return run(stdout, stderr);
}
