// Ka::String: the byte string of the whole system, copy-on-write, built from
// a chain of chunks so that appending never moves bytes already stored.
#pragma once

#include "ka/sharedcore.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace Ka {

template <typename T>
class List;

// One link of a string's chain. The buffer always keeps at least one byte
// free behind the used bytes for a terminating zero: it holds n + 1 bytes
// for a chunk made for n >= 256 bytes and 256 bytes otherwise.
struct StringChunk {
    int32_t length;
    char *data;
    StringChunk *next;
};

// The shared body of a string: total length and the chain of chunks.
// Every chunk keeps a zero byte behind its used bytes, so that a body of one
// chunk can be handed out as a C text without writing to it.
class StringCore {
public:
    StringCore() = default;
    // A flat copy: one chunk with all bytes, or no chunk when empty.
    StringCore(const StringCore &other);
    StringCore &operator=(const StringCore &) = delete;
    virtual ~StringCore();

    int32_t length = 0;
    StringChunk *first = nullptr;
    StringChunk *last = nullptr;
    // The bytes of a chain of two or more chunks merged into one, made by
    // the first read that needs them contiguous. A read never replaces the
    // chain, which iterators of every sharer may be walking; the next change
    // of an unshared body makes this chunk its chain. Set once, by whichever
    // of two concurrent readers comes first.
    std::atomic<StringChunk *> merged{nullptr};
};

// Holds arbitrary bytes (zero bytes included). Copies share the body and
// the first change detaches.
//
// Const operations never change what a sharer can see: they do not merge
// the chain in place, so iterators and pointers obtained from any copy stay
// valid until the body changes, which only its last owner can do (a shared
// body is copied first). Mutable access (getStr, the mutable operator[],
// begin and find) counts as a change.
//
// Threads: copies of one string may be read, copied and destroyed in
// different threads at once (the reference count is atomic and reads write
// nothing the copies share). One String object is used by one thread at a
// time.
//
// Positions and lengths are 32-bit. No operation reads or writes outside its
// buffers: out-of-range positions and lengths on the string's own bytes are
// clamped; operator[] throws for an index outside the string.
class String : public SharedCore<String, StringCore> {
public:
    class iterator;

    // A position in the chain. Valid while it points at a chunk; begin() of
    // an empty string and end() are invalid. Invalid after any change.
    class const_iterator {
    public:
        const_iterator() = default;
        const_iterator(const StringChunk *pChunk, int32_t iIdx);
        const_iterator(const iterator &it) : pChunk(it.pChunk), iIdx(it.iIdx) {}

        bool isValid() const { return pChunk != nullptr; }
        // Throws ExceptionBase "Not a valid const_iterator." when invalid.
        char operator*() const;
        const_iterator &operator++();
        const_iterator operator++(int);
        bool operator==(const const_iterator &o) const {
            return pChunk == o.pChunk && (pChunk == nullptr || iIdx == o.iIdx);
        }
        bool operator!=(const const_iterator &o) const { return !(*this == o); }

    private:
        friend class String;
        const StringChunk *pChunk = nullptr;
        int32_t iIdx = 0;
    };

    class iterator {
    public:
        iterator() = default;
        iterator(StringChunk *pChunk, int32_t iIdx);

        bool isValid() const { return pChunk != nullptr; }
        // Throws ExceptionBase "Not a valid iterator." when invalid.
        char &operator*() const;
        iterator &operator++();
        iterator operator++(int);
        bool operator==(const iterator &o) const {
            return pChunk == o.pChunk && (pChunk == nullptr || iIdx == o.iIdx);
        }
        bool operator!=(const iterator &o) const { return !(*this == o); }

    private:
        friend class String;
        friend class const_iterator;
        StringChunk *pChunk = nullptr;
        int32_t iIdx = 0;
    };

    // Construction. A null text gives an empty string; a negative length of
    // a C text or a negative size counts as 0; a negative length of a
    // String means to its end.
    String();
    String(const char *s);
    String(const char *s, int len);
    String(const String &s) = default;
    String(const String &s, int len);
    String(const String &s, int start, int len);
    // `size` bytes in one chunk, meant to be written through getStr() (they
    // start out as zero bytes).
    explicit String(int size);
    explicit String(const_iterator from);
    String(const_iterator from, const_iterator to);
    ~String() override = default;

    String &operator=(const String &s) = default;
    String &operator=(const char *s);

    // clear(), then the matching append().
    void set(const char *s);
    void set(const char *s, int len);
    void set(const char *s, int start, int len);
    void set(const String &s);
    void set(const String &s, int len);
    void set(const String &s, int start, int len);
    void set(const_iterator from);
    void set(const_iterator from, const_iterator to);

    // Drops all bytes and leaves one chunk of n bytes (zero until written),
    // ready to be filled through getStr().
    void resetSize(int n);

    // Appending (each detaches first). Forms with a C text and a length copy
    // `len` bytes starting `start` bytes into the text: the caller guarantees
    // they exist; a negative start throws "Index out of range.". Forms with
    // a String clamp `start` and `len` to its bytes (len below 0: to the end).
    // The source may be this very string.
    void append(const char *s);
    void append(const char *s, int len) {
        // Small pieces that fit the last chunk of an unshared body are copied
        // here, without a call.
        StringChunk *pLast = core->last;
        if (s && len > 0 && pLast && len <= kTopUpLimit - pLast->length && isDetached() &&
            !hasMerged() && core->length <= INT32_MAX - len) {
            std::memcpy(pLast->data + pLast->length, s, size_t(len));
            pLast->length += len;
            pLast->data[pLast->length] = '\0';
            core->length += len;
            return;
        }
        appendSlow(s, len);
    }
    void append(const char *s, int start, int len);
    void append(char c) {
        StringChunk *pLast = core->last;
        if (pLast && pLast->length < kTopUpLimit && isDetached() && !hasMerged() &&
            core->length < INT32_MAX) {
            pLast->data[pLast->length++] = c;
            pLast->data[pLast->length] = '\0';
            ++core->length;
            return;
        }
        appendSlow(&c, 1);
    }
    void append(const String &s);
    void append(const String &s, int len);
    void append(const String &s, int start, int len);
    void append(const_iterator from);
    void append(const_iterator from, const_iterator to);

    String &operator+=(const char *s) {
        append(s);
        return *this;
    }
    String &operator+=(const String &s) {
        append(s);
        return *this;
    }
    String &operator+=(char c) {
        append(c);
        return *this;
    }
    // Appends the one byte at the iterator.
    String &operator+=(const_iterator it) {
        append(*it);
        return *this;
    }

    // Prepending puts one new chunk in front of the chain.
    void prepend(const String &s);
    void prepend(const char *s);
    void prepend(const char *s, int len);
    void prepend(char c);

    // pos <= 0 prepends, pos >= size appends.
    void insert(int pos, const char *s, int len);
    void insert(int pos, const String &s);
    void insert(int pos, const char *s);

    String operator+(const String &s) const;
    String operator+(const char *s) const;

    // Removing and resizing.
    void clear();
    // n below 0 counts as 0; bytes beyond the old size are zero.
    void setSize(int n);
    void remove(int start, int len);
    void trimFront(int n);
    void trimBack(int n);

    // Access.
    int getSize() const { return core->length; }
    bool isEmpty() const { return core->length == 0; }
    bool isSet() const { return core->first != nullptr; }
    bool isFlat() const { return core->first == core->last; }
    // Contiguous, zero-terminated bytes, valid until the next change.
    char *getStr();
    const char *getStr() const { return getConstStr(); }
    const char *getConstStr() const;
    // Throws ExceptionBase "Index out of range." outside 0 to size-1.
    char &operator[](int i);
    char operator[](int i) const;
    String getSubStr(int start, int len = -1) const;
    String getSubStr(const_iterator from, const_iterator to) const;

    iterator begin();
    const_iterator begin() const;
    const_iterator end() const { return const_iterator(); }

    // Searching and comparing. Against a C text, the bytes must agree up to
    // and including its zero byte; a null text equals only the empty string.
    bool operator==(const char *s) const;
    bool operator==(const String &s) const;
    bool operator!=(const char *s) const { return !(*this == s); }
    bool operator!=(const String &s) const { return !(*this == s); }
    // Byte-wise with bytes as signed 8-bit values; a proper prefix orders first.
    bool operator<(const String &s) const { return compare(s) < 0; }
    bool operator<=(const String &s) const { return compare(s) <= 0; }
    bool operator>(const String &s) const { return compare(s) > 0; }
    bool operator>=(const String &s) const { return compare(s) >= 0; }

    // The `len` bytes from `start` equal the first `len` bytes of `s`; false
    // when they are not all inside this string or the C text is shorter.
    bool compareSub(const char *s, int start, int len) const;
    // The same against a String (len below 0: all of it); false when either
    // is empty.
    bool compareSub(const String &s, int start, int len) const;
    int findIdx(char c, int start = 0) const;
    int findIdx(const char *s, int start = 0) const;
    int rfindIdx(const char *s) const;

    // First match at or after `from` (invalid: from the beginning), or the
    // invalid iterator. The chain is searched in place, never merged, so the
    // caller's other iterators stay valid. With a String needle, len below 0
    // or beyond its size means all of it.
    const_iterator find(char c, const_iterator from) const;
    const_iterator find(const char *s, int len, const_iterator from) const;
    const_iterator find(const String &s, const_iterator from) const;
    const_iterator find(const String &s, int len, const_iterator from) const;
    iterator find(char c, const_iterator from);
    iterator find(const char *s, int len, const_iterator from);
    iterator find(const String &s, const_iterator from);
    iterator find(const String &s, int len, const_iterator from);

    // False for an index outside the string.
    bool isWS(int i) const;
    bool isAlpha(int i) const;

    // Transforming: each returns a new string.
    String toLower() const;
    String toUpper() const;
    String trimWhitespace() const;
    String replace(const String &from, const String &to) const;
    List<String> split(char c) const;
    void debugPrint() const;

    // Numbered-argument formatting: String("%1 of %2").arg(3).arg(5) turns
    // into "3 of 5". Defined in ka/formatproxy.h, which callers include.
    class FormatProxy;
    template <typename T>
    FormatProxy arg(const T &value) const;

    // Appending tops up the last chunk to at most this many bytes; one more
    // byte of its buffer stays free for the terminating zero.
    static constexpr int32_t kTopUpLimit = 255;

private:
    // Detaches, then appends under the chunk rules.
    void appendSlow(const char *s, int len);
    bool hasMerged() const { return core->merged.load(std::memory_order_relaxed) != nullptr; }
    // Before a change: a private body whose chain may be changed in place
    // (a merged copy becomes the chain).
    void prepareChange();
    // Makes the (private) chain one chunk.
    void flatten();
    // The bytes as one zero-terminated run, without changing the chain.
    const char *contiguous() const;
    // Replaces the whole body by one chunk (freeing or releasing the old).
    void replaceChain(StringChunk *pChunk, int32_t length);
    void appendRaw(const char *s, int len);
    void prependChunk(StringChunk *pChunk);
    void insertChunk(int pos, StringChunk *pMiddle);
    int compare(const String &s) const;
    // Index of the byte an iterator of this string points at (-1 if none).
    int indexOf(const_iterator it) const;
    int findInChain(const char *s, int len, int start) const;
    iterator iteratorAt(int idx);
    // The mutable iterator at the same position (detaches first).
    iterator toMutable(const_iterator it);
    const_iterator constIteratorAt(int idx) const;
};

String operator+(const char *s, const String &t);

// Hashing and key comparison for Ka::Hash.
uint32_t __calcHashCode(const String &s);
bool __cmpHashKeys(const String &a, const String &b);
uint32_t __calcHashCode(const char *s);
bool __cmpHashKeys(const char *a, const char *b);
// The hash of `len` bytes (the formula shared by all string-like keys).
uint32_t hashBytes(const char *p, int len);

// Conversions from text; a text that does not parse leaves `out` unchanged.
bool &fromString(bool &out, const String &text);
unsigned char &fromString(unsigned char &out, const String &text);
signed char &fromString(signed char &out, const String &text);
char &fromString(char &out, const String &text);
unsigned short &fromString(unsigned short &out, const String &text);
short &fromString(short &out, const String &text);
unsigned int &fromString(unsigned int &out, const String &text);
int &fromString(int &out, const String &text);
unsigned long &fromString(unsigned long &out, const String &text);
long &fromString(long &out, const String &text);
unsigned long long &fromString(unsigned long long &out, const String &text);
long long &fromString(long long &out, const String &text);
float &fromString(float &out, const String &text);
double &fromString(double &out, const String &text);
long double &fromString(long double &out, const String &text);
String &fromString(String &out, const String &text);

} // namespace Ka
