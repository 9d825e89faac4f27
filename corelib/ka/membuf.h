// Ka::MemBuf: a seekable stream over an in-memory Ka::String.
#pragma once

#include "ka/stream.h"

namespace Ka {

// The contents are a Ka::String shared copy-on-write with the string the
// buffer was built from. The position always lies between 0 and the size:
// every positioning operation clamps. Never throws except when memory runs
// out or the contents would outgrow 32-bit sizes.
class MemBuf : public Stream {
public:
    MemBuf() = default;
    explicit MemBuf(const String &sData) : sBuf(sData) {}
    ~MemBuf() override = default;

    using Stream::write;

    void close() override {}
    int read(void *pBuf, int nBytes) override;
    // Overwrites from the position on and appends what runs past the end.
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return nPos; }
    void seek(int iOffset) override;
    void setPos(int iPos) override;
    void setPosEnd(int iPos) override;
    bool isEos() override { return nPos == sBuf.getSize(); }
    bool isOpen() override { return true; }
    void flush() override {}
    bool canRead() override { return !isEos(); }
    bool canWrite() override { return true; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return true; }
    bool isBlocking() override { return true; }
    void setBlocking(bool) override {}
    // Grows with zero bytes or cuts; a negative size counts as 0; the
    // position moves back inside.
    void setSize(int iSize) override;
    int getSize() override { return sBuf.getSize(); }
    int getBlockSize() override { return sBuf.getSize(); }
    String getLocation() override { return String(); }

    String &getString() { return sBuf; }
    const String &getString() const { return sBuf; }
    // Replaces the contents and moves to position 0.
    void setString(const String &sData);

private:
    void clampTo(int64_t iPos);

    String sBuf;
    int32_t nPos = 0;
};

} // namespace Ka
