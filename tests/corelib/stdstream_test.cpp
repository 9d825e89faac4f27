// Ka::StdStream: the console stream writes standard output.
#include "ka/stdstream.h"

#include <gtest/gtest.h>

namespace {

TEST(StdStream, ConsoleWritesStandardOutput) {
    EXPECT_EQ(&Ka::console(), &Ka::console());
    testing::internal::CaptureStdout();
    EXPECT_EQ(6, Ka::console().write(Ka::String("hello\n")));
    EXPECT_EQ(0, Ka::console().write(nullptr, 3));
    Ka::console().flush();
    EXPECT_EQ("hello\n", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(Ka::console().isSeekable());
    EXPECT_FALSE(Ka::console().isEos());
    EXPECT_EQ(0, Ka::console().getSize());
}

} // namespace
