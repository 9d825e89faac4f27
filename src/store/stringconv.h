// Conversions between Ka::String and QByteArray, for the code that joins
// the core library to Qt.
#pragma once

#include "ka/string.h"

#include <QByteArray>

// A copy of the string's bytes, zero bytes included.
QByteArray toByteArray(const Ka::String &sData);

// A copy of the array's bytes, zero bytes included. Ka::String holds at
// most INT_MAX bytes: a larger array throws Ka::ExceptionBase.
Ka::String toKaString(const QByteArray &baData);
