// ForwardingStream: a stream that hands every operation to an inner one, for
// test streams that change only a few of them.
#pragma once

#include "ka/stream.h"

#include <memory>

namespace support {

// The inner stream is borrowed (it must outlive this one) or owned (given
// as a unique_ptr, e.g. when a Ka::StreamStack must own the whole chain).
class ForwardingStream : public Ka::Stream {
public:
    explicit ForwardingStream(Ka::Stream &rInner) : rInner(rInner) {}
    explicit ForwardingStream(std::unique_ptr<Ka::Stream> pInner)
        : pOwned(std::move(pInner)), rInner(*pOwned) {}

    using Ka::Stream::write;

    void close() override { rInner.close(); }
    int read(void *pBuf, int nBytes) override { return rInner.read(pBuf, nBytes); }
    int write(const void *pBuf, int nBytes) override { return rInner.write(pBuf, nBytes); }
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

    Ka::Stream &inner() { return rInner; }

private:
    std::unique_ptr<Ka::Stream> pOwned;

protected:
    Ka::Stream &rInner;
};

} // namespace support
