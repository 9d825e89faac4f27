// WireWorld: the About box's toy, a widget that runs the Wireworld cellular
// automaton on a small board the user can draw on, zoom, pan, save and open.
#pragma once

#include "gui/wireboard.h"

#include <QColor>
#include <QWidget>

#include <array>

class QAction;
class QActionGroup;
class QMenu;
class QTimer;

// Runs from construction: a generation every 250 milliseconds until "Run
// simulation" is unchecked, visible or not. The right button opens the
// context menu (zoom, run, speed, what the left button does, grid, board
// file commands); the left button draws or erases cells; the middle button
// moves the board for as long as it is held. Its menu and board dialogs
// speak plain (untranslated) text. Timer, menu and actions are children.
// GUI thread only.
class WireWorld : public QWidget {
    Q_OBJECT
public:
    // What the left button does; the numbers of the first four are the
    // cell states they draw.
    enum Mode { EraseMode = 0, WireMode = 1, HeadMode = 2, TailMode = 3, MoveMode = 4 };

    explicit WireWorld(QWidget *pParent = nullptr);

    // The board on show, with its view.
    const WireBoard &board() const { return wbBoard; }

public slots:
    // One generation, then a repaint.
    virtual void timestep();
    // Twice or half the pixels per cell, within 1 to 64.
    virtual void zoomIn();
    virtual void zoomOut();
    // Half or twice the timer's interval, within 125 to 8000 milliseconds.
    virtual void increaseSpeed();
    virtual void decreaseSpeed();
    // Ask for a file name, then save or open it. Dialogs start in the
    // current folder.
    virtual void save();
    virtual void save(const QString &sFile);
    virtual void open();
    // A board file or a resource path. A file that cannot be read or is not
    // a board leaves board, view and grid setting as they were; save and
    // open failures are shown in a message box.
    virtual void open(const QString &sFile);
    // Empties every cell; keeps size, centre, zoom and pan.
    virtual void clear();
    // Undoes the panning.
    virtual void recenter();
    virtual void setRunning(bool bRun);
    virtual void setGrid(bool bYes);

protected slots:
    // The left button's mode from one of the five mode actions.
    virtual void modeSel(QAction *pAct);

protected:
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void paintEvent(QPaintEvent *pEvent) override;

private:
    void buildMenu();
    // Widget pixel of the board's top left corner.
    QPoint boardOrigin() const;
    // The cell under a widget position; false off the board.
    bool cellAt(const QPoint &pos, QPoint &rCell) const;
    // Writes the current mode's state into the cell under pos (not in move
    // mode, not off the board).
    void drawAt(const QPoint &pos);
    // Ends a press-and-drag: back to the mode it started in.
    void endDrag();
    void showError(const QString &sWhat, const QString &sFile, const QString &sWhy);

    WireBoard wbBoard;
    std::array<QColor, 4> aColours;
    int iLastX = 0; // last mouse position seen, widget coordinates
    int iLastY = 0;
    int iMode = WireMode;
    int iSavedMode = WireMode; // the mode when the current drag began
    bool bDragging = false;    // a button went down here and not all are up
    QTimer *pTimer;
    QMenu *pMenu;
    std::array<QAction *, 5> aModeActions{};
    QAction *pGridAction = nullptr;
    QAction *pRunAction = nullptr;
    QActionGroup *pModeGroup = nullptr;
};
