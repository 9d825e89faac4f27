// KaStreamDevice: a Qt I/O device whose reads and writes go straight to a
// Ka::Stream, so that Qt readers and writers (the typed values) work on our
// layered streams.
#pragma once

#include "ka/stream.h"

#include <QIODevice>

// The device is opened at construction with the given mode plus
// QIODevice::Unbuffered and never reads ahead: every read a caller makes is
// one read of the stream for exactly the bytes asked, so the bytes after one
// object stay in the stream for the next reader. It is sequential (no
// seeking, no size); the end of the data shows as a read of 0 bytes.
//
// The stream is borrowed: the device never closes, flushes or deletes it,
// and the stream must outlive the device. Exceptions of the stream (Ka
// exceptions) pass through the device's read and write unchanged.
// One thread at a time.
class KaStreamDevice : public QIODevice {
    Q_OBJECT
public:
    KaStreamDevice(Ka::Stream &rStream, QIODevice::OpenMode eMode, QObject *pParent = nullptr);
    ~KaStreamDevice() override;

    bool isSequential() const override;

protected:
    // Counts beyond the stream's 32-bit range are clamped to it; the caller
    // sees a short transfer and asks again.
    qint64 readData(char *pData, qint64 iMaxSize) override;
    qint64 writeData(const char *pData, qint64 iMaxSize) override;

private:
    Ka::Stream &rStream;
};
