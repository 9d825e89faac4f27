// Ka::Formatter: values written as text to a Ka::Stream and read back, and
// the console formatter with its print helpers.
#pragma once

#include "ka/formatspec.h"
#include "ka/stream.h"
#include "ka/string.h"

#include <cstdint>

namespace Ka {

class Variant;

// Writes numbers in any radix from 2 to 36, texts aligned in a field and line
// ends with indentation; reads raw bytes, tokens, numbers and truth values.
//
// A FormatSpec given with << governs exactly one following value (a text,
// number, truth value or variant, written or read); then the default spec is
// back. A single char is raw: it is never padded and leaves that spec alone.
//
// Borrows its stream, which must outlive it; stream failures pass through.
// Not thread-safe: one thread at a time per formatter.
class Formatter {
public:
    // A manipulator such as nl or flush.
    using Manipulator = Formatter &(*)(Formatter &);

    explicit Formatter(Stream &rStream) : rStream(rStream) {}
    Formatter(const Formatter &) = delete;
    Formatter &operator=(const Formatter &) = delete;
    virtual ~Formatter() = default;

    // Raw bytes, no format involved.
    int write(const String &s) { return rStream.write(s); }
    int write(const void *pBuf, int nBytes) { return rStream.write(pBuf, nBytes); }
    int read(void *pBuf, int nBytes) { return rStream.read(pBuf, nBytes); }

    // The text padded to the width with the fill character on the side(s)
    // the alignment says; a text at least as wide is written alone. Ends a
    // format given for one value. A null text counts as empty.
    void writeAligned(const String &s);
    void writeAligned(const char *s, int nLen);

    // Indentation after each nl: 0 to 255 indentation characters (tab
    // unless set otherwise).
    void incIndent();
    void decIndent();
    void setIndent(int n);
    void clearIndent() { iIndent = 0; }
    void setIndentChar(char c) { cIndentChar = c; }
    int getIndent() const { return iIndent; }

    void flush() { rStream.flush(); }

    // "\r\n", then the indentation, then a flush of the stream.
    static Formatter &nl(Formatter &f);
    static Formatter &flush(Formatter &f);

    // The format for the next value only.
    Formatter &operator<<(const FormatSpec &fs);
    Formatter &operator<<(Manipulator pManip) { return pManip(*this); }

    Formatter &operator<<(const char *s);
    Formatter &operator<<(const String &s);
    // One raw byte.
    Formatter &operator<<(char c);
    Formatter &operator<<(signed char i);
    Formatter &operator<<(unsigned char i);
    Formatter &operator<<(short i);
    Formatter &operator<<(unsigned short i);
    Formatter &operator<<(int i);
    Formatter &operator<<(unsigned int i);
    Formatter &operator<<(long i);
    Formatter &operator<<(unsigned long i);
    Formatter &operator<<(long long i);
    Formatter &operator<<(unsigned long long i);
    // Up to nine significant digits in the radix, rounded, with a point and
    // at least one digit on each side ("100.0", "0.05"); "nan", "inf" and
    // "-inf" for the values that have no digits.
    Formatter &operator<<(float f);
    Formatter &operator<<(double f);
    Formatter &operator<<(long double f);
    // "true" or "false", aligned.
    Formatter &operator<<(bool b);
    // The held value as its own type writes it; an empty variant "(null)".
    Formatter &operator<<(const Variant &v);
    // A pointer would otherwise print as a truth value.
    Formatter &operator<<(const void *) = delete;

    // One token: with tokenize on, leading blanks (space, tab, CR, LF) are
    // skipped and the token ends at the next blank, which is consumed, or
    // at the end of the stream; off, the rest of the stream.
    Formatter &operator>>(String &s);
    // One raw byte; unchanged when the stream has none.
    Formatter &operator>>(char &c);
    Formatter &operator>>(signed char &c);
    Formatter &operator>>(unsigned char &c);
    // A token of an optional '+' or '-' and decimal digits, each digit
    // weighted by a power of the radix (only '0' to '9' count as digits,
    // whatever the radix; the run ends at the first other byte). The target
    // is unchanged when the token starts otherwise, when the radix lies
    // outside 2 to 36 or when the value does not fit the target's type.
    Formatter &operator>>(short &i);
    Formatter &operator>>(unsigned short &i);
    Formatter &operator>>(int &i);
    Formatter &operator>>(unsigned int &i);
    Formatter &operator>>(long &i);
    Formatter &operator>>(unsigned long &i);
    Formatter &operator>>(long long &i);
    Formatter &operator>>(unsigned long long &i);
    // A token read as a double (leading part, as strtod takes it); unchanged
    // when no number starts the token. Out of range gives an infinity or 0.
    Formatter &operator>>(float &f);
    Formatter &operator>>(double &f);
    Formatter &operator>>(long double &f);
    // 'y', 'Y', 't', 'T' first give true; 'n', 'N', 'f', 'F' false; any
    // other token (or none) leaves the value unchanged.
    Formatter &operator>>(bool &b);

private:
    // The format in force for this value; one given for a single value ends here.
    FormatSpec takeFormat();
    void writeInteger(bool bNegative, unsigned long long uMagnitude);
    void writeFloating(long double f);
    String readToken();
    template <typename T>
    Formatter &readInteger(T &i);
    // False, leaving d alone, when no number starts the token.
    bool readFloating(double &d);

    Stream &rStream;
    FormatSpec fsFormat;
    bool bTempFormat = false;
    uint8_t iIndent = 0;
    char cIndentChar = '\t';
};

// The process's console formatter over console() (standard output). Created
// on first use and never destroyed, so that destructors that run during
// exit can still report through it. Not locked.
Formatter &consoleFormatter();

// The text's bytes, raw.
void print(Stream &rStream, const String &sText);
// The text's bytes, then "\n", then a flush.
void println(Stream &rStream, const String &sText);
// The same on the console stream.
void print(const String &sText);
void println(const String &sText);

} // namespace Ka
