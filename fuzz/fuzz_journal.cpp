// Fuzz target for journal recovery: any bytes found as the journal either
// restore the data file from the records they hold or leave it untouched;
// either way recovery ends without a crash, the journal is left invalid,
// and a second recovery does nothing.
#include "ka/exception.h"
#include "ka/journaledfile.h"
#include "ka/membuf.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_journal: %s\n", sWhat);
    std::abort();
}

// The data file and the journal in memory.
class Files : public Ka::JournaledFile::Files {
public:
    Files(const std::string &sData, const uint8_t *pJournal, size_t iJournal)
        : mData(Ka::String(sData.data(), int(sData.size()))),
          mJournal(Ka::String(reinterpret_cast<const char *>(pJournal), int(iJournal))) {}
    Ka::Stream &data() override { return mData; }
    void syncData() override {}
    Ka::Stream *journal(bool) override { return &mJournal; }
    void syncJournal() override {}
    void removeJournal() override {}
    Ka::MemBuf mData;
    Ka::MemBuf mJournal;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    std::string sData(3000, '\0');
    for (size_t i = 0; i < sData.size(); ++i)
        sData[i] = char(i * 31);
    Files files(sData, pData, iSize);
    Ka::JournaledFile jf(files, 1024);
    bool bRestored = false;
    try {
        bRestored = jf.recover();
    } catch (const Ka::ExceptionBase &) {
        failure("recovery in memory threw");
    }
    const Ka::String &sNow = files.mData.getString();
    if (!bRestored && std::string(sNow.getConstStr(), size_t(sNow.getSize())) != sData)
        failure("a refused journal changed the data file");
    if (jf.getSize() != sNow.getSize())
        failure("the journaled file's size differs from the data file's");
    if (jf.recover())
        failure("a recovered journal was still valid");
    return 0;
}
