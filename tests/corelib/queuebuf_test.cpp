// Ka::QueueBuf: the block queue against a std::deque, the look-ahead, skips
// and hostile arguments.
#include "ka/queuebuf.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(QueueBuf, TenBytesInBlocksOfFour) {
    Ka::QueueBuf q(4);
    EXPECT_EQ(10, q.write("0123456789", 10));
    EXPECT_EQ(10, q.getSize());
    char sOut[16] = {};
    EXPECT_EQ(6, q.read(sOut, 6));
    EXPECT_EQ("012345", std::string(sOut, 6));
    EXPECT_EQ(4, q.peek(sOut, 10));
    EXPECT_EQ("6789", std::string(sOut, 4));
    EXPECT_EQ(4, q.getSize());
    EXPECT_EQ(2, q.peek(sOut, 10, 2));
    EXPECT_EQ("89", std::string(sOut, 2));
    EXPECT_EQ(4, q.read(sOut, 16));
    EXPECT_EQ("6789", std::string(sOut, 4));
    EXPECT_TRUE(q.isEos());
    EXPECT_FALSE(q.canRead());
    EXPECT_EQ(0, q.read(sOut, 16));
}

TEST(QueueBuf, SkippingAllOrMoreEmptiesTheQueue) {
    Ka::QueueBuf q(3);
    q.write("abcdefgh", 8);
    q.seek(8);
    EXPECT_EQ(0, q.getSize());
    q.write("xy", 2);
    q.seek(INT_MAX);
    EXPECT_TRUE(q.isEos());
    q.write("z", 1);
    char c = 0;
    EXPECT_EQ(1, q.read(&c, 1));
    EXPECT_EQ('z', c);
}

TEST(QueueBuf, SkipAcrossBlocks) {
    Ka::QueueBuf q(4);
    q.write("0123456789ab", 12);
    q.seek(0);
    q.seek(-3);
    EXPECT_EQ(12, q.getSize());
    q.seek(8); // exactly two blocks
    char sOut[4];
    EXPECT_EQ(4, q.read(sOut, 4));
    EXPECT_EQ("89ab", std::string(sOut, 4));
}

TEST(QueueBuf, CloseEmptiesAndTheQueueStaysUsable) {
    Ka::QueueBuf q(2);
    q.write("abcde", 5);
    q.close();
    EXPECT_EQ(0, q.getSize());
    char c;
    EXPECT_EQ(0, q.peek(&c, 1));
    q.write("f", 1);
    EXPECT_EQ(1, q.read(&c, 1));
    EXPECT_EQ('f', c);
    EXPECT_EQ(-1, q.tell());
    EXPECT_EQ(2, q.getBlockSize());
}

TEST(QueueBuf, HostileArgumentsStayInside) {
    Ka::QueueBuf q(4);
    char sOut[8] = {};
    EXPECT_EQ(0, q.read(sOut, 4)); // no blocks yet
    EXPECT_EQ(0, q.peek(sOut, 4, 0));
    EXPECT_EQ(0, q.write(sOut, -1));
    EXPECT_EQ(0, q.write(nullptr, 4));
    q.write("abcdef", 6);
    EXPECT_EQ(0, q.read(sOut, -5));
    EXPECT_EQ(0, q.read(nullptr, 5));
    EXPECT_EQ(0, q.peek(nullptr, 5));
    EXPECT_EQ(0, q.peek(sOut, -1, 0));
    EXPECT_EQ(0, q.peek(sOut, 4, -1));
    EXPECT_EQ(0, q.peek(sOut, 4, 6));
    EXPECT_EQ(0, q.peek(sOut, 4, INT_MAX));
    EXPECT_EQ(1, q.peek(sOut, INT_MAX, 5));
    EXPECT_EQ('f', sOut[0]);
    EXPECT_EQ(6, q.read(sOut, INT_MAX));
    EXPECT_EQ("abcdef", std::string(sOut, 6));
}

TEST(QueueBuf, BlockSizeBelowOneStillWorks) {
    for (int iBlock : {0, -4}) {
        Ka::QueueBuf q(iBlock);
        EXPECT_EQ(3, q.write("abc", 3));
        char sOut[3];
        EXPECT_EQ(3, q.read(sOut, 3));
        EXPECT_EQ("abc", std::string(sOut, 3));
    }
}

// Random writes, reads, peeks and skips, compared with a std::deque.
TEST(QueueBuf, MatchesADequeUnderRandomUse) {
    std::mt19937 rng(20240607);
    for (int iBlock : {1, 3, 4, 7, 256}) {
        Ka::QueueBuf q(iBlock);
        std::deque<char> ref;
        unsigned char iNext = 0;
        for (int iStep = 0; iStep < 2000; ++iStep) {
            int n = int(rng() % 40);
            std::vector<char> buf(size_t(n) + 1);
            switch (rng() % 5) {
            case 0:
            case 1: {
                for (int i = 0; i < n; ++i)
                    buf[size_t(i)] = char(iNext++);
                ASSERT_EQ(n, q.write(buf.data(), n));
                ref.insert(ref.end(), buf.begin(), buf.begin() + n);
                break;
            }
            case 2: {
                int got = q.read(buf.data(), n);
                ASSERT_EQ(std::min<size_t>(size_t(n), ref.size()), size_t(got));
                for (int i = 0; i < got; ++i) {
                    ASSERT_EQ(ref.front(), buf[size_t(i)]);
                    ref.pop_front();
                }
                break;
            }
            case 3: {
                int iSkip = int(rng() % 50);
                int got = q.peek(buf.data(), n, iSkip);
                size_t nAvail = ref.size() > size_t(iSkip) ? ref.size() - size_t(iSkip) : 0;
                ASSERT_EQ(std::min<size_t>(size_t(n), nAvail), size_t(got));
                for (int i = 0; i < got; ++i)
                    ASSERT_EQ(ref[size_t(iSkip + i)], buf[size_t(i)]);
                break;
            }
            default:
                q.seek(n);
                ref.erase(ref.begin(), ref.begin() + std::min<size_t>(size_t(n), ref.size()));
                break;
            }
            ASSERT_EQ(int(ref.size()), q.getSize());
            ASSERT_EQ(ref.empty(), q.isEos());
        }
    }
}

} // namespace
