// Ka::File on real files in a temporary folder: opening and its errors,
// reading to the end, positioning, sizes, durability and failures.
#include "ka/exception.h"
#include "ka/file.h"
#include "ka/random.h"
#include "ka/randombasic.h"

#include "support/bytes.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using support::readFile;
using support::toStd;
using support::writeFile;

// Runs fn, which must throw a Ka::FileException with the given code and text.
void expectFileError(const std::function<void()> &fn, int iCode, const std::string &sText) {
    try {
        fn();
        ADD_FAILURE() << "no exception, expected: " << sText;
    } catch (const Ka::FileException &e) {
        EXPECT_EQ(iCode, e.getErrorCode());
        EXPECT_EQ(sText, e.what());
    }
}

std::string sysText(int iErr) {
    return std::strerror(iErr);
}

// The process-wide generator installed fresh and seeded, as two processes
// started in the same second have it.
void freshRandom(int iSeed) {
    Ka::Random::setGenerator<Ka::RandomBasic>();
    Ka::Random::seed(iSeed);
}

class FileTest : public testing::Test {
protected:
    support::TempDir dir;
    std::string path(const char *sName = "f.bin") { return dir.getFilePath(sName); }
    Ka::String kpath(const char *sName = "f.bin") { return Ka::String(path(sName).c_str()); }
};

TEST_F(FileTest, OpenWithoutReadOrWriteIsRefused) {
    for (int iFlags : {Ka::File::Create, 0, Ka::File::Create | Ka::File::Exclusive}) {
        expectFileError([&] { Ka::File f(kpath(), iFlags); }, 0,
                        "You must specify Read, Write, or both when opening a file.");
    }
    EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(FileTest, OpenErrorCarriesSystemTextThenName) {
    expectFileError([&] { Ka::File f(kpath("missing"), Ka::File::Read); }, ENOENT,
                    sysText(ENOENT) + ": " + path("missing"));
    writeFile(path(), Ka::String("x"));
    expectFileError(
        [&] { Ka::File f(kpath(), Ka::File::Write | Ka::File::Create | Ka::File::Exclusive); },
        EEXIST, sysText(EEXIST) + ": " + path());
}

TEST_F(FileTest, ExclusiveWithoutCreateOpensAnExistingFile) {
    writeFile(path(), Ka::String("abc"));
    Ka::File f(kpath(), Ka::File::Read | Ka::File::Exclusive);
    EXPECT_EQ(3, f.getSize());
}

TEST_F(FileTest, NameWithAZeroByteIsRefused) {
    writeFile(path("a"), Ka::String("keep"));
    Ka::String sName(path("a").c_str());
    sName.append("\0b", 2);
    expectFileError([&] { Ka::File f(sName, Ka::File::Write | Ka::File::Truncate); }, EINVAL,
                    sysText(EINVAL) + ": " + path("a"));
    EXPECT_EQ("keep", toStd(readFile(path("a"))));
}

TEST_F(FileTest, NewFilesGetMode0666LessTheUmask) {
    mode_t iOld = ::umask(022);
    { Ka::File f(kpath(), Ka::File::Write | Ka::File::Create); }
    ::umask(iOld);
    struct stat st;
    ASSERT_EQ(0, ::stat(path().c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777u);
}

TEST_F(FileTest, PrivateModeLeavesOthersOut) {
    mode_t iOld = ::umask(022);
    { Ka::File f(kpath(), Ka::File::Write | Ka::File::Create, 0600); }
    ::umask(iOld);
    struct stat st;
    ASSERT_EQ(0, ::stat(path().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
}

// The lock belongs to one open of the file: a second open, even in the same
// process, is refused until the first is closed.
TEST_F(FileTest, LockIsExclusiveUntilClose) {
    auto pFirst =
        std::make_unique<Ka::File>(kpath(), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    EXPECT_TRUE(pFirst->tryLock());
    EXPECT_TRUE(pFirst->tryLock()); // taking it again is no conflict
    Ka::File second(kpath(), Ka::File::Read | Ka::File::Write);
    EXPECT_FALSE(second.tryLock());
    pFirst.reset();
    EXPECT_TRUE(second.tryLock());
    second.close();
    EXPECT_THROW(second.tryLock(), Ka::FileException);
}

TEST_F(FileTest, RemoveAndSyncFolder) {
    writeFile(path(), Ka::String("x"));
    EXPECT_NO_THROW(Ka::File::syncFolderOf(kpath()));
    Ka::File open(kpath(), Ka::File::Read | Ka::File::RegularOnly);
    EXPECT_TRUE(open.isLinked());
    EXPECT_TRUE(Ka::File::remove(kpath()));
    EXPECT_FALSE(open.isLinked());
    EXPECT_FALSE(std::filesystem::exists(path()));
    EXPECT_FALSE(Ka::File::remove(kpath()));
    expectFileError([&] { Ka::File::syncFolderOf(kpath("missing/f.bin")); }, ENOENT,
                    sysText(ENOENT) + ": " + path("missing"));
    writeFile(path("d"), Ka::String("not a folder"));
    EXPECT_THROW(Ka::File::remove(Ka::String((path("d") + "/x").c_str())), Ka::FileException);
}

TEST_F(FileTest, DescriptorIsClosedOnExec) {
    Ka::File f(kpath(), Ka::File::Write | Ka::File::Create);
    int iFound = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == path()) {
            int iFd = std::stoi(entry.path().filename().string());
            EXPECT_TRUE(::fcntl(iFd, F_GETFD) & FD_CLOEXEC);
            ++iFound;
        }
    }
    EXPECT_EQ(1, iFound);
}

TEST_F(FileTest, ReadToTheEndThenSetPosClearsEos) {
    writeFile(path(), Ka::String("hello"));
    Ka::File f(kpath(), Ka::File::Read);
    EXPECT_FALSE(f.isEos());
    char sBuf[16];
    EXPECT_EQ(5, f.read(sBuf, 16));
    EXPECT_FALSE(f.isEos());
    EXPECT_EQ(0, f.read(sBuf, 16));
    EXPECT_TRUE(f.isEos());
    f.setPos(1);
    EXPECT_FALSE(f.isEos());
    EXPECT_EQ("ello", toStd(f.readAll()));
    // A count below 1 reads nothing and does not claim the end.
    f.setPos(0);
    EXPECT_EQ(0, f.read(sBuf, 0));
    EXPECT_EQ(0, f.read(sBuf, -3));
    EXPECT_FALSE(f.isEos());
}

TEST_F(FileTest, WriteReadBackAndPosition) {
    Ka::File f(kpath(), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    EXPECT_EQ(10, f.write("0123456789", 10));
    EXPECT_EQ(10, f.tell());
    f.setPosEnd(0);
    EXPECT_EQ(10, f.tell());
    f.setPosEnd(-3); // a negative value counts back from the end
    EXPECT_EQ(7, f.tell());
    f.seek(-2);
    EXPECT_EQ(5, f.tell());
    EXPECT_EQ(2, f.write(Ka::String("ab")));
    f.setPos(0);
    EXPECT_EQ("01234ab789", toStd(f.readAll()));
    EXPECT_EQ("01234ab789", toStd(readFile(path())));
    // Before the start: the system refuses, and so do we.
    expectFileError([&] { f.seek(-100); }, EINVAL, sysText(EINVAL));
    expectFileError([&] { f.setPos(-1); }, EINVAL, sysText(EINVAL));
    expectFileError([&] { f.setPosEnd(-11); }, EINVAL, sysText(EINVAL));
    EXPECT_EQ(10, f.tell());
    // Past the end, the value not subtracted: a write there leaves a gap of
    // zero bytes, as the system's own seek from the end does.
    f.setPosEnd(2);
    EXPECT_EQ(12, f.tell());
    EXPECT_EQ(1, f.write("!", 1));
    EXPECT_EQ(std::string("01234ab789\0\0!", 13), toStd(readFile(path())));
}

TEST_F(FileTest, TruncateAndAppendFlags) {
    writeFile(path(), Ka::String("old contents"));
    {
        Ka::File f(kpath(), Ka::File::Write | Ka::File::Truncate);
        EXPECT_EQ(0, f.getSize());
        f.write("new", 3);
    }
    {
        Ka::File f(kpath(), Ka::File::Write | Ka::File::Append);
        f.setPos(0);
        f.write("+", 1);
    }
    EXPECT_EQ("new+", toStd(readFile(path())));
}

TEST_F(FileTest, SetSizeGrowsWithZerosAndCuts) {
    Ka::File f(kpath(), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    f.write("abcdef", 6);
    f.setSize(3);
    EXPECT_EQ(3, f.getSize());
    f.setSize(5);
    EXPECT_EQ(5, f.getSize());
    EXPECT_EQ(std::string("abc\0\0", 5), toStd(readFile(path())));
    expectFileError([&] { f.setSize(-1); }, EINVAL, sysText(EINVAL));
    EXPECT_EQ(5, f.getSize());
}

TEST_F(FileTest, SetSizeOnAReadOnlyFileFails) {
    writeFile(path(), Ka::String("abc"));
    Ka::File f(kpath(), Ka::File::Read);
    try {
        f.setSize(0);
        ADD_FAILURE() << "a failed resize reported as success";
    } catch (const Ka::FileException &e) {
        EXPECT_NE(0, e.getErrorCode());
    }
    EXPECT_EQ(3, f.getSize());
}

TEST_F(FileTest, SizesBeyond32BitsAreRefused) {
    Ka::File f(kpath(), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    // A sparse file of 3 GiB, made behind the class's back.
    int iFd = ::open(path().c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_LE(0, iFd);
    ASSERT_EQ(0, ::ftruncate(iFd, off_t(3) << 30));
    ::close(iFd);
    expectFileError([&] { f.getSize(); }, EOVERFLOW, sysText(EOVERFLOW));
    f.setPosEnd(0);
    expectFileError([&] { f.tell(); }, EOVERFLOW, sysText(EOVERFLOW));
    f.setPos(INT_MAX);
    EXPECT_EQ(INT_MAX, f.tell());
    f.setSize(0);
    EXPECT_EQ(0, f.getSize());
}

TEST_F(FileTest, ClosedFileRefusesWork) {
    Ka::File f(kpath(), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    EXPECT_TRUE(f.isOpen());
    f.close();
    EXPECT_FALSE(f.isOpen());
    EXPECT_TRUE(f.isEos());
    f.close(); // a second close does nothing
    char c;
    const std::string sNotOpen = "File not open.";
    expectFileError([&] { f.read(&c, 1); }, 0, sNotOpen);
    expectFileError([&] { f.write("x", 1); }, 0, sNotOpen);
    expectFileError([&] { f.tell(); }, 0, sNotOpen);
    expectFileError([&] { f.seek(1); }, 0, sNotOpen);
    expectFileError([&] { f.setPos(0); }, 0, sNotOpen);
    expectFileError([&] { f.setPosEnd(0); }, 0, sNotOpen);
    expectFileError([&] { f.setSize(0); }, 0, sNotOpen);
    expectFileError([&] { f.getSize(); }, 0, sNotOpen);
    expectFileError([&] { f.sync(); }, 0, sNotOpen);
}

TEST_F(FileTest, ReadFailuresAreNotEndOfFile) {
    writeFile(path(), Ka::String("abc"));
    {
        Ka::File f(kpath(), Ka::File::Write);
        char c;
        expectFileError([&] { f.read(&c, 1); }, EBADF, sysText(EBADF));
        EXPECT_FALSE(f.isEos());
    }
    Ka::File d(Ka::String(dir.getPath().c_str()), Ka::File::Read);
    char c;
    expectFileError([&] { d.read(&c, 1); }, EISDIR, sysText(EISDIR));
}

TEST_F(FileTest, WriteFailureOnAFullDevice) {
    Ka::File f(Ka::String("/dev/full"), Ka::File::Write);
    expectFileError([&] { f.write("abc", 3); }, ENOSPC, sysText(ENOSPC));
}

TEST_F(FileTest, SyncMakesDataDurableAndReportsFailure) {
    Ka::File f(kpath(), Ka::File::Write | Ka::File::Create);
    f.write("abc", 3);
    f.sync();
    f.flush();
    int aPipe[2];
    ASSERT_EQ(0, ::pipe(aPipe));
    ::close(aPipe[1]);
    Ka::File p(aPipe[0]);
    expectFileError([&] { p.sync(); }, EINVAL, sysText(EINVAL));
}

TEST_F(FileTest, WrappedDescriptorIsOwnedAndNonBlockingReadGivesNothing) {
    int aPipe[2];
    ASSERT_EQ(0, ::pipe2(aPipe, O_NONBLOCK | O_CLOEXEC));
    {
        Ka::File r(aPipe[0]);
        EXPECT_FALSE(r.isEos());
        char c;
        EXPECT_EQ(0, r.read(&c, 1)); // nothing there yet: not the end
        EXPECT_FALSE(r.isEos());
        ASSERT_EQ(1, ::write(aPipe[1], "z", 1));
        EXPECT_EQ(1, r.read(&c, 1));
        EXPECT_EQ('z', c);
        ::close(aPipe[1]);
        EXPECT_EQ(0, r.read(&c, 1)); // writer gone: the end
        EXPECT_TRUE(r.isEos());
    }
    EXPECT_EQ(-1, ::fcntl(aPipe[0], F_GETFD));
}

TEST_F(FileTest, SetBlockingIsAStub) {
    Ka::File f(kpath(), Ka::File::Write | Ka::File::Create);
    testing::internal::CaptureStderr();
    f.setBlocking(false);
    EXPECT_EQ("STUB: Ka::File::setBlocking\n", testing::internal::GetCapturedStderr());
    EXPECT_TRUE(f.isBlocking());
    EXPECT_EQ(4096, f.getBlockSize());
    EXPECT_EQ("to be implemented", toStd(f.getLocation()));
}

// The letters come from the kernel, not from the seeded generator, whose
// draws another user could foresee and whose names he could take first.
TEST_F(FileTest, TempFileReplacesTrailingXsWithLetters) {
    std::string sPrefix = path("tmp-");
    std::vector<std::string> lNames;
    for (int iRun = 0; iRun < 2; ++iRun) {
        freshRandom(12345);
        Ka::String sTemplate((sPrefix + "XXXX").c_str());
        Ka::File f = Ka::File::tempFile(sTemplate);
        lNames.push_back(toStd(sTemplate));
        const std::string &sName = lNames.back();
        ASSERT_EQ(sPrefix.size() + 4, sName.size());
        for (size_t i = sPrefix.size(); i < sName.size(); ++i)
            EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(sName[i]))) << sName;
        EXPECT_TRUE(std::filesystem::exists(sName));
        EXPECT_EQ(0, f.getSize());
        f.write("data", 4); // opened for reading and writing
        f.setPos(0);
        EXPECT_EQ("data", toStd(f.readAll()));
        std::filesystem::remove(sName);
    }
    // The same in 52^4 draws only.
    EXPECT_NE(lNames[0], lNames[1]);
}

// With one free name of the 52 a single X can take, that one is found, and
// no taken one is opened.
TEST_F(FileTest, TempFileNeverReusesAnExistingFile) {
    std::string sPrefix = path("t");
    std::string sFree;
    for (char c = 'A'; c <= 'z'; ++c) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            continue;
        if (c == 'q')
            sFree = sPrefix + c;
        else
            writeFile(sPrefix + c, Ka::String("taken"));
    }
    Ka::String sTemplate((sPrefix + "X").c_str());
    Ka::File f = Ka::File::tempFile(sTemplate);
    EXPECT_EQ(sFree, toStd(sTemplate));
    for (const auto &entry : std::filesystem::directory_iterator(dir.getPath())) {
        if (entry.path() != sFree) {
            EXPECT_EQ("taken", toStd(readFile(entry.path()))) << entry.path();
        }
    }
}

TEST_F(FileTest, TempFileTemplateErrors) {
    for (const char *sBad : {"", "abc", "XXXa", "X.tmp"}) {
        Ka::String sTemplate(sBad);
        try {
            Ka::File::tempFile(sTemplate);
            ADD_FAILURE() << "accepted " << sBad;
        } catch (const Ka::FileException &) {
            ADD_FAILURE() << "wrong exception class for " << sBad;
        } catch (const Ka::ExceptionBase &e) {
            EXPECT_STREQ("Invalid temporary filename template.", e.what());
        }
        EXPECT_EQ(sBad, toStd(sTemplate));
    }
    // Only X characters: the whole name is letters.
    std::filesystem::path oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.getPath());
    Ka::String sAll("XXXXXX");
    Ka::File f = Ka::File::tempFile(sAll);
    std::filesystem::current_path(oldCwd);
    EXPECT_TRUE(std::filesystem::exists(dir.getFilePath(toStd(sAll))));
}

TEST_F(FileTest, TempFileGivesUpAfterAThousandTries) {
    Ka::String sTemplate(path("no-such-folder/tXXXX").c_str());
    expectFileError([&] { Ka::File::tempFile(sTemplate); }, 0,
                    "Failed to create unique temporary file after 1000 iterations.");
}

} // namespace
