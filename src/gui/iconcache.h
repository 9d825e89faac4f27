// IconCache: the program's icons by short name, so that widgets ask for
// "undo" or "note-html" without knowing where the picture comes from.
#pragma once

#include "ka/singleton.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>

// One process-wide instance (Ka::Singleton). The main window fills it once at
// start-up; everything else only reads. A name never added gives a null icon.
// GUI thread only.
class IconCache : public QObject, public Ka::Singleton<IconCache> {
    Q_OBJECT
    friend class Ka::Singleton<IconCache>;

public:
    // A copy of the icon stored under sName, or a null icon; never inserts.
    QIcon getIcon(const QString &sName) const;
    // Stores the icon under sName, replacing an earlier one of that name.
    void addIcon(const QString &sName, const QIcon &icon);
    // Drops every icon. The main window calls it when it goes, so that no
    // picture outlives the application object that pictures need.
    void clear();

private:
    IconCache() = default;
    QHash<QString, QIcon> hIcons;
};
