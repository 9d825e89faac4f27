// WireWorld: the toy's menu, limits, mouse, painting, board files, and the
// sample board adding.
#include "gui/wireworld.h"
#include "support/guitest.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

QAction *action(WireWorld &ww, const QString &sText) {
    for (QAction *pAct : ww.findChild<QMenu *>()->actions())
        if (pAct->text() == sText && !pAct->isSeparator())
            return pAct;
    qFatal("no action %s", qPrintable(sText));
}

int interval(WireWorld &ww) {
    return ww.findChild<QTimer *>()->interval();
}

// eButton caused the event; eHeld are the buttons down after it.
void mouse(WireWorld &ww, QEvent::Type eType, Qt::MouseButton eButton, Qt::MouseButtons eHeld,
           QPoint pos) {
    QMouseEvent event(eType, pos, ww.mapToGlobal(QPointF(pos)), eButton, eHeld, Qt::NoModifier);
    QCoreApplication::sendEvent(&ww, &event);
}
constexpr QEvent::Type ePress = QEvent::MouseButtonPress, eRelease = QEvent::MouseButtonRelease,
                       eMove = QEvent::MouseMove;

void click(WireWorld &ww, QPoint pos) {
    mouse(ww, ePress, Qt::LeftButton, Qt::LeftButton, pos);
    mouse(ww, eRelease, Qt::LeftButton, Qt::NoButton, pos);
}

// The middle pixel of a cell; the board's left edge lies at
// W/2 - centre x zoom + pan - zoom/2 (its top likewise).
QPoint pixelOf(const WireWorld &ww, int iX, int iY) {
    const WireBoard &b = ww.board();
    return QPoint(ww.width() / 2 - b.iCentreX * b.iZoom + b.iPanX + iX * b.iZoom,
                  ww.height() / 2 - b.iCentreY * b.iZoom + b.iPanY + iY * b.iZoom);
}

// A 400 x 400 toy that stands still unless told to step.
std::unique_ptr<WireWorld> stillToy() {
    auto pToy = std::make_unique<WireWorld>();
    pToy->resize(400, 400);
    action(*pToy, "Run simulation")->setChecked(false);
    return pToy;
}

// The sample board's sum: its three lamps (4 x 8 cells each) hold an
// electron or not.
int lampSum(const WireBoard &board) {
    const QPoint aLamps[] = {{25, 5}, {22, 24}, {31, 34}}; // S0, S1, S2
    int iSum = 0;
    for (int i = 0; i < 3; ++i)
        for (int iY = 0; iY < 4; ++iY)
            for (int iX = 0; iX < 8; ++iX)
                if (board.cell(aLamps[i].x() + iX, aLamps[i].y() + iY) == WireBoard::Head)
                    iSum |= 1 << i;
    return iSum;
}

} // namespace

class WireWorldTest : public QObject {
    Q_OBJECT
private slots:
    void startsRunningWithItsMenu() {
        WireWorld ww;
        QVERIFY(ww.findChild<QTimer *>()->isActive());
        QCOMPARE(interval(ww), 250);
        QCOMPARE(ww.board().toBytes(), WireBoard().toBytes());
        QStringList lEntries;
        for (QAction *pAct : ww.findChild<QMenu *>()->actions())
            lEntries << (pAct->isSeparator() ? "-" : "") + pAct->text() +
                            (pAct->isChecked()     ? " [x]"
                             : pAct->isCheckable() ? " [ ]"
                                                   : "") +
                            pAct->shortcut().toString();
        QCOMPARE(lEntries, QStringList({"Zoom in", "Zoom out", "-Running", "Run simulation [x]",
                                        "Increase speed", "Decrease speed", "-Left click will...",
                                        "Erase [ ]", "Draw Wire [x]", "Draw Electron Head [ ]",
                                        "Draw Electron Tail [ ]", "Move Board [ ]", "-Options",
                                        "Draw grid [x]", "-Board", "Save...", "Open...", "Clear",
                                        "Recenter"}));
        action(ww, "Run simulation")->setChecked(false);
        QVERIFY(!ww.findChild<QTimer *>()->isActive());
    }

    void zoomAndSpeedStopAtTheirLimits() {
        WireWorld ww;
        QList<int> lSeen;
        for (const char *sCommand :
             {"Zoom in", "Zoom in", "Zoom in", "Zoom in", "Zoom out", "Zoom out", "Zoom out",
              "Zoom out", "Zoom out", "Zoom out", "Zoom out", "Zoom out"}) {
            action(ww, sCommand)->trigger();
            lSeen << ww.board().iZoom;
        }
        QCOMPARE(lSeen, QList<int>({16, 32, 64, 64, 32, 16, 8, 4, 2, 1, 1, 1}));
        lSeen.clear();
        for (const char *sCommand : {"Increase speed", "Increase speed", "Decrease speed",
                                     "Decrease speed", "Decrease speed", "Decrease speed",
                                     "Decrease speed", "Decrease speed", "Decrease speed"}) {
            action(ww, sCommand)->trigger();
            lSeen << interval(ww);
        }
        QCOMPARE(lSeen, QList<int>({125, 125, 250, 500, 1000, 2000, 4000, 8000, 8000}));
    }

    void drawsAndMovesWithTheMouse() {
        auto pToy = stillToy();
        WireWorld &ww = *pToy;
        // A stroke of wire, then a head and a tail on it, and a cell erased.
        mouse(ww, ePress, Qt::LeftButton, Qt::LeftButton, pixelOf(ww, 10, 10));
        for (int iX = 11; iX <= 13; ++iX)
            mouse(ww, eMove, Qt::NoButton, Qt::LeftButton, pixelOf(ww, iX, 10));
        mouse(ww, eRelease, Qt::LeftButton, Qt::NoButton, pixelOf(ww, 13, 10));
        mouse(ww, eMove, Qt::NoButton, Qt::LeftButton, pixelOf(ww, 14, 10)); // not pressed here
        using ModeAt = std::pair<const char *, int>;
        for (auto [sMode, iX] : {ModeAt{"Draw Electron Head", 11}, ModeAt{"Draw Electron Tail", 10},
                                 ModeAt{"Erase", 13}}) {
            action(ww, sMode)->trigger();
            click(ww, pixelOf(ww, iX, 10));
        }
        ww.timestep();
        const WireBoard &board = ww.board();
        QCOMPARE(board.cell(10, 10), WireBoard::Wire);
        QCOMPARE(board.cell(11, 10), WireBoard::Tail);
        QCOMPARE(board.cell(12, 10), WireBoard::Head);
        QCOMPARE(board.cell(13, 10), WireBoard::Empty);
        QCOMPARE(board.cell(14, 10), WireBoard::Empty);

        // Off the board nothing changes.
        action(ww, "Draw Wire")->trigger();
        const QByteArray baBefore = board.toBytes();
        for (QPoint pos : {QPoint(5, 5), pixelOf(ww, 41, 0), pixelOf(ww, 0, -1)})
            click(ww, pos);
        QCOMPARE(board.toBytes(), baBefore);

        // The middle button moves the board, no further than half its pixels.
        const QPoint start(200, 200);
        mouse(ww, ePress, Qt::MiddleButton, Qt::MiddleButton, start);
        mouse(ww, eMove, Qt::NoButton, Qt::MiddleButton, start + QPoint(30, -20));
        QCOMPARE(QPoint(board.iPanX, board.iPanY), QPoint(30, -20));
        mouse(ww, eMove, Qt::NoButton, Qt::MiddleButton, start + QPoint(-1000, 1000));
        QCOMPARE(QPoint(board.iPanX, board.iPanY), QPoint(-164, 164)); // 41 x 8 / 2
        mouse(ww, eRelease, Qt::MiddleButton, Qt::NoButton, start);
        ww.zoomOut(); // a smaller board: the limit halves
        QCOMPARE(QPoint(board.iPanX, board.iPanY), QPoint(-82, 82));
        action(ww, "Recenter")->trigger();
        QCOMPARE(QPoint(board.iPanX, board.iPanY), QPoint(0, 0));
        click(ww, pixelOf(ww, 3, 3)); // drawing wire again
        QCOMPARE(board.cell(3, 3), WireBoard::Wire);

        action(ww, "Clear")->trigger();
        QCOMPARE(board.cell(3, 3), WireBoard::Empty);
        QCOMPARE(board.iZoom, 4);
    }

    // Another button during a middle-button move must not leave the toy
    // moving when the user means to draw.
    void interruptedMoveRestoresTheMode() {
        auto pToy = stillToy();
        WireWorld &ww = *pToy;
        const QPoint at = pixelOf(ww, 7, 7);
        mouse(ww, ePress, Qt::MiddleButton, Qt::MiddleButton, at);
        mouse(ww, ePress, Qt::LeftButton, Qt::MiddleButton | Qt::LeftButton, at);
        QCOMPARE(ww.board().cell(7, 7), WireBoard::Empty); // moving, not drawing
        mouse(ww, eRelease, Qt::LeftButton, Qt::MiddleButton, at);
        mouse(ww, eRelease, Qt::MiddleButton, Qt::NoButton, at);
        click(ww, at);
        QCOMPARE(ww.board().cell(7, 7), WireBoard::Wire);

        // Drawing, the middle button pressed and let go: the stroke goes on.
        mouse(ww, ePress, Qt::LeftButton, Qt::LeftButton, at);
        mouse(ww, ePress, Qt::MiddleButton, Qt::LeftButton | Qt::MiddleButton, at);
        mouse(ww, eRelease, Qt::MiddleButton, Qt::LeftButton, at);
        mouse(ww, eMove, Qt::NoButton, Qt::LeftButton, pixelOf(ww, 8, 7));
        mouse(ww, eRelease, Qt::LeftButton, Qt::NoButton, at);
        QCOMPARE(ww.board().cell(8, 7), WireBoard::Wire);

        // The right button opens the menu, which takes the mouse: the middle
        // button's release never comes here.
        mouse(ww, ePress, Qt::MiddleButton, Qt::MiddleButton, at);
        mouse(ww, ePress, Qt::RightButton, Qt::MiddleButton | Qt::RightButton, at);
        QVERIFY(ww.findChild<QMenu *>()->isVisible());
        ww.findChild<QMenu *>()->hide();
        click(ww, pixelOf(ww, 6, 6));
        QCOMPARE(ww.board().cell(6, 6), WireBoard::Wire);
    }

    // A 3 x 3 board at 8 pixels per cell in a 40 x 40 widget: its corner is
    // at (8, 8), inner grid lines at 16 and 24, no border.
    void paints() {
        QTemporaryDir dir;
        WireBoard small(3, 3);
        small.setCell(0, 0, WireBoard::Wire);
        small.setCell(1, 0, WireBoard::Head);
        small.setCell(2, 0, WireBoard::Tail);
        QVERIFY(small.save(dir.filePath("small.wires"), nullptr));
        auto pToy = stillToy();
        WireWorld &ww = *pToy;
        ww.resize(40, 40);
        ww.open(dir.filePath("small.wires"));
        const QColor grey(127, 127, 127), black(0, 0, 0);
        QImage shot = ww.grab().toImage();
        QCOMPARE(shot.pixelColor(9, 9), QColor(214, 110, 33));
        QCOMPARE(shot.pixelColor(17, 9), QColor(67, 255, 244));
        QCOMPARE(shot.pixelColor(25, 9), QColor(59, 66, 218));
        QCOMPARE(shot.pixelColor(9, 17), black);
        QCOMPARE(shot.pixelColor(16, 20), grey);
        QCOMPARE(shot.pixelColor(20, 24), grey);
        for (QPoint outside : {QPoint(7, 20), QPoint(32, 20), QPoint(20, 32)})
            QCOMPARE(shot.pixelColor(outside), black);
        action(ww, "Draw grid")->setChecked(false);
        QCOMPARE(ww.grab().toImage().pixelColor(16, 20), black);
    }

    // Through the dialogs, which start in the current folder; what is saved
    // opens again as it was; a bad file changes nothing but shows why.
    void boardFiles() {
        QTemporaryDir dir;
        const QString sOld = QDir::currentPath();
        QDir::setCurrent(dir.path());
        auto pToy = stillToy();
        WireWorld &ww = *pToy;
        click(ww, pixelOf(ww, 40, 40));
        ww.zoomOut();
        mouse(ww, ePress, Qt::MiddleButton, Qt::MiddleButton, QPoint(100, 100));
        mouse(ww, eMove, Qt::NoButton, Qt::MiddleButton, QPoint(95, 103));
        mouse(ww, eRelease, Qt::MiddleButton, Qt::NoButton, QPoint(95, 103));
        action(ww, "Draw grid")->setChecked(false);
        const QByteArray baSaved = ww.board().toBytes();

        QStringList lSeen;
        const auto answer = [&lSeen](const QString &sPath) {
            GuiTest::answerModal([&lSeen, sPath](QWidget *pModal) {
                auto *pDialog = qobject_cast<QFileDialog *>(pModal);
                QVERIFY(pDialog);
                lSeen << pDialog->windowTitle() << pDialog->directory().absolutePath()
                      << pDialog->nameFilters();
                pDialog->selectFile(sPath);
                static_cast<QDialog *>(pDialog)->accept();
            });
        };
        const QString sFile = dir.filePath("mine"), sHere = QDir(dir.path()).absolutePath();
        answer(sFile);
        action(ww, "Save...")->trigger();
        QCOMPARE(QFileInfo(sFile).size(), 1711); // saved as named, no extension added

        WireWorld other;
        answer(sFile);
        action(other, "Open...")->trigger();
        QCOMPARE(lSeen, QStringList({"Save Wires", sHere, "Wire World (*.wires)", "Open Wires",
                                     sHere, "Wire World (*.wires)"}));
        QCOMPARE(other.board().toBytes(), baSaved);
        QVERIFY(!action(other, "Draw grid")->isChecked());
        QDir::setCurrent(sOld);

        QFile bad(dir.filePath("bad.wires"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(baSaved.left(1710)) == 1710);
        bad.close();
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        ww.open(bad.fileName());
        QVERIFY(sText.startsWith("Cannot open the board " + bad.fileName()));
        QCOMPARE(ww.board().toBytes(), baSaved);
        QVERIFY(!action(ww, "Draw grid")->isChecked());

        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        ww.save(dir.path()); // a folder is no board file
        QVERIFY(sText.startsWith("Cannot save the board to " + dir.path()));
        QVERIFY(QFileInfo(dir.path()).isDir());
        QCOMPARE(GuiTest::pendingAnswers(), 0);
    }

    // Every sum of two 2-bit numbers, entered as the drawing's notes say:
    // with the simulation stopped, a head drawn on the end of each input
    // that is 1; after 70 generations the lamps show the sum, and stay.
    void sampleBoardAdds_data() {
        QTest::addColumn<int>("iA");
        QTest::addColumn<int>("iB");
        for (int iA = 0; iA < 4; ++iA)
            for (int iB = 0; iB < 4; ++iB)
                QTest::addRow("%d+%d", iA, iB) << iA << iB;
    }
    void sampleBoardAdds() {
        QFETCH(int, iA);
        QFETCH(int, iB);
        auto pToy = stillToy();
        WireWorld &ww = *pToy;
        ww.open(":/wireworld/binary_adder.wires");
        const QPoint aEnds[] = {{1, 2}, {1, 10}, {1, 17}, {1, 39}}; // A0, B0, A1, B1
        for (const QPoint &end : aEnds) // wire again where the sample has its electrons
            click(ww, pixelOf(ww, end.x(), end.y()));
        action(ww, "Draw Electron Head")->trigger();
        const int iInputs = (iA & 1) | (iB & 1) << 1 | (iA & 2) << 1 | (iB & 2) << 2;
        for (int i = 0; i < 4; ++i)
            if (iInputs & 1 << i)
                click(ww, pixelOf(ww, aEnds[i].x(), aEnds[i].y()));
        for (int i = 0; i < 70; ++i)
            ww.timestep();
        QCOMPARE(lampSum(ww.board()), iA + iB);
        for (int i = 0; i < 50; ++i)
            ww.timestep();
        QCOMPARE(lampSum(ww.board()), iA + iB);
    }

    // As shipped: 41 x 41, no grid, 4 pixels per cell, centred, adding 3 + 1.
    void sampleBoard() {
        WireWorld ww;
        ww.open(":/wireworld/binary_adder.wires");
        QByteArray baHead = WireBoard(41, 41).toBytes().left(30);
        baHead[1] = 0;  // flags
        baHead[18] = 4; // zoom
        QCOMPARE(ww.board().toBytes().left(30), baHead);
        QVERIFY(!action(ww, "Draw grid")->isChecked());
        ww.setRunning(false);
        for (int i = 0; i < 70; ++i)
            ww.timestep();
        QCOMPARE(lampSum(ww.board()), 4);
    }
};

PELIMUND_GUI_TEST_MAIN(WireWorldTest)
#include "wireworld_test.moc"
