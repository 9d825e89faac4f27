// Ka::String: chunk chain management, copy-on-write and the string operations.
#include "ka/string.h"

#include "ka/exception.h"
#include "ka/list.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace Ka {

namespace {

constexpr int32_t kMinBuffer = 256;

char kEmptyText[1] = {0};

// One allocation holds the chunk header and its buffer.
StringChunk *newChunk(int32_t n) {
    size_t nBuffer = n >= kMinBuffer ? size_t(n) + 1 : size_t(kMinBuffer);
    void *pMem = ::operator new(sizeof(StringChunk) + nBuffer);
    StringChunk *pChunk = static_cast<StringChunk *>(pMem);
    pChunk->length = n;
    pChunk->data = reinterpret_cast<char *>(pChunk + 1);
    pChunk->next = nullptr;
    pChunk->data[n] = '\0';
    return pChunk;
}

void freeChain(StringChunk *pChunk) {
    while (pChunk) {
        StringChunk *pNext = pChunk->next;
        ::operator delete(pChunk);
        pChunk = pNext;
    }
}

// Copies all bytes of a chain, in order, to `pDest`.
void copyChain(const StringChunk *pChunk, char *pDest) {
    for (; pChunk; pChunk = pChunk->next) {
        std::memcpy(pDest, pChunk->data, size_t(pChunk->length));
        pDest += pChunk->length;
    }
}

// Calls f(pointer, count) for every run of bytes from (pChunk, iIdx) up to
// (pToChunk, iToIdx), exclusive, or to the end of the chain when the end
// position is not met.
template <typename F>
void walkSpans(const StringChunk *pChunk, int32_t iIdx, const StringChunk *pToChunk, int32_t iToIdx,
               F f) {
    while (pChunk) {
        int32_t iEnd = pChunk->length;
        bool bLast = pChunk == pToChunk;
        if (bLast)
            iEnd = std::max(iIdx, std::min(iToIdx, pChunk->length));
        if (iEnd > iIdx)
            f(pChunk->data + iIdx, iEnd - iIdx);
        if (bLast)
            break;
        pChunk = pChunk->next;
        iIdx = 0;
    }
}

// Calls f(pointer, count) for `len` bytes of a chain starting at byte `start`;
// the caller keeps the range inside the chain.
template <typename F>
void walkRange(const StringChunk *pChunk, int32_t start, int32_t len, F f) {
    for (; pChunk && len > 0; pChunk = pChunk->next) {
        if (start >= pChunk->length) {
            start -= pChunk->length;
            continue;
        }
        int32_t n = std::min(pChunk->length - start, len);
        f(pChunk->data + start, n);
        len -= n;
        start = 0;
    }
}

// Copies `len` bytes of a chain starting at byte `start` to `pDest`.
void copyRange(const StringChunk *pChunk, int32_t start, int32_t len, char *pDest) {
    walkRange(pChunk, start, len, [&pDest](const char *p, int n) {
        std::memcpy(pDest, p, size_t(n));
        pDest += n;
    });
}

// A new chunk holding a copy of a string's bytes; the source chain is read
// in place, never merged, so iterators into it stay valid.
StringChunk *chunkOf(const StringCore &source) {
    StringChunk *pChunk = newChunk(source.length);
    copyChain(source.first, pChunk->data);
    return pChunk;
}

void checkGrowth(int32_t iLength, int64_t iMore) {
    if (iLength + iMore > INT32_MAX)
        throw ExceptionBase("String too long.");
}

// Clamps (start, len) to the bytes of a string of `size` bytes; len below 0
// means to the end. Returns false when nothing is left.
bool clampRange(int32_t size, int &start, int &len) {
    if (start < 0)
        start = 0;
    if (start >= size)
        return false;
    if (len < 0 || len > size - start)
        len = size - start;
    return len > 0;
}

} // namespace

// ---------------------------------------------------------------------------
// StringCore

StringCore::StringCore(const StringCore &other) {
    if (other.length > 0) {
        if (const StringChunk *pMerged = other.merged.load(std::memory_order_acquire)) {
            first = newChunk(other.length);
            std::memcpy(first->data, pMerged->data, size_t(other.length));
        } else {
            first = chunkOf(other);
        }
        last = first;
        length = other.length;
    }
}

StringCore::~StringCore() {
    freeChain(first);
    freeChain(merged.load(std::memory_order_relaxed));
}

// ---------------------------------------------------------------------------
// Iterators

String::const_iterator::const_iterator(const StringChunk *pChunk, int32_t iIdx)
    : pChunk(pChunk), iIdx(iIdx) {
    while (this->pChunk && this->iIdx >= this->pChunk->length) {
        this->pChunk = this->pChunk->next;
        this->iIdx = 0;
    }
}

char String::const_iterator::operator*() const {
    if (!pChunk)
        throw ExceptionBase("Not a valid const_iterator.");
    return pChunk->data[iIdx];
}

String::const_iterator &String::const_iterator::operator++() {
    if (pChunk)
        *this = const_iterator(pChunk, iIdx + 1);
    return *this;
}

String::const_iterator String::const_iterator::operator++(int) {
    const_iterator old = *this;
    ++*this;
    return old;
}

String::iterator::iterator(StringChunk *pChunk, int32_t iIdx) : pChunk(pChunk), iIdx(iIdx) {
    while (this->pChunk && this->iIdx >= this->pChunk->length) {
        this->pChunk = this->pChunk->next;
        this->iIdx = 0;
    }
}

char &String::iterator::operator*() const {
    if (!pChunk)
        throwInvalidIterator();
    return pChunk->data[iIdx];
}

String::iterator &String::iterator::operator++() {
    if (pChunk)
        *this = iterator(pChunk, iIdx + 1);
    return *this;
}

String::iterator String::iterator::operator++(int) {
    iterator old = *this;
    ++*this;
    return old;
}

// ---------------------------------------------------------------------------
// Construction and assignment

String::String() = default;

String::String(const char *s) {
    append(s);
}

String::String(const char *s, int len) {
    append(s, len);
}

String::String(const String &s, int len) {
    append(s, 0, len);
}

String::String(const String &s, int start, int len) {
    append(s, start, len);
}

String::String(int size) {
    resetSize(size);
}

String::String(const_iterator from) {
    append(from);
}

String::String(const_iterator from, const_iterator to) {
    append(from, to);
}

String &String::operator=(const char *s) {
    set(s);
    return *this;
}

// Each set() builds the new value aside first, so that assigning a string
// its own bytes (or an iterator range into itself) is safe.
void String::set(const char *s) {
    String tmp(s);
    *this = tmp;
}

void String::set(const char *s, int len) {
    String tmp(s, len);
    *this = tmp;
}

void String::set(const char *s, int start, int len) {
    String tmp;
    tmp.append(s, start, len);
    *this = tmp;
}

void String::set(const String &s) {
    String tmp;
    tmp.append(s);
    *this = tmp;
}

void String::set(const String &s, int len) {
    String tmp(s, len);
    *this = tmp;
}

void String::set(const String &s, int start, int len) {
    String tmp(s, start, len);
    *this = tmp;
}

void String::set(const_iterator from) {
    set(from, const_iterator());
}

void String::set(const_iterator from, const_iterator to) {
    String tmp(from, to);
    *this = tmp;
}

void String::resetSize(int n) {
    if (n < 0)
        n = 0;
    StringChunk *pChunk = newChunk(n);
    // The bytes are the caller's to fill; zeroing them keeps earlier heap
    // contents from ever leaking into what a short read leaves behind.
    std::memset(pChunk->data, 0, size_t(n));
    replaceChain(pChunk, n);
}

void String::replaceChain(StringChunk *pChunk, int32_t length) {
    if (!isDetached()) {
        try {
            resetCore();
        } catch (...) {
            freeChain(pChunk);
            throw;
        }
    } else {
        freeChain(core->first);
        freeChain(core->merged.exchange(nullptr, std::memory_order_relaxed));
    }
    core->first = core->last = pChunk;
    core->length = length;
}

// ---------------------------------------------------------------------------
// Appending

void String::appendRaw(const char *s, int len) {
    checkGrowth(core->length, len);
    StringChunk *pLast = core->last;
    int32_t n =
        pLast && pLast->length < kTopUpLimit ? std::min(kTopUpLimit - pLast->length, len) : 0;
    // The new chunk comes first, so that a failed allocation appends nothing.
    StringChunk *pChunk = len > n ? newChunk(len - n) : nullptr;
    if (n > 0) {
        std::memcpy(pLast->data + pLast->length, s, size_t(n));
        pLast->length += n;
        pLast->data[pLast->length] = '\0';
        core->length += n;
    }
    if (pChunk) {
        std::memcpy(pChunk->data, s + n, size_t(len - n));
        if (pLast)
            pLast->next = pChunk;
        else
            core->first = pChunk;
        core->last = pChunk;
        core->length += len - n;
    }
}

void String::append(const char *s) {
    if (!s)
        return;
    size_t n = std::strlen(s);
    if (n > size_t(INT32_MAX))
        throw ExceptionBase("String too long.");
    append(s, int(n));
}

void String::appendSlow(const char *s, int len) {
    if (!s || len < 1)
        return;
    // `s` may point into this string's merged copy, which the change frees.
    if (hasMerged()) {
        std::vector<char> lCopy(s, s + len);
        prepareChange();
        appendRaw(lCopy.data(), len);
        return;
    }
    prepareChange();
    appendRaw(s, len);
}

void String::append(const char *s, int start, int len) {
    if (!s || len < 1)
        return;
    if (start < 0)
        throw ExceptionBase("Index out of range.");
    append(s + start, len);
}

void String::append(const String &s) {
    append(s, 0, -1);
}

void String::append(const String &s, int len) {
    append(s, 0, len);
}

void String::append(const String &s, int start, int len) {
    if (!clampRange(s.getSize(), start, len))
        return;
    // Keep the source body alive and unchanged while this string grows,
    // even when both are the same string.
    String source(s);
    prepareChange();
    walkRange(source.core->first, start, len, [this](const char *p, int n) { appendRaw(p, n); });
}

void String::append(const_iterator from) {
    append(from, const_iterator());
}

void String::append(const_iterator from, const_iterator to) {
    if (!from.isValid())
        return;
    // Record the source runs before anything changes: appending may top up
    // the very chunk an iterator points into, but never alters bytes that
    // were there before.
    std::vector<std::pair<const char *, int>> lSpans;
    int64_t iTotal = 0;
    walkSpans(from.pChunk, from.iIdx, to.pChunk, to.iIdx, [&](const char *p, int n) {
        lSpans.emplace_back(p, n);
        iTotal += n;
    });
    if (iTotal == 0)
        return;
    checkGrowth(core->length, iTotal);
    // The runs may lie in this string's own chain, which the change would
    // free when it takes a merged copy as the chain: keep it alive.
    String keep;
    if (hasMerged())
        keep = *this;
    prepareChange();
    for (const auto &span : lSpans)
        appendRaw(span.first, span.second);
}

// ---------------------------------------------------------------------------
// Prepending and inserting

// Links a ready chunk (owned from here on) in front of the chain.
void String::prependChunk(StringChunk *pChunk) {
    try {
        checkGrowth(core->length, pChunk->length);
        prepareChange();
    } catch (...) {
        freeChain(pChunk);
        throw;
    }
    pChunk->next = core->first;
    core->first = pChunk;
    if (!core->last)
        core->last = pChunk;
    core->length += pChunk->length;
}

void String::prepend(const char *s, int len) {
    if (!s || len < 1)
        return;
    // The copy is made first: `s` may point into this very string.
    StringChunk *pChunk = newChunk(len);
    std::memcpy(pChunk->data, s, size_t(len));
    prependChunk(pChunk);
}

void String::prepend(const String &s) {
    if (!s.isEmpty())
        prependChunk(chunkOf(*s.core));
}

void String::prepend(const char *s) {
    if (s)
        prepend(s, int(std::min(std::strlen(s), size_t(INT32_MAX))));
}

void String::prepend(char c) {
    prepend(&c, 1);
}

// Rebuilds the body as three chunks: the bytes before `pos`, `pMiddle`
// (owned from here on) and the bytes from `pos` on; 0 < pos < size.
void String::insertChunk(int pos, StringChunk *pMiddle) {
    StringChunk *pBefore = nullptr;
    StringChunk *pAfter = nullptr;
    int32_t size = getSize();
    try {
        checkGrowth(size, pMiddle->length);
        const char *pData = getConstStr();
        pBefore = newChunk(pos);
        pAfter = newChunk(size - pos);
        std::memcpy(pBefore->data, pData, size_t(pos));
        std::memcpy(pAfter->data, pData + pos, size_t(size - pos));
    } catch (...) {
        freeChain(pBefore);
        freeChain(pMiddle);
        throw;
    }
    pBefore->next = pMiddle;
    pMiddle->next = pAfter;
    replaceChain(pBefore, size + pMiddle->length);
    core->last = pAfter;
}

void String::insert(int pos, const char *s, int len) {
    if (!s || len < 1)
        return;
    if (pos <= 0) {
        prepend(s, len);
    } else if (pos >= getSize()) {
        append(s, len);
    } else {
        // Copied before the chain is merged: `s` may point into it.
        StringChunk *pMiddle = newChunk(len);
        std::memcpy(pMiddle->data, s, size_t(len));
        insertChunk(pos, pMiddle);
    }
}

void String::insert(int pos, const String &s) {
    if (s.isEmpty())
        return;
    if (pos <= 0)
        prepend(s);
    else if (pos >= getSize())
        append(s);
    else
        insertChunk(pos, chunkOf(*s.core));
}

void String::insert(int pos, const char *s) {
    if (s)
        insert(pos, s, int(std::min(std::strlen(s), size_t(INT32_MAX))));
}

String String::operator+(const String &s) const {
    String result(*this);
    result.append(s);
    return result;
}

String String::operator+(const char *s) const {
    String result(*this);
    result.append(s);
    return result;
}

String operator+(const char *s, const String &t) {
    String result(s);
    result.append(t);
    return result;
}

// ---------------------------------------------------------------------------
// Removing and resizing

void String::clear() {
    if (!isDetached()) {
        resetCore();
        return;
    }
    freeChain(core->first);
    freeChain(core->merged.exchange(nullptr, std::memory_order_relaxed));
    core->first = core->last = nullptr;
    core->length = 0;
}

void String::setSize(int n) {
    if (n < 0)
        n = 0;
    if (n == getSize())
        return;
    int32_t iKeep = std::min(n, getSize());
    StringChunk *pChunk = newChunk(n);
    copyRange(core->first, 0, iKeep, pChunk->data);
    // New bytes are zero rather than whatever the heap held before.
    std::memset(pChunk->data + iKeep, 0, size_t(n - iKeep) + 1);
    replaceChain(pChunk, n);
}

void String::remove(int start, int len) {
    if (len < 1 || start < 0 || start >= getSize())
        return;
    len = std::min(len, getSize() - start);
    char *pData = getStr();
    std::memmove(pData + start, pData + start + len, size_t(getSize() - start - len));
    core->first->length -= len;
    core->length -= len;
    pData[core->length] = '\0';
}

void String::trimFront(int n) {
    if (n <= 0)
        return;
    if (n >= getSize())
        clear();
    else
        remove(0, n);
}

void String::trimBack(int n) {
    if (n <= 0)
        return;
    if (n >= getSize()) {
        clear();
        return;
    }
    char *pData = getStr();
    core->first->length -= n;
    core->length -= n;
    pData[core->length] = '\0';
}

// ---------------------------------------------------------------------------
// Access

void String::prepareChange() {
    detach();
    // The body is private now: nobody else walks its chain.
    if (StringChunk *pMerged = core->merged.exchange(nullptr, std::memory_order_relaxed)) {
        freeChain(core->first);
        core->first = core->last = pMerged;
    }
}

void String::flatten() {
    if (core->first == core->last)
        return;
    StringChunk *pChunk = chunkOf(*core);
    freeChain(core->first);
    core->first = core->last = pChunk;
}

const char *String::contiguous() const {
    if (core->first == core->last)
        return core->first->data;
    StringChunk *pMerged = core->merged.load(std::memory_order_acquire);
    if (!pMerged) {
        StringChunk *pNew = chunkOf(*core);
        // Two readers of one body may race here; the loser's copy goes.
        if (core->merged.compare_exchange_strong(pMerged, pNew, std::memory_order_acq_rel,
                                                 std::memory_order_acquire))
            pMerged = pNew;
        else
            freeChain(pNew);
    }
    return pMerged->data;
}

char *String::getStr() {
    if (core->length == 0)
        return kEmptyText;
    prepareChange();
    flatten();
    return core->first->data;
}

const char *String::getConstStr() const {
    if (core->length == 0)
        return "";
    return contiguous();
}

char &String::operator[](int i) {
    if (i < 0 || i >= getSize())
        throw ExceptionBase("Index out of range.");
    return getStr()[i];
}

char String::operator[](int i) const {
    if (i < 0 || i >= getSize())
        throw ExceptionBase("Index out of range.");
    return getConstStr()[i];
}

String String::getSubStr(int start, int len) const {
    if (!clampRange(getSize(), start, len))
        return String();
    return String(*this, start, len);
}

String String::getSubStr(const_iterator from, const_iterator to) const {
    return String(from, to);
}

String::iterator String::begin() {
    prepareChange();
    return iterator(core->first, 0);
}

String::const_iterator String::begin() const {
    return const_iterator(core->first, 0);
}

// ---------------------------------------------------------------------------
// Searching and comparing

bool String::operator==(const char *s) const {
    if (!s)
        return isEmpty();
    // Equal when the bytes agree up to and including the text's zero byte,
    // so a string compares as the C text it starts with.
    size_t n = std::strlen(s);
    if (n == 0)
        return isEmpty() || *begin() == '\0';
    if (size_t(getSize()) < n)
        return false;
    const char *pData = getConstStr();
    return std::memcmp(pData, s, n) == 0 && (size_t(getSize()) == n || pData[n] == '\0');
}

bool String::operator==(const String &s) const {
    if (core == s.core || (isEmpty() && s.isEmpty()))
        return true;
    if (getSize() != s.getSize())
        return false;
    if (core->first == s.core->first)
        return true;
    return std::memcmp(getConstStr(), s.getConstStr(), size_t(getSize())) == 0;
}

int String::compare(const String &s) const {
    const signed char *a = reinterpret_cast<const signed char *>(getConstStr());
    const signed char *b = reinterpret_cast<const signed char *>(s.getConstStr());
    int32_t n = std::min(getSize(), s.getSize());
    for (int32_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return getSize() < s.getSize() ? -1 : (getSize() > s.getSize() ? 1 : 0);
}

bool String::compareSub(const char *s, int start, int len) const {
    if (!s || start < 0 || len < 0 || int64_t(start) + len > getSize())
        return false;
    // Never read past the end of the C text.
    if (strnlen(s, size_t(len)) < size_t(len))
        return false;
    // Compared chunk by chunk: merging the chain could free the very bytes
    // `s` points into.
    bool bEqual = true;
    walkRange(core->first, start, len, [&](const char *p, int n) {
        bEqual = bEqual && std::memcmp(p, s, size_t(n)) == 0;
        s += n;
    });
    return bEqual;
}

bool String::compareSub(const String &s, int start, int len) const {
    if (isEmpty() || s.isEmpty())
        return false;
    if (len < 0)
        len = s.getSize();
    if (len > s.getSize() || start < 0 || int64_t(start) + len > getSize())
        return false;
    return std::memcmp(getConstStr() + start, s.getConstStr(), size_t(len)) == 0;
}

int String::findIdx(char c, int start) const {
    if (start < 0)
        start = 0;
    if (start >= getSize())
        return -1;
    const char *pData = getConstStr();
    const void *pHit = std::memchr(pData + start, c, size_t(getSize() - start));
    return pHit ? int(static_cast<const char *>(pHit) - pData) : -1;
}

int String::findIdx(const char *s, int start) const {
    if (!s)
        return -1;
    if (start < 0)
        start = 0;
    if (start > getSize())
        return -1;
    std::string_view view(getConstStr(), size_t(getSize()));
    size_t hit = view.find(s, size_t(start));
    return hit == std::string_view::npos ? -1 : int(hit);
}

int String::rfindIdx(const char *s) const {
    if (!s)
        return -1;
    std::string_view view(getConstStr(), size_t(getSize()));
    size_t hit = view.rfind(s);
    return hit == std::string_view::npos ? -1 : int(hit);
}

int String::indexOf(const_iterator it) const {
    int32_t iBase = 0;
    for (const StringChunk *pChunk = core->first; pChunk; pChunk = pChunk->next) {
        if (pChunk == it.pChunk)
            return iBase + it.iIdx;
        iBase += pChunk->length;
    }
    return -1;
}

// Searches the chain without merging it, so that iterators held by the
// caller stay valid.
int String::findInChain(const char *s, int len, int start) const {
    if (len < 0 || start < 0 || int64_t(start) + len > getSize())
        return -1;
    const_iterator it = constIteratorAt(start);
    for (int32_t idx = start; idx + len <= getSize(); ++idx, ++it) {
        const_iterator probe = it;
        int k = 0;
        while (k < len && *probe == s[k]) {
            ++probe;
            ++k;
        }
        if (k == len)
            return idx;
    }
    return -1;
}

String::const_iterator String::constIteratorAt(int idx) const {
    if (idx < 0 || idx >= getSize())
        return const_iterator();
    for (const StringChunk *pChunk = core->first; pChunk; pChunk = pChunk->next) {
        if (idx < pChunk->length)
            return const_iterator(pChunk, idx);
        idx -= pChunk->length;
    }
    return const_iterator();
}

String::iterator String::iteratorAt(int idx) {
    if (idx < 0 || idx >= getSize())
        return iterator();
    for (StringChunk *pChunk = core->first; pChunk; pChunk = pChunk->next) {
        if (idx < pChunk->length)
            return iterator(pChunk, idx);
        idx -= pChunk->length;
    }
    return iterator();
}

String::const_iterator String::find(char c, const_iterator from) const {
    return find(&c, 1, from);
}

String::const_iterator String::find(const char *s, int len, const_iterator from) const {
    if (!s)
        return const_iterator();
    int start = from.isValid() ? indexOf(from) : 0;
    return constIteratorAt(findInChain(s, len, start));
}

String::const_iterator String::find(const String &s, const_iterator from) const {
    return find(s, s.getSize(), from);
}

String::const_iterator String::find(const String &s, int len, const_iterator from) const {
    if (len < 0 || len > s.getSize())
        len = s.getSize();
    if (s.isFlat())
        return find(s.isSet() ? s.core->first->data : "", len, from);
    // The needle's chain is copied aside, not merged: it may be this very
    // string, into which `from` points.
    std::vector<char> lNeedle(size_t(len) + 1);
    copyRange(s.core->first, 0, len, lNeedle.data());
    return find(lNeedle.data(), len, from);
}

String::iterator String::toMutable(const_iterator it) {
    int idx = indexOf(it);
    if (idx < 0)
        return iterator();
    prepareChange();
    return iteratorAt(idx);
}

String::iterator String::find(char c, const_iterator from) {
    return toMutable(std::as_const(*this).find(c, from));
}

String::iterator String::find(const char *s, int len, const_iterator from) {
    return toMutable(std::as_const(*this).find(s, len, from));
}

String::iterator String::find(const String &s, const_iterator from) {
    return toMutable(std::as_const(*this).find(s, from));
}

String::iterator String::find(const String &s, int len, const_iterator from) {
    return toMutable(std::as_const(*this).find(s, len, from));
}

bool String::isWS(int i) const {
    if (i < 0 || i >= getSize())
        return false;
    char c = getConstStr()[i];
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool String::isAlpha(int i) const {
    if (i < 0 || i >= getSize())
        return false;
    char c = getConstStr()[i];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// ---------------------------------------------------------------------------
// Transforming

String String::toLower() const {
    String result(getConstStr(), getSize());
    char *p = result.getStr();
    for (int i = 0; i < result.getSize(); ++i) {
        if (p[i] >= 'A' && p[i] <= 'Z')
            p[i] = char(p[i] + 32);
    }
    return result;
}

String String::toUpper() const {
    String result(getConstStr(), getSize());
    char *p = result.getStr();
    for (int i = 0; i < result.getSize(); ++i) {
        if (p[i] >= 'a' && p[i] <= 'z')
            p[i] = char(p[i] - 32);
    }
    return result;
}

String String::trimWhitespace() const {
    int first = 0;
    while (first < getSize() && isWS(first))
        ++first;
    if (first == getSize())
        return String();
    int last = getSize() - 1;
    while (isWS(last))
        --last;
    return String(getConstStr() + first, last - first + 1);
}

String String::replace(const String &from, const String &to) const {
    if (from.isEmpty())
        return *this;
    String result;
    int pos = 0;
    std::string_view view(getConstStr(), size_t(getSize()));
    std::string_view needle(from.getConstStr(), size_t(from.getSize()));
    for (;;) {
        size_t hit = view.find(needle, size_t(pos));
        if (hit == std::string_view::npos)
            break;
        result.append(view.data() + pos, int(hit) - pos);
        result.append(to);
        pos = int(hit) + from.getSize();
    }
    result.append(view.data() + pos, getSize() - pos);
    return result;
}

List<String> String::split(char c) const {
    List<String> lFields;
    int pos = 0;
    while (pos < getSize()) {
        int idx = findIdx(c, pos);
        if (idx < 0) {
            lFields.append(getSubStr(pos, getSize() - pos));
            break;
        }
        lFields.append(getSubStr(pos, idx - pos));
        pos = idx + 1;
    }
    return lFields;
}

void String::debugPrint() const {
    std::printf("(%ld)\"%s\"", long(getSize()), getConstStr());
}

// ---------------------------------------------------------------------------
// Hashing

uint32_t hashBytes(const char *p, int len) {
    uint32_t h = 0;
    for (int i = 0; i < len; ++i) {
        uint32_t b = uint32_t(int32_t(static_cast<signed char>(p[i])));
        h = b + (h << 6) + (h << 16) - h;
    }
    return h;
}

uint32_t __calcHashCode(const String &s) {
    return hashBytes(s.getConstStr(), s.getSize());
}

bool __cmpHashKeys(const String &a, const String &b) {
    return a == b;
}

uint32_t __calcHashCode(const char *s) {
    if (!s)
        return 0;
    return hashBytes(s, int(std::min(std::strlen(s), size_t(INT32_MAX))));
}

bool __cmpHashKeys(const char *a, const char *b) {
    return a == b || (a && b && std::strcmp(a, b) == 0);
}

// ---------------------------------------------------------------------------
// Conversions from text

namespace {

template <typename T>
T &scanValue(T &out, const String &text, const char *sFormat) {
    T value;
    if (std::sscanf(text.getConstStr(), sFormat, &value) == 1)
        out = value;
    return out;
}

} // namespace

bool &fromString(bool &out, const String &text) {
    out = text == "true" || text == "yes" || text == "t";
    return out;
}

unsigned char &fromString(unsigned char &out, const String &text) {
    return scanValue(out, text, "%hhu");
}
signed char &fromString(signed char &out, const String &text) {
    return scanValue(out, text, "%hhd");
}
char &fromString(char &out, const String &text) {
    signed char value = static_cast<signed char>(out);
    fromString(value, text);
    out = static_cast<char>(value);
    return out;
}
unsigned short &fromString(unsigned short &out, const String &text) {
    return scanValue(out, text, "%hu");
}
short &fromString(short &out, const String &text) {
    return scanValue(out, text, "%hd");
}
unsigned int &fromString(unsigned int &out, const String &text) {
    return scanValue(out, text, "%u");
}
int &fromString(int &out, const String &text) {
    return scanValue(out, text, "%d");
}
unsigned long &fromString(unsigned long &out, const String &text) {
    return scanValue(out, text, "%lu");
}
long &fromString(long &out, const String &text) {
    return scanValue(out, text, "%ld");
}
unsigned long long &fromString(unsigned long long &out, const String &text) {
    return scanValue(out, text, "%llu");
}
long long &fromString(long long &out, const String &text) {
    return scanValue(out, text, "%lld");
}
float &fromString(float &out, const String &text) {
    return scanValue(out, text, "%f");
}
double &fromString(double &out, const String &text) {
    return scanValue(out, text, "%lf");
}
long double &fromString(long double &out, const String &text) {
    return scanValue(out, text, "%Lf");
}
String &fromString(String &out, const String &text) {
    out = text;
    return out;
}

} // namespace Ka
