// Ka::Mutex and Ka::MutexLocker: exclusion between threads and the locker's
// release and retake.
#include "ka/mutex.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <vector>

namespace {

// trylock from another thread: whether someone else holds the mutex.
bool heldElsewhere(Ka::Mutex &m) {
    int iResult = -1;
    std::thread t([&] {
        iResult = m.trylock();
        if (iResult == 0)
            m.unlock();
    });
    t.join();
    return iResult == EBUSY;
}

TEST(Mutex, TrylockReportsAHolder) {
    Ka::Mutex m;
    EXPECT_EQ(0, m.trylock());
    EXPECT_TRUE(heldElsewhere(m));
    m.unlock();
    EXPECT_FALSE(heldElsewhere(m));
    m.lock();
    EXPECT_TRUE(heldElsewhere(m));
    m.unlock();
}

TEST(Mutex, ExcludesConcurrentIncrements) {
    Ka::Mutex m;
    long iCounter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 50000; ++n) {
                Ka::MutexLocker locker(m);
                long v = iCounter;
                std::this_thread::yield();
                iCounter = v + 1;
                if (n % 10000 == 0)
                    std::this_thread::yield();
            }
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(200000, iCounter);
}

TEST(MutexLocker, HoldsForItsScope) {
    Ka::Mutex m;
    {
        Ka::MutexLocker locker(m);
        EXPECT_TRUE(heldElsewhere(m));
        locker.unlock();
        EXPECT_FALSE(heldElsewhere(m));
        locker.relock();
        EXPECT_TRUE(heldElsewhere(m));
        locker.relock(); // already held: must not deadlock
    }
    EXPECT_FALSE(heldElsewhere(m));
}

// A locker that was unlocked must not unlock at its end what is now
// someone else's hold.
TEST(MutexLocker, UnlockedLockerLeavesOthersHold) {
    Ka::Mutex m;
    {
        Ka::MutexLocker locker(m);
        locker.unlock();
        locker.unlock();
        m.lock(); // taken directly, not through the locker
    }
    EXPECT_TRUE(heldElsewhere(m));
    m.unlock();
}

} // namespace
