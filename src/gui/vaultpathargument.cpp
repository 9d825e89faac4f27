// vaultPathArgument: the vault path the program was started with.
#include "gui/vaultpathargument.h"

QString vaultPathArgument(const QStringList &lArgs) {
    for (qsizetype i = 1; i < lArgs.size(); ++i) {
        if (!lArgs.at(i).startsWith('-'))
            return lArgs.at(i);
    }
    return QString();
}
