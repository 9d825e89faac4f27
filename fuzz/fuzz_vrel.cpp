// Fuzz target for the typed-value reader: any bytes end in values, null or a
// Vrel::Error, and what was read writes and reads back to the same bytes.
#include "vrel/vrel.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace {

using ValueList = std::vector<std::unique_ptr<Vrel::Object>>;

// Reads values until the first null or failure; returns the bytes taken.
qint64 readAll(const QByteArray &baBytes, ValueList &lValues) {
    QByteArray baCopy(baBytes);
    QBuffer buffer(&baCopy);
    buffer.open(QIODevice::ReadOnly);
    Vrel::VrelStream stream(&buffer);
    try {
        while (true) {
            std::unique_ptr<Vrel::Object> pValue(stream.readObject());
            if (!pValue)
                break;
            lValues.push_back(std::move(pValue));
        }
    } catch (const Vrel::FormatError &) {
    }
    return buffer.pos();
}

QByteArray writeAll(const ValueList &lValues) {
    QByteArray baOut;
    QBuffer buffer(&baOut);
    buffer.open(QIODevice::WriteOnly);
    Vrel::VrelStream stream(&buffer);
    for (const auto &pValue : lValues)
        stream.writeObject(pValue.get());
    return baOut;
}

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_vrel: %s\n", sWhat);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    const QByteArray baInput(reinterpret_cast<const char *>(pData), qsizetype(iSize));
    ValueList lRead;
    const qint64 iTaken = readAll(baInput, lRead);
    if (iTaken < 0 || iTaken > baInput.size())
        failure("the reader took more bytes than there were");

    // Writing drops repeated keys and nothing else, so it never grows.
    const QByteArray baOnce = writeAll(lRead);
    if (baOnce.size() > iTaken)
        failure("the values wrote to more bytes than they were read from");

    ValueList lBack;
    if (readAll(baOnce, lBack) != baOnce.size() || lBack.size() != lRead.size())
        failure("the written values did not read back whole");
    if (writeAll(lBack) != baOnce)
        failure("the values read back differ from those written");
    return 0;
}
