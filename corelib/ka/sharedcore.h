// Copy-on-write sharing of a container's body between value-type shells.
#pragma once

#include <atomic>
#include <cstdint>

namespace Ka {

// Base of every shared container. Copies share one body (Core) and one
// reference count; a shell calls detach() before any change, which gives it
// a private copy when the body is shared. Core must have a virtual
// destructor.
//
// Threads: the reference count is atomic, so copies of one body may be
// made, read and destroyed in different threads at once (the sync thread and
// the GUI thread pass strings to each other). One shell object is still used
// by one thread at a time, and a shell that changes its body must not share
// it (detach() sees to that).
//
// Shells may override the three core hooks; they are only called on a fully
// constructed shell (construction allocates a plain Core, destruction deletes
// through Core's virtual destructor).
template <typename Shell, typename Core>
class SharedCore {
public:
    SharedCore() : refCount(new std::atomic<int32_t>(1)) {
        try {
            core = new Core;
        } catch (...) {
            delete refCount;
            throw;
        }
    }
    SharedCore(const SharedCore &other) : core(other.core), refCount(other.refCount) {
        refCount->fetch_add(1, std::memory_order_relaxed);
    }
    SharedCore &operator=(const SharedCore &other) {
        if (core != other.core) {
            other.refCount->fetch_add(1, std::memory_order_relaxed);
            release();
            core = other.core;
            refCount = other.refCount;
        }
        return *this;
    }
// GCC 12 loses track of which shell's count is decremented when two shells
// of one body die in one inlined function and warns of a use after free.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    virtual ~SharedCore() {
        if (refCount->fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete core;
            delete refCount;
        }
    }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

    // True when this shell is the only owner of its body.
    // Acquire: what the other sharers did with the body happened before a
    // change that follows.
    bool isDetached() const {
        return refCount->load(std::memory_order_acquire) == 1;
    }
    bool sharesCoreWith(const SharedCore &other) const {
        return core == other.core;
    }

protected:
    virtual Core *allocateCore() const {
        return new Core;
    }
    virtual Core *copyCore(const Core *pSource) const {
        return new Core(*pSource);
    }
    virtual void deleteCore(Core *pCore) const {
        delete pCore;
    }

    // Gives this shell a private body; the copy is made before the old body
    // is let go, so a failing copy leaves the shell unchanged.
    void detach() {
        if (isDetached())
            return;
        auto *pCount = new std::atomic<int32_t>(1);
        Core *pCopy;
        try {
            pCopy = copyCore(core);
        } catch (...) {
            delete pCount;
            throw;
        }
        release();
        core = pCopy;
        refCount = pCount;
    }

    // Replaces the body by a new empty one (others keep the old body).
    void resetCore() {
        auto *pCount = new std::atomic<int32_t>(1);
        Core *pNew;
        try {
            pNew = allocateCore();
        } catch (...) {
            delete pCount;
            throw;
        }
        release();
        core = pNew;
        refCount = pCount;
    }

    Core *core = nullptr;
    std::atomic<int32_t> *refCount = nullptr;

private:
    // Drops this shell's share; the last owner deletes the body.
    void release() {
        if (refCount->fetch_sub(1, std::memory_order_acq_rel) == 1) {
            deleteCore(core);
            delete refCount;
        }
        core = nullptr;
        refCount = nullptr;
    }
};

} // namespace Ka
