// Ka::File: opening, reading, writing and positioning through the POSIX
// descriptor calls, every failure reported as a Ka::FileException.
#include "ka/file.h"

#include "ka/exception.h"
#include "ka/random.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Ka {

namespace {

// The system's text for an error number; strerror itself is not safe while
// the sync thread may fail at the same moment.
String errorText(int iErr) {
    char sBuf[256];
    return String(strerror_r(iErr, sBuf, sizeof(sBuf)));
}

[[noreturn]] void throwErrno(int iErr) {
    throw FileException(iErr, "%s", errorText(iErr).getConstStr());
}

// The name as a C text; a zero byte inside it would silently name another
// file.
const char *checkedName(const String &sName) {
    const char *pName = sName.getConstStr();
    if (int(std::strlen(pName)) != sName.getSize())
        throw FileException(EINVAL, "%s: %s", errorText(EINVAL).getConstStr(), pName);
    return pName;
}

int mapFlags(int iFlags) {
    int iOpen;
    if ((iFlags & File::Read) && (iFlags & File::Write))
        iOpen = O_RDWR;
    else if (iFlags & File::Read)
        iOpen = O_RDONLY;
    else if (iFlags & File::Write)
        iOpen = O_WRONLY;
    else
        throw FileException(0, "You must specify Read, Write, or both when opening a file.");
    if (iFlags & File::Create)
        iOpen |= O_CREAT;
    if (iFlags & File::Append)
        iOpen |= O_APPEND;
    if (iFlags & File::Truncate)
        iOpen |= O_TRUNC;
    if ((iFlags & (File::Create | File::Exclusive)) == (File::Create | File::Exclusive))
        iOpen |= O_EXCL;
    if (iFlags & File::NoLink)
        iOpen |= O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    // There is no text mode to switch off here. The descriptor must not
    // leak into programs the process starts.
    return iOpen | O_CLOEXEC;
}

// Refuses, as the RegularOnly flag asks, what st describes unless it is a
// regular file.
void requireRegular(const struct stat &st, const char *pName) {
    if (S_ISREG(st.st_mode))
        return;
    if (S_ISDIR(st.st_mode))
        throw FileException(EISDIR, "%s: %s", errorText(EISDIR).getConstStr(), pName);
    throw FileException(0, "Not a regular file: %s", pName);
}

} // namespace

File::File(const String &sName, int iFlags, int iMode) {
    int iOpen = mapFlags(iFlags);
    const char *pName = checkedName(sName);
    const bool bRegularOnly = (iFlags & RegularOnly) != 0;
    struct stat st;
    // What is not a regular file is not even opened: opening some devices
    // has effects of its own. A file that appears in its place meanwhile
    // is opened without waiting and caught by the check on the descriptor.
    if (bRegularOnly) {
        if (::stat(pName, &st) == 0)
            requireRegular(st, pName);
        iOpen |= O_NONBLOCK | O_NOCTTY;
    }
    do {
        fd = ::open(pName, iOpen, mode_t(iMode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        int iErr = errno;
        throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), pName);
    }
    if (bRegularOnly) {
        try {
            if (::fstat(fd, &st) < 0) {
                const int iErr = errno;
                throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), pName);
            }
            requireRegular(st, pName);
            // Without effect on a regular file, but the descriptor is a
            // plain blocking one from here on, as every other file's.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        } catch (...) {
            ::close(fd);
            fd = -1;
            throw;
        }
    }
    bEos = false;
}

File::File(int iFd) : fd(iFd), bEos(false) {}

File::~File() {
    try {
        close();
    } catch (const FileException &) {
        // Nothing can be done about it here; callers who care call close().
    }
}

void File::close() {
    if (fd < 0)
        return;
    int iResult = ::close(fd);
    int iErr = errno;
    // The descriptor is gone even when close reports a failure; closing it
    // again could close a descriptor some other code has opened since.
    fd = -1;
    bEos = true;
    if (iResult < 0 && iErr != EINTR)
        throwErrno(iErr);
}

int File::requireFd() const {
    if (fd < 0)
        throw FileException("File not open.");
    return fd;
}

int File::read(void *pBuf, int nBytes) {
    requireFd();
    if (nBytes < 1)
        return 0;
    for (;;) {
        ssize_t n = ::read(fd, pBuf, size_t(nBytes));
        if (n > 0)
            return int(n);
        if (n == 0) {
            bEos = true;
            return 0;
        }
        int iErr = errno;
        if (iErr == EAGAIN || iErr == EWOULDBLOCK)
            return 0;
        if (iErr != EINTR)
            throwErrno(iErr);
    }
}

int File::write(const void *pBuf, int nBytes) {
    requireFd();
    if (nBytes < 1)
        return 0;
    const char *pNext = static_cast<const char *>(pBuf);
    size_t nLeft = size_t(nBytes);
    while (nLeft > 0) {
        ssize_t n = ::write(fd, pNext, nLeft);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno);
        }
        // A write that makes no progress would loop forever; the only way
        // a regular file gets here is a full device.
        if (n == 0)
            throwErrno(ENOSPC);
        pNext += n;
        nLeft -= size_t(n);
    }
    return nBytes;
}

void File::seekTo(long long iOffset, int iWhence) {
    requireFd();
    if (::lseek(fd, off_t(iOffset), iWhence) < 0)
        throwErrno(errno);
    bEos = false;
}

int File::tell() {
    requireFd();
    off_t iPos = ::lseek(fd, 0, SEEK_CUR);
    if (iPos < 0)
        throwErrno(errno);
    if (iPos > INT_MAX)
        throwErrno(EOVERFLOW);
    return int(iPos);
}

void File::seek(int iOffset) {
    seekTo(iOffset, SEEK_CUR);
}

void File::setPos(int iPos) {
    seekTo(iPos, SEEK_SET);
}

void File::setPosEnd(int iPos) {
    seekTo(iPos, SEEK_END);
}

void File::setBlocking(bool) {
    std::fputs("STUB: Ka::File::setBlocking\n", stderr);
}

void File::setSize(int iSize) {
    requireFd();
    while (::ftruncate(fd, off_t(iSize)) < 0) {
        if (errno != EINTR)
            throwErrno(errno);
    }
}

int File::getSize() {
    requireFd();
    struct stat st;
    if (::fstat(fd, &st) < 0)
        throwErrno(errno);
    if (st.st_size > INT_MAX)
        throwErrno(EOVERFLOW);
    return int(st.st_size);
}

void File::sync() {
    requireFd();
    while (::fdatasync(fd) < 0) {
        if (errno != EINTR)
            throwErrno(errno);
    }
}

bool File::tryLock() {
    requireFd();
    while (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        if (errno == EWOULDBLOCK)
            return false;
        if (errno != EINTR)
            throwErrno(errno);
    }
    return true;
}

bool File::isLinked() {
    requireFd();
    struct stat st;
    if (::fstat(fd, &st) < 0)
        throwErrno(errno);
    return st.st_nlink > 0;
}

File::Info File::getInfo() {
    struct stat st;
    if (::fstat(requireFd(), &st) < 0)
        throwErrno(errno);
    Info info;
    info.bRegular = S_ISREG(st.st_mode);
    info.nNames = uint64_t(st.st_nlink);
    info.iOwner = uint32_t(st.st_uid);
    info.iGroup = uint32_t(st.st_gid);
    info.iPermissions = uint32_t(st.st_mode & 07777);
    return info;
}

void File::setPermissions(int iMode) {
    while (::fchmod(requireFd(), mode_t(iMode)) < 0) {
        if (errno != EINTR)
            throwErrno(errno);
    }
}

uint32_t File::userId() {
    return uint32_t(::geteuid());
}

bool File::isNamed(const String &sPath, bool bThroughLink) {
    const char *pName = checkedName(sPath);
    struct stat held;
    if (::fstat(requireFd(), &held) < 0) {
        if (errno == ESTALE)
            return false;
        throwErrno(errno);
    }
    if (held.st_nlink == 0)
        return false;
    struct stat named;
    if ((bThroughLink ? ::stat(pName, &named) : ::lstat(pName, &named)) < 0) {
        const int iErr = errno;
        if (iErr == ENOENT || iErr == ENOTDIR || iErr == ELOOP || iErr == ESTALE)
            return false;
        throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), pName);
    }
    return named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

void File::syncFolderOf(const String &sPath) {
    const char *pName = checkedName(sPath);
    const char *pSlash = std::strrchr(pName, '/');
    const String sFolder = !pSlash           ? String(".")
                           : pSlash == pName ? String("/")
                                             : String(pName, int(pSlash - pName));
    int iFolder;
    do {
        iFolder = ::open(sFolder.getConstStr(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (iFolder < 0 && errno == EINTR);
    if (iFolder < 0) {
        int iErr = errno;
        throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), sFolder.getConstStr());
    }
    int iResult;
    do {
        iResult = ::fsync(iFolder);
    } while (iResult < 0 && errno == EINTR);
    int iErr = errno;
    ::close(iFolder);
    // Some file systems cannot sync a folder and say so; there is nothing
    // more to do on them.
    if (iResult < 0 && iErr != EINVAL && iErr != EROFS)
        throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), sFolder.getConstStr());
}

bool File::remove(const String &sPath) {
    const char *pName = checkedName(sPath);
    if (::unlink(pName) == 0)
        return true;
    int iErr = errno;
    if (iErr == ENOENT)
        return false;
    throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), pName);
}

void File::rename(const String &sFrom, const String &sTo) {
    const char *pFrom = checkedName(sFrom);
    const char *pTo = checkedName(sTo);
    if (::rename(pFrom, pTo) < 0) {
        const int iErr = errno;
        throw FileException(iErr, "%s: %s", errorText(iErr).getConstStr(), pTo);
    }
}

File File::tempFile(String &sTemplate, int iMode) {
    int iSize = sTemplate.getSize();
    int iStart = iSize;
    while (iStart > 0 && sTemplate[iStart - 1] == 'X')
        --iStart;
    if (iStart == iSize)
        throw ExceptionBase("Invalid temporary filename template.");
    for (int iTry = 0; iTry < 1000; ++iTry) {
        for (int i = iStart; i < iSize; ++i) {
            uint32_t r = Random::systemRand();
            char c = char('A' + r % 26);
            if (r & 0x1000)
                c = char(c + 32);
            sTemplate[i] = c;
        }
        try {
            return File(sTemplate, Read | Write | Create | Exclusive, iMode);
        } catch (const FileException &) {
            // Taken, or not creatable: try another name.
        }
    }
    throw FileException("Failed to create unique temporary file after 1000 iterations.");
}

} // namespace Ka
