// NoteStore: the open vault: container, key, header, note table and bodies.
#include "store/notestore.h"

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

namespace {

using Cfb = Ka::CipherModeCfb<8, Ka::Blowfish<1>>;

constexpr int kBlockSize = 1024;
constexpr int kPreallocBlocks = 2;
constexpr int kHeaderStream = 1;
constexpr uint8_t kVersion = 1;
constexpr int kCompression = 9;

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
class NoteStore::Change {
public:
    explicit Change(NoteStore &rStore) : rStore(rStore), iRemoteVersion(rStore.iRemoteVersion) {
        rStore.requireWritable();
    }
    ~Change() {
        if (bDone)
            return;
        for (auto it = lUndo.rbegin(); it != lUndo.rend(); ++it) {
            try {
                (*it)();
            } catch (...) {
                // Putting back only moves what is already allocated.
            }
        }
        rStore.iRemoteVersion = iRemoteVersion;
        rStore.restoreAfterFailure();
    }
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;

    // The record of uId, or its absence, is put back on failure.
    void keepNote(const Ka::Uuid &uId) {
        if (rStore.hNotes.has(uId)) {
            onUndo([this, uId, note = std::as_const(rStore.hNotes).get(uId)] {
                rStore.hNotes.insert(uId, note);
            });
        } else {
            onUndo([this, uId] { rStore.hNotes.erase(uId); });
        }
    }
    void onUndo(std::function<void()> f) { lUndo.push_back(std::move(f)); }
    // Runs once the change is committed (it frees what the change replaced).
    void onCommit(std::function<void()> f) { lCommitted.push_back(std::move(f)); }

    void commit() {
        rStore.saveHeader(*this);
        rStore.commitFile();
        bDone = true;
        for (auto &f : lCommitted)
            f();
        emit rStore.headerChanged();
    }

private:
    NoteStore &rStore;
    int32_t iRemoteVersion;
    std::vector<std::function<void()>> lUndo;
    std::vector<std::function<void()>> lCommitted;
    bool bDone = false;
};

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword)
    : NoteStore(sFileName, sPassword, FilesLayer()) {}

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword,
                     const FilesLayer &fLayer)
    : sFileName(sFileName),
      fVault(sFileName, Ka::File::Read | Ka::File::Write | Ka::File::Create, 0600),
      pFiles(openFiles(fLayer)), jVault(*pFiles, kBlockSize),
      cVault(containerBase(), kBlockSize, kPreallocBlocks), sKey(sPassword) {
    try {
        if (bNewFile) {
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
// may put a cut-short change back or write.
std::unique_ptr<NoteStore::Files> NoteStore::openFiles(const FilesLayer &fLayer) {
    if (!fVault.tryLock())
        throw Ka::FileException(EWOULDBLOCK, "%s", kVaultInUse);
    std::unique_ptr<Files> pDisk =
        std::make_unique<Ka::JournaledFile::DiskFiles>(fVault, sFileName + "-journal");
    return fLayer ? fLayer(std::move(pDisk)) : std::move(pDisk);
}

// Runs before the container is built on the file: a change cut short is
// put back first, and the container would turn any stream of fewer than 4
// bytes into a new, empty container, while only a missing or empty file may
// become a new vault.
Ka::Stream &NoteStore::containerBase() {
    jVault.recover();
    const int iSize = jVault.getSize();
    if (iSize > 0 && iSize < 4)
        throw Ka::TessaryException(1, "Stream does not appear to be a valid Tessary format.");
    bNewFile = iSize == 0;
    return jVault;
}

NoteStore::~NoteStore() {
    // Every change was committed when its operation returned; nothing the
    // container still holds is written (the journaled file drops it).
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
    Ka::Sha1 hash;
    hash.addData(sPassword);
    Ka::String sNewKey = hash.getResult();
    sNewKey.append(sPassword);
    hash.reset();
    hash.addData(sNewKey);
    sIv = hash.getResult().getSubStr(0, 8);
    sKey = sNewKey;
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
                auto pNew = std::make_unique<Vrel::Integer>(iRemoteVersion);
                Vrel::Object *pOld = pHeader->take("remoteVersion");
                pHeader->insert("remoteVersion", pNew.get());
                Vrel::Object *pInserted = pNew.release();
                rChange.onUndo([this, pOld, pInserted] {
                    delete pHeader->take("remoteVersion");
                    if (pOld)
                        pHeader->insert("remoteVersion", pOld);
                });
                rChange.onCommit([pOld] { delete pOld; });
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

void NoteStore::commitFile() {
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
    requireNote(uId);
    Change change(*this);
    change.keepNote(uId);
    Note &rNote = hNotes.get(uId);
    rNote.sName = sName;
    rNote.bChanged = true;
    change.commit();
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
                auto pNew = std::make_unique<Vrel::List>();
                Vrel::Object *pOld = pHeader->take("deletes");
                pDeletes = pNew.get();
                pHeader->insert("deletes", pNew.release());
                change.onUndo([this, pOld] {
                    delete pHeader->take("deletes");
                    if (pOld)
                        pHeader->insert("deletes", pOld);
                });
                change.onCommit([pOld] { delete pOld; });
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
    requireNote(uId);
    Change change(*this);
    change.keepNote(uId);
    hNotes.get(uId).bChanged = bChanged;
    change.commit();
}

// The raise comes before the lookup and stays when the id is unknown; it
// then reaches the file with the next header write.
void NoteStore::setNoteVersion(const Ka::Uuid &uId, int32_t iVersion) {
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    requireNote(uId);
    Change change(*this);
    change.keepNote(uId);
    hNotes.get(uId).iVersion = iVersion;
    change.commit();
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
    pHeader->take(baKey);
    pHeader->insert(baKey, pValue);
    pOwned.release();
    change.onUndo([this, baKey, pValue, pOld] {
        pHeader->take(baKey);
        if (pValue != pOld)
            delete pValue;
        if (pOld)
            pHeader->insert(baKey, pOld);
    });
    if (pOld != pValue)
        change.onCommit([pOld] { delete pOld; });
    change.commit();
}

void NoteStore::removeHeader(const QByteArray &baKey) {
    // QHash::remove would only drop the pointer.
    delete pHeader->take(baKey);
}

Ka::ArchiveBase &operator<<(Ka::ArchiveBase &rAr, const NoteStore::Note &rNote) {
    return rAr << rNote.iStreamId << rNote.iVersion << rNote.bChanged << rNote.sName << rNote.sType;
}

Ka::ArchiveBase &operator>>(Ka::ArchiveBase &rAr, NoteStore::Note &rNote) {
    return rAr >> rNote.iStreamId >> rNote.iVersion >> rNote.bChanged >> rNote.sName >> rNote.sType;
}
