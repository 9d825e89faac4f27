// Vrel::VrelStream: reads and writes typed values in their byte format on a QIODevice.
#pragma once

#include <QtGlobal>

class QIODevice;

namespace Vrel {

class Object;

// Reads and writes one value at a time on a device in the fixed byte format
// described in docs/vrel-format.md, so that other programs can exchange
// values with us.
//
// The device stays the caller's: the stream never opens, closes, seeks or
// deletes it, and the device must outlive the stream. It must be open in
// binary mode (no QIODevice::Text) for the direction used.
//
// Reading takes exactly the bytes of one value from the device and never reads
// ahead, so bytes that follow a value stay on the device for the next reader
// (on a device opened with QIODevice::Unbuffered, also in the stream beneath
// it). A read that delivers fewer bytes than asked is repeated; a read that
// delivers 0 bytes is taken as the end of the data, so a device that returns 0
// while it waits for more (a socket in non-blocking use) must have the whole
// value available first.
//
// Failures are exceptions derived from Vrel::Error (error.h). After one, the
// device's position lies somewhere inside the value and the stream should not
// be used for the rest of the data. Exceptions thrown by the device itself
// pass through unchanged; in every case nothing built so far is leaked.
//
// Thread safety: none; one thread at a time per stream and device.
class VrelStream {
public:
    // The most bytes in a string or key, and the most elements in a list or
    // entries in a dictionary: 256 MiB. Larger is refused on both sides.
    static constexpr quint32 iMaxSize = 256u * 1024u * 1024u;
    // The most containers nested one inside another, the outermost counting
    // as the first. Deeper is refused on both sides.
    static constexpr int iMaxDepth = 64;
    // The most values in one object, every container and element counted.
    // Each value read costs a heap object of its own (some 150 bytes), so this
    // bounds what a hostile sender can make one read cost. More is refused
    // on both sides.
    static constexpr quint32 iMaxValues = 1u << 20;

    // Throws DeviceError when pDevice is null.
    explicit VrelStream(QIODevice *pDevice);
    ~VrelStream();
    VrelStream(const VrelStream &) = delete;
    VrelStream &operator=(const VrelStream &) = delete;

    // Writes the value with everything inside it; the caller keeps ownership.
    // Null writes the single "no value" byte. A value the format cannot hold
    // throws ValueError before anything is written; a write the device refuses
    // or shortens throws DeviceError, and the bytes already written stay.
    void writeObject(const Object *pObject);

    // Reads the next value as a new object that the caller deletes. Returns
    // null, having consumed the byte, when the next byte is the "no value"
    // byte (0x00, as in fill bytes), and null when the data ends before the
    // next value begins; atEnd() tells the two apart. Damaged or hostile data
    // throws FormatError, a failing device DeviceError.
    Object *readObject();

    // True when the last readObject returned null because the data had ended.
    bool atEnd() const { return bAtEnd; }

private:
    QIODevice *pDevice;
    bool bAtEnd = false;
};

} // namespace Vrel
