// Ka::Tessary: the bytes of new and worked-example containers, ids and free
// blocks, reopening, damaged and forged stores, failing stores, and many
// streams checked against a model.
#include "ka/exception.h"
#include "ka/file.h"
#include "ka/membuf.h"
#include "ka/tessary.h"

#include "support/bytes.h"
#include "support/checks.h"
#include "support/failingstream.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using support::toKa;
using support::toStd;

// ---- Building and reading container bytes independently of the code ----

void put32(std::string &s, int32_t v) {
    for (int i = 0; i < 4; ++i)
        s += char(uint32_t(v) >> (8 * i));
}

int32_t get32(const std::string &s, size_t iAt) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(uint8_t(s.at(iAt + i))) << (8 * i);
    return int32_t(u);
}

std::string header(int32_t bs, int32_t iCount) {
    std::string s("\x0A\xD3\xFA\x84\x01\x20", 6);
    put32(s, bs);
    put32(s, iCount);
    return s;
}

struct Entry {
    int32_t iId;
    int32_t iSize;
    std::vector<int32_t> lBlocks;
};

// A store of nBlocks blocks whose table lists the entries; stream 0's table
// bytes go to the blocks its entry lists (block 0 when it lists none).
std::string forge(int32_t bs, const std::vector<Entry> &lEntries, int nBlocks,
                  int32_t iCount = -1) {
    std::string sTable = header(bs, iCount < 0 ? int32_t(lEntries.size()) : iCount);
    for (const Entry &e : lEntries) {
        put32(sTable, e.iId);
        put32(sTable, e.iSize);
        for (int32_t b : e.lBlocks)
            put32(sTable, b);
    }
    std::string sFile(size_t(nBlocks) * size_t(bs), '\0');
    std::vector<int32_t> lZero = lEntries.empty() ? std::vector<int32_t>{} : lEntries[0].lBlocks;
    for (size_t i = 0; i < sTable.size(); ++i) {
        size_t k = i / size_t(bs);
        int32_t b = k < lZero.size() ? lZero[k] : int32_t(k);
        size_t at = size_t(b) * size_t(bs) + i % size_t(bs);
        if (b >= 0 && at < sFile.size())
            sFile[at] = sTable[i];
    }
    return sFile;
}

// The table of a container file, read through stream 0's own blocks.
std::vector<Entry> parse(const std::string &sFile) {
    const int32_t bs = get32(sFile, 6);
    std::vector<int32_t> lZero{0};
    size_t iPos = 10;
    auto next = [&] {
        auto at = [&](size_t k) {
            return size_t(lZero.at(k / size_t(bs))) * size_t(bs) + k % size_t(bs);
        };
        std::string s;
        for (int i = 0; i < 4; ++i)
            s += sFile.at(at(iPos + size_t(i)));
        iPos += 4;
        return get32(s, 0);
    };
    std::vector<Entry> l(static_cast<size_t>(next()));
    for (size_t e = 0; e < l.size(); ++e) {
        l[e].iId = next();
        l[e].iSize = next();
        for (int32_t j = 0; j < (l[e].iSize + bs - 1) / bs; ++j) {
            l[e].lBlocks.push_back(next());
            if (e == 0 && j > 0)
                lZero.push_back(l[e].lBlocks.back());
        }
    }
    return l;
}

std::string pattern(int n, int iSeed = 0) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += char((i * 7 + iSeed) & 0xFF);
    return s;
}

std::string readStream(Ka::Tessary &t, int iId) {
    Ka::TessaryStream s = t.openStream(iId);
    return toStd(s.readAll());
}

void writeStream(Ka::Tessary &t, int iId, const std::string &sData, int iAt = 0) {
    Ka::TessaryStream s = t.openStream(iId);
    s.setPos(iAt);
    EXPECT_EQ(int(sData.size()), s.write(sData.data(), int(sData.size())));
}

// Opens a container on a copy of the bytes and reads every stream whole.
void openAndReadAll(const std::string &sFile) {
    Ka::MemBuf buf(toKa(sFile));
    Ka::Tessary t(buf, 1024, 2);
    Ka::Array<int> aIds = t.getStreamIds();
    for (int i = 0; i < aIds.getSize(); ++i)
        readStream(t, aIds[i]);
}

std::pair<std::string, int> damageOf(const std::string &sFile) {
    return support::failureOf([&] { openAndReadAll(sFile); });
}

// ---- New containers and the worked example ----

TEST(Tessary, NewContainerIsTheHeaderAndZeroBlocks) {
    Ka::MemBuf buf;
    {
        Ka::Tessary t(buf, 1024, 2);
        EXPECT_EQ(1, t.getNumStreams());
        EXPECT_EQ(3, t.getNumBlocks());
        EXPECT_EQ(1, t.getNumUsedBlocks());
        EXPECT_EQ("001", toStd(t.getBlocksUsed().toString()));
    }
    std::string sWant("\x0A\xD3\xFA\x84\x01\x20\x00\x04\x00\x00\x01\x00\x00\x00"
                      "\x00\x00\x00\x00\x1A\x00\x00\x00\x00\x00\x00\x00",
                      26);
    sWant.resize(3072, '\0');
    EXPECT_EQ(sWant, toStd(buf.getString()));

    // Below 30 bytes a block cannot hold stream 0's entry and its own index:
    // stream 0 takes two blocks and 30 bytes.
    Ka::MemBuf small;
    { Ka::Tessary t(small, 17, 0); }
    std::string sSmall("\x0A\xD3\xFA\x84\x01\x20\x11\x00\x00\x00\x01\x00\x00\x00"
                       "\x00\x00\x00\x00\x1E\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00",
                       30);
    sSmall.resize(34, '\0');
    EXPECT_EQ(sSmall, toStd(small.getString()));
}

TEST(Tessary, WorkedExampleGivesExactlyTheseBytes) {
    Ka::MemBuf buf;
    Ka::Tessary t(buf, 1024, 2);
    ASSERT_EQ(1, t.createStream(0));
    writeStream(t, 1, pattern(3000));
    t.sync();
    std::string sWant("\x0A\xD3\xFA\x84\x01\x20\x00\x04\x00\x00\x02\x00\x00\x00"
                      "\x00\x00\x00\x00\x2E\x00\x00\x00\x00\x00\x00\x00"
                      "\x01\x00\x00\x00\xB8\x0B\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00"
                      "\x03\x00\x00\x00",
                      46);
    sWant.resize(1024, '\0');
    sWant += pattern(3000);
    sWant.resize(4096, '\0');
    EXPECT_EQ(sWant, toStd(buf.getString()));
    EXPECT_EQ(46, t.getStreamSize(0));
    EXPECT_EQ(3046, t.getTotalUsedBytes());
    // Free: none; slack: 978 in block 0, 72 in block 3.
    EXPECT_EQ(978 + 72, t.getTotalUnusedBytes());
    EXPECT_EQ(1000 - 46, t.getTotalUnusedBytes(1000));

    // Reopened, the stream reads back whole and no further.
    Ka::MemBuf copy(buf.getString());
    Ka::Tessary t2(copy, 64, 0);
    EXPECT_EQ(1024, t2.getBlockSize());
    Ka::TessaryStream s = t2.openStream(1);
    std::string sBack(5000, '?');
    EXPECT_EQ(3000, s.read(sBack.data(), 5000));
    EXPECT_EQ(pattern(3000), sBack.substr(0, 3000));
    EXPECT_TRUE(s.isEos());
    EXPECT_EQ("1", toStd(s.getLocation()));
}

TEST(Tessary, ShortStoresBecomeNewContainersForeignOnesAreLeftAlone) {
    for (int n = 0; n < 4; ++n) {
        Ka::MemBuf buf(toKa(std::string(size_t(n), 'x')));
        { Ka::Tessary t(buf, 64, 0); }
        EXPECT_EQ(64, buf.getSize()) << n;
        EXPECT_TRUE(Ka::Tessary::isTessary(buf));
    }
    Ka::MemBuf foreign(Ka::String("not a container"));
    EXPECT_EQ(
        std::make_pair(std::string("Stream does not appear to be a valid Tessary format."), 1),
        support::failureOf<Ka::TessaryException>([&] { Ka::Tessary t(foreign, 64, 0); }));
    EXPECT_EQ("not a container", toStd(foreign.getString()));

    int iVersion = 0;
    EXPECT_FALSE(Ka::Tessary::isTessary(foreign, iVersion));
    EXPECT_EQ('a', iVersion);
    Ka::MemBuf magicOnly(toKa(std::string("\x0A\xD3\xFA\x84", 4)));
    EXPECT_TRUE(Ka::Tessary::isTessary(magicOnly, iVersion));
    EXPECT_EQ(-1, iVersion);
    Ka::MemBuf tiny(Ka::String("abc"));
    EXPECT_EQ(
        0, support::failureOf<Ka::TessaryException>([&] { Ka::Tessary::isTessary(tiny); }).second);

    Ka::MemBuf small;
    EXPECT_EQ("Invalid container block size: 16.",
              support::messageOf([&] { Ka::Tessary t(small, 16, 0); }));
}

// ---- Streams, ids and free blocks ----

TEST(Tessary, IdsFollowTheLastStreamAndDeletionRules) {
    Ka::MemBuf buf;
    Ka::Tessary t(buf, 64, 0);
    EXPECT_EQ(1, t.createStream(0));
    t.deleteStream(1);
    EXPECT_EQ(1, t.createStream(0));
    EXPECT_EQ(10, t.createStreamWithId(10, 0));
    EXPECT_EQ(5, t.createStreamWithId(5, 0));
    EXPECT_EQ(11, t.createStream(0));
    EXPECT_EQ((std::vector<int>{0, 1, 5, 10, 11}), support::valuesOf(t.getStreamIds()));

    auto code = [](const std::function<void()> &f) {
        return support::failureOf<Ka::TessaryException>(f).second;
    };
    EXPECT_EQ(5, code([&] { t.createStreamWithId(5, 0); }));
    EXPECT_EQ(5, code([&] { t.createStreamWithId(0, 0); }));
    EXPECT_EQ(6, code([&] { t.createStreamWithId(-3, 0); }));
    EXPECT_EQ(7, code([&] { t.deleteStream(0); }));
    EXPECT_EQ(6, code([&] { t.deleteStream(-1); }));
    EXPECT_EQ(4, code([&] { t.openStream(7); }));
    EXPECT_EQ(4, code([&] { t.getStreamSize(7); }));
    t.deleteStream(7);
    EXPECT_EQ(5, t.getNumStreams());
    EXPECT_FALSE(t.hasStream(7));
    EXPECT_TRUE(t.hasStream(10));

    t.createStreamWithId(INT32_MAX, 0);
    EXPECT_EQ("No stream id is left after 2147483647.",
              support::messageOf([&] { t.createStream(0); }));
}

TEST(Tessary, FreeBlocksAreTakenFromTheFrontAndReturnedAtTheBack) {
    Ka::MemBuf buf;
    Ka::Tessary t(buf, 1024, 2);
    t.createStream(0);
    writeStream(t, 1, pattern(3000)); // blocks 1, 2, 3
    {
        Ka::TessaryStream s = t.openStream(1);
        s.setPos(2000);
        s.setSize(0); // keeps block 1; frees 3, then 2
        EXPECT_EQ(0, s.tell());
    }
    EXPECT_EQ("0011", toStd(t.getBlocksUsed().toString()));
    EXPECT_EQ(2, t.createStream(1)); // block 3
    EXPECT_EQ(3, t.createStream(0));
    writeStream(t, 3, "x");          // block 2
    EXPECT_EQ(4, t.createStream(1)); // block 4: the store grows
    writeStream(t, 2, "y");
    t.sync();
    std::vector<Entry> l = parse(toStd(buf.getString()));
    ASSERT_EQ(5u, l.size());
    EXPECT_EQ(std::vector<int32_t>{}, l[1].lBlocks); // size 0 lists no block
    EXPECT_EQ(std::vector<int32_t>{3}, l[2].lBlocks);
    EXPECT_EQ(std::vector<int32_t>{2}, l[3].lBlocks);
    EXPECT_EQ(5 * 1024, buf.getSize()); // block 4 is there though never written
    EXPECT_EQ(5, t.getNumUsedBlocks());

    t.deleteStream(2);
    t.deleteStream(3);
    EXPECT_EQ(5, t.createStream(2)); // blocks 3 and 2, in that order
    writeStream(t, 5, pattern(1500));
    t.sync();
    EXPECT_EQ((std::vector<int32_t>{3, 2}), parse(toStd(buf.getString()))[3].lBlocks);
}

// ---- Damaged and forged stores ----

const std::vector<Entry> kValid = {{0, 54, {0}}, {1, 100, {1, 2}}, {2, 10, {3}}};

std::string valid(int nBlocks = 4) {
    return forge(64, kValid, nBlocks);
}

std::string poke(std::string s, size_t iAt, int32_t v) {
    std::string sValue;
    put32(sValue, v);
    return s.replace(iAt, 4, sValue);
}

TEST(Tessary, DamagedHeadersAndTablesAreRefused) {
    ASSERT_EQ(-1, damageOf(valid()).second);
    auto with = [](std::vector<Entry> l, int32_t iCount = -1) { return forge(64, l, 5, iCount); };
    const std::string sBit = "bit out of range: ";
    struct Case {
        const char *sWhat;
        std::string sFile;
        int iCode;
        std::string sMessage = "";
    } aCases[] = {
        {"version", std::string(valid()).replace(4, 1, "\x02"), 2},
        {"word size", std::string(valid()).replace(5, 1, "\x40"), 3},
        {"cut in the header", valid().substr(0, 5), 8},
        {"cut in the block size", valid().substr(0, 12), 8},
        {"block size 0", poke(valid(), 6, 0), 8},
        {"negative block size", poke(valid(), 6, -64), 8},
        {"block size 16", poke(valid(), 6, 16), 8},
        {"block larger than the store", poke(valid(), 6, 257), 8},
        {"no stream", poke(valid(), 10, 0), 8},
        {"negative stream count", poke(valid(), 10, -1), 8},
        {"huge stream count", poke(valid(), 10, 0x7FFFFFFF), 8},
        {"more streams than stream 0 holds", poke(valid(), 10, 6), 8},
        {"negative size", with({{0, 54, {0}}, {1, -5, {}}, {2, 10, {1}}}), 8},
        {"huge size", with({{0, 54, {0}}, {1, 0x7FFFFFFF, {1}}, {2, 10, {2}}}), 8},
        {"block past the store", with({{0, 54, {0}}, {1, 100, {1, 99}}, {2, 10, {3}}}), 0,
         sBit + "99 in (0-5)"},
        {"negative block", with({{0, 54, {0}}, {1, 100, {1, -1}}, {2, 10, {3}}}), 0,
         sBit + "-1 in (0-5)"},
        {"block twice in a stream", with({{0, 54, {0}}, {1, 100, {1, 1}}, {2, 10, {3}}}), 8,
         "The container's stream table is damaged: block 1 is listed twice."},
        {"block in two streams", with({{0, 54, {0}}, {1, 100, {1, 2}}, {2, 10, {2}}}), 8},
        {"stream 0's block elsewhere", with({{0, 54, {0}}, {1, 100, {1, 2}}, {2, 10, {0}}}), 8},
        {"first stream is not 0", with({{1, 54, {0}}, {2, 100, {1, 2}}, {3, 10, {3}}}), 8},
        {"ids out of order", with({{0, 54, {0}}, {2, 100, {1, 2}}, {1, 10, {3}}}), 8},
        {"id twice", with({{0, 54, {0}}, {1, 100, {1, 2}}, {1, 10, {3}}}), 8},
        {"negative id", with({{0, 54, {0}}, {-2, 100, {1, 2}}, {1, 10, {3}}}), 8},
        {"stream 0 too small for its entries", with({{0, 30, {0}}, {1, 100, {1, 2}}, {2, 10, {3}}}),
         8},
        {"table past stream 0's size", with({{0, 40, {0}}, {1, 100, {1, 2}}, {2, 10, {3}}}), 8,
         "The container's stream table is damaged: the table runs past the end of stream 0."},
        {"stream 0 larger than the store", with({{0, 640, {0}}, {1, 100, {1, 2}}, {2, 10, {3}}}),
         8},
        {"stream 0 not starting at block 0", poke(with(kValid), 22, 4), 8},
    };
    for (const Case &c : aCases) {
        auto [sMessage, iCode] = damageOf(c.sFile);
        EXPECT_EQ(c.iCode, iCode) << c.sWhat << ": " << sMessage;
        if (!c.sMessage.empty()) {
            EXPECT_EQ(c.sMessage, sMessage) << c.sWhat;
        } else if (c.iCode == 8) {
            EXPECT_EQ(0u, sMessage.find("The container's stream table is damaged: ")) << c.sWhat;
        }
    }
}

TEST(Tessary, TruncatedAndRandomStoresEndInExceptions) {
    // A table of two blocks (stream 0 continues in block 7) and data in
    // blocks up to 6: every cut that loses a listed block is refused.
    std::string sFile;
    {
        Ka::MemBuf buf;
        {
            Ka::Tessary t(buf, 64, 0);
            for (int i = 1; i <= 4; ++i)
                writeStream(t, t.createStream(0), pattern(70 * i, i));
        }
        sFile = toStd(buf.getString());
    }
    std::vector<Entry> l = parse(sFile);
    ASSERT_EQ(2u, l[0].lBlocks.size());
    int iNeeded = 0;
    for (const Entry &e : l)
        for (int32_t b : e.lBlocks)
            iNeeded = std::max(iNeeded, (b + 1) * 64);
    for (size_t n = 0; n <= sFile.size(); ++n) {
        auto [sMessage, iCode] = damageOf(sFile.substr(0, n));
        bool bOpens = n < 4 || int(n) >= iNeeded;
        EXPECT_EQ(bOpens, iCode == -1) << n << ": " << sMessage;
    }

    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        std::string s = header(17 + int(rng() % 50), int32_t(rng() % 6));
        while (s.size() < 300)
            s += char(rng() % 4 == 0 ? rng() : rng() % 8);
        damageOf(s); // Ka exceptions or success; the sanitizers watch the rest
    }
}

TEST(Tessary, AStoreShorterThanItsTableReadsZeros) {
    std::string sFile = forge(64, {{0, 42, {0}}, {1, 100, {1, 2}}}, 3);
    sFile.replace(64, 128, 128, 'a');
    Ka::MemBuf buf(toKa(sFile));
    Ka::Tessary t(buf, 64, 0);
    buf.setSize(100);
    EXPECT_EQ(std::string(36, 'a') + std::string(64, '\0'), readStream(t, 1));
}

// ---- Failing stores ----

// A memory store whose writes fail while bFull is set, like a full disk.
class FullDisk : public Ka::MemBuf {
public:
    using Ka::MemBuf::write;
    int write(const void *pBuf, int nBytes) override {
        if (bFull)
            throw Ka::FileException(ENOSPC, "No space left on device");
        return Ka::MemBuf::write(pBuf, nBytes);
    }
    bool bFull = false;
};

TEST(Tessary, FailingStoresReportWhereTheyFailAndStayUsable) {
    for (int iLimit : {0, 100, 3100, 4000}) {
        Ka::MemBuf inner;
        support::FailingStream store(inner, iLimit);
        testing::internal::CaptureStdout();
        auto [sMessage, iCode] = support::failureOf<Ka::FileException>([&] {
            Ka::Tessary t(store, 1024, 2);
            writeStream(t, t.createStream(0), pattern(5000));
            t.sync();
        });
        std::string sOut = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ENOSPC, iCode) << iLimit;
        // Past the new container's 3098 bytes the destructor tries again.
        const std::string sLast = "Ka::Tessary::~Tessary(): Error: " + sMessage + "\r\n";
        if (iLimit < 3098)
            EXPECT_EQ("", sOut);
        else
            EXPECT_EQ(sLast, sOut.substr(sOut.size() - std::min(sOut.size(), sLast.size())));
    }
    for (int iLimit : {0, 3, 13, 100}) {
        Ka::MemBuf inner(toKa(valid()));
        support::FailingStream store(inner, -1, iLimit);
        EXPECT_EQ(EIO, support::failureOf<Ka::FileException>([&] {
                           Ka::Tessary t(store, 64, 0);
                           readStream(t, 1);
                       }).second)
            << iLimit;
    }

    // Failed writes keep their bytes in the container until a sync succeeds.
    FullDisk disk;
    {
        Ka::Tessary t(disk, 64, 0);
        t.sync();
        int iId = t.createStream(0);
        Ka::TessaryStream s = t.openStream(iId);
        s.write(pattern(100).data(), 100);
        disk.bFull = true;
        EXPECT_EQ(ENOSPC, support::failureOf<Ka::FileException>([&] { t.sync(); }).second);
        support::failureOf([&] { s.write(pattern(900, 1).data(), 900); });
        disk.bFull = false;
        s.setPos(100);
        s.write(pattern(900, 1).data(), 900);
        t.sync();
    }
    Ka::MemBuf copy(disk.getString());
    Ka::Tessary t(copy, 64, 0);
    EXPECT_EQ(pattern(100) + pattern(900, 1), readStream(t, 1));
}

// A sync cut short at any block leaves a store whose table lists only
// blocks that were written: the old table, or the new one with all its data.
TEST(Tessary, ASyncCutShortNeverListsBlocksThatWereNotWritten) {
    std::string sBase;
    {
        Ka::MemBuf buf;
        {
            Ka::Tessary t(buf, 1024, 2);
            writeStream(t, t.createStream(0), pattern(100));
        }
        sBase = toStd(buf.getString());
    }
    const std::string sNew = pattern(3000, 5);
    bool bDone = false;
    for (int iLimit = 0; !bDone; iLimit += 1024) {
        Ka::MemBuf inner(toKa(sBase));
        support::FailingStream store(inner, iLimit);
        std::string sCut;
        testing::internal::CaptureStdout();
        {
            Ka::Tessary t(store, 1024, 2);
            // Held open like a note stream: its last block is written at sync.
            Ka::TessaryStream s = t.openStream(t.createStream(0));
            s.write(sNew.data(), int(sNew.size()));
            bDone = support::failureOf([&] { t.sync(); }).second == -1;
            sCut = toStd(inner.getString());
        }
        testing::internal::GetCapturedStdout();
        Ka::MemBuf copy(toKa(sCut));
        Ka::Tessary back(copy, 1024, 2);
        EXPECT_EQ(pattern(100), readStream(back, 1)) << iLimit;
        EXPECT_EQ(bDone, back.hasStream(2)) << iLimit;
        if (back.hasStream(2)) {
            EXPECT_TRUE(readStream(back, 2) == sNew) << iLimit; // no dump of 3000 bytes
        }
    }
}

// ---- Open streams and the container's end ----

TEST(Tessary, StreamsOutlivingTheirContainerOrStreamAreCutOff) {
    Ka::MemBuf buf;
    auto pT = std::make_unique<Ka::Tessary>(buf, 1024, 2);
    pT->createStream(0);
    pT->createStream(0);
    Ka::TessaryStream s1 = pT->openStream(1);
    Ka::TessaryStream s2 = pT->openStream(2);
    Ka::TessaryStream again = pT->openStream(1);
    s1.write(Ka::String("hello"));
    // Both streams of stream 1 see one copy of its block.
    EXPECT_EQ("hello", toStd(again.readAll()));
    pT->deleteStream(2);
    EXPECT_EQ(4, support::failureOf<Ka::TessaryException>([&] { s2.write("x", 1); }).second);

    testing::internal::CaptureStdout();
    pT.reset();
    EXPECT_EQ("Ka::Tessary::~Tessary(): Error: There are 1 unsynced blocks!\r\n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(4, support::failureOf<Ka::TessaryException>([&] { s1.write("x", 1); }).second);
    Ka::MemBuf copy(buf.getString());
    Ka::Tessary t(copy, 64, 0);
    EXPECT_EQ("hello", readStream(t, 1));
}

// ---- Many streams against a model ----

void checkAgainst(Ka::Tessary &t, const std::map<int, std::string> &model) {
    std::vector<int> lIds{0};
    for (const auto &[iId, sData] : model) {
        lIds.push_back(iId);
        ASSERT_EQ(sData, readStream(t, iId)) << iId;
    }
    ASSERT_EQ(lIds, support::valuesOf(t.getStreamIds()));
    std::string sBits = toStd(t.getBlocksUsed().toString());
    ASSERT_EQ(t.getNumUsedBlocks(), std::count(sBits.begin(), sBits.end(), '1'));
}

TEST(Tessary, ManyStreamsGrowAndShrinkAndReopen) {
    // Files, and a memory store, which clamps positions to its end.
    for (auto [bs, bFile] : {std::pair{64, true}, {1024, true}, {64, false}, {17, false}}) {
        support::TempDir dir;
        const Ka::String sPath(dir.getFilePath("store").c_str());
        std::map<int, std::string> model;
        std::mt19937 rng{uint32_t(bs + bFile)};
        Ka::MemBuf memory;
        std::unique_ptr<Ka::File> pFile;
        auto reopen = [&](int iBlockSize, int iFlags) {
            if (bFile)
                pFile = std::make_unique<Ka::File>(sPath, iFlags);
            return std::make_unique<Ka::Tessary>(bFile ? static_cast<Ka::Stream &>(*pFile) : memory,
                                                 iBlockSize, 2);
        };
        auto pT = reopen(bs, Ka::File::Read | Ka::File::Write | Ka::File::Create);
        // Enough streams that the table outgrows stream 0's first block.
        for (int i = 0; i < 150; ++i)
            model[pT->createStream(int(rng() % 3))] = "";
        pT->sync();
        ASSERT_GT(pT->getStreamSize(0), bs);
        for (int iStep = 0; iStep < 600; ++iStep) {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            const int iId = it->first;
            std::string &rData = it->second;
            switch (rng() % 8) {
            case 0:
                model[pT->createStream(int(rng() % 3))] = "";
                break;
            case 1:
                if (model.size() > 1) {
                    pT->deleteStream(iId);
                    model.erase(iId);
                }
                break;
            case 2: { // shrink
                int n = int(rng() % (rData.size() + 1));
                pT->openStream(iId).setSize(n);
                rData.resize(size_t(n));
                break;
            }
            case 3: { // write anywhere, possibly past the end
                int iAt = int(rng() % (rData.size() + 2 * bs));
                std::string sNew = pattern(int(rng() % (3 * bs)), iStep);
                writeStream(*pT, iId, sNew, iAt);
                if (sNew.empty())
                    break; // writing nothing fills no gap
                if (rData.size() < iAt + sNew.size())
                    rData.resize(iAt + sNew.size(), '\0');
                rData.replace(size_t(iAt), sNew.size(), sNew);
                break;
            }
            case 4: // sync and reopen
                pT.reset();
                pT = reopen(17, Ka::File::Read | Ka::File::Write);
                ASSERT_EQ(bs, pT->getBlockSize());
                checkAgainst(*pT, model);
                break;
            default: { // append
                std::string sNew = pattern(int(rng() % (4 * bs)), iStep);
                writeStream(*pT, iId, sNew, int(rData.size()));
                rData += sNew;
            }
            }
        }
        checkAgainst(*pT, model);
    }
}

} // namespace
