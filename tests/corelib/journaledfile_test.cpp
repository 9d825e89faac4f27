// Ka::JournaledFile: reads of changes not yet committed, the journal's bytes,
// recovery and its refusal of damaged journals, every state a crash can
// leave, failing disks, and the journal's file on disk.
#include "ka/exception.h"
#include "ka/file.h"
#include "ka/journaledfile.h"
#include "support/bytes.h"
#include "support/checks.h"
#include "support/crashstates.h"
#include "support/tempdir.h"
#include "support/watchedfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <zlib.h>

namespace {

using support::DiskState;
using support::FileEvent;
using support::MemoryFiles;
using support::WatchedFiles;

std::string pattern(size_t n, int iSeed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char('A' + (i * 7 + size_t(iSeed)) % 26);
    return s;
}

std::string readAll(Ka::Stream &r) {
    r.setPos(0);
    return support::toStd(r.readAll());
}

void writeAt(Ka::Stream &r, int iAt, const std::string &s) {
    r.setPos(iAt);
    r.write(s.data(), int(s.size()));
}

std::string le(uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += char(v >> (8 * i));
    return s;
}

// The files as a state, with a journal that is there but invalid counted
// as no journal.
bool sameData(MemoryFiles &rFiles, const std::string &sData) {
    return rFiles.state().sData == sData;
}

TEST(JournaledFile, ReadsSeeChangesUntilCommitOrDiscard) {
    const std::string sBase = pattern(3000);
    MemoryFiles files(DiskState{sBase, std::nullopt});
    Ka::JournaledFile jf(files, 64);
    std::string sModel = sBase;
    writeAt(jf, 100, "abc");
    sModel.replace(100, 3, "abc");
    jf.setSize(5000);
    sModel.resize(5000, '\0');
    writeAt(jf, 4990, "end");
    sModel.replace(4990, 3, "end");
    EXPECT_EQ(readAll(jf), sModel);
    EXPECT_TRUE(jf.hasChanges());
    EXPECT_TRUE(sameData(files, sBase)); // nothing reaches the file before the commit
    jf.discard();
    EXPECT_FALSE(jf.hasChanges());
    EXPECT_EQ(readAll(jf), sBase);

    // Cut bytes read as zeros when the file grows again, also in a page the
    // change never wrote.
    sModel = sBase;
    writeAt(jf, 60, "xy");
    sModel.replace(60, 2, "xy");
    jf.setSize(61);
    jf.setSize(1000);
    sModel.resize(61);
    sModel.resize(1000, '\0');
    writeAt(jf, 500, "z");
    sModel[500] = 'z';
    EXPECT_EQ(readAll(jf), sModel);
    jf.commit();
    EXPECT_FALSE(jf.hasChanges());
    EXPECT_TRUE(sameData(files, sModel));
    EXPECT_EQ(readAll(jf), sModel);
    // The journal stays, invalid: its header is zero.
    ASSERT_TRUE(files.state().sJournal);
    EXPECT_EQ(files.state().sJournal->substr(0, 32), std::string(32, '\0'));
    jf.commit(); // nothing to do
    EXPECT_TRUE(sameData(files, sModel));

    // Positions from the end as a file's: past it, the value not subtracted.
    jf.setPosEnd(-10);
    EXPECT_EQ(jf.tell(), 990);
    jf.setPosEnd(5);
    EXPECT_EQ(jf.tell(), 1005);
    jf.write("q", 1);
    sModel += std::string(5, '\0') + "q";
    EXPECT_EQ(readAll(jf), sModel);
}

// The journal as docs/journal-format.md describes it, with zlib's CRC-32 as
// the outside answer for the checksum.
TEST(JournaledFile, JournalBytesAsDocumented) {
    const std::string sBase = pattern(300);
    WatchedFiles files(std::make_unique<MemoryFiles>(DiskState{sBase, std::nullopt}));
    Ka::JournaledFile jf(files, 100);
    writeAt(jf, 10, "ab");    // page 0
    writeAt(jf, 250, "cd");   // page 2
    writeAt(jf, 295, "efgh"); // page 2 again
    writeAt(jf, 330, "i");    // page 3: past the old end, nothing to save
    jf.commit();

    std::string sJournal;
    for (const FileEvent &e : files.getEvents())
        if (e.eKind == FileEvent::Write && e.iFile == FileEvent::kJournal && sJournal.empty())
            sJournal = e.sBytes;
    const std::string sRecords =
        le(0, 8) + le(100, 4) + sBase.substr(0, 100) + le(200, 8) + le(100, 4) + sBase.substr(200);
    std::string sHead = "KaJournl" + le(1, 4) + le(2, 4) + le(300, 8) + le(sRecords.size(), 4);
    uLong iCrc = crc32(0, reinterpret_cast<const Bytef *>(sHead.data()), uInt(sHead.size()));
    iCrc = crc32(iCrc, reinterpret_cast<const Bytef *>(sRecords.data()), uInt(sRecords.size()));
    EXPECT_EQ(sJournal, sHead + le(iCrc, 4) + sRecords);

    // Journal first, made durable; then the file grown, written and synced;
    // last the journal's header zeroed and synced.
    std::vector<std::string> lOrder;
    for (const FileEvent &e : files.getEvents())
        lOrder.push_back(std::to_string(e.iFile) + "/" + std::to_string(e.eKind));
    const std::vector<std::string> lExpected = {"1/3", "1/0", "1/2", "0/1", "0/0",
                                                "0/0", "0/2", "1/0", "1/2"};
    EXPECT_EQ(lOrder, lExpected);
    std::string sModel = sBase;
    sModel.replace(10, 2, "ab");
    sModel.replace(250, 2, "cd");
    sModel.resize(331, '\0');
    sModel.replace(295, 4, "efgh");
    sModel[330] = 'i';
    EXPECT_EQ(files.getEvents()[3].iSize, 331);
    EXPECT_EQ(readAll(files.inner().data()), sModel);
}

// A journal written by a commit that was cut short after the journal was
// synced: recovery restores the old bytes and size; a damaged or cut copy
// of the journal is refused and the file left alone.
TEST(JournaledFile, RecoveryRestoresAndRefusesDamagedJournals) {
    const std::string sBase = pattern(1000);
    WatchedFiles files(std::make_unique<MemoryFiles>(DiskState{sBase, std::nullopt}));
    Ka::JournaledFile jf(files, 128);
    writeAt(jf, 5, std::string(300, 'x'));
    writeAt(jf, 900, std::string(300, 'y'));
    jf.commit();
    const std::string sAfter = readAll(files.inner().data());
    // The state just before the journal was invalidated.
    std::string sJournal;
    for (const FileEvent &e : files.getEvents())
        if (e.eKind == FileEvent::Write && e.iFile == FileEvent::kJournal && sJournal.empty())
            sJournal = e.sBytes;
    ASSERT_GT(sJournal.size(), 32u);

    auto recovered = [&](const std::string &sHot, bool &rDid) {
        MemoryFiles hot(DiskState{sAfter, sHot});
        Ka::JournaledFile again(hot, 128);
        rDid = again.recover();
        EXPECT_EQ(again.getSize(), int(hot.state().sData.size()));
        return hot.state().sData;
    };
    bool bDid = false;
    EXPECT_EQ(recovered(sJournal, bDid), sBase);
    EXPECT_TRUE(bDid);
    // Trailing bytes of an older, longer journal do not count.
    EXPECT_EQ(recovered(sJournal + "older journal", bDid), sBase);
    EXPECT_TRUE(bDid);
    for (size_t i = 0; i < sJournal.size(); i += (i < 64 ? 1 : 37)) {
        std::string sBad = sJournal;
        sBad[i] = char(sBad[i] ^ 0x01);
        EXPECT_EQ(recovered(sBad, bDid), sAfter) << i;
        EXPECT_FALSE(bDid) << i;
        EXPECT_EQ(recovered(sJournal.substr(0, i), bDid), sAfter) << i;
        EXPECT_FALSE(bDid) << i;
    }
    // Fields that contradict themselves are refused even with a checksum
    // that holds: records past the old end, a negative old size, a count
    // that does not fill the record bytes.
    auto sealed = [](std::string sHead, const std::string &sRecords) {
        uLong iCrc = crc32(0, reinterpret_cast<const Bytef *>(sHead.data()), 28);
        iCrc = crc32(iCrc, reinterpret_cast<const Bytef *>(sRecords.data()), uInt(sRecords.size()));
        return sHead + le(iCrc, 4) + sRecords;
    };
    const std::string sRecord = le(990, 8) + le(20, 4) + std::string(20, 'r');
    for (const auto &[iCount, iOldSize] :
         std::vector<std::pair<uint64_t, uint64_t>>{{1, 1000}, {1, uint64_t(-5)}, {2, 2000}}) {
        const std::string sForged =
            sealed("KaJournl" + le(1, 4) + le(iCount, 4) + le(iOldSize, 8) + le(sRecord.size(), 4),
                   sRecord);
        EXPECT_EQ(recovered(sForged, bDid), sAfter) << iCount << " " << iOldSize;
        EXPECT_FALSE(bDid);
    }
    const std::string sGood =
        sealed("KaJournl" + le(1, 4) + le(1, 4) + le(1010, 8) + le(sRecord.size(), 4), sRecord);
    std::string sExpected = sAfter.substr(0, 1010);
    sExpected.replace(990, 20, std::string(20, 'r'));
    EXPECT_EQ(recovered(sGood, bDid), sExpected);
    EXPECT_TRUE(bDid);

    // Recovery comes before any write.
    MemoryFiles busy(DiskState{sBase, sJournal});
    Ka::JournaledFile written(busy, 128);
    writeAt(written, 0, "x");
    EXPECT_THROW(written.recover(), Ka::ExceptionBase);
}

// Random changes of random files, committed; every state a crash can leave
// on the way recovers to the file before or the file after, byte for byte.
TEST(JournaledFile, EveryCrashStateRecoversToBeforeOrAfter) {
    std::mt19937 rng(20240611);
    int iStates = 0, iBefore = 0, iAfter = 0;
    for (int iRound = 0; iRound < 200; ++iRound) {
        const int iPage = std::vector<int>{1, 7, 64, 512, 1024}[size_t(iRound % 5)];
        const std::string sBase = pattern(size_t(rng() % 9000), iRound);
        // A journal left from an earlier commit, invalid, on every other round.
        std::optional<std::string> sOldJournal;
        if (iRound % 2)
            sOldJournal = std::string(32, '\0') + pattern(rng() % 3000, 99);
        const DiskState before{sBase, sOldJournal};
        WatchedFiles files(std::make_unique<MemoryFiles>(before));
        Ka::JournaledFile jf(files, iPage);
        for (int iChange = int(rng() % 6); iChange >= 0; --iChange) {
            const int iSize = jf.getSize();
            if (rng() % 4 == 0) {
                jf.setSize(int(rng() % uint32_t(iSize + 2000)));
            } else {
                const int iAt = int(rng() % uint32_t(iSize + 1));
                writeAt(jf, iAt, pattern(1 + rng() % 3000, iChange + 1));
            }
        }
        const std::string sAfter = readAll(jf);
        jf.commit();
        ASSERT_EQ(readAll(files.inner().data()), sAfter);
        iStates += support::forEachCrashState(
            before, files.getEvents(), rng, 6, [&](const DiskState &state) {
                MemoryFiles crashed(state);
                Ka::JournaledFile reopened(crashed, iPage);
                reopened.recover();
                const std::string sNow = crashed.state().sData;
                ASSERT_TRUE(sNow == sBase || sNow == sAfter) << iRound;
                iBefore += sNow == sBase;
                iAfter += sNow == sAfter;
                // A second recovery finds nothing left to do.
                EXPECT_FALSE(reopened.recover());
            });
    }
    std::printf("journaled file: %d crash states checked, %d before, %d after\n", iStates, iBefore,
                iAfter);
    EXPECT_GT(iStates, 2000);
    EXPECT_GT(iBefore, 0);
    EXPECT_GT(iAfter, 0);
}

// Recovery cut short at any point is simply run again: every state it can
// leave recovers to the file before the change.
TEST(JournaledFile, RecoveryCutShortRecoversAgain) {
    const std::string sBase = pattern(6000);
    WatchedFiles files(std::make_unique<MemoryFiles>(DiskState{sBase, std::nullopt}));
    Ka::JournaledFile jf(files, 512);
    writeAt(jf, 700, std::string(2000, 'n'));
    writeAt(jf, 5500, std::string(4000, 'm'));
    jf.commit();
    // The files as the commit left them just before the journal was
    // invalidated: a change cut short after the vault was written.
    {
        DiskState hot{sBase, std::string()};
        const std::vector<FileEvent> &lEvents = files.getEvents();
        for (size_t i = 0; i + 2 < lEvents.size(); ++i) {
            const FileEvent &e = lEvents[i];
            std::string &rFile = e.iFile == FileEvent::kData ? hot.sData : *hot.sJournal;
            if (e.eKind == FileEvent::Write) {
                rFile.resize(std::max(rFile.size(), size_t(e.iOffset) + e.sBytes.size()), '\0');
                rFile.replace(size_t(e.iOffset), e.sBytes.size(), e.sBytes);
            } else if (e.eKind == FileEvent::Resize) {
                rFile.resize(size_t(e.iSize), '\0');
            }
        }
        ASSERT_NE(hot.sData, sBase);
        WatchedFiles recovering(std::make_unique<MemoryFiles>(hot));
        Ka::JournaledFile again(recovering, 512);
        ASSERT_TRUE(again.recover());
        EXPECT_EQ(readAll(recovering.inner().data()), sBase);
        std::mt19937 rng(5);
        const int iStates = support::forEachCrashState(hot, recovering.getEvents(), rng, 8,
                                                       [&](const DiskState &state) {
                                                           MemoryFiles cut(state);
                                                           Ka::JournaledFile third(cut, 512);
                                                           third.recover();
                                                           EXPECT_EQ(cut.state().sData, sBase);
                                                       });
        EXPECT_GT(iStates, 5);
    }
}

// A disk that fails at any byte of a commit: the commit throws, and the file
// holds the last commit's state, at once (a full disk still overwrites) or
// after the next recovery (a broken disk may refuse the undoing too).
TEST(JournaledFile, FailedCommitLeavesTheLastCommit) {
    const std::string sBase = pattern(5000);
    const DiskState before{sBase, std::nullopt};
    auto change = [](Ka::JournaledFile &jf) {
        writeAt(jf, 1000, std::string(2500, 'c'));
        writeAt(jf, 4900, std::string(3000, 'g'));
    };
    int64_t iTotal = 0;
    {
        WatchedFiles files(std::make_unique<MemoryFiles>(before));
        Ka::JournaledFile jf(files, 512);
        change(jf);
        jf.commit();
        for (const FileEvent &e : files.getEvents())
            iTotal += int64_t(e.sBytes.size());
    }
    int iDamaged = 0;
    for (bool bFull : {true, false}) {
        for (int64_t iBudget = 0; iBudget < iTotal; iBudget += 1 + iBudget / 16) {
            auto pMemory = std::make_unique<MemoryFiles>(before);
            MemoryFiles &rMemory = *pMemory;
            WatchedFiles files(std::move(pMemory));
            files.setHook(support::failingDisk(files, iBudget, bFull));
            Ka::JournaledFile jf(files, 512);
            change(jf);
            EXPECT_THROW(jf.commit(), Ka::FileException) << iBudget;
            EXPECT_FALSE(jf.hasChanges());
            files.setHook({});
            if (jf.isDamaged()) {
                ++iDamaged;
                EXPECT_FALSE(bFull) << iBudget;
                EXPECT_THROW(writeAt(jf, 0, "x"), Ka::ExceptionBase);
                EXPECT_THROW(jf.commit(), Ka::ExceptionBase);
                jf.removeJournal(); // kept: it is needed
                Ka::JournaledFile reopened(rMemory, 512);
                EXPECT_TRUE(reopened.recover());
            } else {
                EXPECT_EQ(readAll(jf), sBase) << iBudget;
                writeAt(jf, 0, "after");
                jf.commit();
                EXPECT_EQ(rMemory.state().sData.substr(0, 5), "after");
                continue;
            }
            EXPECT_EQ(rMemory.state().sData, sBase) << iBudget;
        }
    }
    EXPECT_GT(iDamaged, 0);
}

TEST(JournaledFile, DiskFilesKeepTheJournalPrivateAndRemoveIt) {
    support::TempDir dir;
    const std::string sPath = dir.getFilePath("data.bin");
    const std::string sJournal = sPath + "-journal";
    Ka::File data(support::toKa(sPath), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    Ka::JournaledFile::DiskFiles files(data, support::toKa(sJournal));
    EXPECT_EQ(files.journal(false), nullptr);
    Ka::JournaledFile jf(files, 1024);
    EXPECT_FALSE(jf.recover());
    writeAt(jf, 0, pattern(3000));
    const mode_t iOld = ::umask(022);
    jf.commit();
    ::umask(iOld);
    struct stat st;
    ASSERT_EQ(0, ::stat(sJournal.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777u);
    EXPECT_EQ(support::toStd(support::readFile(sPath)), pattern(3000));
    jf.removeJournal();
    EXPECT_FALSE(std::filesystem::exists(sJournal));
    jf.removeJournal(); // none left: nothing to do
    // A folder at the name is no journal: there is none to read, and none
    // can be made there.
    std::filesystem::create_directory(sJournal);
    Ka::JournaledFile::DiskFiles blocked(data, support::toKa(sJournal));
    EXPECT_EQ(blocked.journal(false), nullptr);
    EXPECT_EQ(support::failureOf<Ka::FileException>([&] { blocked.journal(true); }),
              std::make_pair(Ka::JournaledFile::DiskFiles::kForeign + sJournal, EEXIST));
    EXPECT_TRUE(std::filesystem::is_directory(sJournal));
}

} // namespace
