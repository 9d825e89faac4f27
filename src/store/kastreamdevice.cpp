// KaStreamDevice: a Qt I/O device over a Ka::Stream.
#include "store/kastreamdevice.h"

#include <algorithm>
#include <climits>

namespace {

// The stream counts in int; a larger request becomes a shorter one rather
// than a truncated or negative count.
int clampCount(qint64 iCount) {
    return int(std::clamp<qint64>(iCount, 0, INT_MAX));
}

} // namespace

KaStreamDevice::KaStreamDevice(Ka::Stream &rStream, QIODevice::OpenMode eMode, QObject *pParent)
    : QIODevice(pParent), rStream(rStream) {
    open(eMode | QIODevice::Unbuffered);
}

KaStreamDevice::~KaStreamDevice() = default;

bool KaStreamDevice::isSequential() const {
    return true;
}

qint64 KaStreamDevice::readData(char *pData, qint64 iMaxSize) {
    return rStream.read(pData, clampCount(iMaxSize));
}

qint64 KaStreamDevice::writeData(const char *pData, qint64 iMaxSize) {
    return rStream.write(pData, clampCount(iMaxSize));
}
