// The update check: version numbers, the description's checks, and the main
// window asking a real HTTP server on the loopback address, at start-up and
// on demand, with every kind of bad answer.
#include "gui/mainwnd.h"
#include "gui/newversiondlg.h"
#include "gui/settingskeys.h"
#include "gui/updatedescription.h"
#include "gui/versionnumber.h"
#include "support/guitest.h"
#include "support/updatefixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(HttpServer::Reply)

namespace {

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

HttpServer::Reply bodyReply(const QByteArray &baBody) {
    HttpServer::Reply reply;
    reply.baBody = baBody;
    return reply;
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

    std::unique_ptr<GuiTest::UpdateHost> pHost;
    std::unique_ptr<MainWnd> pWnd;

    // A window with no dialog at start; its own check ran (or not) as
    // "update/lastCheck" says.
    MainWnd *window() {
        QSettings settings;
        settings.setValue(SettingsKey::kRecentList, QStringList{"elsewhere.vault"});
        settings.setValue(SettingsKey::kUseWelcomeDlg, false);
        pWnd = std::make_unique<MainWnd>(QString());
        pWnd->show();
        return pWnd.get();
    }
    // A window whose start-up check is not due.
    MainWnd *quietWindow() {
        GuiTest::quietStart();
        pWnd = std::make_unique<MainWnd>(QString());
        pWnd->show();
        return pWnd.get();
    }
    QString status() const { return pWnd->statusBar()->currentMessage(); }
    // Runs a check and waits for its end; returns the status text.
    QString check() {
        pWnd->checkForUpdates();
        GuiTest::waitFor([this] { return status() != "Checking for updates..."; });
        return status();
    }

private slots:
    void init() {
        GuiTest::clearSettings();
        pHost = std::make_unique<GuiTest::UpdateHost>();
    }

    void cleanup() {
        pWnd.reset();
        pHost.reset();
        QCOMPARE(GuiTest::pendingAnswers(), 0);
    }

    void versionNumbers_data() {
        QTest::addColumn<QByteArray>("baText");
        QTest::addColumn<qint32>("iNumber");
        QTest::newRow("own") << QByteArray("1.00.03") << 10003;
        QTest::newRow("two numbers") << QByteArray("1.2") << 10200;
        QTest::newRow("three") << QByteArray("2.1.5") << 20105;
        QTest::newRow("one") << QByteArray("3") << 30000;
        QTest::newRow("lower") << QByteArray("1.0") << 10000;
        QTest::newRow("point after first only") << QByteArray("4.") << 40000;
        QTest::newRow("point after second") << QByteArray("1.2.") << 10200;
        QTest::newRow("any separator") << QByteArray("1-02.03") << 10203;
        QTest::newRow("blanks and sign") << QByteArray(" \t+1.5") << 10500;
        QTest::newRow("negative") << QByteArray("-1.5") << -9500;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("no digits") << QByteArray("v1.2") << 102; // no first number, "v" skipped
        QTest::newRow("huge first") << QByteArray("99999999999999999999999.1") << kMax;
        QTest::newRow("huge third") << QByteArray("1.0.99999999999999999999") << kMax;
        QTest::newRow("huge negative") << QByteArray("-99999999999999999999") << kMin;
        QTest::newRow("just over") << QByteArray("214748.36.48") << kMax;
    }
    void versionNumbers() {
        QFETCH(QByteArray, baText);
        QFETCH(qint32, iNumber);
        QCOMPARE(versionNumber(baText.constData()), iNumber);
    }
    void versionNumberOfNothing() {
        QCOMPARE(versionNumber(nullptr), 0);
        // The text ends right after the first number: nothing past it is read
        // (a sanitizer would catch a read of the byte after the zero).
        const auto pOne = std::make_unique<char[]>(2);
        pOne[0] = '7';
        pOne[1] = '\0';
        QCOMPARE(versionNumber(pOne.get()), 70000);
    }

    void descriptions_data() {
        QTest::addColumn<QByteArray>("baBody");
        QTest::addColumn<QString>("sFailure"); // empty: taken
        using GuiTest::description;
        using GuiTest::descriptionOf;
        const QString sNotOne = "the answer is not an update description";
        const QString sNoVersion = "the update description names no valid version";
        const QString sNoUrl = "the update description names no valid download address";
        QTest::newRow("good") << description("1.00.04", "https://example.com/a/setup.exe")
                              << QString();
        QTest::newRow("http") << description("1.1", "http://example.com/setup.exe") << QString();
        QTest::newRow("empty") << QByteArray() << sNotOne;
        QTest::newRow("garbage") << QByteArray("<html>not here</html>") << sNotOne;
        QTest::newRow("cut") << description("1.1", "http://example.com/s.exe").chopped(3)
                             << sNotOne;
        QByteArray baString;
        {
            QBuffer buffer(&baString);
            buffer.open(QIODevice::WriteOnly);
            Vrel::String value("1.1");
            Vrel::VrelStream(&buffer).writeObject(&value);
        }
        QTest::newRow("not a dictionary") << baString << sNotOne;
        {
            Vrel::Dictionary root;
            root.insert("win32", "1.1");
            QByteArray baOut;
            QBuffer buffer(&baOut);
            buffer.open(QIODevice::WriteOnly);
            Vrel::VrelStream(&buffer).writeObject(&root);
            QTest::newRow("win32 not a dictionary") << baOut << sNotOne;
        }
        QTest::newRow("no version")
            << descriptionOf(nullptr, new Vrel::String("http://example.com/s.exe")) << sNoVersion;
        QTest::newRow("version a number")
            << descriptionOf(new Vrel::Integer(10004), new Vrel::String("http://example.com/s"))
            << sNoVersion;
        QTest::newRow("version empty") << description("", "http://example.com/s") << sNoVersion;
        QTest::newRow("version too long")
            << description(QByteArray(65, '1'), "http://example.com/s") << sNoVersion;
        QTest::newRow("version with zero")
            << description(QByteArray("1.1\0x", 5), "http://example.com/s") << sNoVersion;
        QTest::newRow("no url") << descriptionOf(new Vrel::String("1.1"), nullptr) << sNoUrl;
        QTest::newRow("url a list")
            << descriptionOf(new Vrel::String("1.1"), new Vrel::List) << sNoUrl;
        QTest::newRow("relative url") << description("1.1", "setup.exe") << sNoUrl;
        QTest::newRow("file url") << description("1.1", "file:///etc/passwd") << sNoUrl;
        QTest::newRow("ftp url") << description("1.1", "ftp://example.com/s.exe") << sNoUrl;
        QTest::newRow("no host") << description("1.1", "http:///s.exe") << sNoUrl;
        QTest::newRow("bad url") << description("1.1", "http://exa mple.com/s") << sNoUrl;
        QTest::newRow("too large")
            << description("1.1", "http://example.com/s") + QByteArray(1024 * 1024, '\0')
            << "the answer is too large";
    }
    void descriptions() {
        QFETCH(QByteArray, baBody);
        QFETCH(QString, sFailure);
        const UpdateDescription description = UpdateDescription::parse(baBody);
        QCOMPARE(description.sFailure, sFailure);
        QCOMPARE(description.isValid(), sFailure.isEmpty());
    }

    // What the status bar says after each kind of answer.
    void answers_data() {
        QTest::addColumn<HttpServer::Reply>("reply");
        QTest::addColumn<QString>("sStatus");
        const QByteArray baSame = GuiTest::description("1.00.03", "https://example.com/s.exe");
        const QString sNone = "No update available";

        QTest::newRow("same version") << bodyReply(baSame) << sNone;
        QTest::newRow("older version")
            << bodyReply(GuiTest::description("1.0", "https://example.com/s.exe")) << sNone;
        HttpServer::Reply reply = bodyReply(baSame);
        reply.eFraming = HttpServer::Reply::Close;
        QTest::newRow("no length") << reply << sNone;
        reply.eFraming = HttpServer::Reply::Chunked;
        reply.iPieceBytes = 7;
        QTest::newRow("chunked") << reply << sNone;
        reply.iPieceDelayMs = 20;
        QTest::newRow("slow") << reply << sNone;

        reply = bodyReply("gone");
        reply.iStatus = 404;
        reply.baReason = "Not Found";
        QTest::newRow("404") << reply << "Update check failed: the server answered 404 Not Found";
        reply.iStatus = 500;
        reply.baReason = "Internal Server Error";
        QTest::newRow("500")
            << reply << "Update check failed: the server answered 500 Internal Server Error";
        reply = bodyReply(baSame);
        reply.iStatus = 204;
        reply.baReason = "No Content";
        QTest::newRow("204") << reply << "Update check failed: the server answered 204 No Content";

        reply = bodyReply("this is no description");
        QTest::newRow("not a description")
            << reply << "Update check failed: the answer is not an update description";

        reply = bodyReply(baSame);
        reply.iCutAfter = 5;
        reply.eCut = HttpServer::Reply::Stall;
        QTest::newRow("stalled") << reply
                                 << "Update check failed: the server did not answer in time";
        reply.iCutAfter = 0;
        QTest::newRow("stalled before the body")
            << reply << "Update check failed: the server did not answer in time";

        reply = bodyReply(QByteArray(2 * 1024 * 1024, 'x'));
        QTest::newRow("huge, announced") << reply << "Update check failed: the answer is too large";
        reply.eFraming = HttpServer::Reply::Chunked;
        reply.iPieceBytes = 64 * 1024;
        QTest::newRow("huge, chunked") << reply << "Update check failed: the answer is too large";
        reply = bodyReply(QByteArray());
        reply.iDeclaredLength = 3LL << 40;
        QTest::newRow("huge length, no body")
            << reply << "Update check failed: the answer is too large";
    }
    void answers() {
        QFETCH(HttpServer::Reply, reply);
        QFETCH(QString, sStatus);
        quietWindow();
        pHost->publish(reply);
        QCOMPARE(check(), sStatus);
        QCOMPARE(pHost->checks(), 1);
    }

    // Answers that end in a network error: the text is Qt's, the start ours.
    void brokenAnswers_data() {
        QTest::addColumn<HttpServer::Reply>("reply");
        HttpServer::Reply reply =
            bodyReply(GuiTest::description("1.00.03", "https://example.com/s.exe"));
        reply.iCutAfter = 10;
        QTest::newRow("dropped inside the body") << reply;
        reply.eFraming = HttpServer::Reply::Chunked;
        QTest::newRow("dropped inside the chunks") << reply;
        reply = HttpServer::Reply();
        reply.baRaw = "SMTP READY\r\n\r\nhello";
        QTest::newRow("not HTTP") << reply;
        reply.baRaw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n";
        QTest::newRow("bad chunk size") << reply;
        reply.baRaw = "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort";
        QTest::newRow("short of its length") << reply;
    }
    void brokenAnswers() {
        QFETCH(HttpServer::Reply, reply);
        quietWindow();
        pHost->publish(reply);
        const QString sStatus = check();
        QVERIFY2(sStatus.startsWith("Update check failed: ") && sStatus.size() > 21,
                 qPrintable(sStatus));
    }

    void refused() {
        quietWindow();
        UpdateSource::setBaseUrl(QUrl("http://127.0.0.1:1"));
        QSettings().setValue(SettingsKey::kLastUpdateCheck, 5);
        const qint64 iBefore = QDateTime::currentSecsSinceEpoch();
        QVERIFY(check().startsWith("Update check failed: "));
        // A failed check counts as a check: the next start does not repeat it.
        QVERIFY(QSettings().value(SettingsKey::kLastUpdateCheck).toLongLong() >= iBefore);
    }

    // A newer version opens the new-version dialog with the version and a
    // link to the installer, both shown as text.
    void newerVersions_data() {
        QTest::addColumn<QByteArray>("baVersion");
        QTest::addColumn<QByteArray>("baUrl");
        QTest::addColumn<QString>("sLabel");
        QTest::newRow("1.00.04")
            << QByteArray("1.00.04") << QByteArray("https://example.com/dl/setup.exe")
            << "1.00.04 (<a href=\"https://example.com/dl/setup.exe\">Manual Download</a>)";
        QTest::newRow("1.1") << QByteArray("1.1") << QByteArray("http://example.com/s.exe?a=1&b=2")
                             << "1.1 (<a href=\"http://example.com/s.exe?a=1&amp;b=2\">Manual "
                                "Download</a>)";
        QTest::newRow("markup")
            << QByteArray("2.0 <b>beta</b>") << QByteArray("https://example.com/s.exe")
            << "2.0 &lt;b&gt;beta&lt;/b&gt; (<a href=\"https://example.com/s.exe\">Manual "
               "Download</a>)";
    }
    void newerVersions() {
        QFETCH(QByteArray, baVersion);
        QFETCH(QByteArray, baUrl);
        QFETCH(QString, sLabel);
        quietWindow();
        pHost->publish(GuiTest::description(baVersion, baUrl));
        QString sShown;
        QString sStatusThen;
        GuiTest::answerModal([&](QWidget *pModal) {
            auto *pDialog = qobject_cast<NewVersionDlg *>(pModal);
            QVERIFY(pDialog);
            sShown = pDialog->lVersion->text();
            sStatusThen = status();
            pDialog->reject();
        });
        pWnd->checkForUpdates();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QCOMPARE(sShown, sLabel);
        QCOMPARE(sStatusThen, QString("New version available!"));
    }

    // A check while one waits for its answer is not sent.
    void secondCheckIgnored() {
        quietWindow();
        HttpServer::Reply reply = bodyReply("x");
        reply.iCutAfter = 0;
        reply.eCut = HttpServer::Reply::Stall;
        pHost->publish(reply);
        pWnd->checkForUpdates();
        QVERIFY(GuiTest::waitFor([this] { return pHost->checks() == 1; }));
        pWnd->checkForUpdates();
        QVERIFY(GuiTest::waitFor([this] { return status() != "Checking for updates..."; }));
        QCOMPARE(pHost->checks(), 1);
        // Once it ended, the next check goes out.
        pHost->publish(GuiTest::description("1.00.03", "https://example.com/s.exe"));
        QCOMPARE(check(), QString("No update available"));
        QCOMPARE(pHost->checks(), 2);
    }

    // The start-up check runs when the last one began more than a day ago.
    void startUpCheck_data() {
        QTest::addColumn<qint64>("iAgo");
        QTest::addColumn<bool>("bChecks");
        QTest::newRow("never") << qint64(-1) << true;
        QTest::newRow("a day and a bit ago") << qint64(86400 + 5) << true;
        QTest::newRow("just under a day ago") << qint64(86400 - 5) << false;
        QTest::newRow("in the future") << qint64(-3600) << false;
    }
    void startUpCheck() {
        QFETCH(qint64, iAgo);
        QFETCH(bool, bChecks);
        pHost->publish(GuiTest::description("1.00.03", "https://example.com/s.exe"));
        const qint64 iNow = QDateTime::currentSecsSinceEpoch();
        // -1 stands for no time at all: iNow + 1 would be the clock's next
        // second, which the check itself may record.
        const qint64 iSet = iAgo == -1 ? -1 : iNow - iAgo;
        if (iAgo != -1)
            QSettings().setValue(SettingsKey::kLastUpdateCheck, iSet);
        window();
        // The time is recorded when a check starts, before its answer.
        const qint64 iRecorded = QSettings().value(SettingsKey::kLastUpdateCheck, -1).toLongLong();
        QCOMPARE(iRecorded != iSet, bChecks);
        if (bChecks)
            QVERIFY(iRecorded >= iNow);
        if (bChecks) {
            QCOMPARE(status(), QString("Checking for updates..."));
            QVERIFY(GuiTest::waitFor([this] { return status() == "No update available"; }));
            QCOMPARE(pHost->checks(), 1);
        } else {
            QCOMPARE(status(), QString());
        }
    }

    // The menu's command checks at once.
    void menuCommand() {
        quietWindow();
        pHost->publish(GuiTest::description("1.00.03", "https://example.com/s.exe"));
        pWnd->findChild<QAction *>("actionCheckForUpdates")->trigger();
        QCOMPARE(status(), QString("Checking for updates..."));
        QVERIFY(GuiTest::waitFor([this] { return status() == "No update available"; }));
        // Unpacked bytes, so that the size limit counts what arrives.
        QVERIFY(pHost->server.lastRequest().startsWith("GET /pelimund/update.vrel HTTP/1.1\r\n"));
        QVERIFY(pHost->server.lastRequest().contains("\r\nAccept-Encoding: identity\r\n"));
    }

    // The start removes the download an earlier run recorded, and only a
    // plain file of the temporary folder.
    void leftOverDownload() {
        const QString sFile = pHost->temp.filePath("setup.exe");
        {
            QFile file(sFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("installer");
        }
        QSettings().setValue(SettingsKey::kDownloadPath, sFile);
        QSettings().setValue(SettingsKey::kDownloadVersion, "1.00.04");
        quietWindow();
        QVERIFY(!QFile::exists(sFile));
        QVERIFY(!QSettings().contains(SettingsKey::kDownloadPath));
        QVERIFY(!QSettings().contains(SettingsKey::kDownloadVersion));
    }
    void leftOverElsewhereKept_data() {
        QTest::addColumn<QString>("sKind");
        QTest::newRow("outside the temporary folder") << "outside";
        QTest::newRow("a link in it") << "link";
        QTest::newRow("a folder in it") << "folder";
    }
    void leftOverElsewhereKept() {
        QFETCH(QString, sKind);
        QTemporaryDir elsewhere(QDir::homePath() + "/keep-XXXXXX");
        const QString sPrecious = elsewhere.filePath("precious.txt");
        {
            QFile file(sPrecious);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me");
        }
        QString sRecorded = sPrecious;
        if (sKind == "link") {
            sRecorded = pHost->temp.filePath("setup.exe");
            QVERIFY(QFile::link(sPrecious, sRecorded));
        } else if (sKind == "folder") {
            sRecorded = pHost->temp.filePath("sub");
            QVERIFY(QDir(pHost->temp.path()).mkdir("sub"));
        }
        QSettings().setValue(SettingsKey::kDownloadPath, sRecorded);
        quietWindow();
        QVERIFY(QFile::exists(sPrecious));
        QVERIFY(QFileInfo::exists(sRecorded) || QFileInfo(sRecorded).isSymLink());
        QVERIFY(!QSettings().contains(SettingsKey::kDownloadPath));
    }
};

PELIMUND_GUI_TEST_MAIN(UpdateCheckTest)
#include "updatecheck_test.moc"
