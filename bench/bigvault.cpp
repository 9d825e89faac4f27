// A vault of many notes for the benchmarks, built without the store.
#include "bigvault.h"

#include "ka/archive.h"
#include "ka/file.h"
#include "ka/membuf.h"
#include "ka/tessary.h"
#include "ka/tessarystream.h"
#include "oracle.h"
#include "store/kastreamdevice.h"
#include "store/notestore.h"
#include "vrel/vrel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace bench {

QuietStdout::QuietStdout() {
    std::cout.flush();
    std::fflush(stdout);
    fdSaved = ::dup(1);
    const int fdNull = ::open("/dev/null", O_WRONLY);
    ::dup2(fdNull, 1);
    ::close(fdNull);
}

QuietStdout::~QuietStdout() {
    std::fflush(stdout);
    ::dup2(fdSaved, 1);
    ::close(fdSaved);
}

std::string tempPath(const std::string &sName) {
    const char *pBase = std::getenv("TMPDIR");
    return std::string(pBase && *pBase ? pBase : "/tmp") + "/pelimund-bench-" +
           std::to_string(::getpid()) + "-" + sName;
}

Ka::String kstr(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

BigVault::BigVault(const std::string &sPath, const std::string &sPassword, int iNotes)
    : sPath(sPath) {
    Ka::File file(kstr(sPath),
                  Ka::File::Read | Ka::File::Write | Ka::File::Create | Ka::File::Truncate);
    Ka::Tessary container(file, 1024, 2);
    container.createStream(1);
    NoteStore::NoteTable hNotes;
    for (int i = 0; i < iNotes; ++i) {
        NoteStore::Note note;
        note.iStreamId = container.createStream(1);
        note.iVersion = i % 13;
        note.bChanged = i % 2;
        note.sName = kstr("Note number " + std::to_string(i));
        note.sType = "html";
        const Ka::Uuid id = Ka::Uuid::generate();
        if (i == 0)
            idFirst = id;
        hNotes.insert(id, note);
    }
    Ka::MemBuf plain;
    {
        Vrel::Dictionary header;
        header.insert("syncId", "bench-vault");
        header.insert("remoteVersion", 42);
        KaStreamDevice dev(plain, QIODevice::WriteOnly);
        Vrel::VrelStream(&dev).writeObject(&header);
        Ka::Archive ar(plain, false);
        ar << hNotes;
    }
    const Ka::String &sPlain = plain.getString();
    const std::string sPacked =
        oracle::deflate(std::string(sPlain.getConstStr(), size_t(sPlain.getSize())));
    const uint32_t iCheck = 0x12345678;
    std::string sInner = "prefix!!";
    for (uint32_t v : {iCheck, ~iCheck})
        sInner += std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    sInner += '\x01' + sPacked;
    sInner.resize((sInner.size() + 7) / 8 * 8, '\0');
    const std::string sKey = oracle::vaultKey(sPassword);
    sHeaderStream.assign(1, '\x01');
    sHeaderStream += oracle::cfb(sKey, oracle::vaultIv(sKey), sInner, true);
    Ka::TessaryStream stream = container.openStream(1);
    stream.write(kstr(sHeaderStream));
    container.sync();
}

BigVault::~BigVault() {
    std::remove(sPath.c_str());
}

} // namespace bench
