// Ka::Variant: holding, copying, type checks and formatting of values.
#include "ka/formatter.h"
#include "ka/membuf.h"
#include "ka/variant.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

TEST(Variant, EmptyVariantsReportNoData) {
    Ka::Variant v;
    EXPECT_FALSE(v.isSet());
    EXPECT_EQ("No data!", support::messageOf([&] { v.getType(); }));
    EXPECT_EQ("No data!", support::messageOf([&] { v.get<int>(); }));
    EXPECT_EQ("(null)", str(v.toString()));
    Ka::MemBuf mb;
    Ka::Formatter f(mb);
    f << Ka::FormatSpec().width(8).centre() << v << 1;
    EXPECT_EQ(" (null) 1", str(mb.getString()));
}

TEST(Variant, HoldsAndFormatsItsValue) {
    Ka::Variant i(300);
    EXPECT_TRUE(i.isSet());
    EXPECT_EQ(typeid(int), i.getType());
    EXPECT_EQ(300, i.get<int>());
    EXPECT_EQ("300", str(i.toString()));
    EXPECT_EQ("Invalid type conversion.", support::messageOf([&] { i.get<Ka::String>(); }));
    i.get<int>() = -12;
    EXPECT_EQ(-12, std::as_const(i).get<const int>());

    // Texts are held as strings, whatever form they come in.
    char sMutable[] = "abc";
    for (const Ka::Variant &v : {Ka::Variant("abc"), Ka::Variant(static_cast<char *>(sMutable)),
                                 Ka::Variant(Ka::String("abc"))}) {
        EXPECT_EQ(typeid(Ka::String), v.getType());
        EXPECT_EQ("abc", str(v.get<Ka::String>()));
    }

    // The formatter's spec reaches the held value.
    Ka::MemBuf mb;
    Ka::Formatter f(mb);
    f << Ka::FormatSpec::hex(4, false) << Ka::Variant(255u) << '|'
      << Ka::FormatSpec().width(5).left() << Ka::Variant("ab") << '|' << Ka::Variant(2.5) << '|'
      << Ka::Variant(true) << '|' << Ka::Variant(-9223372036854775807LL - 1);
    EXPECT_EQ("00ff|ab   |2.5|true|-9223372036854775808", str(mb.getString()));
}

TEST(Variant, CopiesAreIndependent) {
    Ka::Variant a(7);
    Ka::Variant b(a);
    b.get<int>() = 8;
    EXPECT_EQ(7, a.get<int>());
    Ka::Variant c;
    c = b;
    EXPECT_EQ(8, c.get<int>());
    c = Ka::String("s");
    EXPECT_EQ("s", str(c.get<Ka::String>()));
    c = 5;
    EXPECT_EQ(5, c.get<int>());

    Ka::Variant moved(std::move(c));
    EXPECT_EQ(5, moved.get<int>());
    EXPECT_FALSE(c.isSet()); // NOLINT: a moved-from variant is empty
    c = std::move(moved);
    EXPECT_EQ(5, c.get<int>());
}

TEST(Variant, AssignmentToItselfKeepsTheValue) {
    Ka::Variant v(Ka::String("self"));
    Ka::Variant &same = v;
    v = same;
    EXPECT_EQ("self", str(v.get<Ka::String>()));
    v = std::move(same);
    EXPECT_EQ("self", str(v.get<Ka::String>()));
    v = v.get<Ka::String>();
    EXPECT_EQ("self", str(v.get<Ka::String>()));
    Ka::Variant empty;
    Ka::Variant &alsoEmpty = empty;
    empty = alsoEmpty;
    EXPECT_FALSE(empty.isSet());
}

} // namespace
