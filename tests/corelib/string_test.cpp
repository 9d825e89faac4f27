// Ka::String: construction, chunking, copy-on-write and the text operations.
#include "ka/exception.h"
#include "ka/list.h"
#include "ka/string.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

// The bytes of a string read through its iterators, which never merge the
// chain.
std::string walk(const Ka::String &s) {
    std::string out;
    for (Ka::String::const_iterator it = s.begin(); it.isValid(); ++it)
        out.push_back(*it);
    return out;
}

// A string of several chunks: appends past the 255-byte top-up limit.
Ka::String chained(const std::string &text) {
    Ka::String s;
    for (size_t i = 0; i < text.size(); i += 100)
        s.append(text.data() + i, int(std::min<size_t>(100, text.size() - i)));
    return s;
}

std::string letters(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s.push_back(char('a' + i % 26));
    return s;
}

using support::messageOf;

TEST(StringHash, KnownValue) {
    EXPECT_EQ(807794786u, Ka::__calcHashCode(Ka::String("abc")));
    EXPECT_EQ(807794786u, Ka::__calcHashCode("abc"));
    EXPECT_EQ(0u, Ka::__calcHashCode(static_cast<const char *>(nullptr)));
    // Bytes count as signed: 0xff is -1, sign-extended.
    EXPECT_EQ(0xffffffffu, Ka::__calcHashCode(Ka::String("\xff")));
    EXPECT_EQ(Ka::__calcHashCode(Ka::String("a\0b", 3)), Ka::hashBytes("a\0b", 3));
    EXPECT_NE(Ka::__calcHashCode(Ka::String("a\0b", 3)), Ka::__calcHashCode(Ka::String("a")));
}

TEST(StringHash, KeyComparison) {
    char sText[] = "abc";
    EXPECT_TRUE(Ka::__cmpHashKeys(static_cast<const char *>(sText), "abc"));
    EXPECT_TRUE(Ka::__cmpHashKeys(static_cast<const char *>(nullptr), nullptr));
    EXPECT_FALSE(Ka::__cmpHashKeys("abc", nullptr));
    EXPECT_TRUE(Ka::__cmpHashKeys(Ka::String("x"), chained("x")));
}

TEST(StringBasics, NullAndEmpty) {
    Ka::String s(static_cast<const char *>(nullptr));
    EXPECT_TRUE(s.isEmpty());
    EXPECT_FALSE(s.isSet());
    EXPECT_STREQ("", s.getStr());
    EXPECT_FALSE(s.isSet());
    EXPECT_TRUE(s == static_cast<const char *>(nullptr));
    EXPECT_TRUE(s == "");
    EXPECT_FALSE(s.begin().isValid());
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

TEST(StringBasics, TopUpStopsAt255Bytes) {
    Ka::String s(letters(254).c_str());
    s.append('x');
    EXPECT_TRUE(s.isFlat()); // 255 bytes still fit the first chunk
    s.append('y');
    EXPECT_FALSE(s.isFlat());
    Ka::String t(letters(10).c_str());
    t.append(letters(245).c_str());
    EXPECT_TRUE(t.isFlat());
    t.append(letters(1000).c_str()); // one new chunk for all of it
    EXPECT_EQ(letters(10) + letters(245) + letters(1000), walk(t));
    // A flat chunk of 300 bytes is never topped up.
    Ka::String u(letters(300).c_str());
    u.append('z');
    EXPECT_FALSE(u.isFlat());
}

TEST(StringBasics, CopyOnWrite) {
    Ka::String a("hello");
    Ka::String b(a);
    EXPECT_TRUE(a.sharesCoreWith(b));
    a.append(" world");
    EXPECT_EQ("hello", str(b));
    EXPECT_EQ("hello world", str(a));

    Ka::String c(b);
    c.getStr()[0] = 'J';
    c[1] = 'E';
    EXPECT_EQ("hello", str(b));
    EXPECT_EQ("JEllo", str(c));
    Ka::String d(b);
    *d.begin() = 'Y';
    EXPECT_EQ("hello", str(b));
    EXPECT_EQ("Yello", str(d));
    // Merging a shared chain changes no content seen by the other sharer.
    Ka::String e = chained(letters(600));
    Ka::String f(e);
    EXPECT_EQ(letters(600), str(f));
    EXPECT_EQ(letters(600), walk(e));
}

TEST(StringBasics, ConstructionForms) {
    Ka::String abc("abcdef");
    EXPECT_EQ("abc", str(Ka::String("abcdef", 3)));
    EXPECT_EQ("", str(Ka::String("abcdef", -1)));
    EXPECT_EQ("ab", str(Ka::String(abc, 2)));
    EXPECT_EQ("abcdef", str(Ka::String(abc, -1)));
    EXPECT_EQ("cdef", str(Ka::String(abc, 2, -1)));
    EXPECT_EQ("cd", str(Ka::String(abc, 2, 2)));
    EXPECT_EQ("", str(Ka::String(abc, 9, 2)));
    Ka::String sized(1000);
    EXPECT_EQ(1000, sized.getSize());
    EXPECT_TRUE(sized.isFlat());
    EXPECT_EQ(std::string(1000, '\0'), str(sized));
    Ka::String chain = chained(letters(700));
    Ka::String::const_iterator from = chain.find('c', Ka::String::const_iterator());
    Ka::String::const_iterator to = chain.find("xyz", 3, from);
    EXPECT_EQ(letters(700).substr(2), str(Ka::String(from)));
    EXPECT_EQ("cdefghijklmnopqrstuvw", str(Ka::String(from, to)));
    EXPECT_EQ("", str(Ka::String(Ka::String::const_iterator())));
}

TEST(StringBasics, SetAndAssign) {
    Ka::String s("old");
    s = "new";
    EXPECT_EQ("new", str(s));
    s.set("abcdef", 2, 3);
    EXPECT_EQ("cde", str(s));
    s.set(s, 1, 1);
    EXPECT_EQ("d", str(s));
    Ka::String chain = chained(letters(500));
    s.set(chain.begin(), chain.find('z', chain.begin()));
    EXPECT_EQ(letters(25), str(s));
    s.set(s.begin());
    EXPECT_EQ(letters(25), str(s));
    s.set(static_cast<const char *>(nullptr));
    EXPECT_TRUE(s.isEmpty());
    s.resetSize(5);
    EXPECT_EQ(std::string(5, '\0'), str(s));
}

TEST(StringAppend, Forms) {
    Ka::String s;
    s.append("abc", 1, 2);
    s.append(static_cast<const char *>(nullptr), 4);
    s.append("zz", 0);
    EXPECT_EQ("bc", str(s));
    EXPECT_EQ("Index out of range.", messageOf([&] { s.append("abc", -1, 2); }));
    Ka::String t("0123456789");
    s.append(t, 3);
    s.append(t, 8, -1);
    s.append(t, -4, 1);
    s.append(t, 10, 5);
    s.append(t, -1);
    EXPECT_EQ("bc012890" + std::string("0123456789"), str(s));
    s += 'x';
    s += "yz";
    s += t;
    s += t.begin();
    EXPECT_EQ("bc0128900123456789xyz01234567890", str(s));
}

TEST(StringAppend, SelfAndIteratorRanges) {
    Ka::String s = chained(letters(400));
    s.append(s);
    EXPECT_EQ(letters(400) + letters(400), walk(s));
    Ka::String t = chained(letters(300));
    // Appending a range of its own chain: the range's bytes are the old ones.
    t.append(t.begin(), t.find('e', t.begin()));
    EXPECT_EQ(letters(300) + "abcd", walk(t));
    Ka::String u = chained(letters(300));
    Ka::String v(u);
    u.append(u.begin());
    EXPECT_EQ(letters(300) + letters(300), walk(u));
    EXPECT_EQ(letters(300), walk(v));
    // An invalid start appends nothing.
    u.append(Ka::String::const_iterator());
    EXPECT_EQ(600, u.getSize());
}

TEST(StringAppend, PrependAndInsert) {
    Ka::String s("world");
    s.prepend(' ');
    s.prepend("hello");
    s.prepend(static_cast<const char *>(nullptr));
    s.prepend(Ka::String(">"));
    EXPECT_EQ(">hello world", str(s));
    s.insert(0, "[");
    s.insert(100, "]");
    s.insert(7, ",", 1);
    s.insert(-3, Ka::String(""));
    EXPECT_EQ("[>hello, world]", str(s));
    Ka::String t = chained(letters(300));
    t.insert(150, t);
    EXPECT_EQ(letters(300).substr(0, 150) + letters(300) + letters(300).substr(150), walk(t));
    Ka::String u = chained(letters(300));
    u.prepend(u);
    EXPECT_EQ(letters(300) + letters(300), walk(u));
    // Inserting bytes that live in the string's own chain.
    Ka::String w = chained(letters(300));
    Ka::String::iterator it = w.find('k', w.begin());
    w.insert(2, &*it, 3);
    EXPECT_EQ("abklm" + letters(300).substr(2), walk(w));
    EXPECT_EQ("ab", str(Ka::String("a") + "b"));
    EXPECT_EQ("ab", str("a" + Ka::String("b")));
    EXPECT_EQ("ab", str(Ka::String("a") + Ka::String("b")));
}

TEST(StringRemove, EdgeCases) {
    Ka::String s("abcdef");
    s.remove(-1, 2);
    s.remove(6, 1);
    s.remove(2, 0);
    EXPECT_EQ("abcdef", str(s));
    s.remove(4, 100);
    EXPECT_EQ("abcd", str(s));
    s.remove(1, 2);
    EXPECT_EQ("ad", str(s));
    Ka::String t("abcdef");
    t.trimFront(-1);
    t.trimFront(2);
    t.trimBack(-1);
    t.trimBack(1);
    EXPECT_EQ("cde", str(t));
    t.trimBack(10);
    EXPECT_TRUE(t.isEmpty());
    Ka::String u("abc");
    u.trimFront(10);
    EXPECT_TRUE(u.isEmpty());
    Ka::String v("abc");
    v.setSize(-5);
    EXPECT_TRUE(v.isEmpty());
    v = "abc";
    v.setSize(6);
    EXPECT_EQ(std::string("abc\0\0\0", 6), str(v));
    v.setSize(2);
    EXPECT_EQ("ab", str(v));
    Ka::String w("xyz");
    w.clear();
    EXPECT_TRUE(w.isEmpty());
    EXPECT_FALSE(w.isSet());
}

TEST(StringAccess, IndexAndIterators) {
    Ka::String s("abc");
    EXPECT_EQ('c', s[2]);
    const Ka::String &c = s;
    EXPECT_EQ('a', c[0]);
    EXPECT_EQ("Index out of range.", messageOf([&] { s[3]; }));
    EXPECT_EQ("Index out of range.", messageOf([&] { c[-1]; }));
    EXPECT_EQ("Not a valid iterator.", messageOf([] { *Ka::String::iterator(); }));
    EXPECT_EQ("Not a valid const_iterator.", messageOf([] { *Ka::String::const_iterator(); }));
    EXPECT_EQ("Not a valid const_iterator.", messageOf([&] { *c.end(); }));
    EXPECT_EQ("bc", str(s.getSubStr(1, -1)));
    EXPECT_EQ("b", str(s.getSubStr(1, 1)));
    EXPECT_EQ("ab", str(s.getSubStr(-2, 2)));
    EXPECT_TRUE(s.getSubStr(5, 2).isEmpty());
    EXPECT_EQ("abc", str(s.getSubStr(c.begin(), c.end())));
    EXPECT_TRUE(s.getSubStr(c.end(), c.begin()).isEmpty());
    // A string cut to length 0 keeps an empty chunk; begin() is still invalid.
    Ka::String e("abc");
    e.setSize(0);
    EXPECT_FALSE(e.begin().isValid());
    EXPECT_TRUE(e == "");
}

TEST(StringCompare, Equality) {
    Ka::String z("a\0b", 3);
    EXPECT_EQ(3, z.getSize());
    EXPECT_TRUE(z == "a");
    EXPECT_FALSE(z == "ab");
    EXPECT_FALSE(Ka::String("ab") == "abc");
    EXPECT_FALSE(Ka::String("abc") == "ab");
    EXPECT_TRUE(Ka::String("\0x", 2) == ""); // compares as the C text ""
    EXPECT_FALSE(Ka::String("\0x", 2) == static_cast<const char *>(nullptr));
    EXPECT_TRUE(chained(letters(500)) == Ka::String(letters(500).c_str()));
    EXPECT_FALSE(Ka::String("abd") == Ka::String("abc"));
    EXPECT_TRUE(Ka::String() == Ka::String(""));
    EXPECT_TRUE(Ka::String("x") != "y");
}

TEST(StringCompare, OrderIsLexicographicOnSignedBytes) {
    EXPECT_TRUE(Ka::String("ab") < Ka::String("abc"));
    EXPECT_FALSE(Ka::String("abc") < Ka::String("ab"));
    EXPECT_TRUE(Ka::String("abc") > Ka::String("ab"));
    EXPECT_TRUE(Ka::String("") < Ka::String("a"));
    EXPECT_FALSE(Ka::String("a") < Ka::String("a"));
    EXPECT_TRUE(Ka::String("a") <= Ka::String("a"));
    EXPECT_TRUE(Ka::String("a") >= Ka::String("a"));
    EXPECT_TRUE(Ka::String("\x80") < Ka::String("a")); // -128 < 97
    // Sorting agrees with std::lexicographical_compare on signed chars.
    std::mt19937 rng(7);
    std::vector<std::string> lRef;
    for (int i = 0; i < 300; ++i) {
        std::string s(rng() % 4, '\0');
        for (char &ch : s)
            ch = "a\x80\xff"[rng() % 3];
        lRef.push_back(s);
    }
    std::vector<Ka::String> lOurs;
    for (const std::string &s : lRef)
        lOurs.emplace_back(s.data(), int(s.size()));
    std::sort(lOurs.begin(), lOurs.end());
    std::sort(lRef.begin(), lRef.end(), [](const std::string &a, const std::string &b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                return static_cast<signed char>(x) < static_cast<signed char>(y);
            });
    });
    for (size_t i = 0; i < lRef.size(); ++i)
        EXPECT_EQ(lRef[i], str(lOurs[i]));
}

TEST(StringCompare, CompareSub) {
    Ka::String s("hello world");
    EXPECT_TRUE(s.compareSub("world", 6, 5));
    EXPECT_TRUE(s.compareSub("wor", 6, 3));
    EXPECT_FALSE(s.compareSub("world", 7, 5));
    EXPECT_FALSE(s.compareSub("wo", 6, 5)); // the text is shorter than len
    EXPECT_FALSE(s.compareSub(static_cast<const char *>(nullptr), 0, 1));
    EXPECT_TRUE(s.compareSub(Ka::String("lo w"), 3, -1));
    EXPECT_TRUE(s.compareSub(Ka::String("lo wxx"), 3, 4));
    EXPECT_FALSE(s.compareSub(Ka::String("lo"), 3, 3));
    EXPECT_FALSE(s.compareSub(Ka::String(), 0, 0));
    Ka::String chain = chained(letters(600));
    EXPECT_TRUE(chain.compareSub(letters(600).substr(90, 30).c_str(), 90, 30));
    EXPECT_FALSE(chain.isFlat());
}

TEST(StringSearch, Indexes) {
    Ka::String s("abcabc");
    EXPECT_EQ(2, Ka::String("abc").findIdx("c", 0));
    EXPECT_EQ(4, s.rfindIdx("bc"));
    EXPECT_EQ(1, s.findIdx('b'));
    EXPECT_EQ(4, s.findIdx('b', 2));
    EXPECT_EQ(-1, s.findIdx('b', 6));
    EXPECT_EQ(0, s.findIdx('a', -5));
    EXPECT_EQ(3, s.findIdx("abc", 1));
    EXPECT_EQ(-1, s.findIdx("abcd"));
    EXPECT_EQ(6, s.findIdx("", 6));
    EXPECT_EQ(-1, s.findIdx("x"));
    EXPECT_EQ(-1, s.rfindIdx("abcabcx"));
    EXPECT_EQ(0, s.rfindIdx("abcabc"));
    Ka::String z("a\0b", 3);
    EXPECT_EQ(1, z.findIdx('\0'));
}

TEST(StringSearch, IteratorsStayValid) {
    std::string ref = letters(900);
    Ka::String s = chained(ref);
    Ka::String::const_iterator start = s.begin();
    Ka::String::const_iterator hit = s.find("yzab", 4, start);
    ASSERT_TRUE(hit.isValid());
    EXPECT_FALSE(s.isFlat());
    EXPECT_EQ('a', *start);
    EXPECT_EQ(ref.substr(24), walk(Ka::String(hit)));
    // The first chunk holds 255 bytes: this match spans two chunks.
    std::string across = ref.substr(250, 10);
    Ka::String::const_iterator span = s.find(across.c_str(), 10, start);
    EXPECT_EQ(ref.substr(ref.find(across)), walk(Ka::String(span)));
    Ka::String::const_iterator again = s.find(Ka::String("yzab"), hit);
    EXPECT_TRUE(again == hit);
    ++again;
    Ka::String::const_iterator next = s.find(Ka::String("yzabXX"), 4, again);
    EXPECT_EQ(ref.substr(50), walk(Ka::String(next)));
    EXPECT_FALSE(s.find('!', start).isValid());
    EXPECT_EQ(ref, walk(Ka::String(s.find(s, start)))); // the string in itself
    EXPECT_EQ('a', *start);
    EXPECT_FALSE(s.isFlat());
    // The mutable form gives a writable position (and detaches).
    Ka::String copy(s);
    Ka::String::iterator w = s.find('c', s.begin());
    *w = 'C';
    EXPECT_EQ('C', s[2]);
    EXPECT_EQ('c', copy[2]);
}

// Reads never pull bytes from under an iterator or pointer of any copy: the
// chain a read merges stays where it was until a copy that owns it changes.
TEST(StringSharing, ReadsKeepIteratorsAndPointersOfEveryCopy) {
    const std::string ref = letters(1000);
    const Ka::String s = chained(ref);
    std::string seen;
    for (Ka::String::const_iterator it = s.begin(); it.isValid(); ++it) {
        seen.push_back(*it);
        EXPECT_EQ('a', s[0]); // merges, and must not free the chunk `it` is in
    }
    EXPECT_EQ(ref, seen);

    Ka::String a = chained(ref);
    const Ka::String b(a);
    Ka::String::const_iterator itB = b.begin();
    for (int i = 0; i < 300; ++i)
        ++itB;
    const char *pA = std::as_const(a).getConstStr();
    EXPECT_EQ(ref[300], *itB);
    const char *pB = b.getConstStr();
    EXPECT_EQ(pA, pB); // one merged copy for the shared body
    EXPECT_TRUE(a == b);
    EXPECT_EQ(Ka::__calcHashCode(a), Ka::hashBytes(ref.data(), int(ref.size())));
    // A change of one copy detaches it; the other's iterator and pointer live on.
    a.append("tail");
    EXPECT_EQ(ref + "tail", str(a));
    EXPECT_EQ(ref[300], *itB);
    EXPECT_EQ(ref, std::string(pB, 1000));
    EXPECT_EQ(ref, walk(b));
}

// A private body with a merged copy takes it as its chain at the next
// change; appends, inserts and removals then see the right bytes, including
// when their source is the string itself.
TEST(StringSharing, ChangesAfterAMergingRead) {
    const std::string ref = letters(700);
    Ka::String s = chained(ref);
    const char *p = std::as_const(s).getConstStr();
    EXPECT_FALSE(s.isFlat());
    s.append(p, 10); // the source lies in the merged copy the change adopts
    EXPECT_EQ(ref + ref.substr(0, 10), str(s));

    Ka::String t = chained(ref);
    std::as_const(t).getConstStr();
    t.append(std::as_const(t).begin(), Ka::String::const_iterator());
    EXPECT_EQ(ref + ref, walk(t));
    Ka::String u = chained(ref);
    std::as_const(u).getConstStr();
    u.append('!');
    u.insert(3, "xyz");
    u.remove(0, 1);
    u.trimBack(2);
    EXPECT_EQ((ref + "!").insert(3, "xyz").substr(1, ref.size() + 1), str(u));
    Ka::String v = chained(ref);
    std::as_const(v).getConstStr();
    *v.begin() = 'Z'; // mutable access is a change
    EXPECT_EQ('Z' + ref.substr(1), str(v));
    EXPECT_EQ('Z' + ref.substr(1), walk(v));
}

// Two threads reading copies of one chained string at once: both merge the
// same body, copy it and drop their copies; each sees the right bytes.
TEST(StringSharing, ThreadsReadCopiesAtOnce) {
    const std::string ref = letters(2000);
    for (int iRound = 0; iRound < 300; ++iRound) {
        const Ka::String shared = chained(ref);
        int aErrors[2] = {0, 0};
        auto fRead = [&](int iThread) {
            for (int i = 0; i < 4; ++i) {
                const Ka::String mine(shared);
                const char *p = mine.getConstStr();
                Ka::String::const_iterator it = mine.begin();
                if (std::memcmp(p, ref.data(), ref.size()) != 0 || mine[1999] != ref[1999] ||
                    *it != 'a' || !(mine == shared) ||
                    Ka::__calcHashCode(mine) != Ka::hashBytes(ref.data(), int(ref.size())))
                    ++aErrors[iThread];
                Ka::String changed(mine);
                changed.append('x');
                if (changed.getSize() != int(ref.size()) + 1)
                    ++aErrors[iThread];
            }
        };
        std::thread other(fRead, 1);
        fRead(0);
        other.join();
        ASSERT_EQ(0, aErrors[0] + aErrors[1]) << iRound;
    }
}

TEST(StringText, Classes) {
    Ka::String s(" a\tZ\r\n1");
    EXPECT_TRUE(s.isWS(0));
    EXPECT_TRUE(s.isAlpha(1));
    EXPECT_TRUE(s.isWS(2));
    EXPECT_TRUE(s.isAlpha(3));
    EXPECT_TRUE(s.isWS(4));
    EXPECT_TRUE(s.isWS(5));
    EXPECT_FALSE(s.isAlpha(6));
    EXPECT_FALSE(s.isWS(6));
    EXPECT_FALSE(s.isWS(-1));
    EXPECT_FALSE(s.isAlpha(7));
}

TEST(StringText, Transforms) {
    EXPECT_EQ("x y", str(Ka::String(" \tx y\r\n").trimWhitespace()));
    EXPECT_EQ("a  \t b", str(Ka::String("a  \t b  ").trimWhitespace()));
    EXPECT_TRUE(Ka::String(" \t\r\n ").trimWhitespace().isEmpty());
    EXPECT_TRUE(Ka::String().trimWhitespace().isEmpty());
    EXPECT_EQ("x", str(Ka::String("x").trimWhitespace()));
    Ka::String mixed("aZ\xc4\xe4-09");
    EXPECT_EQ("az\xc4\xe4-09", str(mixed.toLower()));
    EXPECT_EQ("AZ\xc4\xe4-09", str(mixed.toUpper()));
    EXPECT_EQ("aZ\xc4\xe4-09", str(mixed));
    EXPECT_EQ("ba", str(Ka::String("aaa").replace("aa", "b")));
    EXPECT_EQ("aaaa", str(Ka::String("aa").replace("a", "aa")));
    EXPECT_EQ("x", str(Ka::String("x").replace("", "y")));
    EXPECT_EQ("one-two-", str(Ka::String("one, two, ").replace(", ", "-")));
    Ka::String self("abab");
    EXPECT_EQ("X", str(self.replace(self, "X")));
}

std::vector<std::string> fields(const Ka::String &s, char c) {
    std::vector<std::string> out;
    Ka::List<Ka::String> l = s.split(c);
    for (Ka::List<Ka::String>::const_iterator it = std::as_const(l).begin(); it.isValid(); ++it)
        out.push_back(str(*it));
    return out;
}

TEST(StringText, Split) {
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"", "a", "", "b"}), fields(",a,,b,", ','));
    EXPECT_EQ(V{}, fields("", ','));
    EXPECT_EQ(V{""}, fields(",", ','));
    EXPECT_EQ((V{"", ""}), fields(",,", ','));
    EXPECT_EQ(V{"abc"}, fields("abc", ','));
    EXPECT_EQ((V{"a", "b"}), fields(Ka::String("a\0b", 3), '\0'));
}

TEST(StringText, DebugPrint) {
    testing::internal::CaptureStdout();
    Ka::String("abc").debugPrint();
    EXPECT_EQ("(3)\"abc\"", testing::internal::GetCapturedStdout());
}

TEST(StringConvert, FromString) {
    bool b = true;
    EXPECT_FALSE(Ka::fromString(b, "True"));
    EXPECT_TRUE(Ka::fromString(b, "yes"));
    EXPECT_TRUE(Ka::fromString(b, "t"));
    EXPECT_TRUE(Ka::fromString(b, "true"));
    int i = 5;
    EXPECT_EQ(-42, Ka::fromString(i, " -42x"));
    EXPECT_EQ(-42, Ka::fromString(i, "nope"));
    unsigned char uc = 0;
    EXPECT_EQ(200, Ka::fromString(uc, "200"));
    signed char sc = 0;
    EXPECT_EQ(-5, Ka::fromString(sc, "-5"));
    char ch = 0;
    EXPECT_EQ(65, Ka::fromString(ch, "65"));
    short sh = 0;
    EXPECT_EQ(-300, Ka::fromString(sh, "-300"));
    unsigned short us = 0;
    EXPECT_EQ(60000, Ka::fromString(us, "60000"));
    unsigned int ui = 0;
    EXPECT_EQ(4000000000u, Ka::fromString(ui, "4000000000"));
    long l = 0;
    EXPECT_EQ(-7, Ka::fromString(l, "-7"));
    unsigned long ul = 0;
    EXPECT_EQ(7u, Ka::fromString(ul, "7"));
    long long ll = 0;
    EXPECT_EQ(-9000000000LL, Ka::fromString(ll, "-9000000000"));
    unsigned long long ull = 0;
    EXPECT_EQ(18000000000000000000ULL, Ka::fromString(ull, "18000000000000000000"));
    float f = 0;
    EXPECT_FLOAT_EQ(1.5f, Ka::fromString(f, "1.5"));
    double d = 0;
    EXPECT_DOUBLE_EQ(-2.25, Ka::fromString(d, "-2.25"));
    long double ld = 0;
    EXPECT_EQ(0.5L, Ka::fromString(ld, "0.5"));
    EXPECT_EQ(0.5L, Ka::fromString(ld, ""));
    Ka::String out;
    Ka::String text("shared");
    Ka::fromString(out, text);
    EXPECT_TRUE(out.sharesCoreWith(text));
}

// Random edits checked against std::string, with copies taken along the way
// that must keep their bytes whatever happens to the original afterwards.
TEST(StringRandom, MatchesStdString) {
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    auto bytes = [&](int n) {
        std::string b(size_t(n), '\0');
        for (char &c : b)
            c = char(rng() % 4 == 0 ? 0 : 'a' + rng() % 26);
        return b;
    };
    Ka::String s;
    std::string ref;
    std::vector<std::pair<Ka::String, std::string>> lCopies;
    for (int step = 0; step < 20000; ++step) {
        int size = int(ref.size());
        switch (rng() % 14) {
        case 0:
        case 1: {
            std::string b = bytes(pick(0, rng() % 8 == 0 ? 600 : 40));
            s.append(b.data(), int(b.size()));
            ref += b;
            break;
        }
        case 2: {
            char c = char(rng());
            s.append(c);
            ref.push_back(c);
            break;
        }
        case 3: {
            std::string b = bytes(pick(0, 30));
            s.prepend(b.data(), int(b.size()));
            ref.insert(0, b);
            break;
        }
        case 4: {
            std::string b = bytes(pick(1, 30));
            int pos = pick(-2, size + 2);
            s.insert(pos, b.data(), int(b.size()));
            ref.insert(size_t(std::clamp(pos, 0, size)), b);
            break;
        }
        case 5: {
            int start = pick(-2, size + 2), len = pick(-2, 50);
            s.remove(start, len);
            if (len >= 1 && start >= 0 && start < size)
                ref.erase(size_t(start), size_t(len));
            break;
        }
        case 6: {
            int n = pick(-2, std::min(size, 40) + 2);
            s.trimFront(n);
            ref.erase(0, size_t(std::clamp(n, 0, size)));
            break;
        }
        case 7: {
            int n = pick(-2, std::min(size, 40) + 2);
            s.trimBack(n);
            ref.resize(size_t(size - std::clamp(n, 0, size)));
            break;
        }
        case 8: {
            int n = pick(-3, size + 20);
            s.setSize(n);
            ref.resize(size_t(std::max(n, 0)), '\0');
            break;
        }
        case 9:
            lCopies.emplace_back(s, ref);
            break;
        case 10: {
            if (lCopies.empty())
                break;
            auto &other = lCopies[rng() % lCopies.size()];
            int start = pick(-2, other.first.getSize() + 2), len = pick(-2, 60);
            s.append(other.first, start, len);
            int from = std::max(start, 0);
            if (from < int(other.second.size()))
                ref += other.second.substr(size_t(from), len < 0 ? std::string::npos : size_t(len));
            break;
        }
        case 11: {
            if (size == 0)
                break;
            int i = pick(0, size - 1);
            char c = char('A' + rng() % 26);
            s[i] = c;
            ref[size_t(i)] = c;
            break;
        }
        case 12: {
            int start = pick(-2, size + 2), len = pick(-2, 40);
            int from = std::max(start, 0);
            std::string want =
                from < size ? ref.substr(size_t(from), len < 0 ? std::string::npos : size_t(len))
                            : std::string();
            ASSERT_EQ(want, str(s.getSubStr(start, len)));
            std::string text = want.substr(0, want.find('\0')); // as a C text
            ASSERT_EQ(int(ref.find(text)), s.findIdx(text.c_str()));
            if (!want.empty()) {
                ASSERT_EQ(int(ref.find(want[0], size_t(from))), s.findIdx(want[0], start));
            }
            break;
        }
        case 13:
            if (rng() % 4 == 0 && size < 3000) {
                s.append(s);
                ref += ref;
            } else if (!lCopies.empty()) {
                auto &other = lCopies[rng() % lCopies.size()];
                s = other.first;
                ref = other.second;
            }
            break;
        }
        if (ref.size() > 6000) {
            s.trimFront(3000);
            ref.erase(0, 3000);
        }
        ASSERT_EQ(int(ref.size()), s.getSize()) << "step " << step;
        if (step % 50 == 0) {
            ASSERT_EQ(ref, walk(s)) << "step " << step;
            ASSERT_EQ(ref, str(s)) << "step " << step;
        }
        if (lCopies.size() > 40)
            lCopies.erase(lCopies.begin());
    }
    for (auto &copy : lCopies)
        EXPECT_EQ(copy.second, str(copy.first));
}

} // namespace
