// Fuzz target for the Wire World board reader: any bytes give a board that
// keeps the toy's limits, or nothing; a board read writes back to a file
// that reads to the same board, and a generation keeps its cells states.
#include "gui/wireboard.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_wires: %s\n", sWhat);
    std::abort();
}

void checkLimits(const WireBoard &board) {
    if (board.width() < 1 || board.width() > WireBoard::iMaxSide || board.height() < 1 ||
        board.height() > WireBoard::iMaxSide)
        failure("a board outside the size limits was accepted");
    if (board.iZoom < WireBoard::iMinZoom || board.iZoom > WireBoard::iMaxZoom)
        failure("a zoom outside the limits was accepted");
    if (!board.contains(board.iCentreX, board.iCentreY))
        failure("the centre cell is off the board");
    const int64_t iLimitX = int64_t(board.width()) * board.iZoom / 2;
    const int64_t iLimitY = int64_t(board.height()) * board.iZoom / 2;
    if (board.iPanX < -iLimitX || board.iPanX > iLimitX || board.iPanY < -iLimitY ||
        board.iPanY > iLimitY)
        failure("the pan is beyond half the board");
    for (int iY = 0; iY < board.height(); ++iY)
        for (int iX = 0; iX < board.width(); ++iX)
            if (board.cell(iX, iY) > WireBoard::Tail)
                failure("a cell holds no state");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    const QByteArray baInput(reinterpret_cast<const char *>(pData), qsizetype(iSize));
    std::optional<WireBoard> board = WireBoard::fromBytes(baInput);
    if (!board)
        return 0;
    if (baInput.size() != WireBoard::iHeaderSize + qsizetype(board->width()) * board->height())
        failure("a file of the wrong length was accepted");
    checkLimits(*board);

    const QByteArray baOnce = board->toBytes();
    if (baOnce.size() != baInput.size())
        failure("the board wrote to another length");
    std::optional<WireBoard> back = WireBoard::fromBytes(baOnce);
    if (!back || back->toBytes() != baOnce)
        failure("the written board did not read back the same");

    board->step();
    checkLimits(*board);
    return 0;
}
