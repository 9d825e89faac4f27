// Ka::List: a copy-on-write doubly linked list of values.
#pragma once

#include "ka/exception.h"
#include "ka/sharedcore.h"

#include <cstdint>
#include <new>

namespace Ka {

template <typename T>
struct ListLink {
    T *value; // a separately allocated copy of the element
    ListLink *next;
    ListLink *prev;
};

template <typename T>
class ListCore {
public:
    ListCore() = default;
    // A copy holds copies of every value, in order.
    ListCore(const ListCore &other) {
        try {
            for (ListLink<T> *p = other.first; p; p = p->next)
                append(*p->value);
        } catch (...) {
            clear();
            throw;
        }
    }
    ListCore &operator=(const ListCore &) = delete;
    virtual ~ListCore() { clear(); }

    void append(const T &value) {
        T *pValue = new T(value);
        ListLink<T> *pLink = new (std::nothrow) ListLink<T>{pValue, nullptr, last};
        if (!pLink) {
            delete pValue;
            throw std::bad_alloc();
        }
        if (last)
            last->next = pLink;
        else
            first = pLink;
        last = pLink;
        ++count;
    }
    void prepend(const T &value) {
        T *pValue = new T(value);
        ListLink<T> *pLink = new (std::nothrow) ListLink<T>{pValue, first, nullptr};
        if (!pLink) {
            delete pValue;
            throw std::bad_alloc();
        }
        if (first)
            first->prev = pLink;
        else
            last = pLink;
        first = pLink;
        ++count;
    }
    void unlink(ListLink<T> *pLink) {
        if (pLink->prev)
            pLink->prev->next = pLink->next;
        else
            first = pLink->next;
        if (pLink->next)
            pLink->next->prev = pLink->prev;
        else
            last = pLink->prev;
        delete pLink->value;
        delete pLink;
        --count;
    }
    void clear() {
        while (first)
            unlink(first);
    }

    ListLink<T> *first = nullptr;
    ListLink<T> *last = nullptr;
    int32_t count = 0;
};

// Copies share the body until one of them changes. Not thread-safe.
template <typename T>
class List : public SharedCore<List<T>, ListCore<T>> {
    using Base = SharedCore<List<T>, ListCore<T>>;
    using Base::core;
    using Base::detach;

public:
    class iterator {
    public:
        iterator() = default;
        explicit iterator(ListLink<T> *pLink) : pLink(pLink) {}
        bool isValid() const { return pLink != nullptr; }
        T &operator*() const {
            if (!pLink)
                throwInvalidIterator();
            return *pLink->value;
        }
        T *operator->() const { return &**this; }
        // Throws "Attempt to iterate past end of list." when already invalid.
        iterator &operator++() {
            if (!pLink)
                throwIteratePastEndOfList();
            pLink = pLink->next;
            return *this;
        }
        bool operator==(const iterator &o) const { return pLink == o.pLink; }
        bool operator!=(const iterator &o) const { return pLink != o.pLink; }

    private:
        friend class List;
        ListLink<T> *pLink = nullptr;
    };

    class const_iterator {
    public:
        const_iterator() = default;
        explicit const_iterator(const ListLink<T> *pLink) : pLink(pLink) {}
        const_iterator(const iterator &it) : pLink(it.pLink) {}
        bool isValid() const { return pLink != nullptr; }
        const T &operator*() const {
            if (!pLink)
                throw ExceptionBase("Not a valid const_iterator.");
            return *pLink->value;
        }
        const T *operator->() const { return &**this; }
        const_iterator &operator++() {
            if (!pLink)
                throwIteratePastEndOfList();
            pLink = pLink->next;
            return *this;
        }
        bool operator==(const const_iterator &o) const { return pLink == o.pLink; }
        bool operator!=(const const_iterator &o) const { return pLink != o.pLink; }

    private:
        const ListLink<T> *pLink = nullptr;
    };

    List() = default;
    List(const List &) = default;
    List &operator=(const List &) = default;
    ~List() override = default;

    void append(const T &value) {
        T copy(value); // the value may live in this very list
        detach();
        core->append(copy);
    }
    List &operator+=(const T &value) {
        append(value);
        return *this;
    }
    void prepend(const T &value) {
        T copy(value);
        detach();
        core->prepend(copy);
    }

    // Throws ExceptionBase "Attempt to read first element from empty list."
    T &first() {
        if (!core->first)
            throwEmptyListFirst();
        detach();
        return *core->first->value;
    }
    const T &first() const {
        if (!core->first)
            throwEmptyListFirst();
        return *core->first->value;
    }
    // The last value; an empty list throws ExceptionBase
    // "Attempt to read last element from empty list."
    T &last() {
        if (!core->last)
            throwEmptyListLast();
        detach();
        return *core->last->value;
    }
    const T &last() const {
        if (!core->last)
            throwEmptyListLast();
        return *core->last->value;
    }
    T takeFirst() {
        T value(first());
        core->unlink(core->first);
        return value;
    }

    // Removes the element at the iterator; an invalid iterator does nothing.
    void erase(iterator it) {
        if (!it.pLink)
            return;
        if (!this->isDetached()) {
            // The iterator points into the shared body: find the same
            // position in the private copy.
            int32_t idx = 0;
            ListLink<T> *p = core->first;
            while (p && p != it.pLink) {
                p = p->next;
                ++idx;
            }
            if (!p)
                return;
            detach();
            for (p = core->first; idx > 0; --idx)
                p = p->next;
            it.pLink = p;
        }
        core->unlink(it.pLink);
    }

    void clear() {
        if (core->count == 0)
            return;
        if (!this->isDetached())
            this->resetCore();
        else
            core->clear();
    }

    int getSize() const { return core->count; }
    bool isEmpty() const { return core->count == 0; }

    iterator begin() {
        detach();
        return iterator(core->first);
    }
    const_iterator begin() const { return const_iterator(core->first); }
    iterator end() { return iterator(); }
    const_iterator end() const { return const_iterator(); }
};

} // namespace Ka
