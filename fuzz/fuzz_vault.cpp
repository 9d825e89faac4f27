// Fuzz target for the vault reader: any file opens as a vault or ends in a
// Ka exception, every note of an opened vault loads or gives null, and a
// file is never written by opening and reading it, unless it becomes a new
// vault: only an empty file, or a container whose blocks hold nothing but
// its table, may. A file the open refuses is never changed.
//
// An input is taken as the vault file itself, except one that begins with
// 'H': its other bytes are the decrypted, inflated header (dictionary and
// note table), which the target wraps into a vault whose streams 2 to 4
// hold note bodies, so that mutations reach past the password check.
#include "ka/blowfish.h"
#include "ka/ciphermodecfb.h"
#include "ka/deflate.h"
#include "ka/exception.h"
#include "ka/file.h"
#include "ka/membuf.h"
#include "ka/sha1.h"
#include "ka/streamstack.h"
#include "ka/tessary.h"
#include "store/notestore.h"
#include "vrel/dictionary.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// The seed vaults in fuzz/corpus/vault were made with this password.
const char *const kPassword = "fuzz";

const std::string &vaultPath() {
    static const std::string sPath = [] {
        const char *pBase = std::getenv("TMPDIR");
        return std::string(pBase && *pBase ? pBase : "/tmp") + "/pelimund-fuzz-vault-" +
               std::to_string(::getpid()) + ".vault";
    }();
    return sPath;
}

std::string readBack(const std::string &sPath) {
    std::ifstream in(sPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_vault: %s\n", sWhat);
    std::abort();
}

// sPrefix, then sPlain compressed, all under the vault's cipher with its
// random prefix, as the store writes its streams.
std::string seal(const std::string &sPrefix, const std::string &sPlain) {
    Ka::Sha1 hash;
    hash.addData(Ka::String(kPassword));
    Ka::String sKey = hash.getResult();
    sKey.append(kPassword);
    hash.reset();
    hash.addData(sKey);
    const Ka::String sIv = hash.getResult();

    auto *pBuf = new Ka::MemBuf;
    Ka::StreamStack stack(pBuf);
    auto &rCipher = stack.addFilter<Ka::CipherModeCfb<8, Ka::Blowfish<1>>>();
    rCipher.setKey(sKey);
    std::memcpy(rCipher.V, sIv.getConstStr(), 8);
    const std::string sFirst = "prefix!!" + sPrefix;
    stack.write(sFirst.data(), int(sFirst.size()));
    stack.addFilter<Ka::Deflate>(9, Ka::Deflate::Zlib);
    stack.write(sPlain.data(), int(sPlain.size()));
    stack.close();
    return std::string(pBuf->getString().getConstStr(), size_t(pBuf->getString().getSize()));
}

void writeStream(Ka::Tessary &rContainer, int iId, const std::string &sBytes) {
    Ka::TessaryStream stream = rContainer.openStream(iId);
    stream.write(sBytes.data(), int(sBytes.size()));
}

// A vault around the given header plaintext; note streams 2 to 4 hold a
// content dictionary, a list and bytes that do not decompress.
std::string wrapHeader(const std::string &sHeader) {
    const std::string &sPath = vaultPath();
    std::remove(sPath.c_str());
    {
        Ka::File file(Ka::String(sPath.c_str()),
                      Ka::File::Read | Ka::File::Write | Ka::File::Create);
        Ka::Tessary container(file, 1024, 2);
        for (int i = 1; i <= 4; ++i)
            container.createStream(1);
        const std::string sCheck("\x78\x56\x34\x12\x87\xa9\xcb\xed\x01", 9);
        // Appended rather than "\x01" + ..., which GCC 12 misreads as an
        // overlapping copy (-Wrestrict).
        std::string sStream1(1, '\x01');
        sStream1 += seal(sCheck, sHeader);
        writeStream(container, 1, sStream1);
        const std::string sDict("\x06\x01\0\0\0\x04\0\0\0data\x02\x03\0\0\0<p>", 18);
        writeStream(container, 2, seal("", sDict));
        writeStream(container, 3, seal("", std::string("\x05\0\0\0\0", 5)));
        writeStream(container, 4, std::string(64, 'z'));
        container.sync();
    }
    return readBack(sPath);
}

uint32_t le32(const std::string &s, size_t iAt) {
    uint32_t v = 0;
    for (size_t i = 4; i-- > 0;)
        v = v << 8 | uint8_t(s[iAt + i]);
    return v;
}

// Whether the file may become a new vault: an empty file, or a container
// whose table names stream 0 alone while every byte outside the blocks that
// stream lists is zero. Read here without the container code; block sizes
// and tables this short reading does not follow get the benefit of the doubt.
bool mayBecomeNewVault(const std::string &sFile) {
    if (sFile.empty())
        return true;
    if (sFile.size() < 22 || sFile.compare(0, 6, "\x0a\xd3\xfa\x84\x01\x20") != 0 ||
        le32(sFile, 10) != 1 || le32(sFile, 14) != 0)
        return false;
    const uint64_t iBlockSize = le32(sFile, 6);
    if (iBlockSize < 30)
        return true;
    const uint64_t nListed = (uint64_t(le32(sFile, 18)) + iBlockSize - 1) / iBlockSize;
    if (22 + 4 * nListed > std::min<uint64_t>(iBlockSize, sFile.size()))
        return true;
    std::set<uint64_t> hListed;
    for (uint64_t i = 0; i < nListed; ++i)
        hListed.insert(le32(sFile, size_t(22 + 4 * i)));
    for (size_t i = 0; i < sFile.size(); ++i)
        if (sFile[i] != 0 && hListed.count(i / iBlockSize) == 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    std::string sFile(reinterpret_cast<const char *>(pData), iSize);
    const std::string &sPath = vaultPath();
    if (!sFile.empty() && sFile[0] == 'H') {
        sFile = wrapHeader(sFile.substr(1));
    } else {
        std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
        out.write(sFile.data(), std::streamsize(sFile.size()));
        if (!out)
            failure("cannot write the temporary vault");
    }
    bool bOpened = false;
    try {
        NoteStore store(Ka::String(sPath.c_str()), Ka::String(kPassword));
        bOpened = true;
        const Ka::List<Ka::Uuid> lIds = store.getNoteIds();
        for (const Ka::Uuid &id : lIds) {
            store.getNoteName(id);
            delete store.loadNote(id);
        }
    } catch (const Ka::ExceptionBase &) {
    }
    // No journal stands beside the file, so nothing may put it back either.
    if (readBack(sPath) != sFile) {
        if (!bOpened)
            failure("a refused file was changed");
        if (!mayBecomeNewVault(sFile))
            failure("a file that holds data outside its table became a new vault");
    }
    std::remove(sPath.c_str());
    return 0;
}
