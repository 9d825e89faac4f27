// NoteEdit: the edit field of the note editor, on a NoteDocument.
#pragma once

#include <QTextEdit>

// A QTextEdit whose document reads only regular files of sane size for the
// images its HTML names (see NoteDocument). GUI thread only.
class NoteEdit : public QTextEdit {
    Q_OBJECT
public:
    // Starts on a NoteDocument of its own, which it owns.
    explicit NoteEdit(QWidget *pParent = nullptr);
};
