// The welcome dialog: its recent entries (names shown, full paths handed
// back), the file picker, the password rule and the three results.
#include "gui/documentslocation.h"
#include "gui/iconcache.h"
#include "gui/settingskeys.h"
#include "gui/welcomedlg.h"
#include "support/guitest.h"

#include <QFileDialog>
#include <QSettings>

namespace {

const QStringList lThreeVaults{"/home/u/Documents/Diary.vault", "/srv/shared/work.notes.vault",
                               "/home/u/old.vault"};

void storeRecent(const QStringList &lPaths) {
    QSettings().setValue(SettingsKey::kRecentList, lPaths);
}

QStringList entryTexts(const WelcomeDlg &dlg) {
    QStringList lTexts;
    for (int i = 0; i < dlg.lwVaults->count(); ++i)
        lTexts << dlg.lwVaults->item(i)->text();
    return lTexts;
}

// Runs the dialog modally as the main window does, fAct working the shown
// dialog; gives exec()'s answer.
int runWith(WelcomeDlg &dlg, std::function<void(WelcomeDlg &)> fAct) {
    GuiTest::answerModal([&dlg, fAct](QWidget *pModal) {
        QCOMPARE(pModal, &dlg);
        fAct(dlg);
    });
    return dlg.exec();
}

} // namespace

class WelcomeDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        IconCache::getInstance().addIcon("vault", QIcon(":/icons/pelimund.png"));
    }
    void cleanupTestCase() { IconCache::getInstance().clear(); }
    void init() { GuiTest::clearSettings(); }
    void cleanup() { QCOMPARE(GuiTest::pendingAnswers(), 0); }

    // The newest entry is chosen with its full path in the field, the focus
    // is in the password field and opening is not yet offered.
    void threeRecentVaults() {
        storeRecent(lThreeVaults);
        WelcomeDlg dlg;
        QCOMPARE(entryTexts(dlg), QStringList({"Diary", "work", "old"}));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(dlg.lwVaults->item(i)->data(Qt::UserRole).toString(), lThreeVaults[i]);
            QVERIFY(!dlg.lwVaults->item(i)->icon().isNull());
        }
        QVERIFY(dlg.lwVaults->item(0)->isSelected());
        QCOMPARE(dlg.getVaultFile(), lThreeVaults[0]);
        QVERIFY(!dlg.pbOpen->isEnabled());
        QCOMPARE(dlg.getResult(), 0);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), dlg.lePassword);
        dlg.lwVaults->setCurrentRow(1);
        QCOMPARE(dlg.getVaultFile(), lThreeVaults[1]);
    }

    // An entry shows its file name up to the first point; a name the rule
    // would leave blank shows whole; an ampersand is a plain character. The
    // full path is what the dialog hands back.
    void entryNames_data() {
        QTest::addColumn<QString>("sPath");
        QTest::addColumn<QString>("sShown");
        const char *const aRows[][3] = {
            {"two points", "/a/b/notes.2024.vault", "notes"},
            {"no point", "/a/plain", "plain"},
            {"only the suffix", "/a/.vault", ".vault"},
            {"leading points", "/a/..vault", "..vault"},
            {"ampersand in name", "/a/Tom & Jerry.vault", "Tom & Jerry"},
            {"ampersand in folder", "/R&D/&plans.vault", "&plans"},
            {"relative", "sub/rel.vault", "rel"},
            {"folder only", "/a/b/", "/a/b/"},
        };
        for (const auto &row : aRows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }
    void entryNames() {
        QFETCH(QString, sPath);
        QFETCH(QString, sShown);
        storeRecent({sPath});
        WelcomeDlg dlg;
        QCOMPARE(entryTexts(dlg), QStringList({sShown}));
        QCOMPARE(dlg.leVault->displayText(), sPath);
        const int iAnswer = runWith(dlg, [](WelcomeDlg &shown) {
            QTest::keyClicks(shown.lePassword, "pw");
            QTest::keyClick(shown.lePassword, Qt::Key_Return);
        });
        QCOMPARE(iAnswer, int(QDialog::Accepted));
        QCOMPARE(dlg.getResult(), 2);
        QCOMPARE(dlg.getVaultFile(), sPath);
        QCOMPARE(dlg.getPassword(), QString("pw"));
    }

    // Blank lines of a hand-edited list name no vault and are left out.
    void blankEntriesLeftOut() {
        storeRecent({"", "/a/first.vault", "", "/a/second.vault"});
        WelcomeDlg dlg;
        QCOMPARE(entryTexts(dlg), QStringList({"first", "second"}));
        QCOMPARE(dlg.getVaultFile(), QString("/a/first.vault"));
    }

    // Only what the user types counts: typing enables opening, deleting
    // disables it again, and Return does nothing while it is disabled.
    void passwordRule() {
        storeRecent(lThreeVaults);
        WelcomeDlg dlg;
        dlg.show();
        QTest::keyClicks(dlg.lePassword, "s");
        QVERIFY(dlg.pbOpen->isEnabled());
        QTest::keyClick(dlg.lePassword, Qt::Key_Backspace);
        QVERIFY(!dlg.pbOpen->isEnabled());
        dlg.lePassword->setText("set by the program");
        QVERIFY(!dlg.pbOpen->isEnabled());
        QTest::keyClick(dlg.lePassword, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.getResult(), 0);
    }

    void results_data() {
        QTest::addColumn<QString>("sHow");
        QTest::addColumn<int>("iResult");
        QTest::addColumn<int>("iExec");
        QTest::newRow("create") << "create" << 1 << int(QDialog::Accepted);
        QTest::newRow("create, password typed") << "create typed" << 1 << int(QDialog::Accepted);
        QTest::newRow("open") << "open" << 2 << int(QDialog::Accepted);
        QTest::newRow("escape") << "escape" << 0 << int(QDialog::Rejected);
        QTest::newRow("window closed") << "close" << 0 << int(QDialog::Rejected);
    }
    void results() {
        QFETCH(QString, sHow);
        QFETCH(int, iResult);
        QFETCH(int, iExec);
        storeRecent(lThreeVaults);
        WelcomeDlg dlg;
        const int iAnswer = runWith(dlg, [sHow](WelcomeDlg &shown) {
            if (sHow.endsWith("typed") || sHow == "open")
                QTest::keyClicks(shown.lePassword, "secret");
            if (sHow.startsWith("create"))
                QTest::mouseClick(shown.pbNew, Qt::LeftButton);
            else if (sHow == "open")
                QTest::mouseClick(shown.pbOpen, Qt::LeftButton);
            else if (sHow == "escape")
                QTest::keyClick(&shown, Qt::Key_Escape);
            else
                shown.close();
        });
        QCOMPARE(iAnswer, iExec);
        QCOMPARE(dlg.getResult(), iResult);
        QCOMPARE(dlg.getVaultFile(), lThreeVaults[0]);
    }

    // Without recent vaults the field stays empty; opening still answers 2
    // and leaves the missing file to the caller.
    void noRecentVaults() {
        WelcomeDlg dlg;
        QCOMPARE(dlg.lwVaults->count(), 0);
        QCOMPARE(runWith(dlg,
                         [](WelcomeDlg &shown) {
                             QTest::keyClicks(shown.lePassword, "x");
                             shown.pbOpen->click();
                         }),
                 int(QDialog::Accepted));
        QCOMPARE(dlg.getResult(), 2);
        QVERIFY(dlg.getVaultFile().isEmpty());
    }

    // Picking a file clears the list's selection and keeps the picked path;
    // a cancelled picker changes nothing; choosing an entry afterwards
    // brings its path back.
    void pickFile() {
        storeRecent(lThreeVaults);
        WelcomeDlg dlg;
        dlg.show();
        const QString sPicked = GuiTest::homePath() + "/elsewhere";
        QFile file(sPicked); // the picker only takes a file that exists
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QFileDialog *pSeen = nullptr;
        QString sTitle, sFolder;
        QStringList lFilters;
        GuiTest::answerModal([&](QWidget *pModal) {
            QVERIFY((pSeen = qobject_cast<QFileDialog *>(pModal)));
            sTitle = pSeen->windowTitle();
            sFolder = pSeen->directory().absolutePath();
            lFilters = pSeen->nameFilters();
            QCOMPARE(pSeen->fileMode(), QFileDialog::ExistingFile);
            pSeen->selectFile(sPicked);
            static_cast<QDialog *>(pSeen)->accept();
        });
        QTest::mouseClick(dlg.tbPick, Qt::LeftButton);
        QCOMPARE(sTitle, QString("Pelimund - Open"));
        QCOMPARE(sFolder, QDir(documentsLocation()).absolutePath());
        QCOMPARE(lFilters, QStringList({"Pelimunds (*.vault)", "All Files (*)"}));
        QVERIFY(dlg.lwVaults->selectedItems().isEmpty());
        QCOMPARE(dlg.getVaultFile(), sPicked);

        GuiTest::rejectModal();
        QTest::mouseClick(dlg.tbPick, Qt::LeftButton);
        QCOMPARE(dlg.getVaultFile(), sPicked);
        dlg.lwVaults->setCurrentRow(2);
        QCOMPARE(dlg.getVaultFile(), lThreeVaults[2]);
    }

    void tabOrder() {
        storeRecent(lThreeVaults);
        WelcomeDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClicks(dlg.lePassword, "pw");
        QCOMPARE(GuiTest::tabOrder(dlg.lwVaults),
                 QList<QWidget *>({dlg.leVault, dlg.tbPick, dlg.lePassword, dlg.pbNew, dlg.pbOpen,
                                   dlg.lwVaults}));
    }
};

PELIMUND_GUI_TEST_MAIN(WelcomeDlgTest)
#include "welcomedlg_test.moc"
