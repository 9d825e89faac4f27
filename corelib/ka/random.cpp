// Ka::Random: the locked forwarding to the installed generator.
#include "ka/random.h"

#include "ka/exception.h"
#include "ka/randombasic.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace Ka {

namespace {

// Reads n bytes from /dev/urandom; false when that fails.
bool readUrandom(unsigned char *p, size_t n) {
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t iDone = 0;
    while (iDone < n) {
        ssize_t iGot = ::read(fd, p + iDone, n - iDone);
        if (iGot < 0 && errno == EINTR)
            continue;
        if (iGot <= 0)
            break;
        iDone += size_t(iGot);
    }
    ::close(fd);
    return iDone == n;
}

} // namespace

void Random::systemBytes(void *pBuf, size_t n) {
    auto *p = static_cast<unsigned char *>(pBuf);
    size_t iDone = 0;
    while (iDone < n) {
        ssize_t iGot = ::getrandom(p + iDone, n - iDone, 0);
        if (iGot < 0 && errno == EINTR)
            continue;
        if (iGot <= 0)
            break;
        iDone += size_t(iGot);
    }
    if (iDone == n || readUrandom(p, n))
        return;
    int iError = errno;
    char sBuf[256];
    throw ExceptionBase(iError, "The system's random source cannot be read: %s",
                        strerror_r(iError, sBuf, sizeof sBuf));
}

uint32_t Random::systemRand() {
    unsigned char a[4];
    systemBytes(a, sizeof a);
    return uint32_t(a[0]) | uint32_t(a[1]) << 8 | uint32_t(a[2]) << 16 | uint32_t(a[3]) << 24;
}

Random::Random() : generator(new RandomBasic) {}

Random::~Random() {
    delete generator;
}

void Random::seed(int iSeed) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    r.generator->seed(iSeed);
}

uint32_t Random::rand() {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->rand();
}

int Random::randMax(int iMax) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randMax(iMax);
}

int Random::randRange(int iMin, int iMax) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randRange(iMin, iMax);
}

double Random::randUnit() {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randUnit();
}

} // namespace Ka
