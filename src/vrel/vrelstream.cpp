// Vrel::VrelStream: reads and writes typed values in their byte format on a QIODevice.
#include "vrel/vrelstream.h"

#include "vrel/boolean.h"
#include "vrel/dictionary.h"
#include "vrel/error.h"
#include "vrel/integer.h"
#include "vrel/list.h"
#include "vrel/string.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Vrel {

namespace {

// The byte that opens every value and names its kind.
enum Tag : quint8 {
    TagNone = 0x00,
    TagInteger = 0x01,
    TagString = 0x02,
    TagFalse = 0x03,
    TagTrue = 0x04,
    TagList = 0x05,
    TagDictionary = 0x06,
};

// Strings are read in pieces of this size, so that a length field claiming
// far more than the data holds never makes us allocate it.
constexpr qint64 iReadPiece = 64 * 1024;

// The writer gathers small fields up to this size before it hands them to the
// device; longer strings go to the device directly.
constexpr qsizetype iWriteBatch = 64 * 1024;

std::string hexByte(quint8 iByte) {
    char aText[8];
    std::snprintf(aText, sizeof aText, "0x%02x", iByte);
    return aText;
}

enum class Kind { Integer, String, Boolean, List, Dictionary };

// Throws ValueError for a null pointer or a kind the format does not know.
Kind kindOf(const Object *pValue) {
    if (dynamic_cast<const Integer *>(pValue))
        return Kind::Integer;
    if (dynamic_cast<const String *>(pValue))
        return Kind::String;
    if (dynamic_cast<const Boolean *>(pValue))
        return Kind::Boolean;
    if (dynamic_cast<const List *>(pValue))
        return Kind::List;
    if (dynamic_cast<const Dictionary *>(pValue))
        return Kind::Dictionary;
    throw ValueError(pValue ? "Vrel: cannot write a value of unknown kind"
                            : "Vrel: cannot write a null value inside a list or dictionary");
}

// Reads one value; iOffset counts the bytes taken so far, for the messages.
class Reader {
public:
    explicit Reader(QIODevice *pSource) : pDevice(pSource) {}

    // Reads up to iCount bytes; fewer only when the data ends.
    qint64 readUpTo(char *pBuf, qint64 iCount);
    std::unique_ptr<Object> readValue(quint8 iTag, int iDepth);

private:
    [[noreturn]] void fail(const std::string &sProblem, qint64 iAt) const;
    void readExactly(char *pBuf, qint64 iCount, const char *sInside);
    quint32 readSize(const char *sWhat);
    QByteArray readBytes(quint32 iSize, const char *sInside);
    quint8 readElementTag(const char *sInside);
    void enterContainer(int iDepth) const;
    std::unique_ptr<Object> readList(int iDepth);
    std::unique_ptr<Object> readDictionary(int iDepth);

    QIODevice *pDevice;
    qint64 iOffset = 0;
    quint32 iValues = 0;
};

void Reader::fail(const std::string &sProblem, qint64 iAt) const {
    throw FormatError("Vrel: " + sProblem + " (at byte " + std::to_string(iAt) + " of the value)");
}

qint64 Reader::readUpTo(char *pBuf, qint64 iCount) {
    qint64 iGot = 0;
    while (iGot < iCount) {
        const qint64 iRead = pDevice->read(pBuf + iGot, iCount - iGot);
        if (iRead < 0)
            throw DeviceError("Vrel: reading from the device failed: " +
                              pDevice->errorString().toStdString());
        if (iRead == 0)
            break;
        iGot += iRead;
    }
    iOffset += iGot;
    return iGot;
}

void Reader::readExactly(char *pBuf, qint64 iCount, const char *sInside) {
    if (readUpTo(pBuf, iCount) != iCount)
        fail(std::string("the data ends inside ") + sInside, iOffset);
}

quint32 Reader::readSize(const char *sWhat) {
    char aField[4];
    readExactly(aField, sizeof aField, sWhat);
    const quint32 iSize = qFromLittleEndian<quint32>(aField);
    if (iSize > VrelStream::iMaxSize)
        fail(std::string(sWhat) + " of " + std::to_string(iSize) + " is above the limit of " +
                 std::to_string(VrelStream::iMaxSize),
             iOffset - 4);
    return iSize;
}

QByteArray Reader::readBytes(quint32 iSize, const char *sInside) {
    QByteArray baBytes;
    while (baBytes.size() < qsizetype(iSize)) {
        const qsizetype iHave = baBytes.size();
        const qsizetype iPiece = std::min<qint64>(iReadPiece, qint64(iSize) - iHave);
        baBytes.resize(iHave + iPiece);
        readExactly(baBytes.data() + iHave, iPiece, sInside);
    }
    return baBytes;
}

quint8 Reader::readElementTag(const char *sInside) {
    char cTag;
    readExactly(&cTag, 1, sInside);
    const quint8 iTag = quint8(cTag);
    if (iTag == TagNone)
        fail(std::string("no value (tag 0x00) inside ") + sInside, iOffset - 1);
    return iTag;
}

void Reader::enterContainer(int iDepth) const {
    if (iDepth >= VrelStream::iMaxDepth)
        fail("containers nested deeper than " + std::to_string(VrelStream::iMaxDepth) + " levels",
             iOffset - 1);
}

// iDepth is the number of containers around the value.
std::unique_ptr<Object> Reader::readValue(quint8 iTag, int iDepth) {
    if (++iValues > VrelStream::iMaxValues)
        fail("more than " + std::to_string(VrelStream::iMaxValues) + " values in one object",
             iOffset - 1);
    switch (iTag) {
    case TagInteger: {
        char aField[8];
        readExactly(aField, sizeof aField, "an integer");
        return std::make_unique<Integer>(qFromLittleEndian<qint64>(aField));
    }
    case TagString:
        return std::make_unique<String>(readBytes(readSize("a string's length"), "a string"));
    case TagFalse:
        return std::make_unique<Boolean>(false);
    case TagTrue:
        return std::make_unique<Boolean>(true);
    case TagList:
        return readList(iDepth);
    case TagDictionary:
        return readDictionary(iDepth);
    default:
        fail("unknown tag " + hexByte(iTag), iOffset - 1);
    }
}

// Never reserves from the count: a hostile count costs nothing until the
// elements really arrive.
std::unique_ptr<Object> Reader::readList(int iDepth) {
    enterContainer(iDepth);
    auto pList = std::make_unique<List>();
    const quint32 iCount = readSize("a list's count");
    for (quint32 i = 0; i < iCount; ++i) {
        std::unique_ptr<Object> pElement = readValue(readElementTag("a list"), iDepth + 1);
        pList->append(pElement.get());
        pElement.release();
    }
    return pList;
}

std::unique_ptr<Object> Reader::readDictionary(int iDepth) {
    enterContainer(iDepth);
    auto pDict = std::make_unique<Dictionary>();
    const quint32 iCount = readSize("a dictionary's count");
    for (quint32 i = 0; i < iCount; ++i) {
        const QByteArray baKey = readBytes(readSize("a key's length"), "a key");
        std::unique_ptr<Object> pValue = readValue(readElementTag("a dictionary"), iDepth + 1);
        // A repeated key replaces the earlier value, as a later insert would.
        Object *&rSlot = (*pDict)[baKey];
        delete rSlot;
        rSlot = pValue.release();
    }
    return pDict;
}

// Writes one value: check() first refuses what the format cannot hold, so
// that such a value leaves no bytes behind; write() then streams the bytes.
class Writer {
public:
    explicit Writer(QIODevice *pTarget) : pDevice(pTarget) {}

    static void check(const Object *pValue, int iDepth, quint32 &iValues);
    void write(const Object *pValue);
    void writeTag(quint8 iTag);
    // Hands what is gathered to the device.
    void flush();

private:
    static void checkSize(qsizetype iSize, const char *sWhat);
    void put(const char *pBuf, qsizetype iCount);
    void writeSize(qsizetype iSize);
    void writeBytes(const QByteArray &baBytes);
    void writeToDevice(const char *pBuf, qint64 iCount);

    QIODevice *pDevice;
    QByteArray baBatch;
};

void Writer::checkSize(qsizetype iSize, const char *sWhat) {
    if (iSize > qsizetype(VrelStream::iMaxSize))
        throw ValueError(std::string("Vrel: cannot write ") + sWhat + " of " +
                         std::to_string(iSize) + ", above the limit of " +
                         std::to_string(VrelStream::iMaxSize));
}

// iDepth is the number of containers around the value; only elements can be
// null, as writeObject handles a null value itself. The depth limit also stops
// a container that holds itself, which would otherwise recurse forever.
void Writer::check(const Object *pValue, int iDepth, quint32 &iValues) {
    const Kind eKind = kindOf(pValue);
    if (++iValues > VrelStream::iMaxValues)
        throw ValueError("Vrel: cannot write more than " + std::to_string(VrelStream::iMaxValues) +
                         " values in one object");
    if (eKind == Kind::String) {
        checkSize(static_cast<const String *>(pValue)->size(), "a string");
        return;
    }
    if (eKind != Kind::List && eKind != Kind::Dictionary)
        return;
    if (iDepth >= VrelStream::iMaxDepth)
        throw ValueError("Vrel: cannot write containers nested deeper than " +
                         std::to_string(VrelStream::iMaxDepth) + " levels");
    if (eKind == Kind::List) {
        const auto &rList = *static_cast<const List *>(pValue);
        checkSize(rList.size(), "a list with a count");
        for (const Object *pElement : rList)
            check(pElement, iDepth + 1, iValues);
        return;
    }
    const auto &rDict = *static_cast<const Dictionary *>(pValue);
    checkSize(rDict.size(), "a dictionary with a count");
    for (auto it = rDict.cbegin(); it != rDict.cend(); ++it) {
        checkSize(it.key().size(), "a key");
        check(it.value(), iDepth + 1, iValues);
    }
}

void Writer::write(const Object *pValue) {
    switch (kindOf(pValue)) {
    case Kind::Integer: {
        char aField[8];
        qToLittleEndian(static_cast<const Integer *>(pValue)->getValue(), aField);
        writeTag(TagInteger);
        put(aField, sizeof aField);
        break;
    }
    case Kind::String:
        writeTag(TagString);
        writeBytes(*static_cast<const String *>(pValue));
        break;
    case Kind::Boolean:
        writeTag(static_cast<const Boolean *>(pValue)->getValue() ? TagTrue : TagFalse);
        break;
    case Kind::List: {
        const auto &rList = *static_cast<const List *>(pValue);
        writeTag(TagList);
        writeSize(rList.size());
        for (const Object *pElement : rList)
            write(pElement);
        break;
    }
    case Kind::Dictionary: {
        // Ascending byte order of the keys: the same value always gives the
        // same bytes, whatever order the hash happens to hold them in.
        const auto &rDict = *static_cast<const Dictionary *>(pValue);
        std::vector<std::pair<const QByteArray *, const Object *>> lEntries;
        lEntries.reserve(rDict.size());
        for (auto it = rDict.cbegin(); it != rDict.cend(); ++it)
            lEntries.emplace_back(&it.key(), it.value());
        std::sort(lEntries.begin(), lEntries.end(),
                  [](const auto &rA, const auto &rB) { return *rA.first < *rB.first; });
        writeTag(TagDictionary);
        writeSize(qsizetype(lEntries.size()));
        for (const auto &rEntry : lEntries) {
            writeBytes(*rEntry.first);
            write(rEntry.second);
        }
        break;
    }
    }
}

void Writer::put(const char *pBuf, qsizetype iCount) {
    baBatch.append(pBuf, iCount);
    if (baBatch.size() >= iWriteBatch)
        flush();
}

void Writer::writeTag(quint8 iTag) {
    const char cTag = char(iTag);
    put(&cTag, 1);
}

void Writer::writeSize(qsizetype iSize) {
    char aField[4];
    qToLittleEndian(quint32(iSize), aField);
    put(aField, sizeof aField);
}

void Writer::writeBytes(const QByteArray &baBytes) {
    writeSize(baBytes.size());
    if (baBytes.size() < iWriteBatch) {
        put(baBytes.constData(), baBytes.size());
        return;
    }
    flush();
    writeToDevice(baBytes.constData(), baBytes.size());
}

void Writer::flush() {
    writeToDevice(baBatch.constData(), baBatch.size());
    baBatch.clear();
}

void Writer::writeToDevice(const char *pBuf, qint64 iCount) {
    if (iCount == 0)
        return;
    const qint64 iWritten = pDevice->write(pBuf, iCount);
    if (iWritten != iCount)
        throw DeviceError("Vrel: the device " +
                          std::string(iWritten < 0 ? "refused a write"
                                                   : "wrote " + std::to_string(iWritten) + " of " +
                                                         std::to_string(iCount) + " bytes") +
                          ": " + pDevice->errorString().toStdString());
}

} // namespace

VrelStream::VrelStream(QIODevice *pTarget) : pDevice(pTarget) {
    if (!pDevice)
        throw DeviceError("Vrel: a stream needs a device");
}

VrelStream::~VrelStream() = default;

void VrelStream::writeObject(const Object *pObject) {
    Writer writer(pDevice);
    if (pObject) {
        quint32 iValues = 0;
        Writer::check(pObject, 0, iValues);
        writer.write(pObject);
    } else {
        writer.writeTag(TagNone);
    }
    writer.flush();
}

Object *VrelStream::readObject() {
    Reader reader(pDevice);
    char cTag;
    bAtEnd = reader.readUpTo(&cTag, 1) == 0;
    if (bAtEnd || quint8(cTag) == TagNone)
        return nullptr;
    return reader.readValue(quint8(cTag), 0).release();
}

} // namespace Vrel
