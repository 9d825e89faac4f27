// Ka::String::FormatProxy: numbered arguments filled into format strings.
#include "ka/formatproxy.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

std::string fill(const Ka::String::FormatProxy &p) {
    return str(Ka::String(p));
}

TEST(FormatProxy, FillsNumberedArguments) {
    EXPECT_EQ("3 of 5", fill(Ka::String("%1 of %2").arg(3).arg(5)));
    EXPECT_EQ("100%", fill(Ka::String("100%%").arg(1)));
    EXPECT_EQ("300", fill(Ka::String("%1").arg(300)));
    EXPECT_EQ("x", fill(Ka::String("x").arg(1).arg(2)));
    EXPECT_EQ("a a", fill(Ka::String("%1 %1").arg("a")));
    EXPECT_EQ("[(null)] 2.5 true -7",
              fill(Ka::String("[%1] %2 %3 %4").arg(Ka::Variant()).arg(2.5).arg(true).arg(-7L)));
    Ka::String::FormatProxy ten = Ka::String("%10|%1").arg(1);
    for (int i = 2; i <= 10; ++i)
        ten.arg(i * 11);
    EXPECT_EQ("110|1", fill(ten));
}

TEST(FormatProxy, TheByteAfterANumberIsCopiedAndSkipped) {
    EXPECT_EQ("a%2", fill(Ka::String("%1%2").arg("a").arg("b")));
    EXPECT_EQ("ax-", fill(Ka::String("%1x-").arg("a")));
    EXPECT_EQ("a%", fill(Ka::String("%1%").arg("a")));
}

TEST(FormatProxy, NumbersOutsideTheArgumentsThrow) {
    EXPECT_EQ("Argument index 3 is outside of valid range (1-2).",
              support::messageOf([] { fill(Ka::String("%3").arg(1).arg(2)); }));
    EXPECT_EQ("Argument index 0 is outside of valid range (1-1).",
              support::messageOf([] { fill(Ka::String("%x").arg(1)); }));
    // A digit run too long for an int stays out of range without overflowing.
    for (const char *s : {"%99999999999", "%2147483648", "%99999999999999999999999999999999x"})
        EXPECT_EQ("Argument index " + std::to_string(INT_MAX) + " is outside of valid range (1-1).",
                  support::messageOf([&] { fill(Ka::String(s).arg(1)); }))
            << s;
    EXPECT_EQ("1", fill(Ka::String("%0000000000000000000001").arg(1)));
    EXPECT_EQ("Not a valid const_iterator.",
              support::messageOf([] { fill(Ka::String("50%").arg(1)); }));
}

Ka::String makeFormat() {
    return Ka::String("<%1|%2>");
}

TEST(FormatProxy, KeepsItsFormatAndArgumentsAlive) {
    // The format string and the argument are temporaries gone before the
    // proxy is read.
    Ka::String::FormatProxy p = makeFormat().arg(Ka::String("one"));
    auto &&q = Ka::String("%1-%2").arg(1).arg(2);
    p.arg(2);
    EXPECT_EQ("<one|2>", fill(p));
    EXPECT_EQ("1-2", fill(q));

    // Later changes to the originals do not reach it.
    Ka::String sFormat("%1");
    Ka::String sArg("before");
    Ka::String::FormatProxy r = sFormat.arg(sArg);
    sArg.append(" after");
    sFormat.append("!");
    EXPECT_EQ("before", fill(r));

    // Copies are independent.
    Ka::String::FormatProxy copy = p;
    copy.arg(3);
    EXPECT_EQ("<one|2>", fill(p));
}

TEST(FormatProxy, LongAndChainedFormatStrings) {
    std::string sText(1000, 'x');
    std::string sExpected = sText;
    Ka::String sFormat(sText.c_str());
    for (int i = 0; i < 50; ++i) {
        sFormat.append(" %1 ");
        sExpected += " 42 ";
    }
    ASSERT_FALSE(sFormat.isFlat());
    EXPECT_EQ(sExpected, fill(sFormat.arg(42)));
    // Reading the format leaves its chain as it was.
    EXPECT_FALSE(sFormat.isFlat());
    EXPECT_EQ(std::string("a\0b", 3), fill(Ka::String("a\0%1", 4).arg("b")));
}

} // namespace
