// Ka::Random: the process-wide random source with an exchangeable generator.
#pragma once

#include "ka/mutex.h"
#include "ka/randombase.h"
#include "ka/singleton.h"

#include <cstddef>
#include <cstdint>

namespace Ka {

// Every static operation applies to the one installed generator, a
// Ka::RandomBasic until setGenerator() installs another. Start-up installs
// a Ka::RandomCmwc and seeds it before anything draws numbers.
//
// Thread safety: all operations, setGenerator() included, are serialised by
// one mutex, so threads may draw concurrently; the values each thread gets
// then depend on the interleaving. The generators are not for cryptographic
// use: values that must differ between runs and be hard to guess
// (identifiers, the vault's random prefixes and check words) come from the
// kernel through systemBytes() and systemRand().
class Random : public Singleton<Random> {
public:
    // Fills n bytes from the kernel's random source (getrandom, or
    // /dev/urandom where the call is refused), whatever generator is
    // installed. Throws ExceptionBase when neither can be read. Thread-safe.
    static void systemBytes(void *pBuf, size_t n);
    static uint32_t systemRand();

    static void seed(int iSeed);
    static uint32_t rand();
    static int randMax(int iMax);
    static int randRange(int iMin, int iMax);
    static double randUnit();

    // Deletes the installed generator and installs a new T (unseeded).
    template <typename T>
    static void setGenerator() {
        Random &r = getInstance();
        RandomBase *pNew = new T;
        MutexLocker locker(r.mGenerator);
        delete r.generator;
        r.generator = pNew;
    }

private:
    friend class Singleton<Random>;
    Random();
    ~Random();

    // The mutex comes first so that a failing mutex cannot leak a generator.
    Mutex mGenerator;
    RandomBase *generator;
};

} // namespace Ka
