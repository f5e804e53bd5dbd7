// The GPIO and clock operations, from the real library or from whatever stands in for it.
#pragma once

#ifdef RANGEFINDER_WIRINGPI
#include <wiringPi.h>
#else
#include "hw/operations.h"
#endif
