// WireWorld: the Wireworld toy widget.
#include "gui/wireworld.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int iStartInterval = 250; // milliseconds per generation
constexpr int iFastest = 125;
constexpr int iSlowest = 8000;
const char *const sFileFilter = "Wire World (*.wires)";

// Floor division, for cells left of or above the board's origin.
int floorDiv(int iNum, int iDen) {
    return iNum >= 0 ? iNum / iDen : -((-iNum + iDen - 1) / iDen);
}

} // namespace

WireWorld::WireWorld(QWidget *pParent)
    : QWidget(pParent), aColours{QColor(0, 0, 0), QColor(214, 110, 33), QColor(67, 255, 244),
                                 QColor(59, 66, 218)},
      pTimer(new QTimer(this)), pMenu(new QMenu(this)) {
    connect(pTimer, SIGNAL(timeout()), this, SLOT(timestep()));
    pTimer->start(iStartInterval);
    buildMenu();
}

void WireWorld::buildMenu() {
    const auto addCommand = [this](const char *sText, const char *sSlot) {
        connect(pMenu->addAction(sText), SIGNAL(triggered()), this, sSlot);
    };
    const auto addToggle = [this](const char *sText, const char *sSlot) {
        QAction *pAct = pMenu->addAction(sText);
        pAct->setCheckable(true);
        pAct->setChecked(true);
        connect(pAct, SIGNAL(toggled(bool)), this, sSlot);
        return pAct;
    };

    addCommand("Zoom in", SLOT(zoomIn()));
    addCommand("Zoom out", SLOT(zoomOut()));
    pMenu->addSection("Running");
    pRunAction = addToggle("Run simulation", SLOT(setRunning(bool)));
    addCommand("Increase speed", SLOT(increaseSpeed()));
    addCommand("Decrease speed", SLOT(decreaseSpeed()));

    pMenu->addSection("Left click will...");
    pModeGroup = new QActionGroup(this);
    pModeGroup->setExclusive(true);
    const char *const aModeTexts[] = {"Erase", "Draw Wire", "Draw Electron Head",
                                      "Draw Electron Tail", "Move Board"};
    for (int i = 0; i < int(aModeActions.size()); ++i) {
        QAction *pAct = pMenu->addAction(aModeTexts[i]);
        pAct->setCheckable(true);
        pAct->setChecked(i == WireMode);
        pModeGroup->addAction(pAct);
        aModeActions[i] = pAct;
    }
    connect(pModeGroup, SIGNAL(triggered(QAction *)), this, SLOT(modeSel(QAction *)));

    pMenu->addSection("Options");
    pGridAction = addToggle("Draw grid", SLOT(setGrid(bool)));

    pMenu->addSection("Board");
    addCommand("Save...", SLOT(save()));
    addCommand("Open...", SLOT(open()));
    addCommand("Clear", SLOT(clear()));
    addCommand("Recenter", SLOT(recenter()));
}

void WireWorld::timestep() {
    wbBoard.step();
    update();
}

void WireWorld::zoomIn() {
    if (wbBoard.iZoom < WireBoard::iMaxZoom) {
        // A board file may bring any zoom up to the limit, not only powers of two.
        wbBoard.iZoom = std::min(wbBoard.iZoom * 2, WireBoard::iMaxZoom);
        update();
    }
}

void WireWorld::zoomOut() {
    if (wbBoard.iZoom >= 2) {
        wbBoard.iZoom /= 2;
        wbBoard.clampPan(); // the board got smaller; keep some of it in view
        update();
    }
}

void WireWorld::increaseSpeed() {
    if (pTimer->interval() >= 2 * iFastest)
        pTimer->setInterval(pTimer->interval() / 2);
}

void WireWorld::decreaseSpeed() {
    if (pTimer->interval() <= iSlowest / 2)
        pTimer->setInterval(pTimer->interval() * 2);
}

void WireWorld::save() {
    const QString sFile =
        QFileDialog::getSaveFileName(this, "Save Wires", QDir::currentPath(), sFileFilter);
    if (!sFile.isEmpty())
        save(sFile);
}

void WireWorld::save(const QString &sFile) {
    QString sError;
    if (!wbBoard.save(sFile, &sError))
        showError("Cannot save the board to %1:\n%2", sFile, sError);
}

void WireWorld::open() {
    const QString sFile =
        QFileDialog::getOpenFileName(this, "Open Wires", QDir::currentPath(), sFileFilter);
    if (!sFile.isEmpty())
        open(sFile);
}

void WireWorld::open(const QString &sFile) {
    QString sError;
    std::optional<WireBoard> loaded = WireBoard::load(sFile, &sError);
    if (loaded) {
        wbBoard = std::move(*loaded);
        // Through toggled(bool) when the state changes; the flags are the
        // file's already.
        pGridAction->setChecked(wbBoard.iFlags & WireBoard::iGridFlag);
    }
    update();
    if (!loaded)
        showError("Cannot open the board %1:\n%2", sFile, sError);
}

void WireWorld::clear() {
    wbBoard.clear();
    update();
}

void WireWorld::recenter() {
    wbBoard.iPanX = wbBoard.iPanY = 0;
    update();
}

void WireWorld::setRunning(bool bRun) {
    if (bRun)
        pTimer->start();
    else
        pTimer->stop();
    pRunAction->setChecked(bRun); // for callers other than the menu
}

void WireWorld::setGrid(bool bYes) {
    if (bYes)
        wbBoard.iFlags |= WireBoard::iGridFlag;
    else
        wbBoard.iFlags &= uint8_t(~WireBoard::iGridFlag);
    pGridAction->setChecked(bYes); // for callers other than the menu
    update();
}

void WireWorld::modeSel(QAction *pAct) {
    const auto it = std::find(aModeActions.begin(), aModeActions.end(), pAct);
    if (it != aModeActions.end())
        iMode = int(it - aModeActions.begin());
}

void WireWorld::mousePressEvent(QMouseEvent *pEvent) {
    const QPoint pos = pEvent->position().toPoint();
    // A second button during a drag must not make the drag's own mode (a
    // middle-button move) the one to go back to.
    if (!bDragging)
        iSavedMode = iMode;
    bDragging = true;
    iLastX = pos.x();
    iLastY = pos.y();
    switch (pEvent->button()) {
    case Qt::RightButton:
        // The menu takes the mouse, so no release of this drag comes here.
        endDrag();
        pMenu->popup(pEvent->globalPosition().toPoint());
        break;
    case Qt::MiddleButton:
        iMode = MoveMode;
        break;
    case Qt::LeftButton:
        drawAt(pos);
        break;
    default:
        break;
    }
}

void WireWorld::mouseReleaseEvent(QMouseEvent *pEvent) {
    if (!bDragging)
        return;
    if (pEvent->buttons() == Qt::NoButton)
        endDrag();
    else if (pEvent->button() == Qt::MiddleButton)
        iMode = iSavedMode; // the move is over; a button still held draws again
}

void WireWorld::mouseMoveEvent(QMouseEvent *pEvent) {
    if (!bDragging)
        return;
    const QPoint pos = pEvent->position().toPoint();
    if (iMode != MoveMode) {
        drawAt(pos);
        return;
    }
    wbBoard.iPanX += pos.x() - iLastX;
    wbBoard.iPanY += pos.y() - iLastY;
    wbBoard.clampPan();
    iLastX = pos.x();
    iLastY = pos.y();
    update();
}

void WireWorld::endDrag() {
    bDragging = false;
    iMode = iSavedMode;
}

QPoint WireWorld::boardOrigin() const {
    const int iZ = wbBoard.iZoom;
    return QPoint(width() / 2 - wbBoard.iCentreX * iZ + wbBoard.iPanX - iZ / 2,
                  height() / 2 - wbBoard.iCentreY * iZ + wbBoard.iPanY - iZ / 2);
}

bool WireWorld::cellAt(const QPoint &pos, QPoint &rCell) const {
    const int iZ = wbBoard.iZoom;
    const QPoint offset = pos - boardOrigin();
    if (offset.x() < 0 || offset.y() < 0 || offset.x() >= iZ * wbBoard.width() ||
        offset.y() >= iZ * wbBoard.height())
        return false;
    rCell = QPoint(offset.x() / iZ, offset.y() / iZ);
    return true;
}

void WireWorld::drawAt(const QPoint &pos) {
    QPoint cell;
    if (iMode == MoveMode || !cellAt(pos, cell))
        return;
    wbBoard.setCell(cell.x(), cell.y(), WireBoard::State(iMode));
    update();
}

void WireWorld::paintEvent(QPaintEvent *pEvent) {
    QPainter painter(this);
    const QRect exposed = pEvent->rect();
    painter.fillRect(exposed, aColours[WireBoard::Empty]);

    const int iZ = wbBoard.iZoom;
    const int iW = wbBoard.width(), iH = wbBoard.height();
    const QPoint origin = boardOrigin();
    // Only the cells that reach into the exposed rectangle.
    const int iCol0 = std::max(0, floorDiv(exposed.left() - origin.x(), iZ));
    const int iCol1 = std::min(iW - 1, floorDiv(exposed.right() - origin.x(), iZ));
    const int iRow0 = std::max(0, floorDiv(exposed.top() - origin.y(), iZ));
    const int iRow1 = std::min(iH - 1, floorDiv(exposed.bottom() - origin.y(), iZ));
    for (int iY = iRow0; iY <= iRow1; ++iY)
        for (int iX = iCol0; iX <= iCol1; ++iX)
            if (const WireBoard::State eState = wbBoard.cell(iX, iY))
                painter.fillRect(origin.x() + iX * iZ, origin.y() + iY * iZ, iZ, iZ,
                                 aColours[eState]);

    if (!(wbBoard.iFlags & WireBoard::iGridFlag))
        return;
    // Inner lines only: the board's outer border is not drawn.
    painter.setPen(QColor(127, 127, 127));
    const int iRight = origin.x() + iW * iZ - 1, iBottom = origin.y() + iH * iZ - 1;
    for (int i = 1; i < iH; ++i)
        painter.drawLine(origin.x(), origin.y() + i * iZ, iRight, origin.y() + i * iZ);
    for (int i = 1; i < iW; ++i)
        painter.drawLine(origin.x() + i * iZ, origin.y(), origin.x() + i * iZ, iBottom);
}

void WireWorld::showError(const QString &sWhat, const QString &sFile, const QString &sWhy) {
    QMessageBox::warning(this, "Pelimund", sWhat.arg(QDir::toNativeSeparators(sFile), sWhy));
}
