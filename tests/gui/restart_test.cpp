// Settings across a restart: every setting the program writes is read back
// by a new process on the same settings folder, and so is a settings file as
// earlier versions wrote it. Within one process Qt answers from memory, so
// each start here is a process of its own: this program run again with
// PELIMUND_START naming the start and PELIMUND_START_HOME the folder.
#include "gui/autoforget.h"
#include "gui/mainwnd.h"
#include "gui/openvaultdlg.h"
#include "gui/optionsdlg.h"
#include "gui/syncdlg.h"
#include "support/guitest.h"
#include "sync/client.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <cstdlib>
#include <functional>
#include <optional>

namespace {

const QSize kSize(812, 533);

QString startHome() {
    return qEnvironmentVariable("PELIMUND_START_HOME");
}

QString vaultPath() {
    return QDir::toNativeSeparators(startHome() + "/Kept.vault");
}

template <typename T>
void answer(std::function<void(T *)> f) {
    GuiTest::answerModalWhere([](QWidget *p) { return qobject_cast<T *>(p); },
                              [f](QWidget *p) { f(static_cast<T *>(p)); });
}

// What the options dialog shows, in one line.
QString optionsShown(MainWnd &wnd) {
    QString sShown;
    answer<OptionsDlg>([&](OptionsDlg *d) {
        sShown = QStringList{QString::number(d->cbWelcome->isChecked()),
                             QString::number(d->cbVaultWizard->isChecked()),
                             d->sbTimeout->text(),
                             d->sbRecent->text(),
                             d->rbTabs->isChecked() ? "tabs" : "windows",
                             QString::number(d->cbWinMaxed->isChecked()),
                             d->cbTabPos->currentText(),
                             QString::number(d->cbCloseTabs->isChecked()),
                             QString::number(d->cbMoveTabs->isChecked())}
                     .join(' ');
        d->reject();
    });
    wnd.findChild<QAction *>("actionOptions")->trigger();
    return sShown;
}

// Lets what the window scheduled with a zero-delay timer run; returns the
// modal dialog that then stood (closed now), or "none".
QString modalAfterTurn() {
    QString sSeen = "none";
    bool bLooked = false;
    QTimer::singleShot(0, qApp, [&] {
        if (QWidget *pModal = QApplication::activeModalWidget()) {
            sSeen = pModal->metaObject()->className();
            pModal->close();
        }
        bLooked = true;
    });
    GuiTest::waitFor([&] { return bLooked; });
    return sSeen;
}

// Which dialog New Vault opens.
QString newVaultDialog(MainWnd &wnd) {
    QString sSeen;
    GuiTest::answerModal([&](QWidget *pModal) {
        sSeen = pModal->metaObject()->className();
        pModal->close();
    });
    wnd.findChild<QAction *>("actionNewVault")->trigger();
    return sSeen;
}

// Whether the sync dialog opens with its auto-close box ticked; the box is
// then set as bSet says, and the dialog closed once its client is done, as
// after a sync (which keeps the box's state).
bool syncDialogAutoClose(QWidget *pParent, std::optional<bool> bSet = std::nullopt) {
    Client client(nullptr, QString(), QString(), Client::ListVaults);
    QPointer<SyncDlg> pDlg = new SyncDlg(&client, false, pParent);
    pDlg->show();
    const bool bShown = pDlg->cbAutoClose->isChecked();
    pDlg->cbAutoClose->setChecked(bSet.value_or(bShown));
    emit client.done();
    pDlg->close();
    GuiTest::waitFor([&] { return pDlg.isNull(); });
    return bShown;
}

QToolBar *bar(MainWnd &wnd, const char *sName) {
    return wnd.findChild<QToolBar *>(sName);
}

// The first start: everything set away from its default, through the
// dialogs and the window, then File > Exit.
class FirstStart : public QObject {
    Q_OBJECT
private slots:
    void setEverything() {
        GuiTest::rejectModal(); // the wizard of a first start
        MainWnd wnd((QString()));
        wnd.show();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));

        answer<OptionsDlg>([](OptionsDlg *d) {
            d->cbWelcome->setChecked(false);
            d->cbVaultWizard->setChecked(false);
            d->sbTimeout->setValue(15);
            d->sbRecent->setValue(7);
            d->cbWinMaxed->setChecked(false);
            d->rbTabs->setChecked(true);
            d->cbTabPos->setCurrentText("Left");
            d->cbCloseTabs->setChecked(false);
            d->cbMoveTabs->setChecked(false);
            d->buttonBox->button(QDialogButtonBox::Ok)->click();
        });
        wnd.findChild<QAction *>("actionOptions")->trigger();

        wnd.newVault(vaultPath(), "pw");
        wnd.newNote("Kept", "html");
        // The note type's tool bars settle, then one is hidden.
        QVERIFY(GuiTest::waitFor([&] { return bar(wnd, "tbHtmlTables"); }));
        QCOMPARE(modalAfterTurn(), QString("none"));
        bar(wnd, "tbHtmlTables")->toggleViewAction()->trigger();
        bar(wnd, "tbNote")->toggleViewAction()->trigger();
        wnd.resize(kSize);
        syncDialogAutoClose(&wnd, true);
        QVERIFY(wnd.close());
    }
};

// The next start finds all of it.
class SecondStart : public QObject {
    Q_OBJECT
private slots:
    void findEverything() {
        MainWnd wnd((QString()));
        wnd.show();
        QCOMPARE(modalAfterTurn(), QString("none"));
        QCOMPARE(wnd.statusBar()->currentMessage(), QString()); // checked for updates today
        QCOMPARE(optionsShown(wnd), QString("0 0 15 min 7 tabs 0 Left 0 0"));
        QCOMPARE(newVaultDialog(wnd), QString("NewVaultDlg"));
        QVERIFY(syncDialogAutoClose(&wnd));

        const auto *pMdi = wnd.findChild<QMdiArea *>();
        QCOMPARE(pMdi->viewMode(), QMdiArea::TabbedView);
        QCOMPARE(pMdi->tabPosition(), QTabWidget::West);
        QVERIFY(!pMdi->tabsClosable() && !pMdi->tabsMovable());
        QCOMPARE(wnd.size(), kSize);
        QVERIFY(bar(wnd, "tbNote")->isHidden());

        // The recent vault opens, with its type's tool-bar layout.
        QAction *pRecent = nullptr;
        for (QAction *pEntry : wnd.findChild<QMenu *>("menuRecentVaults")->actions())
            pRecent = pEntry->property("filePath") == vaultPath() ? pEntry : pRecent;
        QVERIFY(pRecent);
        answer<OpenVaultDlg>([](OpenVaultDlg *d) {
            d->lePassword->setText("pw");
            d->accept();
        });
        pRecent->trigger();
        auto *pList = wnd.findChild<QTreeView *>("tvNote");
        QCOMPARE(pList->model()->rowCount(), 1);
        wnd.openNote(pList->model()->index(0, 0));
        QVERIFY(GuiTest::waitFor([&] { return bar(wnd, "tbHtmlTables"); }));
        QVERIFY(GuiTest::waitFor([&] { return bar(wnd, "tbHtmlTables")->isHidden(); }));
        QVERIFY(!bar(wnd, "tbHtmlEdit")->isHidden());

        // The idle time read at start closes the vault (with a shorter minute).
        auto *pIdle = wnd.findChild<AutoForget *>();
        QCOMPARE(pIdle->minutes(), 15);
        QVERIFY(pIdle->remainingTime() > 0);
        pIdle->setMinuteLength(20);
        QString sNotice;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sNotice);
        QTest::keyClick(&wnd, Qt::Key_Shift);
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY(sNotice.contains("inactivity"));
        QCOMPARE(pList->model()->rowCount(), 0);
        QVERIFY(!wnd.findChild<QAction *>("actionCreateNote")->isEnabled());
    }
};

// A settings file as earlier versions wrote the options: under
// "[%General]", twice after the options were changed in a later run (the
// later section holds the newer values).
const char kTodaysFile[] = "[%General]\n"
                           "forgetTimeout=5\n"
                           "useWelcomeDlg=true\n"
                           "\n"
                           "[%General]\n"
                           "forgetTimeout=9\n"
                           "useVaultWizard=false\n"
                           "useWelcomeDlg=false\n"
                           "\n"
                           "[recentVaults]\n"
                           "list=/nowhere/elsewhere.vault\n";

class TodaysFile : public QObject {
    Q_OBJECT
private slots:
    void readAsChosen() {
        MainWnd wnd((QString()));
        wnd.show();
        QCOMPARE(modalAfterTurn(), QString("none"));
        QCOMPARE(optionsShown(wnd), QString("0 0 9 min 4 windows 1 Top 1 1"));
        QCOMPARE(newVaultDialog(wnd), QString("NewVaultDlg"));
        QCOMPARE(wnd.findChild<AutoForget *>()->minutes(), 9);
    }
};

// Runs this program again as the start sStart, on the settings of sHome.
bool runStart(const QString &sStart, const QString &sHome) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PELIMUND_START", sStart);
    env.insert("PELIMUND_START_HOME", sHome);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QCoreApplication::applicationFilePath(), QStringList());
    const bool bEnded = process.waitForFinished(240000);
    const QByteArray baOutput = process.readAll();
    if (!bEnded || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s", baOutput.constData());
        return false;
    }
    return true;
}

} // namespace

class RestartTest : public QObject {
    Q_OBJECT
private slots:
    void everySettingHoldsAfterRestart() {
        QTemporaryDir home;
        QVERIFY(runStart("first", home.path()));
        QVERIFY(runStart("second", home.path()));
    }

    void todaysSettingsFileIsRead() {
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath("config/Quorvane"));
        QFile file(home.filePath("config/Quorvane/Pelimund.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kTodaysFile);
        file.close();
        QVERIFY(runStart("today", home.path()));
    }
};

int main(int argc, char **argv) {
    GuiTest::isolateUserFolders();
    const QByteArray baStart = qgetenv("PELIMUND_START");
    if (!baStart.isEmpty())
        setenv("XDG_CONFIG_HOME", QFile::encodeName(startHome() + "/config").constData(), 1);
    QApplication app(argc, argv);
    app.setOrganizationName("Quorvane");
    app.setApplicationName("Pelimund");
    FirstStart first;
    SecondStart second;
    TodaysFile today;
    RestartTest test;
    QObject *pRun = baStart == "first"    ? static_cast<QObject *>(&first)
                    : baStart == "second" ? static_cast<QObject *>(&second)
                    : baStart == "today"  ? static_cast<QObject *>(&today)
                                          : static_cast<QObject *>(&test);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(pRun, baStart.isEmpty() ? argc : 1, argv);
}

#include "restart_test.moc"
