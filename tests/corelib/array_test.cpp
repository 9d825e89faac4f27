// Ka::Array: growth by a fixed step, element moves, iterators and messages.
#include "ka/array.h"
#include "ka/exception.h"
#include "ka/string.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using IntArray = Ka::Array<int, 10>;

using support::Fragile;
using support::valuesOf;

template <typename F>
std::string messageOf(F f) {
    return support::messageOf<Ka::ArrayException>(f);
}

TEST(Array, GrowsByTen) {
    IntArray a;
    EXPECT_EQ(0, a.getCapacity());
    for (int i = 0; i < 10; ++i)
        a.append(i);
    EXPECT_EQ(10, a.getCapacity());
    a.append(10);
    EXPECT_EQ(20, a.getCapacity());
    EXPECT_EQ(11, a.getSize());
    IntArray b(25);
    EXPECT_EQ(25, b.getCapacity());
    EXPECT_TRUE(b.isEmpty());
    b.setCapacity(5);
    EXPECT_EQ(25, b.getCapacity());
    a.setCapacity(40);
    EXPECT_EQ(40, a.getCapacity());
    EXPECT_EQ(10, a.last());
    a.clear();
    EXPECT_EQ(0, a.getCapacity());
    EXPECT_EQ(0, a.getSize());
}

TEST(Array, Messages) {
    IntArray a;
    a.append(1);
    a.append(2);
    a.append(3);
    EXPECT_EQ("Index 3 out of range 0:3", messageOf([&] { a[3]; }));
    EXPECT_EQ("Index -1 out of range 0:3", messageOf([&] { std::as_const(a)[-1]; }));
    EXPECT_EQ("Index -1 out of range 0:0", messageOf([] { IntArray().last(); }));
    IntArray::iterator it = a.end();
    EXPECT_EQ("Cannot dereference finished iterator.", messageOf([&] { *it; }));
    EXPECT_EQ("Cannot increment iterator past end of array.", messageOf([&] { ++it; }));
    EXPECT_EQ("Cannot dereference finished iterator.", messageOf([] { *IntArray().begin(); }));
    // Reaching the end finishes the iterator.
    it = a.begin();
    ++it;
    ++it;
    EXPECT_TRUE(it.isValid());
    ++it;
    EXPECT_FALSE(it.isValid());
    EXPECT_TRUE(it == a.end());
}

TEST(Array, InsertAndErase) {
    IntArray a;
    for (int i = 0; i < 10; ++i)
        a.append(i);
    a.insert(a.begin(), -1); // a full array grows first
    EXPECT_EQ(20, a.getCapacity());
    IntArray::iterator it = a.begin();
    ++it;
    ++it;
    a.insert(it, 100);
    a.insert(a.end(), 200);
    EXPECT_EQ((std::vector<int>{-1, 0, 100, 1, 2, 3, 4, 5, 6, 7, 8, 9, 200}), valuesOf(a));
    a.erase(a.begin());
    it = a.begin();
    ++it;
    a.erase(it);
    a.eraseLast();
    a.erase(a.end());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), valuesOf(a));
    IntArray empty;
    empty.eraseLast();
    EXPECT_TRUE(empty.isEmpty());
}

TEST(Array, CopyOnWrite) {
    IntArray a;
    a.append(1);
    a.append(2);
    IntArray b(a);
    EXPECT_EQ(10, b.getCapacity());
    a[0] = 5;
    *a.begin() = 6;
    a.append(3);
    EXPECT_EQ((std::vector<int>{1, 2}), valuesOf(b));
    EXPECT_EQ((std::vector<int>{6, 2, 3}), valuesOf(a));
    IntArray c(a);
    c.clear();
    EXPECT_EQ(3, a.getSize());
    // A value taken from the array itself, when appending must move it.
    Ka::Array<Ka::String, 10> s;
    for (int i = 0; i < 10; ++i)
        s.append(Ka::String(std::to_string(i).c_str()));
    s.append(s[3]);
    s.insert(s.begin(), s.last());
    EXPECT_TRUE(s[0] == "3");
    EXPECT_TRUE(s[11] == "3");
}

TEST(Array, FailedCopyChangesNothing) {
    Ka::Array<Fragile, 10> a;
    for (int i = 0; i < 10; ++i)
        a.append(Fragile(i));
    Fragile::iCopiesLeft = 3; // the growth copies three elements, then fails
    EXPECT_THROW(a.append(Fragile(10)), std::runtime_error);
    Fragile::iCopiesLeft = -1;
    EXPECT_EQ(10, a.getSize());
    EXPECT_EQ(10, a.getCapacity());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(i, a[i].v);
}

TEST(Array, RandomMatchesStdVector) {
    std::mt19937 rng(5);
    Ka::Array<Ka::String, 10> a;
    std::vector<std::string> ref;
    std::vector<std::pair<Ka::Array<Ka::String, 10>, std::vector<std::string>>> lCopies;
    for (int step = 0; step < 4000; ++step) {
        std::string v = std::to_string(rng() % 100);
        int size = int(ref.size());
        switch (rng() % 6) {
        case 0:
        case 1:
            a.append(v.c_str());
            ref.push_back(v);
            break;
        case 2: {
            int k = size ? int(rng() % unsigned(size + 1)) : 0;
            Ka::Array<Ka::String, 10>::iterator it = a.begin();
            for (int i = 0; i < k && it.isValid(); ++i)
                ++it;
            a.insert(it, v.c_str());
            ref.insert(ref.begin() + k, v);
            break;
        }
        case 3:
            if (size) {
                int k = int(rng() % unsigned(size));
                Ka::Array<Ka::String, 10>::iterator it = a.begin();
                for (int i = 0; i < k; ++i)
                    ++it;
                a.erase(it);
                ref.erase(ref.begin() + k);
            }
            break;
        case 4:
            lCopies.emplace_back(a, ref);
            break;
        case 5:
            if (size) {
                int k = int(rng() % unsigned(size));
                a[k] = v.c_str();
                ref[size_t(k)] = v;
            }
            break;
        }
        ASSERT_EQ(int(ref.size()), a.getSize());
        ASSERT_EQ(0, a.getCapacity() % 10);
        if (lCopies.size() > 20)
            lCopies.erase(lCopies.begin());
    }
    EXPECT_EQ(ref, support::textsOf(a));
    for (auto &copy : lCopies)
        EXPECT_EQ(copy.second, support::textsOf(copy.first));
}

} // namespace
