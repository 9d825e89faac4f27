// Shared helpers of the widget tests.
#include "support/guitest.h"

#include "gui/updatesource.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace GuiTest {
namespace {

QTemporaryDir *tempHome() {
    // Deleted at exit, which removes the folder.
    static std::unique_ptr<QTemporaryDir> pDir(new QTemporaryDir);
    return pDir.get();
}

int iPending = 0;

void poll(std::function<bool(QWidget *)> fMatch, std::function<void(QWidget *)> fAnswer,
          QDeadlineTimer deadline) {
    QWidget *pModal = QApplication::activeModalWidget();
    if (pModal && pModal->isVisible() && fMatch(pModal)) {
        --iPending;
        fAnswer(pModal);
        return;
    }
    if (deadline.hasExpired()) {
        --iPending;
        qWarning("GuiTest: no modal widget showed within ten seconds");
        return;
    }
    QTimer::singleShot(0, qApp, [fMatch, fAnswer, deadline] { poll(fMatch, fAnswer, deadline); });
}

} // namespace

void isolateUserFolders() {
    const QString sHome = tempHome()->path();
    QDir(sHome).mkpath("config");
    QDir(sHome).mkpath("data");
    QDir(sHome).mkpath("cache");
    QDir(sHome).mkpath("Documents");
    setenv("HOME", sHome.toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (sHome + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", (sHome + "/data").toLocal8Bit().constData(), 1);
    setenv("XDG_CACHE_HOME", (sHome + "/cache").toLocal8Bit().constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (sHome + "/Documents").toLocal8Bit().constData(), 1);
    // The main window checks for updates when it starts: no test may reach
    // the product's host. Port 1 on the loopback refuses at once; tests of
    // the check start a server of their own.
    UpdateSource::setBaseUrl(QUrl("http://127.0.0.1:1"));
}

QString homePath() {
    return tempHome()->path();
}

void clearSettings() {
    QSettings settings;
    settings.clear();
    settings.sync();
}

void answerModal(std::function<void(QWidget *)> fAnswer) {
    answerModalWhere([](QWidget *) { return true; }, std::move(fAnswer));
}

void answerModalWhere(std::function<bool(QWidget *)> fMatch,
                      std::function<void(QWidget *)> fAnswer) {
    ++iPending;
    const QDeadlineTimer deadline(10000);
    QTimer::singleShot(0, qApp, [fMatch, fAnswer, deadline] { poll(fMatch, fAnswer, deadline); });
}

void answerMessageBox(QMessageBox::StandardButton eButton, QString *pText) {
    answerModal([eButton, pText](QWidget *pModal) {
        auto *pBox = qobject_cast<QMessageBox *>(pModal);
        QVERIFY2(pBox, qPrintable(QString("expected a message box, got ") +
                                  pModal->metaObject()->className()));
        if (pText)
            *pText = pBox->text();
        QAbstractButton *pButton = pBox->button(eButton);
        QVERIFY2(pButton, "the message box has no such button");
        pButton->click();
    });
}

void answerFileDialog(const QString &sPath) {
    answerModal([sPath](QWidget *pModal) {
        auto *pDialog = qobject_cast<QFileDialog *>(pModal);
        QVERIFY2(pDialog, qPrintable(QString("expected a file dialog, got ") +
                                     pModal->metaObject()->className()));
        pDialog->selectFile(sPath);
        static_cast<QDialog *>(pDialog)->accept();
    });
}

void rejectModal() {
    answerModal([](QWidget *pModal) {
        auto *pDialog = qobject_cast<QDialog *>(pModal);
        QVERIFY2(pDialog, "expected a dialog");
        pDialog->reject();
    });
}

int pendingAnswers() {
    return iPending;
}

QList<QWidget *> tabOrder(QWidget *pStart) {
    QList<QWidget *> lVisited;
    pStart->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 50 && QApplication::focusWidget(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *pFocus = QApplication::focusWidget();
        if (pFocus && pFocus->parentWidget() &&
            pFocus->parentWidget()->focusPolicy() == Qt::NoFocus &&
            qobject_cast<QDialogButtonBox *>(pFocus->parentWidget()))
            pFocus = pFocus->parentWidget();
        if (lVisited.isEmpty() || lVisited.last() != pFocus)
            lVisited << pFocus;
        if (pFocus == pStart)
            break;
    }
    return lVisited;
}

QByteArray fileBytes(const QString &sPath) {
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool waitFor(const std::function<bool()> &fDone) {
    return QTest::qWaitFor(fDone, 10000);
}

} // namespace GuiTest
