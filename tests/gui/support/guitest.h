// Shared helpers of the widget tests: a private settings folder per program,
// answering modal dialogs from the event loop, and finding widgets.
#pragma once

#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <QWidget>

#include <functional>

namespace GuiTest {

// Points the settings store, the documents folder and every other per-user
// folder at a fresh temporary folder (removed at exit), so that no test
// reads or writes the user's own settings, and the update check at a
// loopback port that refuses. Call before QApplication exists;
// PELIMUND_GUI_TEST_MAIN does.
void isolateUserFolders();

// The temporary home of this test program (what isolateUserFolders made).
QString homePath();

// Removes every setting of the program, for tests that need a fresh start.
void clearSettings();

// Calls fAnswer with the next modal widget that becomes active, from a
// zero-delay timer that looks again on every pass of the event loop (never
// sleeping). Arm it before the call that opens the dialog. When no modal
// widget shows within ten seconds the answer is dropped and the test fails.
void answerModal(std::function<void(QWidget *)> fAnswer);

// Like answerModal, for the next active modal widget for which fMatch holds;
// other modal widgets on show meanwhile (a progress dialog that stays open
// under the one to answer) are passed over.
void answerModalWhere(std::function<bool(QWidget *)> fMatch,
                      std::function<void(QWidget *)> fAnswer);

// Answers the next message box with the button of the given role; the text
// of the box is stored in *pText when given.
void answerMessageBox(QMessageBox::StandardButton eButton, QString *pText = nullptr);

// Accepts the next file dialog with the given path (file or folder).
void answerFileDialog(const QString &sPath);

// Rejects the next modal dialog.
void rejectModal();

// Number of modal answers armed and not yet given; tests check it is 0.
int pendingAnswers();

// Gives pStart the focus in its shown window and presses Tab until the focus
// comes back to it (at most 50 times); gives the widgets that had the focus
// in turn, pStart last. A widget inside a container that is not itself
// focusable (a button box) counts as that container, once.
QList<QWidget *> tabOrder(QWidget *pStart);

// The bytes of the file at sPath; empty when it cannot be read.
QByteArray fileBytes(const QString &sPath);

// Runs the event loop until fDone is true or ten seconds pass; returns fDone().
bool waitFor(const std::function<bool()> &fDone);

} // namespace GuiTest

// Like QTEST_MAIN, with the user folders isolated first.
#define PELIMUND_GUI_TEST_MAIN(TestClass)                                                          \
    int main(int argc, char **argv) {                                                              \
        GuiTest::isolateUserFolders();                                                             \
        QApplication app(argc, argv);                                                              \
        app.setOrganizationName("Quorvane");                                                       \
        app.setApplicationName("Pelimund");                                                        \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
