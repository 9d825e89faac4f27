// WireBoard: a wire-world board, its generation rule and its file form.
#include "gui/wireboard.h"

#include "gui/savewhole.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr uint8_t iLow = 0x0F;

inline int isHead(uint8_t iCell) {
    return (iCell & iLow) == WireBoard::Head;
}

// Stands in for the rows above and below the board, where there are no heads.
const uint8_t aNoHeads[WireBoard::iMaxSide] = {};

void putInt(char *pAt, int32_t iValue) {
    qToLittleEndian<int32_t>(iValue, pAt);
}

int32_t getInt(const char *pAt) {
    return qFromLittleEndian<int32_t>(pAt);
}

void setError(QString *pError, const QString &sWhy) {
    if (pError)
        *pError = sWhy;
}

} // namespace

WireBoard::WireBoard(int iWidth, int iHeight)
    : iCentreX(iWidth / 2), iCentreY(iHeight / 2), iWidth(iWidth), iHeight(iHeight),
      aCells(size_t(iWidth) * size_t(iHeight), Empty) {}

void WireBoard::clear() {
    std::fill(aCells.begin(), aCells.end(), Empty);
}

void WireBoard::step() {
    // Each cell's next state goes into its high four bits while the low four
    // still hold the current generation for the neighbours to read, so no
    // second board is needed; then a shift makes next current. A row is
    // shifted as soon as no row still to come needs it as a neighbour,
    // while it is still in the cache.
    for (int iY = 0; iY < iHeight; ++iY) {
        markNextStates(iY);
        if (iY > 0)
            shiftRow(iY - 1);
    }
    shiftRow(iHeight - 1);
}

void WireBoard::markNextStates(int iY) {
    uint8_t *pRow = aCells.data() + index(0, iY);
    const uint8_t *pAbove = iY > 0 ? pRow - iWidth : aNoHeads;
    const uint8_t *pBelow = iY + 1 < iHeight ? pRow + iWidth : aNoHeads;
    const int iLast = iWidth - 1;
    for (int iX = 0; iX <= iLast; ++iX) {
        const uint8_t iNow = pRow[iX]; // not marked yet: the state alone
        uint8_t iNext;
        switch (iNow) {
        case Empty:
            continue;
        case Head:
            iNext = Tail;
            break;
        case Tail:
            iNext = Wire;
            break;
        case Wire: {
            // Neighbours left of this one and the row above are marked
            // already; isHead reads their current state only.
            int iHeads = isHead(pAbove[iX]) + isHead(pBelow[iX]);
            if (iX > 0)
                iHeads += isHead(pAbove[iX - 1]) + isHead(pRow[iX - 1]) + isHead(pBelow[iX - 1]);
            if (iX < iLast)
                iHeads += isHead(pAbove[iX + 1]) + isHead(pRow[iX + 1]) + isHead(pBelow[iX + 1]);
            iNext = iHeads == 1 || iHeads == 2 ? Head : Wire;
            break;
        }
        default:
            continue; // no state: its empty high bits make it empty
        }
        pRow[iX] = uint8_t(iNext << 4 | iNow);
    }
}

void WireBoard::shiftRow(int iY) {
    // Bounds taken first: a byte store could alias the members otherwise,
    // which keeps the compiler from vectorising the loop.
    uint8_t *pCell = aCells.data() + index(0, iY);
    uint8_t *const pEnd = pCell + iWidth;
    for (; pCell != pEnd; ++pCell)
        *pCell >>= 4;
}

void WireBoard::clampPan() {
    const int32_t iLimitX = int32_t(int64_t(iWidth) * iZoom / 2);
    const int32_t iLimitY = int32_t(int64_t(iHeight) * iZoom / 2);
    iPanX = std::clamp(iPanX, -iLimitX, iLimitX);
    iPanY = std::clamp(iPanY, -iLimitY, iLimitY);
}

QByteArray WireBoard::toBytes() const {
    QByteArray baFile(iHeaderSize + qsizetype(aCells.size()), '\0');
    char *pOut = baFile.data();
    pOut[0] = 0; // version
    pOut[1] = char(iFlags);
    const int32_t aFields[] = {iWidth, iHeight, iCentreX, iCentreY, iZoom, iPanX, iPanY};
    for (int i = 0; i < 7; ++i)
        putInt(pOut + 2 + 4 * i, aFields[i]);
    char *pCell = pOut + iHeaderSize;
    for (uint8_t iCell : aCells)
        *pCell++ = char(iCell & iLow);
    return baFile;
}

std::optional<WireBoard> WireBoard::fromBytes(QByteArrayView baFile) {
    if (baFile.size() < iHeaderSize || baFile[0] != 0)
        return std::nullopt;
    const char *pIn = baFile.data();
    const auto field = [pIn](int i) { return getInt(pIn + 2 + 4 * i); };
    const int32_t iW = field(0), iH = field(1), iZ = field(4);
    if (iW < 1 || iW > iMaxSide || iH < 1 || iH > iMaxSide)
        return std::nullopt;
    if (baFile.size() != iHeaderSize + qsizetype(iW) * iH)
        return std::nullopt;
    if (iZ < iMinZoom || iZ > iMaxZoom)
        return std::nullopt;

    WireBoard board(iW, iH);
    board.iFlags = uint8_t(pIn[1]);
    board.iCentreX = std::clamp(field(2), 0, iW - 1);
    board.iCentreY = std::clamp(field(3), 0, iH - 1);
    board.iZoom = iZ;
    board.iPanX = field(5);
    board.iPanY = field(6);
    board.clampPan();
    const uint8_t *pCell = reinterpret_cast<const uint8_t *>(pIn + iHeaderSize);
    for (uint8_t &rCell : board.aCells) {
        const uint8_t iState = *pCell++ & iLow;
        rCell = iState <= Tail ? iState : uint8_t(Empty);
    }
    return board;
}

std::optional<WireBoard> WireBoard::load(const QString &sFile, QString *pError) {
    QFile file(sFile);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(pError, file.errorString());
        return std::nullopt;
    }
    // One byte more than the largest board, so that an oversized file is
    // refused without being read whole.
    const QByteArray baFile = file.read(iHeaderSize + qint64(iMaxSide) * iMaxSide + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(pError, file.errorString());
        return std::nullopt;
    }
    std::optional<WireBoard> board = fromBytes(baFile);
    if (!board)
        setError(pError, "The file is not a Wire World board, or it is damaged.");
    return board;
}

bool WireBoard::save(const QString &sFile, QString *pError) const {
    QString sError;
    if (!saveWhole(sFile, toBytes(), &sError)) {
        setError(pError, sError);
        return false;
    }
    return true;
}
