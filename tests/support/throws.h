// Test helper: the message of the exception a piece of code throws.
#pragma once

#include "ka/exception.h"

#include <string>

namespace testsupport {

// Runs f and returns what() of the E it throws, or "(nothing thrown)".
// Exceptions of other types pass through and fail the test.
template <typename E = Ka::ExceptionBase, typename F>
std::string thrownText(F f) {
    try {
        f();
    } catch (const E &e) {
        return e.what();
    }
    return "(nothing thrown)";
}

} // namespace testsupport
