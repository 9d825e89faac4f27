// Ka::List: the linked list's operations, its iterators and copy-on-write.
#include "ka/exception.h"
#include "ka/list.h"
#include "ka/string.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <list>
#include <random>
#include <string>
#include <vector>

namespace {

using support::messageOf;
using support::valuesOf;

TEST(List, EmptyListMessages) {
    Ka::List<int> l;
    const Ka::List<int> &c = l;
    EXPECT_EQ("Attempt to read first element from empty list.", messageOf([&] { l.first(); }));
    EXPECT_EQ("Attempt to read first element from empty list.", messageOf([&] { c.first(); }));
    EXPECT_EQ("Attempt to read first element from empty list.", messageOf([&] { l.takeFirst(); }));
    EXPECT_EQ("Attempt to read last element from empty list.", messageOf([&] { l.last(); }));
    EXPECT_TRUE(l.isEmpty());
    EXPECT_FALSE(l.begin().isValid());
}

TEST(List, IteratingPastTheEnd) {
    Ka::List<int> l;
    l.append(1);
    Ka::List<int>::iterator it = l.begin();
    ++it;
    EXPECT_FALSE(it.isValid());
    EXPECT_TRUE(it == l.end());
    EXPECT_EQ("Attempt to iterate past end of list.", messageOf([&] { ++it; }));
    Ka::List<int>::const_iterator cit = std::as_const(l).begin();
    ++cit;
    EXPECT_EQ("Attempt to iterate past end of list.", messageOf([&] { ++cit; }));
    EXPECT_EQ("Not a valid iterator.", messageOf([&] { *it; }));
    EXPECT_EQ("Not a valid const_iterator.", messageOf([&] { *cit; }));
}

TEST(List, AppendPrependTake) {
    Ka::List<Ka::String> l;
    l.append("b");
    l += Ka::String("c");
    l.prepend("a");
    EXPECT_EQ(3, l.getSize());
    EXPECT_TRUE(l.first() == "a");
    EXPECT_TRUE(l.last() == "c");
    EXPECT_TRUE(l.takeFirst() == "a");
    EXPECT_TRUE(l.takeFirst() == "b");
    EXPECT_TRUE(l.takeFirst() == "c");
    EXPECT_TRUE(l.isEmpty());
    // A value taken from the list itself.
    Ka::List<Ka::String> m;
    m.append("x");
    m.append(m.first());
    m.prepend(m.last());
    EXPECT_EQ(3, m.getSize());
}

TEST(List, Erase) {
    Ka::List<int> l;
    for (int i = 0; i < 5; ++i)
        l.append(i);
    l.erase(Ka::List<int>::iterator());
    EXPECT_EQ(5, l.getSize());
    Ka::List<int>::iterator it = l.begin();
    ++it;
    l.erase(it);
    l.erase(l.begin());
    EXPECT_EQ((std::vector<int>{2, 3, 4}), valuesOf(l));
    it = l.begin();
    ++it;
    ++it;
    l.erase(it);
    EXPECT_EQ((std::vector<int>{2, 3}), valuesOf(l));
    EXPECT_EQ(3, l.last());
}

TEST(List, CopyOnWrite) {
    Ka::List<int> a;
    a.append(1);
    a.append(2);
    Ka::List<int> b(a);
    a.append(3);
    EXPECT_EQ((std::vector<int>{1, 2}), valuesOf(b));
    Ka::List<int> c(a);
    *c.begin() = 9;
    c.first() = 8;
    EXPECT_EQ((std::vector<int>{1, 2, 3}), valuesOf(a));
    EXPECT_EQ((std::vector<int>{8, 2, 3}), valuesOf(c));
    // An iterator taken before a copy erases the same position in the
    // private body it then gets; the copy keeps its values.
    Ka::List<int>::iterator it = a.begin();
    ++it;
    Ka::List<int> d(a);
    a.erase(it);
    EXPECT_EQ((std::vector<int>{1, 3}), valuesOf(a));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), valuesOf(d));
    a.append(3);
    Ka::List<int> e(a);
    e.clear();
    EXPECT_TRUE(e.isEmpty());
    EXPECT_EQ(3, a.getSize());
}

// Random operations checked against std::list, with copies that must keep
// their values whatever the original does afterwards.
TEST(List, RandomMatchesStdList) {
    std::mt19937 rng(99);
    Ka::List<Ka::String> l;
    std::list<std::string> ref;
    std::vector<std::pair<Ka::List<Ka::String>, std::list<std::string>>> lCopies;
    for (int step = 0; step < 5000; ++step) {
        std::string v = std::to_string(rng() % 1000);
        switch (rng() % 8) {
        case 0:
        case 1:
            l.append(v.c_str());
            ref.push_back(v);
            break;
        case 2:
            l.prepend(v.c_str());
            ref.push_front(v);
            break;
        case 3:
            if (!ref.empty()) {
                ASSERT_EQ(ref.front(), std::string(l.takeFirst().getConstStr()));
                ref.pop_front();
            }
            break;
        case 4: {
            if (ref.empty())
                break;
            size_t k = rng() % ref.size();
            Ka::List<Ka::String>::iterator it = l.begin();
            auto rit = ref.begin();
            for (size_t i = 0; i < k; ++i, ++it, ++rit) {
            }
            l.erase(it);
            ref.erase(rit);
            break;
        }
        case 5:
            lCopies.emplace_back(l, ref);
            break;
        case 6:
            if (rng() % 10 == 0) {
                l.clear();
                ref.clear();
            }
            break;
        case 7:
            if (!lCopies.empty()) {
                auto &other = lCopies[rng() % lCopies.size()];
                l = other.first;
                ref = other.second;
            }
            break;
        }
        ASSERT_EQ(int(ref.size()), l.getSize());
        if (step % 25 == 0) {
            ASSERT_EQ(std::vector<std::string>(ref.begin(), ref.end()), support::textsOf(l));
        }
        if (lCopies.size() > 20)
            lCopies.erase(lCopies.begin());
    }
    for (auto &copy : lCopies) {
        EXPECT_EQ(std::vector<std::string>(copy.second.begin(), copy.second.end()),
                  support::textsOf(copy.first));
    }
}

} // namespace
