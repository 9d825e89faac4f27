// Ka::JournaledFile: pages held in memory, the journal that saves what they
// replace, and the commit and recovery of the data file.
#include "ka/journaledfile.h"

#include "ka/exception.h"
#include "ka/file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <zlib.h>

namespace Ka {

namespace {

const char kMagic[8] = {'K', 'a', 'J', 'o', 'u', 'r', 'n', 'l'};
constexpr uint32_t kVersion = 1;
// Magic, version, record count, original size, record bytes, checksum.
constexpr int kHeaderSize = 32;
// Offset and length before the bytes of each record.
constexpr int kRecordHead = 12;
// Pages that follow each other are written in pieces of up to this size.
constexpr int64_t kWriteRun = 1 << 20;

void putLe(char *p, uint64_t v, int iBytes) {
    for (int i = 0; i < iBytes; ++i)
        p[i] = char(v >> (8 * i));
}

uint64_t getLe(const char *p, int iBytes) {
    uint64_t v = 0;
    for (int i = iBytes - 1; i >= 0; --i)
        v = v << 8 | uint8_t(p[i]);
    return v;
}

uint32_t crcOf(uint32_t iCrc, const char *p, size_t n) {
    // zlib takes lengths of at most 4 GiB - 1 at a time; ours are 32-bit.
    return uint32_t(crc32(iCrc, reinterpret_cast<const Bytef *>(p), uInt(n)));
}

// Reads until n bytes are in or the stream has no more; returns the count.
int64_t readFully(Stream &rStream, char *p, int64_t n) {
    int64_t iDone = 0;
    while (iDone < n) {
        const int iGot = rStream.read(p + iDone, int(std::min<int64_t>(n - iDone, INT_MAX)));
        if (iGot <= 0)
            break;
        iDone += iGot;
    }
    return iDone;
}

void writeAt(Stream &rStream, int64_t iAt, const char *p, int64_t n) {
    rStream.setPos(int(iAt));
    rStream.write(p, int(n));
}

// The records of a journal whose header and checksum hold, or false.
bool parseJournal(const String &sJournal, int64_t &rOldSize,
                  std::vector<std::pair<int64_t, String>> &rRecords) {
    const int64_t iTotal = sJournal.getSize();
    if (iTotal < kHeaderSize)
        return false;
    const char *p = sJournal.getConstStr();
    if (std::memcmp(p, kMagic, sizeof kMagic) != 0 || getLe(p + 8, 4) != kVersion)
        return false;
    const uint64_t iCount = getLe(p + 12, 4);
    const int64_t iOldSize = int64_t(getLe(p + 16, 8));
    const uint64_t iRecordBytes = getLe(p + 24, 4);
    if (iOldSize < 0 || iOldSize > INT32_MAX || int64_t(iRecordBytes) > iTotal - kHeaderSize ||
        iCount > iRecordBytes / kRecordHead)
        return false;
    uint32_t iCrc = crcOf(crcOf(0, nullptr, 0), p, 28);
    iCrc = crcOf(iCrc, p + kHeaderSize, size_t(iRecordBytes));
    if (iCrc != uint32_t(getLe(p + 28, 4)))
        return false;
    // Every record must lie inside the record bytes and the old file, and
    // together they must fill the record bytes exactly.
    int64_t iAt = kHeaderSize;
    const int64_t iEnd = kHeaderSize + int64_t(iRecordBytes);
    rRecords.clear();
    for (uint64_t i = 0; i < iCount; ++i) {
        if (iEnd - iAt < kRecordHead)
            return false;
        const int64_t iOffset = int64_t(getLe(p + iAt, 8));
        const int64_t iLength = int64_t(getLe(p + iAt + 8, 4));
        iAt += kRecordHead;
        if (iOffset < 0 || iLength < 1 || iLength > iEnd - iAt || iOffset > iOldSize - iLength)
            return false;
        rRecords.emplace_back(iOffset, String(p + iAt, int(iLength)));
        iAt += iLength;
    }
    if (iAt != iEnd)
        return false;
    rOldSize = iOldSize;
    return true;
}

} // namespace

// ---- Files on disk ----

JournaledFile::DiskFiles::DiskFiles(File &rData, const String &sJournalPath)
    : rData(rData), sJournalPath(sJournalPath) {}

JournaledFile::DiskFiles::~DiskFiles() = default;

Stream &JournaledFile::DiskFiles::data() {
    return rData;
}

void JournaledFile::DiskFiles::syncData() {
    rData.sync();
}

std::unique_ptr<File> JournaledFile::DiskFiles::openOwn(bool &rForeign) {
    rForeign = false;
    std::unique_ptr<File> pFile;
    try {
        pFile = std::make_unique<File>(sJournalPath, File::Read | File::Write | File::NoLink);
    } catch (const FileException &e) {
        switch (e.getErrorCode()) {
        case ENOENT:
            return nullptr;
        // A link, a folder, a socket, a file this user may not write.
        case ELOOP:
        case EISDIR:
        case ENXIO:
        case EACCES:
        case EPERM:
            rForeign = true;
            return nullptr;
        default:
            throw;
        }
    }
    const File::Info info = pFile->getInfo();
    rForeign = !info.bRegular || info.nNames != 1 ||
               (info.iOwner != File::userId() && info.iOwner != rData.getInfo().iOwner);
    if (rForeign)
        return nullptr;
    bPrivate = (info.iPermissions & 077) == 0;
    if (!bPrivate) {
        try {
            pFile->setPermissions(0600);
            bPrivate = true;
        } catch (const FileException &) {
            // A file system that keeps no modes of files (FAT through FUSE):
            // the journal is still read, but replaced before it is written.
        }
    }
    return pFile;
}

Stream *JournaledFile::DiskFiles::journal(bool bCreate) {
    // A journal another program removed or replaced since is not the one a
    // recovery would find: it is let go, and looked for anew at its name.
    // Between commits it holds nothing the data file needs.
    if (pJournal && !pJournal->isNamed(sJournalPath, false))
        pJournal.reset();
    bool bForeign = false;
    if (!pJournal)
        pJournal = openOwn(bForeign);
    // A recovery reads the user's own journal; vault bytes are written only
    // into one that nobody else may read.
    if (!bCreate || (pJournal && bPrivate))
        return pJournal.get();
    const auto refuse = [&] {
        throw FileException(EEXIST, "%s%s", kForeign, sJournalPath.getConstStr());
    };
    if (pJournal || bForeign) {
        pJournal.reset();
        try {
            File::remove(sJournalPath);
        } catch (const FileException &) {
            refuse();
        }
    }
    try {
        pJournal = std::make_unique<File>(
            sJournalPath, File::Read | File::Write | File::Create | File::Exclusive, 0600);
    } catch (const FileException &e) {
        // Put there again since it was looked at or removed.
        if (e.getErrorCode() == EEXIST)
            refuse();
        throw;
    }
    bPrivate = true;
    File::syncFolderOf(sJournalPath);
    return pJournal.get();
}

void JournaledFile::DiskFiles::syncJournal() {
    if (pJournal)
        pJournal->sync();
}

void JournaledFile::DiskFiles::removeJournal() {
    const bool bOwn = journal(false) != nullptr;
    pJournal.reset();
    if (bOwn && File::remove(sJournalPath))
        File::syncFolderOf(sJournalPath);
}

// ---- The journaled file ----

JournaledFile::JournaledFile(Files &rFiles, int iPageSize)
    : rFiles(rFiles), rData(rFiles.data()), iPageSize(std::max(iPageSize, 1)) {
    iBaseSize = iKeepBelow = iSize = rData.getSize();
}

JournaledFile::~JournaledFile() = default;

void JournaledFile::requireUndamaged() const {
    if (bDamaged)
        throw ExceptionBase("A failed write to %s could not be undone; the file is restored "
                            "when it is opened again.",
                            rData.getLocation().getConstStr());
}

bool JournaledFile::hasChanges() const {
    return !hPages.empty() || iSize != iBaseSize || iKeepBelow != iBaseSize;
}

void JournaledFile::forgetChanges() {
    hPages.clear();
    iSize = iKeepBelow = iBaseSize;
}

void JournaledFile::discard() {
    forgetChanges();
}

// ---- Reading and writing in memory ----

void JournaledFile::readBase(int64_t iAt, char *pOut, int64_t n) {
    const int64_t iValid = std::min(iKeepBelow, iBaseSize);
    const int64_t nFile = std::clamp<int64_t>(iValid - iAt, 0, n);
    int64_t iGot = 0;
    if (nFile > 0) {
        rData.setPos(int(iAt));
        iGot = readFully(rData, pOut, nFile);
    }
    // Past the end, or a file someone else cut short: zero bytes.
    std::memset(pOut + iGot, 0, size_t(n - iGot));
}

char *JournaledFile::page(int64_t iPage, bool bWhole) {
    auto it = hPages.find(iPage);
    if (it != hPages.end())
        return it->second.get();
    std::unique_ptr<char[]> pNew(new char[size_t(iPageSize)]);
    if (bWhole)
        std::memset(pNew.get(), 0, size_t(iPageSize));
    else
        readBase(iPage * iPageSize, pNew.get(), iPageSize);
    return hPages.emplace(iPage, std::move(pNew)).first->second.get();
}

int JournaledFile::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf || iPos >= iSize)
        return 0;
    if (iPos < 0)
        throw ExceptionBase("Position %lld is out of range.", static_cast<long long>(iPos));
    const int64_t n = std::min<int64_t>(nBytes, iSize - iPos);
    char *pOut = static_cast<char *>(pBuf);
    int64_t iDone = 0;
    while (iDone < n) {
        const int64_t iAt = iPos + iDone;
        const int64_t iPage = iAt / iPageSize;
        const int64_t iOffset = iAt % iPageSize;
        auto it = hPages.lower_bound(iPage);
        int64_t k;
        if (it != hPages.end() && it->first == iPage) {
            k = std::min<int64_t>(iPageSize - iOffset, n - iDone);
            std::memcpy(pOut + iDone, it->second.get() + iOffset, size_t(k));
        } else {
            // Up to the next changed page in one read of the file.
            const int64_t iRunEnd = it == hPages.end() ? INT64_MAX : it->first * iPageSize;
            k = std::min(iRunEnd - iAt, n - iDone);
            readBase(iAt, pOut + iDone, k);
        }
        iDone += k;
    }
    iPos += n;
    return int(n);
}

int JournaledFile::write(const void *pBuf, int nBytes) {
    requireUndamaged();
    if (nBytes < 1 || !pBuf)
        return 0;
    if (iPos < 0 || iPos + nBytes > INT32_MAX)
        throw ExceptionBase("Position %lld is out of range.", static_cast<long long>(iPos));
    const char *pIn = static_cast<const char *>(pBuf);
    int64_t iDone = 0;
    while (iDone < nBytes) {
        const int64_t iAt = iPos + iDone;
        const int64_t iOffset = iAt % iPageSize;
        const int64_t k = std::min<int64_t>(iPageSize - iOffset, nBytes - iDone);
        char *p = page(iAt / iPageSize, k == iPageSize);
        std::memcpy(p + iOffset, pIn + iDone, size_t(k));
        iDone += k;
    }
    iPos += nBytes;
    iSize = std::max(iSize, iPos);
    return nBytes;
}

void JournaledFile::seek(int iOffset) {
    iPos = std::clamp<int64_t>(iPos + iOffset, 0, INT32_MAX);
}

void JournaledFile::setPos(int iNewPos) {
    iPos = iNewPos;
}

// As a file's: iFromEnd bytes past the end.
void JournaledFile::setPosEnd(int iFromEnd) {
    iPos = std::clamp<int64_t>(iSize + iFromEnd, 0, INT32_MAX);
}

void JournaledFile::setSize(int iNewSize) {
    requireUndamaged();
    const int64_t n = std::max(iNewSize, 0);
    if (n < iSize) {
        // Cut bytes read as zeros if the file grows again.
        hPages.erase(hPages.lower_bound(n / iPageSize + (n % iPageSize ? 1 : 0)), hPages.end());
        auto it = hPages.find(n / iPageSize);
        if (it != hPages.end())
            std::memset(it->second.get() + n % iPageSize, 0, size_t(iPageSize - n % iPageSize));
        iKeepBelow = std::min(iKeepBelow, n);
    }
    iSize = n;
}

// ---- Commit ----

// The runs of the data file that the change overwrites or cuts away, with
// their bytes as the last commit left them.
std::vector<JournaledFile::Saved> JournaledFile::saveReplaced() {
    std::vector<std::pair<int64_t, int64_t>> lRuns;
    auto addRun = [&](int64_t iFrom, int64_t iTo) {
        iTo = std::min(iTo, iBaseSize);
        if (iFrom >= iTo)
            return;
        if (!lRuns.empty() && lRuns.back().second >= iFrom)
            lRuns.back().second = std::max(lRuns.back().second, iTo);
        else
            lRuns.emplace_back(iFrom, iTo);
    };
    const int64_t iCut = std::min(iKeepBelow, iBaseSize);
    for (const auto &[iPage, pData] : hPages) {
        const int64_t iFrom = iPage * iPageSize;
        if (iFrom >= iCut)
            break;
        addRun(iFrom, iFrom + iPageSize);
    }
    addRun(iCut, iBaseSize);

    std::vector<Saved> lSaved;
    lSaved.reserve(lRuns.size());
    for (const auto &[iFrom, iTo] : lRuns) {
        Saved saved{iFrom, String(int(iTo - iFrom))};
        rData.setPos(int(iFrom));
        if (readFully(rData, saved.sBytes.getStr(), iTo - iFrom) != iTo - iFrom)
            throw FileException(EIO,
                                "%s: the file is shorter than it was when it was last written.",
                                rData.getLocation().getConstStr());
        lSaved.push_back(std::move(saved));
    }
    return lSaved;
}

String JournaledFile::journalBytes(const std::vector<Saved> &lSaved) const {
    int64_t iRecordBytes = 0;
    for (const Saved &r : lSaved)
        iRecordBytes += kRecordHead + r.sBytes.getSize();
    if (iRecordBytes > INT32_MAX - kHeaderSize)
        throw ExceptionBase("The change is too large for one journal.");
    String sJournal(int(kHeaderSize + iRecordBytes));
    char *p = sJournal.getStr();
    std::memcpy(p, kMagic, sizeof kMagic);
    putLe(p + 8, kVersion, 4);
    putLe(p + 12, lSaved.size(), 4);
    putLe(p + 16, uint64_t(iBaseSize), 8);
    putLe(p + 24, uint64_t(iRecordBytes), 4);
    char *q = p + kHeaderSize;
    for (const Saved &r : lSaved) {
        putLe(q, uint64_t(r.iOffset), 8);
        putLe(q + 8, uint64_t(r.sBytes.getSize()), 4);
        std::memcpy(q + kRecordHead, r.sBytes.getConstStr(), size_t(r.sBytes.getSize()));
        q += kRecordHead + r.sBytes.getSize();
    }
    uint32_t iCrc = crcOf(crcOf(0, nullptr, 0), p, 28);
    iCrc = crcOf(iCrc, p + kHeaderSize, size_t(iRecordBytes));
    putLe(p + 28, iCrc, 4);
    return sJournal;
}

void JournaledFile::applyPages() {
    // The size first: cut bytes become zeros when the file grows again, and
    // no write lands past the end (a stream may not leave holes).
    if (iKeepBelow < iBaseSize)
        rData.setSize(int(iKeepBelow));
    if (iSize != iKeepBelow)
        rData.setSize(int(iSize));
    // Pages that follow each other go out in one write.
    std::vector<char> lRun;
    int64_t iRunStart = -1;
    auto flush = [&] {
        if (lRun.empty())
            return;
        writeAt(rData, iRunStart, lRun.data(), int64_t(lRun.size()));
        lRun.clear();
    };
    for (const auto &[iPage, pData] : hPages) {
        const int64_t iFrom = iPage * iPageSize;
        const int64_t n = std::min<int64_t>(iPageSize, iSize - iFrom);
        if (n <= 0)
            break;
        if (lRun.empty() || iRunStart + int64_t(lRun.size()) != iFrom ||
            int64_t(lRun.size()) + n > kWriteRun) {
            flush();
            iRunStart = iFrom;
        }
        lRun.insert(lRun.end(), pData.get(), pData.get() + n);
    }
    flush();
}

void JournaledFile::invalidateJournal(Stream &rJournal) {
    // Within the first sector: a disk writes it whole or not at all.
    const char aZeros[kHeaderSize] = {};
    writeAt(rJournal, 0, aZeros, kHeaderSize);
    rFiles.syncJournal();
}

void JournaledFile::putBack(const std::vector<Saved> &lSaved, int64_t iOldSize) {
    rData.setSize(int(iOldSize));
    for (const Saved &r : lSaved)
        writeAt(rData, r.iOffset, r.sBytes.getConstStr(), r.sBytes.getSize());
    rFiles.syncData();
}

void JournaledFile::commit() {
    requireUndamaged();
    if (!hasChanges())
        return;
    std::vector<Saved> lSaved;
    Stream *pJournal = nullptr;
    try {
        pJournal = rFiles.journal(true);
        if (pJournal) {
            lSaved = saveReplaced();
            const String sJournal = journalBytes(lSaved);
            writeAt(*pJournal, 0, sJournal.getConstStr(), sJournal.getSize());
            rFiles.syncJournal();
        }
    } catch (...) {
        // The data file is untouched. A journal that did reach the disk
        // whole holds the bytes the file still has: restoring it changes
        // nothing, and the next commit writes over it before it touches
        // the file.
        forgetChanges();
        throw;
    }
    try {
        applyPages();
        rFiles.syncData();
        if (pJournal)
            invalidateJournal(*pJournal);
    } catch (...) {
        try {
            if (!pJournal)
                throw;
            putBack(lSaved, iBaseSize);
            // With the old bytes back, a journal still valid changes nothing.
            try {
                invalidateJournal(*pJournal);
            } catch (...) {
            }
        } catch (...) {
            bDamaged = true;
        }
        forgetChanges();
        throw;
    }
    hPages.clear();
    iBaseSize = iKeepBelow = iSize;
}

bool JournaledFile::recover() {
    if (hasChanges())
        throw ExceptionBase("A journal is recovered before anything is written.");
    Stream *pJournal = rFiles.journal(false);
    if (!pJournal)
        return false;
    pJournal->setPos(0);
    const String sJournal = pJournal->readAll();
    int64_t iOldSize = 0;
    std::vector<std::pair<int64_t, String>> lRecords;
    if (!parseJournal(sJournal, iOldSize, lRecords))
        return false;
    std::vector<Saved> lSaved;
    lSaved.reserve(lRecords.size());
    for (auto &[iOffset, sBytes] : lRecords)
        lSaved.push_back({iOffset, sBytes});
    putBack(lSaved, iOldSize);
    invalidateJournal(*pJournal);
    iBaseSize = iKeepBelow = iSize = rData.getSize();
    return true;
}

void JournaledFile::removeJournal() {
    if (!bDamaged)
        rFiles.removeJournal();
}

} // namespace Ka
