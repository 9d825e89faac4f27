// NewVersionDlg: the offer of a new version and the download of its installer.
#include "gui/newversiondlg.h"

#include "gui/mainwnd.h"
#include "gui/replywatch.h"
#include "gui/settingskeys.h"
#include "gui/updatesource.h"
#include "sync/formatsize.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <limits>
#include <memory>

namespace {

// The name the installer is saved under when its address names no file.
const char *const kFallbackName = "pelimund-update";
// How many numbered names are tried when the plain one is taken.
constexpr int kMaxNameTries = 100;

QString tempFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
}

// The last name of the address's path, when it can be a file name of its own.
QString fileNameOf(const QUrl &url) {
    const QString sName = url.fileName();
    if (sName.isEmpty() || sName.startsWith('.') || sName.contains('/') || sName.contains(QChar(0)))
        return QString::fromLatin1(kFallbackName);
    return sName;
}

// The n-th name to try: the plain one, then "setup-2.exe", "setup-3.exe"...
QString numberedName(const QString &sName, int iTry) {
    if (iTry == 1)
        return sName;
    const QFileInfo info(sName);
    const QString sSuffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
    return QString("%1-%2%3").arg(info.completeBaseName()).arg(iTry).arg(sSuffix);
}

} // namespace

NewVersionDlg::NewVersionDlg(QWidget *pParent, const QString &sVersion, const QString &sUrl)
    : QDialog(pParent), sUrl(sUrl), sVersion(sVersion) {
    setupUi(this);
    // Both came from the network: they are shown, never interpreted.
    lVersion->setTextFormat(Qt::RichText);
    lVersion->setText(tr("%1 (<a href=\"%2\">Manual Download</a>)")
                          .arg(sVersion.toHtmlEscaped(),
                               QUrl(sUrl).toString(QUrl::FullyEncoded).toHtmlEscaped()));
}

NewVersionDlg::~NewVersionDlg() {
    // The dialog went while downloading: that is a cancel without a word.
    if (pReply) {
        pReply->disconnect(this);
        pReply->abort();
        pReply = nullptr;
        delete pFile;
        pFile = nullptr;
        discardTarget();
    }
}

void NewVersionDlg::removeLeftOver() {
    QSettings settings;
    if (!settings.contains(SettingsKey::kDownloadPath))
        return;
    // Only what a download of ours made there: a plain file in the temporary
    // folder, not a link and nothing elsewhere a changed setting might name.
    const QFileInfo info(settings.value(SettingsKey::kDownloadPath).toString());
    const QString sTemp = QDir(tempFolder()).canonicalPath();
    if (!info.isSymLink() && info.isFile() && !sTemp.isEmpty() &&
        QDir(info.absolutePath()).canonicalPath() == sTemp)
        QFile::remove(info.absoluteFilePath());
    settings.remove(SettingsKey::kDownloadGroup);
}

void NewVersionDlg::download() {
    if (pReply)
        return;
    if (auto *pMain = qobject_cast<MainWnd *>(parentWidget()); pMain && !pMain->closeNoteWindows())
        return;
    const QUrl url(sUrl);
    const QString sScheme = url.scheme().toLower();
    if (!url.isValid() || (sScheme != "http" && sScheme != "https")) {
        QMessageBox::warning(this, windowTitle(),
                             tr("The update cannot be downloaded from %1: only http and https "
                                "addresses are used.")
                                 .arg(sUrl));
        return;
    }
    // The record holds one installer: the one an earlier "Update Now" left
    // goes now, or nothing would ever delete it once this one is recorded.
    removeLeftOver();
    if (!createTarget())
        return;
    QSettings settings;
    settings.setValue(SettingsKey::kDownloadPath, sTarget);
    settings.setValue(SettingsKey::kDownloadVersion, sVersion);

    if (!pNet)
        pNet = new QNetworkAccessManager(this);
    sFailure.clear();
    bCancelled = false;
    pProgress = new QProgressDialog(this);
    pProgress->setWindowTitle(tr("Pelimund - Update"));
    pProgress->setMinimumDuration(0);
    // The display stays until the reply has finished, whatever it shows.
    pProgress->setAutoReset(false);
    pProgress->setAutoClose(false);
    pProgress->setRange(0, 0);
    pProgress->setLabelText(tr("Downloading update..."));
    connect(pProgress, &QProgressDialog::canceled, this, &NewVersionDlg::cancelDownload);
    pProgress->show();

    pReply = pNet->get(UpdateSource::request(url));
    ReplyWatch::watch(pReply, -1, UpdateSource::stallTimeoutMs(), ReplyWatch::SinceData);
    connect(pReply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(downloadProgress(qint64, qint64)));
    connect(pReply, SIGNAL(errorOccurred(QNetworkReply::NetworkError)), this,
            SLOT(downloadError(QNetworkReply::NetworkError)));
    connect(pReply, SIGNAL(finished()), this, SLOT(downloadFinished()));
    tStart.start();
    pbUpdate->setEnabled(false);
}

void NewVersionDlg::downloadProgress(qint64 iProg, qint64 iTotal) {
    if (!pReply || (sender() && sender() != pReply))
        return;
    if (iTotal < 0) {
        pProgress->setRange(0, 0); // busy: the end is unknown
    } else {
        // The bar counts in int: large files are shown in coarser steps.
        const qint64 iStep = iTotal / std::numeric_limits<int>::max() + 1;
        pProgress->setRange(0, int(iTotal / iStep));
        pProgress->setValue(int(std::min(iProg, iTotal) / iStep));
    }
    const qint64 iMs = tStart.elapsed();
    const qint64 iSpeed = iMs > 0 ? qint64(double(iProg) * 1000.0 / double(iMs)) : 0;
    pProgress->setLabelText(tr("Downloading update: %1 of %2 (%3/s)")
                                .arg(formatSize(iProg),
                                     iTotal < 0 ? tr("unknown size") : formatSize(iTotal),
                                     formatSize(iSpeed)));
    writeReady();
}

void NewVersionDlg::downloadError(QNetworkReply::NetworkError eCode) {
    // Reported with the rest when the reply finishes, which follows at once.
    Q_UNUSED(eCode);
}

void NewVersionDlg::downloadFinished() {
    QNetworkReply *pDone = pReply;
    if (!pDone || (sender() && sender() != pDone))
        return;
    writeReady();
    pReply = nullptr;
    QString sWhy = sFailure.isEmpty() ? ReplyWatch::failureOf(pDone) : sFailure;
    if (sWhy.isEmpty() && !pFile->flush())
        sWhy = tr("the file cannot be written: %1").arg(pFile->errorString());
    const QVariant vLength = pDone->header(QNetworkRequest::ContentLengthHeader);
    if (sWhy.isEmpty() && vLength.isValid() && pFile->size() != vLength.toLongLong())
        sWhy = tr("only %1 of %2 arrived")
                   .arg(formatSize(pFile->size()), formatSize(vLength.toLongLong()));
    pFile->close();
    delete pFile;
    pFile = nullptr;
    pProgress->close();
    pProgress->deleteLater();
    pProgress = nullptr;
    pDone->deleteLater();
    pbUpdate->setEnabled(true);

    if (!sWhy.isEmpty()) {
        discardTarget();
        if (bCancelled)
            QMessageBox::information(this, windowTitle(),
                                     tr("The download was cancelled; nothing was kept."));
        else
            QMessageBox::warning(this, windowTitle(),
                                 tr("The download failed: %1.\n\nNothing was kept.").arg(sWhy));
        return;
    }
    const QString sFolder = QFileInfo(sTarget).absolutePath();
    if (QMessageBox::question(
            this, windowTitle(),
            tr("Version %1 was downloaded to\n%2\n\nPelimund does not start downloaded files: "
               "check the file and install it yourself. It is deleted the next time Pelimund "
               "starts.\n\nOpen the folder that holds it?")
                .arg(sVersion, QDir::toNativeSeparators(sTarget)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(sFolder));
    accept();
}

bool NewVersionDlg::createTarget() {
    const QString sFolder = tempFolder();
    const QString sName = fileNameOf(QUrl(sUrl));
    QString sError = tr("every name tried is taken");
    for (int iTry = 1; iTry <= kMaxNameTries; ++iTry) {
        const QString sPath = sFolder + "/" + numberedName(sName, iTry);
        auto pNew = std::make_unique<QFile>(sPath);
        // Never through what is there already, a planted link included.
        if (pNew->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            pFile = pNew.release();
            sTarget = sPath;
            return true;
        }
        const QFileInfo there(sPath);
        if (!there.exists() && !there.isSymLink()) {
            sError = pNew->errorString();
            break;
        }
    }
    QMessageBox::warning(
        this, windowTitle(),
        tr("The update cannot be saved in %1: %2.").arg(QDir::toNativeSeparators(sFolder), sError));
    return false;
}

void NewVersionDlg::writeReady() {
    if (!pReply->isOpen())
        return; // aborted: nothing more to read
    const QByteArray baData = pReply->readAll();
    if (baData.isEmpty() || !sFailure.isEmpty())
        return;
    if (pFile->write(baData) != baData.size()) {
        sFailure = tr("the file cannot be written: %1").arg(pFile->errorString());
        if (!pReply->isFinished())
            pReply->abort();
    }
}

void NewVersionDlg::cancelDownload() {
    if (!pReply)
        return;
    bCancelled = true;
    sFailure = tr("the download was cancelled");
    pReply->abort();
}

void NewVersionDlg::discardTarget() {
    QFile::remove(sTarget);
    QSettings().remove(SettingsKey::kDownloadGroup);
}
