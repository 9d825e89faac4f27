// NoteStore: the open vault: container, key, header, note table and bodies.
#include "store/notestore.h"

#include "ka/bitstring.h"
#include "ka/blowfish.h"
#include "ka/ciphermodecfb.h"
#include "ka/deflate.h"
#include "ka/exception.h"
#include "ka/filter.h"
#include "ka/hex.h"
#include "ka/membuf.h"
#include "ka/random.h"
#include "ka/sha1.h"
#include "ka/tessarystream.h"
#include "store/kastreamdevice.h"
#include "store/stringconv.h"
#include "vrel/vrel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using Cfb = Ka::CipherModeCfb<8, Ka::Blowfish<1>>;

constexpr int kBlockSize = 1024;
constexpr int kPreallocBlocks = 2;
constexpr int kHeaderStream = 1;
constexpr uint8_t kVersion = 1;
constexpr int kCompression = 9;
// The piece in which saveCopyAs copies the vault file.
constexpr int kCopyPiece = 1 << 20;
const char *const kBatchUndone = "A change of the batch failed, and the whole batch was undone.";

// The vault key a password makes: its SHA-1 digest followed by its bytes.
Ka::String keyOf(const Ka::String &sPassword) {
    Ka::Sha1 hash;
    hash.addData(sPassword);
    Ka::String sKey = hash.getResult();
    sKey.append(sPassword);
    return sKey;
}

// True for the store's refusal with that code and text.
bool isRefusal(const std::exception &e, int iCode, const char *pText) {
    const auto *pFile = dynamic_cast<const Ka::FileException *>(&e);
    return pFile && pFile->getErrorCode() == iCode &&
           std::strncmp(e.what(), pText, std::strlen(pText)) == 0;
}

// Runs f and turns the typed-value library's own exceptions into Ka ones,
// so that callers of the store deal with Ka exceptions only.
template <typename F>
auto guardVrel(const char *sWhat, F f) -> decltype(f()) {
    try {
        return f();
    } catch (const Vrel::Error &e) {
        throw Ka::ExceptionBase("%s: %s", sWhat, e.what());
    }
}

// Serves small reads from a buffer filled by large ones. The typed-value
// and note-table readers ask for a few bytes at a time, and every read of
// the decompressor below is a call into zlib. It reads at most kSize bytes
// ahead, which reach past what the readers take only at the end of the
// compressed data, where nothing else is read. Read-only.
class ReadAhead : public Ka::Filter {
public:
    explicit ReadAhead(Ka::Stream &rNext) : Ka::Filter(rNext), pBuf(new char[kSize]) {}

    int read(void *pOut, int nBytes) override {
        if (nBytes < 1 || !pOut)
            return 0;
        if (iPos == iFill) {
            if (nBytes >= kSize)
                return rNext.read(pOut, nBytes);
            iPos = 0;
            iFill = std::clamp(rNext.read(pBuf.get(), kSize), 0, kSize);
        }
        const int n = std::min(nBytes, iFill - iPos);
        std::memcpy(pOut, pBuf.get() + iPos, size_t(n));
        iPos += n;
        return n;
    }
    int write(const void *, int) override { throw Ka::UnsupportedException(); }
    bool isEos() override { return iPos == iFill && rNext.isEos(); }
    bool isSeekable() override { return false; }
    void start() override {}
    int stop() override { return 0; }

private:
    static constexpr int kSize = 16384;
    std::unique_ptr<char[]> pBuf;
    int iFill = 0;
    int iPos = 0;
};

// Lower-case hexadecimal without separators, for the diagnostic lines.
Ka::String toHex(const Ka::String &sData) {
    Ka::MemBuf out;
    Ka::Hex hex(out, false, -1);
    hex.write(sData);
    return out.getString();
}

} // namespace

// One change of the vault, from its first step in memory to its commit. When
// it does not commit, whatever it changed in memory is put back (last change
// first) and the container is reread from the file, which the failed commit
// left at the state before; the vault is then as it was before the change.
//
// A batch is one such change that gathers the changes of its operations:
// an operation's change inside a batch hands what it did over to the batch
// instead of committing, and when it fails, it undoes the whole batch.
class NoteStore::Change {
public:
    enum Kind { Operation, WholeBatch };

    explicit Change(NoteStore &rStore, Kind eKind = Operation)
        : rStore(rStore), iRemoteVersion(rStore.iRemoteVersion),
          pBatch(eKind == Operation ? rStore.pBatch.get() : nullptr), bTouched(eKind == Operation) {
        rStore.requireWritable();
        rStore.requireBatchIntact();
    }
    ~Change() {
        if (!bDone)
            rollBack(true);
    }
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;

    // The record of uId, or its absence, is put back on failure. (Undo steps
    // hold the store, not the change: a batch keeps them longer.)
    void keepNote(const Ka::Uuid &uId) {
        NoteTable &hNotes = rStore.hNotes;
        if (hNotes.has(uId)) {
            onUndo([&hNotes, uId, note = std::as_const(hNotes).get(uId)] {
                hNotes.insert(uId, note);
            });
        } else {
            onUndo([&hNotes, uId] { hNotes.erase(uId); });
        }
    }
    // Puts pValue (the store's from here on, also when this throws; null
    // removes the entry) under the key. On failure the old value comes back
    // and pValue is deleted; on commit the old value is deleted.
    void setHeaderValue(const QByteArray &baKey, Vrel::Object *pValue) {
        std::unique_ptr<Vrel::Object> pNew(pValue);
        Vrel::Dictionary &rHeader = *rStore.pHeader;
        Vrel::Object *pOld = rHeader.value(baKey, nullptr);
        // Made before the header changes, so that nothing after it can throw.
        std::function<void()> fUndo = [&rHeader, baKey, pOld] {
            delete rHeader.take(baKey);
            if (pOld)
                rHeader.insert(baKey, pOld);
        };
        std::function<void()> fCommitted = [pOld] { delete pOld; };
        makeRoom(lUndo, 1);
        makeRoom(lCommitted, 1);
        rHeader.take(baKey);
        if (pNew)
            rHeader.insert(baKey, pNew.release());
        lUndo.push_back(std::move(fUndo));
        lCommitted.push_back(std::move(fCommitted));
    }
    void onUndo(std::function<void()> f) { lUndo.push_back(std::move(f)); }
    // Runs once the change is committed (it frees what the change replaced).
    void onCommit(std::function<void()> f) { lCommitted.push_back(std::move(f)); }

    // Inside a batch: hands the change over to it. Otherwise writes the
    // header and commits the file (a batch that changed nothing writes
    // nothing).
    void commit() {
        if (pBatch) {
            pBatch->take(*this);
            bDone = true;
            return;
        }
        if (bTouched) {
            rStore.saveHeader(*this);
            rStore.commitFile();
        }
        bDone = true;
        for (auto &f : lCommitted)
            f();
        if (bTouched)
            emit rStore.headerChanged();
    }

    // Puts back what the change did in memory; bReread: and rereads the
    // container from the file. An operation's change inside a batch undoes
    // the batch too.
    void rollBack(bool bReread) noexcept {
        bDone = true;
        for (auto it = lUndo.rbegin(); it != lUndo.rend(); ++it) {
            try {
                (*it)();
            } catch (...) {
                // Putting back only moves what is already allocated.
            }
        }
        lUndo.clear();
        rStore.iRemoteVersion = iRemoteVersion;
        if (pBatch)
            rStore.failBatch();
        else if (bTouched && bReread)
            rStore.restoreAfterFailure();
    }

private:
    using Steps = std::vector<std::function<void()>>;

    // Room for n more steps, so that adding them cannot throw; grown as
    // push_back grows, since a batch adds a few steps per operation.
    static void makeRoom(Steps &lSteps, size_t n) {
        if (lSteps.capacity() - lSteps.size() < n)
            lSteps.reserve(std::max(lSteps.size() + n, 2 * lSteps.capacity()));
    }

    void take(Change &rDone) {
        // Reserved first: the moves themselves cannot throw.
        makeRoom(lUndo, rDone.lUndo.size());
        makeRoom(lCommitted, rDone.lCommitted.size());
        lUndo.insert(lUndo.end(), std::make_move_iterator(rDone.lUndo.begin()),
                     std::make_move_iterator(rDone.lUndo.end()));
        lCommitted.insert(lCommitted.end(), std::make_move_iterator(rDone.lCommitted.begin()),
                          std::make_move_iterator(rDone.lCommitted.end()));
        bTouched = true;
    }

    NoteStore &rStore;
    int32_t iRemoteVersion;
    Change *pBatch; // the batch this operation belongs to; null for none
    // Something may differ from the last commit: always for an operation,
    // for a batch once an operation handed itself over.
    bool bTouched;
    Steps lUndo;
    Steps lCommitted;
    bool bDone = false;
};

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword)
    : NoteStore(sFileName, sPassword, FilesLayer()) {}

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword,
                     const FilesLayer &fLayer)
    : sFileName(sFileName),
      fVault(sFileName, Ka::File::Read | Ka::File::Write | Ka::File::Create | Ka::File::RegularOnly,
             0600),
      pFiles(openFiles(fLayer)), jVault(*pFiles, kBlockSize),
      cVault(containerBase(), kBlockSize, kPreallocBlocks), sKey(sPassword) {
    try {
        // Only the container's own table (stream 0): a container made for a
        // vault that never received its header. A table that names stream 0
        // alone over blocks that hold data is a damaged vault's, which a new
        // vault would overwrite.
        if (cVault.getNumStreams() == 1 && cVault.hasStream(0)) {
            if (!holdsOnlyItsTable())
                throw Ka::TessaryException(
                    1, "The container's table names no stream but its own, yet the file holds "
                       "data: the table is damaged.");
            setPassword(sKey);
            cVault.createStream(1);
            uFlags = 1;
            pHeader = new Vrel::Dictionary;
            Change change(*this);
            change.commit();
            // The vault's name in its folder must last as well as its bytes.
            Ka::File::syncFolderOf(sFileName);
        } else {
            readVault();
        }
    } catch (...) {
        delete pHeader;
        pHeader = nullptr;
        // A refused vault (a wrong password, say) keeps no journal beside it.
        try {
            jVault.removeJournal();
        } catch (...) {
        }
        throw;
    }
}

// Runs before anything reads the file: only the store that holds the lock
// may put a cut-short change back or write. A file removed between its
// opening and its lock (removeVault) is no longer the vault at that name:
// whatever were written to it would be lost.
std::unique_ptr<NoteStore::Files> NoteStore::openFiles(const FilesLayer &fLayer) {
    if (!fVault.tryLock() || !fVault.isLinked())
        throw Ka::FileException(EWOULDBLOCK, "%s", kVaultInUse);
    std::unique_ptr<Files> pDisk =
        std::make_unique<Ka::JournaledFile::DiskFiles>(fVault, journalPath(sFileName));
    return fLayer ? fLayer(std::move(pDisk)) : std::move(pDisk);
}

Ka::String NoteStore::journalPath(const Ka::String &sFileName) {
    return sFileName + "-journal";
}

bool NoteStore::isInUse(const Ka::String &sFileName) {
    try {
        Ka::File file(sFileName, Ka::File::Read | Ka::File::RegularOnly);
        return !file.tryLock();
    } catch (const Ka::FileException &) {
        return false;
    }
}

std::unique_ptr<Ka::File> NoteStore::lockForRemoval(const Ka::String &sFileName) {
    std::unique_ptr<Ka::File> pHeld;
    try {
        pHeld = std::make_unique<Ka::File>(sFileName, Ka::File::Read | Ka::File::RegularOnly);
    } catch (const Ka::FileException &e) {
        const int iErr = e.getErrorCode();
        // Nothing there, or nothing a store can have open (a pipe, a
        // device: code 0): it goes as it is. A folder stays.
        if (iErr == 0 || iErr == ENOENT || iErr == ENOTDIR)
            return nullptr;
        if (iErr == EISDIR)
            throw;
        // A file this user may not read can be a vault that a store of
        // another user holds; its lock cannot be tried, and that store
        // would go on writing to a file without a name.
        throw Ka::FileException(iErr, "%s (%s).", kVaultUnreadable, e.what());
    }
    if (!pHeld->tryLock())
        throw Ka::FileException(EWOULDBLOCK, "%s", kVaultInUse);
    return pHeld;
}

void NoteStore::checkRemovable(const Ka::String &sFileName) {
    lockForRemoval(sFileName);
}

bool NoteStore::isVaultMoved(const std::exception &e) {
    return isRefusal(e, ESTALE, kVaultMoved);
}

bool NoteStore::isJournalBlocked(const std::exception &e) {
    return isRefusal(e, EEXIST, kJournalBlocked);
}

bool NoteStore::isRefusedHere(const std::exception &e) {
    return isVaultMoved(e) || isJournalBlocked(e);
}

void NoteStore::checkFile() {
    if (!fVault.isNamed(sFileName))
        throw Ka::FileException(ESTALE, "%s%s", kVaultMoved, sFileName.getConstStr());
}

void NoteStore::checkWritable() {
    checkFile();
    pFiles->journal(true);
}

std::unique_ptr<NoteStore> NoteStore::saveCopyAs(const Ka::String &sTarget) {
    requireWritable();
    Ka::String sTemp = sTarget + ".XXXXXX";
    Ka::File copy = Ka::File::tempFile(sTemp, 0600);
    try {
        // The file holds the last commit: a change writes it only as it
        // commits, and puts it back when that fails.
        const int iSize = fVault.getSize();
        std::vector<char> aBuf(size_t(std::min(iSize, kCopyPiece)));
        for (int iAt = 0; iAt < iSize;) {
            fVault.setPos(iAt);
            const int n = fVault.read(aBuf.data(), std::min(int(aBuf.size()), iSize - iAt));
            if (n < 1)
                throw Ka::FileException(EIO, "The vault file %s ended early.",
                                        sFileName.getConstStr());
            copy.write(aBuf.data(), n);
            iAt += n;
        }
        copy.sync();
        // Held until the copy has the name: no store opens what stood there
        // meanwhile. The journal goes first, since one left beside the copy
        // would be played back into it.
        const std::unique_ptr<Ka::File> pHeld = lockForRemoval(sTarget);
        Ka::File::remove(journalPath(sTarget));
        Ka::File::rename(sTemp, sTarget);
    } catch (...) {
        try {
            Ka::File::remove(sTemp);
        } catch (...) {
        }
        throw;
    }
    copy.close();
    Ka::File::syncFolderOf(sTarget);
    // The key is the password's digest followed by the password.
    return std::make_unique<NoteStore>(sTarget, sKey.getSubStr(Ka::Sha1::kDigestSize));
}

void NoteStore::removeVault(const Ka::String &sFileName) {
    // Held until the name is gone: a store that opens the file meanwhile
    // is refused.
    const std::unique_ptr<Ka::File> pHeld = lockForRemoval(sFileName);
    // The vault first: a journal left alone beside no vault is never played
    // back (containerBase), a vault left without its journal could be.
    const bool bRemoved = Ka::File::remove(sFileName);
    // A name this user may not remove (another user's file in a shared
    // folder) is no journal of the new vault: it is never played back, and
    // the new vault's first change says what stands there.
    bool bJournal = false;
    try {
        bJournal = Ka::File::remove(journalPath(sFileName));
    } catch (const Ka::FileException &) {
    }
    if (bRemoved || bJournal)
        Ka::File::syncFolderOf(sFileName);
}

// Runs before the container is built on the file: a change cut short is
// put back first, and the container would turn any stream of fewer than 4
// bytes into a new, empty container, while only a missing or empty file (or
// an empty container) may become a new vault.
Ka::Stream &NoteStore::containerBase() {
    // A journal beside a missing or empty file is left from a vault that
    // stood at that name before: played back, it would write that vault's
    // old pages into the new one.
    if (jVault.getSize() == 0)
        jVault.removeJournal();
    else
        jVault.recover();
    const int iSize = jVault.getSize();
    if (iSize > 0 && iSize < 4)
        throw Ka::TessaryException(1, "Stream does not appear to be a valid Tessary format.");
    return jVault;
}

NoteStore::~NoteStore() {
    // Every change was committed when its operation returned, or belongs to
    // a batch never ended, which is dropped: nothing the container still
    // holds is written (the journaled file drops it).
    if (pBatch)
        pBatch->rollBack(false);
    pBatch.reset();
    try {
        jVault.removeJournal();
    } catch (...) {
        // An invalidated journal left behind is ignored at the next open.
    }
    delete pHeader;
}

// Throws the table's own exception for an unknown id, before anything changes.
void NoteStore::requireNote(const Ka::Uuid &uId) const {
    hNotes.get(uId);
}

void NoteStore::requireWritable() const {
    if (bBroken)
        throw Ka::ExceptionBase("The vault %s could not be written, and the failed change could "
                                "not be undone in the file. Open the vault again to restore its "
                                "last saved state.",
                                sFileName.getConstStr());
}

void NoteStore::restoreAfterFailure() noexcept {
    try {
        jVault.discard();
        if (jVault.isDamaged())
            bBroken = true;
        else
            cVault.reload();
    } catch (...) {
        bBroken = true;
    }
}

void NoteStore::readVault() {
    Ka::StreamStack stack(new Ka::TessaryStream(cVault.openStream(kHeaderStream)));
    Ka::Archive ar(stack, true);
    uint8_t uVersion = 0;
    ar >> uVersion;
    setPassword(sKey);
    addCipherRead(stack, false);
    if (uVersion != kVersion)
        throw Ka::ExceptionBase(0, "Unrecognized Vault version.");
    uint32_t iCheck = 0, iComplement = 0;
    ar >> iCheck >> iComplement;
    if (iCheck != ~iComplement)
        throw Ka::ExceptionBase(0, "Invalid check code.");
    ar >> uFlags;
    addDeflate(stack);
    stack.addFilter<ReadAhead>();

    Vrel::Object *pObject = nullptr;
    {
        KaStreamDevice dev(stack, QIODevice::ReadOnly);
        Vrel::VrelStream vs(&dev);
        pObject = guardVrel("The vault header cannot be read", [&] { return vs.readObject(); });
    }
    pHeader = dynamic_cast<Vrel::Dictionary *>(pObject);
    if (!pHeader) {
        delete pObject;
        throw Ka::ExceptionBase("The vault header holds no dictionary.");
    }

    if (pHeader->contains("remoteVersion"))
        iRemoteVersion = int32_t(pHeader->valueInt("remoteVersion"));
    if (const Vrel::List *pDeletes = pHeader->valueList("deletes")) {
        for (const Vrel::Object *pEntry : *pDeletes) {
            const auto *pId = dynamic_cast<const Vrel::String *>(pEntry);
            const Ka::Uuid id(pId ? toKaString(*pId) : Ka::String());
            std::printf("Del: %s\n", id.toString().getConstStr());
        }
    }
    ar >> hNotes;
    checkNoteTable();
}

// True when every byte of the file outside the blocks the container's table
// lists is zero, as in a container just made. Reads in large pieces and
// asks the table only about bytes that are not zero.
bool NoteStore::holdsOnlyItsTable() {
    const Ka::BitString used = cVault.getBlocksUsed();
    const int iBlockSize = cVault.getBlockSize();
    const int iSize = jVault.getSize();
    if (iBlockSize < 1)
        return false;
    std::vector<char> aBuf(65536);
    jVault.setPos(0);
    for (int iAt = 0; iAt < iSize;) {
        const int n = jVault.read(aBuf.data(), std::min(int(aBuf.size()), iSize - iAt));
        if (n < 1)
            return false;
        for (int i = 0; i < n; ++i)
            if (aBuf[size_t(i)] != 0 && !used.getBit((iAt + i) / iBlockSize))
                return false;
        iAt += n;
    }
    return true;
}

// Every record must own a note stream of its own: a record naming the
// container's table or the header, a missing stream or another record's
// stream would let a later write or delete destroy data that is not the
// note's. Such a table only comes from a damaged or forged file.
void NoteStore::checkNoteTable() {
    // Each note stream is taken out once it has been claimed.
    std::unordered_set<int32_t> hFree;
    const Ka::Array<int> aIds = cVault.getStreamIds();
    for (int i = 0; i < aIds.getSize(); ++i)
        if (aIds[i] > kHeaderStream)
            hFree.insert(aIds[i]);
    for (auto it = hNotes.begin(); it.isValid(); ++it) {
        const int32_t iStream = it.getValue().iStreamId;
        if (hFree.erase(iStream) == 0)
            throw Ka::ExceptionBase("The note table is damaged: note %s names stream %d.",
                                    it.getKey().toString().getConstStr(), int(iStream));
    }
}

void NoteStore::setPassword(const Ka::String &sPassword) {
    Ka::String sNewKey = keyOf(sPassword);
    Ka::Sha1 hash;
    hash.addData(sNewKey);
    sIv = hash.getResult().getSubStr(0, 8);
    sKey = sNewKey;
}

bool NoteStore::hasPassword(const Ka::String &sPassword) const {
    return keyOf(sPassword) == sKey;
}

void NoteStore::addCipherWrite(Ka::StreamStack &rStack, bool bCompress) {
    Cfb &rCipher = rStack.addFilter<Cfb>();
    rCipher.setKey(sKey);
    std::memcpy(rCipher.V, sIv.getConstStr(), sizeof rCipher.V);
    writeRandomPrefix(rStack);
    if (bCompress)
        addDeflate(rStack);
}

void NoteStore::addCipherRead(Ka::StreamStack &rStack, bool bCompress) {
    Cfb &rCipher = rStack.addFilter<Cfb>();
    rCipher.setKey(sKey);
    std::memcpy(rCipher.V, sIv.getConstStr(), sizeof rCipher.V);
    // The prefix only makes every cipher text differ; a short read shows as
    // a failure of the next read.
    uint8_t aPrefix[8];
    rStack.read(aPrefix, 4);
    rStack.read(aPrefix + 4, 4);
    if (bCompress) {
        addDeflate(rStack);
        rStack.addFilter<ReadAhead>();
    }
}

// From the kernel: a generator nobody seeded would write the same prefix in
// every run, and two notes under one key would share keystream after it.
void NoteStore::writeRandomPrefix(Ka::Stream &rStream) {
    uint8_t aBytes[8];
    Ka::Random::systemBytes(aBytes, sizeof aBytes);
    rStream.write(aBytes, sizeof aBytes);
}

void NoteStore::addDeflate(Ka::StreamStack &rStack) {
    rStack.addFilter<Ka::Deflate>(kCompression, Ka::Deflate::Zlib | Ka::Deflate::AutoDetect);
}

// Only ever read through: the decompressor may move the container stream
// back after the end of its data, which the cipher below does not see.
void NoteStore::openNoteStreamRead(int iStreamId, Ka::StreamStack &rStack, bool bCompress) {
    rStack.setStream(new Ka::TessaryStream(cVault.openStream(iStreamId)));
    addCipherRead(rStack, bCompress);
}

// The container keeps the blocks in memory and hands them to the journaled
// file, which writes nothing before the commit.
void NoteStore::storeNoteStream(int iStreamId, const Ka::String &sBytes) {
    Ka::TessaryStream stream = cVault.openStream(iStreamId);
    stream.setSize(0);
    stream.write(sBytes);
}

int NoteStore::createNoteStream(const Ka::String &sBytes) {
    const int iStream = cVault.createStream(1);
    storeNoteStream(iStream, sBytes);
    return iStream;
}

Ka::String NoteStore::sealObject(const Vrel::Object *pObject) {
    auto *pBuf = new Ka::MemBuf;
    Ka::StreamStack stack(pBuf);
    addCipherWrite(stack, true);
    {
        KaStreamDevice dev(stack, QIODevice::WriteOnly);
        Vrel::VrelStream vs(&dev);
        guardVrel("The note cannot be written", [&] { vs.writeObject(pObject); });
    }
    stack.close();
    return pBuf->getString();
}

Vrel::Object *NoteStore::openObject(Ka::StreamStack &rStack) {
    KaStreamDevice dev(rStack, QIODevice::ReadOnly);
    Vrel::VrelStream vs(&dev);
    return guardVrel("The note cannot be read", [&] { return vs.readObject(); });
}

// Stream 1 is made whole in memory first, then rewritten from its start
// (a reader stops at the end of the note table).
void NoteStore::saveHeader(Change &rChange) {
    auto *pBuf = new Ka::MemBuf;
    Ka::StreamStack stack(pBuf);
    {
        Ka::Archive ar(stack, false);
        ar << kVersion;
        addCipherWrite(stack, false);
        const uint32_t iCheck = Ka::Random::systemRand();
        ar << iCheck << uint32_t(~iCheck) << uFlags;
        addDeflate(stack);
        if (iRemoteVersion > 0) {
            if (auto *pVersion = dynamic_cast<Vrel::Integer *>(pHeader->value("remoteVersion"))) {
                const qint64 iOld = pVersion->getValue();
                pVersion->setValue(iRemoteVersion);
                rChange.onUndo([pVersion, iOld] { pVersion->setValue(iOld); });
            } else {
                rChange.setHeaderValue("remoteVersion", new Vrel::Integer(iRemoteVersion));
            }
        }
        {
            KaStreamDevice dev(stack, QIODevice::WriteOnly);
            Vrel::VrelStream vs(&dev);
            guardVrel("The vault header cannot be written", [&] { vs.writeObject(pHeader); });
        }
        // Gathered first: the compressor is slow with many tiny writes.
        Ka::MemBuf table;
        Ka::Archive arTable(table, false);
        arTable << hNotes;
        stack.write(table.getString());
    }
    stack.close();
    Ka::TessaryStream stream = cVault.openStream(kHeaderStream);
    stream.write(pBuf->getString());
}

void NoteStore::changeRecord(const Ka::Uuid &uId, const std::function<void(Note &)> &fChange) {
    requireNote(uId);
    Change change(*this);
    change.keepNote(uId);
    fChange(hNotes.get(uId));
    change.commit();
}

void NoteStore::commitFile() {
    // Written into a file that no longer stands at the vault's name, the
    // change would be lost at the close, or journaled where no recovery
    // looks for it.
    checkFile();
    cVault.sync();
    jVault.commit();
}

void NoteStore::createNote(const Ka::Uuid &uId, const Ka::String &sName, const Ka::String &sType,
                           const Vrel::Object *pContent) {
    const Ka::String sBody = sealObject(pContent);
    Change change(*this);
    change.keepNote(uId);
    // A replaced record's body goes in the same commit.
    const int iOldStream = hNotes.has(uId) ? hNotes.get(uId).iStreamId : 0;
    Note note;
    note.iStreamId = createNoteStream(sBody);
    note.bChanged = true;
    note.sName = sName;
    note.sType = sType;
    hNotes.insert(uId, note);
    if (iOldStream > kHeaderStream)
        cVault.deleteStream(iOldStream);
    change.commit();
}

void NoteStore::saveNote(const Ka::Uuid &uId, const Vrel::Object *pContent) {
    requireNote(uId);
    const Ka::String sBody = sealObject(pContent);
    Change change(*this);
    change.keepNote(uId);
    Note &rNote = hNotes.get(uId);
    rNote.bChanged = true;
    storeNoteStream(rNote.iStreamId, sBody);
    change.commit();
}

Vrel::Dictionary *NoteStore::loadNote(const Ka::Uuid &uId) noexcept {
    try {
        const int iStream = hNotes.get(uId).iStreamId;
        Ka::StreamStack stack;
        openNoteStreamRead(iStream, stack, true);
        Vrel::Object *pObject = openObject(stack);
        auto *pContent = dynamic_cast<Vrel::Dictionary *>(pObject);
        if (!pContent)
            delete pObject;
        return pContent;
    } catch (...) {
        return nullptr;
    }
}

void NoteStore::renameNote(const Ka::Uuid &uId, const Ka::String &sName) {
    changeRecord(uId, [&sName](Note &rNote) {
        rNote.sName = sName;
        rNote.bChanged = true;
    });
}

bool NoteStore::deleteNote(const Ka::Uuid &uId) noexcept {
    try {
        if (!hNotes.has(uId))
            return false;
        Change change(*this);
        change.keepNote(uId);
        const int iStream = hNotes.get(uId).iStreamId;
        hNotes.erase(uId);
        if (pHeader->contains("syncId")) {
            Vrel::List *pDeletes = pHeader->valueList("deletes");
            if (!pDeletes) {
                pDeletes = new Vrel::List;
                change.setHeaderValue("deletes", pDeletes);
            }
            auto pEntry = std::make_unique<Vrel::String>(toByteArray(uId.getRaw()));
            pDeletes->append(pEntry.get());
            pEntry.release();
            change.onUndo([pDeletes] { delete pDeletes->takeLast(); });
        }
        cVault.deleteStream(iStream);
        change.commit();
        return true;
    } catch (...) {
        return false;
    }
}

Ka::String NoteStore::getNoteName(const Ka::Uuid &uId) const {
    return hNotes.get(uId).sName;
}

void NoteStore::setNoteChanged(const Ka::Uuid &uId, bool bChanged) {
    changeRecord(uId, [bChanged](Note &rNote) { rNote.bChanged = bChanged; });
}

// The raise comes before the lookup and stays when the id is unknown; it
// then reaches the file with the next header write.
void NoteStore::setNoteVersion(const Ka::Uuid &uId, int32_t iVersion) {
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    changeRecord(uId, [iVersion](Note &rNote) { rNote.iVersion = iVersion; });
}

Ka::String NoteStore::getNoteData(const Ka::Uuid &uId) {
    Ka::TessaryStream stream = cVault.openStream(hNotes.get(uId).iStreamId);
    return stream.readAll();
}

Ka::String NoteStore::getNoteMeta(const Ka::Uuid &uId) {
    const Note &rNote = hNotes.get(uId);
    Vrel::Dictionary meta;
    meta.insert("name", toByteArray(rNote.sName));
    meta.insert("type", toByteArray(rNote.sType));
    const Ka::String sBlob = sealObject(&meta);

    std::printf("Meta(%s) = '%s'\n", uId.toString().getConstStr(), toHex(sBlob).getConstStr());
    try {
        Ka::StreamStack stack(new Ka::MemBuf(sBlob));
        addCipherRead(stack, true);
        std::unique_ptr<Vrel::Object> pBack(openObject(stack));
        std::fputs(pBack ? "  - Passed check\n" : "  - Failed check! - null object\n", stdout);
    } catch (const std::exception &e) {
        std::printf("  - Failed check! - %s\n", e.what());
    }
    return sBlob;
}

void NoteStore::importNote(const Ka::Uuid &uId, const QByteArray &baData, const QByteArray &baMeta,
                           int32_t iVersion) {
    std::unique_ptr<Vrel::Object> pObject;
    {
        Ka::StreamStack stack(new Ka::MemBuf(toKaString(baMeta)));
        addCipherRead(stack, true);
        pObject.reset(openObject(stack));
    }
    const auto *pMeta = dynamic_cast<const Vrel::Dictionary *>(pObject.get());
    if (!pMeta)
        return;
    const Ka::String sData = toKaString(baData);

    Change change(*this);
    change.keepNote(uId);
    const bool bNew = !hNotes.has(uId);
    if (bNew) {
        Note note;
        note.iStreamId = createNoteStream(sData);
        hNotes.insert(uId, note);
    } else {
        storeNoteStream(hNotes.get(uId).iStreamId, sData);
    }
    Note &rNote = hNotes.get(uId);
    rNote.iVersion = iVersion;
    rNote.bChanged = false;
    rNote.sName = toKaString(pMeta->valueStr("name"));
    rNote.sType = toKaString(pMeta->valueStr("type"));
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    change.commit();
    std::printf(bNew ? "!--> importNote: created note.\n" : "!--> importNote: updated note.\n");
}

void NoteStore::setRemoteVersion(int32_t iVersion) {
    Change change(*this);
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    change.commit();
}

void NoteStore::setNoteSynced(const Ka::Uuid &uId, int32_t iVersion) {
    changeRecord(uId, [iVersion](Note &rNote) {
        rNote.iVersion = iVersion;
        rNote.bChanged = false;
    });
}

void NoteStore::unqueueDeletion(const Ka::Uuid &uId) {
    Vrel::List *pDeletes = pHeader->valueList("deletes");
    const QByteArray baRaw = toByteArray(uId.getRaw());
    const auto isId = [&baRaw](const Vrel::Object *pEntry) {
        const auto *pId = dynamic_cast<const Vrel::String *>(pEntry);
        return pId && *pId == baRaw;
    };
    if (!pDeletes || std::none_of(pDeletes->begin(), pDeletes->end(), isId))
        return;
    Change change(*this);
    // From the end, so that putting back in the opposite order restores
    // every position. An entry leaves the list only once its undo is
    // recorded.
    for (qsizetype i = pDeletes->size() - 1; i >= 0; --i) {
        Vrel::Object *pEntry = pDeletes->at(i);
        if (!isId(pEntry))
            continue;
        change.onCommit([pEntry] { delete pEntry; });
        change.onUndo([pDeletes, i, pEntry] { pDeletes->insert(i, pEntry); });
        pDeletes->removeAt(i);
    }
    change.commit();
}

// The header writer only ever raises "remoteVersion"; 0 means no entry.
void NoteStore::resetRemoteVersion() {
    Change change(*this);
    iRemoteVersion = 0;
    change.setHeaderValue("remoteVersion", nullptr);
    change.commit();
}

bool NoteStore::hasHeader(const QByteArray &baKey) const {
    return pHeader->contains(baKey);
}

Vrel::Object *NoteStore::getHeader(const QByteArray &baKey) const {
    return pHeader->value(baKey, nullptr);
}

void NoteStore::setHeader(const QByteArray &baKey, Vrel::Object *pValue) {
    // A null value could never be written: every later header write would fail.
    if (!pValue)
        throw Ka::ExceptionBase("A header value cannot be empty.");
    // The caller may pass back the very value the store holds.
    Vrel::Object *pOld = pHeader->value(baKey, nullptr);
    std::unique_ptr<Vrel::Object> pOwned(pValue != pOld ? pValue : nullptr);
    Change change(*this);
    if (pOwned)
        change.setHeaderValue(baKey, pOwned.release());
    change.commit();
}

void NoteStore::removeHeader(const QByteArray &baKey) {
    if (!pHeader->contains(baKey))
        return;
    if (iBatchDepth == 0) {
        // QHash::remove would only drop the pointer.
        delete pHeader->take(baKey);
        return;
    }
    Change change(*this);
    change.setHeaderValue(baKey, nullptr);
    change.commit();
}

void NoteStore::beginBatch() {
    if (iBatchDepth == 0)
        pBatch = std::make_unique<Change>(*this, Change::WholeBatch);
    ++iBatchDepth;
}

void NoteStore::endBatch() {
    if (iBatchDepth == 0)
        return;
    --iBatchDepth;
    if (bBatchFailed) {
        bBatchFailed = iBatchDepth > 0;
        throw Ka::ExceptionBase("%s", kBatchUndone);
    }
    if (iBatchDepth > 0)
        return;
    // Undoes the batch itself when the commit throws.
    const std::unique_ptr<Change> pDone = std::move(pBatch);
    pDone->commit();
}

void NoteStore::abandonBatch() noexcept {
    if (iBatchDepth == 0)
        return;
    --iBatchDepth;
    if (pBatch) {
        pBatch->rollBack(true);
        pBatch.reset();
    }
    bBatchFailed = iBatchDepth > 0;
}

void NoteStore::failBatch() noexcept {
    bBatchFailed = true;
    if (pBatch) {
        pBatch->rollBack(true);
        pBatch.reset();
    }
}

void NoteStore::requireBatchIntact() const {
    if (bBatchFailed)
        throw Ka::ExceptionBase("%s", kBatchUndone);
}

Ka::ArchiveBase &operator<<(Ka::ArchiveBase &rAr, const NoteStore::Note &rNote) {
    return rAr << rNote.iStreamId << rNote.iVersion << rNote.bChanged << rNote.sName << rNote.sType;
}

Ka::ArchiveBase &operator>>(Ka::ArchiveBase &rAr, NoteStore::Note &rNote) {
    return rAr >> rNote.iStreamId >> rNote.iVersion >> rNote.bChanged >> rNote.sName >> rNote.sType;
}
