// Vrel::String: a typed value holding a byte string.
#pragma once

#include "vrel/object.h"

#include <QByteArray>

namespace Vrel {

// A byte string (bytes, not text: any byte, zero included, may occur). It is a
// QByteArray, so every QByteArray operation reads or changes its bytes; delete
// it as a Vrel::Object, never through a QByteArray pointer. Strings longer
// than VrelStream::iMaxSize bytes cannot be written.
class String : public Object, public QByteArray {
    Q_OBJECT
public:
    // The bytes up to the terminating zero; a null pointer gives an empty string.
    explicit String(const char *sValue);
    explicit String(QByteArray baValue);
    ~String() override;
};

} // namespace Vrel
