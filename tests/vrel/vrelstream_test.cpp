// Vrel::VrelStream: the exact bytes of every kind, round trips, the rules for
// fill bytes and the end of data, and every way bad bytes or devices fail.
#include "testsupport.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QPointer>
#include <QtEndian>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>

// Present when the sanitizer runtime is linked in (always under ctest).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*pMallocHook)(const volatile void *,
                                                                             std::size_t),
                                                         void (*pFreeHook)(const volatile void *))
    __attribute__((weak));

namespace {

using VrelTest::decode;
using VrelTest::encode;
using VrelTest::hex;
using VrelTest::TestDevice;

// Hand-built answers, from the format table.
TEST(VrelStreamBytes, Scalars) {
    Vrel::Integer one(1), minusTwo(-2), mixed(0x0102030405060708LL);
    Vrel::Integer lowest(std::numeric_limits<qint64>::min());
    Vrel::Integer highest(std::numeric_limits<qint64>::max());
    EXPECT_EQ(hex("01 01 00 00 00 00 00 00 00"), encode(&one));
    EXPECT_EQ(hex("01 fe ff ff ff ff ff ff ff"), encode(&minusTwo));
    EXPECT_EQ(hex("01 08 07 06 05 04 03 02 01"), encode(&mixed));
    EXPECT_EQ(hex("01 00 00 00 00 00 00 00 80"), encode(&lowest));
    EXPECT_EQ(hex("01 ff ff ff ff ff ff ff 7f"), encode(&highest));

    Vrel::String abc("abc"), empty(""), zero(QByteArray("a\0b", 3));
    EXPECT_EQ(hex("02 03 00 00 00 61 62 63"), encode(&abc));
    EXPECT_EQ(hex("02 00 00 00 00"), encode(&empty));
    EXPECT_EQ(hex("02 03 00 00 00 61 00 62"), encode(&zero));

    Vrel::Boolean no(false), yes(true);
    EXPECT_EQ(hex("03"), encode(&no));
    EXPECT_EQ(hex("04"), encode(&yes));
    EXPECT_EQ(hex("00"), encode(nullptr));
}

TEST(VrelStreamBytes, Containers) {
    Vrel::List list;
    EXPECT_EQ(hex("05 00 00 00 00"), encode(&list));
    list.append(new Vrel::Integer(1));
    list.append(new Vrel::String("a"));
    list.append(new Vrel::Boolean(true));
    EXPECT_EQ(hex("05 03 00 00 00  01 01 00 00 00 00 00 00 00  02 01 00 00 00 61  04"),
              encode(&list));

    Vrel::Dictionary dict;
    EXPECT_EQ(hex("06 00 00 00 00"), encode(&dict));
    dict.insert("name", "Ada");
    dict.insert("age", 36);
    dict.insert("ok", new Vrel::Boolean(true));
    EXPECT_EQ(hex("06 03 00 00 00"
                  "  03 00 00 00 61 67 65  01 24 00 00 00 00 00 00 00"
                  "  04 00 00 00 6e 61 6d 65  02 03 00 00 00 41 64 61"
                  "  02 00 00 00 6f 6b  04"),
              encode(&dict));
}

// Keys go in ascending order of their unsigned bytes; a prefix comes first.
TEST(VrelStreamBytes, KeyOrder) {
    Vrel::Dictionary dict;
    for (const char *sKey : {"b", "\x80", "ab", "", "\x7f", "a"})
        dict.insert(sKey, new Vrel::Boolean(false));
    EXPECT_EQ(hex("06 06 00 00 00  00 00 00 00 03  01 00 00 00 61 03  02 00 00 00 61 62 03"
                  "  01 00 00 00 62 03  01 00 00 00 7f 03  01 00 00 00 80 03"),
              encode(&dict));
}

TEST(VrelStreamBytes, SameDictionarySameBytes) {
    Vrel::Dictionary forward, backward;
    for (int i = 0; i < 200; ++i) {
        forward.insert(QByteArray::number(i), i);
        backward.insert(QByteArray::number(199 - i), 199 - i);
    }
    EXPECT_EQ(encode(&forward), encode(&backward));
}

std::unique_ptr<Vrel::Dictionary> sample() {
    auto pDict = std::make_unique<Vrel::Dictionary>();
    pDict->insert("data", QByteArray("<p>caf\xc3\xa9</p>\0tail", 17));
    pDict->insert("remoteVersion", new Vrel::Integer(-(1LL << 40)));
    auto *pDeletes = new Vrel::List;
    pDeletes->append(new Vrel::String(QByteArray(16, '\x01')));
    pDeletes->append(new Vrel::Boolean(false));
    pDeletes->append(new Vrel::Dictionary);
    pDict->insert("deletes", pDeletes);
    return pDict;
}

TEST(VrelStreamRoundTrip, NestedValue) {
    const QByteArray baOnce = encode(sample().get());
    std::unique_ptr<Vrel::Object> pBack = decode(baOnce);
    auto *pDict = dynamic_cast<Vrel::Dictionary *>(pBack.get());
    ASSERT_NE(nullptr, pDict);
    EXPECT_EQ(QByteArray("<p>caf\xc3\xa9</p>\0tail", 17), pDict->valueStr("data"));
    EXPECT_EQ(-(1LL << 40), pDict->valueInt("remoteVersion"));
    ASSERT_NE(nullptr, pDict->valueList("deletes"));
    EXPECT_EQ(3, pDict->valueList("deletes")->size());
    EXPECT_EQ(baOnce, encode(pBack.get()));
}

// Longer than one read piece and one write batch, so both take their long paths.
TEST(VrelStreamRoundTrip, LongStringThroughSmallPieces) {
    QByteArray baLong(200 * 1024 + 3, '\0');
    for (int i = 0; i < baLong.size(); ++i)
        baLong[i] = char(i * 7 + i / 251);
    Vrel::List list;
    list.append(new Vrel::Integer(5));
    list.append(new Vrel::String(baLong));
    list.append(new Vrel::Boolean(true));

    TestDevice written;
    Vrel::VrelStream(&written).writeObject(&list);
    const QByteArray baBytes = encode(&list);
    EXPECT_EQ(baBytes, written.written());
    ASSERT_EQ(5 + 9 + 5 + baLong.size() + 1, baBytes.size());

    TestDevice source(baBytes, 1000);
    std::unique_ptr<Vrel::Object> pBack(Vrel::VrelStream(&source).readObject());
    auto *pList = dynamic_cast<Vrel::List *>(pBack.get());
    ASSERT_NE(nullptr, pList);
    ASSERT_EQ(3, pList->size());
    EXPECT_EQ(baLong, *dynamic_cast<Vrel::String *>(pList->at(1)));
}

TEST(VrelStreamRead, OneBytePerRead) {
    const QByteArray baBytes = encode(sample().get());
    TestDevice source(baBytes, 1);
    std::unique_ptr<Vrel::Object> pBack(Vrel::VrelStream(&source).readObject());
    ASSERT_NE(nullptr, pBack);
    EXPECT_EQ(baBytes, encode(pBack.get()));
}

// The vault header keeps more data after its dictionary in the same stream.
TEST(VrelStreamRead, LeavesTheFollowingBytes) {
    const QByteArray baValue = encode(sample().get());
    TestDevice source(baValue + "TAIL", 3);
    Vrel::VrelStream stream(&source);
    std::unique_ptr<Vrel::Object> pBack(stream.readObject());
    ASSERT_NE(nullptr, pBack);
    EXPECT_EQ(baValue.size(), source.taken());
    EXPECT_EQ("TAIL", source.rest());
}

TEST(VrelStreamRead, FillBytesAndEnd) {
    TestDevice source(hex("00 00 04 00"));
    Vrel::VrelStream stream(&source);
    EXPECT_EQ(nullptr, stream.readObject());
    EXPECT_FALSE(stream.atEnd());
    EXPECT_EQ(1, source.taken());
    EXPECT_EQ(nullptr, stream.readObject());
    std::unique_ptr<Vrel::Object> pValue(stream.readObject());
    ASSERT_NE(nullptr, dynamic_cast<Vrel::Boolean *>(pValue.get()));
    EXPECT_TRUE(static_cast<Vrel::Boolean *>(pValue.get())->getValue());
    EXPECT_EQ(nullptr, stream.readObject());
    EXPECT_FALSE(stream.atEnd());
    EXPECT_EQ(nullptr, stream.readObject());
    EXPECT_TRUE(stream.atEnd());
    EXPECT_EQ(nullptr, stream.readObject());
    EXPECT_TRUE(stream.atEnd());
}

// Other writers need not sort; a repeated key keeps the last value (the
// earlier one is deleted, which the leak checker watches).
TEST(VrelStreamRead, UnsortedAndRepeatedKeys) {
    std::unique_ptr<Vrel::Object> pBack =
        decode(hex("06 03 00 00 00  01 00 00 00 62 02 01 00 00 00 78"
                   "  01 00 00 00 61 04  01 00 00 00 62 03"));
    auto *pDict = dynamic_cast<Vrel::Dictionary *>(pBack.get());
    ASSERT_NE(nullptr, pDict);
    EXPECT_EQ(2, pDict->size());
    EXPECT_TRUE(pDict->valueBool("a"));
    ASSERT_NE(nullptr, dynamic_cast<Vrel::Boolean *>(pDict->value("b")));
}

void expectFormatError(const QByteArray &baBytes, const char *sProblem) {
    SCOPED_TRACE(baBytes.toHex(' ').toStdString());
    TestDevice source(baBytes);
    try {
        std::unique_ptr<Vrel::Object> pValue(Vrel::VrelStream(&source).readObject());
        ADD_FAILURE() << "no exception";
    } catch (const Vrel::FormatError &e) {
        EXPECT_NE(nullptr, std::strstr(e.what(), sProblem)) << e.what();
    }
}

TEST(VrelStreamErrors, UnknownTag) {
    expectFormatError(hex("07"), "unknown tag 0x07");
    expectFormatError(hex("ff"), "unknown tag 0xff");
    expectFormatError(hex("05 02 00 00 00 04 09"), "unknown tag 0x09");
    expectFormatError(hex("06 01 00 00 00 01 00 00 00 61 80"), "unknown tag 0x80");
}

TEST(VrelStreamErrors, DataEndsInsideAValue) {
    for (const char *sHex :
         {"01", "01 00 00 00 00 00 00 00", "02", "02 01 00", "02 03 00 00 00 61 62", "05",
          "05 02 00 00 00 04", "05 01 00 00 00 01 00", "06 01 00 00", "06 01 00 00 00",
          "06 01 00 00 00 01 00 00", "06 01 00 00 00 02 00 00 00 61",
          "06 01 00 00 00 01 00 00 00 61", "05 01 00 00 00 05 01 00 00 00 06 01 00 00 00"})
        expectFormatError(hex(sHex), "the data ends inside");
}

TEST(VrelStreamErrors, NoValueInsideAContainer) {
    expectFormatError(hex("05 01 00 00 00 00"), "no value (tag 0x00) inside a list");
    expectFormatError(hex("06 01 00 00 00 00 00 00 00 00"),
                      "no value (tag 0x00) inside a dictionary");
}

QByteArray nestedLists(int iLevels) {
    return hex("05 01 00 00 00").repeated(iLevels - 1) + hex("05 00 00 00 00");
}

TEST(VrelStreamErrors, NestingDepth) {
    std::unique_ptr<Vrel::Object> pDeep = decode(nestedLists(64));
    ASSERT_NE(nullptr, pDeep);
    EXPECT_EQ(nestedLists(64), encode(pDeep.get()));
    expectFormatError(nestedLists(65), "nested deeper than 64");
    expectFormatError(hex("06 01 00 00 00 00 00 00 00") + nestedLists(64), "nested deeper than 64");

    // The writer refuses what the reader would refuse, and writes nothing.
    auto *pInner = static_cast<Vrel::List *>(pDeep.get());
    while (!pInner->isEmpty())
        pInner = static_cast<Vrel::List *>(pInner->first());
    pInner->append(new Vrel::List);
    QByteArray baOut;
    QBuffer buffer(&baOut);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(Vrel::VrelStream(&buffer).writeObject(pDeep.get()), Vrel::ValueError);
    EXPECT_TRUE(baOut.isEmpty());
}

// 256 MiB itself is allowed (here it fails only for want of data); one more is not.
TEST(VrelStreamErrors, SizeLimits) {
    expectFormatError(hex("02 00 00 00 10 61"), "the data ends inside a string");
    expectFormatError(hex("02 01 00 00 10"), "above the limit of 268435456");
    expectFormatError(hex("02 ff ff ff ff"), "above the limit");
    expectFormatError(hex("05 01 00 00 10 04"), "a list's count of 268435457 is above");
    expectFormatError(hex("06 01 00 00 10"), "a dictionary's count of 268435457 is above");
    expectFormatError(hex("06 01 00 00 00 01 00 00 10"), "a key's length of 268435457 is above");
}

// Every value costs a heap object, so one object may hold only so many: a
// list of a million one-byte booleans would otherwise cost some 150 MiB.
TEST(VrelStreamErrors, TooManyValues) {
    const auto listOfTrue = [](quint32 iCount) {
        QByteArray baBytes(5, '\x05');
        qToLittleEndian(iCount, baBytes.data() + 1);
        return baBytes + QByteArray(qsizetype(iCount), '\x04');
    };
    // The list and all but one of the limit's elements fit exactly.
    const quint32 iFits = Vrel::VrelStream::iMaxValues - 1;
    std::unique_ptr<Vrel::Object> pValue(decode(listOfTrue(iFits)));
    const auto *pList = dynamic_cast<Vrel::List *>(pValue.get());
    ASSERT_NE(nullptr, pList);
    EXPECT_EQ(qsizetype(iFits), pList->size());
    pValue.reset();

    TestDevice source(listOfTrue(iFits + 1));
    try {
        pValue.reset(Vrel::VrelStream(&source).readObject());
        ADD_FAILURE() << "no exception";
    } catch (const Vrel::FormatError &e) {
        EXPECT_NE(nullptr, std::strstr(e.what(), "more than 1048576 values in one object"))
            << e.what();
    }
}

std::atomic<bool> bWatchAllocations{false};
std::atomic<std::size_t> iLargestAllocation{0};

void onMalloc(const volatile void *, std::size_t iSize) {
    if (bWatchAllocations && iSize > iLargestAllocation)
        iLargestAllocation = iSize;
}
void onFree(const volatile void *) {}

// Counts and lengths at the limit with little data behind them must not make
// the reader allocate what they claim.
TEST(VrelStreamErrors, ClaimsCostNoMemory) {
    if (!__sanitizer_install_malloc_and_free_hooks)
        GTEST_SKIP() << "needs the sanitizer runtime";
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    const QByteArray baSome(1000, 'x');
    for (const QByteArray &baBytes :
         {hex("02 00 00 00 10") + baSome, hex("05 00 00 00 10") + QByteArray(1000, '\x04'),
          hex("06 00 00 00 10") + hex("01 00 00 00 61 03").repeated(100),
          hex("06 01 00 00 00 00 00 00 10") + baSome}) {
        TestDevice source(baBytes);
        Vrel::VrelStream stream(&source);
        iLargestAllocation = 0;
        bWatchAllocations = true;
        EXPECT_THROW(std::unique_ptr<Vrel::Object>(stream.readObject()), Vrel::FormatError);
        bWatchAllocations = false;
        EXPECT_LT(iLargestAllocation.load(), std::size_t(1) << 20)
            << baBytes.left(9).toHex(' ').toStdString();
    }
}

TEST(VrelStreamErrors, DeviceFailsToRead) {
    TestDevice failing(hex("02 05 00 00 00 61 62 63 64 65"));
    failing.failReadsFrom(7);
    EXPECT_THROW(std::unique_ptr<Vrel::Object>(Vrel::VrelStream(&failing).readObject()),
                 Vrel::DeviceError);
    TestDevice failingAtOnce(hex("04"));
    failingAtOnce.failReadsFrom(0);
    EXPECT_THROW(std::unique_ptr<Vrel::Object>(Vrel::VrelStream(&failingAtOnce).readObject()),
                 Vrel::DeviceError);
    EXPECT_THROW(Vrel::VrelStream(nullptr), Vrel::DeviceError);
}

TEST(VrelStreamErrors, DeviceRefusesOrShortensAWrite) {
    QByteArray baOut;
    QBuffer readOnly(&baOut);
    readOnly.open(QIODevice::ReadOnly);
    Vrel::Boolean yes(true);
    EXPECT_THROW(Vrel::VrelStream(&readOnly).writeObject(&yes), Vrel::DeviceError);

    std::unique_ptr<Vrel::Dictionary> pDict = sample();
    TestDevice shortDevice;
    shortDevice.setWriteCapacity(10);
    EXPECT_THROW(Vrel::VrelStream(&shortDevice).writeObject(pDict.get()), Vrel::DeviceError);

    Vrel::String longString(QByteArray(100 * 1024, 'y'));
    TestDevice shortForLong;
    shortForLong.setWriteCapacity(50 * 1024);
    EXPECT_THROW(Vrel::VrelStream(&shortForLong).writeObject(&longString), Vrel::DeviceError);
}

class OddKind : public Vrel::Object {};

void expectUnwritable(const Vrel::Object *pValue) {
    QByteArray baOut;
    QBuffer buffer(&baOut);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_THROW(Vrel::VrelStream(&buffer).writeObject(pValue), Vrel::ValueError);
    EXPECT_TRUE(baOut.isEmpty());
}

TEST(VrelStreamErrors, UnwritableValuesWriteNothing) {
    Vrel::List withNull;
    withNull.append(new Vrel::Integer(1));
    withNull.append(nullptr);
    expectUnwritable(&withNull);

    Vrel::Dictionary dictWithNull;
    dictWithNull.insert("a", 1);
    dictWithNull.insert("b", static_cast<Vrel::Object *>(nullptr));
    expectUnwritable(&dictWithNull);

    Vrel::List withOdd;
    withOdd.append(new OddKind);
    expectUnwritable(&withOdd);

    Vrel::List selfHolding;
    selfHolding.append(&selfHolding);
    expectUnwritable(&selfHolding);
    selfHolding.clear();

    Vrel::String tooLong("");
    tooLong.resize(Vrel::VrelStream::iMaxSize + 1);
    expectUnwritable(&tooLong);
}

} // namespace
