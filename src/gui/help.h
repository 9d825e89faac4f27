// Help: opens the program's help pages at a page or at their contents.
#pragma once

#include "ka/singleton.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class HelpWindow;

// One process-wide instance (Ka::Singleton). The pages are compiled in under
// ":/help/"; they show in one help window that is reused from call to call
// and belongs to the window whose native id setHandle() received (without
// such a window it is a top-level window of its own). Once help was shown,
// every help window is deleted when the application's event loop ends, while
// the widgets can still be deleted safely; when help was never shown nothing
// happens then. GUI thread only; the application object must exist when a
// page is shown or the windows are closed.
class Help : public QObject, public Ka::Singleton<Help> {
    Q_OBJECT
    friend class Ka::Singleton<Help>;

public slots:
    // The native id of the window that owns the help window from now on.
    virtual void setHandle(WId hOwner);
    // Shows a page by its name relative to the help folder, with an
    // optional "#anchor"; an unknown page shows the contents instead.
    virtual void showPage(QString sPage);
    // Shows the table of contents.
    virtual void showContents();
    // Closes every help window of the process, whoever had it opened; the
    // next page shown brings one back. The main window closes them with
    // itself: one left on show would keep the program, and its open vault,
    // running.
    virtual void closeWindows();

private slots:
    void closeAll();

private:
    Help() = default;
    ~Help() override;

    // The help window, made or moved to the current owner, marked as used.
    HelpWindow *useWindow();

    WId hOwner = 0;
    bool bUsed = false;
    QPointer<HelpWindow> pWindow;
};
