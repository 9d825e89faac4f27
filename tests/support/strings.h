// Test helper: conversions between Ka::String and std::string, so that
// GoogleTest can compare and print byte strings.
#pragma once

#include "ka/string.h"

#include <string>

namespace testsupport {

inline std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), size_t(s.getSize()));
}

inline Ka::String kstr(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

} // namespace testsupport
