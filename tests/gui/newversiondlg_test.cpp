// NewVersionDlg: the offer, and the installer's download from a real HTTP
// server on the loopback address: complete, failed, cancelled, stalled, into
// a folder where names are taken; the file is kept only when whole, and it
// is never run.
#include "gui/mainwnd.h"
#include "gui/newversiondlg.h"
#include "gui/notewidgethtml.h"
#include "gui/settingskeys.h"
#include "support/guitest.h"
#include "support/updatefixture.h"
#include "support/urlcatcher.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>

#include <memory>

Q_DECLARE_METATYPE(HttpServer::Reply)

namespace {

QByteArray randomBytes(int iSize) {
    QByteArray baOut(iSize, '\0');
    QRandomGenerator generator(iSize);
    for (char &c : baOut)
        c = char(generator.bounded(256));
    return baOut;
}

QByteArray contentOf(const QString &sPath) {
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeFile(const QString &sPath, const QByteArray &baData) {
    QFile file(sPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(baData);
}

// A download that trickles: 100 KiB in 1 KiB pieces, 30 ms apart.
HttpServer::Reply tricklingReply() {
    HttpServer::Reply reply;
    reply.baBody = randomBytes(100 * 1024);
    reply.iPieceBytes = 1024;
    reply.iPieceDelayMs = 30;
    return reply;
}

} // namespace

class NewVersionDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<GuiTest::UpdateHost> pHost;
    std::unique_ptr<NewVersionDlg> pDialog;

    HttpServer &server() { return pHost->server; }
    QString temp(const QString &sName) const { return pHost->temp.filePath(sName); }
    // The dialog for version 1.00.04 at the server's sPath, shown.
    NewVersionDlg *dialog(const QString &sPath, QWidget *pParent = nullptr) {
        pDialog =
            std::make_unique<NewVersionDlg>(pParent, "1.00.04", server().url(sPath).toString());
        pDialog->show();
        return pDialog.get();
    }
    QProgressDialog *progress() const { return pDialog->findChild<QProgressDialog *>(); }
    bool recorded() const { return QSettings().contains(SettingsKey::kDownloadPath); }
    bool downloading() const { return !pDialog->pbUpdate->isEnabled(); }
    // Presses "Update Now" and waits for the download to end in a message
    // box, which is answered with eButton; returns its text.
    QString downloadToTheEnd(QMessageBox::StandardButton eButton) {
        QString sText;
        GuiTest::answerMessageBox(eButton, &sText);
        pDialog->pbUpdate->click();
        GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; });
        return sText;
    }
    QStringList tempFiles() const {
        return QDir(pHost->temp.path()).entryList(QDir::Files | QDir::System);
    }

private slots:
    void init() {
        GuiTest::clearSettings();
        pHost = std::make_unique<GuiTest::UpdateHost>();
    }

    void cleanup() {
        pDialog.reset();
        pHost.reset();
        QCOMPARE(GuiTest::pendingAnswers(), 0);
    }

    void form() {
        NewVersionDlg *pDlg = dialog("/dl/setup.exe");
        QCOMPARE(pDlg->windowTitle(), QString("Pelimund - New Version"));
        QVERIFY(!pDlg->pbUpdate->icon().isNull());
        QVERIFY(pDlg->pbUpdate->isDefault());
        QVERIFY(pDlg->lVersion->openExternalLinks());
        QCOMPARE(pDlg->lVersion->text(), "1.00.04 (<a href=\"" +
                                             server().url("/dl/setup.exe").toString() +
                                             "\">Manual Download</a>)");
        QVERIFY(!progress());
        QVERIFY(pDlg->target().isEmpty());
    }

    // The link opens in the system's browser.
    void manualDownloadLink() {
        GuiTest::UrlCatcher catcher("http");
        NewVersionDlg *pDlg = dialog("/dl/setup.exe");
        QVERIFY(QTest::qWaitForWindowExposed(pDlg));
        QLabel *pLabel = pDlg->lVersion;
        const int iX =
            pLabel->fontMetrics().horizontalAdvance("1.00.04 (Manual") + pLabel->margin();
        QTest::mouseClick(pLabel, Qt::LeftButton, {}, QPoint(iX, pLabel->height() / 2));
        QCOMPARE(catcher.lOpened, QList<QUrl>{server().url("/dl/setup.exe")});
    }

    // A whole download is kept under its address's file name, recorded,
    // and offered in its folder; it is not started.
    void completeDownload_data() {
        QTest::addColumn<HttpServer::Reply>("reply");
        QTest::addColumn<QString>("sPath");
        QTest::addColumn<QString>("sName");
        HttpServer::Reply reply;
        reply.baBody = randomBytes(300 * 1024);
        QTest::newRow("with its length") << reply << "/dl/setup.exe"
                                         << "setup.exe";
        QTest::newRow("a query") << reply << "/dl/setup.exe?session=5&x=/y"
                                 << "setup.exe";
        QTest::newRow("no file name") << reply << "/dl/"
                                      << "pelimund-update";
        QTest::newRow("a hidden name") << reply << "/dl/.bashrc"
                                       << "pelimund-update";
        QTest::newRow("an encoded slash") << reply << "/dl/a%2Fb.exe"
                                          << "b.exe";
        reply.eFraming = HttpServer::Reply::Close;
        QTest::newRow("without length") << reply << "/setup.exe"
                                        << "setup.exe";
        reply.eFraming = HttpServer::Reply::Chunked;
        reply.iPieceBytes = 16 * 1024;
        QTest::newRow("chunked") << reply << "/setup.exe"
                                 << "setup.exe";
        reply.iPieceDelayMs = 5;
        QTest::newRow("slow") << reply << "/setup.exe"
                              << "setup.exe";
        reply = HttpServer::Reply();
        QTest::newRow("empty") << reply << "/setup.exe"
                               << "setup.exe";
    }
    void completeDownload() {
        QFETCH(HttpServer::Reply, reply);
        QFETCH(QString, sPath);
        QFETCH(QString, sName);
        GuiTest::UrlCatcher catcher("file");
        server().setReply(sPath.left(sPath.indexOf('?')), reply);
        NewVersionDlg *pDlg = dialog(sPath);
        const QString sText = downloadToTheEnd(QMessageBox::Yes);
        const QString sTarget = temp(sName);
        QVERIFY2(sText.startsWith("Version 1.00.04 was downloaded to\n" + sTarget + "\n"),
                 qPrintable(sText));
        QCOMPARE(pDlg->target(), sTarget);
        QCOMPARE(contentOf(sTarget), reply.baBody);
        QCOMPARE(tempFiles(), QStringList{sName});
        QVERIFY(!(QFileInfo(sTarget).permissions() & QFileDevice::ExeUser));
        QCOMPARE(QSettings().value(SettingsKey::kDownloadPath).toString(), sTarget);
        QCOMPARE(QSettings().value(SettingsKey::kDownloadVersion).toString(), QString("1.00.04"));
        QCOMPARE(catcher.lOpened, QList<QUrl>{QUrl::fromLocalFile(pHost->temp.path())});
        QCOMPARE(pDlg->result(), int(QDialog::Accepted));
        QVERIFY(!progress());
        // Asked for unpacked bytes, so that the length announced is the
        // length written.
        QVERIFY(server().lastRequest().contains("Accept-Encoding: identity"));
    }

    // The target is always a new file: names already taken, by a file or a
    // link planted there, are passed over and left alone. Declined, the
    // folder is not opened.
    void takenNames() {
        GuiTest::UrlCatcher catcher("file");
        QTemporaryDir elsewhere(GuiTest::homePath() + "/keep-XXXXXX");
        const QString sPrecious = elsewhere.filePath("precious");
        writeFile(sPrecious, "keep me");
        writeFile(temp("setup.exe"), "older download");
        QVERIFY(QFile::link(sPrecious, temp("setup-2.exe")));
        QVERIFY(QFile::link(elsewhere.filePath("nothing-yet"), temp("setup-3.exe")));
        HttpServer::Reply reply;
        reply.baBody = "new installer";
        server().setReply("/setup.exe", reply);
        NewVersionDlg *pDlg = dialog("/setup.exe");
        downloadToTheEnd(QMessageBox::No);
        QCOMPARE(pDlg->target(), temp("setup-4.exe"));
        QCOMPARE(contentOf(temp("setup-4.exe")), QByteArray("new installer"));
        QCOMPARE(contentOf(temp("setup.exe")), QByteArray("older download"));
        QCOMPARE(contentOf(sPrecious), QByteArray("keep me"));
        QVERIFY(!QFileInfo::exists(elsewhere.filePath("nothing-yet")));
        QVERIFY(catcher.lOpened.isEmpty());
    }

    // Path and version are recorded as soon as the file exists, before a
    // byte has come; a download that stops is ended, its file deleted.
    void recordedAtOnceAndStalled() {
        HttpServer::Reply reply;
        reply.baBody = randomBytes(1000);
        reply.iCutAfter = 0;
        reply.eCut = HttpServer::Reply::Stall;
        server().setReply("/setup.exe", reply);
        NewVersionDlg *pDlg = dialog("/setup.exe");
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        pDlg->download();
        QCOMPARE(QSettings().value(SettingsKey::kDownloadPath).toString(), temp("setup.exe"));
        QCOMPARE(QSettings().value(SettingsKey::kDownloadVersion).toString(), QString("1.00.04"));
        QVERIFY(QFile::exists(temp("setup.exe")));
        QVERIFY(progress() && progress()->isVisible());
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sText,
                 QString("The download failed: the server stopped sending.\n\nNothing was kept."));
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!QSettings().contains(SettingsKey::kDownloadGroup));
        QVERIFY(!downloading());
    }

    // Whatever goes wrong, nothing is kept and the user is told why.
    void failedDownload_data() {
        QTest::addColumn<HttpServer::Reply>("reply");
        QTest::addColumn<QString>("sWhy"); // empty: Qt's own words
        HttpServer::Reply reply;
        reply.baBody = "no such file";
        reply.iStatus = 404;
        reply.baReason = "Not Found";
        QTest::newRow("404") << reply << "the server answered 404 Not Found";
        reply.iStatus = 302;
        reply.baReason = "Found";
        QTest::newRow("redirect nowhere") << reply << "";
        reply = HttpServer::Reply();
        reply.baBody = randomBytes(50 * 1024);
        reply.iCutAfter = 20 * 1024;
        QTest::newRow("dropped") << reply << "";
        reply.eFraming = HttpServer::Reply::Chunked;
        reply.iPieceBytes = 4096;
        QTest::newRow("dropped between chunks") << reply << "";
        reply = HttpServer::Reply();
        reply.baBody = randomBytes(50 * 1024);
        reply.iPieceBytes = 1024;
        reply.iPieceDelayMs = 5;
        reply.iCutAfter = 10 * 1024;
        reply.eCut = HttpServer::Reply::Stall;
        QTest::newRow("stalled midway") << reply << "the server stopped sending";
        reply = HttpServer::Reply();
        reply.baRaw = "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort";
        QTest::newRow("short of its length") << reply << "";
        reply.baRaw = "garbage\r\n\r\n";
        QTest::newRow("not HTTP") << reply << "";
    }
    void failedDownload() {
        QFETCH(HttpServer::Reply, reply);
        QFETCH(QString, sWhy);
        server().setReply("/setup.exe", reply);
        dialog("/setup.exe");
        const QString sText = downloadToTheEnd(QMessageBox::Ok);
        if (!sWhy.isEmpty())
            QCOMPARE(sText, "The download failed: " + sWhy + ".\n\nNothing was kept.");
        QVERIFY2(sText.startsWith("The download failed: ") && sText.endsWith("Nothing was kept."),
                 qPrintable(sText));
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!recorded());
        QVERIFY(!QSettings().contains(SettingsKey::kDownloadVersion));
        QVERIFY(!progress());
        QVERIFY(!downloading());
        QVERIFY(pDialog->isVisible()); // the user may try again
    }

    // Cancel stops the download and keeps nothing.
    void cancel() {
        server().setReply("/setup.exe", tricklingReply());
        NewVersionDlg *pDlg = dialog("/setup.exe");
        pDlg->download();
        QVERIFY(GuiTest::waitFor(
            [this] { return progress()->labelText().startsWith("Downloading update: "); }));
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        progress()->findChild<QPushButton *>()->click();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sText, QString("The download was cancelled; nothing was kept."));
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!recorded());
        QVERIFY(!downloading());
    }

    // A second download first deletes the installer the first one recorded,
    // whether it then completes, fails or is cancelled: none is left behind
    // unrecorded.
    void earlierDownloadGoes_data() {
        QTest::addColumn<int>("iStatus");
        QTest::addColumn<bool>("bCancel");
        QTest::newRow("completes") << 200 << false;
        QTest::newRow("fails") << 404 << false;
        QTest::newRow("is cancelled") << 200 << true;
    }
    void earlierDownloadGoes() {
        QFETCH(int, iStatus);
        QFETCH(bool, bCancel);
        HttpServer::Reply reply;
        reply.baBody = "first";
        server().setReply("/setup.exe", reply);
        dialog("/setup.exe");
        downloadToTheEnd(QMessageBox::No);
        QCOMPARE(QSettings().value("update-dl/path").toString(), temp("setup.exe"));
        reply.baBody = "second";
        reply.iStatus = iStatus;
        server().setReply("/setup.exe", reply);
        const bool bKept = iStatus == 200 && !bCancel;
        GuiTest::answerMessageBox(bKept ? QMessageBox::No : QMessageBox::Ok);
        dialog("/setup.exe")->download();
        if (bCancel)
            progress()->findChild<QPushButton *>()->click();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(tempFiles(), bKept ? QStringList{"setup.exe"} : QStringList{});
        QCOMPARE(contentOf(temp("setup.exe")), QByteArray(bKept ? "second" : "(unreadable)"));
        QCOMPARE(QSettings().value("update-dl/path").toString(),
                 bKept ? temp("setup.exe") : QString());
    }

    // While a download runs, "Update Now" is off and a second start is
    // ignored: one request, one file.
    void oneDownloadAtATime() {
        server().setReply("/setup.exe", tricklingReply());
        NewVersionDlg *pDlg = dialog("/setup.exe");
        pDlg->download();
        QVERIFY(downloading());
        pDlg->download();
        GuiTest::answerMessageBox(QMessageBox::No);
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(server().requestCount("/setup.exe"), 1);
        QCOMPARE(tempFiles(), QStringList{"setup.exe"});
        QCOMPARE(contentOf(temp("setup.exe")).size(), 100 * 1024);
    }

    // An unknown length keeps the display busy and says so, while the bytes
    // are written all the same.
    void unknownLength() {
        HttpServer::Reply reply = tricklingReply();
        reply.eFraming = HttpServer::Reply::Close;
        server().setReply("/setup.exe", reply);
        NewVersionDlg *pDlg = dialog("/setup.exe");
        pDlg->download();
        QVERIFY(GuiTest::waitFor([this] { return progress()->labelText().contains(" KiB of "); }));
        QVERIFY2(progress()->labelText().contains(" of unknown size ("),
                 qPrintable(progress()->labelText()));
        QCOMPARE(progress()->maximum(), 0);
        QCOMPARE(progress()->minimum(), 0);
        QVERIFY(GuiTest::waitFor([this] { return QFileInfo(temp("setup.exe")).size() > 0; }));
        GuiTest::answerMessageBox(QMessageBox::No);
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(contentOf(temp("setup.exe")), reply.baBody);
    }

    // A known length shows as a bar and as text.
    void knownLength() {
        server().setReply("/setup.exe", tricklingReply());
        NewVersionDlg *pDlg = dialog("/setup.exe");
        pDlg->download();
        QVERIFY(GuiTest::waitFor([this] { return progress()->value() > 0; }));
        QCOMPARE(progress()->maximum(), 100 * 1024);
        QVERIFY2(progress()->labelText().contains(" of 100.0 KiB ("),
                 qPrintable(progress()->labelText()));
        GuiTest::answerMessageBox(QMessageBox::No);
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
    }

    // Closing the dialog in the middle cancels without a word.
    void closedWhileDownloading() {
        server().setReply("/setup.exe", tricklingReply());
        dialog("/setup.exe")->download();
        QVERIFY(GuiTest::waitFor([this] { return QFileInfo(temp("setup.exe")).size() > 0; }));
        pDialog.reset();
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!recorded());
    }

    // Only web addresses are fetched: a local file or another scheme is
    // refused before anything is made.
    void onlyWebAddresses_data() {
        QTest::addColumn<QString>("sUrl");
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("resource") << "qrc:/licenses/pelimund.html";
        QTest::newRow("data") << "data:,hello";
        QTest::newRow("nothing") << "";
    }
    void onlyWebAddresses() {
        QFETCH(QString, sUrl);
        pDialog = std::make_unique<NewVersionDlg>(nullptr, "1.00.04", sUrl);
        pDialog->show();
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        pDialog->download();
        QVERIFY(sText.contains("only http and https addresses are used"));
        QVERIFY(tempFiles().isEmpty());
        QVERIFY(!recorded());
        QVERIFY(!progress());
    }

    // A note window whose user will not let it close stops the update
    // before anything happens.
    void noteWindowRefuses() {
        GuiTest::quietStart();
        MainWnd main(QString{});
        main.show();
        main.newVault(temp("notes.vault"), "pw");
        main.newNote("Draft", "html");
        auto *pSub = main.findChild<QMdiArea *>()->currentSubWindow();
        auto *pEditor = qobject_cast<NoteWidgetHtml *>(pSub->widget());
        pEditor->teNote->textCursor().insertText("unsaved words");
        // The dialog and the note go before the window that owns them.
        const auto cleanUp = qScopeGuard([&] {
            pDialog.reset();
            pEditor->setModified(false);
        });
        server().setReply("/setup.exe", HttpServer::Reply());
        dialog("/setup.exe", &main);
        GuiTest::answerMessageBox(QMessageBox::Cancel);
        pDialog->download();
        QVERIFY(!recorded());
        QVERIFY(!progress());
        QVERIFY(!downloading());
        QCOMPARE(server().requestCount("/setup.exe"), 0);
        QVERIFY(!QFileInfo::exists(temp("setup.exe")));
    }
};

PELIMUND_GUI_TEST_MAIN(NewVersionDlgTest)
#include "newversiondlg_test.moc"
