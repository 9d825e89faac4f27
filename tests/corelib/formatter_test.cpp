// Ka::Formatter: numbers, texts, padding and line ends against snprintf and
// std::to_chars where they agree; token reading; the console functions.
#include "ka/formatter.h"
#include "ka/membuf.h"
#include "ka/stdstream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

// What a fresh formatter writes when `write` feeds it.
template <typename F>
std::string written(F write) {
    Ka::MemBuf mb;
    Ka::Formatter f(mb);
    write(f);
    return str(mb.getString());
}

template <typename T>
std::string formatted(const Ka::FormatSpec &fs, T value) {
    return written([&](Ka::Formatter &f) { f << fs << value; });
}

template <typename T>
std::string formatted(T value) {
    return written([&](Ka::Formatter &f) { f << value; });
}

template <typename... A>
std::string printed(const char *sFormat, A... args) {
    char sBuf[512];
    int n = std::snprintf(sBuf, sizeof sBuf, sFormat, args...);
    return std::string(sBuf, size_t(n));
}

// std::to_chars in the radix, capitals on request.
template <typename T>
std::string toChars(T value, int iRadix, bool bCaps) {
    char sBuf[80];
    auto res = std::to_chars(sBuf, sBuf + sizeof sBuf, value, iRadix);
    std::string s(sBuf, res.ptr);
    if (bCaps)
        for (char &c : s)
            c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The values worth trying for an integer type: its ends, zero, and a few
// in between.
template <typename T>
std::vector<T> edgesOf() {
    using L = std::numeric_limits<T>;
    std::vector<T> v = {L::min(), T(L::min() + 1), T(0),     T(1),           T(9), T(10), T(35),
                        T(36),    T(L::max() - 1), L::max(), T(L::max() / 3)};
    if (L::is_signed)
        v.insert(v.end(), {T(-1), T(-10), T(-36), T(L::min() / 7)});
    return v;
}

// ---- Integers ----

template <typename T>
void checkAllRadixes() {
    for (T v : edgesOf<T>()) {
        for (int iRadix = 2; iRadix <= 36; ++iRadix) {
            for (bool bCaps : {false, true}) {
                Ka::FormatSpec fs;
                fs.radix(iRadix).caps(bCaps);
                EXPECT_EQ(toChars(v, iRadix, bCaps), formatted(fs, v)) << +v << " radix " << iRadix;
            }
        }
    }
}

TEST(Formatter, IntegersOfEveryTypeInEveryRadix) {
    checkAllRadixes<signed char>();
    checkAllRadixes<unsigned char>();
    checkAllRadixes<short>();
    checkAllRadixes<unsigned short>();
    checkAllRadixes<int>();
    checkAllRadixes<unsigned int>();
    checkAllRadixes<long>();
    checkAllRadixes<unsigned long>();
    checkAllRadixes<long long>();
    checkAllRadixes<unsigned long long>();
}

TEST(Formatter, MostNegativeValuesKeepAllTheirDigits) {
    EXPECT_EQ(printed("%d", INT_MIN), formatted(INT_MIN));
    EXPECT_EQ("-2147483648", formatted(INT_MIN));
    EXPECT_EQ(printed("%lld", LLONG_MIN), formatted(LLONG_MIN));
    EXPECT_EQ(printed("%d", SCHAR_MIN), formatted(static_cast<signed char>(SCHAR_MIN)));
    EXPECT_EQ(printed("%d", SHRT_MIN), formatted(short(SHRT_MIN)));
    EXPECT_EQ("-1" + std::string(63, '0'), formatted(Ka::FormatSpec().radix(2), LLONG_MIN));
}

TEST(Formatter, WidthsAlignmentAndSignAgreeWithPrintf) {
    const int aValues[] = {0, 7, -7, 123456, -123456, INT_MAX, INT_MIN};
    for (int v : aValues) {
        for (int iWidth : {0, 1, 5, 12, 40}) {
            EXPECT_EQ(printed("%*d", iWidth, v), formatted(Ka::FormatSpec().width(iWidth), v));
            EXPECT_EQ(printed("%-*d", iWidth, v),
                      formatted(Ka::FormatSpec().width(iWidth).left(), v));
            EXPECT_EQ(printed("%+*d", iWidth, v),
                      formatted(Ka::FormatSpec().width(iWidth).plus(true), v));
            EXPECT_EQ(printed("%*x", iWidth, unsigned(v)),
                      formatted(Ka::FormatSpec().width(iWidth).radix(16).caps(false), unsigned(v)));
            EXPECT_EQ(printed("%*o", iWidth, unsigned(v)),
                      formatted(Ka::FormatSpec().width(iWidth).radix(8), unsigned(v)));
        }
    }
    // Unlike printf's '0' flag, the fill goes before the sign.
    EXPECT_EQ("00-5", formatted(Ka::FormatSpec().width(4).fill('0'), -5));
    EXPECT_EQ("**+5", formatted(Ka::FormatSpec().width(4).fill('*').plus(true), 5));
    EXPECT_EQ(" 42  ", formatted(Ka::FormatSpec().width(5).centre(), 42));
    EXPECT_EQ("  42", formatted(Ka::FormatSpec().width(4).align(3), 42));
    EXPECT_EQ(std::string(253, ' ') + "42", formatted(Ka::FormatSpec().width(1000), 42));
}

TEST(Formatter, HexAndCase) {
    EXPECT_EQ("FF", formatted(Ka::FormatSpec().radix(16), 255));
    EXPECT_EQ("ff", formatted(Ka::FormatSpec().radix(16).caps(false), 255));
    EXPECT_EQ("0a", formatted(Ka::FormatSpec::hex(2, false), 10));
    EXPECT_EQ("0A", formatted(Ka::FormatSpec::hex(2, true), 10));
    EXPECT_EQ("Z", formatted(Ka::FormatSpec().radix(36), 35));
    EXPECT_EQ("-z", formatted(Ka::FormatSpec().radix(36).caps(false), -35));
}

TEST(Formatter, AGivenFormatGovernsOneValueOnly) {
    EXPECT_EQ("0a10",
              written([](Ka::Formatter &f) { f << Ka::FormatSpec::hex(2, false) << 10 << 10; }));
    // A raw char neither uses nor ends it.
    EXPECT_EQ("x    7|7", written([](Ka::Formatter &f) {
                  f << Ka::FormatSpec().width(5) << 'x' << 7 << '|' << 7;
              }));
    // Nor does a radix outside 2 to 36, which writes nothing at all.
    for (int iRadix : {0, 1, 37, 63})
        EXPECT_EQ("||12|", written([&](Ka::Formatter &f) {
                      f << '|' << Ka::FormatSpec().radix(iRadix).width(9) << 77 << '|' << 12 << '|';
                  }))
            << iRadix;
    EXPECT_EQ("", formatted(Ka::FormatSpec().radix(1), 1.5));
    // The last of several specs wins.
    EXPECT_EQ("11", written([](Ka::Formatter &f) {
                  f << Ka::FormatSpec().width(9) << Ka::FormatSpec().radix(2) << 3;
              }));
}

// ---- Texts, truth values, line ends ----

TEST(Formatter, TextsArePaddedByAlignment) {
    EXPECT_EQ(" ab  ", formatted(Ka::FormatSpec().width(5).centre(), "ab"));
    EXPECT_EQ("ab   ", formatted(Ka::FormatSpec().width(5).left(), Ka::String("ab")));
    EXPECT_EQ("...ab", formatted(Ka::FormatSpec().width(5).fill('.'), "ab"));
    EXPECT_EQ("abcdef", formatted(Ka::FormatSpec().width(3), "abcdef"));
    EXPECT_EQ("   ", formatted(Ka::FormatSpec().width(3), static_cast<const char *>(nullptr)));
    char sMutable[] = "mut";
    EXPECT_EQ("mut", formatted(static_cast<char *>(sMutable)));
    // A text with zero bytes and a text whose body is a chain of chunks.
    EXPECT_EQ(std::string("a\0b ", 4),
              formatted(Ka::FormatSpec().width(4).left(), Ka::String("a\0b", 3)));
    Ka::String sChained("cd");
    sChained.prepend("ab");
    ASSERT_FALSE(sChained.isFlat());
    EXPECT_EQ("  abcd  ", formatted(Ka::FormatSpec().width(8).centre(), sChained));
    EXPECT_FALSE(sChained.isFlat());
    std::string sLong(1000, 'q');
    EXPECT_EQ(sLong, formatted(Ka::FormatSpec().width(255), Ka::String(sLong.c_str())));
    // printf's padding, where it has the same rule.
    EXPECT_EQ(printed("%-9s|%9s", "ab", "ab"), written([](Ka::Formatter &f) {
                  f << Ka::FormatSpec().width(9).left() << "ab" << '|' << Ka::FormatSpec().width(9)
                    << "ab";
              }));
}

TEST(Formatter, TruthValues) {
    EXPECT_EQ("true", formatted(true));
    EXPECT_EQ("false", formatted(false));
    EXPECT_EQ(" true ", formatted(Ka::FormatSpec().width(6).centre(), true));
}

// A memory buffer that counts its flushes.
class FlushCounter : public Ka::MemBuf {
public:
    void flush() override { ++nFlushes; }
    int nFlushes = 0;
};

TEST(Formatter, LineEndsCarryTheIndentation) {
    FlushCounter buf;
    Ka::Formatter f(buf);
    f << "a" << Ka::Formatter::nl;
    EXPECT_EQ(1, buf.nFlushes);
    f.incIndent();
    f.incIndent();
    f << "b" << Ka::Formatter::nl;
    f.setIndentChar(' ');
    f.decIndent();
    f << "c" << Ka::Formatter::nl << Ka::Formatter::flush;
    f.flush();
    EXPECT_EQ(5, buf.nFlushes);
    EXPECT_EQ("a\r\nb\r\n\t\tc\r\n ", str(buf.getString()));

    f.clearIndent();
    f.decIndent();
    EXPECT_EQ(0, f.getIndent());
    for (int i = 0; i < 300; ++i)
        f.incIndent();
    EXPECT_EQ(255, f.getIndent());
    f.setIndent(1000);
    EXPECT_EQ(255, f.getIndent());
    f.setIndent(-1);
    EXPECT_EQ(0, f.getIndent());
    f.setIndent(300 - 255);
    buf.setString(Ka::String());
    f << Ka::Formatter::nl;
    EXPECT_EQ("\r\n" + std::string(45, ' '), str(buf.getString()));
}

TEST(Formatter, RawBytesPassThrough) {
    Ka::MemBuf buf(Ka::String("xyz"));
    Ka::Formatter f(buf);
    char s[2];
    EXPECT_EQ(2, f.read(s, 2));
    EXPECT_EQ('x', s[0]);
    EXPECT_EQ(3, f.write("123", 3));
    EXPECT_EQ(2, f.write(Ka::String("45")));
    EXPECT_EQ("xy12345", str(buf.getString()));
}

// ---- Floating values ----

// printf's "%.9g" where it writes no exponent (1e-4 up to 1e9), with ".0"
// behind a whole number: the same digits and the same layout as ours.
std::string nineDigits(double v) {
    std::string s = printed("%.9g", v);
    if (s.find('.') == std::string::npos)
        s += ".0";
    return s;
}

TEST(Formatter, FloatsAgreeWithPrintfWhereItWritesNoExponent) {
    const double aValues[] = {1, 12, 100, 123.5, 0.5, 0.05, 0.3, 0.1, 2.0 / 3, 1e-4, 0.00012345,
                              999999999, 1e8, 123456789, 12345.678, 3.14159265358979, 987654321.5,
                              9.9999999996, 0.99999999996, 65536.25, 42.125,
                              // Exact ties go to the even digit, as printf's do.
                              1153097.125, 1153097.375, 117901852.5, 117901853.5};
    for (double v : aValues) {
        EXPECT_EQ(nineDigits(v), formatted(v)) << v;
        EXPECT_EQ(nineDigits(-v), formatted(-v)) << -v;
        EXPECT_EQ(nineDigits(v), formatted((long double)v)) << v;
    }
    EXPECT_EQ(nineDigits(double(0.1f)), formatted(0.1f));
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 2000; ++i) {
        // Spread over the whole range where printf writes no exponent.
        double v = std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(rng),
                              std::uniform_int_distribution<int>(-13, 29)(rng));
        if (v < 1e-4 || v >= 1e9)
            continue;
        ASSERT_EQ(nineDigits(v), formatted(v)) << printed("%.17g", v);
    }
}

TEST(Formatter, FloatsInOtherRadixesAndPadding) {
    EXPECT_EQ("0.1", formatted(Ka::FormatSpec().radix(2), 0.5));
    EXPECT_EQ("10.1", formatted(Ka::FormatSpec().radix(2), 2.5));
    EXPECT_EQ("0.01", formatted(Ka::FormatSpec().radix(2), 0.25));
    EXPECT_EQ("1000.0", formatted(Ka::FormatSpec().radix(2), 8.0));
    EXPECT_EQ("FF.8", formatted(Ka::FormatSpec().radix(16), 255.5));
    EXPECT_EQ("ff.8", formatted(Ka::FormatSpec().radix(16).caps(false), 255.5));
    EXPECT_EQ("-Z.I", formatted(Ka::FormatSpec().radix(36), -35.5));
    // Nine significant digits, rounded: a third in radix 3 is exact.
    EXPECT_EQ("0.1", formatted(Ka::FormatSpec().radix(3), 1.0 / 3));
    EXPECT_EQ("0.555555556", formatted(Ka::FormatSpec().radix(7), 5.0 / 6));
    EXPECT_EQ("  1.5", formatted(Ka::FormatSpec().width(5), 1.5));
    EXPECT_EQ("+1.5", formatted(Ka::FormatSpec().plus(true), 1.5));
    EXPECT_EQ("100000000000000000000.0", formatted(1e20));
}

TEST(Formatter, FloatsWithoutDigitsAndAtTheEndsOfTheRange) {
    EXPECT_EQ("0.0", formatted(0.0));
    EXPECT_EQ("0.0", formatted(-0.0));
    EXPECT_EQ("inf", formatted(std::numeric_limits<double>::infinity()));
    EXPECT_EQ("-inf", formatted(-std::numeric_limits<float>::infinity()));
    EXPECT_EQ("nan", formatted(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ("nan", formatted(-std::numeric_limits<long double>::quiet_NaN()));
    EXPECT_EQ("  inf", formatted(Ka::FormatSpec().width(5), HUGE_VAL));

    // The smallest subnormal: 323 zeros after the point, then the digits
    // printf finds for it.
    std::string sMin = formatted(std::numeric_limits<double>::denorm_min());
    std::string sDigits = printed("%.8e", std::numeric_limits<double>::denorm_min());
    ASSERT_EQ("4.94065646e-324", sDigits);
    EXPECT_EQ("0." + std::string(323, '0') + "494065646", sMin);
    // The largest double: its nine leading digits, then zeros up to the point.
    std::string sMax = formatted(DBL_MAX);
    EXPECT_EQ("179769313" + std::string(300, '0') + ".0", sMax);

    // Every end of long double in the extreme radixes has a text of the
    // expected shape (digits, one point) and length.
    for (int iRadix : {2, 10, 36}) {
        for (long double v : {std::numeric_limits<long double>::max(),
                              std::numeric_limits<long double>::denorm_min(),
                              std::numeric_limits<long double>::min()}) {
            std::string s = formatted(Ka::FormatSpec().radix(iRadix), v);
            // As many places as the exponent in the radix, give or take
            // the nine digits, the point and the leading "0.".
            size_t nPlaces = size_t(std::fabs(double(std::log(v))) / std::log(double(iRadix)));
            EXPECT_GE(s.size(), nPlaces) << iRadix;
            EXPECT_LE(s.size(), nPlaces + 12) << iRadix;
            EXPECT_EQ(1u, size_t(std::count(s.begin(), s.end(), '.')));
            EXPECT_EQ(std::string::npos,
                      s.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ."));
        }
    }
    EXPECT_EQ(std::string("1") + std::string(16383, '0') + ".0",
              formatted(Ka::FormatSpec().radix(2), std::ldexp(1.0L, 16383)));
}

// ---- Reading ----

template <typename T>
T readFrom(const char *sText, T initial, const Ka::FormatSpec &fs = Ka::FormatSpec()) {
    Ka::MemBuf buf{Ka::String(sText)};
    Ka::Formatter f(buf);
    T value = initial;
    f << fs >> value;
    return value;
}

TEST(Formatter, TokensSkipBlanksAndEndAtTheNext) {
    Ka::MemBuf buf(Ka::String(" \t\r\nalpha  beta\ngamma"));
    Ka::Formatter f(buf);
    Ka::String a, b, c, d("kept?");
    f >> a >> b >> c >> d;
    EXPECT_EQ("alpha", str(a));
    EXPECT_EQ("beta", str(b));
    EXPECT_EQ("gamma", str(c));
    EXPECT_EQ("", str(d));

    Ka::MemBuf all(Ka::String(" one two\n"));
    Ka::Formatter g(all);
    Ka::String sWord, sRest;
    g >> sWord;
    g << Ka::FormatSpec().tokenize(false) >> sRest;
    EXPECT_EQ("one", str(sWord));
    EXPECT_EQ("two\n", str(sRest));
    std::string sBig(10000, 'x');
    EXPECT_EQ(sBig, str(readFrom(sBig.c_str(), Ka::String(), Ka::FormatSpec().tokenize(false))));
}

TEST(Formatter, IntegersAreReadDigitByDigitInTheRadix) {
    EXPECT_EQ(123, readFrom(" 123 ", 0));
    EXPECT_EQ(-45, readFrom("-45", 0));
    EXPECT_EQ(7, readFrom("+7", 0));
    EXPECT_EQ(12, readFrom("12ab34", 0));
    EXPECT_EQ(0, readFrom("-", 9));
    EXPECT_EQ(9, readFrom("abc", 9));
    EXPECT_EQ(9, readFrom("", 9));
    EXPECT_EQ(9, readFrom(" ", 9));
    // Only '0' to '9' are digits, whatever the radix, each weighted by it.
    EXPECT_EQ(0x12, readFrom("12", 0, Ka::FormatSpec().radix(16)));
    EXPECT_EQ(9, readFrom("ff", 9, Ka::FormatSpec().radix(16)));
    EXPECT_EQ(1 * 2 + 2, readFrom("12", 0, Ka::FormatSpec().radix(2)));
    EXPECT_EQ(9, readFrom("12", 9, Ka::FormatSpec().radix(1)));
    // The format ends with the value: the next one is read in decimal.
    Ka::MemBuf buf(Ka::String("10 10"));
    Ka::Formatter f(buf);
    int a = 0, b = 0;
    f << Ka::FormatSpec().radix(8) >> a >> b;
    EXPECT_EQ(8, a);
    EXPECT_EQ(10, b);
}

TEST(Formatter, IntegersThatDoNotFitLeaveTheTargetAlone) {
    EXPECT_EQ(INT_MAX, readFrom("2147483647", 0));
    EXPECT_EQ(INT_MIN, readFrom("-2147483648", 0));
    EXPECT_EQ(5, readFrom("2147483648", 5));
    EXPECT_EQ(5, readFrom("-2147483649", 5));
    EXPECT_EQ(5, readFrom("99999999999999999999999999999999", 5));
    EXPECT_EQ(LLONG_MIN, readFrom("-9223372036854775808", 0LL));
    EXPECT_EQ(LLONG_MAX, readFrom("9223372036854775807", 0LL));
    EXPECT_EQ(5LL, readFrom("9223372036854775808", 5LL));
    EXPECT_EQ(ULLONG_MAX, readFrom("18446744073709551615", 0ULL));
    EXPECT_EQ(5ULL, readFrom("18446744073709551616", 5ULL));
    EXPECT_EQ(5u, readFrom("-1", 5u));
    EXPECT_EQ(0u, readFrom("-0", 5u));
    EXPECT_EQ(short(-32768), readFrom("-32768", short(0)));
    EXPECT_EQ(short(5), readFrom("32768", short(5)));
    EXPECT_EQ((unsigned short)65535, readFrom("65535", (unsigned short)0));
    EXPECT_EQ(long(LONG_MIN), readFrom("-9223372036854775808", 0L));
    EXPECT_EQ(7ul, readFrom("0000000000000000000000000000007", 0ul));
    // In radix 2 the limit falls at other digit counts.
    EXPECT_EQ((unsigned short)65535,
              readFrom("1111111111111111", (unsigned short)0, Ka::FormatSpec().radix(2)));
    EXPECT_EQ((unsigned short)5,
              readFrom("10000000000000000", (unsigned short)5, Ka::FormatSpec().radix(2)));
}

TEST(Formatter, FloatsBytesAndTruthValuesAreRead) {
    EXPECT_EQ(3.25, readFrom("3.25", 0.0));
    EXPECT_EQ(-0.5f, readFrom(" -0.5 ", 0.0f));
    EXPECT_EQ(2.5L, readFrom("2.5", 0.0L));
    EXPECT_EQ(7.0, readFrom("x1", 7.0));
    EXPECT_EQ(7.0L, readFrom("", 7.0L));
    EXPECT_TRUE(std::isinf(readFrom("1e999", 0.0)));
    EXPECT_EQ(std::numeric_limits<float>::infinity(), readFrom("1e300", 0.0f));
    EXPECT_EQ(-std::numeric_limits<float>::infinity(), readFrom("-1e300", 0.0f));
    EXPECT_EQ(0.0, readFrom("1e-999", 1.0));

    EXPECT_TRUE(readFrom("Yes", false));
    EXPECT_TRUE(readFrom("t", false));
    EXPECT_FALSE(readFrom("false", true));
    EXPECT_FALSE(readFrom("No", true));
    EXPECT_TRUE(readFrom("0", true));
    EXPECT_FALSE(readFrom("", false));

    Ka::MemBuf buf(Ka::String(" \xE9"));
    Ka::Formatter f(buf);
    char c = 'x';
    unsigned char u = 0;
    signed char s = 0;
    f >> c >> u >> s;
    EXPECT_EQ(' ', c);
    EXPECT_EQ(0xE9, u);
    EXPECT_EQ(0, s);
}

// ---- Console ----

TEST(Formatter, ConsoleFormatterAndPrintFunctions) {
    EXPECT_EQ(&Ka::consoleFormatter(), &Ka::consoleFormatter());
    testing::internal::CaptureStdout();
    Ka::consoleFormatter() << "n=" << Ka::FormatSpec().width(3) << 7 << Ka::Formatter::nl;
    Ka::print(Ka::String("a"));
    Ka::println(Ka::String("b"));
    EXPECT_EQ("n=  7\r\nab\n", testing::internal::GetCapturedStdout());

    FlushCounter buf;
    Ka::print(buf, Ka::String("x"));
    EXPECT_EQ(0, buf.nFlushes);
    Ka::println(buf, Ka::String("y"));
    EXPECT_EQ(1, buf.nFlushes);
    EXPECT_EQ("xy\n", str(buf.getString()));
}

} // namespace
