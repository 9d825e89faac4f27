// NoteEdit: the note editor's edit field.
#include "gui/noteedit.h"

#include "gui/notedocument.h"

NoteEdit::NoteEdit(QWidget *pParent) : QTextEdit(pParent) {
    setDocument(new NoteDocument(this));
}
