// FailingStream: counting the bytes that pass and failing past the limits.
#include "support/failingstream.h"

#include "ka/exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace support {

namespace {

[[noreturn]] void fail(int iErr) {
    throw Ka::FileException(iErr, "%s", std::strerror(iErr));
}

} // namespace

FailingStream::FailingStream(Ka::Stream &rInner, int iWriteLimit, int iReadLimit)
    : ForwardingStream(rInner), iWriteLimit(iWriteLimit), iReadLimit(iReadLimit) {}

FailingStream::FailingStream(std::unique_ptr<Ka::Stream> pInner, int iWriteLimit, int iReadLimit)
    : ForwardingStream(std::move(pInner)), iWriteLimit(iWriteLimit), iReadLimit(iReadLimit) {}

int FailingStream::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || iReadLimit < 0) {
        int n = rInner.read(pBuf, nBytes);
        iRead += std::max(n, 0);
        return n;
    }
    if (iRead >= iReadLimit)
        fail(EIO);
    int n = rInner.read(pBuf, std::min(nBytes, iReadLimit - iRead));
    iRead += std::max(n, 0);
    return n;
}

int FailingStream::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || iWriteLimit < 0) {
        int n = rInner.write(pBuf, nBytes);
        iWritten += std::max(n, 0);
        return n;
    }
    int nRoom = std::max(iWriteLimit - iWritten, 0);
    int n = nRoom > 0 ? rInner.write(pBuf, std::min(nBytes, nRoom)) : 0;
    iWritten += std::max(n, 0);
    if (nBytes > nRoom)
        fail(ENOSPC);
    return n;
}

} // namespace support
