// readRegularFile: reads a local file only when it is a regular one of sane
// size, so that no device or named pipe named by a user or a note is read.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes of the regular file at sPath, read to its end whatever size
// the file system reports, when it holds at most iMaxBytes (and at most
// what fits a 32-bit size); reading stops as soon as it passes that limit.
// Nothing for a file that cannot be read or that passes the limit, and for
// anything else: a folder, a device (read without end), a named pipe (whose
// opening waits for a writer) or a socket is never opened. Thread-safe.
std::optional<QByteArray> readRegularFile(const QString &sPath, qint64 iMaxBytes);
