// Conversions between Ka::String and QByteArray, and of a vault's path, for
// the code that joins the core library to Qt.
#pragma once

#include "ka/string.h"

#include <QByteArray>
#include <QString>

// A copy of the string's bytes, zero bytes included.
QByteArray toByteArray(const Ka::String &sData);

// A copy of the array's bytes, zero bytes included. Ka::String holds at
// most INT_MAX bytes: a larger array throws Ka::ExceptionBase.
Ka::String toKaString(const QByteArray &baData);

// A vault's path as the file system takes it: the local 8-bit encoding.
Ka::String toLocalPath(const QString &sPath);
