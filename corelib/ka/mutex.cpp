// Ka::Mutex and Ka::MutexLocker over pthreads.
#include "ka/mutex.h"

#include "ka/exception.h"

#include <cstring>

namespace Ka {

Mutex::Mutex() {
    int iResult = pthread_mutex_init(&mutex, nullptr);
    if (iResult != 0)
        throw ExceptionBase(iResult, "mutex creation failed: %s", std::strerror(iResult));
}

Mutex::~Mutex() {
    pthread_mutex_destroy(&mutex);
}

void Mutex::lock() {
    pthread_mutex_lock(&mutex);
}

void Mutex::unlock() {
    pthread_mutex_unlock(&mutex);
}

int Mutex::trylock() {
    return pthread_mutex_trylock(&mutex);
}

MutexLocker::MutexLocker(Mutex &rMutex) : rMutex(rMutex), bLocked(false) {
    relock();
}

MutexLocker::~MutexLocker() {
    unlock();
}

void MutexLocker::unlock() {
    if (!bLocked)
        return;
    rMutex.unlock();
    bLocked = false;
}

void MutexLocker::relock() {
    if (bLocked)
        return;
    rMutex.lock();
    bLocked = true;
}

} // namespace Ka
