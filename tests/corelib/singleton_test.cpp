// Ka::Singleton: one instance, built once even when first asked for by many threads.
#include "ka/singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

std::atomic<int> iBuilt{0};

class Slow : public Ka::Singleton<Slow> {
public:
    int iValue;

private:
    friend class Ka::Singleton<Slow>;
    // Slow to build, so that racing first calls overlap the construction.
    Slow() : iValue(0) {
        ++iBuilt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        iValue = 42;
    }
};

class Other : public Ka::Singleton<Other> {
    friend class Ka::Singleton<Other>;
    Other() = default;
    int iPad = 0;
};

TEST(Singleton, ConcurrentFirstCallsBuildOnce) {
    const int iThreads = 8;
    std::atomic<bool> bGo{false};
    std::vector<Slow *> seen(iThreads, nullptr);
    std::vector<int> values(iThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < iThreads; ++t)
        threads.emplace_back([&, t] {
            while (!bGo)
                std::this_thread::yield();
            Slow &s = Slow::getInstance();
            seen[t] = &s;
            values[t] = s.iValue; // never a half-built instance
        });
    bGo = true;
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(1, iBuilt.load());
    for (int t = 0; t < iThreads; ++t) {
        EXPECT_EQ(seen[0], seen[t]);
        EXPECT_EQ(42, values[t]);
    }
    EXPECT_EQ(seen[0], &Slow::getInstance());
    EXPECT_EQ(1, iBuilt.load());
}

TEST(Singleton, OneInstancePerType) {
    EXPECT_EQ(&Other::getInstance(), &Other::getInstance());
    EXPECT_NE(static_cast<void *>(&Other::getInstance()),
              static_cast<void *>(&Slow::getInstance()));
}

} // namespace
