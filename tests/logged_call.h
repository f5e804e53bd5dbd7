// One GPIO operation as the virtual-time double logs it, such as "pinMode(0,1)".
#pragma once

#include <string>

namespace vw {

inline std::string call(char const* operation, int pin, int value) {
    return std::string(operation) + "(" + std::to_string(pin) + "," + std::to_string(value) + ")";
}

}  // namespace vw
