// NoteEdit: the edit field of the note editor, on a NoteDocument, whose copies
// of a selection read no more from the disk than that document does.
#pragma once

#include <QTextEdit>

// Qt's own copy of a selection (clipboard, drag and drop) writes it as
// OpenDocument text through a bare QTextDocument, which reads every image the
// selection names straight from the disk, devices and named pipes included.
// The copies made here offer the same formats, made as late as Qt's (when a
// reader first asks), but write OpenDocument through a NoteDocument. GUI
// thread only.
class NoteEdit : public QTextEdit {
    Q_OBJECT
public:
    // Starts on a NoteDocument of its own, which it owns.
    explicit NoteEdit(QWidget *pParent = nullptr);

protected:
    QMimeData *createMimeDataFromSelection() const override;
};
