// Fuzz target for the container reader: any bytes either open as a container
// or end in a Ka exception; an opened container reads every stream whole,
// takes a few changes, syncs, and reopens with exactly the same streams.
#include "ka/exception.h"
#include "ka/membuf.h"
#include "ka/tessary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using Model = std::map<int, std::string>;

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_tessary: %s\n", sWhat);
    std::abort();
}

std::string readWhole(Ka::Tessary &t, int iId) {
    Ka::TessaryStream s = t.openStream(iId);
    Ka::String sData = s.readAll();
    if (sData.getSize() != s.getSize())
        failure("a stream read back a different size than it has");
    return std::string(sData.getConstStr(), size_t(sData.getSize()));
}

Model readAll(Ka::Tessary &t) {
    Model model;
    Ka::Array<int> aIds = t.getStreamIds();
    for (int i = 1; i < aIds.getSize(); ++i)
        model[aIds[i]] = readWhole(t, aIds[i]);
    return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    Ka::MemBuf buf(Ka::String(reinterpret_cast<const char *>(pData), int(iSize)));
    Model model;
    try {
        Ka::Tessary t(buf, 64, 1);
        model = readAll(t);
        // A little of everything a store does: append, shrink, a new stream.
        if (!model.empty()) {
            auto it = model.begin();
            Ka::TessaryStream s = t.openStream(it->first);
            s.setPosEnd(0);
            s.write(Ka::String("appended"));
            it->second += "appended";
            s.setSize(int(it->second.size() / 2));
            it->second.resize(it->second.size() / 2);
        }
        int iNew = t.createStream(1);
        t.openStream(iNew).write(Ka::String("a new stream"));
        model[iNew] = "a new stream";
        t.sync();
    } catch (const Ka::ExceptionBase &) {
        return 0;
    }
    try {
        Ka::Tessary t(buf, 64, 1);
        if (readAll(t) != model)
            failure("the synced container reopened with other streams");
    } catch (const Ka::ExceptionBase &e) {
        std::fprintf(stderr, "%s\n", e.what());
        failure("the synced container does not reopen");
    }
    return 0;
}
