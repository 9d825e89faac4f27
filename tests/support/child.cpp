// passesInChild: a check run in a child process that an alarm ends.
#include "support/child.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace support {

bool passesInChild(const std::function<bool()> &f, int iSeconds) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::alarm(unsigned(iSeconds));
        bool bPassed = false;
        try {
            bPassed = f();
        } catch (...) {
        }
        ::_exit(bPassed ? 0 : 1);
    }
    int iStatus = 0;
    while (::waitpid(pid, &iStatus, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0;
}

} // namespace support
