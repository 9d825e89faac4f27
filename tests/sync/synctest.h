// Helpers for the sync tests: a client aimed at the test server, the record
// of what a run signalled, and vaults with notes.
#pragma once

#include "store/notestore.h"
#include "support/tempdir.h"
#include "sync/client.h"
#include "syncserver.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace synctest {

inline const char *const kUser = "ada";
inline const char *const kPass = "lovelace";
inline const char *const kVaultPass = "vault password";

// A Client that connects to 127.0.0.1 at iPort and gives up after iTimeout
// seconds without a byte.
class TestClient : public Client {
public:
    TestClient(NoteStore *pStore, int iPort, int iOperation, const QByteArray &baVaultId = {},
               const QString &sUser = kUser, const QString &sPass = kPass, int iTimeout = 5)
        : Client(pStore, sUser, sPass, iOperation, baVaultId) {
        setServer(QStringLiteral("127.0.0.1"), iPort);
        setTimeout(iTimeout);
    }
    using Client::setBatchBytes;
};

// What one run signalled, in order: "text <t>", "count <n>", "step <n>",
// "vaults <n>", "vaultChanged", "badLogin", "error <t>" and "done".
struct Outcome {
    std::vector<std::string> lEvents;
    VaultInfoList lVaults;

    std::vector<std::string> texts() const { return withPrefix("text "); }
    std::vector<std::string> errors() const { return withPrefix("error "); }
    std::vector<std::string> withPrefix(const std::string &sPrefix) const;
    bool has(const std::string &sEvent) const;
    // No error and no refused login.
    bool ok() const { return errors().empty() && !has("badLogin"); }
};

// Runs the client to its end; signals are recorded as they come, on the
// client's thread. Checks that done() came once, and last.
Outcome runToEnd(Client &rClient);

// A note's name and HTML.
struct Content {
    std::string sName;
    std::string sHtml;
    bool operator==(const Content &o) const { return sName == o.sName && sHtml == o.sHtml; }
};
inline void PrintTo(const Content &content, std::ostream *pOut) {
    *pOut << content.sName << ": " << content.sHtml;
}
using Contents = std::map<std::string, Content>; // by the note id's text form

// iBytes of text that does not compress, different for every call.
std::string noise(size_t iBytes);
Ka::Uuid addNote(NoteStore &rStore, const std::string &sName, const std::string &sHtml);
void editNote(NoteStore &rStore, const Ka::Uuid &uId, const std::string &sHtml);
Contents contentsOf(NoteStore &rStore);
// The id of the remote vault the vault is tied to; empty when none.
QByteArray syncIdOf(const NoteStore &rStore);
// The notes as "name: html", sorted, for messages and simple checks.
std::vector<std::string> summary(NoteStore &rStore);

// A test server in a folder of its own with the user kUser, and vault
// files beside it.
class SyncTest : public testing::Test {
protected:
    SyncTest();

    std::string vaultPath(const std::string &sName) const { return dir.getFilePath(sName); }
    std::unique_ptr<NoteStore> openVault(const std::string &sName,
                                         const std::string &sPassword = kVaultPass);
    Outcome sync(NoteStore &rStore, int iTimeout = 5);
    Outcome listVaults(NoteStore &rStore);
    Outcome download(NoteStore &rStore, const QByteArray &baVaultId);
    // A new vault sName filled from rFrom's remote vault.
    std::unique_ptr<NoteStore> downloadCopy(NoteStore &rFrom, const std::string &sName);
    // Stops the server and starts it again over the same folder.
    void restartServer();

    support::TempDir dir;
    std::unique_ptr<testserver::SyncServer> pServer;
};

} // namespace synctest
