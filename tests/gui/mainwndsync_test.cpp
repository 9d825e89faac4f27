// MainWnd's cloud commands against the real test sync server on loopback:
// sync with login, retry after a refused login, server failures in the
// error box, the import of a remote vault into a new file, the remembered
// login, and nothing reaching the vault while a client works on it.
#include "gui/importdlg.h"
#include "gui/logindlg.h"
#include "gui/mainwnd.h"
#include "gui/notewidgethtml.h"
#include "gui/settingskeys.h"
#include "gui/syncdlg.h"
#include "gui/vaulttreeview.h"
#include "ka/uuid.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "support/guitest.h"
#include "sync/client.h"
#include "syncserver.h"
#include "vrel/vrel.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QWizard>

#include <memory>

namespace {

const char *const kUser = "ada";
const char *const kPass = "lovelace";

// A client of the window, aimed at the test server.
class ServerClient : public Client {
public:
    ServerClient(NoteStore *pStore, const QString &sUser, const QString &sPass, int iOperation,
                 const QByteArray &baVaultId, int iPort, int iTimeout)
        : Client(pStore, sUser, sPass, iOperation, baVaultId) {
        setServer(QStringLiteral("127.0.0.1"), iPort);
        setTimeout(iTimeout);
    }
};

// The main window with its clients aimed at the test server. With
// pHoldListing set, a listing client, once it has sent its list, waits
// on its thread until the semaphore is released.
class ServerWnd : public MainWnd {
public:
    explicit ServerWnd(int iPort) : MainWnd(QString()), iPort(iPort) {}

    int iTimeout = 5;
    QSemaphore *pHoldListing = nullptr;

protected:
    Client *createClient(NoteStore *pVault, const QString &sUser, const QString &sPass,
                         int iOperation, const QByteArray &baVaultId) override {
        auto *pClient =
            new ServerClient(pVault, sUser, sPass, iOperation, baVaultId, iPort, iTimeout);
        if (iOperation == Client::ListVaults && pHoldListing) {
            QObject::connect(
                pClient, &Client::operationText, pClient,
                [pHold = pHoldListing](const QString &sText) {
                    if (sText == "Completed")
                        pHold->tryAcquire(1, 10000);
                },
                Qt::DirectConnection);
        }
        return pClient;
    }

private:
    int iPort;
};

// What a modal dialog showed.
struct Seen {
    QString sTitle;
    QString sText;
    QStringList lMore;
};

// Answers the next login dialog with the password (and the user name when
// given), recording the user name it showed and where the focus was.
void answerLogin(const QString &sPass, Seen *pSeen = nullptr, const QString &sUser = QString()) {
    GuiTest::answerModalWhere([](QWidget *p) { return qobject_cast<LoginDlg *>(p); },
                              [=](QWidget *pModal) {
                                  auto *pLogin = static_cast<LoginDlg *>(pModal);
                                  if (pSeen) {
                                      pSeen->sText = pLogin->leUsername->text();
                                      QWidget *pFocus = pLogin->focusWidget();
                                      pSeen->lMore << (pFocus ? pFocus->objectName() : "none");
                                  }
                                  if (!sUser.isEmpty())
                                      pLogin->leUsername->setText(sUser);
                                  pLogin->lePassword->setText(sPass);
                                  pLogin->accept();
                              });
}

// Answers the next message box whose text contains sPart with the button.
void answerBox(const QString &sPart, QMessageBox::StandardButton eButton, Seen *pSeen = nullptr) {
    GuiTest::answerModalWhere(
        [sPart](QWidget *p) {
            auto *pBox = qobject_cast<QMessageBox *>(p);
            return pBox && pBox->text().contains(sPart);
        },
        [=](QWidget *pModal) {
            auto *pBox = static_cast<QMessageBox *>(pModal);
            if (pSeen) {
                pSeen->sTitle = pBox->windowTitle();
                pSeen->sText = pBox->text();
                pSeen->lMore << QString::number(pBox->icon())
                             << QString::number(pBox->textFormat());
            }
            pBox->button(eButton)->click();
        });
}

// Picks the remote vault sName in the import dialog with the password.
void answerImport(const QString &sName, const QString &sPass) {
    GuiTest::answerModalWhere([](QWidget *p) { return qobject_cast<ImportDlg *>(p); },
                              [=](QWidget *pModal) {
                                  auto *pImport = static_cast<ImportDlg *>(pModal);
                                  const auto lFound =
                                      pImport->twVaults->findItems(sName, Qt::MatchExactly);
                                  if (!lFound.isEmpty())
                                      pImport->twVaults->selectRow(lFound.first()->row());
                                  QTest::keyClicks(pImport->lePassword, sPass);
                                  pImport->buttonBox->button(QDialogButtonBox::Ok)->click();
                              });
}

// Accepts the next file dialog with sPath, recording its title and the
// file it proposed.
void answerSave(const QString &sPath, Seen *pSeen) {
    GuiTest::answerModalWhere([](QWidget *p) { return qobject_cast<QFileDialog *>(p); },
                              [=](QWidget *pModal) {
                                  auto *pDialog = static_cast<QFileDialog *>(pModal);
                                  pSeen->sTitle = pDialog->windowTitle();
                                  pSeen->sText = pDialog->selectedFiles().value(0);
                                  pSeen->lMore = pDialog->nameFilters();
                                  pDialog->selectFile(sPath);
                                  static_cast<QDialog *>(pDialog)->accept();
                              });
}

} // namespace

class MainWndSyncTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> pDir;
    std::unique_ptr<testserver::SyncServer> pServer;
    std::unique_ptr<ServerWnd> pWnd;

    QString path(const QString &sName) const { return pDir->filePath(sName); }

    // A window on no vault and with no dialog at start.
    ServerWnd *plainWindow() {
        QSettings().setValue(SettingsKey::kRecentList, QStringList{"elsewhere.vault"});
        QSettings().setValue(SettingsKey::kUseWelcomeDlg, false);
        pWnd = std::make_unique<ServerWnd>(pServer->getPort());
        pWnd->show();
        return pWnd.get();
    }
    // A window on a new vault sName (password "pw") with notes of the
    // names given, each holding "<name> text".
    ServerWnd *windowWithNotes(const QString &sName, const QStringList &lNotes) {
        plainWindow()->newVault(path(sName), "pw");
        for (const QString &sNote : lNotes)
            pWnd->newNote(sNote, "html", (sNote + " text").toUtf8());
        return pWnd.get();
    }
    // A window on "Recipes.vault" (notes "Soup" and "Bread"), synced to the
    // server as the remote vault "Recipes".
    void syncedRecipes() {
        windowWithNotes("Recipes.vault", {"Soup", "Bread"});
        answerLogin(kPass, nullptr, kUser);
        action("actionSync")->trigger();
        QVERIFY(clientGone());
    }
    NoteStore *store() const { return pWnd->pStore; }
    QMdiArea *mdi() const { return pWnd->findChild<QMdiArea *>(); }
    NoteWidgetHtml *editor() const {
        QMdiSubWindow *pSub = mdi()->currentSubWindow();
        return pSub ? qobject_cast<NoteWidgetHtml *>(pSub->widget()) : nullptr;
    }
    QStringList listedNames() const {
        QStringList lNames;
        const QAbstractItemModel *pModel = pWnd->findChild<VaultTreeView *>("tvNote")->model();
        for (int i = 0; i < pModel->rowCount(); ++i)
            lNames << pModel->index(i, 0).data().toString();
        lNames.sort();
        return lNames;
    }
    QByteArray idOf(const QString &sName) const {
        const QAbstractItemModel *pModel = pWnd->findChild<VaultTreeView *>("tvNote")->model();
        for (int i = 0; i < pModel->rowCount(); ++i) {
            if (pModel->index(i, 0).data().toString() == sName)
                return pModel->index(i, 0).data(Qt::UserRole).toByteArray();
        }
        return QByteArray();
    }
    QString noteText(const QString &sName) {
        pWnd->openNote(idOf(sName));
        return editor() ? editor()->teNote->toPlainText() : QString("(no window)");
    }
    QAction *action(const char *sName) const { return pWnd->findChild<QAction *>(sName); }
    // Starts a sync with the login held already.
    void startSync() {
        action("actionSync")->trigger();
        QVERIFY(pWnd->pClient);
    }
    // Waits until no client runs and every progress dialog has gone.
    bool clientGone() const {
        return GuiTest::waitFor(
            [&] { return !pWnd->pClient && pWnd->findChildren<SyncDlg *>().isEmpty(); });
    }
    // The notes of the user's remote vault of that name.
    int remoteNoteCount(const QByteArray &baName) const {
        int iCount = -1;
        for (const testserver::RemoteVault &vault : pServer->vaultsOf(kUser)) {
            if (vault.baName != baName)
                continue;
            iCount = 0;
            for (const auto &[baId, note] : vault.hNotes)
                iCount += !note.bDeleted;
        }
        return iCount;
    }
    // Runs one client of the test server on pVault to its end.
    void runWith(NoteStore *pVault, int iOperation, const QByteArray &baVaultId = QByteArray()) {
        ServerClient client(pVault, kUser, kPass, iOperation, baVaultId, pServer->getPort(), 5);
        client.start();
        client.wait();
    }
    // A second copy of the open vault's remote vault, downloaded into a
    // vault file of its own, as another machine would hold it.
    std::unique_ptr<NoteStore> otherCopy() {
        auto pOther =
            std::make_unique<NoteStore>(Ka::String(path("other.vault").toUtf8()), Ka::String("pw"));
        runWith(pOther.get(), Client::DownloadVault, header("syncId"));
        return pOther;
    }
    QByteArray header(const char *sKey) const {
        const auto *pValue = dynamic_cast<const Vrel::String *>(store()->getHeader(sKey));
        return pValue ? QByteArray(*pValue) : QByteArray("(none)");
    }
    bool allSynced() const {
        for (auto it = store()->getNotes().begin(); it.isValid(); ++it) {
            if (it.getValue().bChanged)
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() { qRegisterMetaType<VaultInfoList>("VaultInfoList"); }

    void init() {
        GuiTest::clearSettings();
        QSettings().setValue(SettingsKey::kSyncAutoClose, true);
        pDir = std::make_unique<QTemporaryDir>();
        pServer = std::make_unique<testserver::SyncServer>(path("server").toStdString());
        pServer->setUser(kUser, kPass);
    }

    void cleanup() {
        if (pWnd) {
            for (QMdiSubWindow *pSub : mdi()->subWindowList())
                qobject_cast<NoteWidget *>(pSub->widget())->setModified(false);
        }
        pWnd.reset();
        pServer.reset();
        QCOMPARE(GuiTest::pendingAnswers(), 0);
    }

    // The first sync asks for the login, sends every note and shows its
    // progress until the user closes it; the login is then held, and not
    // written to the vault, which nobody asked for.
    void syncSendsTheNotes() {
        QSettings().setValue(SettingsKey::kSyncAutoClose, false);
        windowWithNotes("Travel.vault", {"Packing", "Route"});
        answerLogin(kPass, nullptr, kUser);
        action("actionSync")->trigger();
        QVERIFY(pWnd->pClient);
        auto *pDialog = pWnd->findChild<SyncDlg *>();
        QVERIFY(pDialog && pDialog->isVisible());
        QCOMPARE(QApplication::activeModalWidget(), pDialog);
        QVERIFY(GuiTest::waitFor([&] { return !pWnd->pClient; }));
        QVERIFY(GuiTest::waitFor([&] { return pDialog->buttonBox->isEnabled(); }));
        QCOMPARE(pDialog->lStatus->text(), QString("Completed"));
        QCOMPARE(pDialog->pbSync->value(), pDialog->pbSync->maximum());
        pDialog->buttonBox->button(QDialogButtonBox::Ok)->click();
        QVERIFY(clientGone());

        QCOMPARE(remoteNoteCount("Travel"), 2);
        QVERIFY(allSynced());
        QCOMPARE(listedNames(), QStringList({"Packing", "Route"}));
        QVERIFY(mdi()->subWindowList().isEmpty());
        QCOMPARE(header("remoteUser"), QByteArray("(none)"));

        // The setting closes the next dialog by itself.
        QSettings().setValue(SettingsKey::kSyncAutoClose, true);
        pWnd->newNote("Later", "html", "later");
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(remoteNoteCount("Travel"), 3);
    }

    // A refused login asks whether to try again; Yes shows the login dialog
    // with the user name filled in and the focus on the password.
    void refusedLoginAsksAgain() {
        windowWithNotes("a.vault", {"One"});
        answerLogin("wrong", nullptr, kUser);
        Seen question;
        answerBox("Invalid credentials", QMessageBox::Yes, &question);
        Seen login;
        answerLogin(kPass, &login);
        action("actionSync")->trigger();
        QVERIFY(GuiTest::waitFor([&] { return remoteNoteCount("a") == 1; }));
        QVERIFY(clientGone());
        QCOMPARE(question.sTitle, QString("Pelimund - Error"));
        QCOMPARE(question.sText, QString("Couldn't connect to cloud: Invalid credentials\n\n"
                                         "Try again?"));
        QCOMPARE(question.lMore.value(0), QString::number(QMessageBox::Critical));
        QCOMPARE(login.sText, QString(kUser));
        QCOMPARE(login.lMore, QStringList{"lePassword"});

        // No ends it quietly.
        pServer->setUser(kUser, "changed");
        answerBox("Invalid credentials", QMessageBox::No);
        startSync();
        QVERIFY(clientGone());
    }

    // Whatever goes wrong on the server ends in the cloud error box within
    // the time-out; the vault stays whole, opens again, and the next sync
    // completes what the cut one left.
    void failuresEndInTheErrorBox_data() {
        QTest::addColumn<int>("iKind");
        QTest::addColumn<QByteArray>("baOn");
        QTest::addColumn<QString>("sError");
        using Kind = testserver::Faults::Kind;
        QTest::newRow("drop") << int(Kind::Drop) << QByteArray("store")
                              << "Error communicating with server.";
        QTest::newRow("drop mid answer") << int(Kind::DropMidAnswer) << QByteArray("since")
                                         << "Error communicating with server.";
        QTest::newRow("stall") << int(Kind::Stall) << QByteArray("store")
                               << "Error communicating with server.";
        QTest::newRow("garbage") << int(Kind::Garbage) << QByteArray("load")
                                 << "Error communicating with server.";
        QTest::newRow("wrong kind")
            << int(Kind::WrongKind) << QByteArray("since") << "Error communicating with server.";
    }
    void failuresEndInTheErrorBox() {
        QFETCH(int, iKind);
        QFETCH(QByteArray, baOn);
        QFETCH(QString, sError);
        windowWithNotes("cut.vault", {"A", "B", "C"});
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        startSync();
        QVERIFY(clientGone());
        // Work on both sides: another copy changes the remote vault, this
        // one adds notes.
        {
            std::unique_ptr<NoteStore> pOther = otherCopy();
            Vrel::Dictionary content;
            content.insert("data", "from the other copy");
            pOther->createNote(Ka::Uuid::generate(), "Other", "html", &content);
            runWith(pOther.get(), Client::SyncVault);
        }
        pWnd->newNote("D", "html", "D text");
        pWnd->newNote("E", "html", "E text");

        testserver::Faults faults;
        faults.eKind = testserver::Faults::Kind(iKind);
        faults.baOn = baOn;
        faults.iAt = 1;
        faults.iStallMillis = 3000;
        pServer->setFaults(faults);
        pWnd->iTimeout = 1;
        Seen error;
        answerBox(sError, QMessageBox::Ok, &error);
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(error.sTitle, QString("Pelimund - Cloud Error"));
        QCOMPARE(error.lMore, QStringList({QString::number(QMessageBox::Critical),
                                           QString::number(Qt::RichText)}));

        pServer->setFaults(testserver::Faults());
        pWnd->iTimeout = 5;
        QVERIFY(pWnd->openVault(path("cut.vault"), "pw"));
        QVERIFY(listedNames().size() >= 5);
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(listedNames(), QStringList({"A", "B", "C", "D", "E", "Other"}));
        QCOMPARE(noteText("Other"), QString("from the other copy"));
        QCOMPARE(remoteNoteCount("cut"), 6);
        QVERIFY(allSynced());
    }

    // A text the server sends is shown as it is, not as markup.
    void serverTextInTheErrorBox() {
        windowWithNotes("a.vault", {"One"});
        testserver::Faults faults;
        faults.baHelloError = "Closed for <b>maintenance</b>";
        pServer->setFaults(faults);
        Seen error;
        answerBox("maintenance", QMessageBox::Ok, &error);
        answerLogin(kPass, nullptr, kUser);
        action("actionSync")->trigger();
        QVERIFY(clientGone());
        QCOMPARE(error.sText, QString("Closed for &lt;b&gt;maintenance&lt;/b&gt;"));
        QCOMPARE(error.sTitle, QString("Pelimund - Cloud Error"));
    }

    // Import: the remote vault is listed, chosen, saved under a name ending
    // in ".vault" (the test is case-sensitive), downloaded, and opens with
    // the password of the vault it came from.
    void importVault_data() {
        QTest::addColumn<QString>("sAnswer");
        QTest::addColumn<QString>("sFile");
        QTest::newRow("no suffix") << "copy"
                                   << "copy.vault";
        QTest::newRow("suffix") << "copy.vault"
                                << "copy.vault";
        QTest::newRow("upper-case suffix") << "copy.VAULT"
                                           << "copy.VAULT.vault";
    }
    void importVault() {
        QFETCH(QString, sAnswer);
        QFETCH(QString, sFile);
        syncedRecipes();
        pWnd->newVault(path("unrelated.vault"), "other");
        QVERIFY(store());

        answerImport("Recipes", "pw");
        Seen save;
        answerSave(path(sAnswer), &save);
        action("actionImportVault")->trigger();
        QVERIFY(GuiTest::waitFor([&] { return listedNames().size() == 2; }));
        QVERIFY(clientGone());
        QCOMPARE(save.sTitle, QString("Pelimund - Open"));
        QCOMPARE(QFileInfo(save.sText).fileName(), QString("Recipes.vault"));
        QCOMPARE(save.lMore.value(0), QString("Pelimunds (*.vault)"));
        QCOMPARE(QString::fromUtf8(store()->getFileName().getConstStr()), path(sFile));
        QCOMPARE(listedNames(), QStringList({"Bread", "Soup"}));

        QVERIFY(pWnd->openVault(path("unrelated.vault"), "other"));
        QVERIFY(pWnd->openVault(path(sFile), "pw"));
        QCOMPARE(noteText("Soup"), QString("Soup text"));
    }

    // A name that ".vault" was added to after the save dialog names a file
    // the user never confirmed: replacing it is asked; No keeps it byte for
    // byte and the vault that was open, Yes downloads into its place.
    void importAsksBeforeReplacing() {
        syncedRecipes();
        pWnd->newVault(path("copy.vault"), "other");
        pWnd->newNote("Mine", "html");
        const QByteArray baBefore = GuiTest::fileBytes(path("copy.vault"));
        for (auto eAnswer : {QMessageBox::No, QMessageBox::Yes}) {
            answerImport("Recipes", "pw");
            Seen save;
            answerSave(path("copy"), &save);
            answerBox(QDir::toNativeSeparators(path("copy.vault")), eAnswer);
            action("actionImportVault")->trigger();
            QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
            if (eAnswer == QMessageBox::No) {
                QVERIFY(clientGone());
                QCOMPARE(listedNames(), QStringList{"Mine"});
                QCOMPARE(GuiTest::fileBytes(path("copy.vault")), baBefore);
            }
        }
        QVERIFY(GuiTest::waitFor([&] { return listedNames().size() == 2; }));
        QVERIFY(clientGone());
        QCOMPARE(listedNames(), QStringList({"Bread", "Soup"}));
    }

    // A listing whose login is refused asks again too; the import then goes
    // its way.
    void importAfterRefusedLogin() {
        syncedRecipes();
        pWnd->sRemotePass.clear();

        answerLogin("wrong");
        answerBox("Invalid credentials", QMessageBox::Yes);
        answerLogin(kPass);
        answerImport("Recipes", "pw");
        Seen save;
        answerSave(path("again"), &save);
        action("actionImportVault")->trigger();
        QVERIFY(GuiTest::waitFor([&] {
            return store() &&
                   QString::fromUtf8(store()->getFileName().getConstStr()) == path("again.vault");
        }));
        QVERIFY(GuiTest::waitFor([&] { return listedNames().size() == 2; }));
        QVERIFY(clientGone());
        QCOMPARE(listedNames(), QStringList({"Bread", "Soup"}));
    }

    // The wizard's import mode lists the vaults; the download starts only
    // once the listing client is gone, without the window waiting for it.
    void importWaitsForTheListing() {
        syncedRecipes();

        QSemaphore hold;
        pWnd->pHoldListing = &hold;
        GuiTest::answerModalWhere([](QWidget *p) { return qobject_cast<QWizard *>(p); },
                                  [](QWidget *pModal) {
                                      auto *pWizard = static_cast<QWizard *>(pModal);
                                      pWizard->findChild<QRadioButton *>("rbImport")->click();
                                      pWizard->button(QWizard::FinishButton)->click();
                                  });
        answerImport("Recipes", "pw");
        Seen save;
        answerSave(path("copy"), &save);
        pWnd->newVaultWizard();
        QVERIFY(GuiTest::waitFor([&] {
            return store() &&
                   QString::fromUtf8(store()->getFileName().getConstStr()) == path("copy.vault");
        }));
        // The new vault is open, its download waits for the listing client.
        QVERIFY(pWnd->pClient);
        QVERIFY(!pWnd->vaultInUse());
        QVERIFY(listedNames().isEmpty());
        hold.release();
        QVERIFY(GuiTest::waitFor([&] { return listedNames().size() == 2; }));
        QVERIFY(clientGone());
        QCOMPARE(noteText("Bread"), QString("Bread text"));
    }

    // The wizard's remembered login is written to the vault after the sync,
    // again only when it changed; the vault then syncs without asking.
    void rememberedLogin() {
        GuiTest::answerModalWhere(
            [](QWidget *p) { return qobject_cast<QWizard *>(p); },
            [this](QWidget *pModal) {
                auto *pWizard = static_cast<QWizard *>(pModal);
                pWizard->findChild<QLineEdit *>("leVaultName")->setText("Kept");
                pWizard->setField("vaultLocation", pDir->path());
                pWizard->next();
                pWizard->currentPage()->findChild<QLineEdit *>("lePassword")->setText("pw");
                pWizard->currentPage()->findChild<QLineEdit *>("leVerify")->setText("pw");
                pWizard->next();
                pWizard->currentPage()->findChild<QLineEdit *>("leNoteName")->setText("First");
                pWizard->next();
                pWizard->setField("enableSync", true);
                pWizard->setField("syncUser", kUser);
                pWizard->setField("syncPass", kPass);
                pWizard->setField("syncRemember", true);
                pWizard->button(QWizard::FinishButton)->click();
            });
        plainWindow()->newVaultWizard();
        QVERIFY(clientGone());
        QCOMPARE(remoteNoteCount("Kept"), 1);
        QCOMPARE(header("remoteUser"), QByteArray(kUser));
        QCOMPARE(header("remotePass"), QByteArray(kPass));

        // Header writes of the GUI thread (the client's are on its own).
        int iGuiWrites = 0;
        const QMetaObject::Connection counting = connect(
            store(), &NoteStore::headerChanged, this,
            [&] { iGuiWrites += QThread::currentThread() == qApp->thread(); },
            Qt::DirectConnection);
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(iGuiWrites, 0);

        pServer->setUser(kUser, "renewed");
        answerBox("Invalid credentials", QMessageBox::Yes);
        answerLogin("renewed");
        startSync();
        QVERIFY(GuiTest::waitFor([&] { return header("remotePass") == "renewed"; }));
        QVERIFY(clientGone());
        QCOMPARE(iGuiWrites, 1);
        disconnect(counting);

        // Opening the vault brings its login back: no login dialog.
        pWnd->sRemotePass.clear();
        QVERIFY(pWnd->openVault(path("Kept.vault"), "pw"));
        startSync();
        QVERIFY(clientGone());
    }

    // While the client works, the idle close and the window's close wait;
    // the vault closes once the client is done.
    void idleCloseWaitsForTheClient() {
        windowWithNotes("idle.vault", {"One"});
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        Seen idle;
        answerBox("inactivity", QMessageBox::Ok, &idle);
        startSync();
        pWnd->forget();
        QVERIFY(store());
        QVERIFY(!pWnd->close());
        QVERIFY(GuiTest::waitFor([&] { return !store(); }));
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(!pWnd->pClient);
        QCOMPARE(idle.sTitle, QString("Pelimund - Idle"));
        QCOMPARE(remoteNoteCount("idle"), 1);
        QVERIFY(pWnd->close());
    }

    // While the client works, saves are refused and the text stays in its
    // window; afterwards the note windows close, asking first, and a note
    // the sync deleted is saved as a new note.
    void savesWaitForTheClient() {
        windowWithNotes("busy.vault", {"Doomed", "Kept"});
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        startSync();
        QVERIFY(clientGone());
        // Another copy deletes "Doomed".
        {
            std::unique_ptr<NoteStore> pOther = otherCopy();
            QVERIFY(pOther->deleteNote(Ka::Uuid(toKaString(idOf("Doomed")))));
            runWith(pOther.get(), Client::SyncVault);
        }
        pWnd->openNote(idOf("Doomed"));

        // The change list comes late: the client surely runs meanwhile.
        testserver::Faults faults;
        faults.eKind = testserver::Faults::Kind::Stall;
        faults.baOn = "since";
        faults.iAt = 1;
        faults.iStallMillis = 2000;
        pServer->setFaults(faults);
        Seen refused, anew;
        answerBox("cannot be saved while", QMessageBox::Ok, &refused);
        answerBox("has changed since the last save", QMessageBox::Save);
        answerBox("no longer in the vault", QMessageBox::Ok, &anew);
        startSync();
        // Typed under the sync dialog (an edit from before would have been
        // saved before the sync began).
        editor()->teNote->textCursor().insertText("unsaved ");
        pWnd->saveAllNotes();
        QVERIFY(editor() && editor()->isModified());
        QVERIFY(clientGone());
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(refused.sText.contains("Its text is kept in its window."));
        QVERIFY(anew.sText.contains("Doomed"));
        QVERIFY(mdi()->subWindowList().isEmpty());
        QCOMPARE(listedNames(), QStringList({"Doomed", "Kept"}));
        QCOMPARE(noteText("Doomed"), QString("unsaved Doomed text"));
    }

    // An edit left unsaved in a window is asked about before the sync:
    // Cancel sends nothing; saved, it meets the other computer's change of
    // that note as a local change, and both texts are kept, here and on the
    // server.
    void unsavedEditIsSavedBeforeTheSync() {
        windowWithNotes("shop.vault", {"Groceries"});
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        startSync();
        QVERIFY(clientGone());
        std::unique_ptr<NoteStore> pOther = otherCopy();
        pWnd->openNote(idOf("Groceries"));
        editor()->teNote->textCursor().insertText("Eggs ");
        Vrel::Dictionary content;
        content.insert("data", "Groceries text Flour");
        pOther->saveNote(Ka::Uuid(toKaString(idOf("Groceries"))), &content);
        runWith(pOther.get(), Client::SyncVault);

        const int iConnections = pServer->getConnectionCount();
        answerBox("has changed since the last save", QMessageBox::Cancel);
        action("actionSync")->trigger();
        QVERIFY(!pWnd->pClient);
        QCOMPARE(pServer->getConnectionCount(), iConnections);
        QVERIFY(editor()->isModified());

        answerBox("has changed since the last save", QMessageBox::Save);
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(listedNames(), QStringList({"Groceries", "Groceries (local copy)"}));
        QCOMPARE(noteText("Groceries"), QString("Groceries text Flour"));
        QCOMPARE(noteText("Groceries (local copy)"), QString("Eggs Groceries text"));
        runWith(pOther.get(), Client::SyncVault);
        QCOMPARE(pOther->getNoteCount(), 2);
        QCOMPARE(remoteNoteCount("shop"), 2);
    }

    // An import whose password opens none of the remote vault's notes is
    // refused for the password and leaves nothing bound to it: a note
    // written afterwards never reaches it. The right password then imports
    // every note under the same name.
    void importWithAWrongPassword() {
        syncedRecipes();
        Seen save, refused;
        answerImport("Recipes", "wrong");
        answerSave(path("copy.vault"), &save);
        answerBox("password", QMessageBox::Ok, &refused);
        action("actionImportVault")->trigger();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(clientGone());
        QVERIFY(refused.sText.contains("none of its notes can be read with the password given"));
        QCOMPARE(header("syncId"), QByteArray("(none)"));
        pWnd->newNote("Stray", "html", "stray");
        startSync();
        QVERIFY(clientGone());
        QCOMPARE(remoteNoteCount("Recipes"), 2);

        answerImport("Recipes", "pw");
        answerSave(path("copy"), &save);
        answerBox(QDir::toNativeSeparators(path("copy.vault")), QMessageBox::Yes);
        action("actionImportVault")->trigger();
        QVERIFY(GuiTest::waitFor([&] { return listedNames().size() == 2; }));
        QVERIFY(clientGone());
        QCOMPARE(listedNames(), QStringList({"Bread", "Soup"}));
        QCOMPARE(noteText("Soup"), QString("Soup text"));
    }

    // A window that goes while its client works waits for the client; the
    // vault opens afterwards.
    void windowGoesDuringASync() {
        windowWithNotes("gone.vault", {"One", "Two"});
        pWnd->sRemoteUser = kUser;
        pWnd->sRemotePass = kPass;
        startSync();
        pWnd.reset();
        plainWindow();
        QVERIFY(pWnd->openVault(path("gone.vault"), "pw"));
        QCOMPARE(listedNames(), QStringList({"One", "Two"}));
    }
};

PELIMUND_GUI_TEST_MAIN(MainWndSyncTest)
#include "mainwndsync_test.moc"
