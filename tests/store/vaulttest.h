// Helpers for the vault store tests: note contents, a store with a stream
// between container and file, an independent reader of the container, and
// Crypto++ and zlib as the outside view of the vault layers.
#pragma once

#include "store/notestore.h"
#include "support/bytes.h"
#include "support/tempdir.h"
#include "support/watchedfiles.h"
#include "vrel/vrel.h"

#include "oracle.h"
#include <map>
#include <memory>

#include <string>

namespace vaulttest {

inline constexpr auto &kstr = support::toKa;
inline constexpr auto &str = support::toStd;

// A note content as the editor makes it: one "data" entry with the HTML.
std::unique_ptr<Vrel::Dictionary> content(const std::string &sHtml);
// The "data" bytes of a loaded content (deleted here); "(null)" for null.
std::string htmlOf(Vrel::Dictionary *pContent);

// The typed-value bytes of one object.
std::string vrelBytes(const Vrel::Object &rObject);

// What a reader can see of a vault: the remote version, the header values
// the store and the sync use, and every note's record and stored bytes.
// Equal views mean equal vaults.
std::string viewOf(NoteStore &rStore);

// A NoteStore whose journaled file works on what fLayer makes of the vault
// file and its journal on disk.
class SeamStore : public NoteStore {
public:
    using NoteStore::Files;
    using NoteStore::FilesLayer;
    SeamStore(const std::string &sPath, const std::string &sPassword, const FilesLayer &fLayer)
        : NoteStore(kstr(sPath), kstr(sPassword), fLayer) {}
};

// A store whose files are watched (every event logged, the hook run before
// each); pFiles points at them while the store lives.
struct WatchedStore {
    support::WatchedFiles *pFiles = nullptr;
    std::unique_ptr<NoteStore> pStore;
    WatchedStore(const std::string &sPath, const std::string &sPassword,
                 support::WatchedFiles::Hook fHook = {});
};

// The streams of a container file, read byte by byte without the container
// code: stream id to its bytes (stream 0, the table, included).
std::map<int, std::string> readContainer(const std::string &sFile);

// Outside answers (Crypto++, zlib) come from oracle.h.
// A note stream (or meta blob) holding these typed-value bytes.
std::string oracleSeal(const std::string &sPassword, const std::string &sVrel);
// The typed-value bytes of a note stream or meta blob.
std::string oracleOpen(const std::string &sPassword, const std::string &sSealed);

// A vault file in a temporary folder.
struct VaultFile {
    support::TempDir dir;
    std::string sPath = dir.getFilePath("test.vault");
    std::string bytes() const { return str(support::readFile(sPath)); }
    void setBytes(const std::string &s) const { support::writeFile(sPath, kstr(s)); }
};

} // namespace vaulttest
