// Ka::Array: a copy-on-write growable array that grows by a fixed step.
#pragma once

#include "ka/exception.h"
#include "ka/sharedcore.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace Ka {

// The shared body of an array: storage for `capacity` elements, of which the
// first `size` are constructed.
template <typename T, int Step>
class ArrayCore {
public:
    ArrayCore() = default;
    // A copy keeps the capacity and copies every element.
    ArrayCore(const ArrayCore &other) {
        if (other.capacity == 0)
            return;
        T *pNew = allocate(other.capacity);
        try {
            std::uninitialized_copy(other.data, other.data + other.size, pNew);
        } catch (...) {
            deallocate(pNew, other.capacity);
            throw;
        }
        data = pNew;
        size = other.size;
        capacity = other.capacity;
    }
    ArrayCore &operator=(const ArrayCore &) = delete;
    virtual ~ArrayCore() { clear(); }

    // Moves the elements into new storage for `n` places (n >= size). When
    // moving an element could throw it is copied, so a failure leaves the
    // array as it was.
    void reallocate(int32_t n) {
        T *pNew = allocate(n);
        if constexpr (std::is_trivially_copyable_v<T>) {
            if (size > 0)
                std::memcpy(static_cast<void *>(pNew), data, sizeof(T) * size_t(size));
        } else {
            int32_t i = 0;
            try {
                for (; i < size; ++i)
                    new (pNew + i) T(std::move_if_noexcept(data[i]));
            } catch (...) {
                std::destroy(pNew, pNew + i);
                deallocate(pNew, n);
                throw;
            }
        }
        std::destroy(data, data + size);
        deallocate(data, capacity);
        data = pNew;
        capacity = n;
    }

    // Destroys every element and frees the storage.
    void clear() {
        std::destroy(data, data + size);
        deallocate(data, capacity);
        data = nullptr;
        size = capacity = 0;
    }

    T *data = nullptr;
    int32_t size = 0;
    int32_t capacity = 0;

private:
    static T *allocate(int32_t n) { return std::allocator<T>().allocate(size_t(n)); }
    static void deallocate(T *p, int32_t n) {
        if (p)
            std::allocator<T>().deallocate(p, size_t(n));
    }
};

// A growable array of values. It grows by `Step` places at a time (10 in
// every use), not geometrically: callers that know the final size reserve it
// with setCapacity. Copies share the body until one of them changes; an
// iterator holds the array and an index and is invalid after any change.
// Not thread-safe.
template <typename T, int Step = 10>
class Array : public SharedCore<Array<T, Step>, ArrayCore<T, Step>> {
    using Base = SharedCore<Array<T, Step>, ArrayCore<T, Step>>;
    using Base::core;
    using Base::detach;

public:
    static_assert(Step > 0, "an array must grow by at least one place");

    // Index -1 means finished; begin() of an empty array and end() are
    // finished. A mutable iterator converts to a const one.
    template <bool bConst>
    class Iterator {
        using ArrayPtr = std::conditional_t<bConst, const Array *, Array *>;
        using Value = std::conditional_t<bConst, const T, T>;

    public:
        Iterator() = default;
        Iterator(ArrayPtr pArray, int32_t iIdx) : pArray(pArray), iIdx(iIdx) {}
        template <bool bOther>
        requires(bConst && !bOther) Iterator(const Iterator<bOther> &it)
            : pArray(it.pArray), iIdx(it.iIdx) {}

        bool isValid() const { return iIdx >= 0; }
        // Throws ArrayException "Cannot dereference finished iterator.".
        Value &operator*() const {
            if (iIdx < 0)
                throwFinishedDereference();
            return (*pArray)[iIdx];
        }
        Value *operator->() const { return &**this; }
        // Throws ArrayException "Cannot increment iterator past end of
        // array."; moving past the last element finishes the iterator.
        Iterator &operator++() {
            if (iIdx < 0)
                throwFinishedIncrement();
            if (++iIdx >= pArray->getSize())
                iIdx = -1;
            return *this;
        }
        bool operator==(const Iterator &o) const {
            return iIdx == o.iIdx && (iIdx < 0 || pArray == o.pArray);
        }
        bool operator!=(const Iterator &o) const { return !(*this == o); }

    private:
        friend class Array;
        template <bool>
        friend class Iterator;
        ArrayPtr pArray = nullptr;
        int32_t iIdx = -1;
    };
    using iterator = Iterator<false>;
    using const_iterator = Iterator<true>;

    Array() = default;
    // Reserves `iCapacity` places (none when it is not positive).
    explicit Array(int iCapacity) {
        if (iCapacity > 0)
            core->reallocate(iCapacity);
    }
    Array(const Array &) = default;
    Array &operator=(const Array &) = default;
    ~Array() override = default;

    // The value may be an element of this very array.
    void append(const T &value) {
        detach();
        if (core->size == core->capacity) {
            T copy(value);
            grow();
            new (core->data + core->size) T(std::move(copy));
        } else {
            new (core->data + core->size) T(value);
        }
        ++core->size;
    }

    // Puts the value in front of the iterator's element; the finished
    // iterator appends. An index beyond the end throws ArrayException
    // "Index %d out of range 0:%d".
    void insert(const_iterator it, const T &value) {
        int32_t pos = it.iIdx;
        if (pos < 0 || pos == core->size) {
            append(value);
            return;
        }
        if (pos > core->size)
            throwArrayIndex(pos, core->size);
        T copy(value);
        detach();
        if (core->size == core->capacity)
            grow();
        T *p = core->data;
        int32_t last = core->size - 1;
        new (p + last + 1) T(std::move(p[last]));
        ++core->size;
        for (int32_t i = last; i > pos; --i)
            p[i] = std::move(p[i - 1]);
        p[pos] = std::move(copy);
    }

    // Removes the iterator's element; the finished iterator does nothing.
    void erase(const_iterator it) {
        if (it.iIdx < 0)
            return;
        if (it.iIdx >= core->size)
            throwArrayIndex(it.iIdx, core->size);
        detach();
        T *p = core->data;
        for (int32_t i = it.iIdx; i + 1 < core->size; ++i)
            p[i] = std::move(p[i + 1]);
        std::destroy_at(p + core->size - 1);
        --core->size;
    }
    // Removes the last element; an empty array stays empty.
    void eraseLast() {
        if (core->size == 0)
            return;
        detach();
        std::destroy_at(core->data + core->size - 1);
        --core->size;
    }

    // Throws ArrayException "Index %d out of range 0:%d" (index and size).
    T &operator[](int i) {
        if (i < 0 || i >= core->size)
            throwArrayIndex(i, core->size);
        detach();
        return core->data[i];
    }
    const T &operator[](int i) const {
        if (i < 0 || i >= core->size)
            throwArrayIndex(i, core->size);
        return core->data[i];
    }
    // The last element; an empty array throws like operator[] (index -1).
    T &last() { return (*this)[core->size - 1]; }
    const T &last() const { return (*this)[core->size - 1]; }

    // Only ever grows the storage.
    void setCapacity(int n) {
        if (n <= core->capacity)
            return;
        detach();
        core->reallocate(n);
    }

    // Destroys all elements and frees the storage.
    void clear() {
        if (!this->isDetached())
            this->resetCore();
        else
            core->clear();
    }

    int getSize() const { return core->size; }
    bool isEmpty() const { return core->size == 0; }
    int getCapacity() const { return core->capacity; }

    iterator begin() { return iterator(this, core->size > 0 ? 0 : -1); }
    const_iterator begin() const { return const_iterator(this, core->size > 0 ? 0 : -1); }
    iterator end() { return iterator(this, -1); }
    const_iterator end() const { return const_iterator(this, -1); }

private:
    void grow() {
        if (core->capacity > INT32_MAX - Step)
            throwArrayTooLarge();
        core->reallocate(core->capacity + Step);
    }
};

} // namespace Ka
