// IconCache: the program's icons by short name.
#include "gui/iconcache.h"

QIcon IconCache::getIcon(const QString &sName) const {
    return hIcons.value(sName);
}

void IconCache::addIcon(const QString &sName, const QIcon &icon) {
    hIcons.insert(sName, icon);
}

void IconCache::clear() {
    hIcons.clear();
}
