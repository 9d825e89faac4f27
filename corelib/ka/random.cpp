// Ka::Random: the locked forwarding to the installed generator.
#include "ka/random.h"

#include "ka/randombasic.h"

namespace Ka {

Random::Random() : generator(new RandomBasic) {}

Random::~Random() {
    delete generator;
}

void Random::seed(int iSeed) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    r.generator->seed(iSeed);
}

uint32_t Random::rand() {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->rand();
}

int Random::randMax(int iMax) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randMax(iMax);
}

int Random::randRange(int iMin, int iMax) {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randRange(iMin, iMax);
}

double Random::randUnit() {
    Random &r = getInstance();
    MutexLocker locker(r.mGenerator);
    return r.generator->randUnit();
}

} // namespace Ka
