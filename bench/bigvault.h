// A vault of many notes for the benchmarks, built without the store.
#pragma once

#include "ka/string.h"
#include "ka/uuid.h"

#include <string>

namespace bench {

// A path under $TMPDIR (or /tmp) unique to this process.
std::string tempPath(const std::string &sName);

Ka::String kstr(const std::string &s);

// Sends standard output to /dev/null while it lives: the store and the sync
// client print a line or two per note, and the measurements should not be
// about the terminal.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout &) = delete;
    QuietStdout &operator=(const QuietStdout &) = delete;

private:
    int fdSaved;
};

// A vault file of iNotes notes with empty bodies and names "Note number i",
// built directly with the container and Crypto++/zlib, since creating it
// note by note would rewrite the header once per note. The file is removed
// with the object.
struct BigVault {
    BigVault(const std::string &sPath, const std::string &sPassword, int iNotes);
    ~BigVault();
    BigVault(const BigVault &) = delete;
    BigVault &operator=(const BigVault &) = delete;

    std::string sPath;
    std::string sHeaderStream; // stream 1's bytes
    Ka::Uuid idFirst;          // the id of note 0
};

} // namespace bench
