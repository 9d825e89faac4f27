// Exceptions of the core library: an integer code and a printf-formatted
// message, with one subclass per area so that callers can catch selectively.
#pragma once

#include <cstdarg>
#include <exception>

namespace Ka {

// Base of every exception thrown by the core library and the vault store.
// The message is formatted once, at construction, into an array the
// exception owns; it is never truncated, however long.
class ExceptionBase : public std::exception {
public:
    ExceptionBase(const char *sFormat, ...) __attribute__((format(printf, 2, 3)));
    ExceptionBase(int iCode, const char *sFormat, ...) __attribute__((format(printf, 3, 4)));
    explicit ExceptionBase(int iCode);
    ExceptionBase(const ExceptionBase &e);
    ExceptionBase &operator=(const ExceptionBase &e);
    virtual ~ExceptionBase() noexcept;

    // The message, or an empty text for an exception built from a code alone.
    const char *what() const noexcept override;
    int getErrorCode() const { return errorCode; }

    void setWhat(const char *sFormat, va_list args) __attribute__((format(printf, 2, 0)));
    void setWhat(const char *sText);

protected:
    // For subclasses, which format the message themselves.
    ExceptionBase() = default;
    void setCode(int iCode) { errorCode = iCode; }

private:
    int errorCode = 0;
    char *message = nullptr;
};

// Subclasses add nothing but their type; each has the four constructor forms.
#define KA_DECLARE_EXCEPTION(Name)                                                                 \
    class Name : public ExceptionBase {                                                            \
    public:                                                                                        \
        Name(const char *sFormat, ...) __attribute__((format(printf, 2, 3)));                      \
        Name(int iCode, const char *sFormat, ...) __attribute__((format(printf, 3, 4)));           \
        explicit Name(int iCode) : ExceptionBase(iCode) {}                                         \
        Name(const Name &e) = default;                                                             \
        Name &operator=(const Name &e) = default;                                                  \
        ~Name() noexcept override = default;                                                       \
    }

KA_DECLARE_EXCEPTION(FileException);
KA_DECLARE_EXCEPTION(TcpSocketException);
KA_DECLARE_EXCEPTION(HashException);
KA_DECLARE_EXCEPTION(ArrayException);
KA_DECLARE_EXCEPTION(TessaryException);
KA_DECLARE_EXCEPTION(Base64Exception);

#undef KA_DECLARE_EXCEPTION

// Thrown by stream operations a stream kind does not support.
class UnsupportedException : public ExceptionBase {
public:
    UnsupportedException();
};

// Out-of-line throw helpers, so that the container templates stay small.
[[noreturn]] void throwReferencedPositionInvalid();
[[noreturn]] void throwEmptyListFirst();
[[noreturn]] void throwNoDataForKey();
[[noreturn]] void throwInvalidIterator();
// ExceptionBase "Attempt to read last element from empty list."
[[noreturn]] void throwEmptyListLast();
// ExceptionBase "Attempt to iterate past end of list."
[[noreturn]] void throwIteratePastEndOfList();
// HashException, code 0: "No data associated with that key." (a read through
// Hash::operator[]; Hash::get spells it as throwNoDataForKey does).
[[noreturn]] void throwNoValueForKey();
// HashException: a key whose probe positions stay taken however far the
// table may grow (only colliding, typically hostile, keys get there).
[[noreturn]] void throwTooManyCollisions(unsigned int iCapacity);
// ArrayException "Index %d out of range 0:%d".
[[noreturn]] void throwArrayIndex(int iIndex, int iSize);
// ArrayException "Cannot dereference finished iterator."
[[noreturn]] void throwFinishedDereference();
// ArrayException "Cannot increment iterator past end of array."
[[noreturn]] void throwFinishedIncrement();
// ArrayException: the array would outgrow a 32-bit element count.
[[noreturn]] void throwArrayTooLarge();

} // namespace Ka
