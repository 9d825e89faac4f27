// The shared test helpers: failing streams, byte damage, whole files and
// temporary folders behave as the vault tests rely on.
#include "ka/exception.h"
#include "ka/membuf.h"
#include "ka/streamstack.h"

#include "support/bytes.h"
#include "support/failingstream.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

using namespace support;

TEST(FailingStream, WriteFillsUpToTheLimitThenFails) {
    Ka::MemBuf inner;
    FailingStream s(inner, 5);
    EXPECT_EQ(3, s.write("abc", 3));
    try {
        s.write("defg", 4);
        ADD_FAILURE() << "no exception";
    } catch (const Ka::FileException &e) {
        EXPECT_EQ(ENOSPC, e.getErrorCode());
    }
    EXPECT_EQ("abcde", toStd(inner.getString()));
    EXPECT_EQ(5, s.getWritten());
    EXPECT_THROW(s.write("x", 1), Ka::FileException);
    EXPECT_EQ(0, s.write("x", 0));
}

TEST(FailingStream, ReadFailsOnceTheLimitIsReached) {
    Ka::MemBuf inner(Ka::String("0123456789"));
    FailingStream s(inner, -1, 4);
    char sBuf[10];
    EXPECT_EQ(4, s.read(sBuf, 10));
    try {
        s.read(sBuf, 1);
        ADD_FAILURE() << "no exception";
    } catch (const Ka::FileException &e) {
        EXPECT_EQ(EIO, e.getErrorCode());
    }
    EXPECT_EQ(100, s.write(std::string(100, 'x').data(), 100)); // no write limit
}

TEST(FailingStream, ZeroLimitFailsAtOnceAndOwnedInnerWorksInAStack) {
    auto pInner = std::make_unique<Ka::MemBuf>(Ka::String("abc"));
    Ka::StreamStack stack(new FailingStream(std::move(pInner), 0, 0));
    char c;
    EXPECT_THROW(stack.read(&c, 1), Ka::FileException);
    EXPECT_THROW(stack.write("x", 1), Ka::FileException);
    EXPECT_EQ(3, stack.getSize());
}

TEST(Bytes, FlipAndCut) {
    Ka::String s("abc");
    EXPECT_EQ(std::string("a\x9d"
                          "c"),
              toStd(flipByte(s, 1)));
    EXPECT_EQ("abb", toStd(flipByte(s, 2, 0x01)));
    EXPECT_EQ("abc", toStd(s));
    EXPECT_THROW(flipByte(s, 3), std::out_of_range);
    EXPECT_THROW(flipByte(s, -1), std::out_of_range);
    EXPECT_EQ("ab", toStd(cutBytes(s, 2)));
    EXPECT_EQ("abc", toStd(cutBytes(s, 9)));
    EXPECT_EQ("", toStd(cutBytes(s, -1)));
}

TEST(Bytes, WholeFilesAndTempDirCleanUp) {
    std::string sPath;
    {
        TempDir dir;
        sPath = dir.getPath();
        EXPECT_TRUE(std::filesystem::is_directory(sPath));
        Ka::String sData("a\0b", 3);
        writeFile(dir.getFilePath("x"), sData);
        EXPECT_EQ(std::string("a\0b", 3), toStd(readFile(dir.getFilePath("x"))));
        EXPECT_THROW(readFile(dir.getFilePath("none")), std::runtime_error);
        std::filesystem::create_directories(sPath + "/sub/deeper");
        writeFile(sPath + "/sub/deeper/y", Ka::String("y"));
        std::filesystem::permissions(sPath + "/sub", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    }
    EXPECT_FALSE(std::filesystem::exists(sPath));
}

} // namespace
