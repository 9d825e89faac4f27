// Ka::Formatter: numbers and padding against snprintf and std::to_chars where
// they agree; token reading; the console functions.
#include "ka/formatter.h"
#include "ka/membuf.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace {

using Spec = Ka::FormatSpec;

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
std::string formatted(T value, const Spec &fs = Spec()) {
    return written([&](Ka::Formatter &f) { f << fs << value; });
}

template <typename... A>
std::string printed(const char *sFormat, A... args) {
    char sBuf[512];
    return std::string(sBuf, size_t(std::snprintf(sBuf, sizeof sBuf, sFormat, args...)));
}

// ---- Integers ----

template <typename T>
void checkAllRadixes() {
    using L = std::numeric_limits<T>;
    for (T v : {L::min(), T(L::min() + 1), T(0), T(1), T(35), T(36), L::max(), T(L::max() / 3),
                T(L::min() / 7)}) {
        for (int iRadix = 2; iRadix <= 36; ++iRadix) {
            char sBuf[80];
            std::string sLower(sBuf, std::to_chars(sBuf, sBuf + sizeof sBuf, v, iRadix).ptr);
            std::string sUpper = sLower;
            for (char &c : sUpper)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(sLower, formatted(v, Spec().radix(iRadix).caps(false)))
                << +v << " " << iRadix;
            EXPECT_EQ(sUpper, formatted(v, Spec().radix(iRadix))) << +v << " " << iRadix;
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
    // The most negative values keep all their digits.
    EXPECT_EQ("-2147483648", formatted(INT_MIN));
    EXPECT_EQ(printed("%lld", LLONG_MIN), formatted(LLONG_MIN));
    EXPECT_EQ("-1" + std::string(63, '0'), formatted(LLONG_MIN, Spec().radix(2)));
}

TEST(Formatter, WidthsAlignmentSignAndCase) {
    for (int v : {0, 7, -7, 123456, INT_MAX, INT_MIN}) {
        for (int w : {0, 1, 5, 40}) {
            EXPECT_EQ(printed("%*d", w, v), formatted(v, Spec().width(w)));
            EXPECT_EQ(printed("%-*d", w, v), formatted(v, Spec().width(w).left()));
            EXPECT_EQ(printed("%+*d", w, v), formatted(v, Spec().width(w).plus(true)));
            EXPECT_EQ(printed("%*x", w, unsigned(v)),
                      formatted(unsigned(v), Spec().width(w).radix(16).caps(false)));
        }
    }
    EXPECT_EQ("FF", formatted(255, Spec().radix(16)));
    EXPECT_EQ("0a", formatted(10, Spec::hex(2, false)));
    // Unlike printf's '0' flag, the fill goes before the sign.
    EXPECT_EQ("00-5", formatted(-5, Spec().width(4).fill('0')));
    EXPECT_EQ(" 42  ", formatted(42, Spec().width(5).centre()));
    EXPECT_EQ("  42", formatted(42, Spec().width(4).align(3)));
    EXPECT_EQ(std::string(253, ' ') + "42", formatted(42, Spec().width(1000)));
}

TEST(Formatter, AGivenFormatGovernsOneValueOnly) {
    EXPECT_EQ("0a10", written([](Ka::Formatter &f) { f << Spec::hex(2, false) << 10 << 10; }));
    // A raw char neither uses nor ends it.
    EXPECT_EQ("x    7|7",
              written([](Ka::Formatter &f) { f << Spec().width(5) << 'x' << 7 << '|' << 7; }));
    // A radix outside 2 to 36 writes nothing, and the format still ends.
    for (int iRadix : {0, 1, 37, 63}) {
        EXPECT_EQ("|12", written([&](Ka::Formatter &f) {
                      f << Spec().radix(iRadix).width(9) << 77 << '|' << 12;
                  }));
        EXPECT_EQ("", formatted(1.5, Spec().radix(iRadix)));
    }
}

// ---- Texts, truth values, line ends ----

TEST(Formatter, TextsAndTruthValuesArePadded) {
    EXPECT_EQ(printed("%-9s|%9s", "ab", "ab"), written([](Ka::Formatter &f) {
                  f << Spec().width(9).left() << "ab" << '|' << Spec().width(9) << "ab";
              }));
    EXPECT_EQ(" ab  ", formatted("ab", Spec().width(5).centre()));
    EXPECT_EQ("abcdef", formatted(Ka::String("abcdef"), Spec().width(3)));
    EXPECT_EQ("   ", formatted(static_cast<const char *>(nullptr), Spec().width(3)));
    EXPECT_EQ(std::string("a\0b.", 4),
              formatted(Ka::String("a\0b", 3), Spec().width(4).left().fill('.')));
    // A string whose body is a chain of chunks is padded without merging it.
    Ka::String sChained("cd");
    sChained.prepend("ab");
    EXPECT_EQ("  abcd  ", formatted(sChained, Spec().width(8).centre()));
    EXPECT_FALSE(sChained.isFlat());
    EXPECT_EQ("true", formatted(true));
    EXPECT_EQ("false ", formatted(false, Spec().width(6).left()));
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
    f.incIndent();
    f.incIndent();
    f << "b" << Ka::Formatter::nl;
    f.setIndentChar(' ');
    f.decIndent();
    f << "c" << Ka::Formatter::nl << Ka::Formatter::flush;
    EXPECT_EQ(4, buf.nFlushes);
    EXPECT_EQ("a\r\nb\r\n\t\tc\r\n ", str(buf.getString()));
    for (int i = 0; i < 300; ++i)
        f.incIndent();
    EXPECT_EQ(255, f.getIndent());
    f.clearIndent();
    f.decIndent();
    EXPECT_EQ(0, f.getIndent());
}

// ---- Floating values ----

// printf's "%.9g" where it writes no exponent (1e-4 up to 1e9), with ".0"
// behind a whole number: the same digits and the same layout as ours.
std::string nineDigits(double v) {
    std::string s = printed("%.9g", v);
    return s.find('.') == std::string::npos ? s + ".0" : s;
}

TEST(Formatter, FloatsAgreeWithPrintfWhereItWritesNoExponent) {
    // Among them exact ties, which go to the even digit as printf's do, and
    // values whose rounding carries into a new leading digit.
    for (double v : {1.0, 12.0, 100.0, 123.5, 0.05, 0.3, 2.0 / 3, 1e-4, 999999999.0, 987654321.5,
                     1153097.125, 117901853.5, 9.9999999996, 0.99999999996}) {
        EXPECT_EQ(nineDigits(v), formatted(v)) << v;
        EXPECT_EQ(nineDigits(-v), formatted((long double)-v)) << v;
    }
    EXPECT_EQ(nineDigits(double(0.1f)), formatted(0.1f));
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 2000; ++i) {
        double v = std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(rng),
                              std::uniform_int_distribution<int>(-13, 29)(rng));
        if (v >= 1e-4 && v < 1e9) {
            ASSERT_EQ(nineDigits(v), formatted(v)) << printed("%.17g", v);
        }
    }
}

TEST(Formatter, FloatsInOtherRadixesAndWithoutDigits) {
    EXPECT_EQ("10.1", formatted(2.5, Spec().radix(2)));
    EXPECT_EQ("0.01", formatted(0.25, Spec().radix(2)));
    EXPECT_EQ("ff.8", formatted(255.5, Spec().radix(16).caps(false)));
    EXPECT_EQ("0.1", formatted(1.0 / 3, Spec().radix(3)));
    EXPECT_EQ("0.555555556", formatted(5.0 / 6, Spec().radix(7)));
    EXPECT_EQ("  +1.5", formatted(1.5, Spec().width(6).plus(true)));
    EXPECT_EQ("0.0", formatted(-0.0));
    EXPECT_EQ("+0.0", formatted(0.0, Spec().plus(true)));
    EXPECT_EQ("-inf", formatted(-HUGE_VAL));
    EXPECT_EQ("nan", formatted(-std::numeric_limits<long double>::quiet_NaN()));
    // The ends of the range, as printf finds their leading digits.
    ASSERT_EQ("4.94065646e-324", printed("%.8e", std::numeric_limits<double>::denorm_min()));
    EXPECT_EQ("0." + std::string(323, '0') + "494065646",
              formatted(std::numeric_limits<double>::denorm_min()));
    EXPECT_EQ("179769313" + std::string(300, '0') + ".0", formatted(DBL_MAX));
    EXPECT_EQ("1" + std::string(16383, '0') + ".0",
              formatted(std::ldexp(1.0L, 16383), Spec().radix(2)));
    std::string sTiny = formatted(std::numeric_limits<long double>::denorm_min(), Spec().radix(36));
    // 36^-3181 <= 2^-16445 < 36^-3180: 3180 zeros, then the digits.
    EXPECT_EQ("0." + std::string(3180, '0'), sTiny.substr(0, 3182));
    EXPECT_NE('0', sTiny.at(3182));
    EXPECT_LE(sTiny.size(), 3182u + 9);
}

// ---- Reading ----

template <typename T>
T readFrom(const char *sText, T initial, const Spec &fs = Spec()) {
    Ka::MemBuf buf{Ka::String(sText)};
    Ka::Formatter f(buf);
    f << fs >> initial;
    return initial;
}

TEST(Formatter, TokensSkipBlanksAndEndAtTheNext) {
    Ka::MemBuf buf(Ka::String(" \t\r\nalpha  beta\ngamma delta \n"));
    Ka::Formatter f(buf);
    Ka::String a, b, c, d("kept?");
    f >> a >> b;
    f << Spec().tokenize(false) >> c >> d;
    EXPECT_EQ("alpha|beta|gamma delta \n|", str(a) + "|" + str(b) + "|" + str(c) + "|" + str(d));
}

TEST(Formatter, IntegersAreReadDigitByDigitInTheRadix) {
    EXPECT_EQ(123, readFrom(" 123 ", 0));
    EXPECT_EQ(-45, readFrom("-45", 0));
    EXPECT_EQ(12, readFrom("+12ab34", 0));
    EXPECT_EQ(0, readFrom("-", 9));
    EXPECT_EQ(9, readFrom("abc", 9));
    EXPECT_EQ(9, readFrom(" ", 9));
    // Only '0' to '9' are digits, whatever the radix, each weighted by it.
    EXPECT_EQ(0x12, readFrom("12ff", 0, Spec().radix(16)));
    EXPECT_EQ(1 * 2 + 2, readFrom("12", 0, Spec().radix(2)));
    EXPECT_EQ(9, readFrom("12", 9, Spec().radix(1)));
    // Values that do not fit leave the target alone.
    EXPECT_EQ(INT_MIN, readFrom("-2147483648", 0));
    EXPECT_EQ(5, readFrom("2147483648", 5));
    EXPECT_EQ(5, readFrom("99999999999999999999999999999999", 5));
    EXPECT_EQ(LLONG_MIN, readFrom("-9223372036854775808", 0LL));
    EXPECT_EQ(5LL, readFrom("9223372036854775808", 5LL));
    EXPECT_EQ(ULLONG_MAX, readFrom("18446744073709551615", 0ULL));
    EXPECT_EQ(5ULL, readFrom("18446744073709551616", 5ULL));
    EXPECT_EQ(5u, readFrom("-1", 5u));
    EXPECT_EQ(0u, readFrom("-0", 5u));
    EXPECT_EQ((unsigned short)5, readFrom("10000000000000000", (unsigned short)5, Spec().radix(2)));
}

TEST(Formatter, FloatsBytesAndTruthValuesAreRead) {
    EXPECT_EQ(-0.5f, readFrom(" -0.5 ", 0.0f));
    EXPECT_EQ(2.5L, readFrom("2.5", 0.0L));
    EXPECT_EQ(7.0, readFrom("x1", 7.0));
    EXPECT_EQ(HUGE_VAL, readFrom("1e999", 0.0));
    EXPECT_EQ(-HUGE_VALF, readFrom("-1e300", 0.0f));
    EXPECT_TRUE(readFrom("Yes", false));
    EXPECT_FALSE(readFrom("false", true));
    EXPECT_TRUE(readFrom("0", true));
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
    testing::internal::CaptureStdout();
    Ka::consoleFormatter() << "n=" << Spec().width(3) << 7 << Ka::Formatter::nl;
    Ka::print(Ka::String("a"));
    Ka::println(Ka::String("b"));
    EXPECT_EQ("n=  7\r\nab\n", testing::internal::GetCapturedStdout());
    FlushCounter buf;
    Ka::print(buf, Ka::String("x"));
    Ka::println(buf, Ka::String("y"));
    EXPECT_EQ(1, buf.nFlushes);
    EXPECT_EQ("xy\n", str(buf.getString()));
}

} // namespace
