// MainWnd: the program's one main window: the open vault, its note list and
// one sub-window per open note, with the vault and note commands, the
// recent vaults, the window layout, the options and the idle timeout.
#pragma once

#include "sync/vaultinfo.h"
#include "ui_mainwnd.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>

class AutoForget;
class Client;
class NoteStore;
class NoteWidget;
class QActionGroup;
class QMdiArea;
class QMdiSubWindow;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QToolBar;
class SyncDlg;
class VaultModel;

// Holds at most one open vault (a NoteStore it owns) and shows its notes in
// the note dock; every opened note is edited in its own sub-window, keyed by
// the note id (the 16 raw bytes of the note's Ka::Uuid, also kept in the
// sub-window's property "noteId").
//
// No exception of the store leaves a slot: a command that fails tells the
// user what failed (with the store's own text) and leaves the vault as it
// was. Text typed into a note is never dropped silently: a failed save keeps
// the note marked modified, so that its window does not close.
//
// A change the store refuses because another program deleted, replaced or
// moved the vault file since it was opened, or because a file that is not
// the vault's journal stands at the journal's name and cannot be removed
// (NoteStore::isRefusedHere), is told in one box of its own, which offers
// to save the vault as a new file (rescueVault): the copy then takes the
// open vault's place, its note windows stay with their text, and the change
// is made in the copy.
//
// Each editor type brings tool bars of its own; only those of the active note
// window are in the main window, and the window's dock and tool-bar layout is
// kept per editor type in the settings ("layout/windowState-" and the type).
//
// At most one sync client runs at a time (pClient). A sync starts only once
// no note window holds an unsaved edit: saved after the sync, it would land
// on the version the sync brought. While one works on the open vault,
// nothing else reaches its store: the modal sync dialog keeps the user out,
// and every command, save, idle close or close of the window that would
// touch the store refuses or waits until the client is done; the note
// windows close and the list is rebuilt only after the client has finished.
//
// After the idle time of the options the open vault is saved and closed
// (forget). That never happens under a slot or widget that is still at work:
// while a modal dialog, a menu or a mouse drag is open the forget waits until
// it has ended (mayForgetNow), unless the user presses a key or button
// meanwhile, which starts the idle time anew; a note that cannot be saved
// keeps the vault and its window open.
//
// GUI thread only. The window is meant to be the top-level window of the
// application; it has no parent.
class MainWnd : public QMainWindow, private Ui::MainWnd {
    Q_OBJECT
public:
    // Builds the window. With sPath not empty the vault there is opened at
    // once (asking for its password); otherwise, once the event loop runs,
    // the new-vault wizard starts when no vault was used recently, or else
    // the welcome dialog when the options ask for it.
    explicit MainWnd(const QString &sPath);
    ~MainWnd() override;

    // Closes the note windows one by one, each modified note asking whether
    // to save it; stops at the first that refuses. True when none is left.
    bool closeNoteWindows();

public slots:
    // Closes all note windows, rebuilds the note list and enables the vault
    // commands when a vault is open, disables them otherwise.
    virtual void vaultChanged();
    // Creates a new vault file at sPath and opens it; on failure no vault is
    // open afterwards. Does nothing when a note window of the open vault
    // refuses to close. A file at sPath is replaced without a question: the
    // caller has the user's word for it (the new-vault dialog asked).
    virtual void newVault(const QString &sPath, const QString &sPass);
    // The wizard, or the new-vault dialog when the wizard is switched off.
    virtual void newVault();
    // Opens the vault at sPath with sPass; true when it is open afterwards.
    // The password is tried before the open vault is let go (but for a
    // reopening of that very vault): a failure leaves it open, with its
    // windows and their text. Once the password is right, the windows ask
    // whether to save, and Cancel keeps everything as it was.
    // A failure is told in a box: a vault open elsewhere as such; a wrong
    // password or a file that is not a vault in one general text; a reason
    // the user can act on (permissions, a failing disk) after that text.
    virtual bool openVault(const QString &sPath, const QString &sPass);
    // Asks for the password of the vault at sPath, then opens it; a vault
    // that another window or program holds is refused before the question.
    virtual void openVault(const QString &sPath);
    // Asks for a vault file, then its password.
    virtual void openVault();
    // Points the note list at the open vault (or at none).
    virtual void resetTree();
    // Creates a note with the given content (HTML as UTF-8) and opens it.
    virtual void newNote(const QString &sName, const QString &sType,
                         const QByteArray &baData = QByteArray());
    // Asks for the name of a new, empty note.
    virtual void newNote();
    // Turns a text or HTML file into a note.
    virtual void importNote();
    // Lets the active note window write its note to a file.
    virtual void exportNote();
    // Activates the note's window, opening it first when needed.
    virtual void openNote(const QByteArray &baId);
    virtual void openNote(const QModelIndex &index);
    // Opens the note selected in the list.
    virtual void openCurNote();
    // Stores the editor's text in the vault.
    virtual void saveNote(NoteWidget *pNote);
    // Saves the active note window.
    virtual void saveNote();
    // Saves every note window, modified or not.
    virtual void saveAllNotes();
    // Asks, then deletes the note and closes its window without asking.
    virtual void delNote(const QByteArray &baId);
    // Deletes the note of the active window.
    virtual void delNote();
    // Deletes the note selected in the list.
    virtual void delCurNote();
    // Shows the extra tool bars of the activated note window.
    virtual void subWindowActivated(QMdiSubWindow *pSub);
    // Forgets a note window that is being destroyed, and its tool bars; the
    // title's modified mark is the note's on show again.
    virtual void subWindowClosed(QObject *pObject);
    // The list's Open, Rename and Delete follow its selection.
    virtual void noteSelChanged();
    // The idle time has passed: saves every note window and closes the vault,
    // then tells the user. Waits while something is still at work (see the
    // class comment); does nothing when no vault is open.
    virtual void forget();
    // The message that the vault was closed for lack of use.
    virtual void forgetNotice();
    // Saves the layout of the current editor type and takes its extra tool
    // bars out of the window (they stay alive, owned by their note window).
    virtual void hideExtraBars();
    // Puts the current extra tool bars into the window; their type's layout
    // follows one event-loop turn later (timedRestoreState).
    virtual void showExtraBars();
    // Restores the current editor type's layout and rebuilds the Toolbars menu.
    virtual void timedRestoreState();
    // Forgets every recent vault.
    virtual void clearRecent();
    // Opens the vault of the Recent Vaults entry that was chosen.
    virtual void openRecent();
    // Puts the vault at sPath (made absolute) first in the recent vaults.
    virtual void addRecentDocument(const QString &sPath);
    // Rebuilds the Recent Vaults menu from the settings.
    virtual void resetRecentMenu();
    // The Toolbars menu: the note tool bar, then the current extra bars.
    virtual void resetToolbarsMenu();
    // Runs the options dialog and applies what it changed.
    virtual void options();
    // Applies the idle time and the note-window layout of the settings.
    virtual void initFromOptions();
    // The help's table of contents, and its quick-start page.
    virtual void manual();
    virtual void quickGuide();
    // The welcome dialog at start, shown again while opening a vault fails.
    virtual void welcomeDlg();
    // Runs the new-vault wizard and does what it was asked for.
    virtual void newVaultWizard(bool bNewOnly = false);
    // Rebuilds the Window menu with one entry per note window.
    virtual void updateWindowMenu();
    // Activates the note window pWidget (a QMdiSubWindow); null does nothing.
    virtual void activateSubWindow(QWidget *pWidget);
    // Retitles the open window of a note renamed in the list.
    virtual void noteRenamed(const QByteArray &baId, const QString &sName);
    // A rename in the list that the store refused because the vault's file
    // went: renames to sName as the rename dialog does, which tells the
    // user and offers to save the vault anew.
    virtual void retryRename(const QByteArray &baId, const QString &sName);
    // Renames the note of the active window, and the one selected in the list.
    virtual void renameNote();
    virtual void renameCurNote();
    // The About box.
    virtual void about();
    // Asks the update host for the newest version; ignored while a check is
    // pending. The status bar tells how it goes.
    virtual void checkForUpdates();
    // The update host's reply: a newer version is offered in the new-version
    // dialog; anything else ends in a status-bar text.
    virtual void checkForUpdatesReply();
    // Syncs the open vault with its remote vault, asking for the login when
    // no password is held. Each modified note window is asked about first,
    // as on closing: Save stores it, Discard closes it, Cancel ends the
    // command before anything is sent.
    virtual void sync();
    // A sync's login was refused: asks whether to try again with another.
    virtual void syncAgain();
    // Lists the user's remote vaults, to choose one to download.
    virtual void importVault();
    // A listing's or download's login was refused: asks whether to try again.
    virtual void importVaultAgain();
    // The remote vaults are listed: the user picks one and a file for it;
    // the new vault is created there and the vault downloaded into it.
    virtual void importVault(const VaultInfoList &lInfo);
    // The running client is done: waits for its thread and deletes it, then
    // does what waited for it (remembering the login in the vault, closing
    // the note windows and rebuilding the list after a change, a retry or
    // a download).
    virtual void clientDone();
    // A failure of the client, as rich text.
    virtual void clientError(const QString &sMsg);

protected:
    // Stays open while a note window refuses to close; otherwise saves the
    // window's geometry and dock and tool-bar state and closes every help
    // window with it.
    void closeEvent(QCloseEvent *pEvent) override;
    // Watches the note windows' titles for the tabbed view (escapeTabTexts).
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;
    // Makes the (unstarted) client of a cloud command; pVault is null for a
    // listing. The tests point it at a server of their own.
    virtual Client *createClient(NoteStore *pVault, const QString &sUser, const QString &sPass,
                                 int iOperation, const QByteArray &baVaultId);

private:
    // The tests reach the store to play the part of a sync, the idle timer
    // to shorten its minute, and the tool bars on show.
    friend class MainWndTest;
    friend class MainWndSyncTest;

    // Closes the note windows and deletes the open store; false (and the
    // vault stays open) when a note window refuses.
    bool releaseVault();
    // newVault's work; true when the new vault is the open one afterwards.
    // With bAskToReplace (the user has not confirmed sPath in a file
    // dialog) a file there is replaced only after they agree; before the
    // question nothing is closed, and after a No nothing changes. A folder
    // is refused, and so is a vault that another window or program holds:
    // at once when it holds it already, as the file would go otherwise
    // (with the vault open here closed by then). The file's journal goes
    // with it.
    bool createVault(const QString &sPath, const QString &sPass, bool bAskToReplace);
    // Another window or program holds the vault at sPath (the one open here
    // does not count): says so in a box and returns true.
    bool refuseIfHeldElsewhere(const QString &sPath);
    // Why a note is stored: asked for by the user or the editor, or as the
    // vault is closed for lack of use.
    enum class SaveCause { Asked, Idle };
    // Stores the editor's content under its window's note id; false after a
    // failure, which has been reported and leaves the note modified. When
    // saving for the idle close, what would need a word to the user waits
    // in lIdleNotices for the notice, so that no box holds the vault open.
    bool storeNote(NoteWidget *pNote, SaveCause eCause = SaveCause::Asked);
    // True when nothing is at work that the close of the vault would pull
    // the store or a note window from under: no modal dialog (and with it no
    // nested event loop of a slot), no open menu, no mouse button held (a
    // drag runs its own loop). The one place that decides: anything else
    // that may hold the store (another thread) adds its condition here.
    bool mayForgetNow() const;
    // Stops a forget that was waiting: the vault it was meant for has gone.
    void cancelWaitingForget();
    // True while a client that works on the open store runs: nothing else
    // may touch the store then.
    bool vaultInUse() const;
    // Connects the new pClient's reports to the window; a refused login goes
    // to sRetrySlot (a SLOT() signature). Before runClient.
    void connectClient(const char *sRetrySlot);
    // Shows the progress dialog of the new pClient and starts it.
    void runClient(bool bAutoDone);
    // Runs f now, or once the running client is done and gone.
    void whenNoClient(std::function<void()> f);
    // A refused login: asks whether to try again, then runs fRetry.
    void retryLogin(const std::function<void()> &fRetry);
    // Downloads the remote vault baId into the open vault, if it is still
    // pVault.
    void startDownload(const NoteStore *pVault, const QByteArray &baId);
    // Stores the held login in the open vault's header where it differs.
    void rememberLogin();
    // Before a sync: asks about each modified note window, as on closing,
    // storing it or closing it with its text; false when the user cancelled
    // (or a store failed, which has been reported).
    bool settleEditedNotes();
    // Asks for a new name of the note, then renames it (storeRename).
    void renameStoredNote(const QByteArray &baId, const QString &sOld);
    // Renames the note in the store and then in its open window, if any.
    void storeRename(const QByteArray &baId, const QString &sOld, const QString &sNew);
    // Sets the title's modified mark from the maximized note window on show,
    // unless that is pClosing, the one closing.
    void markShownNote(const QObject *pClosing);
    // The note window on show, the editor in a note window, the window of an
    // editor, and a window's note id.
    QMdiSubWindow *currentNoteWindow() const;
    static NoteWidget *editorOf(QMdiSubWindow *pSub);
    QMdiSubWindow *windowOf(const NoteWidget *pNote) const;
    static QByteArray noteIdOf(const QObject *pSub);
    // In the tabbed view the tabs show the note windows' titles, where the
    // tab bar would take an '&' as the mark of an accelerator: rewrites them
    // with the '&' shown. Runs after the area has set its own texts.
    void escapeTabTexts();
    void escapeTabTextsLater();
    // Enables or disables the commands that act on the active note window.
    void setNoteWindowActions(bool bEnabled);
    // A critical box titled "Pelimund": sWhat, then the failure's own text.
    void reportFailure(const QString &sWhat, const QString &sDetails);
    // The box of a vault that cannot be opened (pFailure null for a failure
    // that is no std::exception, or for a wrong password).
    void reportOpenFailure(const std::exception *pFailure);
    // The box of a vault file that is not there.
    void reportMissingFile(const QString &sPath);
    // The path of the vault open here; empty when none is.
    QString openVaultPath() const;
    // Runs f; an exception becomes a failure box saying sWhat. True when f
    // returned normally. A change the store refused because the vault's
    // file went, or its journal's name is taken, gets rescueVault's box
    // instead, and runs again in the copy when the user saved one.
    bool guarded(const QString &sWhat, const std::function<void()> &f);
    // The box of a vault the store refused to write at its name (eRefusal):
    // on Save Vault As... the vault, as its last commit left it, is saved to
    // a new file the user names and opened there in place of the open
    // store, with the same password; the note windows stay, and the list
    // and the recent vaults follow. True when the copy is the open vault
    // now; a failure on the way is told and changes nothing.
    bool rescueVault(const std::exception &eRefusal);
    // The user's words for NoteStore::kJournalBlocked: which file stands at
    // the journal's name and why nothing can be written.
    static QString blockedJournalText(const std::exception &eRefusal);
    // What a failure box tells of e: the text of the store or the system,
    // or for a journal's name taken, what stands there and what to do.
    static QString failureDetails(const std::exception &e);

    QMdiArea *pMdi = nullptr;
    NoteStore *pStore = nullptr;
    // The extra tool bars each note window's editor supplied; owned here
    // while they are out of the window.
    QHash<QMdiSubWindow *, QList<QToolBar *>> hWindowBars;
    // The extra tool bars in the window now.
    QList<QToolBar *> lCurBars;
    QHash<QByteArray, QMdiSubWindow *> hNoteWindows;
    // Makes the Window menu's note entries exclusive; made anew each time
    // the menu opens.
    QActionGroup *pWinGroup = nullptr;
    VaultModel *pModel = nullptr;
    // The note window activated last; null when it went.
    QMdiSubWindow *pLastSub = nullptr;
    // The editor type whose extra tool bars are in the window; empty when
    // none are.
    QString sCurType;
    // Where the extra tool bars stand: out of the window, just put in (all
    // shown, their type's layout not yet restored), or settled in that
    // layout, which only then is the user's and may be saved.
    enum class Bars { Out, Settling, Settled };
    Bars eBars = Bars::Out;
    // The cloud login held for the open vault, remembered in its header or
    // given to the wizard; bRemember asks to store it in the header.
    QString sRemoteUser;
    QString sRemotePass;
    bool bRemember = false;
    // The update checks' network access, made by the first check; the
    // check waiting for its reply, null when none is.
    QNetworkAccessManager *pNetMgr = nullptr;
    QNetworkReply *pCheckReply = nullptr;
    // The running sync client (null when none runs), whether it works on
    // the open store, and what waits for it to be gone.
    Client *pClient = nullptr;
    bool bClientOnVault = false;
    std::function<void()> fAfterClient;
    // The client changed the vault, or refused the login.
    bool bClientChangedVault = false;
    bool bLoginRefused = false;
    // The progress dialog of the last client, while it is open.
    QPointer<SyncDlg> pSyncDlg;
    AutoForget *pAutoForget = nullptr;
    // Looks again, while a forget waits for the program to be at rest.
    QTimer *pForgetRetry = nullptr;
    // What the idle close has to tell besides the notice itself.
    QStringList lIdleNotices;
    // Vaults rescueVault saved anew: an idle close during which the user
    // did so leaves the vault open.
    int iRescues = 0;
};
