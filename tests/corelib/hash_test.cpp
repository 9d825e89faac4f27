// Ka::Hash: probing, the size policy, dead slots, proxies, iterators,
// copy-on-write and keys that collide on purpose.
#include "ka/exception.h"
#include "ka/hash.h"
#include "ka/string.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A key whose hash code the test chooses; found by argument-dependent lookup.
struct Key {
    uint32_t code;
    int id;
};
uint32_t __calcHashCode(const Key &k) {
    return k.code;
}
bool __cmpHashKeys(const Key &a, const Key &b) {
    return a.id == b.id;
}

// A key whose text a move takes away.
struct NamedKey {
    uint32_t code;
    std::string sName;
};
uint32_t __calcHashCode(const NamedKey &k) {
    return k.code;
}
bool __cmpHashKeys(const NamedKey &a, const NamedKey &b) {
    return a.sName == b.sName;
}

template <typename K, typename V>
std::vector<K> keys(const Ka::Hash<K, V> &h) {
    std::vector<K> out;
    Ka::List<K> l = h.getKeys();
    while (!l.isEmpty())
        out.push_back(l.takeFirst());
    return out;
}

using support::Fragile;

template <typename F>
std::pair<std::string, int> failureOf(F f) {
    return support::failureOf<Ka::HashException>(f);
}

TEST(HashPolicy, Examples) {
    EXPECT_EQ(23u, Ka::__calcNextTSize_fast(11, 6, 0));
    EXPECT_EQ(26u, Ka::__calcNextTSize_fast(23, 7, 0));
    EXPECT_EQ(23u, Ka::__calcNextTSize_fast(23, 8, 1));
    EXPECT_EQ(11u, Ka::__calcNextTSize_fast(47, 4, 0));
    // Sparse tables are sized from the filled count, erased entries included.
    EXPECT_EQ(383u, Ka::__calcNextTSize_fast(1000, 200, 190));
}

TEST(Hash, FirstInsertionSetsUpElevenSlots) {
    Ka::Hash<int, int> h;
    EXPECT_EQ(0u, h.getCapacity());
    EXPECT_FALSE(h.has(1));
    EXPECT_EQ(0u, h.getCapacity());
    h.insert(1, 10);
    EXPECT_EQ(11u, h.getCapacity());
    EXPECT_EQ(1, h.getSize());
    h.insert(1, 20);
    EXPECT_EQ(1, h.getSize());
    EXPECT_EQ(20, h.get(1));
}

TEST(Hash, GrowthOfZeroToNinetyNine) {
    Ka::Hash<int, int> h;
    std::vector<std::pair<int, uint32_t>> lGrowth;
    for (int i = 0; i < 100; ++i) {
        uint32_t before = h.getCapacity();
        h.insert(i, -i);
        if (before != 0 && h.getCapacity() != before)
            lGrowth.emplace_back(i, h.getCapacity());
    }
    std::vector<std::pair<int, uint32_t>> want{{11, 23}, {23, 47}, {47, 95}, {95, 191}};
    EXPECT_EQ(want, lGrowth);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(-i, h.get(i));
    EXPECT_FALSE(h.has(100));
}

TEST(Hash, EraseLeavesADeadSlot) {
    Ka::Hash<int, Ka::String> h;
    for (int i = 0; i < 6; ++i)
        h.insert(i, Ka::String(std::to_string(i).c_str()));
    h.erase(2);
    h.erase(42);
    EXPECT_EQ(5, h.getSize());
    EXPECT_FALSE(h.has(2));
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4, 5}), keys(h));
    // 2 probes 2 (dead), 3, 5, then 9, the first empty slot.
    h.insert(2, "two");
    EXPECT_EQ((std::vector<int>{0, 1, 3, 4, 5, 2}), keys(h));
    EXPECT_TRUE(h.get(2) == "two");
    EXPECT_EQ(11u, h.getCapacity());
}

TEST(Hash, MissingKeyMessages) {
    Ka::Hash<int, int> h;
    h.insert(1, 1);
    EXPECT_EQ(std::make_pair(std::string("No data assosiated with that key."), 0),
              failureOf([&] { h.get(2); }));
    EXPECT_EQ(std::make_pair(std::string("No data assosiated with that key."), 0),
              failureOf([&] { std::as_const(h).get(2); }));
    EXPECT_EQ(std::make_pair(std::string("No data associated with that key."), 0), failureOf([&] {
                  int v = h[2];
                  (void)v;
              }));
    EXPECT_EQ(1, h.getSize());
}

TEST(Hash, ProxyStoresAndReads) {
    Ka::Hash<Ka::String, int> h;
    h["a"] = 1;
    h["b"] = h["a"];
    h["a"] = 5;
    EXPECT_EQ(5, int(h["a"]));
    EXPECT_EQ(1, h.get("b"));
    int &r = h["b"];
    r = 7;
    EXPECT_EQ(7, h.get("b"));
    // A proxy made before the table grew still finds its key's place.
    Ka::Hash<int, int> g;
    Ka::Hash<int, int>::Proxy p = g[1000];
    for (int i = 0; i < 200; ++i)
        g.insert(i, i);
    p = 42;
    EXPECT_EQ(42, g.get(1000));
    EXPECT_EQ(201, g.getSize());
    // Nor does it write into a copy taken after it was made.
    Ka::Hash<int, int>::Proxy q = g[5];
    Ka::Hash<int, int> copy(g);
    q = -5;
    EXPECT_EQ(-5, g.get(5));
    EXPECT_EQ(5, copy.get(5));
}

TEST(Hash, CopyOnWrite) {
    Ka::Hash<int, int> a;
    for (int i = 0; i < 20; ++i)
        a.insert(i, i);
    a.erase(3);
    Ka::Hash<int, int> b(a);
    a.insert(100, 100);
    a.erase(4);
    a.get(5) = 50;
    EXPECT_EQ(19, b.getSize());
    EXPECT_FALSE(b.has(100));
    EXPECT_EQ(4, b.get(4));
    EXPECT_EQ(5, b.get(5));
    // A copy keeps the capacity and drops the dead slots.
    Ka::Hash<int, int> c(a);
    c.insert(-1, -1);
    EXPECT_EQ(a.getCapacity(), c.getCapacity());
    Ka::Hash<int, int> d(c);
    d.clear();
    EXPECT_EQ(0u, d.getCapacity());
    EXPECT_TRUE(d.isEmpty());
    EXPECT_EQ(20, c.getSize());
}

TEST(Hash, Iterators) {
    Ka::Hash<unsigned int, unsigned int> h;
    for (unsigned int i = 0; i < 8; ++i)
        h.insert(i * 3, i);
    h.erase(6u);
    std::vector<unsigned int> lSeen;
    for (Ka::Hash<unsigned int, unsigned int>::iterator it = h.begin(); it.isValid(); ++it) {
        EXPECT_EQ(it.getKey() / 3, it.getValue());
        it.getValue() += 100;
        lSeen.push_back(it.getKey());
    }
    EXPECT_EQ(keys(h), lSeen);
    EXPECT_EQ(7u, lSeen.size());
    EXPECT_EQ(101u, h.get(3u));
    Ka::Hash<unsigned int, unsigned int>::const_iterator it = std::as_const(h).begin();
    while (!it.isFinished())
        ++it;
    ++it;
    EXPECT_EQ("Referenced position invalid.", failureOf([&] { it.getKey(); }).first);
    EXPECT_EQ("Referenced position invalid.", failureOf([&] { it.getValue(); }).first);
    EXPECT_TRUE((Ka::Hash<int, int>().begin().isFinished()));
    Ka::HashCore<int, int> core;
    EXPECT_EQ("Referenced position invalid.", failureOf([&] { core.isFilled(0); }).first);
    EXPECT_EQ("Referenced position invalid.", failureOf([&] { core.isDead(0); }).first);
}

TEST(Hash, TextKeys) {
    Ka::Hash<const char *, int> h;
    char sKey[] = "key";
    h.insert("key", 1);
    EXPECT_EQ(1, h.get(sKey));
    EXPECT_FALSE(h.has("kez"));
}

// Keys that all share one hash code can fill only the 32 probe positions of
// that code: the 33rd cannot be placed at any capacity. Insertion must give
// up with an exception after bounded growth, and keep what it had.
TEST(HashHostile, SameCodeEverywhere) {
    Ka::Hash<Key, int> h;
    int iInserted = 0;
    auto result = failureOf([&] {
        for (int i = 0; i < 100; ++i) {
            h.insert(Key{7, i}, i);
            ++iInserted;
        }
    });
    EXPECT_NE(std::string::npos, result.first.find("Too many keys collide")) << result.first;
    EXPECT_LE(iInserted, 32);
    EXPECT_EQ(iInserted, h.getSize());
    EXPECT_LE(h.getCapacity(), 1024u);
    for (int i = 0; i < iInserted; ++i)
        EXPECT_EQ(i, h.get(Key{7, i}));
    // Looking up and erasing never grows the table, so they never throw.
    uint32_t iCapacity = h.getCapacity();
    EXPECT_FALSE(h.has(Key{7, 1000}));
    h.erase(Key{7, 1000});
    EXPECT_EQ(iCapacity, h.getCapacity());
    EXPECT_THROW((h[Key{7, 1000}]), Ka::HashException);
    // Erasing makes room again only after a rebuild clears the dead slot.
    h.erase(Key{7, 0});
    h.insert(Key{7, 1000}, 1000);
    EXPECT_EQ(1000, h.get(Key{7, 1000}));
    EXPECT_EQ(iInserted, h.getSize());
}

// Codes that agree modulo every capacity up to some size force growth; it
// must stay in proportion to the number of keys.
TEST(HashHostile, CodesCongruentModuloSmallCapacities) {
    Ka::Hash<Key, int> h;
    const uint32_t iStride = 11u * 23u * 47u * 95u * 3u;
    int i = 0;
    try {
        for (; i < 200; ++i)
            h.insert(Key{uint32_t(i) * iStride, i}, i);
    } catch (const Ka::HashException &) {
    }
    EXPECT_GT(i, 32);
    EXPECT_LE(h.getCapacity(), std::max(1024u, 16u * uint32_t(h.getSize() + 1)));
    for (int k = 0; k < i; ++k)
        EXPECT_EQ(k, h.get(Key{uint32_t(k) * iStride, k}));
}

// Keys that a move empties (their text moves without throwing) next to
// values whose copies fail: no key may have been moved out when the rebuild
// gives up.
TEST(Hash, FailedRebuildKeepsTheTable) {
    auto key = [](int i) { return NamedKey{uint32_t(i), "key" + std::to_string(i)}; };
    Ka::Hash<NamedKey, Fragile> h;
    for (int i = 0; i < 11; ++i)
        h.insert(key(i), Fragile(i));
    Fragile::iCopiesLeft = 4; // the rebuild to 23 slots fails midway
    EXPECT_THROW(h.insert(key(11), Fragile(11)), std::runtime_error);
    Fragile::iCopiesLeft = -1;
    EXPECT_EQ(11u, h.getCapacity());
    EXPECT_EQ(11, h.getSize());
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(i, h.get(key(i)).v);
    EXPECT_FALSE(h.has(key(11)));
}

// Random operations against std::unordered_map, with copies that must keep
// their entries whatever the original does afterwards.
template <typename K, typename MakeKey>
void randomAgainstStd(unsigned seed, int iKeys, MakeKey makeKey) {
    std::mt19937 rng(seed);
    Ka::Hash<K, int> h;
    std::map<int, int> ref; // key number -> value
    std::vector<std::pair<Ka::Hash<K, int>, std::map<int, int>>> lCopies;
    auto check = [&](Ka::Hash<K, int> &table, const std::map<int, int> &want) {
        ASSERT_EQ(int(want.size()), table.getSize());
        for (auto &[k, v] : want)
            ASSERT_EQ(v, table.get(makeKey(k)));
        int iSeen = 0;
        for (auto it = std::as_const(table).begin(); it.isValid(); ++it)
            ++iSeen;
        ASSERT_EQ(int(want.size()), iSeen);
    };
    for (int step = 0; step < 20000; ++step) {
        int k = int(rng() % unsigned(iKeys));
        int v = int(rng());
        switch (rng() % 9) {
        case 0:
        case 1:
        case 2:
            h.insert(makeKey(k), v);
            ref[k] = v;
            break;
        case 3:
            h[makeKey(k)] = v;
            ref[k] = v;
            break;
        case 4:
        case 5:
            h.erase(makeKey(k));
            ref.erase(k);
            break;
        case 6:
            ASSERT_EQ(ref.count(k) == 1, h.has(makeKey(k)));
            break;
        case 7:
            lCopies.emplace_back(h, ref);
            if (lCopies.size() > 10)
                lCopies.erase(lCopies.begin());
            break;
        case 8:
            if (rng() % 50 == 0) {
                h.clear();
                ref.clear();
            }
            break;
        }
        ASSERT_EQ(int(ref.size()), h.getSize());
        if (step % 500 == 0)
            check(h, ref);
    }
    check(h, ref);
    for (auto &copy : lCopies)
        check(copy.first, copy.second);
}

TEST(HashRandom, IntKeysMatchStdMap) {
    randomAgainstStd<int>(1, 300, [](int k) { return k * 7 - 1000; });
}

TEST(HashRandom, StringKeysMatchStdMap) {
    randomAgainstStd<Ka::String>(2, 2000, [](int k) {
        std::string s = "note-" + std::to_string(k);
        return Ka::String(s.c_str());
    });
}

TEST(HashRandom, CrowdedCodesMatchStdMap) {
    // Eight codes for 64 keys: every probe runs into long clusters.
    randomAgainstStd<Key>(3, 64, [](int k) { return Key{uint32_t(k % 8) * 1000u, k}; });
}

} // namespace
