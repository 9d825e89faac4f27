// wiresboard: turns a text drawing of a Wire World board into the .wires file
// the program's resources hold, so that only the drawing lives in the tree.
//
// Usage: wiresboard INPUT.txt OUTPUT.wires ZOOM
// The drawing has one line per board row and one character per cell: '.'
// empty, '#' wire, 'H' electron head, 'T' electron tail; lines starting with
// ';' are comments. Every row must be as long as the first. The file shows
// the board without a grid, centred, at ZOOM pixels per cell.
#include "gui/wireboard.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

bool fail(const QString &sMessage) {
    std::fprintf(stderr, "wiresboard: %s\n", qPrintable(sMessage));
    return false;
}

bool cellState(char c, WireBoard::State &rState) {
    switch (c) {
    case '.':
        rState = WireBoard::Empty;
        return true;
    case '#':
        rState = WireBoard::Wire;
        return true;
    case 'H':
        rState = WireBoard::Head;
        return true;
    case 'T':
        rState = WireBoard::Tail;
        return true;
    default:
        return false;
    }
}

bool parse(const QString &sPath, QList<QByteArray> &lRows) {
    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail("cannot read " + sPath);
    int iLine = 0;
    while (!file.atEnd()) {
        ++iLine;
        QByteArray baLine = file.readLine();
        while (baLine.endsWith('\n') || baLine.endsWith('\r'))
            baLine.chop(1);
        if (baLine.startsWith(';'))
            continue;
        if (!lRows.isEmpty() && baLine.size() != lRows.first().size())
            return fail(QString("%1:%2: the row's length differs from the first row's")
                            .arg(sPath)
                            .arg(iLine));
        WireBoard::State eState;
        for (char c : baLine)
            if (!cellState(c, eState))
                return fail(QString("%1:%2: a cell is none of . # H T").arg(sPath).arg(iLine));
        lRows.append(baLine);
    }
    if (lRows.isEmpty() || lRows.first().isEmpty())
        return fail(sPath + ": the drawing has no cells");
    if (lRows.size() > WireBoard::iMaxSide || lRows.first().size() > WireBoard::iMaxSide)
        return fail(sPath + ": the drawing is larger than a board may be");
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList lArgs = app.arguments();
    if (lArgs.size() != 4) {
        std::fprintf(stderr, "usage: wiresboard INPUT.txt OUTPUT.wires ZOOM\n");
        return 2;
    }
    bool bOk = false;
    const int iZoom = lArgs[3].toInt(&bOk);
    if (!bOk || iZoom < WireBoard::iMinZoom || iZoom > WireBoard::iMaxZoom) {
        fail("bad zoom " + lArgs[3]);
        return 2;
    }
    QList<QByteArray> lRows;
    if (!parse(lArgs[1], lRows))
        return 1;

    WireBoard board(int(lRows.first().size()), int(lRows.size()));
    board.iFlags = 0;
    board.iZoom = iZoom;
    for (int iY = 0; iY < board.height(); ++iY)
        for (int iX = 0; iX < board.width(); ++iX) {
            WireBoard::State eState = WireBoard::Empty;
            cellState(lRows[iY][iX], eState);
            board.setCell(iX, iY, eState);
        }
    QString sError;
    if (!board.save(lArgs[2], &sError)) {
        fail("cannot write " + lArgs[2] + ": " + sError);
        return 1;
    }
    return 0;
}
