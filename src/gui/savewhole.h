// saveWhole: writes a file's new bytes in one piece, or leaves the file that
// stood there as it was.
#pragma once

#include <QByteArray>
#include <QString>

// Writes baData to sPath through a temporary file beside it that takes the
// old file's place only once every byte is written; true on success. On
// failure the file at sPath is as it was, and *pError (when given) holds
// the system's reason ("No space left on device"). Thread-safe.
bool saveWhole(const QString &sPath, const QByteArray &baData, QString *pError = nullptr);
