// FailingStream: a stream over another that fails like a full disk, or a
// broken medium, once a set number of bytes has passed.
#pragma once

#include "support/forwardingstream.h"

#include <memory>

namespace support {

// Forwards every operation to the inner stream and counts the bytes that
// pass. Once iWriteLimit bytes have been written, every further write throws
// Ka::FileException with ENOSPC; a write that crosses the limit first hands
// the bytes up to the limit to the inner stream, as a disk that fills up in
// the middle of a write does. With iReadLimit at 0 or more, reading behaves
// alike: a read that crosses the limit returns the bytes up to it, and the
// next read throws Ka::FileException with EIO. A negative limit never fails.
//
// The inner stream is either borrowed (it must outlive this stream) or
// owned (given as a unique_ptr, e.g. when a Ka::StreamStack must own the
// whole chain). Positioning does not reset the counts.
class FailingStream : public ForwardingStream {
public:
    FailingStream(Ka::Stream &rInner, int iWriteLimit, int iReadLimit = -1);
    FailingStream(std::unique_ptr<Ka::Stream> pInner, int iWriteLimit, int iReadLimit = -1);

    using Ka::Stream::write;

    // Bytes that reached the inner stream / were handed to callers so far.
    int getWritten() const { return iWritten; }
    int getRead() const { return iRead; }

    int read(void *pBuf, int nBytes) override;
    int write(const void *pBuf, int nBytes) override;

private:
    int iWriteLimit;
    int iReadLimit;
    int iWritten = 0;
    int iRead = 0;
};

} // namespace support
