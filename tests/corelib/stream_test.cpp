// Ka::Stream defaults (readLine, readAll, the string write) and Ka::Filter
// forwarding and close order.
#include "loggedstreams.h"

#include "ka/filter.h"
#include "ka/membuf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace testing_streams;

// A memory buffer that records every read request and can hand out fewer
// bytes than asked, or claim never to be at its end.
class ProbeBuf : public Ka::MemBuf {
public:
    explicit ProbeBuf(const Ka::String &sData, int iMaxChunk = 1 << 30, bool bNeverEos = false)
        : Ka::MemBuf(sData), iMaxChunk(iMaxChunk), bNeverEos(bNeverEos) {}
    int read(void *pBuf, int nBytes) override {
        lRequests.push_back(nBytes);
        return Ka::MemBuf::read(pBuf, std::min(nBytes, iMaxChunk));
    }
    bool isEos() override { return bNeverEos ? false : Ka::MemBuf::isEos(); }

    std::vector<int> lRequests;

private:
    int iMaxChunk;
    bool bNeverEos;
};

TEST(StreamReadLine, CarriageReturnLineFeedGivesAnEmptyLine) {
    ProbeBuf buf("ab\r\ncd");
    EXPECT_EQ("ab", str(buf.readLine()));
    EXPECT_EQ("", str(buf.readLine()));
    EXPECT_EQ("cd", str(buf.readLine()));
    EXPECT_EQ("", str(buf.readLine()));
    for (int n : buf.lRequests)
        EXPECT_EQ(1, n);
}

TEST(StreamReadLine, KeepsZeroBytesAndHighBytes) {
    ProbeBuf buf(Ka::String("a\0\xff\n", 4));
    Ka::String sLine = buf.readLine();
    ASSERT_EQ(3, sLine.getSize());
    EXPECT_EQ(std::string("a\0\xff", 3), str(sLine));
}

TEST(StreamReadAll, EmptyStreamNotAtEndMakesOneRead) {
    ProbeBuf buf("", 1 << 30, true);
    EXPECT_TRUE(buf.readAll().isEmpty());
    EXPECT_EQ(std::vector<int>{4096}, buf.lRequests);
}

TEST(StreamReadAll, TenThousandBytesInChunks) {
    std::string sData;
    for (int i = 0; i < 10000; ++i)
        sData.push_back(char(i * 7));
    ProbeBuf buf(Ka::String(sData.data(), int(sData.size())), 1000);
    EXPECT_EQ(sData, str(buf.readAll()));
    EXPECT_EQ(10u, buf.lRequests.size()); // short reads do not end it early
    for (int n : buf.lRequests)
        EXPECT_LE(n, 4096);
}

TEST(StreamReadAll, StopsAtEndWithoutAnotherRead) {
    ProbeBuf buf("abc");
    EXPECT_EQ("abc", str(buf.readAll()));
    EXPECT_EQ(1u, buf.lRequests.size());
}

TEST(StreamWrite, StringFormWritesItsBytes) {
    Ka::MemBuf buf;
    EXPECT_EQ(5, buf.write(Ka::String("a\0b\0c", 5)));
    EXPECT_EQ(std::string("a\0b\0c", 5), str(buf.getString()));
    EXPECT_EQ(0, buf.write(Ka::String()));
}

TEST(Filter, ForwardsToTheStreamBelow) {
    Log log;
    LoggedBuf base(log, "base");
    base.write(Ka::String("0123456789"));
    {
        LoggedFilter filter(base, log, "f");
        EXPECT_EQ(10, filter.getSize());
        EXPECT_EQ(10, filter.getBlockSize());
        EXPECT_EQ(10, filter.tell());
        EXPECT_TRUE(filter.isEos());
        filter.setPos(2);
        EXPECT_EQ(2, base.tell());
        filter.seek(3);
        EXPECT_EQ(5, base.tell());
        filter.setPosEnd(1);
        EXPECT_EQ(9, filter.tell());
        EXPECT_TRUE(filter.canRead());
        EXPECT_TRUE(filter.isSeekable());
        EXPECT_EQ("", str(filter.getLocation()));
        filter.setPos(0);
        // readLine and readAll run through the filter's own read.
        EXPECT_EQ("0123456789", str(filter.readAll()));
        filter.setPos(4);
        EXPECT_EQ(3, filter.write(Ka::String("abc")));
        EXPECT_EQ("write f", log.back());
    }
    // The filter's destructor wrote its last byte at position 7.
    EXPECT_EQ("0123abcf89", str(base.getString()));
}

TEST(Filter, SetSizeLeavesTheStreamBelowAlone) {
    Log log;
    LoggedBuf base(log, "base");
    base.write(Ka::String("abcdef"));
    LoggedFilter filter(base, log, "f");
    filter.setSize(2);
    EXPECT_EQ(6, base.getSize());
    filter.setSize(100);
    EXPECT_EQ(6, base.getSize());
}

TEST(Filter, CloseStopsBeforeTheStreamBelowCloses) {
    Log log;
    LoggedBuf base(log, "base");
    {
        LoggedFilter filter(base, log, "f");
        filter.close();
        EXPECT_EQ((Log{"stop f", "close base"}), log);
    }
    // Destruction does not stop the filter again.
    EXPECT_EQ((Log{"stop f", "close base", "~f"}), log);
}

} // namespace
