// screenshots: draws the main window with two notes, its Window and Recent
// Vaults menus, every page of the new-vault wizard, every dialog (the cloud
// login, import and progress dialogs among them), each page of the About box
// and the message boxes of a vault replaced, of a folder that cannot be, of
// a vault open elsewhere or not opened, of a vault whose file another
// program moved (with its Save Vault As dialog) and of the idle close into
// PNG files, for the documentation. The new-version dialog downloads from a
// small HTTP server of the tests on the loopback address, so that its
// progress shows real numbers.
// Run it on a real display (scripts/screenshots.sh starts one under Xvfb);
// it works in the empty home folder given, or a temporary one, so that the
// user's settings stay untouched.
#include "gui/aboutdlg.h"
#include "gui/confirmvaultreplace.h"
#include "gui/finddlg.h"
#include "gui/importdlg.h"
#include "gui/logindlg.h"
#include "gui/mainwnd.h"
#include "gui/newnotedlg.h"
#include "gui/newvaultdlg.h"
#include "gui/newvaultwiz.h"
#include "gui/newversiondlg.h"
#include "gui/notewidgethtml.h"
#include "gui/openvaultdlg.h"
#include "gui/optionsdlg.h"
#include "gui/renamenotedlg.h"
#include "gui/settingskeys.h"
#include "gui/syncdlg.h"
#include "gui/vaulttreeview.h"
#include "gui/welcomedlg.h"
#include "store/notestore.h"
#include "support/httpserver.h"
#include "sync/client.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWizard>

#include <cstdio>
#include <cstdlib>

namespace {

QString sOut;

// Lets the widget settle (layout, fonts, icons), then saves its picture.
void shoot(QWidget *pWidget, const QString &sName) {
    pWidget->show();
    pWidget->raise();
    QTest::qWait(150);
    const QString sFile = sOut + "/" + sName + ".png";
    if (!pWidget->grab().save(sFile))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sFile));
    else
        std::printf("%s\n", qPrintable(sFile));
}

// Saves the next modal widget that shows (a message box) and closes it.
void shootNextModal(const QString &sName) {
    QTimer::singleShot(500, [sName] {
        if (QWidget *pModal = QApplication::activeModalWidget()) {
            shoot(pModal, sName);
            pModal->close();
        }
    });
}

// Saves what the screen shows in the area.
void shootArea(const QRect &area, const QString &sName) {
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(
        0, area.x(), area.y(), area.width(), area.height());
    const QString sFile = sOut + "/" + sName + ".png";
    if (!picture.save(sFile))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sFile));
    else
        std::printf("%s\n", qPrintable(sFile));
}

// Opens the menu at the top left of the main window's centre and draws the
// screen around both (the menu is a window of its own).
void shootMenu(QMainWindow &rMain, QMenu *pMenu, const QString &sName) {
    const QPoint at = rMain.centralWidget()->mapToGlobal(QPoint(0, 0));
    pMenu->popup(at);
    QTest::qWait(300);
    shootArea(QRect(at, pMenu->size()).adjusted(-40, -40, 40, 40), sName);
    pMenu->close();
}

const char *const kShoppingHtml =
    "<h2>Weekend</h2>"
    "<p>Things to bring, <span style='color:#c0392b; font-weight:600;'>before Saturday</span>:</p>"
    "<ul><li>Tent and <i>two</i> sleeping bags</li><li>Stove, <u>gas</u></li>"
    "<li style='color:#1e8449;'>Maps of the valley</li></ul>"
    "<p>Route:</p><ol><li>Train to Halden</li><li>Bus 12 to the lake</li>"
    "<li>Walk the ridge (3 h)</li></ol>"
    "<table border='1' cellspacing='0' cellpadding='4'>"
    "<tr><th>Day</th><th>Distance</th><th>Camp</th></tr>"
    "<tr><td>Saturday</td><td align='right'>14 km</td><td>North shore</td></tr>"
    "<tr><td>Sunday</td><td align='right'>9 km</td><td "
    "style='background-color:#fdebd0;'>Home</td></tr></table>";

const char *const kIdeasHtml = "<p>Ideas for the garden shed: paint it <b>green</b>, fix the "
                               "door, a shelf for the pots.</p>";

// Saves what the screen shows of the given windows, side by side.
void shootScreen(const QList<QWidget *> &lWindows, const QString &sName) {
    QRect area;
    for (QWidget *pWindow : lWindows) {
        pWindow->raise();
        area |= pWindow->frameGeometry();
    }
    QTest::qWait(300);
    shootArea(area, sName);
}

// The About box, one picture per page.
void shootAbout(QWidget *pParent) {
    AboutDlg about(pParent);
    const char *const aNames[] = {"about-1-license", "about-2-notices", "about-3-wireworld"};
    for (int iPage = 0; iPage < 3; ++iPage) {
        about.tabWidget->setCurrentIndex(iPage);
        shoot(&about, aNames[iPage]);
    }
}

// The new-version dialog, then with a download under way from a server on
// the loopback address that sends 8 MiB slowly.
void shootNewVersion(QWidget *pParent) {
    HttpServer server;
    HttpServer::Reply reply;
    reply.baBody = QByteArray(8 * 1024 * 1024, 'x');
    reply.iPieceBytes = 256 * 1024;
    reply.iPieceDelayMs = 200;
    server.setReply("/pelimund/pelimund-1.00.04-setup.exe", reply);
    NewVersionDlg dialog(pParent, "1.00.04",
                         server.url("/pelimund/pelimund-1.00.04-setup.exe").toString());
    dialog.move(100, 100);
    shoot(&dialog, "newversion");
    dialog.pbUpdate->click();
    auto *pProgress = dialog.findChild<QProgressDialog *>();
    QElapsedTimer waited;
    waited.start();
    while (pProgress->value() < 1024 * 1024 && waited.elapsed() < 10000)
        QTest::qWait(50);
    // Below the dialog and as wide, so that the picture holds the two alone.
    pProgress->setGeometry(dialog.geometry().left(), dialog.frameGeometry().bottom() + 1,
                           dialog.width(), pProgress->sizeHint().height());
    shootScreen({&dialog, pProgress}, "newversion-download");
    // Closing the dialog cancels the download and deletes its file.
}

void fillNote(MainWnd &rMain, const QString &sName, const char *sHtml) {
    rMain.newNote(sName, "html");
    auto *pSub = rMain.findChild<QMdiArea *>()->currentSubWindow();
    auto *pEditor = qobject_cast<NoteWidgetHtml *>(pSub->widget());
    pEditor->teNote->setHtml(QString::fromUtf8(sHtml));
    pEditor->setModified(false);
    rMain.saveNote(pEditor);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: screenshots OUTPUT-FOLDER [EMPTY-HOME-FOLDER]\n");
        return 2;
    }
    // The pictures show paths in the home folder; a temporary one is used
    // when none is given, so that the user's own stays untouched.
    QTemporaryDir temporary;
    const QDir home(argc == 3 ? QString::fromLocal8Bit(argv[2]) : temporary.path());
    QDir(home.path()).mkpath("Documents");
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/config"), 1);
    setenv("XDG_DOCUMENTS_DIR", qPrintable(home.path() + "/Documents"), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);

    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quorvane");
    QApplication::setApplicationName("Pelimund");
    sOut = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(sOut);

    {
        // A vault used before keeps the start-up wizard away.
        QSettings().setValue(SettingsKey::kRecentList, QStringList{"Journal.vault"});
        QSettings().setValue(SettingsKey::kUseWelcomeDlg, false);
        // No update check at start: the pictures show no network's answer.
        QSettings().setValue(SettingsKey::kLastUpdateCheck, QDateTime::currentSecsSinceEpoch());
        MainWnd main(QString{});
        main.resize(1200, 720);
        main.show();
        main.newVault(home.path() + "/Documents/Journal.vault", "secret");
        fillNote(main, "Ideas", kIdeasHtml);
        fillNote(main, "Camping trip", kShoppingHtml);
        auto *pMdi = main.findChild<QMdiArea *>();
        pMdi->tileSubWindows();
        auto *pList = main.findChild<VaultTreeView *>("tvNote");
        pList->setCurrentIndex(pList->model()->index(0, 0));
        shoot(&main, "mainwnd");

        auto *pEditor = qobject_cast<NoteWidgetHtml *>(pMdi->currentSubWindow()->widget());
        pEditor->mkFindDlg();
        auto *pFind = pEditor->findChild<FindDlg *>();
        pFind->findChild<QLineEdit *>()->setText("valley");
        shoot(pFind, "find");
        pFind->close();

        NewNoteDlg newNote(&main);
        newNote.leName->setText("Shopping list");
        shoot(&newNote, "newnote");

        NewVaultDlg newVault(&main);
        newVault.lePassword1->setText("secret");
        newVault.lePassword2->setText("secret");
        shoot(&newVault, "newvault");

        OpenVaultDlg openVault(&main);
        openVault.lePassword->setText("secret");
        shoot(&openVault, "openvault");

        RenameNoteDlg rename("Camping trip", &main);
        shoot(&rename, "rename");

        LoginDlg login("anna@example.org", &main);
        login.lePassword->setText("secret");
        shoot(&login, "login");

        VaultInfoList lVaults;
        lVaults.append({"1", "Journal", 48 * 1024 + 310});
        lVaults.append({"2", "Recipes", 1536 * 1024 + 77});
        lVaults.append({"3", "Meetings & minutes", 731});
        ImportDlg import(lVaults, &main);
        import.show();
        import.twVaults->selectRow(1);
        QTest::keyClicks(import.lePassword, "secret");
        shoot(&import, "import");

        // The progress as a sync half-way through its uploads shows it; the
        // client is only the source of the signals.
        Client client(nullptr, QString(), QString(), Client::SyncVault);
        auto *pSync = new SyncDlg(&client, false, &main);
        emit client.operationText("Sending changed notes...");
        emit client.operationCount(12);
        emit client.operationStep(7);
        shoot(pSync, "sync");
        emit client.done();
        emit client.operationText("Completed");
        shoot(pSync, "sync-done");
        pSync->close();

        NewVaultWiz wizard(&main);
        wizard.show();
        shoot(&wizard, "wizard-1-intro");
        wizard.next();
        for (auto *pEdit : wizard.currentPage()->findChildren<QLineEdit *>())
            pEdit->setText("secret");
        shoot(&wizard, "wizard-2-password");
        wizard.next();
        shoot(&wizard, "wizard-3-note");
        wizard.next();
        shoot(&wizard, "wizard-4-sync");
        wizard.reject();

        QSettings().setValue(SettingsKey::kUseWelcomeDlg, true);
        OptionsDlg options(&main);
        options.sbTimeout->setValue(15);
        shoot(&options, "options-general");
        options.tabWidget->setCurrentIndex(1);
        options.rbTabs->setChecked(true);
        shoot(&options, "options-layout");
        options.reject();

        // Paths as a user's would read; the dialogs do not look at the files.
        QSettings().setValue(SettingsKey::kRecentList,
                             QStringList{"/home/anna/Journal.vault", "/home/anna/Recipes.vault",
                                         "/home/anna/Work/Meetings & minutes.vault"});
        main.resetRecentMenu();
        WelcomeDlg welcome(&main);
        welcome.show();
        QTest::keyClicks(welcome.lePassword, "secret");
        shoot(&welcome, "welcome");
        welcome.reject();

        shootMenu(main, main.findChild<QMenu *>("menuRecentVaults"), "menu-recent");
        shootMenu(main, main.findChild<QMenu *>("menuWindow"), "menu-window");
        shootMenu(main, main.findChild<QMenu *>("menuToolbars"), "menu-toolbars");

        shootAbout(&main);
        // "Update Now" closes the note windows first.
        shootNewVersion(&main);

        // A new vault over a file, a vault another program holds, one
        // opened with the wrong password, and one that is not there.
        const QString sJournal = home.path() + "/Documents/Journal.vault";
        shootNextModal("replace-vault");
        confirmVaultReplace(&main, sJournal, sJournal);
        const QString sFolder = home.path() + "/Documents/Old notes.vault";
        QDir().mkpath(sFolder);
        shootNextModal("replace-folder");
        confirmVaultReplace(&main, sFolder, sJournal);
        // A file that cannot be opened: here a link to itself, which no
        // user opens, as another user's vault would be for this one.
        const QString sShared = home.path() + "/Documents/Shared.vault";
        QFile::link(sShared, sShared);
        shootNextModal("replace-unreadable");
        confirmVaultReplace(&main, sShared, sJournal);
        QFile::remove(sShared);
        {
            const QString sRecipes = home.path() + "/Documents/Recipes.vault";
            NoteStore held(Ka::String(qPrintable(sRecipes)), Ka::String("secret"));
            shootNextModal("vault-in-use");
            main.openVault(sRecipes);
        }
        shootNextModal("open-failed");
        main.openVault(sJournal, "wrong");
        main.openVault(sJournal, "secret");
        shootNextModal("missing-file");
        main.openVault(home.path() + "/Documents/Moved.vault", "secret");

        // Another program moves the open vault's file away: the next change
        // offers to save the vault as a new file, in a file dialog of its
        // own. The file comes back for the idle close.
        QFile::rename(sJournal, sJournal + ".moved");
        QTimer::singleShot(500, [] {
            auto *pBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            shoot(pBox, "vault-moved");
            shootNextModal("save-vault-as");
            for (QAbstractButton *pButton : pBox->buttons())
                if (pButton->text() == "Save Vault As...")
                    pButton->click();
        });
        main.newNote("Shopping list", "html");
        QFile::rename(sJournal + ".moved", sJournal);

        // A folder where the vault keeps its journal, as another user's file
        // in a shared folder would be: a save is refused in a box that names
        // it, and the note keeps its unsaved mark (its title's "*")
        // meanwhile.
        fillNote(main, "Packing list", kShoppingHtml);
        QMdiSubWindow *pPackingSub = pMdi->currentSubWindow();
        auto *pPacking = qobject_cast<NoteWidgetHtml *>(pPackingSub->widget());
        pPackingSub->showNormal();
        pPackingSub->setGeometry(0, 0, 560, 330);
        pPacking->teNote->append("Tent pegs");
        const QString sJournalName = sJournal + "-journal";
        QFile::remove(sJournalName);
        QDir().mkdir(sJournalName);
        QTimer::singleShot(500, [&main] {
            if (QWidget *pBox = QApplication::activeModalWidget()) {
                shoot(pBox, "journal-taken");
                shootScreen({&main, pBox}, "journal-taken-window");
                pBox->close();
            }
        });
        main.saveNote(pPacking);
        QDir().rmdir(sJournalName);

        // Last: the vault closes, as after the idle time.
        shootNextModal("idle-notice");
        main.forget();
        QTest::qWait(1000);
    }
    return 0;
}
