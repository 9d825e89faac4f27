// The vault and note dialogs: the new-vault dialog's refusals and suffix
// rule, and what the password, new-note and rename dialogs hand back.
#include "gui/documentslocation.h"
#include "gui/newnotedlg.h"
#include "gui/newvaultdlg.h"
#include "gui/openvaultdlg.h"
#include "gui/renamenotedlg.h"
#include "support/guitest.h"

#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>

namespace {

struct BoxSeen {
    QString sTitle;
    QString sText;
    QMessageBox::Icon eIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons eButtons;
    bool bDefault = false;
};

// Answers the next message box with Ok and records what it showed.
void answerBox(BoxSeen *pSeen) {
    GuiTest::answerModal([pSeen](QWidget *pModal) {
        auto *pBox = qobject_cast<QMessageBox *>(pModal);
        QVERIFY(pBox);
        pSeen->sTitle = pBox->windowTitle();
        pSeen->sText = pBox->text();
        pSeen->eIcon = pBox->icon();
        pSeen->eButtons = pBox->standardButtons();
        pSeen->bDefault = pBox->defaultButton() != nullptr;
        pBox->button(QMessageBox::Ok)->click();
    });
}

struct FileDialogSeen {
    QString sTitle;
    QString sDirectory;
    QStringList lFilters;
    QFileDialog::AcceptMode eMode = QFileDialog::AcceptOpen;
    bool bConfirmsOverwrite = true;
};

// Answers the next file dialog with sPath (or cancels it when empty) and
// records how it was set up.
void answerFile(FileDialogSeen *pSeen, const QString &sPath) {
    GuiTest::answerModal([pSeen, sPath](QWidget *pModal) {
        auto *pDialog = qobject_cast<QFileDialog *>(pModal);
        QVERIFY(pDialog);
        pSeen->sTitle = pDialog->windowTitle();
        pSeen->sDirectory = pDialog->directory().absolutePath();
        pSeen->lFilters = pDialog->nameFilters();
        pSeen->eMode = pDialog->acceptMode();
        pSeen->bConfirmsOverwrite = !pDialog->testOption(QFileDialog::DontConfirmOverwrite);
        if (sPath.isEmpty()) {
            pDialog->reject();
        } else {
            pDialog->selectFile(sPath);
            static_cast<QDialog *>(pDialog)->accept();
        }
    });
}

QString inHome(const QString &sName) {
    return GuiTest::homePath() + "/" + sName;
}

} // namespace

class VaultDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(GuiTest::pendingAnswers(), 0); }

    // Passwords must match exactly; a mismatch is refused with a box and
    // the dialog stays open with both entries as they were.
    void newVaultMismatch_data() {
        QTest::addColumn<QString>("sFirst");
        QTest::addColumn<QString>("sSecond");
        QTest::newRow("different") << "secret"
                                   << "other";
        QTest::newRow("letter case") << "Secret"
                                     << "secret";
        QTest::newRow("trailing blank") << "secret"
                                        << "secret ";
        QTest::newRow("one empty") << ""
                                   << "secret";
    }
    void newVaultMismatch() {
        QFETCH(QString, sFirst);
        QFETCH(QString, sSecond);
        NewVaultDlg dlg;
        dlg.show();
        dlg.lePassword1->setText(sFirst);
        dlg.lePassword2->setText(sSecond);
        BoxSeen seen;
        answerBox(&seen);
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();

        QCOMPARE(seen.sTitle, QString("Pelimund - Password Mismatch"));
        QCOMPARE(seen.sText,
                 QString("The two passwords you entered don't match, please try again."));
        QCOMPARE(seen.eIcon, QMessageBox::Critical);
        QCOMPARE(seen.eButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.lePassword1->text(), sFirst);
        QCOMPARE(dlg.lePassword2->text(), sSecond);
        QVERIFY(dlg.getFilename().isEmpty());
    }

    // Two empty entries match; a cancelled file dialog keeps the dialog
    // open, and Ok asks again.
    void newVaultCancelledFileDialog() {
        NewVaultDlg dlg;
        dlg.show();
        FileDialogSeen seen;
        answerFile(&seen, QString());
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(seen.sTitle, QString("Pelimund - Open"));
        QCOMPARE(seen.eMode, QFileDialog::AcceptSave);
        QCOMPARE(seen.sDirectory, QDir(documentsLocation()).absolutePath());
        QCOMPARE(seen.lFilters, QStringList({"Pelimunds (*.vault)", "All Files (*)"}));
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.getFilename().isEmpty());

        answerFile(&seen, inHome("again"));
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.getFilename(), inHome("again.vault"));
        QCOMPARE(dlg.getPassword(), QString(""));
    }

    // ".vault" is added unless the name ends in exactly that, letter case
    // included.
    void newVaultSuffix_data() {
        QTest::addColumn<QString>("sTyped");
        QTest::addColumn<QString>("sExpected");
        QTest::newRow("none") << "plain"
                              << "plain.vault";
        QTest::newRow("has it") << "kept.vault"
                                << "kept.vault";
        QTest::newRow("upper case") << "shout.VAULT"
                                    << "shout.VAULT.vault";
        QTest::newRow("other suffix") << "notes.txt"
                                      << "notes.txt.vault";
        QTest::newRow("inside only") << "a.vault.bak"
                                     << "a.vault.bak.vault";
    }
    void newVaultSuffix() {
        QFETCH(QString, sTyped);
        QFETCH(QString, sExpected);
        NewVaultDlg dlg;
        dlg.show();
        dlg.lePassword1->setText("Pass word");
        dlg.lePassword2->setText("Pass word");
        FileDialogSeen seen;
        answerFile(&seen, inHome(sTyped));
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.getFilename(), inHome(sExpected));
        QCOMPARE(dlg.getPassword(), QString("Pass word"));
    }

    // The file dialog asks nothing of its own: whether ".vault" was added
    // or typed, the dialog's question is the one box, a file there is
    // replaced only when the user agrees, and No keeps the dialog open.
    void newVaultAsksOnceForEveryPath() {
        QFile taken(inHome("taken.vault"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        for (const char *sTyped : {"taken", "taken.vault"}) {
            NewVaultDlg dlg;
            dlg.show();
            for (auto eAnswer : {QMessageBox::No, QMessageBox::Yes}) {
                FileDialogSeen seen;
                answerFile(&seen, inHome(sTyped));
                GuiTest::answerMessageBox(eAnswer);
                dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
                QVERIFY(!seen.bConfirmsOverwrite);
                QCOMPARE(dlg.isVisible(), eAnswer == QMessageBox::No);
            }
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(dlg.getFilename(), inHome("taken.vault"));
        }
        QVERIFY(taken.remove());
    }

    void openVaultHandsBackWhatWasTyped_data() {
        QTest::addColumn<QString>("sTyped");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks kept") << "  two words ";
    }
    void openVaultHandsBackWhatWasTyped() {
        QFETCH(QString, sTyped);
        OpenVaultDlg dlg;
        QCOMPARE(dlg.lePassword->echoMode(), QLineEdit::Password);
        dlg.show();
        QTest::keyClicks(dlg.lePassword, sTyped);
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.getPassword(), sTyped);
    }

    void newNoteNameHasTheFocus() {
        NewNoteDlg dlg;
        QCOMPARE(dlg.cbType->count(), 1);
        QCOMPARE(dlg.cbType->itemText(0), QString("Text Document (html)"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), dlg.leName);
        QTest::keyClicks(QApplication::focusWidget(), " Shopping list");
        dlg.buttonBox->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.getName(), QString(" Shopping list"));
    }

    void renameOffersTheNameCutAt80() {
        const QString sLong(100, QChar('n'));
        QString sOffered;
        GuiTest::answerModal([&sOffered](QWidget *pModal) {
            auto *pDlg = qobject_cast<RenameNoteDlg *>(pModal);
            QVERIFY(pDlg);
            QCOMPARE(pDlg->windowTitle(), QString("Pelimund - Rename Note"));
            sOffered = pDlg->leName->text();
            pDlg->accept();
        });
        QCOMPARE(RenameNoteDlg::getName(sLong), sLong.left(80));
        QCOMPARE(sOffered, sLong.left(80));
    }

    void renameCutsTypedTextAt80() {
        GuiTest::answerModal([](QWidget *pModal) {
            auto *pDlg = qobject_cast<RenameNoteDlg *>(pModal);
            QVERIFY(pDlg);
            pDlg->leName->clear();
            QTest::keyClicks(pDlg->leName, QString(90, QChar('x')));
            pDlg->buttonBox->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(RenameNoteDlg::getName("Old"), QString(80, QChar('x')));
    }

    // Cancel gives a null string, an emptied field an empty one: callers
    // tell the two apart.
    void renameCancelAndEmpty() {
        GuiTest::rejectModal();
        const QString sCancelled = RenameNoteDlg::getName("Diary");
        QVERIFY(sCancelled.isNull());

        GuiTest::answerModal([](QWidget *pModal) {
            auto *pDlg = qobject_cast<RenameNoteDlg *>(pModal);
            QVERIFY(pDlg);
            QTest::keyClick(pDlg->leName, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(pDlg->leName, Qt::Key_Delete);
            QVERIFY(pDlg->leName->text().isEmpty());
            pDlg->accept();
        });
        const QString sEmptied = RenameNoteDlg::getName("Diary");
        QVERIFY(sEmptied.isEmpty());
        QVERIFY(!sEmptied.isNull());

        GuiTest::answerModal([](QWidget *pModal) { static_cast<QDialog *>(pModal)->accept(); });
        const QString sEmptyOffered = RenameNoteDlg::getName(QString());
        QVERIFY(sEmptyOffered.isEmpty());
        QVERIFY(!sEmptyOffered.isNull());
    }
};

PELIMUND_GUI_TEST_MAIN(VaultDialogsTest)
#include "vaultdialogs_test.moc"
