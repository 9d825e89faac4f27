// Copy-on-write sharing of a container's body between value-type shells.
#pragma once

#include <cstdint>

namespace Ka {

// Base of every shared container. Copies share one body (Core) and one
// reference count; a shell calls detach() before any change, which gives it
// a private copy when the body is shared. Core must have a virtual
// destructor. The reference count is a plain integer: a body shared between
// threads must be guarded by its owner.
//
// Shells may override the three core hooks; they are only called on a fully
// constructed shell (construction allocates a plain Core, destruction deletes
// through Core's virtual destructor).
template <typename Shell, typename Core>
class SharedCore {
public:
    SharedCore() : refCount(new int32_t(1)) {
        try {
            core = new Core;
        } catch (...) {
            delete refCount;
            throw;
        }
    }
    SharedCore(const SharedCore &other) : core(other.core), refCount(other.refCount) {
        ++*refCount;
    }
    SharedCore &operator=(const SharedCore &other) {
        if (core != other.core) {
            ++*other.refCount;
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
        if (--*refCount == 0) {
            delete core;
            delete refCount;
        }
    }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

    // True when this shell is the only owner of its body.
    bool isDetached() const {
        return *refCount == 1;
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
        if (*refCount == 1)
            return;
        int32_t *pCount = new int32_t(1);
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
        int32_t *pCount = new int32_t(1);
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
    int32_t *refCount = nullptr;

private:
    // Drops this shell's share; the last owner deletes the body.
    void release() {
        if (--*refCount == 0) {
            deleteCore(core);
            delete refCount;
        }
        core = nullptr;
        refCount = nullptr;
    }
};

} // namespace Ka
