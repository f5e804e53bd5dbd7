// The program's work: set up once, then measure, print and pause until killed.
#pragma once

#include <cstdio>

constexpr unsigned REPORT_PAUSE_MS = 300;

// Returns only on failure, with the exit status, after saying on `err` what went wrong.
int run(std::FILE* out, std::FILE* err);
