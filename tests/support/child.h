// passesInChild: runs a check in a child process, so that a hang or a crash
// fails the check instead of stopping the test program.
#pragma once

#include <functional>

namespace support {

// Runs f in a forked child that an alarm ends after iSeconds; true when f
// returned true there in time. f must report through its result only: what
// it changes, and the checks it makes itself, stay in the child.
bool passesInChild(const std::function<bool()> &f, int iSeconds = 60);

} // namespace support
