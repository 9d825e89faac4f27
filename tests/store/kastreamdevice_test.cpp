// KaStreamDevice: reads that take no more than asked, counts clamped to the
// stream's range, the stream left to its owner, exceptions passed through.
#include "store/kastreamdevice.h"

#include "ka/deflate.h"
#include "ka/exception.h"
#include "ka/membuf.h"
#include "support/bytes.h"
#include "support/failingstream.h"
#include "vrel/vrel.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

namespace {

constexpr auto &kstr = support::toKa;
constexpr auto &str = support::toStd;

// Records the counts it is asked for and moves no bytes.
class CountingStream : public Ka::MemBuf {
public:
    using Ka::MemBuf::write;
    int read(void *, int nBytes) override {
        iLastCount = nBytes;
        return 0;
    }
    int write(const void *, int nBytes) override {
        iLastCount = nBytes;
        return 0;
    }
    int iLastCount = -1;
};

// Lets the test call the protected transfer functions with any count.
class OpenDevice : public KaStreamDevice {
public:
    using KaStreamDevice::KaStreamDevice;
    using KaStreamDevice::readData;
    using KaStreamDevice::writeData;
};

std::string vrelBytes(const Vrel::Object &rObject) {
    Ka::MemBuf buf;
    KaStreamDevice dev(buf, QIODevice::WriteOnly);
    Vrel::VrelStream(&dev).writeObject(&rObject);
    return str(buf.getString());
}

TEST(KaStreamDevice, ShortReadThenEndOfData) {
    Ka::MemBuf buf(kstr("abcde"));
    KaStreamDevice dev(buf, QIODevice::ReadOnly);
    EXPECT_TRUE(dev.isOpen());
    EXPECT_TRUE(dev.isSequential());
    char aBuf[16];
    EXPECT_EQ(dev.read(aBuf, sizeof aBuf), 5);
    EXPECT_EQ(std::string(aBuf, 5), "abcde");
    EXPECT_EQ(dev.read(aBuf, sizeof aBuf), 0);
}

// The vault header keeps its note table right after the dictionary, in one
// decompressed stream: the device must not take a byte more than the reader.
TEST(KaStreamDevice, ObjectReadLeavesTheFollowingBytes) {
    Vrel::Dictionary dict;
    dict.insert("name", "Ada");
    const std::string sTail = "\x01\x02TAIL-BYTES";
    Ka::MemBuf packed;
    {
        Ka::Deflate deflate(packed, 9, Ka::Deflate::Zlib);
        deflate.write(kstr(vrelBytes(dict) + sTail));
        deflate.stop();
    }
    packed.setPos(0);
    Ka::Deflate inflate(packed, 9, Ka::Deflate::Zlib | Ka::Deflate::AutoDetect);
    {
        KaStreamDevice dev(inflate, QIODevice::ReadOnly);
        std::unique_ptr<Vrel::Object> pBack(Vrel::VrelStream(&dev).readObject());
        auto *pDict = dynamic_cast<Vrel::Dictionary *>(pBack.get());
        ASSERT_NE(pDict, nullptr);
        EXPECT_EQ(pDict->valueStr("name"), "Ada");
    }
    // The device is gone; the stream stays open where the object ended.
    char aRest[64];
    const int n = inflate.read(aRest, sizeof aRest);
    EXPECT_EQ(std::string(aRest, size_t(n)), sTail);
}

TEST(KaStreamDevice, WritesReachTheStreamAndLeaveItOpen) {
    Ka::MemBuf buf;
    {
        KaStreamDevice dev(buf, QIODevice::WriteOnly);
        EXPECT_EQ(dev.write("hello", 5), 5);
    }
    buf.write("!", 1);
    EXPECT_EQ(str(buf.getString()), "hello!");
}

TEST(KaStreamDevice, CountsBeyondThirtyTwoBitsAreClamped) {
    CountingStream stream;
    OpenDevice dev(stream, QIODevice::ReadWrite);
    char aByte[1] = {};
    dev.readData(aByte, (qint64(1) << 32) + 5);
    EXPECT_EQ(stream.iLastCount, INT_MAX);
    dev.writeData(aByte, (qint64(1) << 32) + 5);
    EXPECT_EQ(stream.iLastCount, INT_MAX);
    dev.readData(aByte, qint64(INT_MAX) + 1);
    EXPECT_EQ(stream.iLastCount, INT_MAX);
    dev.writeData(aByte, 3);
    EXPECT_EQ(stream.iLastCount, 3);
}

// A failing stream below a reader surfaces as its own Ka exception.
TEST(KaStreamDevice, StreamExceptionsPassThrough) {
    Vrel::Dictionary dict;
    dict.insert("data", QByteArray(100, 'x'));
    Ka::MemBuf buf(kstr(vrelBytes(dict)));
    support::FailingStream failing(buf, -1, 20);
    KaStreamDevice dev(failing, QIODevice::ReadOnly);
    Vrel::VrelStream vs(&dev);
    EXPECT_THROW(delete vs.readObject(), Ka::FileException);
}

} // namespace
