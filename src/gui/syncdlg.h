// SyncDlg: the progress of a sync client: its status text and progress bar,
// until the client is done.
#pragma once

#include "ui_syncdlg.h"

#include <QDialog>

class Client;
class QCloseEvent;

// Made on the heap for one client and shown modal: while the client runs it
// keeps the user out of the main window, and it cannot be closed (its OK
// button is disabled, Escape and the window's close button do nothing).
// Once the client is done the bar shows full and OK closes the dialog; it
// closes by itself when made with bAutoDone or when "Close automatically
// when done" is ticked (kept in "sync/autoClose"). A closed dialog deletes
// itself. It may outlive its client; it never touches the client beyond
// connecting to its signals. GUI thread only.
class SyncDlg : public QDialog, public Ui::SyncDlg {
    Q_OBJECT

public:
    SyncDlg(Client *pClient, bool bAutoDone, QWidget *pParent = nullptr);

    using QDialog::done;

public slots:
    // The client is done.
    virtual void done();
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent *pEvent) override;

private:
    Client *pClient;
    bool bAutoDone;
    // Inside closeEvent, where QDialog's own handling calls reject().
    bool bClosing = false;
};
