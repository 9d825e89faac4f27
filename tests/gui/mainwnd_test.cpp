// MainWnd: the start choice, the command states, and the vault and note
// commands driven end to end on real vault files, with every dialog
// answered as a user would.
#include "gui/autoforget.h"
#include "gui/mainwnd.h"
#include "gui/notewidgethtml.h"
#include "gui/optionsdlg.h"
#include "gui/settingskeys.h"
#include "gui/vaultmodel.h"
#include "gui/vaultpathargument.h"
#include "gui/vaulttreeview.h"
#include "gui/welcomedlg.h"
#include "ka/uuid.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "support/child.h"
#include "support/filesizelimit.h"
#include "support/guitest.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStringEncoder>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <QWizard>

#include <memory>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Warnings about connections that name a missing signal or slot.
QStringList lConnectWarnings;
QtMessageHandler fPreviousHandler = nullptr;

void catchConnectWarnings(QtMsgType eType, const QMessageLogContext &context,
                          const QString &sMessage) {
    if (sMessage.contains("No such slot") || sMessage.contains("No such signal"))
        lConnectWarnings << sMessage;
    fPreviousHandler(eType, context, sMessage);
}

// Fills the line edit of the given name in the dialog.
void fill(QWidget *pDialog, const char *sName, const QString &sText) {
    auto *pEdit = pDialog->findChild<QLineEdit *>(sName);
    QVERIFY2(pEdit, sName);
    pEdit->setText(sText);
}

// Answers the password dialog of the next vault opening.
void answerPassword(const QString &sPass) {
    GuiTest::answerModal([sPass](QWidget *pModal) {
        QCOMPARE(pModal->objectName(), QString("OpenVaultDlg"));
        fill(pModal, "lePassword", sPass);
        static_cast<QDialog *>(pModal)->accept();
    });
}

// Answers the next dialog that asks for a note name (new note or rename).
void answerName(const QString &sName) {
    GuiTest::answerModal([sName](QWidget *pModal) {
        fill(pModal, "leName", sName);
        static_cast<QDialog *>(pModal)->accept();
    });
}

// Goes through the new-vault wizard: a new vault at sFolder/sName.vault;
// eReplace answers the question whether to replace a file there.
void answerWizard(const QString &sFolder, const QString &sName, const QString &sPass,
                  const QString &sNote,
                  QMessageBox::StandardButton eReplace = QMessageBox::NoButton) {
    GuiTest::answerModal([=](QWidget *pModal) {
        auto *pWizard = qobject_cast<QWizard *>(pModal);
        QVERIFY(pWizard);
        fill(pWizard, "leVaultName", sName);
        pWizard->setField("vaultLocation", sFolder);
        if (eReplace != QMessageBox::NoButton)
            GuiTest::answerMessageBox(eReplace);
        pWizard->next();
        fill(pWizard->currentPage(), "lePassword", sPass);
        fill(pWizard->currentPage(), "leVerify", sPass);
        pWizard->next();
        fill(pWizard->currentPage(), "leNoteName", sNote);
        pWizard->next();
        pWizard->button(QWizard::FinishButton)->click();
    });
}

// Answers the next message box with Ok and keeps its text.
void answerOk(QString *pText) {
    GuiTest::answerMessageBox(QMessageBox::Ok, pText);
}

// A text that does not compress to nothing.
QString manyWords() {
    QString sWords;
    for (int i = 0; i < 20000; ++i)
        sWords += QString::number(i * 7919 % 10007, 36) + ' ';
    return sWords;
}

// The entries of a menu as their texts ("-" for a separator).
QStringList entries(const QMenu *pMenu) {
    QStringList lTexts;
    for (const QAction *pAction : pMenu->actions())
        lTexts << (pAction->isSeparator() ? QString("-") : pAction->text());
    return lTexts;
}

// Answers the box of a vault file that went, keeping its title and text:
// Cancel when sSaveAs is empty, else Save Vault As... and, in the file
// dialog (whose title and first choice go to *pDialog), sSaveAs.
void answerRescue(QString *pText, const QString &sSaveAs = QString(), QString *pDialog = nullptr) {
    GuiTest::answerModal([=](QWidget *pModal) {
        auto *pBox = qobject_cast<QMessageBox *>(pModal);
        QVERIFY(pBox && pBox->buttons().size() == 2 && pBox->button(QMessageBox::Cancel));
        *pText = pBox->windowTitle() + ": " + pBox->text();
        if (sSaveAs.isEmpty()) {
            pBox->button(QMessageBox::Cancel)->click();
            return;
        }
        GuiTest::answerModal([=](QWidget *pModal) {
            auto *pFiles = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pFiles);
            if (pDialog)
                *pDialog = pFiles->windowTitle() + ": " + pFiles->selectedFiles().value(0);
            pFiles->selectFile(sSaveAs);
            static_cast<QDialog *>(pFiles)->accept();
        });
        for (QAbstractButton *pButton : pBox->buttons())
            if (pButton->text() == "Save Vault As...")
                pButton->click();
    });
}

} // namespace

class MainWndTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> pDir;
    std::unique_ptr<MainWnd> pWnd;

    QString path(const QString &sName) const { return pDir->filePath(sName); }

    // A window with no vault and no dialog at start (a vault was used before,
    // and the welcome dialog is switched off).
    MainWnd *plainWindow() {
        QSettings().setValue(SettingsKey::kRecentList, QStringList{"elsewhere.vault"});
        QSettings().setValue(SettingsKey::kUseWelcomeDlg, false);
        pWnd = std::make_unique<MainWnd>(QString());
        pWnd->show();
        return pWnd.get();
    }
    // A window on a new vault at sName with the password "pw".
    MainWnd *windowOnNewVault(const QString &sName = "notes.vault") {
        plainWindow()->newVault(path(sName), "pw");
        return pWnd.get();
    }
    // The window, created anew on the vault at sPath with its password.
    void reopen(const QString &sPath, const QString &sPass = "pw") {
        pWnd.reset();
        answerPassword(sPass);
        pWnd = std::make_unique<MainWnd>(sPath);
        pWnd->show();
    }

    // A vault with the saved note "Big", then sWords typed into it while the
    // file may grow no more: the next save of "Big" fails until the limit
    // goes.
    std::unique_ptr<support::FileSizeLimit> noteThatCannotBeSaved(const QString &sWords) {
        windowOnNewVault();
        createNote("Big");
        action("actionSaveNote")->trigger();
        auto pFull =
            std::make_unique<support::FileSizeLimit>(QFileInfo(path("notes.vault")).size());
        type(sWords);
        return pFull;
    }

    // The text of the named note after the window is made anew on the
    // vault sVault: what reached the file.
    QString textAfterReopen(const QString &sName, const QString &sVault = "notes.vault") {
        reopen(path(sVault));
        pWnd->openNote(rowOf(sName));
        return text();
    }

    QAction *action(const char *sName) const {
        auto *pAction = pWnd->findChild<QAction *>(sName);
        if (!pAction)
            qFatal("no action %s", sName);
        return pAction;
    }
    QMdiArea *mdi() const { return pWnd->findChild<QMdiArea *>(); }
    VaultTreeView *list() const { return pWnd->findChild<VaultTreeView *>("tvNote"); }
    QAbstractItemModel *model() const { return list()->model(); }
    QStringList listedNames() const {
        QStringList lNames;
        for (int i = 0; i < model()->rowCount(); ++i)
            lNames << model()->index(i, 0).data().toString();
        return lNames;
    }
    QModelIndex rowOf(const QString &sName) const {
        for (int i = 0; i < model()->rowCount(); ++i) {
            if (model()->index(i, 0).data().toString() == sName)
                return model()->index(i, 0);
        }
        return QModelIndex();
    }
    NoteWidgetHtml *editor(QMdiSubWindow *pSub = nullptr) const {
        if (!pSub)
            pSub = mdi()->currentSubWindow();
        return pSub ? qobject_cast<NoteWidgetHtml *>(pSub->widget()) : nullptr;
    }
    // Creates a note through the New Note dialog; it opens in a window.
    void createNote(const QString &sName) {
        answerName(sName);
        action("actionCreateNote")->trigger();
    }
    void type(const QString &sText) { editor()->teNote->textCursor().insertText(sText); }
    QString text(QMdiSubWindow *pSub = nullptr) const {
        return editor(pSub)->teNote->toPlainText();
    }
    bool enabled(std::initializer_list<const char *> lNames) const {
        for (const char *sName : lNames) {
            if (!action(sName)->isEnabled())
                return false;
        }
        return true;
    }
    bool disabled(std::initializer_list<const char *> lNames) const {
        for (const char *sName : lNames) {
            if (action(sName)->isEnabled())
                return false;
        }
        return true;
    }
    // The extra tool bars now in the window.
    QList<QToolBar *> editorBars() const {
        QList<QToolBar *> lBars;
        for (QToolBar *pBar : pWnd->findChildren<QToolBar *>()) {
            if (pBar->objectName().startsWith("tbHtml") && pBar->isVisible())
                lBars << pBar;
        }
        return lBars;
    }
    NoteStore *store() const { return pWnd->pStore; }
    AutoForget *autoForget() const { return pWnd->pAutoForget; }
    // The window of the open note of that name.
    QMdiSubWindow *hWindow(const QString &sName) const {
        for (QMdiSubWindow *pSub : mdi()->subWindowList()) {
            if (editor(pSub)->getName() == sName)
                return pSub;
        }
        return nullptr;
    }
    QMenu *menu(const char *sName) const { return pWnd->findChild<QMenu *>(sName); }
    QStringList recentList() const {
        return QSettings().value(SettingsKey::kRecentList).toStringList();
    }
    // The current editor type's tool bar of that name.
    QToolBar *bar(const QString &sName) const {
        for (QToolBar *pBar : pWnd->lCurBars) {
            if (pBar->objectName() == sName)
                return pBar;
        }
        return nullptr;
    }
    // Waits until the layout of the current editor type has been restored
    // (the Toolbars menu is rebuilt last).
    bool barsSettled() const {
        return GuiTest::waitFor([&] {
            QList<QAction *> lToggles{pWnd->findChild<QToolBar *>("tbNote")->toggleViewAction()};
            for (QToolBar *pBar : pWnd->lCurBars)
                lToggles << pBar->toggleViewAction();
            return menu("menuToolbars")->actions() == lToggles;
        });
    }
    // The window closes and comes again.
    void restart() {
        pWnd.reset();
        pWnd = std::make_unique<MainWnd>(QString());
        pWnd->show();
    }
    // Runs fCause and answers the message box that follows; gives its title
    // and text.
    QStringList awaitNotice(const std::function<void()> &fCause) {
        QStringList lNotice;
        GuiTest::answerModal([&](QWidget *pModal) {
            lNotice << pModal->windowTitle() << qobject_cast<QMessageBox *>(pModal)->text();
            pModal->close();
        });
        fCause();
        GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; });
        return lNotice;
    }

private slots:
    void initTestCase() { fPreviousHandler = qInstallMessageHandler(catchConnectWarnings); }

    void init() {
        GuiTest::clearSettings();
        pDir = std::make_unique<QTemporaryDir>();
        lConnectWarnings.clear();
    }

    void cleanup() {
        // A test that failed midway may have left a modified note behind.
        if (pWnd) {
            for (QMdiSubWindow *pSub : mdi()->subWindowList())
                editor(pSub)->setModified(false);
        }
        pWnd.reset();
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        QVERIFY2(lConnectWarnings.isEmpty(), qPrintable(lConnectWarnings.join('\n')));
    }

    void vaultPathFromArguments() {
        QCOMPARE(vaultPathArgument({"pelimund"}), QString());
        QCOMPARE(vaultPathArgument({"pelimund", "-style", "a.vault"}), QString("a.vault"));
        QCOMPARE(vaultPathArgument({"pelimund", "--verbose"}), QString());
        QCOMPARE(vaultPathArgument({"pelimund", "a.vault", "b.vault"}), QString("a.vault"));
        QCOMPARE(vaultPathArgument({"pelimund", "", "b.vault"}), QString());
    }

    // The form: texts, shortcuts, tips and states; the note dock binding.
    void form() {
        MainWnd *pMain = plainWindow();
        QCOMPARE(pMain->windowTitle(), QString("Pelimund"));
        QVERIFY(!pMain->windowIcon().isNull());
        QCOMPARE(action("actionSaveAllNotes")->text(), QString("Save &All"));
        QCOMPARE(action("actionSaveAllNotes")->shortcut(), QKeySequence("Ctrl+A"));
        QCOMPARE(action("actionCreateNote")->shortcut(), QKeySequence("Ctrl+N"));
        QCOMPARE(action("actionSaveNote")->shortcut(), QKeySequence("Ctrl+S"));
        QCOMPARE(action("actionDeleteNote")->statusTip(),
                 QString("Permenantly delete the currently open note"));
        QCOMPARE(action("actionCascadeWindows")->statusTip(),
                 action("actionTileWindows")->statusTip());
        QVERIFY(!action("actionNoteProperties")->isVisible());
        QVERIFY(!action("actionVaultInfo")->isVisible());
        QVERIFY(!action("actionImportNote")->icon().isNull());

        QStringList lMenus;
        for (QAction *pEntry : pMain->menuBar()->actions())
            lMenus << pEntry->text();
        QCOMPARE(lMenus, QStringList({"&File", "&Note", "&Window", "&Help"}));
        QStringList lNoteMenu;
        for (QAction *pEntry : pMain->findChild<QMenu *>("menuNotes")->actions()) {
            if (pEntry->isVisible() && !pEntry->isSeparator())
                lNoteMenu << pEntry->objectName();
        }
        QCOMPARE(lNoteMenu, QStringList({"actionCreateNote", "actionSaveNote", "actionSaveAllNotes",
                                         "actionImportNote", "actionExportNote", "actionDeleteNote",
                                         "actionRenameNote"}));

        auto *pDock = pMain->findChild<QDockWidget *>("dwNotes");
        QVERIFY(QTest::qWaitForWindowExposed(pMain));
        pDock->close();
        QVERIFY(!action("actionNoteDock")->isChecked());
        action("actionNoteDock")->trigger();
        QVERIFY(pDock->isVisible());
        QVERIFY(action("actionNoteDock")->isChecked());
        QVERIFY(list()->isHeaderHidden());
    }

    // The Help menu shows the help pages in a window of the program, which
    // closes with the main window: nothing on show keeps the program alive.
    void helpPages() {
        plainWindow();
        auto visibleHelp = [] {
            for (QWidget *pWidget : QApplication::allWidgets()) {
                if (pWidget->inherits("HelpWindow") && pWidget->isVisible())
                    return true;
            }
            return false;
        };
        QVERIFY(!visibleHelp());
        action("actionQuickGuide")->trigger();
        QVERIFY(visibleHelp());
        action("actionManual")->trigger();
        QVERIFY(visibleHelp());
        action("actionExit")->trigger();
        for (QWidget *pTop : QApplication::topLevelWidgets())
            QVERIFY2(!pTop->isVisible(), pTop->metaObject()->className());
    }

    // Without a path and without recent vaults the wizard comes once the
    // event loop runs; with recent vaults nothing does.
    void startChoice() {
        bool bWizard = false;
        GuiTest::answerModal([&](QWidget *pModal) {
            bWizard = qobject_cast<QWizard *>(pModal) != nullptr;
            static_cast<QDialog *>(pModal)->reject();
        });
        QSettings().setValue(SettingsKey::kUseWelcomeDlg, false);
        pWnd = std::make_unique<MainWnd>(QString());
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(bWizard);
        QVERIFY(disabled({"actionCreateNote", "actionSync", "actionImportNote"}));

        plainWindow();
        QTest::qWait(0);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void startWithMissingPath() {
        QString sText;
        answerOk(&sText);
        pWnd = std::make_unique<MainWnd>(path("gone.vault"));
        QCOMPARE(sText, "No such file found: " + path("gone.vault"));
        QVERIFY(disabled({"actionCreateNote"}));
    }

    // A fresh account may have no documents folder yet: the wizard's
    // proposal still makes the vault, in a folder made for it.
    void wizardMakesItsFolder() {
        plainWindow();
        const QString sFolder = path("Documents/Vaults");
        QVERIFY(!QFileInfo::exists(sFolder));
        answerWizard(sFolder, "Journal", "secret", "First");
        pWnd->newVaultWizard();
        QVERIFY(QFile::exists(sFolder + "/Journal.vault"));
        QCOMPARE(listedNames(), QStringList{"First"});
    }

    // A new vault takes the place of an existing file only when the user
    // agrees, asked as the wizard's first page is left (No the default): No
    // stays there and, the wizard cancelled, keeps the file byte for byte
    // and the open vault open; Yes replaces it.
    void wizardAsksBeforeReplacing() {
        windowOnNewVault("Copy.vault");
        createNote("Precious");
        action("actionSaveNote")->trigger();
        pWnd->newVault(path("open.vault"), "pw");
        const QByteArray baBefore = GuiTest::fileBytes(path("Copy.vault"));

        QString sAsked;
        GuiTest::answerModal([&](QWidget *pModal) {
            auto *pWizard = qobject_cast<QWizard *>(pModal);
            fill(pWizard, "leVaultName", "Copy");
            pWizard->setField("vaultLocation", pDir->path());
            GuiTest::answerModal([&](QWidget *pQuestion) {
                auto *pBox = qobject_cast<QMessageBox *>(pQuestion);
                sAsked = pBox->windowTitle() + ": " + pBox->text();
                QCOMPARE(pBox->icon(), QMessageBox::Warning);
                QCOMPARE(pBox->defaultButton(), pBox->button(QMessageBox::No));
                pBox->button(QMessageBox::No)->click();
            });
            pWizard->next();
            QCOMPARE(pWizard->currentId(), 1);
            pWizard->reject();
        });
        pWnd->newVaultWizard();
        QVERIFY(sAsked.startsWith("Pelimund: The file " +
                                  QDir::toNativeSeparators(path("Copy.vault"))));
        QVERIFY(sAsked.contains("the notes it holds will be lost"));
        QCOMPARE(GuiTest::fileBytes(path("Copy.vault")), baBefore);
        QCOMPARE(QString::fromLocal8Bit(store()->getFileName().getConstStr()), path("open.vault"));

        answerWizard(pDir->path(), "Copy", "new", "First", QMessageBox::Yes);
        pWnd->newVaultWizard();
        QCOMPARE(QString::fromLocal8Bit(store()->getFileName().getConstStr()), path("Copy.vault"));
        QCOMPARE(listedNames(), QStringList{"First"});
    }

    // What no new vault may replace is refused as the first page is left, in
    // place of the question: a vault another program holds, a folder, and a
    // file this user cannot read, whose lock cannot be tried. The wizard
    // stays on the page and the open vault stays open.
    void wizardRefusesWhatCannotBeReplaced() {
        windowOnNewVault("Held.vault");
        pWnd->newVault(path("open.vault"), "pw");
        const NoteStore held(toKaString(path("Held.vault").toLocal8Bit()), Ka::String("pw"));
        QVERIFY(QDir(pDir->path()).mkdir("Folder.vault"));
        // Another user's file in a folder that everyone may write; root reads
        // it only when the files are checked as that user (file system id).
        QVERIFY(QFile(pDir->path()).setPermissions(QFileDevice::Permissions(0x7777)));
        QFile other(path("Other.vault"));
        QVERIFY(other.open(QIODevice::WriteOnly) && other.write("bytes") == 5);
        other.close();
        QVERIFY(other.setPermissions({}));
        QStringList lSeen;
        GuiTest::answerModal([&](QWidget *pModal) {
            auto *pWizard = qobject_cast<QWizard *>(pModal);
            pWizard->setField("vaultLocation", pDir->path());
            for (const char *sName : {"Held", "Folder", "Other"}) {
                const bool bAsOther = qstrcmp(sName, "Other") == 0 && ::geteuid() == 0;
                fill(pWizard, "leVaultName", sName);
                GuiTest::answerModal([&](QWidget *pBox) {
                    auto *pRefusal = qobject_cast<QMessageBox *>(pBox);
                    lSeen << pRefusal->text();
                    QCOMPARE(pRefusal->icon(), QMessageBox::Critical);
                    QCOMPARE(pRefusal->standardButtons(), QMessageBox::Ok);
                    pRefusal->accept();
                });
                if (bAsOther)
                    ::setfsuid(65534);
                pWizard->next();
                if (bAsOther)
                    ::setfsuid(0);
                QCOMPARE(pWizard->currentId(), 1);
            }
            pWizard->reject();
        });
        pWnd->newVaultWizard();
        QCOMPARE(lSeen,
                 QStringList({"The vault is open in another window or program.",
                              "The folder " + QDir::toNativeSeparators(path("Folder.vault")) +
                                  " already exists.\n\nA vault cannot take the place of "
                                  "a folder: please choose another name.",
                              "The file " + QDir::toNativeSeparators(path("Other.vault")) +
                                  " cannot be read, so whether another program has it open "
                                  "cannot be told.\n\nA vault cannot take its place: please "
                                  "choose another name."}));
        QCOMPARE(QString::fromLocal8Bit(store()->getFileName().getConstStr()), path("open.vault"));
        QCOMPARE(QFileInfo(path("Other.vault")).size(), 5);
    }

    // The main road: the wizard makes a vault with a first note, notes are
    // written and saved, and the vault opens again with its password.
    void wizardToReopen() {
        plainWindow();
        answerWizard(pDir->path(), "Journal", "secret", "First");
        pWnd->newVaultWizard();
        const QString sVault = path("Journal.vault");
        QVERIFY(QFile::exists(sVault));
        QCOMPARE(listedNames(), QStringList{"First"});
        QCOMPARE(mdi()->subWindowList().size(), 1);
        QCOMPARE(editor()->getName(), QString("First"));
        QVERIFY(enabled({"actionCreateNote", "actionSync", "actionImportNote", "actionSaveNote",
                         "actionSaveAllNotes", "actionRenameNote", "actionDeleteNote",
                         "actionExportNote"}));
        type("Dear diary, ");
        action("actionSaveNote")->trigger();
        QVERIFY(!editor()->isModified());

        createNote("Second");
        type("zwei ünd drei");
        action("actionSaveAllNotes")->trigger();
        QCOMPARE(listedNames(), QStringList({"First", "Second"}));

        reopen(sVault, "secret");
        QCOMPARE(listedNames(), QStringList({"First", "Second"}));
        pWnd->openNote(rowOf("Second"));
        QCOMPARE(text(), QString("zwei ünd drei"));
        pWnd->openNote(rowOf("First"));
        QCOMPARE(text(), QString("Dear diary, "));
        QCOMPARE(mdi()->subWindowList().size(), 2);
        // Opening an open note only activates its window.
        pWnd->openNote(rowOf("Second"));
        QCOMPARE(mdi()->subWindowList().size(), 2);
        QCOMPARE(editor()->getName(), QString("Second"));
    }

    void openFailures() {
        windowOnNewVault("good.vault");
        createNote("Kept");
        action("actionSaveNote")->trigger();

        // A wrong password and a foreign file get the general text alone:
        // the store's own words would tell the user nothing.
        const QString sCannot("Vault cannot be opened.\nEither it's an invalid file, or an "
                              "incorrect password was provided.");
        QString sText;
        answerOk(&sText);
        QVERIFY(!pWnd->openVault(path("good.vault"), "wrong"));
        QCOMPARE(sText, sCannot);
        // A wrong password for the vault open here keeps it open.
        QVERIFY(enabled({"actionCreateNote", "actionSync", "actionImportNote", "actionExportNote",
                         "actionSaveNote"}));
        QCOMPARE(listedNames(), QStringList{"Kept"});
        // With no vault open, none is open afterwards.
        plainWindow();
        answerOk(&sText);
        QVERIFY(!pWnd->openVault(path("good.vault"), "wrong"));
        QCOMPARE(sText, sCannot);
        QVERIFY(disabled({"actionCreateNote", "actionSync", "actionImportNote", "actionExportNote",
                          "actionSaveNote"}));
        QVERIFY(listedNames().isEmpty());

        QFile foreign(path("foreign.vault"));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray(5000, 'x'));
        foreign.close();
        answerOk(&sText);
        QVERIFY(!pWnd->openVault(path("foreign.vault"), "pw"));
        QCOMPARE(sText, sCannot);
        QCOMPARE(foreign.size(), 5000); // refused, not overwritten
        // A reason the user can act on follows the text.
        answerOk(&sText);
        QVERIFY(!pWnd->openVault(pDir->path(), "pw"));
        QCOMPARE(sText, sCannot + "\n\nDetails: Is a directory: " + pDir->path());

        // Nothing but a regular file is opened, and no password is asked for
        // what is not one: a pipe would keep the program waiting for a
        // writer. In a child that an alarm ends, so that a hang fails here.
        const QString sPipe = path("pipe.vault");
        QCOMPARE(::mkfifo(QFile::encodeName(sPipe).constData(), 0600), 0);
        QVERIFY(support::passesInChild([&] {
            QString sSeen;
            GuiTest::answerModal([&](QWidget *pModal) {
                if (auto *pBox = qobject_cast<QMessageBox *>(pModal))
                    sSeen = pBox->text();
                pModal->close();
            });
            pWnd->openVault(sPipe);
            return sSeen == sCannot;
        }));
        QVERIFY(!QFile::exists(sPipe + "-journal"));

        answerOk(&sText);
        QVERIFY(!pWnd->openVault(path("missing.vault"), "pw"));
        QCOMPARE(sText, "No such file found: " + path("missing.vault"));
        QVERIFY(!QFile::exists(path("missing.vault")));

        // The file dialog's road, cancelled, then taken.
        GuiTest::rejectModal();
        pWnd->openVault();
        QVERIFY(listedNames().isEmpty());
        GuiTest::answerFileDialog(path("good.vault"));
        answerPassword("pw");
        pWnd->openVault();
        QCOMPARE(listedNames(), QStringList{"Kept"});
    }

    // A vault another program holds is refused in plain words, before any
    // password is asked for; the vault open in this window is not "another".
    void vaultOpenElsewhere() {
        windowOnNewVault("shared.vault");
        pWnd->newVault(path("mine.vault"), "pw");
        createNote("Mine");
        // A second store holds its lock as another program's would.
        auto pOther = std::make_unique<NoteStore>(toKaString(path("shared.vault").toLocal8Bit()),
                                                  Ka::String("pw"));
        QStringList lSeen;
        GuiTest::answerModal([&](QWidget *pModal) {
            auto *pBox = qobject_cast<QMessageBox *>(pModal);
            QVERIFY2(pBox, "expected a message box, not a password question");
            lSeen << pBox->windowTitle() << pBox->text() << QString::number(pBox->icon());
            pBox->accept();
        });
        pWnd->openVault(path("shared.vault"));
        const QString sInUse("The vault is open in another window or program.");
        QCOMPARE(lSeen, QStringList({"Pelimund", sInUse, QString::number(QMessageBox::Critical)}));
        QVERIFY(store()); // nothing was let go

        // Refused before the open vault is let go, windows and all.
        QString sText;
        answerOk(&sText);
        QVERIFY(!pWnd->openVault(path("shared.vault"), "pw"));
        QCOMPARE(sText, sInUse);
        QCOMPARE(mdi()->subWindowList().size(), 1);
        // Nor is it replaced under the program that holds it.
        answerOk(&sText);
        pWnd->newVault(path("shared.vault"), "new");
        QCOMPARE(sText, sInUse);
        QCOMPARE(mdi()->subWindowList().size(), 1);
        pOther.reset();
        QVERIFY(pWnd->openVault(path("shared.vault"), "pw")); // the old password still opens it

        QVERIFY(pWnd->openVault(path("mine.vault"), "pw"));
        answerPassword("pw");
        pWnd->openVault(path("mine.vault"));
        QVERIFY(store());
    }

    // The save questions may stand for as long as the user likes: a vault
    // that another program opened meanwhile is still not replaced.
    void replaceCheckedAgainAfterTheSaveQuestion() {
        windowOnNewVault("target.vault");
        const QString sTarget = path("target.vault");
        pWnd->newVault(path("mine.vault"), "pw");
        createNote("Draft");
        type("words");
        const QByteArray baTarget = GuiTest::fileBytes(sTarget);
        std::unique_ptr<NoteStore> pOther;
        QString sRefusal;
        GuiTest::answerModal([&](QWidget *pQuestion) {
            pOther =
                std::make_unique<NoteStore>(toKaString(sTarget.toLocal8Bit()), Ka::String("pw"));
            qobject_cast<QMessageBox *>(pQuestion)->button(QMessageBox::Save)->click();
            GuiTest::answerMessageBox(QMessageBox::Ok, &sRefusal);
        });
        pWnd->newVault(sTarget, "new");
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sRefusal, QString("The vault is open in another window or program."));
        QCOMPARE(GuiTest::fileBytes(sTarget), baTarget);
        QVERIFY(!store());
        pOther.reset();
        QVERIFY(pWnd->openVault(path("mine.vault"), "pw"));
        pWnd->openNote(rowOf("Draft"));
        QCOMPARE(text(), QString("words"));
    }

    // Another vault opens only after the note windows of the open one have
    // closed; Save stores into the old vault, Cancel keeps everything.
    void releaseCancelAndSave() {
        windowOnNewVault("old.vault");
        windowOnNewVault("other.vault");
        pWnd->openVault(path("old.vault"), "pw");
        createNote("Draft");
        type("unsaved words");

        GuiTest::answerMessageBox(QMessageBox::Cancel);
        QVERIFY(!pWnd->openVault(path("other.vault"), "pw"));
        QCOMPARE(listedNames(), QStringList{"Draft"});
        QCOMPARE(text(), QString("unsaved words"));
        QVERIFY(editor()->isModified());

        GuiTest::answerMessageBox(QMessageBox::Save);
        QVERIFY(pWnd->openVault(path("other.vault"), "pw"));
        QVERIFY(mdi()->subWindowList().isEmpty());
        // The commands of note windows follow once the windows are gone.
        QVERIFY(GuiTest::waitFor([&] { return disabled({"actionSaveNote", "actionExportNote"}); }));

        QVERIFY(pWnd->openVault(path("old.vault"), "pw"));
        pWnd->openNote(rowOf("Draft"));
        QCOMPARE(text(), QString("unsaved words"));
    }

    // Closing the program asks for every modified note; Cancel keeps it all
    // open and writes no layout.
    void closeAsksFirst() {
        windowOnNewVault();
        createNote("Draft");
        type("words");
        GuiTest::answerMessageBox(QMessageBox::Cancel);
        QVERIFY(!pWnd->close());
        QVERIFY(pWnd->isVisible());
        QVERIFY(!QSettings().contains(SettingsKey::kGeometry));
        QCOMPARE(text(), QString("words"));

        GuiTest::answerMessageBox(QMessageBox::Discard);
        QVERIFY(pWnd->close());
        QVERIFY(QSettings().contains(SettingsKey::kGeometry));
        QVERIFY(QSettings().contains(SettingsKey::kWindowState));
        QCOMPARE(textAfterReopen("Draft"), QString());
    }

    // The list is sorted without regard to case; the list's own commands
    // follow its selection.
    void listAndSelection() {
        windowOnNewVault();
        for (const char *sName : {"beta", "Alpha", "alpha2"})
            pWnd->newNote(sName, "html");
        QCOMPARE(listedNames(), QStringList({"Alpha", "alpha2", "beta"}));
        QVERIFY(disabled({"actionOpenCurNote", "actionRenameCurNote", "actionDeleteCurNote"}));
        list()->setCurrentIndex(rowOf("beta"));
        QVERIFY(enabled({"actionOpenCurNote", "actionRenameCurNote", "actionDeleteCurNote"}));
        list()->clearSelection();
        QVERIFY(disabled({"actionOpenCurNote", "actionRenameCurNote", "actionDeleteCurNote"}));

        // In place: the store and the open window take the new name at once;
        // the row stays where it is until the list is rebuilt.
        list()->setCurrentIndex(rowOf("beta"));
        action("actionOpenCurNote")->trigger();
        QVERIFY(model()->setData(rowOf("beta"), "Zeta"));
        QCOMPARE(listedNames(), QStringList({"Alpha", "alpha2", "Zeta"}));
        QCOMPARE(editor()->getName(), QString("Zeta"));
        pWnd->resetTree();
        QCOMPARE(listedNames(), QStringList({"Alpha", "alpha2", "Zeta"}));
        reopen(path("notes.vault"));
        QCOMPARE(listedNames(), QStringList({"Alpha", "alpha2", "Zeta"}));
    }

    void renameByDialog() {
        windowOnNewVault();
        createNote("Old");
        action("actionSaveNote")->trigger();
        const QModelIndex version = model()->index(rowOf("Old").row(), 1);
        QCOMPARE(version.data().toString(), QString("0 (changed)"));
        store()->setNoteChanged(Ka::Uuid(toKaString(rowOf("Old").data(Qt::UserRole).toByteArray())),
                                false);
        pWnd->resetTree();

        // The same name, or none, changes nothing.
        answerName("Old");
        action("actionRenameNote")->trigger();
        answerName("");
        action("actionRenameNote")->trigger();
        QCOMPARE(model()->index(0, 1).data().toString(), QString("0"));

        answerName("New");
        action("actionRenameNote")->trigger();
        QCOMPARE(listedNames(), QStringList{"New"});
        QCOMPARE(editor()->getName(), QString("New"));
        QCOMPARE(model()->index(0, 1).data().toString(), QString("0 (changed)"));

        // From the list, with the window closed.
        mdi()->closeAllSubWindows();
        list()->setCurrentIndex(rowOf("New"));
        answerName("Newer");
        action("actionRenameCurNote")->trigger();
        QCOMPARE(listedNames(), QStringList{"Newer"});
    }

    void deleteNotes() {
        windowOnNewVault();
        createNote("Doomed");
        type("never saved");
        createNote("Spared");

        GuiTest::answerMessageBox(QMessageBox::No);
        action("actionDeleteNote")->trigger();
        QCOMPARE(listedNames(), QStringList({"Doomed", "Spared"}));

        // The modified window of a deleted note closes without asking.
        pWnd->openNote(rowOf("Doomed"));
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Yes, &sText);
        action("actionDeleteNote")->trigger();
        QCOMPARE(sText, QString("Are you sure you want to delete the note 'Doomed'?"));
        QCOMPARE(listedNames(), QStringList{"Spared"});
        QTest::qWait(0); // the window goes once control is back in the loop
        QCOMPARE(mdi()->subWindowList().size(), 1);

        list()->setCurrentIndex(rowOf("Spared"));
        GuiTest::answerMessageBox(QMessageBox::Yes);
        action("actionDeleteCurNote")->trigger();
        QVERIFY(listedNames().isEmpty());
        QVERIFY(mdi()->subWindowList().isEmpty());
        QVERIFY(GuiTest::waitFor([&] {
            return disabled({"actionSaveNote", "actionSaveAllNotes", "actionRenameNote",
                             "actionDeleteNote", "actionExportNote"});
        }));
        QVERIFY(enabled({"actionCreateNote", "actionImportNote"}));
    }

    // Only the active note window's tool bars are in the main window.
    void toolBarsFollowTheActiveWindow() {
        windowOnNewVault();
        createNote("One");
        QCOMPARE(editorBars().size(), 4);
        QMdiSubWindow *pFirst = mdi()->currentSubWindow();
        createNote("Two");
        QCOMPARE(editorBars().size(), 4);
        mdi()->setActiveSubWindow(pFirst);
        QCOMPARE(editorBars().size(), 4);
        QCOMPARE(editorBars(), pWnd->hWindowBars.value(pFirst));
        mdi()->closeAllSubWindows();
        QVERIFY(GuiTest::waitFor([&] { return editorBars().isEmpty(); }));
        QVERIFY(disabled({"actionSaveNote", "actionExportNote"}));
    }

    // A maximized note's name and mark are in the title, also after another
    // note window was closed by its close button; saving takes the mark away.
    void titleFollowsTheActiveNote() {
        windowOnNewVault();
        createNote("A");
        type("words");
        createNote("B");
        QWidget *pButtons = pWnd->menuBar()->cornerWidget(Qt::TopRightCorner);
        QTest::mouseClick(pButtons, Qt::LeftButton, {},
                          {pButtons->width() - 3, pButtons->height() / 2});
        auto title = [this] { return pWnd->windowHandle()->title(); };
        QVERIFY(GuiTest::waitFor([&] { return title() == "Pelimund - [A*]"; }));
        action("actionSaveNote")->trigger();
        QCOMPARE(title(), QString("Pelimund - [A]"));
    }

    // Exit closes the maximized note C first; C's window goes only later,
    // so the save question of the modified note B must not stand under a
    // title without B's mark.
    void titleMarkDuringExit() {
        windowOnNewVault();
        createNote("B");
        type("words");
        createNote("C");
        QString sTitle;
        GuiTest::answerModal([&](QWidget *pModal) {
            sTitle = pWnd->windowHandle()->title();
            qobject_cast<QMessageBox *>(pModal)->button(QMessageBox::Cancel)->click();
        });
        action("actionExit")->trigger();
        QCOMPARE(sTitle, QString("Pelimund - [B*]"));
        QVERIFY(pWnd->isVisible());
    }

    void importFiles_data() {
        QTest::addColumn<QString>("sFile");
        QTest::addColumn<QByteArray>("baBytes");
        QTest::addColumn<QString>("sName");
        QTest::addColumn<QString>("sShown");
        QTest::newRow("utf-8 text") << "grüße.txt" << QByteArray("Grüße, ½ € 日本") << "grüße"
                                    << "Grüße, ½ € 日本";
        QTest::newRow("utf-8 with mark")
            << "mark.txt" << QByteArray("\xEF\xBB\xBFna\xC3\xAFve") << "mark"
            << "naïve";
        QTest::newRow("latin-1") << "latin.txt" << QByteArray("caf\xE9 cr\xE8me") << "latin"
                                 << "café crème";
        QTest::newRow("cut utf-8")
            << "cut.txt" << QByteArray("ab\xC3") << "cut" << QString::fromLatin1("ab\xC3");
        QTest::newRow("html") << "page.htm" << QByteArray("<p><b>Fett</b> &amp; süß</p>") << "page"
                              << "Fett & süß";
        QTest::newRow("HTML in capitals is text") << "PAGE.HTML" << QByteArray("<b>x</b>") << "PAGE"
                                                  << "<b>x</b>";
        // A byte-order mark names the encoding; Windows editors save
        // "Unicode" text as UTF-16 LE with one. UTF-32 LE's mark begins with
        // UTF-16 LE's.
        const QString sWide = "Grüße, 日本 😀";
        const auto marked = [&sWide](QStringEncoder::Encoding eEncoding) {
            return QByteArray(
                QStringEncoder(eEncoding, QStringEncoder::Flag::WriteBom).encode(sWide));
        };
        QTest::newRow("utf-16 le with mark")
            << "wide.txt" << marked(QStringEncoder::Utf16LE) << "wide" << sWide;
        QTest::newRow("utf-32 le with mark")
            << "wider.txt" << marked(QStringEncoder::Utf32LE) << "wider" << sWide;
        // The editor reads a note up to a zero character; none may come in.
        QTest::newRow("zero byte") << "zero.txt" << QByteArray("before\0after", 12) << "zero"
                                   << "before\uFFFDafter";
        QTest::newRow("zero byte in html")
            << "zero.html" << QByteArray("<p>before\0<b>after</b>", 22) << "zero"
            << "before\uFFFDafter";
        QTest::newRow("zero character written by html")
            << "zero.html" << QByteArray("<p>before&#0;<b>after</b></p>") << "zero"
            << "before\uFFFDafter";
    }
    void importFiles() {
        QFETCH(QString, sFile);
        QFETCH(QByteArray, baBytes);
        QFETCH(QString, sName);
        QFETCH(QString, sShown);
        windowOnNewVault();
        QFile file(path(sFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(baBytes);
        file.close();
        GuiTest::answerFileDialog(path(sFile));
        action("actionImportNote")->trigger();
        QCOMPARE(listedNames(), QStringList{sName});
        QCOMPARE(text(), sShown);

        QCOMPARE(textAfterReopen(sName), sShown);
    }

    // What is not a regular file is never read: a named pipe, whose opening
    // waits for a writer, becomes an empty note of its name. A hang ends
    // the test program at the alarm, and so fails. (Not in a child: the file
    // dialog there would wait for threads that only the parent has.)
    void importOfAPipe() {
        windowOnNewVault();
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.txt")).constData(), 0600), 0);
        GuiTest::answerFileDialog(path("pipe.txt"));
        ::alarm(60);
        action("actionImportNote")->trigger();
        ::alarm(0);
        QCOMPARE(listedNames(), QStringList{"pipe"});
        QCOMPARE(text(), QString());
    }

    // A file is read to its end, whatever size it reports: /proc reports 0.
    // (Through a link: a file dialog left in /proc would read its files.)
    void importReadsToTheEnd() {
        windowOnNewVault();
        QFile version("/proc/version");
        QVERIFY(version.open(QIODevice::ReadOnly));
        QCOMPARE(version.size(), 0);
        const QString sContent = QString::fromUtf8(version.readAll());
        QVERIFY(!sContent.isEmpty());
        QVERIFY(version.link(path("version.txt")));
        GuiTest::answerFileDialog(path("version.txt"));
        action("actionImportNote")->trigger();
        QCOMPARE(listedNames(), QStringList{"version"});
        QCOMPARE(text(), sContent);
    }

    // HTML pasted into a note may write a zero character; it is saved as
    // U+FFFD, and the text after it is kept.
    void pastedZeroCharacter() {
        windowOnNewVault();
        createNote("Pasted");
        QMimeData *pCopied = new QMimeData;
        pCopied->setHtml("<p>before&#0;<b>after</b></p>");
        QApplication::clipboard()->setMimeData(pCopied);
        editor()->teNote->paste();
        action("actionSaveNote")->trigger();
        QCOMPARE(textAfterReopen("Pasted"), QString("before\uFFFDafter"));
    }

    void exportNote() {
        windowOnNewVault();
        createNote("Out");
        type("exported words");
        GuiTest::answerFileDialog(path("out.html"));
        action("actionExportNote")->trigger();
        QFile file(path("out.html"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("exported words"));
    }

    // A note that a sync removed while its window held text is saved as a
    // new note.
    void saveOfVanishedNote() {
        windowOnNewVault();
        createNote("Orphan");
        type("precious");
        const QByteArray baOld = rowOf("Orphan").data(Qt::UserRole).toByteArray();
        QVERIFY(store()->deleteNote(Ka::Uuid(toKaString(baOld))));
        QString sText;
        answerOk(&sText);
        action("actionSaveNote")->trigger();
        QVERIFY(sText.contains("Orphan"));
        QCOMPARE(listedNames(), QStringList{"Orphan"});
        const QByteArray baNew = rowOf("Orphan").data(Qt::UserRole).toByteArray();
        QVERIFY(baNew != baOld);
        QCOMPARE(mdi()->currentSubWindow()->property("noteId").toByteArray(), baNew);
        // Later saves go to the new note; no second copy appears.
        type(" words");
        action("actionSaveNote")->trigger();
        QCOMPARE(listedNames(), QStringList{"Orphan"});
        QCOMPARE(textAfterReopen("Orphan"), QString("precious words"));
    }

    // A store that cannot write says so, keeps the text in the window, and
    // a close that should have saved it is refused.
    void storeFailureIsReported() {
        const QString sWords = manyWords();
        auto pFull = noteThatCannotBeSaved(sWords);

        QString sText;
        answerOk(&sText);
        action("actionSaveNote")->trigger();
        QVERIFY2(sText.startsWith("The note 'Big' cannot be saved.\n\nDetails: "),
                 qPrintable(sText));
        QVERIFY(editor()->isModified());

        GuiTest::answerMessageBox(QMessageBox::Save);
        answerOk(&sText);
        QVERIFY(!pWnd->close());
        QCOMPARE(mdi()->subWindowList().size(), 1);
        QVERIFY(editor()->isModified());

        answerOk(&sText);
        pWnd->newNote("Another", "html");
        QVERIFY(sText.startsWith("The note 'Another' cannot be created."));
        QCOMPARE(mdi()->subWindowList().size(), 1);

        pFull.reset();
        action("actionSaveNote")->trigger();
        QVERIFY(!editor()->isModified());
        QCOMPARE(textAfterReopen("Big"), sWords);
    }

    void createFailureLeavesNoVault() {
        windowOnNewVault();
        QString sText;
        answerOk(&sText);
        pWnd->newVault(pDir->path() + "/no/such/folder/x.vault", "pw");
        QVERIFY(sText.startsWith("There was an error creating the vault.\n\nDetails: "));
        QVERIFY(disabled({"actionCreateNote"}));
        QVERIFY(listedNames().isEmpty());
    }

    void newVaultDialogWhenWizardOff() {
        plainWindow();
        QSettings().setValue(SettingsKey::kUseVaultWizard, false);
        GuiTest::answerModal([this](QWidget *pModal) {
            QCOMPARE(pModal->objectName(), QString("NewVaultDlg"));
            fill(pModal, "lePassword1", "pw");
            fill(pModal, "lePassword2", "pw");
            GuiTest::answerFileDialog(path("dialog"));
            static_cast<QDialog *>(pModal)->accept();
        });
        action("actionNewVault")->trigger();
        QVERIFY(QFile::exists(path("dialog.vault")));
        QVERIFY(enabled({"actionCreateNote"}));
    }

    // Newest first, one entry per file however its path was written, kept to
    // the maximum of the options (0: left alone); the entries open their vault.
    void recentVaults() {
        windowOnNewVault("a.vault");
        action("actionClearRecent")->trigger();
        QCOMPARE(entries(menu("menuRecentVaults")), QStringList({"-", "&Clear List"}));
        for (const char *sName : {"a.vault", "b.vault", "c & d.vault"})
            pWnd->newVault(path(sName), "pw");
        const QString sOld = QDir::currentPath();
        QDir::setCurrent(pDir->path());
        QVERIFY(pWnd->openVault("a.vault", "pw"));
        QDir::setCurrent(sOld);
        QVERIFY(QDir(pDir->path()).mkdir("x"));
        QVERIFY(pWnd->openVault(pDir->path() + "/./x/../b.vault", "pw"));
        QCOMPARE(entries(menu("menuRecentVaults")),
                 QStringList(
                     {path("b.vault"), path("a.vault"), path("c && d.vault"), "-", "&Clear List"}));
        answerPassword("pw");
        menu("menuRecentVaults")->actions().at(2)->trigger();
        QCOMPARE(recentList().first(), path("c & d.vault"));

        QSettings().setValue(SettingsKey::kRecentMax, 2);
        QVERIFY(pWnd->openVault(path("a.vault"), "pw"));
        QSettings().setValue(SettingsKey::kRecentMax, 0);
        QVERIFY(pWnd->openVault(path("b.vault"), "pw"));
        QCOMPARE(recentList(), QStringList({path("a.vault"), path("c & d.vault")}));
    }

    // The options take effect at once and at the next start; hand-edited
    // values are read safely.
    void optionsTakeEffect() {
        windowOnNewVault("a.vault");
        pWnd->newVault(path("b.vault"), "pw");
        GuiTest::answerModal([](QWidget *pModal) {
            auto *pDialog = qobject_cast<OptionsDlg *>(pModal);
            QVERIFY(pDialog);
            pDialog->rbTabs->setChecked(true);
            pDialog->cbTabPos->setCurrentText("Left");
            pDialog->sbRecent->setValue(1);
            pDialog->sbTimeout->setValue(10);
            pDialog->accept();
        });
        action("actionOptions")->trigger();
        for (int iRun = 0; iRun < 2; ++iRun) {
            QCOMPARE(mdi()->viewMode(), QMdiArea::TabbedView);
            QCOMPARE(mdi()->tabPosition(), QTabWidget::West);
            QCOMPARE(autoForget()->minutes(), 10);
            QCOMPARE(entries(menu("menuRecentVaults")).size(), 3);
            restart();
        }
        QSettings().setValue(SettingsKey::kTabPosition, "bottom");
        QSettings().setValue(SettingsKey::kForgetTimeout, "99999999999");
        restart();
        QCOMPARE(mdi()->tabPosition(), QTabWidget::North);
        QCOMPARE(autoForget()->minutes(), AutoForget::kMaxMinutes);
        QSettings().setValue(SettingsKey::kForgetTimeout, -3);
        restart();
        QCOMPARE(autoForget()->minutes(), 0);
    }

    // An editor type's tool-bar layout follows its windows and outlives the
    // main window.
    void toolBarLayoutPerType() {
        windowOnNewVault();
        createNote("One");
        QVERIFY(barsSettled());
        QCOMPARE(entries(menu("menuToolbars")),
                 QStringList(
                     {"General Note Operations", "Edit", "Formatting", "Font Settings", "Tables"}));
        pWnd->addToolBar(Qt::BottomToolBarArea, bar("tbHtmlTables"));
        bar("tbHtmlFont")->toggleViewAction()->trigger();
        createNote("Two");
        QVERIFY(barsSettled());
        QCOMPARE(pWnd->toolBarArea(bar("tbHtmlTables")), Qt::BottomToolBarArea);
        QVERIFY(bar("tbHtmlFont")->isHidden());

        mdi()->closeAllSubWindows();
        QVERIFY(GuiTest::waitFor([&] { return editorBars().isEmpty(); }));
        QCOMPARE(entries(menu("menuToolbars")), QStringList{"General Note Operations"});
        reopen(path("notes.vault"));
        pWnd->openNote(rowOf("Two"));
        QVERIFY(barsSettled());
        QCOMPARE(pWnd->toolBarArea(bar("tbHtmlTables")), Qt::BottomToolBarArea);
        QVERIFY(bar("tbHtmlFont")->isHidden());
        QVERIFY(!bar("tbHtmlEdit")->isHidden());
    }

    // A bar hidden in one session stays hidden in the next, however the
    // program was left: with one or several note windows open (closing them
    // one after another shows each window's bars in turn), in windows or
    // tabs, or right after the idle close.
    void hiddenBarSurvivesExit_data() {
        QTest::addColumn<QString>("sInterface");
        QTest::addColumn<int>("iWindows");
        QTest::addColumn<bool>("bIdle");
        for (const char *sInterface : {"windows", "tabs"}) {
            for (int iWindows : {1, 3}) {
                for (bool bIdle : {false, true})
                    QTest::addRow("%s, %d open%s", sInterface, iWindows, bIdle ? ", idle" : "")
                        << QString(sInterface) << iWindows << bIdle;
            }
        }
    }
    void hiddenBarSurvivesExit() {
        QFETCH(QString, sInterface);
        QFETCH(int, iWindows);
        QFETCH(bool, bIdle);
        QSettings().setValue(SettingsKey::kInterface, sInterface);
        windowOnNewVault();
        for (int i = 1; i <= iWindows; ++i)
            createNote(QString("Note %1").arg(i));
        QVERIFY(barsSettled());
        bar("tbHtmlTables")->toggleViewAction()->trigger();
        if (bIdle)
            awaitNotice([&] { pWnd->forget(); });
        QVERIFY(pWnd->close());
        QTest::qWait(0); // the closed note windows go
        reopen(path("notes.vault"));
        pWnd->openNote(rowOf("Note 1"));
        QVERIFY(barsSettled());
        QVERIFY(bar("tbHtmlTables")->isHidden());
        QVERIFY(!bar("tbHtmlEdit")->isHidden());
    }

    // One entry per note window in the order they opened, the first nine
    // with their digit as the accelerator; an entry whose window has gone
    // does nothing. In tabs too a note's '&' shows as it is.
    void windowMenuAndTabs() {
        windowOnNewVault();
        for (int i = 1; i <= 10; ++i)
            pWnd->newNote(i == 3 ? QString("Salt & Pepper") : QString("Note %1").arg(i), "html");
        QMenu *pMenu = menu("menuWindow");
        emit pMenu->aboutToShow();
        QList<QAction *> lEntries = pMenu->actions().mid(6);
        QCOMPARE(lEntries.size(), 10);
        QCOMPARE(lEntries.at(2)->text(), QString("&3 Salt && Pepper"));
        QCOMPARE(lEntries.at(8)->text(), QString("&9 Note 9"));
        QCOMPARE(lEntries.at(9)->text(), QString("10 Note 10"));
        QVERIFY(lEntries.at(9)->isChecked());
        lEntries.at(1)->trigger();
        QCOMPARE(editor()->getName(), QString("Note 2"));
        mdi()->subWindowList(QMdiArea::CreationOrder).at(4)->close();
        QVERIFY(GuiTest::waitFor([&] { return mdi()->subWindowList().size() == 9; }));
        lEntries.at(4)->trigger();
        QCOMPARE(editor()->getName(), QString("Note 2"));

        QSettings().setValue(SettingsKey::kInterface, "tabs");
        pWnd->initFromOptions();
        auto *pTabs = mdi()->findChild<QTabBar *>();
        QVERIFY(pTabs);
        pTabs->moveTab(2, 0);
        mdi()->setActiveSubWindow(hWindow("Salt & Pepper"));
        type("more");
        QVERIFY(GuiTest::waitFor([&] { return pTabs->tabText(0) == "Salt && Pepper*"; }));
        QCOMPARE(pTabs->tabText(1), QString("Note 1"));
        // A "[*]" in a name is part of it, not the modified mark.
        pWnd->newNote("a[*]b", "html");
        const int iLast = pTabs->count() - 1;
        QVERIFY(GuiTest::waitFor([&] { return pTabs->tabText(iLast) == "a[*]b"; }));
        type("x");
        QVERIFY(GuiTest::waitFor([&] { return pTabs->tabText(iLast) == "a[*]b*"; }));
    }

    // The welcome dialog at start comes back while opening fails.
    void welcomeAtStart() {
        windowOnNewVault("known.vault");
        QSettings().setValue(SettingsKey::kUseWelcomeDlg, true);
        for (const char *sPass : {"wrong", "pw"}) {
            GuiTest::answerModal([sPass](QWidget *pModal) {
                auto *pDialog = qobject_cast<WelcomeDlg *>(pModal);
                QVERIFY(pDialog);
                QTest::keyClicks(pDialog->lePassword, sPass);
                pDialog->pbOpen->click();
            });
            if (QString(sPass) == "wrong")
                answerOk(nullptr);
        }
        restart();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(store());
    }

    // Idle: every note saved, the vault closed, the user told; a later idle
    // period with no vault does nothing.
    void idleClose() {
        windowOnNewVault();
        createNote("Left open");
        type("unsaved words");
        autoForget()->setMinuteLength(20);
        const QStringList lNotice = awaitNotice([&] { autoForget()->timeoutChanged(1); });
        autoForget()->timeoutChanged(0);
        QCOMPARE(lNotice, QStringList({"Pelimund - Idle",
                                       "Your Vault was saved and closed automatically because of\n"
                                       "inactivity. You can adjust this setting in the Options."}));
        QVERIFY(!store());
        QVERIFY(mdi()->subWindowList().isEmpty());
        QVERIFY(disabled({"actionCreateNote", "actionSaveNote"}));
        pWnd->forget();
        QTest::qWait(0);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(textAfterReopen("Left open"), QString("unsaved words"));
    }

    // Key and button presses anywhere start the idle time anew; moves do not.
    void activityPostpones() {
        windowOnNewVault();
        createNote("Busy");
        autoForget()->setMinuteLength(5000);
        autoForget()->timeoutChanged(1);
        auto afterAWhile = [&] {
            const int iStart = autoForget()->remainingTime();
            // More than the slack of a coarse timer.
            return GuiTest::waitFor([&] { return autoForget()->remainingTime() < iStart - 500; })
                       ? autoForget()->remainingTime()
                       : -2;
        };
        int iLeft = afterAWhile();
        QTest::mouseMove(list(), QPoint(5, 5));
        QVERIFY(autoForget()->remainingTime() <= iLeft);
        QTest::keyClick(editor()->teNote, Qt::Key_X);
        QVERIFY(autoForget()->remainingTime() > iLeft);
        iLeft = afterAWhile();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton);
        QVERIFY(autoForget()->remainingTime() > iLeft);
        autoForget()->timeoutChanged(0);
        QVERIFY(store());
    }

    // A modal dialog or an open menu holds the close back until it is gone.
    void busyPostpones() {
        windowOnNewVault();
        createNote("Doomed?");
        GuiTest::answerModal([this](QWidget *pModal) {
            pWnd->forget();
            QVERIFY(store());
            qobject_cast<QMessageBox *>(pModal)->button(QMessageBox::Yes)->click();
        });
        QCOMPARE(awaitNotice([&] { action("actionDeleteNote")->trigger(); }).value(0),
                 QString("Pelimund - Idle"));
        QVERIFY(!store());
        QVERIFY(pWnd->openVault(path("notes.vault"), "pw"));
        QVERIFY(listedNames().isEmpty()); // deleted while the vault was still open
        QMenu *pMenu = menu("menuFile");
        pMenu->popup(pWnd->mapToGlobal(QPoint(10, 10)));
        QVERIFY(GuiTest::waitFor([&] { return QApplication::activePopupWidget() == pMenu; }));
        pWnd->forget();
        QTest::qWait(0);
        QVERIFY(store());
        QCOMPARE(awaitNotice([&] { pMenu->close(); }).value(0), QString("Pelimund - Idle"));
    }

    // A note that cannot be saved keeps its window and the vault open.
    void idleSaveFailure() {
        const QString sWords = manyWords();
        auto pFull = noteThatCannotBeSaved(sWords);
        QString sText;
        answerOk(&sText);
        pWnd->forget();
        pFull.reset();
        QVERIFY2(sText.contains("the note 'Big' cannot be saved"), qPrintable(sText));
        QVERIFY(store());
        QVERIFY(editor()->isModified());
        QCOMPARE(text(), sWords);

        QCOMPARE(awaitNotice([&] { pWnd->forget(); }).value(0), QString("Pelimund - Idle"));
        QCOMPARE(textAfterReopen("Big"), sWords);
    }

    // A wrong password for another vault is refused before anything of the
    // open vault goes: no save question, its window and unsaved text kept,
    // and the other file untouched. The right password asks, then switches.
    void wrongPasswordKeepsTheOpenVault() {
        windowOnNewVault("other.vault")->newNote("Theirs", "html");
        windowOnNewVault();
        createNote("Draft");
        type("unsaved");
        const QByteArray baOther = GuiTest::fileBytes(path("other.vault"));
        const QStringList lRefusal =
            awaitNotice([&] { QVERIFY(!pWnd->openVault(path("other.vault"), "wrong")); });
        QVERIFY(lRefusal.value(1).startsWith("Vault cannot be opened."));
        QCOMPARE(listedNames(), QStringList{"Draft"});
        QVERIFY(editor()->isModified());
        action("actionSaveNote")->trigger();
        QCOMPARE(GuiTest::fileBytes(path("other.vault")), baOther);
        QCOMPARE(textAfterReopen("Draft"), QString("unsaved"));

        // An empty file, which opening makes a vault, is asked about first:
        // Cancel leaves it empty.
        QVERIFY(QFile(path("empty.vault")).open(QIODevice::WriteOnly));
        type("more ");
        GuiTest::answerMessageBox(QMessageBox::Cancel);
        QVERIFY(!pWnd->openVault(path("empty.vault"), "pw"));
        QCOMPARE(QFileInfo(path("empty.vault")).size(), 0);
        QCOMPARE(listedNames(), QStringList{"Draft"});

        GuiTest::answerMessageBox(QMessageBox::Save);
        QVERIFY(pWnd->openVault(path("other.vault"), "pw"));
        QCOMPARE(listedNames(), QStringList{"Theirs"});
        QCOMPARE(textAfterReopen("Draft"), QString("more unsaved"));
    }

    // A wrong password for the vault open here is tried against the vault
    // itself: no question, and the vault, its window and text stay. The
    // right one asks, then opens the vault again.
    void wrongPasswordForTheOpenVaultItself() {
        windowOnNewVault();
        createNote("Draft");
        type("unsaved");
        const QStringList lRefusal =
            awaitNotice([&] { QVERIFY(!pWnd->openVault(path("notes.vault"), "pw ")); });
        QVERIFY(lRefusal.value(1).startsWith("Vault cannot be opened."));
        QCOMPARE(listedNames(), QStringList{"Draft"});
        QCOMPARE(text(), QString("unsaved"));
        QVERIFY(editor()->isModified());
        action("actionSaveNote")->trigger();

        type("discarded ");
        GuiTest::answerMessageBox(QMessageBox::Discard);
        QVERIFY(pWnd->openVault(path("notes.vault"), "pw"));
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        QVERIFY(GuiTest::waitFor([&] { return disabled({"actionSaveNote"}); }));
        pWnd->openNote(rowOf("Draft"));
        QCOMPARE(text(), QString("unsaved"));
    }

    // The open vault's own file moved away while its save question stands:
    // the save is refused in the box that names it, and after Cancel the
    // vault stays open with its text; nothing is made where the file was,
    // nor written where it went.
    void vaultMovedDuringTheSaveQuestion() {
        windowOnNewVault();
        createNote("Draft");
        type("words");
        QByteArray baMoved;
        QString sTold;
        GuiTest::answerModal([&](QWidget *pQuestion) {
            QVERIFY(QFile::rename(path("notes.vault"), path("moved.vault")));
            baMoved = GuiTest::fileBytes(path("moved.vault"));
            answerRescue(&sTold);
            qobject_cast<QMessageBox *>(pQuestion)->button(QMessageBox::Save)->click();
        });
        QVERIFY(!pWnd->openVault(path("notes.vault"), "pw"));
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY2(sTold.startsWith("Pelimund: The vault file " + path("notes.vault") + " was moved"),
                 qPrintable(sTold));
        QVERIFY(!QFile::exists(path("notes.vault")));
        QVERIFY(store());
        QVERIFY(enabled({"actionCreateNote", "actionSync", "actionImportNote"}));
        QCOMPARE(text(), QString("words"));
        QVERIFY(editor()->isModified());
        QCOMPARE(GuiTest::fileBytes(path("moved.vault")), baMoved);
    }

    // The vault file deleted or replaced by another program: a save is
    // refused in one box that names it, and Cancel keeps the text, modified.
    // Save Vault As... makes a new vault of the notes saved before, opens it
    // in place of the open one with the windows kept, and saves there. What
    // stands at the vault's name is never written.
    void vaultFileGone_data() {
        QTest::addColumn<bool>("bReplaced");
        QTest::newRow("deleted") << false;
        QTest::newRow("replaced") << true;
    }
    void vaultFileGone() {
        QFETCH(bool, bReplaced);
        windowOnNewVault("other.vault")->newNote("Theirs", "html");
        windowOnNewVault();
        createNote("Kept");
        type("saved before");
        action("actionSaveNote")->trigger();
        createNote("Draft");
        type("new text");
        QVERIFY(bReplaced ? ::rename(qPrintable(path("other.vault")),
                                     qPrintable(path("notes.vault"))) == 0
                          : QFile::remove(path("notes.vault")));
        const QByteArray baThere = GuiTest::fileBytes(path("notes.vault"));
        QString sBox;
        answerRescue(&sBox);
        action("actionSaveAllNotes")->trigger();
        QVERIFY2(sBox.startsWith("Pelimund: The vault file " + path("notes.vault") +
                                 " was moved, replaced or deleted by another program since the "
                                 "vault was opened. Nothing was saved."),
                 qPrintable(sBox));
        QCOMPARE(text(), QString("new text"));
        QVERIFY(editor()->isModified());

        QString sDialog;
        answerRescue(&sBox, path("rescued"), &sDialog);
        action("actionSaveNote")->trigger();
        QCOMPARE(sDialog,
                 "Pelimund - Save Vault As: " + (bReplaced ? pDir->path() : path("notes.vault")));
        QVERIFY(!editor()->isModified());
        QCOMPARE(mdi()->subWindowList().size(), 2);
        QCOMPARE(listedNames(), QStringList({"Draft", "Kept"}));
        QCOMPARE(recentList().value(0), path("rescued.vault"));
        QCOMPARE(GuiTest::fileBytes(path("notes.vault")), baThere);
        QCOMPARE(textAfterReopen("Kept", "rescued.vault"), QString("saved before"));
        QCOMPARE(textAfterReopen("Draft", "rescued.vault"), QString("new text"));
    }

    // A folder, which no one can remove as a file, where the vault keeps its
    // journal: a save is refused in one box that names it and says what to
    // do, while the note and the window still show the unsaved mark; Cancel
    // keeps the text, Save Vault As... saves in the copy. A new vault there
    // is refused with the same words.
    void journalNameTaken() {
        windowOnNewVault();
        createNote("Draft");
        mdi()->currentSubWindow()->showMaximized();
        type("new text");
        const QString sJournal = path("notes.vault-journal");
        QVERIFY(QFile::remove(sJournal) && QDir().mkdir(sJournal));
        QString sBox;
        bool bMarked = false;
        GuiTest::answerModal([&](QWidget *) {
            bMarked = pWnd->isWindowModified() && mdi()->currentSubWindow()->isWindowModified();
            answerRescue(&sBox);
        });
        action("actionSaveNote")->trigger();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sBox, "Pelimund: The file " + sJournal +
                           " stands where the vault keeps its journal, but it is not the vault's "
                           "journal (another user may have put it there), and Pelimund cannot "
                           "remove it. Nothing was saved.\n\nHave that file removed, or, to keep "
                           "the notes open here, save the vault as a new file in a folder of your "
                           "own.");
        QVERIFY(bMarked);
        QCOMPARE(text(), QString("new text"));
        QVERIFY(editor()->isModified() && pWnd->isWindowModified());

        answerRescue(&sBox, path("rescued"));
        action("actionSaveNote")->trigger();
        QVERIFY(!editor()->isModified() && !pWnd->isWindowModified());
        QCOMPARE(recentList().value(0), path("rescued.vault"));
        QVERIFY(QFileInfo(sJournal).isDir());
        QCOMPARE(textAfterReopen("Draft", "rescued.vault"), QString("new text"));

        QVERIFY(QDir().mkdir(path("new.vault-journal")));
        QString sRefusal;
        answerOk(&sRefusal);
        pWnd->newVault(path("new.vault"), "pw");
        QVERIFY2(sRefusal.endsWith("The file " + path("new.vault-journal") +
                                   " stands where the vault keeps its journal, but it is not the "
                                   "vault's journal (another user may have put it there), and "
                                   "Pelimund cannot remove it. Have that file removed, or keep the "
                                   "vault in a folder of your own."),
                 qPrintable(sRefusal));
    }

    // The idle close with the vault file gone leaves the vault open and
    // offers the box; a vault the user saves anew there stays open.
    void idleCloseWithTheVaultFileGone() {
        windowOnNewVault();
        createNote("Draft");
        type("words");
        QVERIFY(QFile::remove(path("notes.vault")));
        for (const QString &sSaveAs : {QString(), path("rescued.vault")}) {
            QString sBox;
            answerRescue(&sBox, sSaveAs);
            pWnd->forget();
            QVERIFY(sBox.contains(path("notes.vault")));
            QVERIFY(store());
            QCOMPARE(editor()->isModified(), sSaveAs.isEmpty());
        }
        QCOMPARE(textAfterReopen("Draft", "rescued.vault"), QString("words"));
    }

    // A vault read before the open vault's save question and moved away
    // while it stands is not opened from where it went: the user is told,
    // no vault is open, and nothing is made at its name.
    void vaultToOpenMovedDuringTheSaveQuestion() {
        windowOnNewVault("a.vault")->newNote("In A", "html");
        windowOnNewVault();
        createNote("Draft");
        type("words");
        QString sTold;
        GuiTest::answerModal([&](QWidget *pQuestion) {
            QVERIFY(QFile::rename(path("a.vault"), path("moved.vault")));
            answerOk(&sTold);
            qobject_cast<QMessageBox *>(pQuestion)->button(QMessageBox::Save)->click();
        });
        QVERIFY(!pWnd->openVault(path("a.vault"), "pw"));
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sTold, "No such file found: " + path("a.vault"));
        QVERIFY(!store());
        QVERIFY(!QFile::exists(path("a.vault")));
        QCOMPARE(recentList().value(0), path("notes.vault"));
        QCOMPARE(textAfterReopen("Draft"), QString("words"));
    }

    // The click that closes a dialog which stood past the idle time starts
    // the idle time anew: the forget that waited for the dialog is dropped,
    // and the vault closes a full idle period later.
    void clickAfterADialogStartsTheIdleTimeAnew() {
        windowOnNewVault();
        autoForget()->setMinuteLength(1000);
        autoForget()->timeoutChanged(1);
        GuiTest::answerModal([&](QWidget *pModal) {
            QVERIFY(GuiTest::waitFor([&] { return pWnd->pForgetRetry->isActive(); }));
            QTest::mouseClick(pModal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        });
        action("actionAboutPelimund")->trigger();
        const int iLeft = autoForget()->remainingTime();
        const QStringList lLater = awaitNotice([&] {
            // Past the forget's next look, and still open.
            GuiTest::waitFor([&] { return autoForget()->remainingTime() < iLeft - 400; });
            QVERIFY(store());
            QVERIFY(GuiTest::waitFor([&] { return !store(); }));
        });
        QCOMPARE(lLater.value(0), QString("Pelimund - Idle"));
    }

    // Keys typed right after Create or Import, as the window gets them, land
    // in the new note.
    void aNewNoteTakesTheTyping() {
        windowOnNewVault();
        const auto typeKeys = [&] {
            for (char c : {'h', 'i', ' '})
                QTest::keyClick(pWnd->windowHandle(), c);
        };
        createNote("Typed");
        typeKeys();
        QCOMPARE(text(), QString("hi "));
        QVERIFY(editor()->isModified());
        QFile file(path("list.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("imported") == 8);
        file.close();
        GuiTest::answerFileDialog(file.fileName());
        action("actionImportNote")->trigger();
        typeKeys();
        QCOMPARE(text(), QString("hi imported"));
    }
};

PELIMUND_GUI_TEST_MAIN(MainWndTest)
#include "mainwnd_test.moc"
