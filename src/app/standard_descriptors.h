// Standard input, output and error, made safe before the GPIO is opened.
//
// wiringPi keeps its GPIO device open for the life of the process, on the lowest free
// descriptor. Were 0, 1 or 2 closed, the device would take that number, and readings or
// messages would be written into it.
#pragma once

bool isOpen(int fd);

// Puts /dev/null on a closed standard input or standard error. Returns 0, or the errno that
// says why /dev/null could not be opened. Standard output must be open already.
int fillClosedStandardDescriptors();
