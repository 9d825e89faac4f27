// Client: the session steps, every request of the wire protocol, and the
// sync operations on the open vault.
#include "sync/client.h"

#include "ka/exception.h"
#include "ka/file.h"
#include "ka/tcpsocket.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "sync/aesfilter.h"
#include "sync/serveranswer.h"
#include "vrel/vrel.h"

#include <QFileInfo>

#include <cryptopp/filters.h>
#include <cryptopp/osrng.h>
#include <cryptopp/rsa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <vector>

namespace {

const char *const kDefaultHost = "cloud.quorvane.com";
const char *const kWebsite = "https://www.quorvane.com/pelimund/";
// "1.00.03" as the server counts versions.
constexpr int kClientVersion = 10003;
constexpr int kSessionKeyBytes = 32;
// While many notes are fetched or sent, the store's batch is committed
// after this long, or once Client::kBatchBytes of note bodies have moved:
// a crash loses little work, and the writes the batch keeps in memory stay
// few.
constexpr std::chrono::milliseconds kBatchTime(2000);
// Far beyond any real server key; a larger one could keep us busy for ever.
constexpr unsigned kMaxKeyBits = 16384;

// A request with its name under "msg".
Vrel::Dictionary &named(Vrel::Dictionary &rRequest, const char *sMsg) {
    rRequest.insert("msg", sMsg);
    return rRequest;
}

// An answer that fits neither the request nor its refusal: the session
// cannot go on safely (a change skipped here could be overwritten there).
[[noreturn]] void badAnswer(const char *sRequest) {
    throw Ka::ExceptionBase("The server's answer to %s makes no sense.", sRequest);
}

// The vault's own failure (its file went, say), as rich text for people.
QString vaultFailure(const std::exception &e) {
    return QString::fromLocal8Bit(e.what()).toHtmlEscaped();
}

// True when nobody but the user is in the group iGroup: the group of the
// user's own (named after the user, his primary group, no other member)
// that systems giving every user one make, with a umask that lets the group
// write every new file.
bool isUsersOwnGroup(uint32_t iGroup) {
    std::vector<char> aUser(16384), aGroup(16384);
    passwd user;
    passwd *pUser = nullptr;
    group grp;
    group *pGroup = nullptr;
    if (::getpwuid_r(uid_t(Ka::File::userId()), &user, aUser.data(), aUser.size(), &pUser) != 0 ||
        !pUser || pUser->pw_gid != iGroup ||
        ::getgrgid_r(gid_t(iGroup), &grp, aGroup.data(), aGroup.size(), &pGroup) != 0 || !pGroup ||
        std::strcmp(grp.gr_name, user.pw_name) != 0)
        return false;
    for (char **pMember = grp.gr_mem; *pMember; ++pMember) {
        if (std::strcmp(*pMember, user.pw_name) != 0)
            return false;
    }
    return true;
}

QByteArray rawId(const Ka::Uuid &uId) {
    return toByteArray(uId.getRaw());
}

// The session key wrapped under the server's public key (DER, X.509
// SubjectPublicKeyInfo) with RSAES-OAEP over SHA-1. Throws when the key does
// not decode or cannot be used.
std::string wrapKey(const QByteArray &baServerKey, const CryptoPP::SecByteBlock &key,
                    CryptoPP::RandomNumberGenerator &rRng) {
    CryptoPP::RSA::PublicKey publicKey;
    CryptoPP::ArraySource source(reinterpret_cast<const CryptoPP::byte *>(baServerKey.constData()),
                                 size_t(baServerKey.size()), true);
    publicKey.Load(source);
    if (publicKey.GetModulus().BitCount() > kMaxKeyBits ||
        publicKey.GetPublicExponent().BitCount() > 64 || !publicKey.Validate(rRng, 0))
        throw Ka::ExceptionBase("The server's public key cannot be used.");
    CryptoPP::RSAES_OAEP_SHA_Encryptor encryptor(publicKey);
    std::string sWrapped;
    CryptoPP::StringSource(
        key.data(), key.size(), true,
        new CryptoPP::PK_EncryptorFilter(rRng, encryptor, new CryptoPP::StringSink(sWrapped)));
    return sWrapped;
}

} // namespace

// The store's batches while many notes are fetched or sent: a batch is
// committed per kBatchTime or iBatchBytes of bodies, and at the end. Each note or
// change is applied whole between network reads, so every commit leaves a
// vault that the next sync completes. For the same reason leaving the scope
// without end() (the line dropped, the server answered nonsense) commits
// what was applied so far, unless a failure in the store undid the batch.
class Client::Batch {
public:
    // fBeforeCommit runs inside the batch right before each commit.
    Batch(NoteStore &rStore, qint64 iBatchBytes, std::function<void()> fBeforeCommit = {})
        : rStore(rStore), iBatchBytes(iBatchBytes), fBeforeCommit(std::move(fBeforeCommit)) {
        level.emplace(rStore);
    }
    ~Batch() {
        if (!bOpen)
            return;
        try {
            commit();
        } catch (...) {
            // The failure that ends the session is reported anyway.
        }
    }
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    // After a note or change, with the bytes of the note body it moved.
    void tick(qint64 iBytes) {
        iBytesPending += iBytes;
        if (iBytesPending < iBatchBytes && Clock::now() - tCommitted < kBatchTime)
            return;
        commit();
        level.emplace(rStore);
        bOpen = true;
        iBytesPending = 0;
        tCommitted = Clock::now();
    }
    void end() { commit(); }

private:
    using Clock = std::chrono::steady_clock;

    // A level left un-ended by a throw is abandoned by its own destructor.
    void commit() {
        bOpen = false;
        if (fBeforeCommit)
            fBeforeCommit();
        level->end();
    }

    NoteStore &rStore;
    const qint64 iBatchBytes;
    std::function<void()> fBeforeCommit;
    std::optional<NoteStore::Batch> level;
    bool bOpen = true;
    qint64 iBytesPending = 0;
    Clock::time_point tCommitted = Clock::now();
};

Client::Client(NoteStore *pStore, const QString &sUser, const QString &sPass, int iOperation,
               QObject *pParent)
    : Client(pStore, sUser, sPass, iOperation, QByteArray(), pParent) {}

Client::Client(NoteStore *pStore, const QString &sUser, const QString &sPass, int iOperation,
               const QByteArray &baVaultId, QObject *pParent)
    : QThread(pParent), pStore(pStore), sUser(sUser), sPass(sPass), baVaultId(baVaultId),
      iOperation(iOperation), device(stack, QIODevice::ReadWrite), stream(&device) {}

Client::~Client() {
    wait();
}

QString Client::serverHost() {
    // The file decides where the login goes, so only the user's own counts:
    // in a folder others may write (the system's temporary one), a file or
    // link another user put there is passed over, and so is a pipe, which
    // would keep us waiting for a writer.
    QByteArray baHost(65536, '\0');
    qsizetype nGot = 0;
    try {
        Ka::File file(Ka::String("hostname"), Ka::File::Read | Ka::File::NoLink);
        const Ka::File::Info info = file.getInfo();
        const bool bOthersWrite = (info.iPermissions & 002) != 0 ||
                                  ((info.iPermissions & 020) != 0 && !isUsersOwnGroup(info.iGroup));
        if (!info.bRegular || info.nNames != 1 || info.iOwner != Ka::File::userId() || bOthersWrite)
            return QString::fromLatin1(kDefaultHost);
        while (nGot < baHost.size()) {
            const int n = file.read(baHost.data() + nGot, int(baHost.size() - nGot));
            if (n <= 0)
                break;
            nGot += n;
        }
    } catch (const Ka::FileException &) {
        return QString::fromLatin1(kDefaultHost);
    }
    baHost.truncate(nGot);
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!baHost.isEmpty() && isBlank(baHost.back()))
        baHost.chop(1);
    qsizetype iStart = 0;
    while (iStart < baHost.size() && isBlank(baHost[iStart]))
        ++iStart;
    return QString::fromUtf8(baHost.mid(iStart));
}

void Client::setServer(const QString &sServer, int iServerPort) {
    sHost = sServer;
    bHostGiven = true;
    iPort = iServerPort;
}

void Client::run() {
    // A vault whose file another program took away would record nothing the
    // session brings: nothing is sent.
    if (pStore && iOperation != ListVaults) {
        try {
            pStore->checkWritable();
        } catch (const std::exception &e) {
            emit error(vaultFailure(e));
            emit done();
            return;
        }
    }
    emit operationText(tr("Connecting..."));
    const QString sServer = bHostGiven ? sHost : serverHost();
    try {
        auto pSocket =
            std::make_unique<Ka::TcpSocket>(toKaString(sServer.toUtf8()), iPort, iTimeout, true);
        pSocket->setTimeout(iTimeout);
        // Every request ends in a short last block; it must not wait.
        pSocket->setNoDelay(true);
        stack.setStream(pSocket.release());
    } catch (const std::exception &e) {
        std::printf("Connecting to %s failed: %s\n", sServer.toUtf8().constData(), e.what());
        emit error(tr("Error connecting to cloud, try again later."));
        emit done();
        return;
    }
    try {
        session();
    } catch (const std::exception &e) {
        std::printf("The session failed: %s\n", e.what());
        failSession(NoteStore::isRefusedHere(e) ? vaultFailure(e) : QString());
    } catch (...) {
        failSession();
    }
    emit done();
}

void Client::session() {
    emit operationText(tr("Establishing security..."));
    if (!setupSecurity())
        return;
    emit operationText(tr("Logging in..."));
    if (!login()) {
        emit badLogin();
        return;
    }
    if (!pStore && iOperation != ListVaults)
        throw Ka::ExceptionBase("No vault to sync.");
    switch (iOperation) {
    case SyncVault:
        syncVault();
        break;
    case ListVaults:
        listVaults();
        break;
    case DownloadVault:
        if (!downloadVault())
            return; // refused, and said why
        break;
    default:
        break;
    }
    if (iUnreadable > 0)
        emit error(tr("%n note(s) from the server could not be read with this vault's password "
                      "and were left out.",
                      nullptr, iUnreadable));
    emit operationText(tr("Completed"));
}

void Client::failSession(const QString &sWhy) {
    if (bVaultChanged && !bVaultChangedSent)
        notifyVaultChanged();
    emit error(sWhy.isEmpty() ? tr("Error communicating with server.") : sWhy);
}

void Client::notifyVaultChanged() {
    bVaultChangedSent = true;
    emit vaultChanged();
}

void Client::send(const Vrel::Dictionary &rRequest) {
    stream.writeObject(&rRequest);
    stack.flush();
}

std::unique_ptr<Vrel::Object> Client::ask(const Vrel::Dictionary &rRequest) {
    send(rRequest);
    return ServerAnswer::read(stream);
}

// Versions count up by one per change of the remote vault: as long as our
// own changes get the versions right after those the last change list
// reached, nobody else changed the vault in between.
void Client::followChain(int32_t iVersion) {
    iChain = iChain >= 0 && iVersion == iChain + 1 ? iVersion : -1;
}

bool Client::setupSecurity() {
    Vrel::Dictionary hello;
    named(hello, "hello").insert("client", "win32");
    hello.insert("version", kClientVersion);
    std::unique_ptr<Vrel::Object> pAnswer = ask(hello);
    if (const auto *pKey = dynamic_cast<const Vrel::Dictionary *>(pAnswer.get())) {
        baServerKey = pKey->valueStr("rsaKey.pub");
    } else if (const auto *pText = dynamic_cast<const Vrel::String *>(pAnswer.get())) {
        emit error(tr(pText->constData()).toHtmlEscaped());
        return false;
    } else {
        emit error(tr("Error communicating with server."));
        return false;
    }

    CryptoPP::AutoSeededRandomPool rng(false, 32);
    CryptoPP::SecByteBlock key(kSessionKeyBytes);
    rng.GenerateBlock(key, key.size());
    const std::string sWrapped = wrapKey(baServerKey, key, rng);
    Vrel::Dictionary setup;
    named(setup, "cryptSetup").insert("key", QByteArray::fromStdString(sWrapped));
    pAnswer = ask(setup);
    const auto *pAccepted = dynamic_cast<const Vrel::Boolean *>(pAnswer.get());
    if (!pAccepted || !pAccepted->getValue()) {
        emit error(tr("Error establishing security."));
        return false;
    }
    stack.addFilter<AesFilter>(
        Ka::String(reinterpret_cast<const char *>(key.data()), int(key.size())));
    return true;
}

bool Client::login() {
    Vrel::Dictionary request;
    named(request, "login").insert("user", sUser.toUtf8());
    request.insert("password", sPass.toUtf8());
    const std::unique_ptr<Vrel::Object> pAnswer = ask(request);
    const auto *pAccepted = dynamic_cast<const Vrel::Boolean *>(pAnswer.get());
    return pAccepted && pAccepted->getValue();
}

Ka::Uuid Client::newVault(const QByteArray &baName) {
    Vrel::Dictionary request;
    named(request, "newVault").insert("name", baName);
    const std::unique_ptr<Vrel::Object> pAnswer = ask(request);
    const auto *pId = dynamic_cast<const Vrel::String *>(pAnswer.get());
    Ka::Uuid uVault;
    if (!pId || !ServerAnswer::toId(*pId, uVault))
        throw Ka::ExceptionBase("The server gave no id for the new vault.");
    return uVault;
}

bool Client::selVault(const QByteArray &baId) {
    Vrel::Dictionary request;
    named(request, "selVault").insert("id", baId);
    const std::unique_ptr<Vrel::Object> pAnswer = ask(request);
    const auto *pSelected = dynamic_cast<const Vrel::Boolean *>(pAnswer.get());
    // Only a clear "no" makes a new remote vault: nonsense must not split a
    // vault's copies between two remote vaults.
    if (!pSelected)
        badAnswer("selVault");
    return pSelected->getValue();
}

std::unique_ptr<Vrel::Dictionary> Client::storeRequest(const Ka::Uuid &uId) {
    auto pRequest = std::make_unique<Vrel::Dictionary>();
    named(*pRequest, "store").insert("id", rawId(uId));
    pRequest->insert("data", toByteArray(pStore->getNoteData(uId)));
    pRequest->insert("meta", toByteArray(pStore->getNoteMeta(uId)));
    return pRequest;
}

bool Client::storeAnswered(const Ka::Uuid &uId, const Vrel::Object *pAnswer) {
    int32_t iVersion = 0;
    if (ServerAnswer::toVersion(pAnswer, iVersion)) {
        followChain(iVersion);
        pStore->setNoteSynced(uId, iVersion);
        return true;
    }
    const auto *pText = dynamic_cast<const Vrel::String *>(pAnswer);
    if (!pText) {
        // Nothing changes here; whether the vault did is unknown.
        iChain = -1;
        return true;
    }
    if (*pText == "Exceeded quota") {
        const QString sLink = QStringLiteral("<a href=\"%1\">%2</a>")
                                  .arg(QLatin1String(kWebsite), tr("Pelimund website"));
        const QString sName = QString::fromUtf8(toByteArray(pStore->getNoteName(uId)));
        emit error(tr("<p>Storing the note '%1' will exceed your quota.</p><p>Please visit the "
                      "%2 to increase your quota.</p>")
                       .arg(sName.toHtmlEscaped(), sLink));
    } else {
        emit error(QString::fromUtf8(*pText).toHtmlEscaped());
    }
    return false;
}

void Client::sendLoad(const Ka::Uuid &uId) {
    Vrel::Dictionary request;
    named(request, "load").insert("id", rawId(uId));
    send(request);
}

void Client::eraseNote(const Ka::Uuid &uId) {
    Vrel::Dictionary request;
    named(request, "erase").insert("id", rawId(uId));
    const std::unique_ptr<Vrel::Object> pAnswer = ask(request);
    int32_t iVersion = 0;
    if (ServerAnswer::toVersion(pAnswer.get(), iVersion)) {
        followChain(iVersion);
        return;
    }
    // A refusal (a note the server never had) is an answer too; anything
    // else leaves the note queued for the next sync.
    const auto *pText = dynamic_cast<const Vrel::String *>(pAnswer.get());
    if (!pText)
        badAnswer("erase");
    std::printf("Erase refused: %s\n", pText->constData());
}

int Client::changedCount() const {
    int iCount = 0;
    for (auto it = pStore->getNotes().begin(); it.isValid(); ++it)
        iCount += it.getValue().bChanged;
    return iCount;
}

void Client::syncVault() {
    const auto *pSyncId = dynamic_cast<const Vrel::String *>(pStore->getHeader("syncId"));
    if (!pSyncId) {
        createRemoteVault();
        return;
    }
    emit operationText(tr("Selecting remote storage..."));
    const bool bSelected = selVault(*pSyncId);
    std::printf("Sel vault: %s\n", bSelected ? "yes" : "nope");
    if (!bSelected) {
        createRemoteVault();
        return;
    }
    int iTotal = changedCount();
    int iStep = 0;
    // The changes made elsewhere come first, asked for from the mark the
    // last sync left: our erases cannot move the mark past them, and a note
    // deleted here but changed elsewhere in the meantime comes back rather
    // than being erased unseen.
    fetchChanges(pStore->getRemoteVersion(), iTotal, iStep);
    const bool bSentDeletes = sendDeletes();
    if (bSentDeletes || iTotal != iStep + changedCount()) {
        iTotal = iStep + changedCount();
        emit operationCount(iTotal);
        emit operationStep(iStep);
    }
    emit operationText(tr("Sending changed notes..."));
    const int32_t iMark = pStore->getRemoteVersion();
    const bool bStored = uploadChanged(iStep);
    finishMark(iMark, bStored, iTotal, iStep);
    notifyVaultChanged();
}

// Uploads and erases leave the mark where the change list put it, since
// another copy may have changed the vault between that list and them. When
// the versions they got show that nobody did, the mark moves past them;
// otherwise a second list from the mark finds what came in between (and
// moves the mark past our own changes), so that the next sync neither misses
// the first nor lists the second (which, once deleted here, would look
// changed elsewhere).
void Client::finishMark(int32_t iMark, bool bStored, int &iTotal, int &iStep) {
    if (iChain >= 0) {
        if (iChain > pStore->getRemoteVersion())
            pStore->setRemoteVersion(int32_t(iChain));
    } else if (bStored) {
        fetchChanges(iMark, iTotal, iStep, true);
    }
}

void Client::fetchChanges(int iVersion, int &iTotal, int &iStep, bool bFollowUp) {
    if (!bFollowUp)
        emit operationText(tr("Fetching change list..."));
    Vrel::Dictionary request;
    named(request, "since").insert("version", iVersion);
    const std::unique_ptr<Vrel::Object> pAnswer = ask(request);
    const auto *pList = dynamic_cast<const Vrel::List *>(pAnswer.get());
    // Without the changes made elsewhere, uploads could overwrite them.
    if (!pList)
        badAnswer("since");
    const std::vector<ServerAnswer::Change> lChanges = ServerAnswer::changes(*pList);
    // The list shows every change after iVersion: the last is the vault's
    // last (an older one not shown was replaced by a newer one shown).
    iChain = lChanges.empty() ? iVersion : std::max<int64_t>(iVersion, lChanges.back().iVersion);
    // Versions that are here already (our own uploads) and deletions of
    // notes that are gone here already only move the mark. Decided once, up
    // front: a hostile list may name a note twice, and every load sent must
    // have its answer read.
    const NoteStore::NoteTable &hNotes = pStore->getNotes();
    std::vector<bool> lQuiet;
    std::vector<size_t> lLoads;
    for (size_t i = 0; i < lChanges.size(); ++i) {
        const ServerAnswer::Change &change = lChanges[i];
        const bool bHeld = hNotes.has(change.uId);
        lQuiet.push_back(
            change.bDeleted ? !bHeld : bHeld && hNotes.get(change.uId).iVersion == change.iVersion);
        if (!lQuiet[i] && !change.bDeleted)
            lLoads.push_back(i);
    }
    const int iWork = int(std::count(lQuiet.begin(), lQuiet.end(), false));
    if (!bFollowUp || iWork > 0) {
        iTotal += iWork;
        emit operationCount(iTotal);
    }
    if (iWork > 0)
        emit operationText(tr("Downloading updated notes..."));
    size_t iNextLoad = 0;
    const auto sendNextLoad = [&] {
        if (iNextLoad < lLoads.size())
            sendLoad(lChanges[lLoads[iNextLoad++]].uId);
    };
    sendNextLoad();
    Batch batch(*pStore, iBatchBytes);
    for (size_t i = 0; i < lChanges.size(); ++i) {
        const ServerAnswer::Change &change = lChanges[i];
        ServerAnswer::Note note;
        if (!lQuiet[i] && !change.bDeleted) {
            // Skipping a note would move the mark past it for good.
            if (!ServerAnswer::note(ServerAnswer::read(stream).get(), note))
                badAnswer("load");
            // The server looks the next note up while this one is stored;
            // still one request at a time.
            sendNextLoad();
        }
        {
            // A change is applied whole or, with the batch, not at all.
            NoteStore::Batch whole(*pStore);
            if (lQuiet[i]) {
                pStore->unqueueDeletion(change.uId);
                pStore->setRemoteVersion(change.iVersion);
            } else if (change.bDeleted) {
                applyDeletion(change);
            } else {
                applyLoaded(change, note);
            }
            whole.end();
        }
        if (!lQuiet[i])
            emit operationStep(++iStep);
        batch.tick(note.baData.size());
    }
    batch.end();
}

// Applied in ascending version order, each change raises the vault's
// remote version to its own, so the mark on file always says how far the
// changes are applied.
void Client::applyDeletion(const ServerAnswer::Change &change) {
    const Ka::Uuid &uId = change.uId;
    std::printf("---> deleting note: %s\n", uId.toString().getConstStr());
    if (pStore->getNotes().has(uId)) {
        if (pStore->getNotes().get(uId).bChanged)
            keepLocalCopy(uId);
        pStore->deleteNote(uId);
        bVaultChanged = true;
    }
    // Gone there already: nothing left to erase, here or for deleteNote.
    pStore->unqueueDeletion(uId);
    pStore->setRemoteVersion(change.iVersion);
}

void Client::applyLoaded(const ServerAnswer::Change &change, const ServerAnswer::Note &note) {
    const NoteStore::NoteTable &hNotes = pStore->getNotes();
    const Ka::Uuid &uId = change.uId;
    // The note may have changed again since the list was made; a record
    // version below its body's only costs a second download later.
    const int32_t iVersion = std::min(note.iVersion, change.iVersion);
    if (hNotes.has(uId) && hNotes.get(uId).bChanged) {
        if (note.baData == toByteArray(pStore->getNoteData(uId))) {
            // The server holds this very body: an upload whose answer never
            // came. The local record, whose name may be newer, goes again.
            pStore->setNoteVersion(uId, iVersion);
            return;
        }
        keepLocalCopy(uId);
    }
    // A change made elsewhere wins over a deletion made here without it.
    pStore->unqueueDeletion(uId);
    importNote(uId, note, iVersion);
}

void Client::keepLocalCopy(const Ka::Uuid &uId) {
    const Ka::Uuid uCopy = Ka::Uuid::generate();
    const QString sName = QString::fromUtf8(toByteArray(pStore->getNoteName(uId)));
    pStore->importNote(uCopy, toByteArray(pStore->getNoteData(uId)),
                       toByteArray(pStore->getNoteMeta(uId)), 0);
    pStore->renameNote(uCopy, toKaString(tr("%1 (local copy)").arg(sName).toUtf8()));
    // The original now only waits for the server's version, which replaces
    // or deletes it in the same commit.
    pStore->setNoteChanged(uId, false);
    bVaultChanged = true;
}

bool Client::importNote(const Ka::Uuid &uId, const ServerAnswer::Note &note, int32_t iVersion) {
    bVaultChanged = true;
    try {
        pStore->importNote(uId, note.baData, note.baMeta, iVersion);
    } catch (const Ka::FileException &) {
        throw;
    } catch (const Ka::TessaryException &) {
        throw;
    } catch (const Ka::ExceptionBase &e) {
        // A failure that undid the batch is not the note's.
        if (pStore->isBatchUndone())
            throw;
        // A meta blob this vault's key does not open.
        std::printf("Note %s cannot be read: %s\n", uId.toString().getConstStr(), e.what());
    }
    const NoteStore::NoteTable &hNotes = pStore->getNotes();
    if (hNotes.has(uId) && hNotes.get(uId).iVersion == iVersion && !hNotes.get(uId).bChanged)
        return true;
    ++iUnreadable;
    return false;
}

bool Client::sendDeletes() {
    const auto *pDeletes = dynamic_cast<const Vrel::List *>(pStore->getHeader("deletes"));
    if (!pDeletes)
        return false;
    if (pDeletes->isEmpty()) {
        // Emptied by the changes just fetched.
        clearDeletes();
        return false;
    }
    std::puts("Sending deletes.");
    std::vector<Ka::Uuid> lIds;
    for (const Vrel::Object *pEntry : *pDeletes) {
        const auto *pRaw = dynamic_cast<const Vrel::String *>(pEntry);
        const Ka::Uuid uId(pRaw ? toKaString(*pRaw) : Ka::String());
        lIds.push_back(uId);
    }
    emit operationText(tr("Sending note deletes..."));
    emit operationCount(int(lIds.size()));
    int iStep = 0;
    for (const Ka::Uuid &uId : lIds) {
        // A refused erase does not stop the others.
        if (uId != Ka::Uuid())
            eraseNote(uId);
        emit operationStep(++iStep);
    }
    clearDeletes();
    return true;
}

// Inside a batch, removeHeader is undone when the write fails and written
// without another change.
void Client::clearDeletes() {
    NoteStore::Batch batch(*pStore);
    pStore->removeHeader("deletes");
    batch.end();
}

bool Client::uploadChanged(int &iStep) {
    std::vector<Ka::Uuid> lChanged;
    for (auto it = pStore->getNotes().begin(); it.isValid(); ++it)
        if (it.getValue().bChanged)
            lChanged.push_back(it.getKey());
    Batch batch(*pStore, iBatchBytes);
    std::unique_ptr<Vrel::Dictionary> pNext;
    if (!lChanged.empty())
        pNext = storeRequest(lChanged.front());
    for (size_t i = 0; i < lChanged.size(); ++i) {
        send(*pNext);
        const qint64 iSent = pNext->valueStr("data").size();
        // The next note is read from the vault while the server works.
        pNext = i + 1 < lChanged.size() ? storeRequest(lChanged[i + 1]) : nullptr;
        if (!storeAnswered(lChanged[i], ServerAnswer::read(stream).get()))
            break;
        emit operationStep(++iStep);
        batch.tick(iSent);
    }
    batch.end();
    return !lChanged.empty();
}

void Client::createRemoteVault() {
    emit operationText(tr("Creating remote vault..."));
    const QString sName =
        QFileInfo(QString::fromUtf8(toByteArray(pStore->getFileName()))).baseName();
    const Ka::Uuid uVault = newVault(sName.toUtf8());
    std::printf("New vault: %s\n", uVault.toString().getConstStr());
    {
        NoteStore::Batch batch(*pStore);
        pStore->setHeader("syncId", new Vrel::String(toByteArray(uVault.toString())));
        // Versions and deletions of an earlier remote vault mean nothing to
        // this one; every note is marked, so that an upload cut short goes
        // on with the next sync.
        pStore->removeHeader("deletes");
        pStore->resetRemoteVersion();
        const Ka::List<Ka::Uuid> lIds = pStore->getNoteIds();
        for (auto it = lIds.begin(); it != lIds.end(); ++it)
            pStore->setNoteChanged(*it, true);
        batch.end();
    }
    emit operationText(tr("Sending notes..."));
    int iTotal = pStore->getNoteCount();
    emit operationCount(iTotal);
    int iStep = 0;
    // A new remote vault starts empty, at version 0.
    iChain = 0;
    const bool bStored = uploadChanged(iStep);
    finishMark(0, bStored, iTotal, iStep);
    notifyVaultChanged();
}

void Client::listVaults() {
    emit operationText(tr("Requesting vault list..."));
    Vrel::Dictionary request;
    const std::unique_ptr<Vrel::Object> pAnswer = ask(named(request, "listVaults"));
    const auto *pList = dynamic_cast<const Vrel::List *>(pAnswer.get());
    if (!pList)
        badAnswer("listVaults");
    emit gotVaultList(ServerAnswer::vaults(*pList));
}

bool Client::downloadVault() {
    emit operationText(tr("Fetching Note List..."));
    selVault(baVaultId);
    Vrel::Dictionary request;
    const std::unique_ptr<Vrel::Object> pAnswer = ask(named(request, "list"));
    const auto *pList = dynamic_cast<const Vrel::List *>(pAnswer.get());
    if (!pList)
        badAnswer("list");
    const std::vector<Ka::Uuid> lIds = ServerAnswer::noteIds(*pList);
    emit operationText(tr("Downloading Note Data..."));
    emit operationCount(int(lIds.size()));

    // The vault is tied to the remote vault only once its password has
    // opened one of its notes, in the same commit as that note. Tied with a
    // wrong password, it would send the remote vault notes that no other
    // copy can read; a download cut off before such a note leaves an empty
    // vault of its own.
    bool bBound = false;
    const auto bind = [&] {
        pStore->setHeader("syncId", new Vrel::String(baVaultId));
        bBound = true;
    };
    // The list carries no versions, so the notes arrive in no useful order:
    // every commit of the loads leaves the vault's remote version at 0, so
    // that a sync after a download cut off asks for every change, fetching
    // what is missing and skipping what is here.
    Batch batch(*pStore, iBatchBytes, [this] { pStore->resetRemoteVersion(); });
    if (!lIds.empty())
        sendLoad(lIds.front());
    bool bComplete = true;
    for (size_t i = 0; i < lIds.size(); ++i) {
        ServerAnswer::Note note;
        const bool bLoaded = ServerAnswer::note(ServerAnswer::read(stream).get(), note);
        // The server looks the next note up while this one is stored.
        if (i + 1 < lIds.size())
            sendLoad(lIds[i + 1]);
        // One missing here (or that this vault cannot read) is fetched by
        // the first sync.
        const bool bOpened = bLoaded && importNote(lIds[i], note, note.iVersion);
        if (bOpened && !bBound)
            bind();
        bComplete = bOpened && bComplete;
        emit operationStep(int(i + 1));
        batch.tick(note.baData.size());
    }
    // With no note to try the password on (the remote vault is empty, or
    // every note went before it was loaded), it is taken as it was given.
    if (!bBound && iUnreadable == 0)
        bind();
    batch.end();
    // The vault was new and empty: not one note opens with its password, so
    // the password is wrong.
    if (!bBound) {
        notifyVaultChanged();
        emit operationText(tr("Not imported"));
        emit error(tr("The vault was not imported: none of its notes can be read with the "
                      "password given. Please import it again with the password of the vault "
                      "it came from."));
        return false;
    }
    // With every note here, the mark moves to the vault's last change, or a
    // note deleted here before the first sync would come back with it
    // rather than being erased there. Taken from a change list made after
    // the loads, not from the versions the loads showed: a note changed
    // elsewhere after we loaded it would otherwise fall below the mark for
    // good. What changed in between is fetched now.
    if (bComplete) {
        int iTotal = int(lIds.size());
        int iStep = iTotal;
        fetchChanges(0, iTotal, iStep, true);
    }
    notifyVaultChanged();
    return true;
}
