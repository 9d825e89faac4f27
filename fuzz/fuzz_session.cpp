// Fuzz target for what the sync client reads from a server: the input is
// the plain text of a server's session (answers and fill bytes); it is
// encrypted as a server would, then read back the client's way, in pieces
// that end anywhere, through AesFilter, the answer reader and every answer
// check. Anything but values, Ka exceptions and Vrel errors is a fault, and
// the checks must only let through what they promise.
#include "ka/exception.h"
#include "ka/membuf.h"
#include "store/kastreamdevice.h"
#include "sync/aesfilter.h"
#include "sync/serveranswer.h"
#include "vrel/vrel.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kKey[] = "fuzzing session key, 32 bytes!!";

// A socket that hands out at most iPiece bytes per read.
class Pieces : public Ka::MemBuf {
public:
    Pieces(const Ka::String &sData, int iPiece) : Ka::MemBuf(sData), iPiece(iPiece) {}
    int read(void *pBuf, int nBytes) override {
        return Ka::MemBuf::read(pBuf, std::min(nBytes, iPiece));
    }

private:
    int iPiece;
};

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_session: %s\n", sWhat);
    std::abort();
}

void checkAnswer(const Vrel::Object *pAnswer) {
    if (const auto *pList = dynamic_cast<const Vrel::List *>(pAnswer)) {
        const auto lChanges = ServerAnswer::changes(*pList);
        for (size_t i = 0; i < lChanges.size(); ++i) {
            if (lChanges[i].iVersion < 0 || lChanges[i].uId == Ka::Uuid())
                failure("a change entry got through without a usable id or version");
            if (i > 0 && lChanges[i - 1].iVersion > lChanges[i].iVersion)
                failure("the changes are not in version order");
        }
        for (const Ka::Uuid &uId : ServerAnswer::noteIds(*pList))
            if (uId == Ka::Uuid())
                failure("a note list gave the empty id");
        for (const VaultInfo &info : ServerAnswer::vaults(*pList))
            if (info.used < 0)
                failure("a vault uses less than nothing");
    }
    ServerAnswer::Note note;
    if (ServerAnswer::note(pAnswer, note) && note.iVersion < 0)
        failure("a note got through with a negative version");
    int32_t iVersion = 0;
    if (ServerAnswer::toVersion(pAnswer, iVersion) && iVersion < 0)
        failure("a negative version got through");
    Ka::Uuid uId;
    if (const auto *pText = dynamic_cast<const Vrel::String *>(pAnswer))
        if (ServerAnswer::toId(*pText, uId) && uId == Ka::Uuid())
            failure("the empty id got through");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    const int iPiece = 1 + (nSize > 0 ? pData[0] % 40 : 0);
    std::string sSession(reinterpret_cast<const char *>(pData) + (nSize > 0),
                         nSize > 0 ? nSize - 1 : 0);
    sSession.resize((sSession.size() + 15) / 16 * 16, '\0');
    const CryptoPP::byte aIv[16] = {};
    auto *pBytes = reinterpret_cast<CryptoPP::byte *>(sSession.data());
    CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption(reinterpret_cast<const CryptoPP::byte *>(kKey),
                                                  32, aIv)
        .ProcessData(pBytes, pBytes, sSession.size());

    Pieces socket(Ka::String(sSession.data(), int(sSession.size())), iPiece);
    AesFilter filter(socket, Ka::String(kKey, 32));
    KaStreamDevice device(filter, QIODevice::ReadOnly);
    Vrel::VrelStream stream(&device);
    try {
        for (int i = 0; i < 64; ++i)
            checkAnswer(ServerAnswer::read(stream).get());
    } catch (const Ka::ExceptionBase &) {
    } catch (const Vrel::Error &) {
    }
    return 0;
}
