// HelpWindow: shows the help pages with their table of contents beside them.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

// A window of its own (top-level, or owned by the given window so that it
// closes with it). The pages live in the resources under ":/help/";
// "index.html" is the table of contents, and its links, nested as its
// lists nest them, make the contents tree on the left. Made and reused by
// Help. GUI thread only.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *pOwner = nullptr);

    // Shows and raises the window at a page given by its name relative to
    // the help folder, with an optional "#anchor". A page that does not
    // exist shows the table of contents.
    void showPage(const QString &sPage);
    void showContents();

    // The page on show, as a "qrc:/help/..." address.
    QUrl currentUrl() const;

private slots:
    void contentsPicked(QTreeWidgetItem *pItem);
    void pageShown(const QUrl &url);

private:
    void buildContents();
    void present(const QUrl &url);

    QTreeWidget *pContents;
    QTextBrowser *pPage;
};
