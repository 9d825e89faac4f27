// Ka::Stream: the one byte-stream interface of the core library.
#pragma once

#include "ka/string.h"

namespace Ka {

// Files, memory and queue buffers, the console, sockets, container streams
// and every filter implement this interface. Sizes, counts and positions are
// 32-bit. A stream is used by one thread at a time.
//
// Subclasses that override write(const void *, int) should add
// `using Stream::write;` so that the string form stays visible.
class Stream {
public:
    Stream() = default;
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
    virtual ~Stream() = default;

    virtual void close() = 0;
    // Reads up to nBytes; returns the count read, 0 at the end of the data
    // or when nothing is available now. Never negative: failures throw.
    virtual int read(void *pBuf, int nBytes) = 0;
    // One line, read a byte at a time; the terminator (LF or CR) is consumed
    // and not returned, so CR LF yields an empty line on the next call.
    virtual String readLine();
    // Everything up to the end of the stream, read in 4096-byte pieces.
    virtual String readAll();
    virtual int write(const void *pBuf, int nBytes) = 0;
    virtual int write(const String &sBuf);
    virtual int tell() = 0;
    // Moves relative to the current position.
    virtual void seek(int iOffset) = 0;
    // Absolute position from the start.
    virtual void setPos(int iPos) = 0;
    // A position taken from the end; 0 is the end for every stream that can
    // seek. Other values differ: a file (Ka::File) and a journaled file move
    // that many bytes past the end (a negative value counts back), as the
    // system's seek from the end does, while a memory buffer (Ka::MemBuf)
    // and a container stream count the value back from the end. Streams
    // that cannot seek do not move: a TCP socket throws
    // Ka::UnsupportedException, and a queue buffer (Ka::QueueBuf) and the
    // console stream (Ka::StdStream) ignore the call.
    // The program only ever passes 0.
    virtual void setPosEnd(int iPos) = 0;
    virtual bool isEos() = 0;
    virtual bool isOpen() = 0;
    virtual void flush() = 0;
    // Reading or writing is possible now.
    virtual bool canRead() = 0;
    virtual bool canWrite() = 0;
    // The kind of stream supports reading or writing at all.
    virtual bool isReadable() = 0;
    virtual bool isWritable() = 0;
    virtual bool isSeekable() = 0;
    virtual bool isBlocking() = 0;
    virtual void setBlocking(bool bBlocking) = 0;
    virtual void setSize(int iSize) = 0;
    virtual int getSize() = 0;
    virtual int getBlockSize() = 0;
    virtual String getLocation() = 0;
};

} // namespace Ka
