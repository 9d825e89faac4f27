// AboutDlg: the version, the licence and notices pages compiled into the
// program with their links, and the toy running the sample board.
#include "gui/aboutdlg.h"
#include "gui/mainwnd.h"
#include "gui/wireboard.h"
#include "gui/wireworld.h"
#include "support/guitest.h"
#include "support/updatefixture.h"
#include "support/urlcatcher.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

namespace {

// The first link of the browser's page: its address and where it shows.
QPair<QString, QPoint> firstLink(QTextBrowser *pBrowser) {
    for (QTextBlock block = pBrowser->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isAnchor())
                continue;
            QTextCursor cursor(pBrowser->document());
            cursor.setPosition(fragment.position() + 1);
            return {fragment.charFormat().anchorHref(), pBrowser->cursorRect(cursor).center()};
        }
    }
    return {};
}

} // namespace

class AboutDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AboutDlg> pDialog;

    AboutDlg *dialog() {
        pDialog = std::make_unique<AboutDlg>();
        pDialog->show();
        return pDialog.get();
    }

private slots:
    void init() { GuiTest::clearSettings(); }
    void cleanup() {
        pDialog.reset();
        QCOMPARE(GuiTest::pendingAnswers(), 0);
    }

    void form() {
        AboutDlg *pDlg = dialog();
        QCOMPARE(pDlg->windowTitle(), QString("Pelimund - About"));
        QCOMPARE(pDlg->lVersion->text(), QString("Version 1.00.03"));
        QCOMPARE(pDlg->label_2->text(), QString("Pelimund"));
        QVERIFY(!pDlg->label->pixmap().isNull());
        QCOMPARE(pDlg->tabWidget->count(), 3);
        QCOMPARE(pDlg->tabWidget->tabText(0), QString("Pelimund License"));
        QCOMPARE(pDlg->tabWidget->tabText(1), QString("Other Notices"));
        QCOMPARE(pDlg->tabWidget->tabText(2), QString("Wire World"));
        QCOMPARE(pDlg->tabWidget->currentIndex(), 0);
    }

    // The licence is the one the project ships, word for word.
    void licence() {
        AboutDlg *pDlg = dialog();
        QCOMPARE(pDlg->ptLicense->source(), QUrl("qrc:/licenses/pelimund.html"));
        QVERIFY(!pDlg->ptLicense->openExternalLinks());
        QFile shipped(QStringLiteral(PELIMUND_SOURCE_DIR "/LICENSE"));
        QVERIFY(shipped.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString sShown = pDlg->ptLicense->toPlainText().simplified();
        for (const QByteArray &baParagraph : shipped.readAll().split('\n')) {
            const QString sLine = QString::fromUtf8(baParagraph).simplified();
            QVERIFY2(sShown.contains(sLine), qPrintable(sLine));
        }
    }

    // The notices name what the program is built on, and their links open
    // in the system's browser.
    void notices() {
        GuiTest::UrlCatcher catcher("https");
        AboutDlg *pDlg = dialog();
        QTextBrowser *pNotices = pDlg->textBrowser;
        QCOMPARE(pNotices->source(), QUrl("qrc:/licenses/misc.html"));
        QVERIFY(pNotices->openExternalLinks());
        const QString sText = pNotices->toPlainText();
        for (const char *sName :
             {"Qt", "Oxygen", "Lesser General Public License", "zlib", "Jean-loup Gailly",
              "Crypto++", "Boost Software License", "Blowfish", "digits of pi"})
            QVERIFY2(sText.contains(QLatin1String(sName)), sName);

        pDlg->tabWidget->setCurrentIndex(1);
        QVERIFY(QTest::qWaitForWindowExposed(pDlg));
        const auto [sHref, point] = firstLink(pNotices);
        QVERIFY(sHref.startsWith("https://"));
        QTest::mouseClick(pNotices->viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(catcher.lOpened, QList<QUrl>{QUrl(sHref)});
        // The page itself stays where it is.
        QCOMPARE(pNotices->source(), QUrl("qrc:/licenses/misc.html"));
    }

    // The toy's page runs the sample board: no grid, 4 pixels per cell.
    void wireWorld() {
        AboutDlg *pDlg = dialog();
        QFile sample(":/wireworld/binary_adder.wires");
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const std::optional<WireBoard> expected = WireBoard::fromBytes(sample.readAll());
        QVERIFY(expected);
        const WireBoard &shown = pDlg->caWires->board();
        QCOMPARE(shown.width(), expected->width());
        QCOMPARE(shown.height(), expected->height());
        QCOMPARE(shown.iZoom, 4);
        QVERIFY(!(shown.iFlags & WireBoard::iGridFlag));
        QTimer *pTimer = pDlg->caWires->findChild<QTimer *>();
        QVERIFY(pTimer && pTimer->isActive());
        QCOMPARE(pTimer->interval(), 250);

        pDlg->tabWidget->setCurrentIndex(2);
        QVERIFY(QTest::qWaitForWindowExposed(pDlg));
        const QImage image = pDlg->caWires->grab().toImage();
        QSet<QRgb> colours;
        for (int iY = 0; iY < image.height(); iY += 2)
            for (int iX = 0; iX < image.width(); iX += 2)
                colours.insert(image.pixel(iX, iY));
        // Background, wire and electrons at least.
        QVERIFY2(colours.size() >= 3, qPrintable(QString::number(colours.size())));
    }

    // The main window's About command opens the box.
    void fromTheMainWindow() {
        GuiTest::quietStart();
        MainWnd main(QString{});
        main.show();
        QString sShown;
        GuiTest::answerModal([&](QWidget *pModal) {
            sShown = pModal->objectName();
            static_cast<QDialog *>(pModal)->accept();
        });
        main.findChild<QAction *>("actionAboutPelimund")->trigger();
        QCOMPARE(sShown, QString("AboutDlg"));
    }
};

PELIMUND_GUI_TEST_MAIN(AboutDlgTest)
#include "aboutdlg_test.moc"
