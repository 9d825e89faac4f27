// Ka::Hash: a copy-on-write open-addressing hash table with bounded probing.
#pragma once

#include "ka/exception.h"
#include "ka/list.h"
#include "ka/sharedcore.h"
#include "ka/string.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace Ka {

// Hash codes and key equality. Other key types supply the same two functions
// in their own namespace (found by argument-dependent lookup); Ka::String and
// C texts have theirs in string.h.
inline uint32_t __calcHashCode(int iKey) {
    return uint32_t(iKey);
}
inline bool __cmpHashKeys(int a, int b) {
    return a == b;
}
inline uint32_t __calcHashCode(unsigned int iKey) {
    return iKey;
}
inline bool __cmpHashKeys(unsigned int a, unsigned int b) {
    return a == b;
}

// The size policy: the capacity a table of `iCapacity` slots, `iUsed` of them
// filled and `iDead` of those erased, is rebuilt with when a key finds no
// free slot. A table more than half live grows to 2c+1; one more than a
// quarter live grows by a quarter when nothing was erased and is only cleaned
// of its erased entries otherwise; a sparser one is sized anew from the
// filled count (and may shrink).
inline uint32_t __calcNextTSize_fast(uint32_t iCapacity, uint32_t iUsed, uint32_t iDead) {
    uint64_t c = iCapacity;
    uint64_t f = iUsed;
    uint64_t n = f - iDead;
    uint64_t next;
    if (n > c / 4) {
        if (n > c / 2)
            next = 2 * c + 1;
        else if (iDead == 0)
            next = (c / 4) * 5 + 1;
        else
            next = c;
    } else {
        next = 11;
        while (f * 5 / 4 > next)
            next = 2 * next + 1;
    }
    return uint32_t(std::min<uint64_t>(next, UINT32_MAX));
}

// The probe positions of hash code h: h, h+1, h+3, h+7, ... (offsets 2^k - 1)
// modulo the capacity, without a division per step.
class HashProbe {
public:
    HashProbe(uint32_t h, uint32_t iCapacity)
        : iPos(h % iCapacity), iStep(1 % iCapacity), iCapacity(iCapacity) {}
    uint32_t operator*() const { return iPos; }
    void next() {
        iPos += iStep;
        if (iPos >= iCapacity)
            iPos -= iCapacity;
        iStep += iStep; // 2^k modulo the capacity
        if (iStep >= iCapacity)
            iStep -= iCapacity;
    }

private:
    uint32_t iPos;
    uint32_t iStep;
    uint32_t iCapacity;
};

// The shared body of a hash table. Slot i is empty (filled bit clear), live,
// or dead (filled and erased). Keys and values are constructed only in live
// slots; a dead slot keeps its hash code and filled bit until the next
// rebuild. Every live key lies within the first 32 positions of its probe
// sequence h, h+1, h+3, h+7, ... (offsets 2^k - 1, modulo the capacity).
template <typename K, typename V>
class HashCore {
public:
    static constexpr uint32_t kNoSlot = UINT32_MAX;
    static constexpr uint32_t kFirstCapacity = 11;
    static constexpr int kProbes = 32;

    HashCore() = default;
    // Same capacity; the live entries are placed anew in slot order and the
    // dead ones dropped (should an entry then find no slot, the copy grows).
    HashCore(const HashCore &other) {
        if (other.capacity == 0)
            return;
        uint64_t c = other.capacity;
        while (!rebuildFrom(other, uint32_t(c))) {
            c = 2 * c + 1;
            checkLimit(c, other.usedSlots - other.deadSlots);
        }
    }
    HashCore &operator=(const HashCore &) = delete;
    virtual ~HashCore() {
        destroyEntries();
        freeArrays(usedBits, deadBits, keys, values, hashes, capacity);
    }

    // Slot states; a position at or beyond the capacity throws HashException
    // "Referenced position invalid.".
    bool isFilled(uint32_t i) const {
        checkPosition(i);
        return filled(i);
    }
    bool isDead(uint32_t i) const {
        checkPosition(i);
        return dead(i);
    }
    // The entry of live slot i; any other position throws like isFilled.
    const K &keyAt(uint32_t i) const {
        checkLive(i);
        return keys[i];
    }
    V &valueAt(uint32_t i) {
        checkLive(i);
        return values[i];
    }
    const V &valueAt(uint32_t i) const {
        checkLive(i);
        return values[i];
    }
    uint32_t getLive() const { return usedSlots - deadSlots; }
    // First live slot at or after i, or the capacity when there is none.
    uint32_t nextLive(uint32_t i) const {
        while (i < capacity && !live(i))
            ++i;
        return std::min(i, capacity);
    }

    // Looks the key up without changing the table. True: found at iSlot.
    // False: iSlot is the empty slot where it would go, or kNoSlot when all
    // its 32 positions are taken (or there is no table yet).
    bool probe(const K &key, uint32_t h, uint32_t &iSlot) const {
        iSlot = kNoSlot;
        if (capacity == 0)
            return false;
        HashProbe p(h, capacity);
        for (int k = 0; k < kProbes; ++k, p.next()) {
            uint32_t i = *p;
            if (!filled(i)) {
                iSlot = i;
                return false;
            }
            if (hashes[i] == h && !dead(i) && __cmpHashKeys(keys[i], key)) {
                iSlot = i;
                return true;
            }
        }
        return false;
    }

    // Like probe, but sets up the table when there is none and rebuilds it
    // under the size policy until the key has a slot. A key still without one
    // after the policy had its turns forces the table to grow; growth stops
    // at 16 slots per filled slot (colliding keys cannot go further), where
    // HashException is thrown with the table intact.
    bool probeGrowing(const K &key, uint32_t h, uint32_t &iSlot) {
        if (capacity == 0)
            rebuildFrom(*this, kFirstCapacity);
        for (int iRound = 0;; ++iRound) {
            if (probe(key, h, iSlot))
                return true;
            if (iSlot != kNoSlot)
                return false;
            uint64_t next = __calcNextTSize_fast(capacity, usedSlots, deadSlots);
            // The policy can come back to a capacity it tried before (or stay
            // on the same one); from some point on only growth can help.
            if (iRound >= kPolicyRounds || (next == capacity && deadSlots == 0))
                next = std::max<uint64_t>(next, 2 * uint64_t(capacity) + 1);
            regrow(next);
        }
    }

    // Constructs an entry in the empty slot i.
    template <typename KK, typename VV>
    void fill(uint32_t i, KK &&key, VV &&value, uint32_t h) {
        new (keys + i) K(std::forward<KK>(key));
        try {
            new (values + i) V(std::forward<VV>(value));
        } catch (...) {
            std::destroy_at(keys + i);
            throw;
        }
        hashes[i] = h;
        usedBits[i >> 5] |= 1u << (i & 31);
        ++usedSlots;
    }

    // Erases the entry of live slot i; the slot stays filled until a rebuild.
    void kill(uint32_t i) {
        deadBits[i >> 5] |= 1u << (i & 31);
        ++deadSlots;
        std::destroy_at(values + i);
        std::destroy_at(keys + i);
    }

    uint32_t capacity = 0;
    uint32_t usedSlots = 0; // filled since the last rebuild, live and dead
    uint32_t deadSlots = 0;
    uint32_t *usedBits = nullptr;
    uint32_t *deadBits = nullptr;
    uint32_t bitWords = 0;
    K *keys = nullptr;
    V *values = nullptr;
    uint32_t *hashes = nullptr;

private:
    // Rebuilds the policy may run for one key before growth is forced.
    static constexpr int kPolicyRounds = 8;
    // Growth beyond this is refused: the floor, and slots per filled slot.
    static constexpr uint64_t kMinLimit = 1024;
    static constexpr uint64_t kSlotsPerEntry = 16;
    static constexpr uint64_t kMaxCapacity = uint64_t(1) << 30;
    static constexpr bool kNoThrowMove =
        std::is_nothrow_move_constructible_v<K> && std::is_nothrow_move_constructible_v<V>;

    bool filled(uint32_t i) const { return (usedBits[i >> 5] >> (i & 31)) & 1; }
    bool dead(uint32_t i) const { return (deadBits[i >> 5] >> (i & 31)) & 1; }
    bool live(uint32_t i) const { return filled(i) && !dead(i); }
    void checkPosition(uint32_t i) const {
        if (i >= capacity)
            throwReferencedPositionInvalid();
    }
    void checkLive(uint32_t i) const {
        if (i >= capacity || !live(i))
            throwReferencedPositionInvalid();
    }

    static void checkLimit(uint64_t c, uint32_t iEntries) {
        uint64_t limit = std::max(kMinLimit, kSlotsPerEntry * (uint64_t(iEntries) + 1));
        if (c > limit || c > kMaxCapacity)
            throwTooManyCollisions(uint32_t(std::min<uint64_t>(c, UINT32_MAX)));
    }

    // Rebuilds with `c` slots, or more when a live entry finds no slot there.
    void regrow(uint64_t c) {
        uint32_t iFilled = usedSlots;
        for (;;) {
            checkLimit(c, iFilled);
            if (rebuildFrom(*this, uint32_t(c)))
                return;
            c = 2 * c + 1;
        }
    }

    static void freeArrays(uint32_t *pUsed, uint32_t *pDead, K *pKeys, V *pValues,
                           uint32_t *pHashes, uint32_t c) {
        delete[] pUsed;
        delete[] pDead;
        if (pKeys)
            std::allocator<K>().deallocate(pKeys, c);
        if (pValues)
            std::allocator<V>().deallocate(pValues, c);
        delete[] pHashes;
    }

    void destroyEntries() {
        for (uint32_t i = 0; i < capacity; ++i) {
            if (live(i)) {
                std::destroy_at(values + i);
                std::destroy_at(keys + i);
            }
        }
    }

    // Fresh arrays for a rebuild, freed again unless taken over.
    struct Arrays {
        explicit Arrays(uint32_t c) : capacity(c), bitWords((c + 31) / 32) {
            try {
                usedBits = new uint32_t[bitWords]();
                deadBits = new uint32_t[bitWords]();
                keys = std::allocator<K>().allocate(c);
                values = std::allocator<V>().allocate(c);
                hashes = new uint32_t[c];
            } catch (...) {
                freeArrays(usedBits, deadBits, keys, values, hashes, capacity);
                throw;
            }
        }
        Arrays(const Arrays &) = delete;
        Arrays &operator=(const Arrays &) = delete;
        ~Arrays() { freeArrays(usedBits, deadBits, keys, values, hashes, capacity); }

        // The first free position of a probe sequence, or kNoSlot.
        uint32_t firstFree(uint32_t h) const {
            HashProbe p(h, capacity);
            for (int k = 0; k < kProbes; ++k, p.next()) {
                if (!((usedBits[*p >> 5] >> (*p & 31)) & 1))
                    return *p;
            }
            return kNoSlot;
        }

        uint32_t capacity;
        uint32_t bitWords;
        uint32_t *usedBits = nullptr;
        uint32_t *deadBits = nullptr;
        K *keys = nullptr;
        V *values = nullptr;
        uint32_t *hashes = nullptr;
    };

    // Makes this body a table of `c` slots holding the live entries of
    // `src` (this very body when rebuilding, moved; another when copying).
    // Entries are placed in slot order, each in the first free position of
    // its probe sequence. Returns false, changing nothing, when an entry
    // finds none; a failing copy of an entry also leaves everything as it was.
    bool rebuildFrom(const HashCore &src, uint32_t c) {
        Arrays a(c);
        std::vector<uint32_t> lTarget;
        lTarget.reserve(src.getLive());
        for (uint32_t i = 0; i < src.capacity; ++i) {
            if (!src.live(i))
                continue;
            uint32_t pos = a.firstFree(src.hashes[i]);
            if (pos == kNoSlot)
                return false;
            a.usedBits[pos >> 5] |= 1u << (pos & 31);
            lTarget.push_back(pos);
        }
        bool bSelf = &src == this;
        // Entries move only when neither key nor value can throw doing so:
        // were one of them copied instead, a copy failing after earlier
        // entries had been moved out would leave those emptied in the table
        // that has to stay as it was.
        bool bMove = bSelf && kNoThrowMove;
        size_t j = 0;
        try {
            for (uint32_t i = 0; j < lTarget.size(); ++i) {
                if (!src.live(i))
                    continue;
                uint32_t pos = lTarget[j];
                K &rKey = const_cast<K &>(src.keys[i]);
                V &rValue = const_cast<V &>(src.values[i]);
                if (bMove) {
                    new (a.keys + pos) K(std::move(rKey));
                    new (a.values + pos) V(std::move(rValue));
                } else {
                    new (a.keys + pos) K(std::as_const(rKey));
                    try {
                        new (a.values + pos) V(std::as_const(rValue));
                    } catch (...) {
                        std::destroy_at(a.keys + pos);
                        throw;
                    }
                }
                a.hashes[pos] = src.hashes[i];
                ++j;
            }
        } catch (...) {
            for (size_t k = 0; k < j; ++k) {
                std::destroy_at(a.values + lTarget[k]);
                std::destroy_at(a.keys + lTarget[k]);
            }
            throw;
        }
        if (bSelf)
            destroyEntries();
        freeArrays(usedBits, deadBits, keys, values, hashes, capacity);
        capacity = a.capacity;
        bitWords = a.bitWords;
        usedSlots = uint32_t(lTarget.size());
        deadSlots = 0;
        usedBits = std::exchange(a.usedBits, nullptr);
        deadBits = std::exchange(a.deadBits, nullptr);
        keys = std::exchange(a.keys, nullptr);
        values = std::exchange(a.values, nullptr);
        hashes = std::exchange(a.hashes, nullptr);
        return true;
    }
};

// A hash table from K to V. K needs __calcHashCode(const K&) and
// __cmpHashKeys(const K&, const K&) (declared for int, unsigned int,
// Ka::String and C texts; other types bring their own). Copies share the
// body until one of them changes; a copy that changes re-inserts the live
// entries. Iteration is in slot order; iterators and operator[] proxies are
// invalid after any change of the table (the proxy re-finds its key when it
// has to, so a stale proxy never writes to a wrong slot). Not thread-safe.
template <typename K, typename V>
class Hash : public SharedCore<Hash<K, V>, HashCore<K, V>> {
    using Base = SharedCore<Hash<K, V>, HashCore<K, V>>;
    using Core = HashCore<K, V>;
    using Base::core;
    using Base::detach;

public:
    // What operator[] returns: assigning stores under the key, reading a
    // missing key throws HashException (code 0) "No data associated with
    // that key.".
    class Proxy {
    public:
        Proxy(const Proxy &) = default;
        Proxy &operator=(const V &value) {
            iSlot = pHash->storeAt(iSlot, iHash, key, value);
            bFound = true;
            return *this;
        }
        Proxy &operator=(const Proxy &other) { return *this = static_cast<V &>(other); }
        operator V &() const { return pHash->valueAt(iSlot, iHash, key, bFound); }
        V *operator->() const { return &pHash->valueAt(iSlot, iHash, key, bFound); }

    private:
        friend class Hash;
        Proxy(Hash *pHash, uint32_t iSlot, uint32_t iHash, K key, bool bFound)
            : pHash(pHash), iSlot(iSlot), iHash(iHash), key(std::move(key)), bFound(bFound) {}

        Hash *pHash;
        uint32_t iSlot;
        uint32_t iHash;
        K key;
        bool bFound;
    };

    // Iterators walk the live slots in slot order. getKey and getValue on a
    // finished iterator throw HashException "Referenced position invalid.".
    // A mutable iterator converts to a const one.
    template <bool bConst>
    class Iterator {
        using HashPtr = std::conditional_t<bConst, const Hash *, Hash *>;
        using Value = std::conditional_t<bConst, const V, V>;

    public:
        Iterator() = default;
        template <bool bOther>
        requires(bConst && !bOther) Iterator(const Iterator<bOther> &it)
            : pHash(it.pHash), iPos(it.iPos), bFinished(it.bFinished) {}

        bool isValid() const { return !bFinished; }
        bool isFinished() const { return bFinished; }
        const K &getKey() const { return pHash->core->keyAt(iPos); }
        Value &getValue() const { return pHash->core->valueAt(iPos); }
        Iterator &operator++() {
            if (!bFinished)
                seek(iPos + 1);
            return *this;
        }
        bool operator==(const Iterator &o) const {
            return bFinished == o.bFinished && (bFinished || (pHash == o.pHash && iPos == o.iPos));
        }
        bool operator!=(const Iterator &o) const { return !(*this == o); }

    private:
        friend class Hash;
        template <bool>
        friend class Iterator;
        explicit Iterator(HashPtr pHash) : pHash(pHash) { seek(0); }
        void seek(uint32_t i) {
            iPos = pHash->core->nextLive(i);
            bFinished = iPos >= pHash->core->capacity;
        }
        HashPtr pHash = nullptr;
        uint32_t iPos = 0;
        bool bFinished = true;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    Hash() = default;
    Hash(const Hash &) = default;
    Hash &operator=(const Hash &) = default;
    ~Hash() override = default;

    // Stores the value under the key, replacing any value it had. The key
    // and value may live in this very table.
    void insert(const K &key, const V &value) { insertAt(key, __calcHashCode(key), value); }

    // Throws HashException (code 0) "No data assosiated with that key.".
    V &get(const K &key) {
        uint32_t h = __calcHashCode(key);
        detach();
        uint32_t i;
        if (!core->probe(key, h, i))
            throwNoDataForKey();
        return core->values[i];
    }
    const V &get(const K &key) const {
        uint32_t i;
        if (!core->probe(key, __calcHashCode(key), i))
            throwNoDataForKey();
        return core->values[i];
    }

    // Makes room for the key (growing the table if needed) and returns the
    // proxy for its slot; nothing is stored until the proxy is assigned.
    Proxy operator[](const K &key) {
        uint32_t h = __calcHashCode(key);
        K keyCopy(key);
        detach();
        uint32_t i;
        bool bFound = core->probeGrowing(keyCopy, h, i);
        return Proxy(this, i, h, std::move(keyCopy), bFound);
    }

    // A lookup never rebuilds the table: every present key lies within its
    // first 32 probe positions, so growing could not change the answer.
    bool has(const K &key) const {
        uint32_t i;
        return core->probe(key, __calcHashCode(key), i);
    }

    // Erases the key's entry; a missing key does nothing.
    void erase(const K &key) {
        if (core->getLive() == 0)
            return;
        uint32_t h = __calcHashCode(key);
        detach();
        uint32_t i;
        if (core->probe(key, h, i))
            core->kill(i);
    }

    // Lets go of the body (others sharing it keep it) and starts with no table.
    virtual void clear() { this->resetCore(); }

    int getSize() const { return int(core->getLive()); }
    bool isEmpty() const { return core->getLive() == 0; }
    // Number of slots (0 until the first insertion).
    uint32_t getCapacity() const { return core->capacity; }

    // The live keys in slot order.
    List<K> getKeys() const {
        List<K> lKeys;
        for (uint32_t i = core->nextLive(0); i < core->capacity; i = core->nextLive(i + 1))
            lKeys.append(core->keys[i]);
        return lKeys;
    }

    // The mutable form detaches first.
    iterator begin() {
        detach();
        return iterator(this);
    }
    const_iterator begin() const { return const_iterator(this); }

private:
    // Stores under the key and returns its slot.
    uint32_t insertAt(const K &key, uint32_t h, const V &value) {
        detach();
        uint32_t i;
        if (core->probe(key, h, i)) {
            core->values[i] = value;
            return i;
        }
        if (i != Core::kNoSlot) {
            core->fill(i, key, value, h);
            return i;
        }
        // Growing moves the entries, and key or value may be one of them.
        K keyCopy(key);
        V valueCopy(value);
        if (core->probeGrowing(keyCopy, h, i))
            core->values[i] = std::move(valueCopy);
        else
            core->fill(i, std::move(keyCopy), std::move(valueCopy), h);
        return i;
    }

    // The remembered slot still holds the key (no change came between).
    bool slotHolds(uint32_t i, uint32_t h, const K &key) const {
        return i < core->capacity && core->isFilled(i) && !core->isDead(i) &&
               core->hashes[i] == h && __cmpHashKeys(core->keys[i], key);
    }

    uint32_t storeAt(uint32_t i, uint32_t h, const K &key, const V &value) {
        detach();
        if (slotHolds(i, h, key)) {
            core->values[i] = value;
            return i;
        }
        return insertAt(key, h, value);
    }

    V &valueAt(uint32_t i, uint32_t h, const K &key, bool bFound) {
        detach();
        if ((bFound && slotHolds(i, h, key)) || core->probe(key, h, i))
            return core->values[i];
        throwNoValueForKey();
    }
};

} // namespace Ka
