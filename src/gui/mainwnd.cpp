// MainWnd: the main window, its construction, the vault and note commands,
// the recent vaults, the window layout, the options and the idle close.
#include "gui/mainwnd.h"

#include "gui/aboutdlg.h"
#include "gui/autoforget.h"
#include "gui/confirmvaultreplace.h"
#include "gui/documentslocation.h"
#include "gui/help.h"
#include "gui/iconcache.h"
#include "gui/importdlg.h"
#include "gui/logindlg.h"
#include "gui/newnotedlg.h"
#include "gui/newvaultdlg.h"
#include "gui/newvaultwiz.h"
#include "gui/newversiondlg.h"
#include "gui/notedocument.h"
#include "gui/notewidgethtml.h"
#include "gui/openvaultdlg.h"
#include "gui/optionsdlg.h"
#include "gui/productinfo.h"
#include "gui/readregularfile.h"
#include "gui/renamenotedlg.h"
#include "gui/replywatch.h"
#include "gui/settingskeys.h"
#include "gui/syncdlg.h"
#include "gui/updatedescription.h"
#include "gui/updatesource.h"
#include "gui/vaultmodel.h"
#include "gui/versionnumber.h"
#include "gui/welcomedlg.h"
#include "ka/exception.h"
#include "ka/file.h"
#include "ka/uuid.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "sync/client.h"
#include "vrel/vrel.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace {

// The icons the editor, the note list and the dialogs ask for by name.
const struct {
    const char *sName;
    const char *sResource;
} kIcons[] = {
    {"vault", ":/icons/pelimund.png"},
    {"note-html", ":/icons/text-html.png"},
    {"undo", ":/icons/edit-undo.png"},
    {"redo", ":/icons/edit-redo.png"},
    {"text-bold", ":/icons/format-text-bold.png"},
    {"text-italic", ":/icons/format-text-italic.png"},
    {"text-underline", ":/icons/format-text-underline.png"},
    {"text-left", ":/icons/format-justify-left.png"},
    {"text-center", ":/icons/format-justify-center.png"},
    {"text-right", ":/icons/format-justify-right.png"},
    {"text-fill", ":/icons/format-justify-fill.png"},
    {"unordered-list", ":/icons/format-list-unordered.png"},
    {"ordered-list", ":/icons/format-list-ordered.png"},
    {"insert-table", ":/icons/insert-table.png"},
    {"new-row-above", ":/icons/edit-table-insert-row-above.png"},
    {"new-row-below", ":/icons/edit-table-insert-row-under.png"},
    {"new-col-left", ":/icons/edit-table-insert-column-left.png"},
    {"new-col-right", ":/icons/edit-table-insert-column-right.png"},
    {"delete-col", ":/icons/edit-table-delete-column.png"},
    {"delete-row", ":/icons/edit-table-delete-row.png"},
    {"edit-copy", ":/icons/edit-copy.png"},
    {"edit-cut", ":/icons/edit-cut.png"},
    {"edit-paste", ":/icons/edit-paste.png"},
    {"edit-find", ":/icons/edit-find.png"},
};

Ka::Uuid toUuid(const QByteArray &baId) {
    return Ka::Uuid(toKaString(baId));
}

Ka::String toUtf8(const QString &sText) {
    return toKaString(sText.toUtf8());
}

QString fromUtf8(const Ka::String &sText) {
    return QString::fromUtf8(toByteArray(sText));
}

// A path or a note name as a menu entry: its '&' shown, not taken as the
// mark of a keyboard accelerator.
QString menuText(QString sText) {
    return sText.replace('&', "&&");
}

// The settings key of an editor type's window layout.
QString layoutKey(const QString &sType) {
    return SettingsKey::kTypeWindowStatePrefix + sType;
}

// How often a forget that waits for the program to come to rest looks again.
constexpr int kForgetRetryMs = 250;

// Imported files carry no declared encoding. A leading byte-order mark
// names theirs (Windows editors save "Unicode" text as UTF-16 with one);
// without one, bytes that are valid UTF-8 are taken as UTF-8, anything else
// as Latin-1, which maps every byte to one character. A zero character
// stays: noteHtml writes it as U+FFFD, as it does one that HTML writes.
QString decodeImported(const QByteArray &baRaw) {
    QString sText;
    if (const auto eMarked = QStringConverter::encodingForData(baRaw)) {
        sText = QStringDecoder(*eMarked, QStringDecoder::Flag::Stateless).decode(baRaw);
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        sText = decoder.decode(baRaw);
        if (decoder.hasError())
            sText = QString::fromLatin1(baRaw);
    }
    return sText;
}

} // namespace

MainWnd::MainWnd(const QString &sPath) : QMainWindow(nullptr) {
    setupUi(this);

    IconCache &icons = IconCache::getInstance();
    for (const auto &icon : kIcons)
        icons.addIcon(icon.sName, QIcon(icon.sResource));

    resetRecentMenu();
    resetToolbarsMenu();

    pModel = new VaultModel(nullptr, this);
    tvNote->setModel(pModel);
    tvNote->setHeaderHidden(true);
    // One line per note: the view need not measure each of thousands of rows.
    tvNote->setUniformRowHeights(true);
    connect(pModel, SIGNAL(noteNameChanged(QByteArray, QString)), this,
            SLOT(noteRenamed(QByteArray, QString)));
    // Once the list's editor is done: the box must not run inside its commit.
    connect(pModel, SIGNAL(renameRefused(QByteArray, QString)), this,
            SLOT(retryRename(QByteArray, QString)), Qt::QueuedConnection);

    pMdi = new QMdiArea(this);
    setCentralWidget(pMdi);
    connect(pMdi, SIGNAL(subWindowActivated(QMdiSubWindow *)), this,
            SLOT(subWindowActivated(QMdiSubWindow *)));

    connect(actionAboutQt, SIGNAL(triggered()), qApp, SLOT(aboutQt()));
    connect(menuWindow, SIGNAL(aboutToShow()), this, SLOT(updateWindowMenu()));
    connect(actionTileWindows, SIGNAL(triggered()), pMdi, SLOT(tileSubWindows()));
    connect(actionCascadeWindows, SIGNAL(triggered()), pMdi, SLOT(cascadeSubWindows()));

    pAutoForget = new AutoForget(this);
    qApp->installEventFilter(pAutoForget);
    connect(pAutoForget, SIGNAL(forget()), this, SLOT(forget()));
    pForgetRetry = new QTimer(this);
    pForgetRetry->setSingleShot(true);
    pForgetRetry->setInterval(kForgetRetryMs);
    connect(pForgetRetry, SIGNAL(timeout()), this, SLOT(forget()));
    // A forget that waits for a dialog to go is one for the idle time before
    // the user's last action: after the click that closes the dialog the
    // idle time starts anew.
    connect(pAutoForget, SIGNAL(userActed()), pForgetRetry, SLOT(stop()));

    initFromOptions();
    vaultChanged();

    auto *pListBar = new QToolBar(this);
    vlNoteDock->addWidget(pListBar);
    pListBar->addAction(actionCreateNote);
    pListBar->addAction(actionOpenCurNote);
    pListBar->addAction(actionRenameCurNote);
    pListBar->addAction(actionDeleteCurNote);
    noteSelChanged();

    QSettings settings;
    restoreGeometry(settings.value(SettingsKey::kGeometry).toByteArray());
    restoreState(settings.value(SettingsKey::kWindowState).toByteArray(), 0);

    // An installer that an earlier update download left has had its chance.
    NewVersionDlg::removeLeftOver();

    Help::getInstance().setHandle(effectiveWinId());

    if (!sPath.isEmpty())
        openVault(sPath);
    else if (settings.value(SettingsKey::kRecentList).toStringList().isEmpty())
        QTimer::singleShot(0, this, [this] { newVaultWizard(); });
    else if (settings.value(SettingsKey::kUseWelcomeDlg, true).toBool())
        QTimer::singleShot(0, this, SLOT(welcomeDlg()));

    // Once a day at most: the time of a check is recorded when it starts.
    const qint64 iLastCheck = settings.value(SettingsKey::kLastUpdateCheck, 0).toLongLong();
    if (iLastCheck < QDateTime::currentSecsSinceEpoch() - 86400)
        checkForUpdates();
}

MainWnd::~MainWnd() {
    // A check still waiting must not report to a window that is going.
    if (pCheckReply)
        pCheckReply->disconnect(this);
    // A client still at work uses the store: it ends within its time-out.
    if (pClient) {
        pClient->disconnect(this);
        delete pClient;
        pClient = nullptr;
    }
    // The note windows go first, while this window is still whole: their
    // destruction would otherwise call back into a half-destroyed window.
    // Closed ones that wait for their deletion count too; the area no longer
    // lists them.
    pMdi->disconnect(this);
    for (QMdiSubWindow *pSub : std::as_const(hNoteWindows))
        pSub->disconnect(this);
    delete pMdi;
    for (const QList<QToolBar *> &lBars : std::as_const(hWindowBars))
        qDeleteAll(lBars);
    pModel->setStore(nullptr);
    delete pStore;
    IconCache::getInstance().clear();
}

bool MainWnd::closeNoteWindows() {
    // A window closes at once (it leaves the area's list and the next one
    // becomes current); one whose user cancels stays current, which ends the
    // loop.
    QMdiSubWindow *pPrevious = nullptr;
    while (QMdiSubWindow *pSub = currentNoteWindow()) {
        if (pSub == pPrevious)
            break;
        pPrevious = pSub;
        pSub->close();
        // The closed window clears the title's modified mark as it goes, but
        // is deleted (and subWindowClosed sets the mark again) only when the
        // event loop comes back: the next note's save question would stand
        // under a title without its mark.
        markShownNote(pSub);
    }
    return pMdi->subWindowList().isEmpty();
}

void MainWnd::closeEvent(QCloseEvent *pEvent) {
    // The client's thread uses the store; the window waits for it.
    if (pClient || !closeNoteWindows()) {
        pEvent->ignore();
        return;
    }
    // The closed note windows go later, or not at all when the program
    // ends first: their type's layout is saved now, and the window's own
    // state is that of the frame without them, as the next start finds it.
    hideExtraBars();
    QSettings settings;
    settings.setValue(SettingsKey::kGeometry, saveGeometry());
    settings.setValue(SettingsKey::kWindowState, saveState(0));
    // The program ends, and the vault is released, only when no window of
    // its own is left on show.
    Help::getInstance().closeWindows();
    QMainWindow::closeEvent(pEvent);
}

void MainWnd::vaultChanged() {
    // The windows' save questions and the list would reach the store under
    // the client: all that follows once it is done.
    if (vaultInUse()) {
        bClientChangedVault = true;
        return;
    }
    pMdi->closeAllSubWindows();
    resetTree();
    if (pStore) {
        actionCreateNote->setEnabled(true);
        actionSync->setEnabled(true);
        actionImportNote->setEnabled(true);
    } else {
        actionCreateNote->setEnabled(false);
        actionSync->setEnabled(false);
        actionImportNote->setEnabled(false);
        setNoteWindowActions(false);
    }
}

bool MainWnd::releaseVault() {
    if (vaultInUse() || !closeNoteWindows())
        return false;
    cancelWaitingForget();
    delete pStore;
    pStore = nullptr;
    resetTree(); // the list must not outlive the store it shows
    return true;
}

bool MainWnd::createVault(const QString &sPath, const QString &sPass, bool bAskToReplace) {
    // A vault held elsewhere is never replaced: the program that holds it
    // would go on writing to a file no longer there, and lose all it writes.
    const QString sOpen = openVaultPath();
    if (bAskToReplace ? !confirmVaultReplace(this, sPath, sOpen)
                      : refuseVaultReplace(this, sPath, sOpen))
        return false;
    if (!releaseVault())
        return false;
    const QString sFailed = tr("There was an error creating the vault.");
    // Checked once more as the file goes, since the save questions may have
    // stood for as long as the user liked.
    bool bRemoved = false;
    try {
        NoteStore::removeVault(toLocalPath(sPath));
        bRemoved = true;
    } catch (const std::exception &e) {
        const auto *pFile = dynamic_cast<const Ka::FileException *>(&e);
        if (pFile && isVaultInUse(*pFile))
            reportVaultInUse(this);
        else
            reportFailure(sFailed, QString::fromLocal8Bit(e.what()));
    }
    if (bRemoved) {
        guarded(sFailed,
                [&] { pStore = new NoteStore(toLocalPath(sPath), toKaString(sPass.toUtf8())); });
        if (pStore)
            addRecentDocument(sPath);
    }
    vaultChanged();
    return pStore != nullptr;
}

void MainWnd::newVault(const QString &sPath, const QString &sPass) {
    createVault(sPath, sPass, false);
}

void MainWnd::newVault() {
    if (QSettings().value(SettingsKey::kUseVaultWizard, true).toBool()) {
        newVaultWizard(true);
        return;
    }
    NewVaultDlg dialog(this);
    dialog.setOpenVault(openVaultPath());
    if (dialog.exec() == QDialog::Accepted)
        newVault(dialog.getFilename(), dialog.getPassword());
}

bool MainWnd::openVault(const QString &sPath, const QString &sPass) {
    // Refused before the open vault is let go, which then stays open.
    if (refuseIfHeldElsewhere(sPath))
        return false;
    if (!QFileInfo::exists(sPath)) {
        reportMissingFile(sPath);
        return false;
    }
    // The password is tried before the open vault is let go: a mistyped one
    // must not cost the vault open here, nor its windows' unsaved text. The
    // vault open here cannot be opened twice, so its own key tells; it and
    // an empty file, which becomes a vault as it is opened, are let go (or
    // asked about) first, so that a Cancel leaves the empty file as it was.
    const bool bOpenHere = isOpenVault(sPath, openVaultPath());
    if (bOpenHere && !pStore->hasPassword(toKaString(sPass.toUtf8()))) {
        reportOpenFailure(nullptr);
        return false;
    }
    const bool bReleaseFirst = bOpenHere || QFileInfo(sPath).size() == 0;
    if (bReleaseFirst && !releaseVault())
        return false;
    // The questions may have stood for as long as the user liked; a file
    // moved away meanwhile is not made anew, empty, in its place.
    if (bReleaseFirst && !QFileInfo::exists(sPath)) {
        reportMissingFile(sPath);
        vaultChanged();
        return false;
    }
    std::unique_ptr<NoteStore> pOpened;
    QString sUser;
    QString sPassword;
    try {
        auto pTried = std::make_unique<NoteStore>(toLocalPath(sPath), toKaString(sPass.toUtf8()));
        if (auto *pUser = dynamic_cast<Vrel::String *>(pTried->getHeader("remoteUser")))
            sUser = QString::fromUtf8(*pUser);
        if (auto *pPass = dynamic_cast<Vrel::String *>(pTried->getHeader("remotePass")))
            sPassword = QString::fromUtf8(*pPass);
        pOpened = std::move(pTried);
    } catch (const std::exception &e) {
        reportOpenFailure(&e);
    } catch (...) {
        reportOpenFailure(nullptr);
    }
    // Then the save questions, where Cancel keeps the open vault too.
    if (!pOpened || (!bReleaseFirst && !releaseVault())) {
        if (bReleaseFirst)
            vaultChanged();
        return false;
    }
    // They may have stood for as long as the user liked: a file moved or
    // replaced meanwhile is not the one that was read, and the store would
    // write where the vault's name no longer leads.
    if (!bReleaseFirst) {
        try {
            pOpened->checkFile();
        } catch (const std::exception &e) {
            if (NoteStore::isVaultMoved(e))
                reportMissingFile(sPath);
            else
                reportOpenFailure(&e);
            vaultChanged();
            return false;
        }
    }
    sRemoteUser = sUser;
    sRemotePass = sPassword;
    pStore = pOpened.release();
    addRecentDocument(sPath);
    vaultChanged();
    return true;
}

void MainWnd::reportOpenFailure(const std::exception *pFailure) {
    const auto *pFile = dynamic_cast<const Ka::FileException *>(pFailure);
    if (pFile && isVaultInUse(*pFile)) {
        reportVaultInUse(this);
        return;
    }
    if (pFailure && NoteStore::isJournalBlocked(*pFailure)) {
        reportFailure(tr("Vault cannot be opened."), failureDetails(*pFailure));
        return;
    }
    // The store's words for a wrong password or a foreign file ("Invalid
    // check code.") mean nothing to the user; the system's for a file it
    // cannot read or write do ("Permission denied: <path>").
    reportFailure(tr("Vault cannot be opened.\nEither it's an invalid file, or an incorrect "
                     "password was provided."),
                  pFile && pFile->getErrorCode() > 0 ? QString::fromLocal8Bit(pFile->what())
                                                     : QString());
}

void MainWnd::reportMissingFile(const QString &sPath) {
    QMessageBox::critical(this, tr("Pelimund"), tr("No such file found: ") + sPath);
}

QString MainWnd::openVaultPath() const {
    return pStore ? QString::fromLocal8Bit(toByteArray(pStore->getFileName())) : QString();
}

bool MainWnd::refuseIfHeldElsewhere(const QString &sPath) {
    // The vault open in this window is let go before anything is done with
    // its file.
    return refuseHeldVault(this, sPath, openVaultPath());
}

void MainWnd::openVault(const QString &sPath) {
    if (!QFileInfo::exists(sPath)) {
        reportMissingFile(sPath);
        return;
    }
    // A password typed for a vault that cannot be opened would be asked for
    // nothing. Nothing but a regular file is even opened (a pipe would
    // keep the program waiting for a writer).
    if (refuseIfHeldElsewhere(sPath))
        return;
    try {
        Ka::File probe(toLocalPath(sPath), Ka::File::Read | Ka::File::RegularOnly);
    } catch (const Ka::FileException &e) {
        reportOpenFailure(&e);
        return;
    }
    OpenVaultDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        openVault(sPath, dialog.getPassword());
}

void MainWnd::openVault() {
    // "(*)" rather than "(*.*)", which would hide files without a point.
    const QString sPath = QFileDialog::getOpenFileName(
        this, tr("Pelimund - Open"), documentsLocation(), tr("Pelimunds (*.vault);;All Files (*)"));
    if (!sPath.isEmpty())
        openVault(sPath);
}

void MainWnd::resetTree() {
    pModel->setStore(pStore);
    noteSelChanged();
}

void MainWnd::newNote(const QString &sName, const QString &sType, const QByteArray &baData) {
    if (!pStore || vaultInUse())
        return;
    QByteArray baId;
    const bool bCreated = guarded(tr("The note '%1' cannot be created.").arg(sName), [&] {
        Vrel::Dictionary content;
        content.insert("data", baData);
        const Ka::Uuid uId = Ka::Uuid::generate();
        pStore->createNote(uId, toUtf8(sName), toUtf8(sType), &content);
        baId = toByteArray(uId.getRaw());
    });
    resetTree();
    if (bCreated)
        openNote(baId);
}

void MainWnd::newNote() {
    NewNoteDlg dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        newNote(dialog.getName(), "html");
}

void MainWnd::importNote() {
    const QString sPath =
        QFileDialog::getOpenFileName(this, tr("Pelimund - Import"), documentsLocation(),
                                     tr("Text Documents (*.txt *.html *.htm);;All Files (*)"));
    if (sPath.isEmpty())
        return;
    // A file that cannot be read becomes an empty note of its name; so does
    // what is not a regular file, which is never read (a device would be
    // read without end, a named pipe would keep the program waiting).
    const QString sText = decodeImported(
        readRegularFile(sPath, std::numeric_limits<int>::max()).value_or(QByteArray()));

    const QFileInfo info(sPath);
    // Parsing HTML already reads the background images and style sheets it
    // names.
    NoteDocument document;
    if (info.suffix() == "html" || info.suffix() == "htm")
        document.setHtml(sText);
    else
        document.setPlainText(sText);
    newNote(info.baseName(), "html", noteHtml(document));
}

void MainWnd::exportNote() {
    if (NoteWidget *pNote = editorOf(currentNoteWindow()))
        pNote->exportNote();
}

void MainWnd::openNote(const QByteArray &baId) {
    if (!pStore || vaultInUse())
        return;
    if (QMdiSubWindow *pSub = hNoteWindows.value(baId)) {
        pMdi->setActiveSubWindow(pSub);
        return;
    }
    QString sName;
    std::unique_ptr<Vrel::Dictionary> pContent;
    if (!guarded(tr("The note cannot be opened."), [&] {
            const Ka::Uuid uId = toUuid(baId);
            sName = fromUtf8(pStore->getNoteName(uId));
            pContent.reset(pStore->loadNote(uId));
        }))
        return;
    if (!pContent) {
        reportFailure(tr("The note '%1' cannot be opened.").arg(sName),
                      tr("Its content cannot be read from the vault."));
        return;
    }

    auto *pEditor = new NoteWidgetHtml(baId, sName, pContent.release(), this);
    QMdiSubWindow *pSub = pMdi->addSubWindow(pEditor);
    pSub->installEventFilter(this);
    escapeTabTextsLater();
    pSub->setWindowIcon(pEditor->getIcon());
    if (QSettings().value(SettingsKey::kWinMaxed, true).toBool())
        pSub->setWindowState(Qt::WindowMaximized);
    pSub->show();
    pSub->setProperty("noteId", baId);
    connect(pSub, SIGNAL(destroyed(QObject *)), this, SLOT(subWindowClosed(QObject *)));
    connect(pEditor, SIGNAL(saveMe(NoteWidget *)), this, SLOT(saveNote(NoteWidget *)));
    hNoteWindows.insert(baId, pSub);

    // Showing the window normally activates it, which has put away the
    // bars of the window before; without an active application it has not.
    if (pLastSub != pSub) {
        pLastSub = pSub;
        hideExtraBars();
    }
    sCurType = pEditor->getType();
    lCurBars = pEditor->getToolBars();
    for (QToolBar *pBar : std::as_const(lCurBars)) {
        pBar->setFloatable(true);
        pBar->setMovable(true);
    }
    hWindowBars.insert(pSub, lCurBars);
    showExtraBars();
    setNoteWindowActions(true);
    // The area hands the focus to the new window's text only while this
    // window is active; right after a dialog (New Note, Import) it is not,
    // and the typing would go to the window frame once it is again.
    pEditor->setFocus();
}

void MainWnd::openNote(const QModelIndex &index) {
    openNote(index.data(Qt::UserRole).toByteArray());
}

void MainWnd::openCurNote() {
    if (tvNote->hasSelection())
        openNote(tvNote->getSelectedId());
}

bool MainWnd::storeNote(NoteWidget *pNote, SaveCause eCause) {
    if (!pStore)
        return false;
    if (vaultInUse()) {
        // The editor stays modified: its window asks again when it closes.
        reportFailure(tr("The note '%1' cannot be saved while the vault is being synchronized. "
                         "Its text is kept in its window.")
                          .arg(pNote->getName()),
                      QString());
        return false;
    }
    QMdiSubWindow *pSub = windowOf(pNote);
    const QByteArray baId = pSub ? noteIdOf(pSub) : pNote->getId();
    const bool bWasModified = pNote->isModified();
    const QString sFailed =
        eCause == SaveCause::Idle
            ? tr("Pelimund was not used for a while, but the vault stays open: the note '%1' "
                 "cannot be saved. Its text is kept in its window.")
                  .arg(pNote->getName())
            : tr("The note '%1' cannot be saved.").arg(pNote->getName());
    QByteArray baNewId;
    const bool bStored = guarded(sFailed, [&] {
        const std::unique_ptr<Vrel::Object> pContent(pNote->getData());
        // Taking the text clears the note's modified mark, but the note is
        // not saved before the vault holds it: not while a box about a
        // refused change stands either.
        pNote->setModified(bWasModified);
        const Ka::Uuid uId = toUuid(baId);
        if (pStore->getNotes().has(uId)) {
            pStore->saveNote(uId, pContent.get());
            return;
        }
        // The note went from the vault while its window was open (a sync
        // deleted it): its text is kept as a note of its own.
        const Ka::Uuid uNew = Ka::Uuid::generate();
        pStore->createNote(uNew, toUtf8(pNote->getName()), toUtf8(pNote->getType()),
                           pContent.get());
        baNewId = toByteArray(uNew.getRaw());
    });
    if (!bStored) {
        // Before the idle close the window's text may be the only copy that
        // is whole: its window must not close without asking.
        pNote->setModified(bWasModified || eCause == SaveCause::Idle);
        return false;
    }
    pNote->setModified(false);
    if (!baNewId.isEmpty()) {
        if (pSub) {
            hNoteWindows.remove(baId);
            hNoteWindows.insert(baNewId, pSub);
            pSub->setProperty("noteId", baNewId);
        }
        resetTree();
        const QString sNotice =
            tr("The note '%1' was no longer in the vault, so it was saved as a new note.")
                .arg(pNote->getName());
        if (eCause == SaveCause::Idle)
            lIdleNotices << sNotice;
        else
            QMessageBox::information(this, tr("Pelimund"), sNotice);
    }
    return true;
}

void MainWnd::saveNote(NoteWidget *pNote) {
    storeNote(pNote);
}

void MainWnd::saveNote() {
    if (NoteWidget *pNote = editorOf(currentNoteWindow()))
        storeNote(pNote);
}

void MainWnd::saveAllNotes() {
    // After the first failure the others would most likely fail the same way.
    for (QMdiSubWindow *pSub : pMdi->subWindowList(QMdiArea::CreationOrder)) {
        NoteWidget *pNote = editorOf(pSub);
        if (pNote && !storeNote(pNote))
            return;
    }
}

void MainWnd::delNote(const QByteArray &baId) {
    if (!pStore || vaultInUse())
        return;
    const Ka::Uuid uId = toUuid(baId);
    QString sName;
    if (!guarded(tr("The note cannot be deleted."),
                 [&] { sName = fromUtf8(pStore->getNoteName(uId)); }))
        return;
    if (QMessageBox::question(
            this, tr("Pelimund"), tr("Are you sure you want to delete the note '%1'?").arg(sName),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton) == QMessageBox::No)
        return;
    // The question ran an event loop of its own: the vault may have gone.
    if (!pStore || vaultInUse())
        return;
    // deleteNote tells no reason; a vault file that went is told as for
    // every other change.
    const QString sFailed = tr("The note '%1' could not be deleted.").arg(sName);
    bool bDeleted = false;
    const bool bTold = !guarded(sFailed, [&] {
        bDeleted = pStore->deleteNote(uId);
        if (!bDeleted)
            pStore->checkWritable();
    });
    if (bDeleted) {
        if (QMdiSubWindow *pSub = hNoteWindows.value(baId)) {
            editorOf(pSub)->setModified(false);
            pSub->close();
        }
    } else if (!bTold) {
        reportFailure(sFailed, QString());
    }
    resetTree();
}

void MainWnd::delNote() {
    if (QMdiSubWindow *pSub = currentNoteWindow())
        delNote(noteIdOf(pSub));
}

void MainWnd::delCurNote() {
    if (tvNote->hasSelection())
        delNote(tvNote->getSelectedId());
}

void MainWnd::subWindowActivated(QMdiSubWindow *pSub) {
    if (!pSub || pSub == pLastSub)
        return;
    pLastSub = pSub;
    hideExtraBars();
    const NoteWidget *pNote = editorOf(pSub);
    sCurType = pNote ? pNote->getType() : QString();
    lCurBars = hWindowBars.value(pSub);
    showExtraBars();
}

void MainWnd::subWindowClosed(QObject *pObject) {
    if (hNoteWindows.size() == 1) {
        hideExtraBars();
        lCurBars.clear();
        sCurType.clear();
        resetToolbarsMenu();
        setNoteWindowActions(false);
    }
    // A later window may be given the same address.
    if (static_cast<QObject *>(pLastSub) == pObject)
        pLastSub = nullptr;
    const QByteArray baId = noteIdOf(pObject);
    if (hNoteWindows.value(baId) == pObject)
        hNoteWindows.remove(baId);
    // Only compared as a QObject: the window is half destroyed by now.
    for (auto it = hWindowBars.begin(); it != hWindowBars.end(); ++it) {
        if (static_cast<QObject *>(it.key()) != pObject)
            continue;
        if (lCurBars == *it)
            lCurBars.clear();
        qDeleteAll(*it);
        hWindowBars.erase(it);
        break;
    }
    markShownNote(pObject);
}

void MainWnd::markShownNote(const QObject *pClosing) {
    // A maximized note window lends this window its title and modified
    // mark. As one closes, the area hands both to the next note before the
    // closing window lets go of them, which clears the mark: it is set again
    // here. In tabs, or with the note not maximized, the title names no note.
    QMdiSubWindow *pShown = pMdi->currentSubWindow();
    if (pShown && static_cast<QObject *>(pShown) != pClosing &&
        pMdi->viewMode() == QMdiArea::SubWindowView && pShown->isMaximized())
        setWindowModified(pShown->isWindowModified());
}

void MainWnd::noteSelChanged() {
    const bool bSelected = tvNote->hasSelection();
    actionDeleteCurNote->setEnabled(bSelected);
    actionRenameCurNote->setEnabled(bSelected);
    actionOpenCurNote->setEnabled(bSelected);
}

void MainWnd::forget() {
    if (!pStore)
        return;
    if (!mayForgetNow()) {
        pForgetRetry->start();
        return;
    }
    pForgetRetry->stop();
    lIdleNotices.clear();
    const int iRescuesBefore = iRescues;
    for (QMdiSubWindow *pSub : pMdi->subWindowList(QMdiArea::CreationOrder)) {
        NoteWidget *pNote = editorOf(pSub);
        // A failure has been reported; the vault and its windows stay.
        if (pNote && !storeNote(pNote, SaveCause::Idle))
            return;
    }
    // The user came back to save the vault anew in a box meanwhile.
    if (iRescues != iRescuesBefore)
        return;
    // Every note is stored and unmodified, so no window asks before closing;
    // one that stays is closing already, under a dialog answered in this
    // very pass of the event loop (whose slot has not returned yet).
    if (!releaseVault()) {
        pForgetRetry->start();
        return;
    }
    vaultChanged();
    repaint();
    // The notice comes once the window has been drawn without the vault.
    QTimer::singleShot(0, this, SLOT(forgetNotice()));
}

void MainWnd::forgetNotice() {
    QString sText = tr("Your Vault was saved and closed automatically because of\ninactivity. "
                       "You can adjust this setting in the Options.");
    for (const QString &sNotice : std::as_const(lIdleNotices))
        sText += "\n\n" + sNotice;
    lIdleNotices.clear();
    QMessageBox::information(this, tr("Pelimund - Idle"), sText, QMessageBox::Ok);
}

bool MainWnd::mayForgetNow() const {
    return !pClient && !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
           QGuiApplication::mouseButtons() == Qt::NoButton;
}

void MainWnd::cancelWaitingForget() {
    pForgetRetry->stop();
}

void MainWnd::hideExtraBars() {
    if (eBars == Bars::Out)
        return;
    // Bars put in a moment ago (closing several note windows at once
    // activates each in turn) all show, whatever their type's layout says:
    // saving that would lose a bar the user hid.
    if (eBars == Bars::Settled && !sCurType.isEmpty())
        QSettings().setValue(layoutKey(sCurType), saveState(0));
    for (QToolBar *pBar : std::as_const(lCurBars)) {
        pBar->hide();
        removeToolBar(pBar);
        pBar->setParent(nullptr);
    }
    eBars = Bars::Out;
}

void MainWnd::showExtraBars() {
    for (QToolBar *pBar : std::as_const(lCurBars)) {
        addToolBar(pBar);
        pBar->show();
    }
    eBars = Bars::Settling;
    // Restored once the bars have settled in the window.
    if (!sCurType.isEmpty())
        QTimer::singleShot(0, this, SLOT(timedRestoreState()));
}

void MainWnd::timedRestoreState() {
    // Bars taken out meanwhile have nothing to restore, and a restore
    // without them would move the others.
    if (eBars == Bars::Settling && !sCurType.isEmpty()) {
        restoreState(QSettings().value(layoutKey(sCurType)).toByteArray(), 0);
        eBars = Bars::Settled;
    }
    resetToolbarsMenu();
}

void MainWnd::clearRecent() {
    QSettings().setValue(SettingsKey::kRecentList, QStringList());
    resetRecentMenu();
}

void MainWnd::openRecent() {
    if (const QObject *pEntry = sender())
        openVault(pEntry->property("filePath").toString());
}

void MainWnd::addRecentDocument(const QString &sPath) {
    // Absolute: a path given relative to the folder the program started in
    // must open from any other.
    const QString sEntry =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(sPath).absoluteFilePath()));
    QSettings settings;
    const int iMax = settings.value(SettingsKey::kRecentMax, 4).toInt();
    if (iMax <= 0)
        return;
    const QStringList lOld = settings.value(SettingsKey::kRecentList).toStringList();
    QStringList lPaths = lOld;
    lPaths.removeAll(sEntry);
    lPaths.prepend(sEntry);
    while (lPaths.size() > iMax)
        lPaths.removeLast();
    // Reopening the vault used last changes nothing: no settings file is
    // rewritten (and synced to disk) for it.
    if (lPaths == lOld)
        return;
    settings.setValue(SettingsKey::kRecentList, lPaths);
    resetRecentMenu();
}

void MainWnd::resetRecentMenu() {
    // The entry that was chosen may be the one running now: later, not here.
    for (QAction *pAction : menuRecentVaults->actions()) {
        menuRecentVaults->removeAction(pAction);
        if (pAction != actionClearRecent)
            pAction->deleteLater();
    }
    const QStringList lPaths = QSettings().value(SettingsKey::kRecentList).toStringList();
    for (const QString &sPath : lPaths) {
        // A blank line of a hand-edited list names no vault.
        if (sPath.isEmpty())
            continue;
        QAction *pEntry = menuRecentVaults->addAction(menuText(sPath));
        pEntry->setProperty("filePath", sPath);
        connect(pEntry, SIGNAL(triggered()), this, SLOT(openRecent()));
    }
    menuRecentVaults->addSeparator();
    menuRecentVaults->addAction(actionClearRecent);
}

void MainWnd::resetToolbarsMenu() {
    menuToolbars->clear();
    menuToolbars->addAction(tbNote->toggleViewAction());
    for (QToolBar *pBar : std::as_const(lCurBars))
        menuToolbars->addAction(pBar->toggleViewAction());
}

void MainWnd::options() {
    OptionsDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    resetRecentMenu();
    initFromOptions();
}

void MainWnd::initFromOptions() {
    QSettings settings;
    // Read wide and bounded, so that no stored number overflows the timer.
    const qlonglong iMinutes = settings.value(SettingsKey::kForgetTimeout, 0).toLongLong();
    pAutoForget->timeoutChanged(int(std::clamp<qlonglong>(iMinutes, 0, AutoForget::kMaxMinutes)));

    pMdi->setViewMode(settings.value(SettingsKey::kInterface).toString() == "tabs"
                          ? QMdiArea::TabbedView
                          : QMdiArea::SubWindowView);
    escapeTabTextsLater();
    pMdi->setTabsClosable(settings.value(SettingsKey::kTabsClosable, true).toBool());
    pMdi->setTabsMovable(settings.value(SettingsKey::kTabsMovable, true).toBool());
    const QString sPosition = settings.value(SettingsKey::kTabPosition, "Top").toString();
    QTabWidget::TabPosition ePosition = QTabWidget::North;
    if (sPosition == "Bottom")
        ePosition = QTabWidget::South;
    else if (sPosition == "Left")
        ePosition = QTabWidget::West;
    else if (sPosition == "Right")
        ePosition = QTabWidget::East;
    pMdi->setTabPosition(ePosition);
}

void MainWnd::manual() {
    Help::getInstance().showContents();
}

void MainWnd::quickGuide() {
    Help::getInstance().showPage("quickstart.html");
}

void MainWnd::welcomeDlg() {
    // Until a vault opens or the user turns away; a failed open has been
    // reported and offers the dialog again.
    for (;;) {
        WelcomeDlg dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        switch (dialog.getResult()) {
        case WelcomeDlg::ResultNone:
            return;
        case WelcomeDlg::ResultCreate:
            newVault();
            return;
        case WelcomeDlg::ResultOpen:
            if (openVault(dialog.getVaultFile(), dialog.getPassword()))
                return;
            break;
        default:
            break;
        }
    }
}

void MainWnd::newVaultWizard(bool bNewOnly) {
    Q_UNUSED(bNewOnly); // the wizard offers the same choices either way
    NewVaultWiz wizard(this);
    wizard.setOpenVault(openVaultPath());
    if (wizard.exec() != QDialog::Accepted)
        return;
    switch (wizard.field("mode").toInt()) {
    case 0: {
        // The wizard proposes the documents folder, which a fresh account
        // may not have yet; a folder that cannot be made fails the creation
        // with its own message.
        QDir().mkpath(wizard.field("vaultLocation").toString());
        // A file that came to the path after the wizard asked is asked about.
        if (!createVault(wizard.vaultPath(), wizard.field("password").toString(),
                         !wizard.isReplaceConfirmed()))
            return;
        newNote(wizard.field("noteName").toString(), "html");
        if (wizard.field("enableSync").toBool()) {
            sRemoteUser = wizard.field("syncUser").toString();
            sRemotePass = wizard.field("syncPass").toString();
            bRemember = wizard.field("syncRemember").toBool();
            sync();
        }
        break;
    }
    case 1:
        openVault();
        break;
    case 2:
        importVault();
        break;
    default:
        break;
    }
}

void MainWnd::updateWindowMenu() {
    menuWindow->clear();
    menuWindow->addAction(actionNoteDock);
    menuWindow->addMenu(menuToolbars);
    menuWindow->addSeparator();
    menuWindow->addAction(actionTileWindows);
    menuWindow->addAction(actionCascadeWindows);
    menuWindow->addSeparator();

    delete pWinGroup;
    pWinGroup = new QActionGroup(this);
    const NoteWidget *pCurrent = editorOf(pMdi->currentSubWindow());
    int iNumber = 0;
    for (QMdiSubWindow *pSub : pMdi->subWindowList(QMdiArea::CreationOrder)) {
        const NoteWidget *pNote = editorOf(pSub);
        ++iNumber;
        const QString sName = menuText(pNote ? pNote->getName() : pSub->windowTitle());
        // The first nine carry their digit as the accelerator.
        const QString sText = iNumber < 10 ? tr("&%1 %2").arg(QString::number(iNumber), sName)
                                           : tr("%1 %2").arg(QString::number(iNumber), sName);
        QAction *pEntry = menuWindow->addAction(sText);
        pWinGroup->addAction(pEntry);
        pEntry->setCheckable(true);
        pEntry->setChecked(pNote && pNote == pCurrent);
        // The menu can outlive the window it names (it closes while the menu
        // is open): such an entry then activates nothing.
        connect(pEntry, &QAction::triggered, this,
                [this, pTarget = QPointer<QMdiSubWindow>(pSub)] { activateSubWindow(pTarget); });
    }
}

void MainWnd::activateSubWindow(QWidget *pWidget) {
    auto *pSub = qobject_cast<QMdiSubWindow *>(pWidget);
    if (pSub && pMdi->subWindowList().contains(pSub))
        pMdi->setActiveSubWindow(pSub);
}

void MainWnd::noteRenamed(const QByteArray &baId, const QString &sName) {
    if (NoteWidget *pNote = editorOf(hNoteWindows.value(baId)))
        pNote->setName(sName);
}

void MainWnd::renameNote() {
    QMdiSubWindow *pSub = currentNoteWindow();
    if (NoteWidget *pNote = editorOf(pSub))
        renameStoredNote(noteIdOf(pSub), pNote->getName());
}

void MainWnd::renameCurNote() {
    // The name is read from the store, which a client may be changing.
    if (!pStore || vaultInUse() || !tvNote->hasSelection())
        return;
    const QByteArray baId = tvNote->getSelectedId();
    QString sName;
    if (NoteWidget *pNote = editorOf(hNoteWindows.value(baId)))
        sName = pNote->getName();
    else if (!guarded(tr("The note cannot be renamed."),
                      [&] { sName = fromUtf8(pStore->getNoteName(toUuid(baId))); }))
        return;
    renameStoredNote(baId, sName);
}

void MainWnd::renameStoredNote(const QByteArray &baId, const QString &sOld) {
    if (!pStore || vaultInUse())
        return;
    const QString sNew = RenameNoteDlg::getName(sOld, this);
    // The dialog ran an event loop of its own: the vault may have gone.
    if (!pStore || vaultInUse() || sNew.isEmpty() || sNew == sOld)
        return;
    storeRename(baId, sOld, sNew);
}

void MainWnd::retryRename(const QByteArray &baId, const QString &sName) {
    QString sOld;
    if (pStore && !vaultInUse() && guarded(tr("The note cannot be renamed."), [&] {
            sOld = fromUtf8(pStore->getNoteName(toUuid(baId)));
        }))
        storeRename(baId, sOld, sName);
}

void MainWnd::storeRename(const QByteArray &baId, const QString &sOld, const QString &sNew) {
    // The store first: a name it refused must not show in the window.
    if (guarded(tr("The note '%1' cannot be renamed.").arg(sOld),
                [&] { pStore->renameNote(toUuid(baId), toUtf8(sNew)); })) {
        if (NoteWidget *pNote = editorOf(hNoteWindows.value(baId)))
            pNote->setName(sNew);
    }
    resetTree();
}

void MainWnd::about() {
    AboutDlg dialog(this);
    dialog.exec();
}

void MainWnd::checkForUpdates() {
    if (pCheckReply)
        return;
    if (!pNetMgr)
        pNetMgr = new QNetworkAccessManager(this);
    QSettings().setValue(SettingsKey::kLastUpdateCheck, QDateTime::currentSecsSinceEpoch());
    pCheckReply = pNetMgr->get(UpdateSource::request(UpdateSource::descriptionUrl()));
    ReplyWatch::watch(pCheckReply, UpdateDescription::iMaxBytes, UpdateSource::checkTimeoutMs(),
                      ReplyWatch::Total);
    statusbar->showMessage(tr("Checking for updates..."));
    connect(pCheckReply, SIGNAL(finished()), this, SLOT(checkForUpdatesReply()));
}

void MainWnd::checkForUpdatesReply() {
    auto *pReply = qobject_cast<QNetworkReply *>(sender());
    if (!pReply)
        return;
    pReply->deleteLater();
    if (pReply == pCheckReply)
        pCheckReply = nullptr;
    try {
        const UpdateDescription description = UpdateDescription::fromReply(pReply);
        if (!description.isValid()) {
            statusbar->showMessage(tr("Update check failed: %1").arg(description.sFailure));
            return;
        }
        if (versionNumber(description.baVersion.constData()) <= versionNumber(Product::kVersion)) {
            statusbar->showMessage(tr("No update available"));
            return;
        }
        statusbar->showMessage(tr("New version available!"));
        NewVersionDlg dialog(this, QString::fromUtf8(description.baVersion),
                             description.url.toString(QUrl::FullyEncoded));
        dialog.exec();
    } catch (const std::exception &e) {
        statusbar->showMessage(tr("Update check failed: %1").arg(QString::fromUtf8(e.what())));
    } catch (...) {
        statusbar->showMessage(tr("Update check failed"));
    }
}

void MainWnd::sync() {
    if (pClient || !pStore)
        return;
    // A vault whose file went would record nothing the sync brings: it is
    // told before anything is sent.
    if (!guarded(tr("The vault cannot be synchronized."), [&] { pStore->checkWritable(); }))
        return;
    // The sync may bring another computer's version of a note open here: an
    // edit saved after it would be saved over that version and sent on as
    // the newer one. Stored first, the edit is a local change, and the sync
    // keeps both texts.
    if (!settleEditedNotes())
        return;
    if (!LoginDlg::getLogin(sRemoteUser, sRemotePass, this, &bRemember))
        return;
    // The questions and the login dialog ran event loops of their own.
    if (pClient || !pStore)
        return;
    pClient = createClient(pStore, sRemoteUser, sRemotePass, Client::SyncVault, QByteArray());
    bClientOnVault = true;
    connectClient(SLOT(syncAgain()));
    runClient(false);
}

bool MainWnd::settleEditedNotes() {
    QList<QPointer<QMdiSubWindow>> lSubs;
    for (QMdiSubWindow *pSub : pMdi->subWindowList(QMdiArea::CreationOrder))
        lSubs << pSub;
    for (const QPointer<QMdiSubWindow> &pSub : std::as_const(lSubs)) {
        NoteWidget *pNote = editorOf(pSub);
        if (!pNote || !pNote->isModified())
            continue;
        pMdi->setActiveSubWindow(pSub);
        if (!pNote->maybeSave())
            return false;
        // Discarded, as on closing: the window goes with its text.
        if (pNote->isModified()) {
            pNote->setModified(false);
            pSub->close();
        }
    }
    return true;
}

void MainWnd::syncAgain() {
    retryLogin([this] { sync(); });
}

void MainWnd::importVault() {
    if (pClient)
        return;
    if (!LoginDlg::getLogin(sRemoteUser, sRemotePass, this, &bRemember) || pClient)
        return;
    // The listing needs no vault: the one open may be replaced meanwhile.
    pClient = createClient(nullptr, sRemoteUser, sRemotePass, Client::ListVaults, QByteArray());
    bClientOnVault = false;
    connect(pClient, SIGNAL(gotVaultList(VaultInfoList)), this, SLOT(importVault(VaultInfoList)));
    connectClient(SLOT(importVaultAgain()));
    runClient(true);
}

void MainWnd::importVaultAgain() {
    retryLogin([this] { importVault(); });
}

void MainWnd::importVault(const VaultInfoList &lInfo) {
    QByteArray baId;
    QString sName;
    QString sPass;
    {
        ImportDlg dialog(lInfo, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        dialog.getSelection(baId, sName, sPass);
    }
    // The name comes from the server: it proposes a file in the documents
    // folder, never one elsewhere.
    sName.replace('/', '_').replace('\\', '_');
    QString sPath = QFileDialog::getSaveFileName(this, tr("Pelimund - Open"),
                                                 documentsLocation() + "/" + sName + ".vault",
                                                 tr("Pelimunds (*.vault);;All Files (*)"));
    if (sPath.isEmpty())
        return;
    // The file dialog asked about the path chosen, not about the one made here.
    const bool bExtended = !sPath.endsWith(".vault");
    if (bExtended)
        sPath += ".vault";
    if (!createVault(sPath, sPass, bExtended))
        return;
    // The listing client may still be finishing: its done() reaches
    // clientDone through the event loop, which then starts the download.
    whenNoClient([this, pVault = pStore, baId] { startDownload(pVault, baId); });
}

void MainWnd::startDownload(const NoteStore *pVault, const QByteArray &baId) {
    if (pClient || !pStore || pStore != pVault)
        return;
    pClient = createClient(pStore, sRemoteUser, sRemotePass, Client::DownloadVault, baId);
    bClientOnVault = true;
    connectClient(SLOT(importVaultAgain()));
    runClient(false);
}

void MainWnd::clientDone() {
    if (!pClient)
        return;
    Client *pDone = std::exchange(pClient, nullptr);
    const bool bOnVault = std::exchange(bClientOnVault, false);
    pDone->wait();
    delete pDone;
    // A listing has not touched the open vault, and a refused login is not
    // worth remembering.
    const bool bRefused = std::exchange(bLoginRefused, false);
    if (bOnVault && !bRefused)
        rememberLogin();
    if (std::exchange(bClientChangedVault, false))
        vaultChanged();
    // After the client's dialog has seen its done() too, so that it can go.
    if (fAfterClient)
        QTimer::singleShot(0, this, std::exchange(fAfterClient, nullptr));
}

void MainWnd::clientError(const QString &sMsg) {
    QMessageBox box(QMessageBox::Critical, tr("Pelimund - Cloud Error"), sMsg, QMessageBox::Ok,
                    this);
    // Texts from the server come escaped; the quota message carries a link.
    box.setTextFormat(Qt::RichText);
    box.exec();
}

Client *MainWnd::createClient(NoteStore *pVault, const QString &sUser, const QString &sPass,
                              int iOperation, const QByteArray &baVaultId) {
    return new Client(pVault, sUser, sPass, iOperation, baVaultId);
}

bool MainWnd::vaultInUse() const {
    return pClient && bClientOnVault;
}

void MainWnd::connectClient(const char *sRetrySlot) {
    connect(pClient, SIGNAL(done()), this, SLOT(clientDone()));
    connect(pClient, SIGNAL(error(QString)), this, SLOT(clientError(QString)));
    connect(pClient, SIGNAL(badLogin()), this, sRetrySlot);
    // A listing leaves the open vault alone.
    if (bClientOnVault)
        connect(pClient, SIGNAL(vaultChanged()), this, SLOT(vaultChanged()));
}

void MainWnd::runClient(bool bAutoDone) {
    // An edit still open in the note list commits now, not under the client.
    if (QWidget *pFocus = QApplication::focusWidget())
        pFocus->clearFocus();
    // The dialog of a client before (a refused login) has done its work.
    if (pSyncDlg)
        pSyncDlg->close();
    pSyncDlg = new SyncDlg(pClient, bAutoDone, this);
    pSyncDlg->show();
    pClient->start();
}

void MainWnd::whenNoClient(std::function<void()> f) {
    if (pClient)
        fAfterClient = std::move(f);
    else
        f();
}

void MainWnd::retryLogin(const std::function<void()> &fRetry) {
    bLoginRefused = true;
    // The question's event loop lets the refused client's done() through.
    if (QMessageBox::critical(this, tr("Pelimund - Error"),
                              tr("Couldn't connect to cloud: Invalid credentials\n\nTry again?"),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::No)
        return;
    sRemotePass.clear();
    whenNoClient(fRetry);
}

void MainWnd::rememberLogin() {
    if (!pStore || !bRemember)
        return;
    guarded(tr("The cloud login cannot be remembered in the vault."), [&] {
        const std::pair<const char *, const QString *> aLogin[] = {{"remoteUser", &sRemoteUser},
                                                                   {"remotePass", &sRemotePass}};
        for (const auto &[sKey, pValue] : aLogin) {
            const QByteArray baValue = pValue->toUtf8();
            const auto *pHeld = dynamic_cast<const Vrel::String *>(pStore->getHeader(sKey));
            if (!pHeld || QByteArray(*pHeld) != baValue)
                pStore->setHeader(sKey, new Vrel::String(baValue));
        }
    });
}

bool MainWnd::eventFilter(QObject *pWatched, QEvent *pEvent) {
    if (pEvent->type() == QEvent::WindowTitleChange || pEvent->type() == QEvent::ModifiedChange)
        escapeTabTextsLater();
    return QMainWindow::eventFilter(pWatched, pEvent);
}

void MainWnd::escapeTabTexts() {
    auto *pTabs = pMdi->findChild<QTabBar *>(QString(), Qt::FindDirectChildrenOnly);
    // The area keeps its tabs in the order of its windows' list.
    const QList<QMdiSubWindow *> lSubs = pMdi->subWindowList(QMdiArea::CreationOrder);
    if (!pTabs || pMdi->viewMode() != QMdiArea::TabbedView || pTabs->count() != lSubs.size())
        return;
    for (int i = 0; i < lSubs.size(); ++i) {
        // The note's name as it is: a "[*]" in it is no modified mark.
        const NoteWidget *pNote = editorOf(lSubs.at(i));
        const QString sName = pNote ? pNote->getName() : lSubs.at(i)->windowTitle();
        pTabs->setTabText(i, menuText(sName) + (lSubs.at(i)->isWindowModified() ? "*" : ""));
    }
}

void MainWnd::escapeTabTextsLater() {
    QTimer::singleShot(0, this, [this] { escapeTabTexts(); });
}

QMdiSubWindow *MainWnd::currentNoteWindow() const {
    // The current window rather than the active one: it stays known while
    // the application is not the active one.
    if (QMdiSubWindow *pSub = pMdi->currentSubWindow())
        return pSub;
    const QList<QMdiSubWindow *> lSubs = pMdi->subWindowList();
    return lSubs.isEmpty() ? nullptr : lSubs.first();
}

NoteWidget *MainWnd::editorOf(QMdiSubWindow *pSub) {
    return pSub ? qobject_cast<NoteWidget *>(pSub->widget()) : nullptr;
}

QMdiSubWindow *MainWnd::windowOf(const NoteWidget *pNote) const {
    for (QMdiSubWindow *pSub : hNoteWindows) {
        if (pSub->widget() == pNote)
            return pSub;
    }
    return nullptr;
}

QByteArray MainWnd::noteIdOf(const QObject *pSub) {
    return pSub->property("noteId").toByteArray();
}

void MainWnd::setNoteWindowActions(bool bEnabled) {
    for (QAction *pAction : {actionSaveNote, actionSaveAllNotes, actionRenameNote, actionDeleteNote,
                             actionNoteProperties, actionExportNote})
        pAction->setEnabled(bEnabled);
}

bool MainWnd::guarded(const QString &sWhat, const std::function<void()> &f) {
    for (;;) {
        try {
            f();
            return true;
        } catch (const std::exception &e) {
            // A new vault refused as it is made has nothing to save elsewhere.
            if (!NoteStore::isRefusedHere(e) || !pStore) {
                reportFailure(sWhat, failureDetails(e));
                return false;
            }
            if (!rescueVault(e))
                return false;
        } catch (...) {
            reportFailure(sWhat, QString());
            return false;
        }
    }
}

QString MainWnd::blockedJournalText(const std::exception &e) {
    const QString sJournal =
        QString::fromLocal8Bit(e.what() + std::strlen(NoteStore::kJournalBlocked));
    return tr("The file %1 stands where the vault keeps its journal, but it is not the vault's "
              "journal (another user may have put it there), and Pelimund cannot remove it.")
        .arg(sJournal);
}

QString MainWnd::failureDetails(const std::exception &e) {
    if (NoteStore::isJournalBlocked(e))
        return blockedJournalText(e) + ' ' +
               tr("Have that file removed, or keep the vault in a folder of your own.");
    return QString::fromUtf8(e.what());
}

bool MainWnd::rescueVault(const std::exception &eRefusal) {
    if (!pStore || vaultInUse())
        return false;
    const QString sPath = openVaultPath();
    const QString sText =
        NoteStore::isJournalBlocked(eRefusal)
            ? blockedJournalText(eRefusal) +
                  tr(" Nothing was saved.\n\nHave that file removed, or, to keep the notes open "
                     "here, save the vault as a new file in a folder of your own.")
            : tr("The vault file %1 was moved, replaced or deleted by another program since "
                 "the vault was opened. Nothing was saved.\n\nTo keep the notes open "
                 "here, save the vault as a new file.")
                  .arg(sPath);
    QMessageBox box(QMessageBox::Critical, tr("Pelimund"), sText, QMessageBox::Cancel, this);
    QPushButton *pSaveAs = box.addButton(tr("Save Vault As..."), QMessageBox::AcceptRole);
    box.setDefaultButton(pSaveAs);
    box.exec();
    // The box and the dialogs run event loops of their own: the vault may
    // have gone meanwhile.
    if (box.clickedButton() != pSaveAs || !pStore || vaultInUse())
        return false;
    const QFileInfo info(sPath);
    const QString sTarget =
        NewVaultDlg::askPath(this, tr("Pelimund - Save Vault As"),
                             info.exists() ? info.absolutePath() : sPath, QString());
    if (sTarget.isEmpty() || !pStore || vaultInUse())
        return false;
    std::unique_ptr<NoteStore> pCopy;
    if (!guarded(tr("The vault cannot be saved as %1. The notes stay open here with their text.")
                     .arg(sTarget),
                 [&] { pCopy = pStore->saveCopyAs(toLocalPath(sTarget)); }))
        return false;
    // The copy holds the same notes under the same ids: the note windows
    // stay as they are.
    const std::unique_ptr<NoteStore> pOld(std::exchange(pStore, pCopy.release()));
    resetTree();
    addRecentDocument(sTarget);
    ++iRescues;
    return true;
}

void MainWnd::reportFailure(const QString &sWhat, const QString &sDetails) {
    QString sText = sWhat;
    if (!sDetails.isEmpty())
        sText += tr("\n\nDetails: ") + sDetails;
    QMessageBox::critical(this, tr("Pelimund"), sText);
}
