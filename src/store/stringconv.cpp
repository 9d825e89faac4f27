// Conversions between Ka::String and QByteArray.
#include "store/stringconv.h"

#include "ka/exception.h"

#include <climits>

QByteArray toByteArray(const Ka::String &sData) {
    // getConstStr joins a chunked string into one piece first.
    return QByteArray(sData.getConstStr(), qsizetype(sData.getSize()));
}

Ka::String toKaString(const QByteArray &baData) {
    if (baData.size() > INT_MAX)
        throw Ka::ExceptionBase("A byte array of %lld bytes does not fit in a string.",
                                static_cast<long long>(baData.size()));
    return Ka::String(baData.constData(), int(baData.size()));
}

Ka::String toLocalPath(const QString &sPath) {
    return toKaString(sPath.toLocal8Bit());
}
