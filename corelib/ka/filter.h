// Ka::Filter: a stream that transforms the bytes passing to and from the
// stream below it.
#pragma once

#include "ka/stream.h"

namespace Ka {

// A filter reads from and writes to `rNext`, which it does not own and never
// deletes; the stream below must outlive the filter. Subclasses supply read,
// write, start and stop; every other operation is forwarded to the stream
// below, except setSize, which does nothing.
class Filter : public Stream {
public:
    explicit Filter(Stream &rNext) : rNext(rNext) {}
    // Neither stops the filter nor touches the stream below; subclasses
    // decide whether their destructor calls stop().
    ~Filter() override = default;

    using Stream::write;

    // Stops this filter, then closes the stream below.
    void close() override;
    int tell() override { return rNext.tell(); }
    void seek(int iOffset) override { rNext.seek(iOffset); }
    void setPos(int iPos) override { rNext.setPos(iPos); }
    void setPosEnd(int iPos) override { rNext.setPosEnd(iPos); }
    bool isEos() override { return rNext.isEos(); }
    bool isOpen() override { return rNext.isOpen(); }
    void flush() override { rNext.flush(); }
    bool canRead() override { return rNext.canRead(); }
    bool canWrite() override { return rNext.canWrite(); }
    bool isReadable() override { return rNext.isReadable(); }
    bool isWritable() override { return rNext.isWritable(); }
    bool isSeekable() override { return rNext.isSeekable(); }
    bool isBlocking() override { return rNext.isBlocking(); }
    void setBlocking(bool bBlocking) override { rNext.setBlocking(bBlocking); }
    void setSize(int) override {}
    int getSize() override { return rNext.getSize(); }
    int getBlockSize() override { return rNext.getBlockSize(); }
    String getLocation() override { return rNext.getLocation(); }

    // Begins a transformation.
    virtual void start() = 0;
    // Ends the transformation and pushes out whatever the filter still holds;
    // returns a byte count whose meaning belongs to the filter.
    virtual int stop() = 0;

protected:
    Stream &rNext;
};

} // namespace Ka
