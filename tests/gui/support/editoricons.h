// The icons the note list and the editor ask for, loaded from the program's
// resources under the names the main window gives them at start-up.
#pragma once

#include "gui/iconcache.h"

#include <QIcon>
#include <QString>

namespace GuiTest {

inline void addEditorIcons() {
    static const char *const kIcons[][2] = {
        {"note-html", "text-html"},
        {"undo", "edit-undo"},
        {"redo", "edit-redo"},
        {"text-bold", "format-text-bold"},
        {"text-italic", "format-text-italic"},
        {"text-underline", "format-text-underline"},
        {"text-left", "format-justify-left"},
        {"text-center", "format-justify-center"},
        {"text-right", "format-justify-right"},
        {"text-fill", "format-justify-fill"},
        {"unordered-list", "format-list-unordered"},
        {"ordered-list", "format-list-ordered"},
        {"insert-table", "insert-table"},
        {"new-row-above", "edit-table-insert-row-above"},
        {"new-row-below", "edit-table-insert-row-under"},
        {"new-col-left", "edit-table-insert-column-left"},
        {"new-col-right", "edit-table-insert-column-right"},
        {"delete-col", "edit-table-delete-column"},
        {"delete-row", "edit-table-delete-row"},
        {"edit-copy", "edit-copy"},
        {"edit-cut", "edit-cut"},
        {"edit-paste", "edit-paste"},
        {"edit-find", "edit-find"},
    };
    for (const auto &icon : kIcons)
        IconCache::getInstance().addIcon(icon[0], QIcon(QString(":/icons/%1.png").arg(icon[1])));
}

} // namespace GuiTest
