// Ka::Mutex and Ka::MutexLocker: the library's lock, over a POSIX threads mutex.
#pragma once

#include <pthread.h>

namespace Ka {

// A non-recursive mutex with default attributes. Locking it twice from the
// same thread deadlocks; unlocking it from a thread that does not hold it is
// a caller error. Not copyable. The destructor must not run while the mutex
// is held or waited for.
class Mutex {
public:
    // Throws ExceptionBase when the platform cannot create the mutex.
    Mutex();
    ~Mutex();
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;

    void lock();
    void unlock();
    // Takes the mutex when it is free. Returns the platform's result code:
    // 0 when the lock was taken, EBUSY when another holder has it.
    int trylock();

private:
    pthread_mutex_t mutex;
};

// Holds a mutex for a scope: locks at construction, unlocks at destruction.
// unlock() and relock() release and retake it in between; each is a no-op
// when the locker is already in the requested state, so the destructor never
// unlocks a mutex the locker does not hold. The mutex must outlive the locker.
class MutexLocker {
public:
    explicit MutexLocker(Mutex &rMutex);
    virtual ~MutexLocker();
    MutexLocker(const MutexLocker &) = delete;
    MutexLocker &operator=(const MutexLocker &) = delete;

    void unlock();
    void relock();

private:
    Mutex &rMutex;
    bool bLocked;
};

} // namespace Ka
