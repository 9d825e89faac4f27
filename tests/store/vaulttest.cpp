// Helpers for the vault store tests: contents, container reader, oracles.
#include "vaulttest.h"

#include "ka/membuf.h"
#include "store/kastreamdevice.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vaulttest {

std::unique_ptr<Vrel::Dictionary> content(const std::string &sHtml) {
    auto pDict = std::make_unique<Vrel::Dictionary>();
    pDict->insert("data", QByteArray(sHtml.data(), qsizetype(sHtml.size())));
    return pDict;
}

std::string htmlOf(Vrel::Dictionary *pContent) {
    std::unique_ptr<Vrel::Dictionary> pOwned(pContent);
    if (!pOwned)
        return "(null)";
    const QByteArray ba = pOwned->valueStr("data");
    return std::string(ba.constData(), size_t(ba.size()));
}

WatchedStore::WatchedStore(const std::string &sPath, const std::string &sPassword,
                           support::WatchedFiles::Hook fHook) {
    pStore =
        std::make_unique<SeamStore>(sPath, sPassword, [&](std::unique_ptr<SeamStore::Files> p) {
            auto pWatched = std::make_unique<support::WatchedFiles>(std::move(p));
            pFiles = pWatched.get();
            // Installed once the files exist, so that a hook can reach them.
            if (fHook)
                pFiles->setHook(fHook);
            return std::unique_ptr<SeamStore::Files>(std::move(pWatched));
        });
}

std::string viewOf(NoteStore &rStore) {
    std::map<std::string, std::string> hNotes;
    const Ka::List<Ka::Uuid> lIds = rStore.getNoteIds();
    for (const Ka::Uuid &id : lIds) {
        const NoteStore::Note &rNote = rStore.getNotes().get(id);
        hNotes[str(id.getRaw())] =
            str(rNote.sName) + "|" + str(rNote.sType) + "|" + std::to_string(rNote.iVersion) + "|" +
            std::to_string(rNote.bChanged) + "|" + str(rStore.getNoteData(id));
    }
    std::string sView = std::to_string(rStore.getRemoteVersion()) + "\n";
    for (const char *sKey : {"remoteVersion", "deletes", "syncId", "remoteUser", "remotePass"})
        sView += rStore.hasHeader(sKey) ? vrelBytes(*rStore.getHeader(sKey)) + "\n" : "-\n";
    for (const auto &[sId, sNote] : hNotes)
        sView += sId + sNote + "\n";
    return sView;
}

std::string vrelBytes(const Vrel::Object &rObject) {
    Ka::MemBuf buf;
    KaStreamDevice dev(buf, QIODevice::WriteOnly);
    Vrel::VrelStream(&dev).writeObject(&rObject);
    return str(buf.getString());
}

namespace {

uint32_t le32(const std::string &s, size_t iPos) {
    if (iPos + 4 > s.size())
        throw std::runtime_error("readContainer: the file ends early");
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(s[iPos + size_t(i)]);
    return v;
}

// Reads the table through stream 0's own blocks: block 0 until stream 0's
// entry has named them all.
class TableReader {
public:
    TableReader(const std::string &sFile, size_t iBlockSize)
        : sFile(sFile), iBlockSize(iBlockSize), lBlocks{0} {}
    uint32_t next() {
        std::string s4;
        for (int i = 0; i < 4; ++i, ++iPos) {
            const size_t iBlock = iPos / iBlockSize;
            if (iBlock >= lBlocks.size())
                throw std::runtime_error("readContainer: the table runs past stream 0");
            const size_t iAt = lBlocks[iBlock] * iBlockSize + iPos % iBlockSize;
            if (iAt >= sFile.size())
                throw std::runtime_error("readContainer: the file ends early");
            s4.push_back(sFile[iAt]);
        }
        return le32(s4, 0);
    }
    void skip(size_t n) { iPos += n; }
    void setStream0(std::vector<size_t> lNew) { lBlocks = std::move(lNew); }

private:
    const std::string &sFile;
    size_t iBlockSize;
    std::vector<size_t> lBlocks;
    size_t iPos = 0;
};

} // namespace

std::map<int, std::string> readContainer(const std::string &sFile) {
    if (sFile.size() < 14 || sFile.compare(0, 4, "\x0a\xd3\xfa\x84") != 0)
        throw std::runtime_error("readContainer: no container");
    const size_t iBlockSize = le32(sFile, 6);
    TableReader table(sFile, iBlockSize);
    table.skip(10);
    const uint32_t iStreams = table.next();
    std::map<int, std::string> hStreams;
    for (uint32_t n = 0; n < iStreams; ++n) {
        const int iId = int(table.next());
        const size_t iSize = table.next();
        std::vector<size_t> lBlocks;
        for (size_t i = 0; i < (iSize + iBlockSize - 1) / iBlockSize; ++i)
            lBlocks.push_back(table.next());
        if (n == 0)
            table.setStream0(lBlocks);
        std::string sData;
        for (size_t iBlock : lBlocks)
            sData += sFile.substr(iBlock * iBlockSize, iBlockSize);
        if (sData.size() < iSize)
            throw std::runtime_error("readContainer: a stream runs past the file");
        hStreams[iId] = sData.substr(0, iSize);
    }
    return hStreams;
}

std::string oracleSeal(const std::string &sPassword, const std::string &sVrel) {
    std::string sPlain = "PREFIX!!" + oracle::deflate(sVrel);
    sPlain.resize((sPlain.size() + 7) / 8 * 8, '\0');
    const std::string sKey = oracle::vaultKey(sPassword);
    return oracle::cfb(sKey, oracle::vaultIv(sKey), sPlain, true);
}

std::string oracleOpen(const std::string &sPassword, const std::string &sSealed) {
    const std::string sKey = oracle::vaultKey(sPassword);
    const std::string sPlain = oracle::cfb(sKey, oracle::vaultIv(sKey), sSealed, false);
    size_t iUsed = 0;
    std::string sVrel = oracle::inflate(sPlain.substr(8), &iUsed);
    // After the zlib stream only the zero fill of the last cipher block.
    const std::string sFill = sPlain.substr(8 + iUsed);
    if (sFill.size() > 7 || sFill != std::string(sFill.size(), '\0'))
        throw std::runtime_error("oracleOpen: unexpected bytes after the zlib stream");
    return sVrel;
}

} // namespace vaulttest
