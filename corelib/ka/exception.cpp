// Exceptions of the core library: message formatting and ownership.
#include "ka/exception.h"

#include <cstdio>
#include <cstring>

namespace Ka {

ExceptionBase::ExceptionBase(const char *sFormat, ...) {
    va_list args;
    va_start(args, sFormat);
    setWhat(sFormat, args);
    va_end(args);
}

ExceptionBase::ExceptionBase(int iCode, const char *sFormat, ...) : errorCode(iCode) {
    va_list args;
    va_start(args, sFormat);
    setWhat(sFormat, args);
    va_end(args);
}

ExceptionBase::ExceptionBase(int iCode) : errorCode(iCode) {}

ExceptionBase::ExceptionBase(const ExceptionBase &e) : std::exception(e), errorCode(e.errorCode) {
    if (e.message)
        setWhat(e.message);
}

ExceptionBase &ExceptionBase::operator=(const ExceptionBase &e) {
    if (this != &e) {
        errorCode = e.errorCode;
        if (e.message)
            setWhat(e.message);
        else {
            delete[] message;
            message = nullptr;
        }
    }
    return *this;
}

ExceptionBase::~ExceptionBase() noexcept {
    delete[] message;
}

const char *ExceptionBase::what() const noexcept {
    return message ? message : "";
}

void ExceptionBase::setWhat(const char *sFormat, va_list args) {
    // Measure first, so that no message is ever cut to a fixed buffer.
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, sFormat, measure);
    va_end(measure);
    if (n < 0)
        n = 0;
    char *sNew = new char[n + 1];
    std::vsnprintf(sNew, n + 1, sFormat, args);
    sNew[n] = '\0';
    delete[] message;
    message = sNew;
}

void ExceptionBase::setWhat(const char *sText) {
    if (!sText)
        sText = "";
    size_t n = std::strlen(sText);
    char *sNew = new char[n + 1];
    std::memcpy(sNew, sText, n + 1);
    delete[] message;
    message = sNew;
}

#define KA_DEFINE_EXCEPTION(Name)                                                                  \
    Name::Name(const char *sFormat, ...) {                                                         \
        va_list args;                                                                              \
        va_start(args, sFormat);                                                                   \
        setWhat(sFormat, args);                                                                    \
        va_end(args);                                                                              \
    }                                                                                              \
    Name::Name(int iCode, const char *sFormat, ...) {                                              \
        setCode(iCode);                                                                            \
        va_list args;                                                                              \
        va_start(args, sFormat);                                                                   \
        setWhat(sFormat, args);                                                                    \
        va_end(args);                                                                              \
    }

KA_DEFINE_EXCEPTION(FileException)
KA_DEFINE_EXCEPTION(TcpSocketException)
KA_DEFINE_EXCEPTION(HashException)
KA_DEFINE_EXCEPTION(ArrayException)
KA_DEFINE_EXCEPTION(TessaryException)
KA_DEFINE_EXCEPTION(Base64Exception)

#undef KA_DEFINE_EXCEPTION

UnsupportedException::UnsupportedException()
    : ExceptionBase(0, "%s", "An unsupperted operation was attempted.") {}

void throwReferencedPositionInvalid() {
    throw HashException("Referenced position invalid.");
}

void throwEmptyListFirst() {
    throw ExceptionBase("Attempt to read first element from empty list.");
}

void throwNoDataForKey() {
    throw HashException(0, "No data assosiated with that key.");
}

void throwInvalidIterator() {
    throw ExceptionBase("Not a valid iterator.");
}

void throwEmptyListLast() {
    throw ExceptionBase("Attempt to read last element from empty list.");
}

void throwIteratePastEndOfList() {
    throw ExceptionBase("Attempt to iterate past end of list.");
}

void throwNoValueForKey() {
    throw HashException(0, "No data associated with that key.");
}

void throwTooManyCollisions(unsigned int iCapacity) {
    throw HashException("Too many keys collide: a key finds no free slot within its probe sequence "
                        "even with %u slots.",
                        iCapacity);
}

void throwArrayIndex(int iIndex, int iSize) {
    throw ArrayException("Index %d out of range 0:%d", iIndex, iSize);
}

void throwFinishedDereference() {
    throw ArrayException("Cannot dereference finished iterator.");
}

void throwFinishedIncrement() {
    throw ArrayException("Cannot increment iterator past end of array.");
}

void throwArrayTooLarge() {
    throw ArrayException("Array too large.");
}

} // namespace Ka
