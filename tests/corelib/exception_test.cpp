// Ka::ExceptionBase and its subclasses: codes, formatted messages, copies.
#include "ka/exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Exception, CodeAndText) {
    Ka::ExceptionBase e("Index out of range.");
    EXPECT_EQ(0, e.getErrorCode());
    EXPECT_STREQ("Index out of range.", e.what());
    Ka::TessaryException t(3, "We can only handle 32-bit words at the moment.");
    EXPECT_EQ(3, t.getErrorCode());
    EXPECT_STREQ("We can only handle 32-bit words at the moment.", t.what());
    Ka::FileException f(7);
    EXPECT_EQ(7, f.getErrorCode());
    EXPECT_STREQ("", f.what());
    Ka::UnsupportedException u;
    EXPECT_EQ(0, u.getErrorCode());
    EXPECT_STREQ("An unsupperted operation was attempted.", u.what());
}

TEST(Exception, LongMessagesAreKeptWhole) {
    std::string sName(10000, 'n');
    Ka::FileException e(2, "%s: %s", sName.c_str(), "No such file");
    EXPECT_EQ(sName + ": No such file", e.what());
    EXPECT_EQ(2, e.getErrorCode());
}

TEST(Exception, CopiesOwnTheirText) {
    Ka::HashException *pSource = new Ka::HashException(4, "value %d", 42);
    Ka::HashException copy(*pSource);
    delete pSource;
    EXPECT_STREQ("value 42", copy.what());
    EXPECT_EQ(4, copy.getErrorCode());
    Ka::ExceptionBase assigned(1);
    assigned = copy;
    EXPECT_STREQ("value 42", assigned.what());
    assigned = Ka::ExceptionBase(9);
    EXPECT_STREQ("", assigned.what());
    copy.setWhat("replaced");
    EXPECT_STREQ("replaced", copy.what());
}

TEST(Exception, ThrowHelpers) {
    auto caught = [](void (*f)()) {
        try {
            f();
        } catch (const Ka::HashException &e) {
            return "Hash:" + std::to_string(e.getErrorCode()) + ":" + e.what();
        } catch (const Ka::ExceptionBase &e) {
            return "Base:" + std::to_string(e.getErrorCode()) + ":" + e.what();
        }
        return std::string();
    };
    EXPECT_EQ("Hash:0:Referenced position invalid.", caught(Ka::throwReferencedPositionInvalid));
    EXPECT_EQ("Base:0:Attempt to read first element from empty list.",
              caught(Ka::throwEmptyListFirst));
    EXPECT_EQ("Hash:0:No data assosiated with that key.", caught(Ka::throwNoDataForKey));
    EXPECT_EQ("Base:0:Not a valid iterator.", caught(Ka::throwInvalidIterator));
}

} // namespace
