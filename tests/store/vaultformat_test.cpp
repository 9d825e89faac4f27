// The vault file from outside: Crypto++ and zlib read what the store wrote
// and write what the store reads; damaged, cut and foreign files and a
// failing disk end in Ka exceptions and never change a refused file.
#include "store/notestore.h"

#include "ka/exception.h"
#include "ka/file.h"
#include "ka/tessary.h"
#include "support/checks.h"
#include "support/failingstream.h"
#include "vaulttest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vaulttest;
using support::messageOf;

const char *const kPass = "correct horse";

std::unique_ptr<NoteStore> openVault(const std::string &sPath, const std::string &sPass = kPass) {
    return std::make_unique<NoteStore>(kstr(sPath), kstr(sPass));
}

std::string le32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string lenPrefixed(const std::string &s) {
    return le32(uint32_t(s.size())) + s;
}

uint32_t readLe32(const std::string &s, size_t iPos) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(s.at(iPos + size_t(i)));
    return v;
}

class VaultOracle : public testing::TestWithParam<std::string> {};

// Stream 1 decrypted with Crypto++ and inflated with zlib holds the fields
// where the format puts them; the note stream and meta blob likewise.
TEST_P(VaultOracle, ReadsWhatTheStoreWrote) {
    const std::string sPass = GetParam();
    VaultFile vault;
    const Ka::Uuid id = Ka::Uuid::generate();
    std::string sMeta;
    {
        auto pStore = openVault(vault.sPath, sPass);
        pStore->createNote(id, kstr("Ada"), kstr("html"), content("<p>hi</p>").get());
        pStore->setHeader("syncId", new Vrel::String("S1"));
        testing::internal::CaptureStdout();
        sMeta = str(pStore->getNoteMeta(id));
        testing::internal::GetCapturedStdout();
    }
    const auto hStreams = readContainer(vault.bytes());
    ASSERT_EQ(hStreams.size(), 3u);
    const std::string &sHeader = hStreams.at(1);
    ASSERT_EQ(sHeader[0], '\x01');
    ASSERT_EQ((sHeader.size() - 1) % 8, 0u);

    const std::string sKey = oracle::vaultKey(sPass);
    const std::string sPlain = oracle::cfb(sKey, oracle::vaultIv(sKey), sHeader.substr(1), false);
    EXPECT_EQ(readLe32(sPlain, 8), ~readLe32(sPlain, 12));
    EXPECT_EQ(sPlain[16], '\x01');
    size_t iUsed = 0;
    const std::string sInflated = oracle::inflate(sPlain.substr(17), &iUsed);
    const std::string sDict = "\x06" + le32(1) + lenPrefixed("syncId") + "\x02" + lenPrefixed("S1");
    const std::string sTable = le32(1) + str(id.getRaw()) + le32(2) + le32(0) + "\x01" +
                               lenPrefixed("Ada") + lenPrefixed("html");
    EXPECT_EQ(sInflated, sDict + sTable);
    const size_t iEnd = 17 + iUsed;
    EXPECT_EQ(sPlain.substr(iEnd, (8 - iEnd % 8) % 8), std::string((8 - iEnd % 8) % 8, '\0'));

    Vrel::Dictionary meta;
    meta.insert("name", "Ada");
    meta.insert("type", "html");
    EXPECT_EQ(oracleOpen(sPass, sMeta), vrelBytes(meta));
    EXPECT_EQ(oracleOpen(sPass, hStreams.at(2)), vrelBytes(*content("<p>hi</p>")));
}

// A note sealed by Crypto++ and zlib, with its meta blob, imports and loads.
TEST_P(VaultOracle, ReadsWhatTheOracleWrote) {
    const std::string sPass = GetParam();
    VaultFile vault;
    const Ka::Uuid id = Ka::Uuid::generate();
    Vrel::Dictionary meta;
    meta.insert("name", "Grüße");
    meta.insert("type", "html");
    const std::string sData = oracleSeal(sPass, vrelBytes(*content("<i>outside</i>")));
    const std::string sMeta = oracleSeal(sPass, vrelBytes(meta));
    auto pStore = openVault(vault.sPath, sPass);
    testing::internal::CaptureStdout();
    pStore->importNote(id, QByteArray(sData.data(), qsizetype(sData.size())),
                       QByteArray(sMeta.data(), qsizetype(sMeta.size())), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(htmlOf(pStore->loadNote(id)), "<i>outside</i>");
    EXPECT_EQ(str(pStore->getNoteName(id)), "Grüße");
    EXPECT_EQ(str(pStore->getNoteData(id)), sData);
}

// Crypto++ takes Blowfish keys of up to 56 bytes: passwords up to 36.
INSTANTIATE_TEST_SUITE_P(Passwords, VaultOracle,
                         testing::Values("", "secret", "pässwörd ✓", std::string(36, 'p')));

// A version byte other than 1 is named before the password is checked.
TEST(VaultFormat, VersionByteIsCheckedFirst) {
    VaultFile vault;
    openVault(vault.sPath);
    std::string sFile = vault.bytes();
    const size_t iAt = sFile.find(readContainer(sFile).at(1).substr(0, 24));
    ASSERT_NE(iAt, std::string::npos);
    sFile[iAt] = '\x02';
    vault.setBytes(sFile);
    EXPECT_EQ(messageOf([&] { openVault(vault.sPath); }), "Unrecognized Vault version.");
    EXPECT_EQ(messageOf([&] { openVault(vault.sPath, "wrong"); }), "Unrecognized Vault version.");
    EXPECT_EQ(vault.bytes(), sFile);
}

// A container as the store would make one, holding its table and, when
// iStream is above 0, that stream.
void writeContainer(const std::string &sPath, int iStream) {
    Ka::File file(kstr(sPath), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    Ka::Tessary container(file, 1024, 2);
    if (iStream > 0)
        container.createStreamWithId(iStream, 1);
}

TEST(VaultFormat, ForeignAndShortFilesAreRefusedUntouched) {
    VaultFile vault;
    // A container with streams but without the vault header is no vault.
    writeContainer(vault.sPath, 2);
    const std::string sForeign = vault.bytes();
    EXPECT_EQ(support::failureOf<Ka::TessaryException>([&] { openVault(vault.sPath); }).second, 4);
    EXPECT_EQ(vault.bytes(), sForeign);

    const std::string sNotTessary = "Stream does not appear to be a valid Tessary format.";
    for (const std::string &sFile : {std::string("a"), std::string("\0\0\0", 3),
                                     std::string("\x0a\xd3\xfa", 3), std::string(5000, 'x')}) {
        vault.setBytes(sFile);
        EXPECT_EQ(messageOf([&] { openVault(vault.sPath); }), sNotTessary);
        EXPECT_EQ(vault.bytes(), sFile);
    }
}

// A container that holds nothing but its table of streams (a vault cut off
// before its header was written) becomes a new vault with the password given.
TEST(VaultFormat, AnEmptyContainerBecomesANewVault) {
    VaultFile vault;
    writeContainer(vault.sPath, 0);
    openVault(vault.sPath)
        ->createNote(Ka::Uuid::generate(), kstr("n"), kstr("html"), content("x").get());
    EXPECT_EQ(openVault(vault.sPath)->getNoteCount(), 1);
    EXPECT_EQ(messageOf([&] { openVault(vault.sPath, "other"); }), "Invalid check code.");
}

// A table that names stream 0 alone, as one damaged block can make it, over
// blocks that hold data is refused whatever the password and left as it is:
// only a container that truly holds nothing but its table becomes a vault.
TEST(VaultFormat, ADamagedTableNamingOnlyItselfIsRefused) {
    VaultFile vault;
    {
        auto pStore = openVault(vault.sPath);
        for (const char *sName : {"a", "b", "c"})
            pStore->createNote(Ka::Uuid::generate(), kstr(sName), kstr("html"),
                               content(sName).get());
    }
    const std::string sGood = vault.bytes();
    std::string sDamaged = sGood;
    sDamaged.replace(10, 4, le32(1));
    for (const char *sPass : {kPass, "wrong"}) {
        vault.setBytes(sDamaged);
        EXPECT_EQ(
            support::failureOf<Ka::TessaryException>([&] { openVault(vault.sPath, sPass); }).second,
            1);
        EXPECT_EQ(vault.bytes(), sDamaged);
    }
    vault.setBytes(sGood);
    EXPECT_EQ(openVault(vault.sPath)->getNoteCount(), 3);

    // A bare container with one byte of data in a free block, or past its
    // last whole block.
    std::filesystem::remove(vault.sPath);
    writeContainer(vault.sPath, 0);
    std::string sInFreeBlock = vault.bytes();
    const std::string sPastBlocks = sInFreeBlock + "x";
    sInFreeBlock.at(2500) = 'x';
    for (const std::string &sStray : {sInFreeBlock, sPastBlocks}) {
        vault.setBytes(sStray);
        EXPECT_THROW(openVault(vault.sPath), Ka::TessaryException);
        EXPECT_EQ(vault.bytes(), sStray);
    }
}

// Builds a vault of two short notes; returns the ids.
std::vector<Ka::Uuid> smallVault(const std::string &sPath) {
    std::vector<Ka::Uuid> lIds = {Ka::Uuid::generate(), Ka::Uuid::generate()};
    auto pStore = openVault(sPath);
    pStore->createNote(lIds[0], kstr("one"), kstr("html"), content("<p>1</p>").get());
    pStore->createNote(lIds[1], kstr("two"), kstr("html"), content("<p>2</p>").get());
    pStore->setHeader("syncId", new Vrel::String("S"));
    return lIds;
}

// Opens a damaged copy and reads everything; a refusal must be a Ka
// exception, and the file's bytes must stay as they were either way.
// Returns whether it opened.
bool openDamaged(const VaultFile &vault, const std::string &sDamaged) {
    vault.setBytes(sDamaged);
    bool bOpened = false;
    try {
        auto pStore = openVault(vault.sPath);
        bOpened = true;
        const Ka::List<Ka::Uuid> lIds = pStore->getNoteIds();
        for (const Ka::Uuid &id : lIds) {
            delete pStore->loadNote(id);
            pStore->getNoteName(id);
        }
    } catch (const Ka::ExceptionBase &) {
    }
    EXPECT_EQ(vault.bytes(), sDamaged);
    return bOpened;
}

// Positions worth damaging: every byte a stream holds, and every 61st byte
// of the rest.
std::vector<size_t> livePositions(const std::string &sFile) {
    std::vector<bool> lLive(sFile.size(), false);
    for (const auto &[iId, sData] : readContainer(sFile)) {
        size_t iAt = sFile.find(sData.substr(0, std::min<size_t>(sData.size(), 32)));
        for (size_t i = 0; iAt != std::string::npos && i < std::min<size_t>(sData.size(), 1024);
             ++i)
            lLive[iAt + i] = true;
    }
    std::vector<size_t> lPos;
    for (size_t i = 0; i < sFile.size(); ++i)
        if (lLive[i] || i % 61 == 0)
            lPos.push_back(i);
    return lPos;
}

TEST(VaultFormat, DamagedFilesOpenOrAreRefused) {
    VaultFile vault;
    smallVault(vault.sPath);
    const std::string sGood = vault.bytes();
    const std::vector<size_t> lPos = livePositions(sGood);
    int iOpened = 0;
    for (size_t i : lPos) {
        iOpened += openDamaged(vault, str(support::flipByte(kstr(sGood), int(i))));
        iOpened += openDamaged(vault, str(support::flipByte(kstr(sGood), int(i), 0x10)));
    }
    for (size_t i : lPos)
        if (i > 0)
            iOpened += openDamaged(vault, sGood.substr(0, i));
    for (size_t i = 0; i < sGood.size(); i += 64) {
        std::string sZeroed = sGood;
        sZeroed.replace(i, 64, 64, '\0');
        iOpened += openDamaged(vault, sZeroed);
    }
    for (size_t i = 0; i < sGood.size(); i += 1024) {
        std::string sZeroed = sGood;
        sZeroed.replace(i, 1024, 1024, '\0');
        iOpened += openDamaged(vault, sZeroed);
    }
    // Damage in unused bytes is harmless: some copies must still open.
    EXPECT_GT(iOpened, 0);
}

// Headers that decrypt and inflate but hold the wrong things. A note table
// that names the container's own streams, a missing stream or one stream
// twice would let later writes destroy other data.
TEST(VaultFormat, ForgedHeadersAreRefused) {
    VaultFile vault;
    const std::vector<Ka::Uuid> lIds = smallVault(vault.sPath);
    const std::string sGood = vault.bytes();
    const std::string sStream = readContainer(sGood).at(1);
    const std::string sKey = oracle::vaultKey(kPass);
    const std::string sPlain = oracle::cfb(sKey, oracle::vaultIv(sKey), sStream.substr(1), false);
    const std::string sInflated = oracle::inflate(sPlain.substr(17));
    const auto refusal = [&](const std::string &sForged) {
        std::string sNew = sPlain.substr(0, 17) + oracle::deflate(sForged);
        sNew.resize((sNew.size() + 7) / 8 * 8, '\0');
        const std::string sCipher = "\x01" + oracle::cfb(sKey, oracle::vaultIv(sKey), sNew, true);
        EXPECT_LE(sCipher.size(), sStream.size());
        std::string sFile = sGood;
        sFile.replace(sGood.find(sStream), sCipher.size(), sCipher);
        vault.setBytes(sFile);
        const std::string sMessage = messageOf([&] { openVault(vault.sPath); });
        EXPECT_EQ(vault.bytes(), sFile);
        return sMessage;
    };

    const size_t iStreamField = sInflated.find(str(lIds[0].getRaw())) + 16;
    ASSERT_GT(iStreamField, 16u);
    const uint32_t iOther = readLe32(sInflated, sInflated.find(str(lIds[1].getRaw())) + 16);
    for (uint32_t iStream : {0u, 1u, 9u, iOther}) {
        std::string sTable = sInflated;
        sTable.replace(iStreamField, 4, le32(iStream));
        // A stream named twice is reported at whichever of the two notes the
        // table lists second; the table's order follows the hash slots.
        const std::string sMessage = refusal(sTable);
        const bool bNamesNote =
            sMessage.rfind("The note table is damaged: note " + str(lIds[0].toString()), 0) == 0 ||
            (iStream == iOther &&
             sMessage.rfind("The note table is damaged: note " + str(lIds[1].toString()), 0) == 0);
        EXPECT_TRUE(bNamesNote) << iStream << ": " << sMessage;
        EXPECT_NE(sMessage.find(" names stream "), std::string::npos) << sMessage;
    }
    EXPECT_EQ(refusal(""), "The vault header holds no dictionary.");
    EXPECT_EQ(refusal(std::string("\x05\0\0\0\0", 5)), "The vault header holds no dictionary.");
    EXPECT_EQ(refusal("\x06\x02").rfind("The vault header cannot be read: ", 0), 0u);
    EXPECT_EQ(refusal(sInflated.substr(0, sInflated.size() - 3)),
              "Insufficient data to unarchive object.");
}

// Runs f with standard output captured and dropped (the store's diagnostic
// lines), also when f throws.
template <typename F>
void quietly(F f) {
    testing::internal::CaptureStdout();
    try {
        f();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    testing::internal::GetCapturedStdout();
}

// The vault file's reads fail once iLimit bytes have been read.
class ReadFailing : public SeamStore::Files {
public:
    ReadFailing(std::unique_ptr<SeamStore::Files> pInner, int iLimit)
        : pInner(std::move(pInner)), failing(this->pInner->data(), -1, iLimit) {}
    int getRead() const { return failing.getRead(); }
    Ka::Stream &data() override { return failing; }
    void syncData() override { pInner->syncData(); }
    Ka::Stream *journal(bool bCreate) override { return pInner->journal(bCreate); }
    void syncJournal() override { pInner->syncJournal(); }
    void removeJournal() override { pInner->removeJournal(); }

private:
    std::unique_ptr<SeamStore::Files> pInner;
    support::FailingStream failing;
};

// Every operation that writes, failing at every stage of its writes (the
// disk fills up): the caller gets a Ka exception (deleteNote: false),
// nothing crashes, the store goes on from the state before, and the vault
// afterwards opens with exactly that state.
TEST(VaultFormat, FailingDiskDuringEachOperation) {
    VaultFile vault;
    const std::vector<Ka::Uuid> lIds = smallVault(vault.sPath);
    const Ka::Uuid &idTouched = lIds[0], &idKept = lIds[1];
    const std::string sBase = vault.bytes();
    const Ka::Uuid idNew = Ka::Uuid::generate();
    std::string sMeta, sData;
    {
        auto pStore = openVault(vault.sPath);
        testing::internal::CaptureStdout();
        sMeta = str(pStore->getNoteMeta(idTouched));
        testing::internal::GetCapturedStdout();
        sData = str(pStore->getNoteData(idTouched));
    }
    const std::string sBig(3000, 'b');
    const std::vector<std::pair<const char *, std::function<void(NoteStore &)>>> lOps = {
        {"save", [&](NoteStore &r) { r.saveNote(idTouched, content(sBig).get()); }},
        {"create",
         [&](NoteStore &r) { r.createNote(idNew, kstr("n"), kstr("html"), content(sBig).get()); }},
        {"rename", [&](NoteStore &r) { r.renameNote(idTouched, kstr(std::string(900, 'r'))); }},
        {"delete",
         [&](NoteStore &r) {
             if (!r.deleteNote(idTouched))
                 throw Ka::ExceptionBase("deleteNote failed");
         }},
        {"setHeader",
         [&](NoteStore &r) {
             // Raised without a write, so that the header writer replaces the
             // String under "remoteVersion" by an Integer.
             EXPECT_THROW(r.setNoteVersion(idNew, 5), Ka::HashException);
             r.setHeader("remoteVersion", new Vrel::String("5"));
         }},
        {"import",
         [&](NoteStore &r) {
             r.importNote(idNew, QByteArray(sData.data(), qsizetype(sData.size())),
                          QByteArray(sMeta.data(), qsizetype(sMeta.size())), 4);
         }},
        {"batch",
         [&](NoteStore &r) {
             NoteStore::Batch batch(r);
             r.importNote(idNew, QByteArray(sData.data(), qsizetype(sData.size())),
                          QByteArray(sMeta.data(), qsizetype(sMeta.size())), 4);
             r.saveNote(idTouched, content(sBig).get());
             r.setNoteSynced(idKept, 3);
             r.removeHeader("syncId");
             batch.end();
         }},
    };
    // What a reader sees of the vault: the notes and the header values.
    const auto state = [&](NoteStore &r) {
        std::string s = std::to_string(r.getRemoteVersion()) + "|";
        for (const Ka::Uuid &id : {idTouched, idKept, idNew}) {
            if (!r.getNotes().has(id))
                continue;
            const NoteStore::Note &rNote = r.getNotes().get(id);
            s += str(id.toString()) + str(rNote.sName) + std::to_string(rNote.iVersion) +
                 std::to_string(rNote.bChanged) + htmlOf(r.loadNote(id)) + "|";
        }
        for (const char *sKey : {"remoteVersion", "deletes", "syncId"})
            s += r.hasHeader(sKey) ? vrelBytes(*r.getHeader(sKey)) + "|" : "-|";
        return s;
    };
    const std::string sBefore = state(*openVault(vault.sPath));
    for (const auto &[sName, fOp] : lOps) {
        vault.setBytes(sBase);
        int64_t iTotal = 0;
        {
            WatchedStore ok(vault.sPath, kPass);
            ok.pFiles->clearEvents();
            quietly([&] { fOp(*ok.pStore); });
            for (const support::FileEvent &e : ok.pFiles->getEvents())
                iTotal += int64_t(e.sBytes.size());
        }
        ASSERT_GT(iTotal, 0) << sName;
        for (int64_t iLimit = 0; iLimit < iTotal; iLimit += 1 + iLimit / 8) {
            for (bool bFull : {true, false}) {
                vault.setBytes(sBase);
                {
                    WatchedStore failing(vault.sPath, kPass);
                    failing.pFiles->setHook(support::failingDisk(*failing.pFiles, iLimit, bFull));
                    EXPECT_THROW(quietly([&] { fOp(*failing.pStore); }), Ka::ExceptionBase)
                        << sName << " " << iLimit;
                    // A full disk still overwrites: the store itself is back
                    // where it was and writes again once there is room. A
                    // broken one may leave the undoing to the next opening.
                    failing.pFiles->setHook({});
                    if (bFull) {
                        // The raise of the remote version alone stays in memory.
                        const std::string sExpected =
                            std::string(sName) == "setHeader" ? "5" + sBefore.substr(1) : sBefore;
                        EXPECT_EQ(state(*failing.pStore), sExpected) << sName << " " << iLimit;
                        failing.pStore->renameNote(idKept, kstr("renamed"));
                    }
                }
                vault.setBytes(sBase);
                {
                    WatchedStore failing(vault.sPath, kPass);
                    failing.pFiles->setHook(support::failingDisk(*failing.pFiles, iLimit, bFull));
                    EXPECT_THROW(quietly([&] { fOp(*failing.pStore); }), Ka::ExceptionBase)
                        << sName << " " << iLimit;
                }
                EXPECT_EQ(state(*openVault(vault.sPath)), sBefore) << sName << " " << iLimit;
            }
        }
    }

    // Reads failing: the open is refused, or a note does not load; nothing
    // is written.
    vault.setBytes(sBase);
    for (int iLimit = 0; iLimit < int(sBase.size()); iLimit += 97) {
        try {
            auto pStore = std::make_unique<SeamStore>(
                vault.sPath, kPass, [&](std::unique_ptr<SeamStore::Files> p) {
                    return std::make_unique<ReadFailing>(std::move(p), iLimit);
                });
            delete pStore->loadNote(idKept);
        } catch (const Ka::ExceptionBase &) {
        }
    }
    EXPECT_EQ(vault.bytes(), sBase);
}

// Reads failing inside a batch (the sync reads every body it sends) and at
// its commit (the journal saves the bytes the batch replaces): the caller's
// guard, unwinding, or the failed end leaves the store and the file as they
// were before the batch.
TEST(VaultFormat, FailingReadsInsideABatch) {
    VaultFile vault;
    const std::vector<Ka::Uuid> lIds = smallVault(vault.sPath);
    {
        auto pStore = openVault(vault.sPath);
        pStore->createNote(Ka::Uuid::generate(), kstr("big"), kstr("html"),
                           content(std::string(5000, 'x')).get());
    }
    const std::string sBase = vault.bytes();
    const Ka::Uuid idNew = Ka::Uuid::generate();
    // The note table and the header values: what the store holds without
    // reading the file.
    const auto records = [](NoteStore &r) {
        std::map<std::string, std::string> hNotes;
        const Ka::List<Ka::Uuid> lAll = r.getNoteIds();
        for (const Ka::Uuid &id : lAll) {
            const NoteStore::Note &rNote = r.getNotes().get(id);
            hNotes[str(id.toString())] = str(rNote.sName) + std::to_string(rNote.iStreamId) +
                                         std::to_string(rNote.iVersion) +
                                         std::to_string(rNote.bChanged);
        }
        std::string s = std::to_string(r.getRemoteVersion());
        for (const auto &[sId, sNote] : hNotes)
            s += "|" + sId + sNote;
        for (const char *sKey : {"deletes", "syncId"})
            s += r.hasHeader(sKey) ? "|" + vrelBytes(*r.getHeader(sKey)) : "|-";
        return s;
    };
    const auto batch = [&](NoteStore &r) {
        NoteStore::Batch guard(r);
        const Ka::List<Ka::Uuid> lAll = r.getNoteIds();
        for (const Ka::Uuid &id : lAll) {
            r.getNoteData(id);
            r.setNoteSynced(id, 5);
        }
        r.saveNote(lIds[0], content(std::string(3000, 's')).get());
        r.createNote(idNew, kstr("new"), kstr("html"), content("n").get());
        if (!r.deleteNote(lIds[1]))
            throw Ka::ExceptionBase("deleteNote failed");
        guard.end();
    };
    int iOpenRead = 0, iAllRead = 0;
    std::string sAfter;
    {
        ReadFailing *pFiles = nullptr;
        SeamStore store(vault.sPath, kPass, [&](std::unique_ptr<SeamStore::Files> p) {
            auto pNew = std::make_unique<ReadFailing>(std::move(p), -1);
            pFiles = pNew.get();
            return pNew;
        });
        iOpenRead = pFiles->getRead();
        batch(store);
        iAllRead = pFiles->getRead();
        sAfter = records(store);
    }
    int iInside = 0, iAtCommit = 0;
    for (int iLimit = iOpenRead; iLimit < iAllRead; iLimit += 1 + (iLimit - iOpenRead) / 16) {
        vault.setBytes(sBase);
        {
            SeamStore store(vault.sPath, kPass, [&](std::unique_ptr<SeamStore::Files> p) {
                return std::make_unique<ReadFailing>(std::move(p), iLimit);
            });
            const std::string sRecords = records(store);
            bool bCommitting = false;
            try {
                NoteStore::Batch outer(store);
                batch(store);
                bCommitting = true;
                outer.end();
                ADD_FAILURE() << "no read failed at " << iLimit;
            } catch (const Ka::FileException &) {
            }
            (bCommitting ? iAtCommit : iInside) += 1;
            EXPECT_FALSE(store.isInBatch());
            EXPECT_EQ(records(store), sRecords) << iLimit;
        }
        EXPECT_EQ(vault.bytes(), sBase) << iLimit;
    }
    EXPECT_GT(iInside, 0);
    EXPECT_GT(iAtCommit, 0);
    vault.setBytes(sBase);
    batch(*openVault(vault.sPath));
    EXPECT_EQ(records(*openVault(vault.sPath)), sAfter);
}

} // namespace
