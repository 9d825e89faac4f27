// Help: opens the program's help pages at a page or at their contents.
#include "gui/help.h"

#include "gui/helpwindow.h"

#include <QApplication>

namespace {

// Every help window of the process, guarded, since closing or deleting one
// may take others with it.
QList<QPointer<HelpWindow>> allHelpWindows() {
    QList<QPointer<HelpWindow>> lWindows;
    for (QWidget *pWidget : QApplication::topLevelWidgets()) {
        if (auto *pHelp = qobject_cast<HelpWindow *>(pWidget))
            lWindows.append(pHelp);
    }
    return lWindows;
}

} // namespace

Help::~Help() {
    // At static destruction the application, and with it every widget, may
    // be gone already; widgets are only touched while it exists.
    if (QCoreApplication::instance())
        closeAll();
}

void Help::setHandle(WId hNewOwner) {
    hOwner = hNewOwner;
}

void Help::showPage(QString sPage) {
    useWindow()->showPage(sPage);
}

void Help::showContents() {
    useWindow()->showContents();
}

HelpWindow *Help::useWindow() {
    if (!bUsed) {
        bUsed = true;
        connect(qApp, &QCoreApplication::aboutToQuit, this, &Help::closeAll);
    }
    QWidget *pOwner = hOwner ? QWidget::find(hOwner) : nullptr;
    if (!pWindow)
        pWindow = new HelpWindow(pOwner);
    else if (pWindow->parentWidget() != pOwner)
        pWindow->setParent(pOwner, pWindow->windowFlags());
    return pWindow;
}

void Help::closeWindows() {
    for (const QPointer<HelpWindow> &pHelp : allHelpWindows()) {
        if (pHelp)
            pHelp->close();
    }
}

void Help::closeAll() {
    if (!bUsed)
        return;
    for (const QPointer<HelpWindow> &pHelp : allHelpWindows())
        delete pHelp.data();
}
