// WireBoard: a wire-world board with the view it is shown in, its
// generation rule and its .wires file form.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// A plain value (copyable, no Qt object, no widgets), so that the file
// reader can be used and fuzzed on its own and the build can make boards.
//
// Cells hold 0 empty, 1 wire, 2 electron head or 3 electron tail, one byte
// each, row by row. Between generations a cell byte holds nothing else: the
// high four bits are scratch space of step() only.
//
// The view (iFlags, centre, zoom, pan) is the widget's to change; it keeps
// iZoom within iMinZoom..iMaxZoom and the pan within clampPan()'s limits,
// and fromBytes() hands out only boards that satisfy both.
//
// The .wires file: version byte 0, flags byte, seven little-endian signed
// 32-bit integers (width, height, centre column, centre row, zoom, pan x,
// pan y), then width x height cell bytes, row by row, and nothing after.
class WireBoard {
public:
    enum State : uint8_t { Empty = 0, Wire = 1, Head = 2, Tail = 3 };

    static constexpr int iHeaderSize = 30;
    static constexpr int iMaxSide = 1024;
    static constexpr int iMinZoom = 1;
    static constexpr int iMaxZoom = 64;
    static constexpr uint8_t iGridFlag = 1;

    // An empty 41 x 41 board.
    WireBoard() : WireBoard(41, 41) {}
    // An empty board of iWidth x iHeight cells (each 1 to iMaxSide), with
    // the centre cell in the middle, 8 pixels per cell, no pan, grid on.
    WireBoard(int iWidth, int iHeight);

    int width() const { return iWidth; }
    int height() const { return iHeight; }
    bool contains(int iX, int iY) const {
        return iX >= 0 && iY >= 0 && iX < iWidth && iY < iHeight;
    }
    // The cell in column iX, row iY; the caller ensures contains(iX, iY).
    State cell(int iX, int iY) const { return State(aCells[index(iX, iY)]); }
    void setCell(int iX, int iY, State eState) { aCells[index(iX, iY)] = eState; }
    // Every cell empty; size and view stay.
    void clear();

    // One generation, in place: a head becomes a tail, a tail becomes wire,
    // and wire becomes a head when one or two of its eight neighbours are
    // heads. Outside the board there are no heads (it does not wrap).
    // Allocates nothing.
    void step();

    // Limits the pan to half the board's size in pixels at the current zoom
    // in either direction, so that some of the board always stays in view.
    void clampPan();

    // The board in the .wires file form: exactly iHeaderSize + width x
    // height bytes, version 0.
    QByteArray toBytes() const;
    // The board a .wires file holds, or nothing when the bytes are not
    // one: another version, a width or height outside 1..iMaxSide, a zoom
    // outside iMinZoom..iMaxZoom, or a length other than the header plus
    // one byte per cell. Centre and pan are clamped onto the board. A cell
    // counts by its low four bits (the high ones are a generation's
    // scratch); values above 3 there are empty, as a generation makes them.
    static std::optional<WireBoard> fromBytes(QByteArrayView baFile);

    // Reads a board file (a resource path will do) without reading more
    // than a board can be long. Nothing, and a plain-text reason in *pError
    // when given, when it cannot be read or is not a board.
    static std::optional<WireBoard> load(const QString &sFile, QString *pError);
    // Writes the board through a temporary file that replaces sFile only
    // once complete, so a failed save leaves an old file as it was. False,
    // and a plain-text reason in *pError when given, on failure.
    bool save(const QString &sFile, QString *pError) const;

    uint8_t iFlags = iGridFlag; // bit 0: draw the grid; other bits kept as read
    int32_t iCentreX = 0;       // the cell drawn at the middle of the widget
    int32_t iCentreY = 0;
    int32_t iZoom = 8; // pixels per cell side
    int32_t iPanX = 0; // offset from the centred position, in pixels
    int32_t iPanY = 0;

private:
    // The two halves of step() for one row.
    void markNextStates(int iY);
    void shiftRow(int iY);
    size_t index(int iX, int iY) const { return size_t(iY) * size_t(iWidth) + size_t(iX); }

    int32_t iWidth;
    int32_t iHeight;
    std::vector<uint8_t> aCells;
};
