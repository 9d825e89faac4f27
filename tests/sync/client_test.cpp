// Client against the test server: the handshake and its refusals, the
// server host, the remote vault list carried to another thread, quotas,
// progress, and every fault the server can show.
#include "sync/client.h"

#include "support/child.h"
#include "synctest.h"
#include "vrel/vrel.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace synctest;
using testserver::Faults;

namespace {

const std::string kCommError = "Error communicating with server.";

class ClientTest : public SyncTest {};

TEST_F(ClientTest, HandshakeAndLoginWithoutAnOperation) {
    auto pVault = openVault("a.vault");
    TestClient client(pVault.get(), pServer->getPort(), 3);
    const Outcome result = runToEnd(client);
    EXPECT_EQ(result.lEvents,
              (std::vector<std::string>{"text Connecting...", "text Establishing security...",
                                        "text Logging in...", "text Completed", "done"}));
    EXPECT_EQ(pServer->getRequests(), (std::vector<QByteArray>{"hello", "cryptSetup", "login"}));
    EXPECT_EQ(pServer->getHelloClient(), "win32");
    EXPECT_EQ(pServer->getHelloVersion(), 10003);
}

TEST_F(ClientTest, RefusalsOfTheHandshake) {
    auto pVault = openVault("a.vault");
    Faults faults;
    faults.baHelloError = "Down for maintenance";
    pServer->setFaults(faults);
    EXPECT_EQ(sync(*pVault).lEvents,
              (std::vector<std::string>{"text Connecting...", "text Establishing security...",
                                        "error Down for maintenance", "done"}));

    // Shown as rich text: what the server says must not become markup.
    faults.baHelloError = "<a href=\"http://elsewhere\">Update</a> & retry";
    pServer->setFaults(faults);
    EXPECT_EQ(sync(*pVault).errors(),
              std::vector<std::string>{
                  "&lt;a href=&quot;http://elsewhere&quot;&gt;Update&lt;/a&gt; &amp; retry"});

    faults = Faults();
    faults.bRefuseKeyExchange = true;
    pServer->setFaults(faults);
    EXPECT_EQ(sync(*pVault).errors(), std::vector<std::string>{"Error establishing security."});

    for (Faults::Kind eKind : {Faults::Kind::WrongKind, Faults::Kind::Garbage}) {
        faults = Faults();
        faults.eKind = eKind;
        faults.iAt = 1;
        pServer->setFaults(faults);
        EXPECT_EQ(sync(*pVault).errors(), std::vector<std::string>{kCommError});
        faults.iAt = 2;
        pServer->setFaults(faults);
        EXPECT_EQ(sync(*pVault).errors().size(), 1u);
    }
    EXPECT_FALSE(pVault->hasHeader("syncId"));
}

TEST_F(ClientTest, RefusedLoginThenRetry) {
    auto pVault = openVault("a.vault");
    TestClient wrong(pVault.get(), pServer->getPort(), Client::SyncVault, {}, kUser, "wrong");
    const Outcome refused = runToEnd(wrong);
    EXPECT_TRUE(refused.has("badLogin"));
    EXPECT_TRUE(refused.errors().empty());
    EXPECT_EQ(refused.lEvents.end()[-2], "badLogin");

    Faults faults;
    faults.bRefuseLogin = true;
    pServer->setFaults(faults);
    EXPECT_TRUE(sync(*pVault).has("badLogin"));
    pServer->setFaults(Faults());
    EXPECT_TRUE(sync(*pVault).ok());
    EXPECT_TRUE(pVault->hasHeader("syncId"));
}

TEST_F(ClientTest, NoServer) {
    auto pVault = openVault("a.vault");
    const int iPort = pServer->getPort();
    pServer.reset();
    TestClient client(pVault.get(), iPort, Client::SyncVault);
    EXPECT_EQ(
        runToEnd(client).lEvents,
        (std::vector<std::string>{"text Connecting...",
                                  "error Error connecting to cloud, try again later.", "done"}));
}

TEST(ClientHost, TheHostnameFileNamesTheServer) {
    support::TempDir dir;
    const QString sBefore = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.getPath())));
    const QString sDefault = Client::serverHost();
    EXPECT_FALSE(sDefault.isEmpty());
    std::ofstream(dir.getFilePath("hostname")) << " \t sync.example.org \r\n";
    EXPECT_EQ(Client::serverHost(), "sync.example.org");
    std::ofstream(dir.getFilePath("hostname"), std::ios::trunc).flush();
    EXPECT_EQ(Client::serverHost(), "");
    QDir::setCurrent(sBefore);
}

// Only a file of the user's own that no one else may write chooses where
// the login goes: another user's file, one others or another group may
// write, a link (even to the user's own file) and a pipe leave the default
// host.
TEST(ClientHost, OnlyTheUsersOwnHostnameFileCounts) {
    support::TempDir dir;
    const QString sBefore = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.getPath())));
    const QString sDefault = Client::serverHost();
    const std::string sFile = dir.getFilePath("hostname");
    const std::string sOwn = dir.getFilePath("own");
    std::ofstream(sOwn) << "mine.example.org\n";
    const std::vector<std::pair<std::string, std::function<void()>>> lPlaced = {
        {"writable by others",
         [&] {
             std::ofstream(sFile) << "evil.example.org\n";
             ::chmod(sFile.c_str(), 0666);
         }},
        {"another user's",
         [&] {
             std::ofstream(sFile) << "evil.example.org\n";
             ASSERT_EQ(::chown(sFile.c_str(), 65534, 65534), 0);
         }},
        {"writable by another group",
         [&] {
             std::ofstream(sFile) << "evil.example.org\n";
             ::chmod(sFile.c_str(), 0664);
             ASSERT_EQ(::chown(sFile.c_str(), uid_t(-1), 65534), 0);
         }},
        {"link to nothing", [&] { std::filesystem::create_symlink("nowhere", sFile); }},
        {"link to the user's own", [&] { std::filesystem::create_symlink(sOwn, sFile); }},
        {"pipe", [&] { ASSERT_EQ(::mkfifo(sFile.c_str(), 0600), 0); }}};
    for (const auto &[sWhat, fPlace] : lPlaced) {
        if (sWhat.find("another") != std::string::npos && ::geteuid() != 0)
            continue; // giving a file away needs root
        SCOPED_TRACE(sWhat);
        std::filesystem::remove(sFile);
        fPlace();
        // In a child that an alarm ends: a pipe must not keep it waiting.
        EXPECT_TRUE(support::passesInChild([&] { return Client::serverHost() == sDefault; }, 10));
    }
    std::filesystem::remove(sFile);
    std::filesystem::rename(sOwn, sFile);
    ::chmod(sFile.c_str(), 0644);
    EXPECT_EQ(Client::serverHost(), "mine.example.org");
    // Root's group has no other member, as a group of one's own has none.
    if (::geteuid() == 0) {
        ::chmod(sFile.c_str(), 0664);
        EXPECT_EQ(Client::serverHost(), "mine.example.org");
    }
    QDir::setCurrent(sBefore);
}

// The GUI connects by signature, and the list crosses threads queued.
class Receiver : public QObject {
    Q_OBJECT
public:
    VaultInfoList lVaults;
    QStringList lCalls;
public slots:
    void gotVaultList(VaultInfoList lList) {
        lVaults = lList;
        lCalls << "list";
    }
    void done() { lCalls << "done"; }
};

TEST_F(ClientTest, TheVaultListTravelsQueuedByName) {
    int iArgc = 0;
    QCoreApplication app(iArgc, nullptr);
    qRegisterMetaType<VaultInfoList>("VaultInfoList");
    auto pFirst = openVault("First vault.vault");
    addNote(*pFirst, "n", noise(3000));
    auto pSecond = openVault("Zweite Ablage.vault");
    ASSERT_TRUE(sync(*pFirst).ok());
    ASSERT_TRUE(sync(*pSecond).ok());

    Receiver receiver;
    // Listing needs no open vault.
    TestClient client(nullptr, pServer->getPort(), Client::ListVaults);
    ASSERT_TRUE(QObject::connect(&client, SIGNAL(gotVaultList(VaultInfoList)), &receiver,
                                 SLOT(gotVaultList(VaultInfoList))));
    ASSERT_TRUE(QObject::connect(&client, SIGNAL(done()), &receiver, SLOT(done())));
    client.start();
    client.wait();
    EXPECT_TRUE(receiver.lCalls.isEmpty()) << "delivered by the receiver's event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.lCalls, (QStringList{"list", "done"}));
    ASSERT_EQ(receiver.lVaults.size(), 2);
    std::map<QString, VaultInfo> hByName;
    for (const VaultInfo &info : receiver.lVaults)
        hByName[info.name] = info;
    EXPECT_GT(hByName["First vault"].used, 2000);
    EXPECT_EQ(hByName["Zweite Ablage"].used, 0);
    EXPECT_EQ(syncIdOf(*pFirst), hByName["First vault"].id);
}

TEST_F(ClientTest, QuotaStopsTheUploadUntilRaised) {
    pServer->setUser(kUser, kPass, 5000);
    auto pVault = openVault("a.vault");
    addNote(*pVault, "small", "s");
    ASSERT_TRUE(sync(*pVault).ok());
    const Ka::Uuid idBig = addNote(*pVault, "Big <one>", noise(8000));
    addNote(*pVault, "another", "a");
    const Outcome refused = sync(*pVault);
    EXPECT_EQ(refused.errors(),
              std::vector<std::string>{
                  "<p>Storing the note 'Big &lt;one&gt;' will exceed your quota.</p><p>Please "
                  "visit the <a href=\"https://www.quorvane.com/pelimund/\">Pelimund "
                  "website</a> to increase your quota.</p>"});
    EXPECT_TRUE(refused.has("text Completed"));
    EXPECT_TRUE(pVault->getNotes().get(idBig).bChanged);

    pServer->setUser(kUser, kPass, -1);
    EXPECT_TRUE(sync(*pVault).ok());
    for (auto it = pVault->getNotes().begin(); it.isValid(); ++it)
        EXPECT_FALSE(it.getValue().bChanged);
    EXPECT_EQ(pServer->vaultsOf(kUser).at(0).hNotes.size(), 3u);
}

TEST_F(ClientTest, ProgressOfASync) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id1 = addNote(*pA, "one", "1"), id2 = addNote(*pA, "two", "2");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    editNote(*pB, id1, "1b");
    addNote(*pB, "three", "3");
    ASSERT_TRUE(sync(*pB).ok());
    // Here: two changes to fetch, two deletions and three new notes.
    pA->deleteNote(id1);
    pA->deleteNote(id2);
    for (const char *sName : {"x", "y", "z"})
        addNote(*pA, sName, sName);
    const Outcome result = sync(*pA);
    ASSERT_TRUE(result.ok());
    std::vector<std::string> lProgress;
    for (const std::string &sEvent : result.lEvents)
        if (sEvent.rfind("count", 0) == 0 || sEvent.rfind("step", 0) == 0)
            lProgress.push_back(sEvent);
    // Two changes fetched, one note erased ("one" came back), three sent.
    EXPECT_EQ(lProgress,
              (std::vector<std::string>{"count 5", "step 1", "step 2", "count 1", "step 1",
                                        "count 5", "step 2", "step 3", "step 4", "step 5"}));
    EXPECT_EQ(summary(*pA),
              (std::vector<std::string>{"one: 1b", "three: 3", "x: x", "y: y", "z: z"}))
        << "a note changed elsewhere comes back rather than being erased";
}

// Every fault of the server ends the run with the error within the time-out;
// the vault stays whole and the next sync finishes the work.
TEST_F(ClientTest, EveryFaultEndsTheRunAndTheNextSyncCompletes) {
    auto pA = openVault("a.vault");
    std::vector<Ka::Uuid> lIds;
    for (int i = 0; i < 4; ++i)
        lIds.push_back(addNote(*pA, "note " + std::to_string(i), "first " + std::to_string(i)));
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");

    const std::vector<Faults::Kind> lKinds = {Faults::Kind::Drop, Faults::Kind::DropMidAnswer,
                                              Faults::Kind::WrongKind, Faults::Kind::Garbage};
    int iRound = 0;
    for (Faults::Kind eKind : lKinds) {
        for (int iAt = 4; iAt <= 12; ++iAt, ++iRound) {
            const std::string sRound = "round " + std::to_string(iRound);
            editNote(*pA, lIds[size_t(iRound) % 4], sRound + " a");
            editNote(*pB, lIds[size_t(iRound + 1) % 4], sRound + " b");
            addNote(*pB, sRound, "new");
            ASSERT_TRUE(sync(*pB).ok());
            Faults faults;
            faults.eKind = eKind;
            faults.iAt = iAt;
            pServer->setFaults(faults);
            const Outcome faulty = sync(*pA, 1);
            pServer->setFaults(Faults());
            // A fault after the last request changes nothing.
            EXPECT_LE(faulty.errors().size(), 1u) << sRound;
            pA.reset();
            pA = openVault("a.vault");
            ASSERT_TRUE(sync(*pA).ok()) << sRound;
            ASSERT_TRUE(sync(*pB).ok()) << sRound;
            ASSERT_EQ(contentsOf(*pA), contentsOf(*pB)) << sRound;
            EXPECT_EQ(summary(*pA).size(), 5u + size_t(iRound)) << sRound;
        }
    }
}

TEST_F(ClientTest, AStallingServerTimesOut) {
    auto pVault = openVault("a.vault");
    addNote(*pVault, "n", "x");
    Faults faults;
    faults.eKind = Faults::Kind::Stall;
    faults.iStallMillis = 60000;
    for (const char *sOn : {"hello", "login", "store"}) {
        faults.baOn = sOn;
        faults.iAt = 1;
        pServer->setFaults(faults);
        const auto tStart = std::chrono::steady_clock::now();
        EXPECT_EQ(sync(*pVault, 1).errors(), std::vector<std::string>{kCommError}) << sOn;
        EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(30)) << sOn;
    }
    pServer->setFaults(Faults());
    EXPECT_TRUE(sync(*pVault).ok());
}

// Answers in pieces that end inside blocks and inside values: the client
// waits for the rest rather than taking a piece's end for the data's end.
TEST_F(ClientTest, AnswersInSmallPiecesWithPauses) {
    Faults faults;
    faults.iPiece = 7;
    faults.iPauseMillis = 1;
    pServer->setFaults(faults);
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "n", std::string(300, 'n'));
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    editNote(*pB, id, "changed in b");
    ASSERT_TRUE(sync(*pB).ok());
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(summary(*pA), std::vector<std::string>{"n: changed in b"});
}

// The server remembers users and vaults across a restart.
TEST_F(ClientTest, ARestartedServerKnowsItsVaults) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "kept", "across a restart");
    ASSERT_TRUE(sync(*pA).ok());
    restartServer();
    auto pB = downloadCopy(*pA, "b.vault");
    EXPECT_EQ(summary(*pB), std::vector<std::string>{"kept: across a restart"});
    // The version counter goes on where it was.
    editNote(*pA, id, "after the restart");
    const Outcome again = sync(*pA);
    EXPECT_TRUE(again.has("text Selecting remote storage...")) << "the same remote vault";
    EXPECT_FALSE(again.has("text Creating remote vault..."));
    restartServer();
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(summary(*pB), std::vector<std::string>{"kept: after the restart"});
}

} // namespace

#include "client_test.moc"
