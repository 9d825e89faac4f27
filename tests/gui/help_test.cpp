// Help and its window: pages open where asked, one window is reused, it
// belongs to the registered owner, and help windows go when the event loop
// ends. The pages' contents links lead to places that exist.
#include "gui/help.h"
#include "gui/helpwindow.h"
#include "support/guitest.h"

#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

QList<HelpWindow *> helpWindows() {
    QList<HelpWindow *> lFound;
    for (QWidget *pWidget : QApplication::topLevelWidgets()) {
        if (auto *pHelp = qobject_cast<HelpWindow *>(pWidget))
            lFound.append(pHelp);
    }
    return lFound;
}

HelpWindow *theHelpWindow() {
    const QList<HelpWindow *> lFound = helpWindows();
    return lFound.size() == 1 ? lFound.first() : nullptr;
}

// Runs the application's event loop once to its end, as the program's exit
// does.
void runToExit() {
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

QString currentContentsEntry(HelpWindow *pHelp) {
    auto *pTree = pHelp->findChild<QTreeWidget *>("tvContents");
    return pTree && pTree->currentItem() ? pTree->currentItem()->text(0) : QString();
}

// The anchor names a help page defines.
QStringList anchorsOf(const QString &sPage) {
    QFile file(":/help/" + sPage);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(file.readAll()));
    QStringList lNames;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            lNames += it.fragment().charFormat().anchorNames();
    }
    return lNames;
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    // Runs first: before any page was shown, the end of the event loop
    // leaves other windows alone and makes none.
    void unusedHelpDoesNothingAtExit() {
        Help::getInstance();
        QWidget other;
        runToExit();
        QVERIFY(helpWindows().isEmpty());
    }

    void opensAtThePageAndReusesTheWindow() {
        Help::getInstance().showPage("quickstart.html");
        HelpWindow *pHelp = theHelpWindow();
        QVERIFY(pHelp);
        QVERIFY(pHelp->isVisible());
        QCOMPARE(pHelp->windowTitle(), QString("Pelimund - Help"));
        QCOMPARE(pHelp->currentUrl(), QUrl("qrc:/help/quickstart.html"));
        QVERIFY(pHelp->findChild<QTextBrowser *>("ptPage")->toPlainText().contains(
            "A forgotten password cannot be recovered."));
        QCOMPARE(currentContentsEntry(pHelp), QString("Quick Start Guide"));

        Help::getInstance().showPage("quickstart.html#sync");
        QCOMPARE(theHelpWindow(), pHelp);
        QCOMPARE(pHelp->currentUrl(), QUrl("qrc:/help/quickstart.html#sync"));
        QCOMPARE(currentContentsEntry(pHelp), QString("Syncing with the cloud"));

        Help::getInstance().showContents();
        QCOMPARE(theHelpWindow(), pHelp);
        QCOMPARE(pHelp->currentUrl(), QUrl("qrc:/help/index.html"));
        QCOMPARE(currentContentsEntry(pHelp), QString("Contents"));

        pHelp->close();
        Help::getInstance().showPage("no-such-page.html");
        QCOMPARE(theHelpWindow(), pHelp);
        QVERIFY(pHelp->isVisible());
        QCOMPARE(pHelp->currentUrl(), QUrl("qrc:/help/index.html"));
    }

    // Every entry of the contents tree leads to a page and anchor that
    // exist, and picking it shows that place.
    void contentsLeadSomewhere() {
        Help::getInstance().showContents();
        HelpWindow *pHelp = theHelpWindow();
        QVERIFY(pHelp);
        auto *pTree = pHelp->findChild<QTreeWidget *>("tvContents");
        QVERIFY(pTree);
        QVERIFY(pTree->topLevelItemCount() >= 2);
        QCOMPARE(pTree->topLevelItem(1)->text(0), QString("Quick Start Guide"));
        QVERIFY(pTree->topLevelItem(1)->childCount() >= 10);

        int iEntries = 0;
        for (QTreeWidgetItemIterator it(pTree); *it; ++it, ++iEntries) {
            QTreeWidgetItem *pItem = *it;
            const QUrl url = pItem->data(0, Qt::UserRole).toUrl();
            QCOMPARE(url.scheme(), QString("qrc"));
            QVERIFY2(QFile::exists(":" + url.path()), qPrintable(url.toString()));
            if (url.hasFragment()) {
                QVERIFY2(anchorsOf(url.path().mid(6)).contains(url.fragment()),
                         qPrintable(url.toString()));
            }
            pTree->scrollToItem(pItem);
            QTest::mouseClick(pTree->viewport(), Qt::LeftButton, {},
                              pTree->visualItemRect(pItem).center());
            QCOMPARE(pHelp->currentUrl(), url);
            QCOMPARE(pTree->currentItem(), pItem);
        }
        QCOMPARE(iEntries, 14);
    }

    void endOfEventLoopClosesHelp() {
        Help::getInstance().showPage("quickstart.html");
        QPointer<HelpWindow> pHelp = theHelpWindow();
        QVERIFY(pHelp);
        runToExit();
        QVERIFY(!pHelp);
        QVERIFY(helpWindows().isEmpty());

        // Help still works afterwards, in a new window.
        Help::getInstance().showPage("quickstart.html");
        QVERIFY(theHelpWindow());
        runToExit();
        QVERIFY(helpWindows().isEmpty());
    }

    // The window belongs to the registered owner and goes with it.
    void ownedByTheRegisteredWindow() {
        auto *pOwner = new QMainWindow;
        pOwner->show();
        Help::getInstance().setHandle(pOwner->winId());
        Help::getInstance().showPage("quickstart.html");
        QPointer<HelpWindow> pHelp = theHelpWindow();
        QVERIFY(pHelp);
        QCOMPARE(pHelp->parentWidget(), pOwner);
        QVERIFY(pHelp->isWindow());
        QVERIFY(pHelp->isVisible());

        delete pOwner;
        QVERIFY(!pHelp);

        // The owner is gone: the next window stands on its own.
        Help::getInstance().showContents();
        QVERIFY(theHelpWindow());
        QCOMPARE(theHelpWindow()->parentWidget(), nullptr);

        // A window made before the owner was known moves to it.
        auto *pLater = new QMainWindow;
        pLater->show();
        Help::getInstance().setHandle(pLater->winId());
        Help::getInstance().showPage("quickstart.html");
        QCOMPARE(theHelpWindow()->parentWidget(), pLater);
        QVERIFY(theHelpWindow()->isVisible());
        delete pLater;
        QVERIFY(helpWindows().isEmpty());
        Help::getInstance().setHandle(0);
    }
};

PELIMUND_GUI_TEST_MAIN(HelpTest)
#include "help_test.moc"
