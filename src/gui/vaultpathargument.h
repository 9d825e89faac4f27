// vaultPathArgument: the vault path the program was started with.
#pragma once

#include <QString>
#include <QStringList>

// lArgs is the application's argument list, the program first. The first
// later argument that does not begin with "-" is the path (an empty one
// included, which then means no path); options before it are skipped and
// nothing after it is read. No such argument gives an empty path.
QString vaultPathArgument(const QStringList &lArgs);
