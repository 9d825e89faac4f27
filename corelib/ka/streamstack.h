// Ka::StreamStack: a base stream with a pile of filters over it, used as one
// stream.
#pragma once

#include "ka/list.h"
#include "ka/stream.h"

#include <memory>
#include <utility>

namespace Ka {

// Owns every stream it holds: the base and each filter. Every operation of
// the stream interface goes to the topmost stream, so a caller writes plain
// data into the stack and each layer below transforms it on its way to the
// base. Streams are deleted from the top down, so that every filter is
// destroyed while the stream beneath it is still alive and can take the
// bytes it still holds.
//
// Operations on an empty stack throw ExceptionBase "StreamStack is empty.".
// Not thread-safe; one thread at a time.
class StreamStack : public Stream {
public:
    StreamStack() = default;
    // Takes ownership of pBase, which must come from new (null: an empty stack).
    explicit StreamStack(Stream *pBase);
    ~StreamStack() override;

    using Stream::write;

    // Takes ownership of pBase (allocated with new) as the base of an empty
    // stack; a null pointer leaves the stack empty. On a stack that already
    // holds a stream it throws ExceptionBase "There is already a stream
    // set." and takes nothing: pBase stays the caller's.
    void setStream(Stream *pBase);

    // Builds a new F over the current top, passing the top stream followed
    // by rArgs, and makes it the new top. Returns the new filter, which the
    // stack owns. Throws "StreamStack is empty." when there is no base.
    template <typename F, typename... Args>
    F &addFilter(Args &&...rArgs) {
        checkStack();
        std::unique_ptr<F> pFilter(new F(*lStreams.first(), std::forward<Args>(rArgs)...));
        lStreams.prepend(pFilter.get());
        return *pFilter.release();
    }

    // Deletes the top stream (the base when it is the only one left); does
    // nothing on an empty stack.
    void popFilter();
    // Deletes every stream from the top down to the base.
    void clear();
    bool isEmpty() const { return lStreams.isEmpty(); }
    bool hasStream() const { return !isEmpty(); }
    Stream *getTop();
    Stream *getStream();
    void checkStack() const;

    // Forwarded to the top stream; readLine and readAll keep the defaults,
    // which read through the forwarded read.
    void close() override { getTop()->close(); }
    int read(void *pBuf, int nBytes) override { return getTop()->read(pBuf, nBytes); }
    int write(const void *pBuf, int nBytes) override { return getTop()->write(pBuf, nBytes); }
    int write(const String &sBuf) override { return getTop()->write(sBuf); }
    int tell() override { return getTop()->tell(); }
    void seek(int iOffset) override { getTop()->seek(iOffset); }
    void setPos(int iPos) override { getTop()->setPos(iPos); }
    void setPosEnd(int iPos) override { getTop()->setPosEnd(iPos); }
    bool isEos() override { return getTop()->isEos(); }
    bool isOpen() override { return getTop()->isOpen(); }
    void flush() override { getTop()->flush(); }
    bool canRead() override { return getTop()->canRead(); }
    bool canWrite() override { return getTop()->canWrite(); }
    bool isReadable() override { return getTop()->isReadable(); }
    bool isWritable() override { return getTop()->isWritable(); }
    bool isSeekable() override { return getTop()->isSeekable(); }
    bool isBlocking() override { return getTop()->isBlocking(); }
    void setBlocking(bool bBlocking) override { getTop()->setBlocking(bBlocking); }
    void setSize(int iSize) override { getTop()->setSize(iSize); }
    int getSize() override { return getTop()->getSize(); }
    int getBlockSize() override { return getTop()->getBlockSize(); }
    String getLocation() override { return getTop()->getLocation(); }

private:
    // Top first: the first element is the topmost filter, the last the base.
    List<Stream *> lStreams;
};

} // namespace Ka
