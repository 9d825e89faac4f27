// Ka::Singleton: one lazily built instance per type, destroyed at program exit.
#pragma once

namespace Ka {

// Base for classes that exist once per process. getInstance() builds the
// instance on its first call; concurrent first calls from several threads
// build it exactly once and all wait for it to be complete (the guarantee of
// a function-local static). The instance lives until static destruction at
// program exit, so it must not be used from other static destructors.
//
// T must be default-constructible by Singleton<T>: either public, or private
// with `friend class Ka::Singleton<T>`. The instance itself is not locked;
// thread safety of its members is T's business. Copies are not allowed, so
// the one instance cannot be duplicated by accident.
template <typename T>
class Singleton {
public:
    static T &getInstance() {
        static T instance;
        return instance;
    }

    Singleton(const Singleton &) = delete;
    Singleton &operator=(const Singleton &) = delete;

protected:
    Singleton() = default;
    ~Singleton() = default;
};

} // namespace Ka
