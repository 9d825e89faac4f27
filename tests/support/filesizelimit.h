// FileSizeLimit: makes writes fail as on a full disk, for any user.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace support {

// While it lives, writes that would grow any file of this process past
// iBytes fail with EFBIG, as writes to a full disk fail with ENOSPC (and as
// root too, which file modes would not stop); the signal such a write
// raises is ignored. The limit is the process's: anything else that writes
// meanwhile meets it too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(int64_t iBytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = rlim_t(iBytes);
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            std::fputs("cannot limit the file size\n", stderr);
            std::abort();
        }
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit old{};
};

} // namespace support
