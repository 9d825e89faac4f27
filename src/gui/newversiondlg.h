// NewVersionDlg: offers a newer version of the program and downloads its
// installer for the user.
#pragma once

#include "ui_newversiondlg.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QString>

class QFile;
class QNetworkAccessManager;
class QProgressDialog;

// Shows the new version with a link for a manual download. "Update Now" has
// the parent main window close every note window (nothing happens when one
// refuses), then downloads the installer into the temporary folder with a
// progress display.
//
// The installer's address came in an unauthenticated reply, so what arrives
// is never run: after a complete download (no network error, status 200,
// every announced byte) the user is told where the file is and may open its
// folder. A download that fails or is cancelled deletes its file and forgets
// it, and the user is told why. The file is always created new, never
// through a file or link that is already there; its path and version are
// recorded in the settings ("update-dl/path", "update-dl/ver") only once it
// exists, and the next start-up removes it (removeLeftOver). A new download
// first removes the one recorded before in the same way, so that no
// installer is left behind unrecorded.
//
// One download at a time: "Update Now" is disabled while one runs. Closing
// the dialog during a download cancels it. The parent should be the
// MainWnd; with another parent there are no note windows to close. GUI
// thread only.
class NewVersionDlg : public QDialog, public Ui::NewVersionDlg {
    Q_OBJECT
public:
    NewVersionDlg(QWidget *pParent, const QString &sVersion, const QString &sUrl);
    ~NewVersionDlg() override;

    // The file the download writes or wrote; empty before "Update Now".
    QString target() const { return sTarget; }

    // Deletes the installer that an earlier download recorded, when it is
    // still a plain file in the temporary folder, and forgets it in any case.
    // Failures are ignored: it is only clearing up.
    static void removeLeftOver();

public slots:
    // Starts the download (the slot of "Update Now").
    virtual void download();
    // The reply's progress: shown, and the bytes that came written out.
    virtual void downloadProgress(qint64 iProg, qint64 iTotal);
    // The reply's network error, kept for the report at its end.
    virtual void downloadError(QNetworkReply::NetworkError eCode);
    // The end of the reply: keeps a complete file, deletes anything else.
    virtual void downloadFinished();

private:
    // Creates the target file in the temporary folder; false (and told)
    // when no new file could be made.
    bool createTarget();
    // Appends what the reply has ready to the file; a write failure aborts
    // the download.
    void writeReady();
    // Stops the download in flight (Cancel, or the dialog going away).
    void cancelDownload();
    // Drops the file and its record.
    void discardTarget();

    QString sUrl;
    QString sTarget;
    QString sVersion;
    QNetworkAccessManager *pNet = nullptr;
    QFile *pFile = nullptr;
    QProgressDialog *pProgress = nullptr;
    QElapsedTimer tStart;
    // The download in flight; null when none runs.
    QNetworkReply *pReply = nullptr;
    // Why the download in flight is failing (cancel, write error, network
    // error); empty while it goes well.
    QString sFailure;
    // The user cancelled the download in flight.
    bool bCancelled = false;
};
