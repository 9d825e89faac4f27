// The cloud dialogs: the login dialog's OK rule, focus and shortcut for a
// held password; the import list with its sizes, OK rule and selection; the
// progress dialog following a client, refusing to close while it runs, and
// its auto-close setting.
#include "gui/importdlg.h"
#include "gui/logindlg.h"
#include "gui/settingskeys.h"
#include "gui/syncdlg.h"
#include "support/guitest.h"
#include "sync/client.h"

#include <QHeaderView>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace {

bool okEnabled(QDialogButtonBox *pBox) {
    return pBox->button(QDialogButtonBox::Ok)->isEnabled();
}

VaultInfoList someVaults() {
    VaultInfoList lVaults;
    lVaults.append({"4f1c-recipes", "Recipes", 500});
    lVaults.append({"id-2", "Work & Travel", 1536 * 1024});
    lVaults.append({"id-3", "Exactly", 1024});
    return lVaults;
}

} // namespace

class SyncDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void cleanup() {
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        GuiTest::clearSettings();
    }

    // OK needs both fields; they are filled as the user types.
    void loginOkRule() {
        LoginDlg dialog{QString()};
        QCOMPARE(dialog.windowTitle(), QString("Pelimund - Login"));
        QCOMPARE(dialog.size(), QSize(432, 115));
        QCOMPARE(dialog.lePassword->echoMode(), QLineEdit::Password);
        QVERIFY(!okEnabled(dialog.buttonBox));
        dialog.leUsername->setText("ada");
        QVERIFY(!okEnabled(dialog.buttonBox));
        dialog.lePassword->setText("pw");
        QVERIFY(okEnabled(dialog.buttonBox));
        dialog.leUsername->clear();
        QVERIFY(!okEnabled(dialog.buttonBox));
    }

    // A held password skips the dialog; otherwise the dialog asks, with the
    // user name filled in and the focus on the password, and hands back
    // the login and the remember box only when accepted.
    void getLogin() {
        bool bShown = false;
        QTimer::singleShot(0, [&] {
            if (auto *pModal = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                bShown = true;
                pModal->reject();
            }
        });
        QString sUser = "ada", sPass = "held";
        QVERIFY(LoginDlg::getLogin(sUser, sPass));
        QTest::qWait(0);
        QVERIFY(!bShown);
        QCOMPARE(sPass, QString("held"));

        sPass.clear();
        bool bRemember = true;
        QStringList lSeen;
        GuiTest::answerModal([&lSeen](QWidget *pModal) {
            auto *pLogin = qobject_cast<LoginDlg *>(pModal);
            lSeen << pLogin->leUsername->text()
                  << (pLogin->focusWidget() ? pLogin->focusWidget()->objectName() : "none")
                  << QString::number(pLogin->cbRemember->isChecked())
                  << QString::number(okEnabled(pLogin->buttonBox));
            QTest::keyClicks(pLogin->lePassword, "lovelace");
            pLogin->cbRemember->setChecked(false);
            pLogin->buttonBox->button(QDialogButtonBox::Ok)->click();
        });
        QVERIFY(LoginDlg::getLogin(sUser, sPass, nullptr, &bRemember));
        QCOMPARE(lSeen, QStringList({"ada", "lePassword", "1", "0"}));
        QCOMPARE(sUser, QString("ada"));
        QCOMPARE(sPass, QString("lovelace"));
        QVERIFY(!bRemember);

        sUser.clear();
        sPass.clear();
        GuiTest::answerModal([](QWidget *pModal) {
            auto *pLogin = qobject_cast<LoginDlg *>(pModal);
            pLogin->leUsername->setText("bob");
            pLogin->lePassword->setText("x");
            pLogin->reject();
        });
        QVERIFY(!LoginDlg::getLogin(sUser, sPass));
        QVERIFY(sUser.isEmpty() && sPass.isEmpty());
    }

    // One row per remote vault in list order, its size in words; OK needs
    // a row and a typed password.
    void importList() {
        ImportDlg dialog(someVaults());
        QCOMPARE(dialog.windowTitle(), QString("Pelimund - Import"));
        QCOMPARE(dialog.size(), QSize(400, 300));
        QTableWidget *pTable = dialog.twVaults;
        QCOMPARE(pTable->columnCount(), 2);
        QCOMPARE(pTable->horizontalHeaderItem(0)->text(), QString("Vault Name"));
        QCOMPARE(pTable->horizontalHeaderItem(1)->text(), QString("Size"));
        QVERIFY(!pTable->verticalHeader()->isVisible());
        QCOMPARE(pTable->rowCount(), 3);
        QCOMPARE(pTable->item(1, 0)->text(), QString("Work & Travel"));
        QCOMPARE(pTable->item(1, 0)->data(Qt::UserRole).toByteArray(), QByteArray("id-2"));
        QStringList lSizes;
        for (int i = 0; i < 3; ++i)
            lSizes << pTable->item(i, 1)->text();
        QCOMPARE(lSizes, QStringList({"500.0 b", "1.5 MiB", "1,024.0 b"}));
        QCOMPARE(pTable->editTriggers(), QAbstractItemView::NoEditTriggers);

        QVERIFY(!okEnabled(dialog.buttonBox));
        pTable->selectRow(1);
        QVERIFY(!okEnabled(dialog.buttonBox));
        QTest::keyClicks(dialog.lePassword, "pw");
        QVERIFY(okEnabled(dialog.buttonBox));
        pTable->clearSelection();
        QVERIFY(!okEnabled(dialog.buttonBox));

        QByteArray baId = "untouched";
        QString sName = "untouched", sPass = "untouched";
        dialog.getSelection(baId, sName, sPass);
        QCOMPARE(baId, QByteArray("untouched"));
        pTable->selectRow(1);
        QVERIFY(okEnabled(dialog.buttonBox));
        dialog.getSelection(baId, sName, sPass);
        QCOMPARE(baId, QByteArray("id-2"));
        QCOMPARE(sName, QString("Work & Travel"));
        QCOMPARE(sPass, QString("pw"));
    }

    void emptyImportListNeverEnablesOk() {
        ImportDlg dialog{VaultInfoList()};
        QCOMPARE(dialog.twVaults->rowCount(), 0);
        QTest::keyClicks(dialog.lePassword, "pw");
        QVERIFY(!okEnabled(dialog.buttonBox));
    }

    // The dialog follows the client's text, count and step, stays while the
    // client runs and shows full once it is done.
    void progress() {
        Client client(nullptr, "ada", "pw", Client::SyncVault);
        QPointer<SyncDlg> pDialog = new SyncDlg(&client, false);
        QCOMPARE(pDialog->windowTitle(), QString("Pelimund - Synchronize"));
        QCOMPARE(pDialog->size(), QSize(400, 99));
        QVERIFY(pDialog->isModal());
        pDialog->show();
        QCOMPARE(pDialog->pbSync->maximum(), 0);
        QVERIFY(!pDialog->buttonBox->isEnabled());
        emit client.operationText("Sending changed notes...");
        emit client.operationCount(5);
        emit client.operationStep(2);
        QCOMPARE(pDialog->lStatus->text(), QString("Sending changed notes..."));
        QCOMPARE(pDialog->pbSync->maximum(), 5);
        QCOMPARE(pDialog->pbSync->value(), 2);

        QVERIFY(!pDialog->close());
        QTest::keyClick(pDialog, Qt::Key_Escape);
        QVERIFY(pDialog->isVisible());

        emit client.done();
        QVERIFY(pDialog->isVisible());
        QVERIFY(pDialog->buttonBox->isEnabled());
        QCOMPARE(pDialog->pbSync->maximum(), 1);
        QCOMPARE(pDialog->pbSync->value(), 1);
        pDialog->cbAutoClose->setChecked(true);
        pDialog->buttonBox->button(QDialogButtonBox::Ok)->click();
        QVERIFY(GuiTest::waitFor([&] { return pDialog.isNull(); }));
        QVERIFY(QSettings().value(SettingsKey::kSyncAutoClose).toBool());
    }

    // "Close automatically when done" is kept, and closes the next dialog by
    // itself; a dialog made to close when done does so whatever the setting.
    void autoClose() {
        QSettings().setValue(SettingsKey::kSyncAutoClose, true);
        Client client(nullptr, "ada", "pw", Client::SyncVault);
        QPointer<SyncDlg> pDialog = new SyncDlg(&client, false);
        QVERIFY(pDialog->cbAutoClose->isChecked());
        pDialog->show();
        pDialog->cbAutoClose->setChecked(false);
        emit client.done();
        QVERIFY(pDialog->isVisible());
        QTest::keyClick(pDialog, Qt::Key_Escape);
        QVERIFY(GuiTest::waitFor([&] { return pDialog.isNull(); }));
        QVERIFY(!QSettings().value(SettingsKey::kSyncAutoClose).toBool());

        Client listing(nullptr, "ada", "pw", Client::ListVaults);
        pDialog = new SyncDlg(&listing, true);
        pDialog->show();
        emit listing.done();
        QVERIFY(GuiTest::waitFor([&] { return pDialog.isNull(); }));
    }
};

PELIMUND_GUI_TEST_MAIN(SyncDialogsTest)
#include "syncdialogs_test.moc"
