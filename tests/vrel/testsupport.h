// Helpers for the typed-value tests: a device that records how it is used, and
// one-call encoding and decoding over a QBuffer.
#pragma once

#include "vrel/vrel.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace VrelTest {

// A sequential, unbuffered device over fixed bytes. It hands out at most
// iPiece bytes per read (as a decompressing stream may), counts the bytes
// taken, can fail every read from a set offset on, and accepts writes only up
// to a set capacity, shortening the write that crosses it.
class TestDevice : public QIODevice {
public:
    explicit TestDevice(QByteArray baInput = QByteArray(),
                        qint64 iMaxPiece = std::numeric_limits<qint64>::max())
        : baData(std::move(baInput)), iPiece(iMaxPiece) {
        open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }

    qint64 taken() const { return iPos; }
    QByteArray rest() const { return baData.mid(iPos); }
    const QByteArray &written() const { return baWritten; }
    qint64 writeCalls() const { return iWriteCalls; }
    void failReadsFrom(qint64 iOffset) { iFailAt = iOffset; }
    void setWriteCapacity(qint64 iBytes) { iCapacity = iBytes; }

protected:
    qint64 readData(char *pBuf, qint64 iMax) override {
        if (iPos >= iFailAt)
            return -1;
        const qint64 iCount =
            std::min({iMax, iPiece, qint64(baData.size()) - iPos, iFailAt - iPos});
        std::copy_n(baData.constData() + iPos, iCount, pBuf);
        iPos += iCount;
        return iCount;
    }
    qint64 writeData(const char *pBuf, qint64 iCount) override {
        ++iWriteCalls;
        const qint64 iRoom = iCapacity - baWritten.size();
        if (iRoom <= 0)
            return -1;
        const qint64 iTaken = std::min(iRoom, iCount);
        baWritten.append(pBuf, iTaken);
        return iTaken;
    }

private:
    QByteArray baData;
    qint64 iPiece;
    qint64 iPos = 0;
    qint64 iFailAt = std::numeric_limits<qint64>::max();
    QByteArray baWritten;
    qint64 iCapacity = std::numeric_limits<qint64>::max();
    qint64 iWriteCalls = 0;
};

// The bytes the writer makes for one value.
inline QByteArray encode(const Vrel::Object *pValue) {
    QByteArray baOut;
    QBuffer buffer(&baOut);
    buffer.open(QIODevice::WriteOnly);
    Vrel::VrelStream(&buffer).writeObject(pValue);
    return baOut;
}

// The first value in the bytes (null for none).
inline std::unique_ptr<Vrel::Object> decode(const QByteArray &baIn) {
    QByteArray baCopy(baIn);
    QBuffer buffer(&baCopy);
    buffer.open(QIODevice::ReadOnly);
    return std::unique_ptr<Vrel::Object>(Vrel::VrelStream(&buffer).readObject());
}

// Bytes from a hex text; blanks between the digits are skipped.
inline QByteArray hex(const char *sHex) {
    return QByteArray::fromHex(sHex);
}

} // namespace VrelTest
