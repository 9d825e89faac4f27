// Ka::StdStream: the process's standard input and output as a Ka::Stream.
#pragma once

#include "ka/stream.h"

namespace Ka {

// Reads standard input and writes standard output through the C runtime's
// buffered calls; flush() pushes standard output out. Holds no state of its
// own, never throws and is not seekable (positions and sizes are 0).
// The C runtime buffers are shared by the whole process: writes from
// several threads are not ordered against each other.
class StdStream : public Stream {
public:
    using Stream::write;

    void close() override {}
    int read(void *pBuf, int nBytes) override;
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return 0; }
    void seek(int) override {}
    void setPos(int) override {}
    void setPosEnd(int) override {}
    bool isEos() override { return false; }
    bool isOpen() override { return true; }
    void flush() override;
    bool canRead() override { return true; }
    bool canWrite() override { return true; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return false; }
    bool isBlocking() override { return true; }
    void setBlocking(bool) override {}
    void setSize(int) override {}
    int getSize() override { return 0; }
    int getBlockSize() override { return 0; }
    String getLocation() override { return String(); }
};

// The one console stream of the process, created on first use. It is never
// destroyed, so that code running during exit (destructors of static
// objects) can still write to it.
StdStream &console();

} // namespace Ka
