// Ka::StreamStack: ownership of the layers and forwarding to the top one.
#include "ka/streamstack.h"

#include "ka/exception.h"

namespace Ka {

StreamStack::StreamStack(Stream *pBase) {
    setStream(pBase);
}

StreamStack::~StreamStack() {
    clear();
}

void StreamStack::setStream(Stream *pBase) {
    if (hasStream())
        throw ExceptionBase("There is already a stream set.");
    if (pBase)
        lStreams.append(pBase);
}

void StreamStack::popFilter() {
    if (isEmpty())
        return;
    // Unlink first: a destructor that throws must not leave a dangling
    // pointer on the stack.
    Stream *pTop = lStreams.takeFirst();
    delete pTop;
}

void StreamStack::clear() {
    while (hasStream())
        popFilter();
}

Stream *StreamStack::getTop() {
    checkStack();
    return lStreams.first();
}

Stream *StreamStack::getStream() {
    checkStack();
    return lStreams.last();
}

void StreamStack::checkStack() const {
    if (isEmpty())
        throw ExceptionBase("StreamStack is empty.");
}

} // namespace Ka
