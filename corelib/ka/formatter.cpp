// Ka::Formatter: number and text output with padding, token input, and the
// console formatter.
#include "ka/formatter.h"

#include "ka/stdstream.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace Ka {

namespace {

// Digits and sign of the longest integer: 64 binary digits and a sign.
constexpr int kMaxIntegerText = 65;
// Significant digits of floating output.
constexpr int kFloatDigits = 9;

char digitChar(unsigned int d, bool bCaps) {
    if (d < 10)
        return char('0' + d);
    return char((bCaps ? 'A' : 'a') + d - 10);
}

bool isRadix(int iRadix) {
    return iRadix >= 2 && iRadix <= 36;
}

// How many of iPad fill characters go before the text.
int fillBefore(const FormatSpec &fs, int iPad) {
    switch (fs.getAlign()) {
    case FormatSpec::Left:
        return 0;
    case FormatSpec::Centre:
        return iPad / 2;
    default:
        return iPad;
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// x * r^k, rounded once where r^k is exact (small k); a large k goes in
// halves, since r^k alone may lie outside the range of long double where
// the product does not (the largest values, the smallest subnormals).
long double scaleBy(long double x, long double r, int k) {
    if (k > -64 && k < 64)
        return k >= 0 ? x * std::pow(r, (long double)k) : x / std::pow(r, (long double)-k);
    int iHalf = k / 2;
    return scaleBy(scaleBy(x, r, iHalf), r, k - iHalf);
}

// A magnitude in radix r with up to nine significant digits, rounded, laid
// out with the point at its place: "123.5", "100.0", "0.05".
void appendFloatDigits(std::string &sOut, long double x, int iRadix, bool bCaps) {
    const long double r = iRadix;
    // Nine digits as one integer n, r^8 <= n <= r^9 (at most about 10^14),
    // with r^e <= x < r^(e+1). The logarithm may miss e by one either way.
    unsigned long long uUnit = 1;
    for (int i = 1; i < kFloatDigits; ++i)
        uUnit *= unsigned(iRadix);
    const unsigned long long uTop = uUnit * unsigned(iRadix);
    int e = int(std::floor(std::log(x) / std::log(r)));
    long double v = scaleBy(x, r, kFloatDigits - 1 - e);
    if (v < (long double)uUnit) {
        --e;
        v = scaleBy(x, r, kFloatDigits - 1 - e);
    } else if (v >= (long double)uTop) {
        ++e;
        v = scaleBy(x, r, kFloatDigits - 1 - e);
    }
    // To nearest, ties to even (the default rounding mode), as printf rounds.
    unsigned long long n = (unsigned long long)std::nearbyint(v);
    if (n >= uTop) {
        // Rounding carried into a new leading digit (9.9999999996 -> 10).
        n = uUnit;
        ++e;
    } else if (n < uUnit) {
        // Only a last-place error of the scaling gets here: the leading
        // digit stays non-zero.
        n = uUnit;
    }
    char sDigits[kFloatDigits];
    for (int i = kFloatDigits - 1; i >= 0; --i) {
        sDigits[i] = digitChar(unsigned(n % unsigned(iRadix)), bCaps);
        n /= unsigned(iRadix);
    }
    // Digits after the first, trailing zeros dropped.
    int nFurther = kFloatDigits - 1;
    while (nFurther > 0 && sDigits[nFurther] == '0')
        --nFurther;

    if (e < 0) {
        sOut += "0.";
        sOut.append(size_t(-e - 1), '0');
        sOut.append(sDigits, size_t(nFurther + 1));
        return;
    }
    sOut += sDigits[0];
    for (int i = 1; i <= nFurther; ++i) {
        if (i - 1 == e)
            sOut += '.';
        sOut += sDigits[i];
    }
    if (e >= nFurther) {
        sOut.append(size_t(e - nFurther), '0');
        sOut += ".0";
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Writing

FormatSpec Formatter::takeFormat() {
    FormatSpec fs = fsFormat;
    if (bTempFormat) {
        fsFormat = FormatSpec();
        bTempFormat = false;
    }
    return fs;
}

void Formatter::writeAligned(const String &s) {
    if (fsFormat.getWidth() <= s.getSize()) {
        takeFormat();
        rStream.write(s);
        return;
    }
    // Narrower than the field, so shorter than 255 bytes.
    char sText[255];
    int n = 0;
    for (String::const_iterator it = s.begin(); it.isValid(); ++it)
        sText[n++] = *it;
    writeAligned(sText, n);
}

void Formatter::writeAligned(const char *s, int nLen) {
    if (!s || nLen < 0) {
        s = "";
        nLen = 0;
    }
    FormatSpec fs = takeFormat();
    const int iWidth = fs.getWidth();
    if (iWidth <= nLen) {
        rStream.write(s, nLen);
        return;
    }
    // Text and padding fill at most the widest field: one write.
    char sLine[255];
    const int iPad = iWidth - nLen;
    const int iBefore = fillBefore(fs, iPad);
    std::memset(sLine, fs.getFill(), size_t(iBefore));
    std::memcpy(sLine + iBefore, s, size_t(nLen));
    std::memset(sLine + iBefore + nLen, fs.getFill(), size_t(iPad - iBefore));
    rStream.write(sLine, iWidth);
}

void Formatter::incIndent() {
    if (iIndent < 255)
        ++iIndent;
}

void Formatter::decIndent() {
    if (iIndent > 0)
        --iIndent;
}

void Formatter::setIndent(int n) {
    iIndent = uint8_t(n < 0 ? 0 : n > 255 ? 255 : n);
}

Formatter &Formatter::nl(Formatter &f) {
    char sLine[2 + 255];
    sLine[0] = '\r';
    sLine[1] = '\n';
    std::memset(sLine + 2, f.cIndentChar, f.iIndent);
    f.rStream.write(sLine, 2 + f.iIndent);
    f.rStream.flush();
    return f;
}

Formatter &Formatter::flush(Formatter &f) {
    f.rStream.flush();
    return f;
}

Formatter &Formatter::operator<<(const FormatSpec &fs) {
    fsFormat = fs;
    bTempFormat = true;
    return *this;
}

Formatter &Formatter::operator<<(const char *s) {
    writeAligned(s, s ? int(std::strlen(s)) : 0);
    return *this;
}

Formatter &Formatter::operator<<(const String &s) {
    writeAligned(s);
    return *this;
}

Formatter &Formatter::operator<<(char c) {
    rStream.write(&c, 1);
    return *this;
}

// The magnitude of a negative value is taken in unsigned arithmetic, where it
// is defined for the most negative value of every type too.
#define KA_FORMAT_SIGNED(Type)                                                                     \
    Formatter &Formatter::operator<<(Type i) {                                                     \
        unsigned long long u = (unsigned long long)(long long)i;                                   \
        writeInteger(i < 0, i < 0 ? 0ULL - u : u);                                                 \
        return *this;                                                                              \
    }
#define KA_FORMAT_UNSIGNED(Type)                                                                   \
    Formatter &Formatter::operator<<(Type i) {                                                     \
        writeInteger(false, (unsigned long long)i);                                                \
        return *this;                                                                              \
    }

KA_FORMAT_SIGNED(signed char)
KA_FORMAT_UNSIGNED(unsigned char)
KA_FORMAT_SIGNED(short)
KA_FORMAT_UNSIGNED(unsigned short)
KA_FORMAT_SIGNED(int)
KA_FORMAT_UNSIGNED(unsigned int)
KA_FORMAT_SIGNED(long)
KA_FORMAT_UNSIGNED(unsigned long)
KA_FORMAT_SIGNED(long long)
KA_FORMAT_UNSIGNED(unsigned long long)

#undef KA_FORMAT_SIGNED
#undef KA_FORMAT_UNSIGNED

void Formatter::writeInteger(bool bNegative, unsigned long long uMagnitude) {
    const FormatSpec &fs = fsFormat;
    const int iRadix = fs.getRadix();
    if (!isRadix(iRadix)) {
        takeFormat();
        return;
    }
    // Digits from the least significant end, backwards into the buffer.
    char sText[kMaxIntegerText];
    int iPos = kMaxIntegerText;
    do {
        sText[--iPos] = digitChar(unsigned(uMagnitude % unsigned(iRadix)), fs.isCaps());
        uMagnitude /= unsigned(iRadix);
    } while (uMagnitude != 0);
    if (bNegative)
        sText[--iPos] = '-';
    else if (fs.isPlus())
        sText[--iPos] = '+';
    writeAligned(sText + iPos, kMaxIntegerText - iPos);
}

Formatter &Formatter::operator<<(float f) {
    writeFloating(f);
    return *this;
}

Formatter &Formatter::operator<<(double f) {
    writeFloating(f);
    return *this;
}

Formatter &Formatter::operator<<(long double f) {
    writeFloating(f);
    return *this;
}

void Formatter::writeFloating(long double f) {
    const int iRadix = fsFormat.getRadix();
    if (!isRadix(iRadix)) {
        takeFormat();
        return;
    }
    std::string sText;
    if (std::isnan(f)) {
        sText = "nan";
    } else {
        if (f < 0) {
            sText += '-';
            f = -f;
        } else if (fsFormat.isPlus()) {
            sText += '+';
        }
        if (std::isinf(f))
            sText += "inf";
        else if (f == 0)
            sText += "0.0"; // negative zero included: it is not below 0
        else
            appendFloatDigits(sText, f, iRadix, fsFormat.isCaps());
    }
    writeAligned(sText.data(), int(sText.size()));
}

Formatter &Formatter::operator<<(bool b) {
    if (b)
        writeAligned("true", 4);
    else
        writeAligned("false", 5);
    return *this;
}

// ---------------------------------------------------------------------------
// Reading

String Formatter::readToken() {
    FormatSpec fs = takeFormat();
    String sToken;
    if (!fs.isTokenize()) {
        char sBuf[4096];
        int n;
        while ((n = rStream.read(sBuf, int(sizeof sBuf))) > 0)
            sToken.append(sBuf, n);
        return sToken;
    }
    char c;
    do {
        if (rStream.read(&c, 1) != 1)
            return sToken;
    } while (isBlank(c));
    do
        sToken.append(c);
    while (rStream.read(&c, 1) == 1 && !isBlank(c));
    return sToken;
}

Formatter &Formatter::operator>>(String &s) {
    s = readToken();
    return *this;
}

Formatter &Formatter::operator>>(char &c) {
    char b;
    if (rStream.read(&b, 1) == 1)
        c = b;
    return *this;
}

Formatter &Formatter::operator>>(signed char &c) {
    char b;
    if (rStream.read(&b, 1) == 1)
        c = static_cast<signed char>(b);
    return *this;
}

Formatter &Formatter::operator>>(unsigned char &c) {
    char b;
    if (rStream.read(&b, 1) == 1)
        c = static_cast<unsigned char>(b);
    return *this;
}

template <typename T>
Formatter &Formatter::readInteger(T &i) {
    const int iRadix = fsFormat.getRadix();
    String sToken = readToken();
    const char *p = sToken.getConstStr();
    const char *pEnd = p + sToken.getSize();
    if (!isRadix(iRadix) || p == pEnd)
        return *this;
    bool bNegative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    else if (*p < '0' || *p > '9')
        return *this;
    // The largest magnitude the target can take with this sign; the value is
    // built in unsigned arithmetic and refused as soon as it passes that.
    using U = unsigned long long;
    const U uLimit = !bNegative                          ? U(std::numeric_limits<T>::max())
                     : std::numeric_limits<T>::is_signed ? U(std::numeric_limits<T>::max()) + 1
                                                         : 0;
    U uValue = 0;
    for (; p != pEnd && *p >= '0' && *p <= '9'; ++p) {
        U d = U(*p - '0');
        if (d > uLimit || uValue > (uLimit - d) / U(iRadix))
            return *this;
        uValue = uValue * U(iRadix) + d;
    }
    if (!bNegative)
        i = T(uValue);
    else if (uValue != 0)
        // -uValue fits: the most negative value is built from its bit
        // pattern, where negating it would overflow.
        i = T(-(long long)(uValue - 1) - 1);
    else
        i = T(0);
    return *this;
}

#define KA_READ_INTEGER(Type)                                                                      \
    Formatter &Formatter::operator>>(Type &i) {                                                    \
        return readInteger(i);                                                                     \
    }

KA_READ_INTEGER(short)
KA_READ_INTEGER(unsigned short)
KA_READ_INTEGER(int)
KA_READ_INTEGER(unsigned int)
KA_READ_INTEGER(long)
KA_READ_INTEGER(unsigned long)
KA_READ_INTEGER(long long)
KA_READ_INTEGER(unsigned long long)

#undef KA_READ_INTEGER

bool Formatter::readFloating(double &d) {
    String sToken = readToken();
    const char *p = sToken.getConstStr();
    // strtod, unlike scanf, defines what an out-of-range number gives.
    char *pEnd = nullptr;
    double dValue = std::strtod(p, &pEnd);
    if (pEnd == p)
        return false;
    d = dValue;
    return true;
}

Formatter &Formatter::operator>>(float &f) {
    double d;
    if (!readFloating(d))
        return *this;
    // A double beyond the range of float has no float value: it becomes the
    // infinity of its sign, as IEEE rounding would make it.
    if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max()))
        f = std::copysign(std::numeric_limits<float>::infinity(), float(d < 0 ? -1 : 1));
    else
        f = float(d);
    return *this;
}

Formatter &Formatter::operator>>(double &f) {
    readFloating(f);
    return *this;
}

Formatter &Formatter::operator>>(long double &f) {
    double d;
    if (readFloating(d))
        f = d;
    return *this;
}

Formatter &Formatter::operator>>(bool &b) {
    String sToken = readToken();
    if (sToken.isEmpty())
        return *this;
    switch (sToken.getConstStr()[0]) {
    case 'y':
    case 'Y':
    case 't':
    case 'T':
        b = true;
        break;
    case 'n':
    case 'N':
    case 'f':
    case 'F':
        b = false;
        break;
    default:
        break;
    }
    return *this;
}

// ---------------------------------------------------------------------------
// Console

Formatter &consoleFormatter() {
    // Deliberately leaked, like the console stream below it.
    static Formatter *pFormatter = new Formatter(console());
    return *pFormatter;
}

void print(Stream &rStream, const String &sText) {
    rStream.write(sText);
}

void println(Stream &rStream, const String &sText) {
    rStream.write(sText);
    rStream.write("\n", 1);
    rStream.flush();
}

void print(const String &sText) {
    print(console(), sText);
}

void println(const String &sText) {
    println(console(), sText);
}

} // namespace Ka
