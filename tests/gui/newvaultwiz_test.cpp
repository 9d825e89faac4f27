// The new-vault wizard: its page flow in the three modes, each page's
// completeness rule, the field contract its caller reads, the known-folder
// display and its help button.
#include "gui/documentslocation.h"
#include "gui/helpwindow.h"
#include "gui/newvaultwiz.h"
#include "gui/newvaultwizintro.h"
#include "gui/newvaultwiznote.h"
#include "gui/newvaultwizpass.h"
#include "gui/newvaultwizsync.h"
#include "support/guitest.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>

namespace {

const QString sEnterPassword("<html><head/><body><p><span style=\" font-weight:600; "
                             "color:#990000;\">Enter a password.</span></p></body></html>");
const QString sNoMatch("<html><head/><body><p><span style=\" font-weight:600; "
                       "color:#990000;\">Passwords do not match.</span></p></body></html>");
const QString sMatch("<html><head/><body><p><span style=\" font-weight:600; "
                     "color:#009900;\">Passwords match</span></p></body></html>");

// A shown wizard with typed access to its pages.
struct Wizard {
    NewVaultWiz wiz;
    NewVaultWizIntro *pIntro;
    NewVaultWizPass *pPass;
    NewVaultWizNote *pNote;
    NewVaultWizSync *pSync;

    Wizard()
        : pIntro(qobject_cast<NewVaultWizIntro *>(wiz.page(1))),
          pPass(qobject_cast<NewVaultWizPass *>(wiz.page(2))),
          pNote(qobject_cast<NewVaultWizNote *>(wiz.page(3))),
          pSync(qobject_cast<NewVaultWizSync *>(wiz.page(4))) {
        wiz.show();
    }

    QAbstractButton *button(QWizard::WizardButton eWhich) { return wiz.button(eWhich); }
    bool canGo(QWizard::WizardButton eWhich) {
        return button(eWhich)->isVisible() && button(eWhich)->isEnabled();
    }
    void next() {
        QVERIFY(canGo(QWizard::NextButton));
        button(QWizard::NextButton)->click();
    }
};

// Types into a line edit as a user would (it replaces nothing).
void type(QLineEdit *pEdit, const QString &sText) {
    QTest::keyClicks(pEdit, sText);
}

void makeFolder(const QString &sPath) {
    QVERIFY(QDir().mkpath(sPath));
}

} // namespace

class NewVaultWizTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        // Help windows the help button opened.
        for (QWidget *pWidget : QApplication::topLevelWidgets()) {
            if (qobject_cast<HelpWindow *>(pWidget))
                delete pWidget;
        }
    }

    void freshWizard() {
        Wizard w;
        QCOMPARE(w.wiz.windowTitle(), QString("Pelimund - New Vault Wizard"));
        QVERIFY(w.pIntro && w.pPass && w.pNote && w.pSync);
        QCOMPARE(w.wiz.pageIds(), QList<int>({1, 2, 3, 4}));
        QCOMPARE(w.wiz.currentId(), 1);
        QCOMPARE(w.wiz.pixmap(QWizard::WatermarkPixmap).size(), QSize(150, 300));
        QVERIFY(w.button(QWizard::HelpButton)->isVisible());

        QCOMPARE(w.pIntro->leVaultName->text(), QString("My First Vault"));
        QCOMPARE(w.pIntro->leLocation->text(),
                 QStandardPaths::displayName(QStandardPaths::DocumentsLocation));
        // The folder comes from the picker only: typed text would be ignored.
        QVERIFY(w.pIntro->leLocation->isReadOnly());
        QVERIFY(w.pIntro->rbNew->isChecked());
        QVERIFY(w.canGo(QWizard::NextButton));
        QVERIFY(!w.canGo(QWizard::FinishButton));

        QCOMPARE(w.wiz.field("mode").toInt(), 0);
        QCOMPARE(w.wiz.field("vaultName").toString(), QString("My First Vault"));
        QCOMPARE(w.wiz.field("vaultLocation").toString(), documentsLocation());
        QCOMPARE(w.wiz.field("password").toString(), QString());
        QCOMPARE(w.wiz.field("noteName").toString(), QString("My First Note"));
        QCOMPARE(w.wiz.field("enableSync").toBool(), false);
        QCOMPARE(w.wiz.field("syncRemember").toBool(), false);
    }

    void vaultNameRulesCompleteness() {
        Wizard w;
        w.pIntro->leVaultName->clear();
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());
        type(w.pIntro->leVaultName, " ");
        QVERIFY(w.canGo(QWizard::NextButton));
    }

    // Open and import finish on the first page and grey the new vault's
    // widgets; create goes on to the password page.
    void modesChangeTheWay() {
        Wizard w;
        QSignalSpy modeSpy(w.pIntro, SIGNAL(modeChanged()));
        QWidget *aNewOnly[] = {w.pIntro->leVaultName, w.pIntro->leLocation,
                               w.pIntro->tbPickLocation};

        w.pIntro->rbOpen->click();
        QCOMPARE(modeSpy.count(), 1);
        QCOMPARE(w.wiz.field("mode").toInt(), 1);
        for (QWidget *pWidget : aNewOnly)
            QVERIFY(!pWidget->isEnabled());
        QVERIFY(w.canGo(QWizard::FinishButton));
        QVERIFY(!w.canGo(QWizard::NextButton));

        w.pIntro->rbImport->click();
        QCOMPARE(w.wiz.field("mode").toInt(), 2);
        QVERIFY(w.canGo(QWizard::FinishButton));
        QVERIFY(!w.canGo(QWizard::NextButton));

        w.pIntro->rbNew->click();
        QCOMPARE(w.wiz.field("mode").toInt(), 0);
        for (QWidget *pWidget : aNewOnly)
            QVERIFY(pWidget->isEnabled());
        QVERIFY(w.canGo(QWizard::NextButton));
        QVERIFY(!w.canGo(QWizard::FinishButton));
        QCOMPARE(modeSpy.count(), 3);
    }

    // Completeness depends on the name whatever the mode.
    void emptyNameBlocksFinishToo() {
        Wizard w;
        w.pIntro->leVaultName->clear();
        w.pIntro->rbOpen->click();
        QVERIFY(!w.button(QWizard::FinishButton)->isEnabled());
        w.pIntro->rbNew->click();
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());
        type(w.pIntro->leVaultName, "V");
        QVERIFY(w.canGo(QWizard::NextButton));
    }

    void finishInOpenAndImportModes_data() {
        QTest::addColumn<QString>("sButton");
        QTest::addColumn<int>("iMode");
        QTest::newRow("open") << "rbOpen" << 1;
        QTest::newRow("import") << "rbImport" << 2;
    }
    void finishInOpenAndImportModes() {
        QFETCH(QString, sButton);
        QFETCH(int, iMode);
        Wizard w;
        w.pIntro->findChild<QRadioButton *>(sButton)->click();
        w.button(QWizard::FinishButton)->click();
        QCOMPARE(w.wiz.result(), int(QDialog::Accepted));
        QCOMPARE(w.wiz.field("mode").toInt(), iMode);
        QCOMPARE(w.wiz.visitedIds(), QList<int>({1}));
        QCOMPARE(w.wiz.field("password").toString(), QString());
        QCOMPARE(w.wiz.field("noteName").toString(), QString("My First Note"));
        QCOMPARE(w.wiz.field("enableSync").toBool(), false);
    }

    void passwordPage() {
        Wizard w;
        w.next();
        QCOMPARE(w.wiz.currentId(), 2);
        QLabel *pStatus = w.pPass->lStatus;
        QCOMPARE(pStatus->text(), sEnterPassword);
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());
        QCOMPARE(w.pPass->lePassword->echoMode(), QLineEdit::Password);
        QCOMPARE(w.pPass->leVerify->echoMode(), QLineEdit::Password);

        type(w.pPass->leVerify, "Open Sesame");
        QCOMPARE(pStatus->text(), sEnterPassword);
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());

        type(w.pPass->lePassword, "open sesame");
        QCOMPARE(pStatus->text(), sNoMatch);
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());

        w.pPass->lePassword->clear();
        type(w.pPass->lePassword, "Open Sesame");
        QCOMPARE(pStatus->text(), sMatch);
        QVERIFY(w.canGo(QWizard::NextButton));

        type(w.pPass->leVerify, " ");
        QCOMPARE(pStatus->text(), sNoMatch);
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());
        QTest::keyClick(w.pPass->leVerify, Qt::Key_Backspace);
        QCOMPARE(pStatus->text(), sMatch);
        QCOMPARE(w.wiz.field("password").toString(), QString("Open Sesame"));

        // Going back forgets this page's entries.
        w.button(QWizard::BackButton)->click();
        QCOMPARE(w.wiz.currentId(), 1);
        QCOMPARE(w.pPass->lePassword->text(), QString());
        QCOMPARE(pStatus->text(), sEnterPassword);
    }

    void notePage() {
        Wizard w;
        w.next();
        type(w.pPass->lePassword, "pw");
        type(w.pPass->leVerify, "pw");
        w.next();
        QCOMPARE(w.wiz.currentId(), 3);
        QCOMPARE(w.pNote->leNoteName->text(), QString("My First Note"));
        QVERIFY(w.canGo(QWizard::NextButton));
        w.pNote->leNoteName->clear();
        QVERIFY(!w.button(QWizard::NextButton)->isEnabled());
        type(w.pNote->leNoteName, "x");
        QVERIFY(w.canGo(QWizard::NextButton));

        // Back from here keeps the password page's entries.
        w.button(QWizard::BackButton)->click();
        QCOMPARE(w.wiz.currentId(), 2);
        QCOMPARE(w.pPass->lePassword->text(), QString("pw"));
        QCOMPARE(w.pNote->leNoteName->text(), QString("My First Note"));
    }

    // The whole road of a new vault, with the sync page's rules on the way,
    // ending in the fields the caller reads.
    void createWithSync() {
        Wizard w;
        w.pIntro->leVaultName->clear();
        type(w.pIntro->leVaultName, "Recipes");
        w.next();
        type(w.pPass->lePassword, "p4ss");
        type(w.pPass->leVerify, "p4ss");
        w.next();
        w.pNote->leNoteName->clear();
        type(w.pNote->leNoteName, "Soups");
        w.next();
        QCOMPARE(w.wiz.currentId(), 4);

        NewVaultWizSync *pSync = w.pSync;
        QWidget *aLogin[] = {pSync->lUser, pSync->leUsername, pSync->lPass, pSync->lePassword,
                             pSync->cbRemember};
        for (QWidget *pWidget : aLogin)
            QVERIFY(!pWidget->isEnabled());
        QVERIFY(w.canGo(QWizard::FinishButton));
        QVERIFY(!w.canGo(QWizard::NextButton));

        pSync->cbSync->click();
        for (QWidget *pWidget : aLogin)
            QVERIFY(pWidget->isEnabled());
        QVERIFY(!w.button(QWizard::FinishButton)->isEnabled());
        type(pSync->leUsername, "ann");
        QVERIFY(!w.button(QWizard::FinishButton)->isEnabled());
        type(pSync->lePassword, "cloudpw");
        QVERIFY(w.canGo(QWizard::FinishButton));
        pSync->cbRemember->click();
        pSync->leUsername->clear();
        QVERIFY(!w.button(QWizard::FinishButton)->isEnabled());
        type(pSync->leUsername, "bob");
        QVERIFY(w.canGo(QWizard::FinishButton));

        w.button(QWizard::FinishButton)->click();
        QCOMPARE(w.wiz.result(), int(QDialog::Accepted));
        QCOMPARE(w.wiz.field("mode").toInt(), 0);
        QCOMPARE(w.wiz.field("vaultName").toString(), QString("Recipes"));
        QCOMPARE(w.wiz.field("vaultLocation").toString(), documentsLocation());
        QCOMPARE(w.wiz.field("password").toString(), QString("p4ss"));
        QCOMPARE(w.wiz.field("noteName").toString(), QString("Soups"));
        QCOMPARE(w.wiz.field("enableSync").toBool(), true);
        QCOMPARE(w.wiz.field("syncUser").toString(), QString("bob"));
        QCOMPARE(w.wiz.field("syncPass").toString(), QString("cloudpw"));
        QCOMPARE(w.wiz.field("syncRemember").toBool(), true);
    }

    // Turning sync off keeps what was typed, and Finish works again whatever
    // the fields hold.
    void syncOffKeepsLogin() {
        Wizard w;
        w.next();
        type(w.pPass->lePassword, "a");
        type(w.pPass->leVerify, "a");
        w.next();
        w.next();
        NewVaultWizSync *pSync = w.pSync;
        pSync->cbSync->click();
        type(pSync->leUsername, "carol");
        QVERIFY(!w.button(QWizard::FinishButton)->isEnabled());
        pSync->cbSync->click();
        QVERIFY(!pSync->leUsername->isEnabled());
        QVERIFY(!pSync->cbRemember->isEnabled());
        QVERIFY(w.canGo(QWizard::FinishButton));
        w.button(QWizard::FinishButton)->click();
        QCOMPARE(w.wiz.result(), int(QDialog::Accepted));
        QCOMPARE(w.wiz.field("enableSync").toBool(), false);
        QCOMPARE(w.wiz.field("syncUser").toString(), QString("carol"));
        QCOMPARE(w.wiz.field("syncPass").toString(), QString());
    }

    // A known folder shows under its name, any other folder as its path;
    // a cancelled pick changes nothing.
    void pickedFolderDisplay() {
        const QString sDesktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        const QString sOther = GuiTest::homePath() + "/Elsewhere/Vaults";
        makeFolder(sDesktop);
        makeFolder(sOther);

        Wizard w;
        QSignalSpy locSpy(w.pIntro, SIGNAL(locChanged()));
        GuiTest::answerModal([sDesktop](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pDialog);
            QCOMPARE(pDialog->windowTitle(), QString("Pelimund - Select Location"));
            QCOMPARE(pDialog->fileMode(), QFileDialog::Directory);
            QCOMPARE(pDialog->directory().absolutePath(), QDir(documentsLocation()).absolutePath());
            pDialog->selectFile(sDesktop);
            static_cast<QDialog *>(pDialog)->accept();
        });
        w.pIntro->tbPickLocation->click();
        QCOMPARE(locSpy.count(), 1);
        QCOMPARE(QDir(w.wiz.field("vaultLocation").toString()), QDir(sDesktop));
        QCOMPARE(w.pIntro->leLocation->text(),
                 QStandardPaths::displayName(QStandardPaths::DesktopLocation));

        GuiTest::answerFileDialog(sOther);
        w.pIntro->tbPickLocation->click();
        QCOMPARE(w.pIntro->leLocation->text(), QDir::toNativeSeparators(sOther));
        QCOMPARE(QDir(w.wiz.field("vaultLocation").toString()), QDir(sOther));

        GuiTest::rejectModal();
        w.pIntro->tbPickLocation->click();
        QCOMPARE(locSpy.count(), 2);
        QCOMPARE(w.pIntro->leLocation->text(), QDir::toNativeSeparators(sOther));
        QCOMPARE(QDir(w.wiz.field("vaultLocation").toString()), QDir(sOther));
    }

    // A fresh account has no documents folder yet: the file dialogs start in
    // the home folder with no name typed in, while the wizard still proposes
    // the documents folder (made when the vault is).
    void missingDocumentsFolder() {
        const QString sDocuments =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY(QDir().rename(sDocuments, sDocuments + ".away"));
        const auto restore = qScopeGuard([&] { QDir().rename(sDocuments + ".away", sDocuments); });
        QCOMPARE(documentsLocation(), QDir::homePath());

        Wizard w;
        QCOMPARE(w.wiz.field("vaultLocation").toString(), sDocuments);
        QStringList lSeen;
        GuiTest::answerModal([&](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            lSeen << pDialog->directory().absolutePath()
                  << pDialog->findChild<QLineEdit *>("fileNameEdit")->text();
            pDialog->reject();
        });
        w.pIntro->tbPickLocation->click();
        QCOMPARE(lSeen, QStringList({QDir(QDir::homePath()).absolutePath(), QString()}));
    }

    // Folders are matched after cleaning; writing the property is silent.
    void locationIsCleanedBeforeLookup() {
        Wizard w;
        QSignalSpy locSpy(w.pIntro, SIGNAL(locChanged()));
        const QString sHome = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
        const QString sHomeName = QStandardPaths::displayName(QStandardPaths::HomeLocation);
        for (const QString &sDirty :
             {sHome + "/", sHome + "/./", sHome + "//Documents/..", sHome + "/x/../."}) {
            w.pIntro->setProperty("vaultLocation", sDirty);
            w.pIntro->updateLocation();
            QCOMPARE(w.pIntro->leLocation->text(), sHomeName);
            QCOMPARE(w.wiz.field("vaultLocation").toString(), sDirty);
        }
        w.pIntro->setProperty("vaultLocation", sHome + "/Documents/./Sub/");
        w.pIntro->updateLocation();
        QCOMPARE(w.pIntro->leLocation->text(), QDir::toNativeSeparators(sHome + "/Documents/Sub"));
        QCOMPARE(locSpy.count(), 0);
    }

    void helpButtonShowsQuickStart() {
        Wizard w;
        w.button(QWizard::HelpButton)->click();
        HelpWindow *pHelp = nullptr;
        for (QWidget *pWidget : QApplication::topLevelWidgets()) {
            if (auto *pFound = qobject_cast<HelpWindow *>(pWidget))
                pHelp = pFound;
        }
        QVERIFY(pHelp);
        QVERIFY(pHelp->isVisible());
        QCOMPARE(pHelp->currentUrl(), QUrl("qrc:/help/quickstart.html"));
        QVERIFY(w.wiz.isVisible());
    }
};

PELIMUND_GUI_TEST_MAIN(NewVaultWizTest)
#include "newvaultwiz_test.moc"
