// HelpWindow: shows the help pages with their table of contents beside them.
#include "gui/helpwindow.h"

#include <QFile>
#include <QHBoxLayout>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextList>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <vector>

namespace {

const char *const sBase = "qrc:/help/";
const char *const sContentsPage = "index.html";
constexpr int iUrlRole = Qt::UserRole;

QUrl pageUrl(const QString &sPage) {
    return QUrl(QString::fromLatin1(sBase)).resolved(QUrl(sPage));
}

// Whether the page of a help address (its anchor aside) exists.
bool pageExists(const QUrl &url) {
    return url.scheme() == QLatin1String("qrc") && QFile::exists(":" + url.path());
}

} // namespace

HelpWindow::HelpWindow(QWidget *pOwner) : QWidget(pOwner, Qt::Window) {
    setWindowTitle(tr("Pelimund - Help"));
    setWindowIcon(QIcon(":/icons/pelimund.png"));

    auto *pSplitter = new QSplitter(this);
    pContents = new QTreeWidget(pSplitter);
    pContents->setObjectName("tvContents");
    pContents->setHeaderHidden(true);
    pContents->setColumnCount(1);
    pPage = new QTextBrowser(pSplitter);
    pPage->setObjectName("ptPage");
    // Addresses outside the help go to the desktop's browser.
    pPage->setOpenExternalLinks(true);
    pSplitter->setStretchFactor(1, 1);
    pSplitter->setSizes({260, 620});

    auto *pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(pSplitter);
    resize(880, 600);

    buildContents();
    connect(pContents, &QTreeWidget::itemClicked, this, &HelpWindow::contentsPicked);
    connect(pContents, &QTreeWidget::itemActivated, this, &HelpWindow::contentsPicked);
    connect(pPage, &QTextBrowser::sourceChanged, this, &HelpWindow::pageShown);
}

void HelpWindow::showPage(const QString &sPage) {
    const QUrl url = pageUrl(sPage);
    present(pageExists(url) ? url : pageUrl(sContentsPage));
}

void HelpWindow::showContents() {
    present(pageUrl(sContentsPage));
}

QUrl HelpWindow::currentUrl() const {
    return pPage->source();
}

void HelpWindow::present(const QUrl &url) {
    pPage->setSource(url);
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void HelpWindow::buildContents() {
    auto *pTop = new QTreeWidgetItem(pContents, {tr("Contents")});
    pTop->setData(0, iUrlRole, pageUrl(sContentsPage));

    QFile file(QString(":/help/") + sContentsPage);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(file.readAll()));

    // Each list entry with a link becomes an item, under the nearest entry
    // of a shallower list before it.
    std::vector<std::pair<int, QTreeWidgetItem *>> lOpen;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextList *pList = block.textList();
        if (!pList)
            continue;
        QString sHref;
        for (auto it = block.begin(); !it.atEnd() && sHref.isEmpty(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor())
                sHref = format.anchorHref();
        }
        if (sHref.isEmpty())
            continue;
        const int iLevel = pList->format().indent();
        while (!lOpen.empty() && lOpen.back().first >= iLevel)
            lOpen.pop_back();
        QTreeWidgetItem *pItem =
            lOpen.empty() ? new QTreeWidgetItem(pContents, {block.text().trimmed()})
                          : new QTreeWidgetItem(lOpen.back().second, {block.text().trimmed()});
        pItem->setData(0, iUrlRole, pageUrl(sHref));
        lOpen.emplace_back(iLevel, pItem);
    }
    pContents->expandAll();
}

void HelpWindow::contentsPicked(QTreeWidgetItem *pItem) {
    if (pItem)
        pPage->setSource(pItem->data(0, iUrlRole).toUrl());
}

void HelpWindow::pageShown(const QUrl &url) {
    // The entry for the exact place, else the one for its page.
    QTreeWidgetItem *pPagePick = nullptr;
    for (QTreeWidgetItemIterator it(pContents); *it; ++it) {
        const QUrl itemUrl = (*it)->data(0, iUrlRole).toUrl();
        if (itemUrl == url) {
            pPagePick = *it;
            break;
        }
        if (!pPagePick && itemUrl == url.adjusted(QUrl::RemoveFragment))
            pPagePick = *it;
    }
    const QSignalBlocker blocker(pContents);
    pContents->setCurrentItem(pPagePick);
}
