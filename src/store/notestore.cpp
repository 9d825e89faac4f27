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

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword)
    : NoteStore(sFileName, sPassword, FileLayer()) {}

NoteStore::NoteStore(const Ka::String &sFileName, const Ka::String &sPassword,
                     const FileLayer &fLayer)
    : sFileName(sFileName), fVault(sFileName, Ka::File::Read | Ka::File::Write | Ka::File::Create),
      cVault(containerBase(fLayer), kBlockSize, kPreallocBlocks), sKey(sPassword) {
    try {
        if (bNewFile) {
            setPassword(sKey);
            cVault.createStream(1);
            uFlags = 1;
            pHeader = new Vrel::Dictionary;
            saveHeader();
        } else {
            readVault();
        }
    } catch (...) {
        delete pHeader;
        pHeader = nullptr;
        throw;
    }
}

// Runs before the container is built on the file: the container would
// turn any stream of fewer than 4 bytes into a new, empty container, and
// only a missing or empty file may become a new vault.
Ka::Stream &NoteStore::containerBase(const FileLayer &fLayer) {
    if (fLayer)
        pLayer = fLayer(fVault);
    Ka::Stream &rBase = pLayer ? *pLayer : static_cast<Ka::Stream &>(fVault);
    const int iSize = rBase.getSize();
    if (iSize > 0 && iSize < 4)
        throw Ka::TessaryException(1, "Stream does not appear to be a valid Tessary format.");
    bNewFile = iSize == 0;
    return rBase;
}

NoteStore::~NoteStore() {
    // Everything reached the file when its operation returned; this only
    // catches up after a failed one or an unfinished batch, and a
    // destructor must not throw.
    try {
        if (bHeaderPending)
            writeHeader();
        cVault.sync();
        syncFile();
    } catch (...) {
    }
    delete pHeader;
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

void NoteStore::writeRandomPrefix(Ka::Stream &rStream) {
    for (int i = 0; i < 2; ++i) {
        const uint32_t iValue = Ka::Random::rand();
        const uint8_t aBytes[4] = {uint8_t(iValue), uint8_t(iValue >> 8), uint8_t(iValue >> 16),
                                   uint8_t(iValue >> 24)};
        rStream.write(aBytes, 4);
    }
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

// The new bytes are complete before the stream is touched, so a failure
// while they are made leaves the old content in place. The container's sync
// writes the last block while the stream still holds it, so that a failing
// disk is reported here rather than lost in a destructor.
void NoteStore::storeNoteStream(int iStreamId, const Ka::String &sBytes) {
    Ka::TessaryStream stream = cVault.openStream(iStreamId);
    stream.setSize(0);
    stream.write(sBytes);
    cVault.sync();
}

// A new note stream holding sBytes; no stream is left behind on failure.
int NoteStore::createNoteStream(const Ka::String &sBytes) {
    const int iStream = cVault.createStream(1);
    try {
        storeNoteStream(iStream, sBytes);
    } catch (...) {
        try {
            cVault.deleteStream(iStream);
        } catch (...) {
        }
        throw;
    }
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

void NoteStore::saveHeader() {
    if (iBatchDepth > 0) {
        bHeaderPending = true;
        return;
    }
    writeHeader();
}

void NoteStore::endBatch() {
    if (iBatchDepth == 0 || --iBatchDepth > 0 || !bHeaderPending)
        return;
    writeHeader();
}

// Stream 1 is made whole in memory first: a failure while the header is
// encoded then never leaves a half-written header in the file.
void NoteStore::writeHeader() {
    auto *pBuf = new Ka::MemBuf;
    Ka::StreamStack stack(pBuf);
    {
        Ka::Archive ar(stack, false);
        ar << kVersion;
        addCipherWrite(stack, false);
        const uint32_t iCheck = Ka::Random::rand();
        ar << iCheck << uint32_t(~iCheck) << uFlags;
        addDeflate(stack);
        if (iRemoteVersion > 0) {
            if (auto *pVersion = dynamic_cast<Vrel::Integer *>(pHeader->value("remoteVersion"))) {
                pVersion->setValue(iRemoteVersion);
            } else {
                auto pNew = std::make_unique<Vrel::Integer>(iRemoteVersion);
                delete pHeader->take("remoteVersion");
                pHeader->insert("remoteVersion", pNew.release());
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

    // Rewritten from the start, not truncated: a reader stops at the end of
    // the note table.
    {
        Ka::TessaryStream stream = cVault.openStream(kHeaderStream);
        stream.write(pBuf->getString());
        cVault.sync();
    }
    syncFile();
    bHeaderPending = false;
    // The header on file names none of these any more. One that cannot be
    // freed stays unused, which costs space but no data.
    if (!lFreeAfterHeader.empty()) {
        std::vector<int> lFree;
        lFree.swap(lFreeAfterHeader);
        for (int iStream : lFree) {
            try {
                cVault.deleteStream(iStream);
            } catch (const Ka::TessaryException &) {
            }
        }
        cVault.sync();
        syncFile();
    }
    emit headerChanged();
}

void NoteStore::syncFile() {
    fVault.sync();
}

void NoteStore::createNote(const Ka::Uuid &uId, const Ka::String &sName, const Ka::String &sType,
                           const Vrel::Object *pContent) {
    const int iStream = createNoteStream(sealObject(pContent));
    const int iOldStream = hNotes.has(uId) ? hNotes.get(uId).iStreamId : 0;
    Note note;
    note.iStreamId = iStream;
    note.bChanged = true;
    note.sName = sName;
    note.sType = sType;
    hNotes.insert(uId, note);
    // A replaced body goes only once the header no longer names it.
    if (iOldStream > kHeaderStream)
        lFreeAfterHeader.push_back(iOldStream);
    saveHeader();
}

void NoteStore::saveNote(const Ka::Uuid &uId, const Vrel::Object *pContent) {
    Note &rNote = hNotes.get(uId);
    const Ka::String sBody = sealObject(pContent);
    rNote.bChanged = true;
    storeNoteStream(rNote.iStreamId, sBody);
    saveHeader();
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
    Note &rNote = hNotes.get(uId);
    rNote.sName = sName;
    rNote.bChanged = true;
    saveHeader();
}

// The header stops naming the note before its stream goes: a failure in
// between leaves an unused stream, never a record without its body.
bool NoteStore::deleteNote(const Ka::Uuid &uId) noexcept {
    try {
        if (!hNotes.has(uId))
            return false;
        const int iStream = hNotes.get(uId).iStreamId;
        hNotes.erase(uId);
        if (pHeader->contains("syncId")) {
            Vrel::List *pDeletes = pHeader->valueList("deletes");
            if (!pDeletes) {
                auto pNew = std::make_unique<Vrel::List>();
                delete pHeader->take("deletes");
                pDeletes = pNew.get();
                pHeader->insert("deletes", pNew.release());
            }
            auto pEntry = std::make_unique<Vrel::String>(toByteArray(uId.getRaw()));
            pDeletes->append(pEntry.get());
            pEntry.release();
        }
        lFreeAfterHeader.push_back(iStream);
        saveHeader();
        return true;
    } catch (...) {
        return false;
    }
}

Ka::String NoteStore::getNoteName(const Ka::Uuid &uId) const {
    return hNotes.get(uId).sName;
}

void NoteStore::setNoteChanged(const Ka::Uuid &uId, bool bChanged) {
    hNotes.get(uId).bChanged = bChanged;
    saveHeader();
}

void NoteStore::setNoteVersion(const Ka::Uuid &uId, int32_t iVersion) {
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    hNotes.get(uId).iVersion = iVersion;
    saveHeader();
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

    if (!hNotes.has(uId)) {
        Note note;
        note.iStreamId = createNoteStream(sData);
        note.iVersion = iVersion;
        note.sName = toKaString(pMeta->valueStr("name"));
        note.sType = toKaString(pMeta->valueStr("type"));
        hNotes.insert(uId, note);
        std::printf("!--> importNote: created note.\n");
    } else {
        Note &rNote = hNotes.get(uId);
        storeNoteStream(rNote.iStreamId, sData);
        rNote.iVersion = iVersion;
        rNote.bChanged = false;
        rNote.sName = toKaString(pMeta->valueStr("name"));
        rNote.sType = toKaString(pMeta->valueStr("type"));
        std::printf("!--> importNote: updated note.\n");
    }
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    saveHeader();
}

void NoteStore::setRemoteVersion(int32_t iVersion) {
    if (iVersion > iRemoteVersion)
        iRemoteVersion = iVersion;
    saveHeader();
}

void NoteStore::setNoteSynced(const Ka::Uuid &uId, int32_t iVersion) {
    Note &rNote = hNotes.get(uId);
    rNote.iVersion = iVersion;
    rNote.bChanged = false;
    saveHeader();
}

void NoteStore::resetRemoteVersion() {
    iRemoteVersion = 0;
    delete pHeader->take("remoteVersion");
    saveHeader();
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
    Vrel::Object *pOld = pHeader->take(baKey);
    pHeader->insert(baKey, pValue);
    try {
        saveHeader();
    } catch (...) {
        // A value the header cannot hold must not stay to fail every later
        // write: the header goes back to what the file holds. Under
        // "remoteVersion" the header writer may have replaced (and deleted)
        // a value that is not an Integer: what stands there now goes.
        Vrel::Object *pNow = pHeader->take(baKey);
        if (pNow != pOld)
            delete pNow;
        if (pOld && (pNow == pValue || pOld != pValue))
            pHeader->insert(baKey, pOld);
        throw;
    }
    if (pOld != pValue)
        delete pOld;
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
