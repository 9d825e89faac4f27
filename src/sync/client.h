// Client: one session with the sync server in a thread of its own: connect,
// secure the session, log in, then sync the open vault, list the remote
// vaults or download one.
#pragma once

#include "ka/streamstack.h"
#include "ka/uuid.h"
#include "store/kastreamdevice.h"
#include "sync/vaultinfo.h"
#include "vrel/vrelstream.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <cstdint>
#include <memory>

class NoteStore;

namespace Vrel {
class Dictionary;
class Object;
} // namespace Vrel

namespace ServerAnswer {
struct Change;
struct Note;
} // namespace ServerAnswer

// Built on the GUI thread, started once with start(); run() does the whole
// session with blocking socket calls and reports only through the signals,
// which reach receivers on other threads queued. Every run ends with done(),
// which is always the last signal. Every wait for the server is bounded
// (30 seconds without a byte ends the session), so the thread always ends.
//
// What the GUI must guarantee while the client runs (from start() until
// done() has arrived and the thread has finished):
// - Nothing else touches the NoteStore: no note saved, renamed, created or
//   deleted, no header value set, no note list rebuilt from it. The client
//   calls the store directly and without a lock. The modal sync dialog keeps
//   the user out; timers (auto-forget, autosave) and open note windows must
//   not reach the store either, and the store must not be deleted.
// - The client is deleted only after done(), and after wait() (the
//   destructor waits too). Deleting it closes the connection.
// - Receivers of vaultChanged() re-read the store only after done().
//
// Operations: SyncVault sends the notes changed locally and fetches those
// changed elsewhere (a note changed on both sides keeps the local version
// as a new note marked as the local copy); ListVaults emits gotVaultList;
// DownloadVault fills the open, new and empty vault from a remote vault (and
// refuses one of whose notes none opens with the vault's password).
class Client : public QThread {
    Q_OBJECT
public:
    enum Operation { SyncVault = 0, ListVaults = 1, DownloadVault = 2 };

    static constexpr int kPort = 19919;
    // Note bodies fetched or sent per commit of the vault, at most (and one
    // body more): what the vault keeps in memory until it commits.
    static constexpr qint64 kBatchBytes = 4 << 20;
    // Seconds to connect, and to wait for any one piece of an answer.
    static constexpr int kTimeout = 30;

    // SyncVault or ListVaults; pStore is the open vault (not owned; may be
    // null for ListVaults, which does not use it).
    Client(NoteStore *pStore, const QString &sUser, const QString &sPass, int iOperation,
           QObject *pParent = nullptr);
    // DownloadVault of the remote vault baVaultId (as the list gave it).
    Client(NoteStore *pStore, const QString &sUser, const QString &sPass, int iOperation,
           const QByteArray &baVaultId, QObject *pParent = nullptr);
    ~Client() override;

    // The sync server's host: the default, or the content of a file named
    // "hostname" in the working directory, blanks and line ends trimmed.
    // Only a regular file of the user's own, reached without a link, with
    // one name and that no one else may write, is read.
    static QString serverHost();

signals:
    void gotVaultList(VaultInfoList lVaults);
    // A status line for people.
    void operationText(QString sOper);
    // The progress maximum, then the progress value.
    void operationCount(int iCount);
    void operationStep(int iStep);
    // The vault's notes changed: the note list must be rebuilt (after done()).
    void vaultChanged();
    // The server refused the user name or password; no error() follows.
    void badLogin();
    // A failure, as rich text for people (the quota message carries a
    // link); texts that come from the server are escaped.
    void error(QString sMsg);
    void done();

protected:
    void run() override;

    // For tests, which run their own server: where to connect and how long
    // to wait (seconds).
    void setServer(const QString &sHost, int iPort);
    void setTimeout(int iSeconds) { iTimeout = iSeconds; }
    // For tests of what each commit of a long sync leaves.
    void setBatchBytes(qint64 iBytes) { iBatchBytes = iBytes; }

private:
    class Batch;

    // The steps after the connection stands; failures throw.
    void session();
    // Reports a session that failed after the connection stood; sWhy (rich
    // text) when the failure is the vault's, not the server's.
    void failSession(const QString &sWhy = QString());
    void notifyVaultChanged();
    void send(const Vrel::Dictionary &rRequest);
    // One request and its answer; the answer belongs to the caller.
    std::unique_ptr<Vrel::Object> ask(const Vrel::Dictionary &rRequest);
    // Notes a version one of our changes got (see iChain).
    void followChain(int32_t iVersion);
    bool setupSecurity();
    bool login();
    Ka::Uuid newVault(const QByteArray &baName);
    bool selVault(const QByteArray &baId);
    std::unique_ptr<Vrel::Dictionary> storeRequest(const Ka::Uuid &uId);
    // Handles the answer to the store request for uId; false when the
    // server refused the note.
    bool storeAnswered(const Ka::Uuid &uId, const Vrel::Object *pAnswer);
    // Asks for a note; its answer is read by the caller.
    void sendLoad(const Ka::Uuid &uId);
    void eraseNote(const Ka::Uuid &uId);

    void syncVault();
    void createRemoteVault();
    // Applies the changes after version iVersion; bFollowUp: a second look
    // (after an upload or a download), which only reports real work.
    void fetchChanges(int iVersion, int &iTotal, int &iStep, bool bFollowUp = false);
    void applyDeletion(const ServerAnswer::Change &change);
    void applyLoaded(const ServerAnswer::Change &change, const ServerAnswer::Note &note);
    // Erases the notes deleted here on the server; false when none were
    // queued.
    bool sendDeletes();
    void clearDeletes();
    int changedCount() const;
    // Uploads the changed notes, counting on from iStep; stops at the first
    // the server refuses. False when there were none.
    bool uploadChanged(int &iStep);
    // Moves the mark past our own uploads and erases after they are done.
    void finishMark(int32_t iMark, bool bStored, int &iTotal, int &iStep);
    void listVaults();
    // False when the vault's notes exist but none opens with this vault's
    // password: the vault is then left empty and bound to no remote vault,
    // and error() has said why.
    bool downloadVault();

    // Stores a downloaded note at iVersion; false (and counted) when this
    // vault cannot read it.
    bool importNote(const Ka::Uuid &uId, const ServerAnswer::Note &note, int32_t iVersion);
    // Keeps the local version of a note that the server's version is about
    // to replace or delete, as a new note that the upload sends too.
    void keepLocalCopy(const Ka::Uuid &uId);

    NoteStore *pStore;
    QString sUser;
    QString sPass;
    QByteArray baVaultId;
    int iOperation;
    QByteArray baServerKey;
    Ka::StreamStack stack;
    KaStreamDevice device;
    Vrel::VrelStream stream;

    QString sHost;
    bool bHostGiven = false;
    int iPort = kPort;
    int iTimeout = kTimeout;
    qint64 iBatchBytes = kBatchBytes;
    // The store changed, so the GUI must re-read it even after a failure.
    bool bVaultChanged = false;
    bool bVaultChangedSent = false;
    // Downloaded notes this vault could not read.
    int iUnreadable = 0;
    // The remote vault's last version as far as we know it for certain: set
    // from a change list, raised by one for each of our own changes that got
    // the very next version; -1 once another copy may have changed the
    // vault in between.
    int64_t iChain = -1;
};
