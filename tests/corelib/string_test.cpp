// Ka::String: construction, chunking, copy-on-write and the text operations.
#include "ka/exception.h"
#include "ka/list.h"
#include "ka/string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

TEST(StringHash, KnownValue) {
    EXPECT_EQ(807794786u, Ka::__calcHashCode(Ka::String("abc")));
    EXPECT_EQ(807794786u, Ka::__calcHashCode("abc"));
    EXPECT_EQ(0u, Ka::__calcHashCode(static_cast<const char *>(nullptr)));
}

TEST(StringBasics, NullAndEmpty) {
    Ka::String s(static_cast<const char *>(nullptr));
    EXPECT_TRUE(s.isEmpty());
    EXPECT_FALSE(s.isSet());
    EXPECT_STREQ("", s.getStr());
    EXPECT_FALSE(s.isSet());
    EXPECT_TRUE(s == static_cast<const char *>(nullptr));
    EXPECT_TRUE(s == "");
}

TEST(StringBasics, ThreeHundredSingleBytes) {
    Ka::String s;
    std::string ref;
    for (int i = 0; i < 300; ++i) {
        s.append(char('a' + i % 26));
        ref.push_back(char('a' + i % 26));
    }
    EXPECT_FALSE(s.isFlat());
    const char *p = s.getStr();
    EXPECT_TRUE(s.isFlat());
    EXPECT_EQ(ref, std::string(p));
    EXPECT_EQ(300, s.getSize());
}

TEST(StringBasics, CopyOnWrite) {
    Ka::String a("hello");
    Ka::String b(a);
    EXPECT_TRUE(a.sharesCoreWith(b));
    a.append(" world");
    EXPECT_EQ("hello", str(b));
    EXPECT_EQ("hello world", str(a));
}

TEST(StringOps, Examples) {
    EXPECT_EQ("bc", str(Ka::String("abc").getSubStr(1, -1)));
    EXPECT_TRUE(Ka::String("abc").getSubStr(5, 2).isEmpty());
    EXPECT_EQ(2, Ka::String("abc").findIdx("c", 0));
    EXPECT_EQ(4, Ka::String("abcabc").rfindIdx("bc"));
    EXPECT_EQ("x y", str(Ka::String(" \tx y\r\n").trimWhitespace()));
    Ka::List<Ka::String> l = Ka::String(",a,,b,").split(',');
    ASSERT_EQ(4, l.getSize());
    EXPECT_EQ("", str(l.takeFirst()));
    EXPECT_EQ("a", str(l.takeFirst()));
    EXPECT_EQ("", str(l.takeFirst()));
    EXPECT_EQ("b", str(l.takeFirst()));
    Ka::String z("a\0b", 3);
    EXPECT_EQ(3, z.getSize());
    EXPECT_TRUE(z == "a");
    Ka::String n("abc");
    n.setSize(-5);
    EXPECT_TRUE(n.isEmpty());
    EXPECT_THROW(n[0], Ka::ExceptionBase);
}

} // namespace
