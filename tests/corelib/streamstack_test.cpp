// Ka::StreamStack: ownership, top-down deletion and forwarding to the top.
#include "loggedstreams.h"

#include "ka/exception.h"
#include "ka/streamstack.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace testing_streams;

void expectEmptyStack(const std::function<void()> &fn) {
    try {
        fn();
        ADD_FAILURE() << "no exception";
    } catch (const Ka::ExceptionBase &e) {
        EXPECT_STREQ("StreamStack is empty.", e.what());
        EXPECT_EQ(0, e.getErrorCode());
    }
}

TEST(StreamStack, TwoFiltersWriteThroughTheTopAndDieTopFirst) {
    Log log;
    Ka::String sResult;
    {
        Ka::StreamStack stack;
        LoggedBuf *pBase = new LoggedBuf(log, "base");
        stack.setStream(pBase);
        LoggedFilter &rFirst = stack.addFilter<LoggedFilter>(log, "a");
        LoggedFilter &rSecond = stack.addFilter<LoggedFilter>(log, "b");
        EXPECT_EQ(&rSecond, stack.getTop());
        EXPECT_EQ(pBase, stack.getStream());
        EXPECT_NE(static_cast<Ka::Stream *>(&rFirst), stack.getTop());

        EXPECT_EQ(3, stack.write("xyz", 3));
        EXPECT_EQ((Log{"write b", "write a"}), log);
        EXPECT_EQ(2, stack.write(Ka::String("pq")));
        log.clear();
        // Reading goes through the top too; the stack's readAll uses it.
        stack.setPos(0);
        EXPECT_EQ("xyzpq", str(stack.readAll()));
        stack.setPosEnd(0);
    }
    // b's last byte passes through a into the base, then a's, then the base
    // goes: every layer dies while the one beneath it is still alive.
    EXPECT_EQ((Log{"write a", "~b", "~a", "~base"}), log);
}

TEST(StreamStack, ForwardsEveryOperationToTheTop) {
    Log log;
    Ka::StreamStack stack(new LoggedBuf(log, "base"));
    stack.write(Ka::String("hello world"));
    stack.addFilter<LoggedFilter>(log, "f");
    EXPECT_EQ(11, stack.getSize());
    EXPECT_EQ(11, stack.tell());
    EXPECT_TRUE(stack.isEos());
    stack.setPos(6);
    EXPECT_EQ("world", str(stack.readLine()));
    stack.seek(-5);
    EXPECT_EQ(6, stack.tell());
    stack.setPosEnd(2);
    EXPECT_EQ(9, stack.tell());
    // setSize reaches the top, which is a filter: it does nothing.
    stack.setSize(1);
    EXPECT_EQ(11, stack.getSize());
    EXPECT_TRUE(stack.isOpen());
    EXPECT_TRUE(stack.canWrite());
    stack.close();
    EXPECT_EQ("stop f", log[log.size() - 2]);
    EXPECT_EQ("close base", log.back());
}

TEST(StreamStack, SetStreamTwiceIsRefusedAndLeavesTheStack) {
    Log log;
    Ka::StreamStack stack(new LoggedBuf(log, "first"));
    LoggedBuf second(log, "second"); // stays ours: a refused stream is not taken
    try {
        stack.setStream(&second);
        ADD_FAILURE() << "no exception";
    } catch (const Ka::ExceptionBase &e) {
        EXPECT_STREQ("There is already a stream set.", e.what());
    }
    stack.write(Ka::String("x"));
    EXPECT_EQ(1, stack.getStream()->getSize());
    EXPECT_EQ(0, second.getSize());
}

TEST(StreamStack, EmptyStackRefusesEverything) {
    Ka::StreamStack stack;
    EXPECT_TRUE(stack.isEmpty());
    EXPECT_FALSE(stack.hasStream());
    char c;
    expectEmptyStack([&] { stack.read(&c, 1); });
    expectEmptyStack([&] { stack.write("x", 1); });
    expectEmptyStack([&] { stack.write(Ka::String("x")); });
    expectEmptyStack([&] { stack.readAll(); });
    expectEmptyStack([&] { stack.getTop(); });
    expectEmptyStack([&] { stack.getStream(); });
    expectEmptyStack([&] { stack.getSize(); });
    expectEmptyStack([&] { stack.close(); });
    expectEmptyStack([&] { stack.getLocation(); });
    Log log;
    expectEmptyStack([&] { stack.addFilter<LoggedFilter>(log, "f"); });
    EXPECT_TRUE(log.empty()); // no filter was built
    stack.setStream(nullptr);
    EXPECT_TRUE(stack.isEmpty());
}

TEST(StreamStack, PopFilterRemovesTopThenBase) {
    Log log;
    Ka::StreamStack stack;
    stack.popFilter(); // empty: nothing happens
    stack.setStream(new LoggedBuf(log, "base"));
    stack.addFilter<LoggedFilter>(log, "f");
    stack.popFilter();
    EXPECT_EQ((Log{"~f"}), log);
    EXPECT_EQ("f", str(static_cast<Ka::MemBuf *>(stack.getTop())->getString()));
    stack.popFilter();
    EXPECT_EQ((Log{"~f", "~base"}), log);
    EXPECT_TRUE(stack.isEmpty());
    // An emptied stack takes a new base.
    stack.setStream(new LoggedBuf(log, "again"));
    EXPECT_TRUE(stack.hasStream());
}

TEST(StreamStack, ClearDeletesTopDownAndAllowsANewBase) {
    Log log;
    Ka::StreamStack stack(new LoggedBuf(log, "base"));
    stack.addFilter<LoggedFilter>(log, "a");
    stack.addFilter<LoggedFilter>(log, "b");
    stack.clear();
    EXPECT_EQ((Log{"write a", "~b", "~a", "~base"}), log);
    EXPECT_TRUE(stack.isEmpty());
    stack.setStream(new LoggedBuf(log, "next"));
    EXPECT_EQ(0, stack.getSize());
}

} // namespace
