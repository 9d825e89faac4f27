// toByteArray and toKaString: every byte kept, zero bytes and chunked
// strings included.
#include "store/stringconv.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringConv, RoundTripKeepsEveryByte) {
    std::string sAll;
    for (int i = 0; i < 256; ++i)
        sAll.push_back(char(i));
    sAll += std::string("\0\0end", 5);
    const QByteArray ba(sAll.data(), qsizetype(sAll.size()));
    const Ka::String s = toKaString(ba);
    ASSERT_EQ(s.getSize(), int(sAll.size()));
    EXPECT_EQ(std::string(s.getConstStr(), size_t(s.getSize())), sAll);
    EXPECT_EQ(toByteArray(s), ba);
}

TEST(StringConv, EmptyStaysEmpty) {
    EXPECT_TRUE(toByteArray(Ka::String()).isEmpty());
    EXPECT_TRUE(toKaString(QByteArray()).isEmpty());
    EXPECT_TRUE(toKaString(QByteArray("")).isEmpty());
}

// A string built piece by piece is held in several chunks.
TEST(StringConv, ChunkedStringConvertsWhole) {
    Ka::String s;
    std::string sExpect;
    for (int i = 0; i < 2000; ++i) {
        const std::string sPiece = std::to_string(i) + '\0';
        s.append(sPiece.data(), int(sPiece.size()));
        sExpect += sPiece;
    }
    EXPECT_EQ(toByteArray(s), QByteArray(sExpect.data(), qsizetype(sExpect.size())));
}

} // namespace
