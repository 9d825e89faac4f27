// FailingStream: a stream over another that fails like a full disk, or a
// broken medium, once a set number of bytes has passed.
#pragma once

#include "ka/stream.h"

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
class FailingStream : public Ka::Stream {
public:
    FailingStream(Ka::Stream &rInner, int iWriteLimit, int iReadLimit = -1);
    FailingStream(std::unique_ptr<Ka::Stream> pInner, int iWriteLimit, int iReadLimit = -1);

    using Ka::Stream::write;

    // Bytes that reached the inner stream / were handed to callers so far.
    int getWritten() const { return iWritten; }
    int getRead() const { return iRead; }

    void close() override { rInner.close(); }
    int read(void *pBuf, int nBytes) override;
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return rInner.tell(); }
    void seek(int iOffset) override { rInner.seek(iOffset); }
    void setPos(int iPos) override { rInner.setPos(iPos); }
    void setPosEnd(int iPos) override { rInner.setPosEnd(iPos); }
    bool isEos() override { return rInner.isEos(); }
    bool isOpen() override { return rInner.isOpen(); }
    void flush() override { rInner.flush(); }
    bool canRead() override { return rInner.canRead(); }
    bool canWrite() override { return rInner.canWrite(); }
    bool isReadable() override { return rInner.isReadable(); }
    bool isWritable() override { return rInner.isWritable(); }
    bool isSeekable() override { return rInner.isSeekable(); }
    bool isBlocking() override { return rInner.isBlocking(); }
    void setBlocking(bool bBlocking) override { rInner.setBlocking(bBlocking); }
    void setSize(int iSize) override { rInner.setSize(iSize); }
    int getSize() override { return rInner.getSize(); }
    int getBlockSize() override { return rInner.getBlockSize(); }
    Ka::String getLocation() override { return rInner.getLocation(); }

private:
    std::unique_ptr<Ka::Stream> pOwned;
    Ka::Stream &rInner;
    int iWriteLimit;
    int iReadLimit;
    int iWritten = 0;
    int iRead = 0;
};

} // namespace support
