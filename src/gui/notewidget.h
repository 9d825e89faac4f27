// NoteWidget: the interface of a note editor inside a note sub-window: the
// note's identity, the window title, the question before a modified note is
// closed, and what the main window asks of every editor type.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

class QToolBar;

namespace Vrel {
class Object;
} // namespace Vrel

// The main window owns the editor through its sub-window. It connects
// saveMe(NoteWidget*) directly to its save slot, so that the note is in the
// vault when maybeSave returns after a Save answer; when storing fails, that
// slot marks the editor modified again (setModified(true)), and the editor
// then refuses to close. GUI thread only.
class NoteWidget : public QWidget {
    Q_OBJECT
public:
    // baId is the note id, the 16 raw bytes of its Ka::Uuid; it never
    // changes. The title is set by the concrete editor, not here.
    NoteWidget(const QByteArray &baId, const QString &sName, QWidget *pParent = nullptr);

    QByteArray getId() const { return baId; }
    // Stores the name and retitles the window (after a rename).
    void setName(const QString &sNewName);

    virtual QString getName() const;
    // The window title: the name and Qt's modified-mark place holder.
    virtual void updateTitle();
    // The editor type ("html"); picks the tool-bar layout and the icon.
    virtual QString getType() const = 0;
    // New tool bars for this editor, owned by the caller; none by default.
    virtual QList<QToolBar *> getToolBars();
    // The cached icon named "note-" followed by the type.
    virtual QIcon getIcon();
    // The note content as a new object owned by the caller; taking it marks
    // the editor unmodified (it is about to be stored).
    virtual Vrel::Object *getData() = 0;
    virtual bool isModified() = 0;
    // Lets the user write the note to a file.
    virtual void exportNote() = 0;
    virtual void setModified(bool bModified) = 0;
    // True when the editor may close: it was not modified, the user chose
    // Discard, or the user chose Save and the note was stored through saveMe
    // (the editor is no longer modified afterwards).
    virtual bool maybeSave();

signals:
    // Asks the main window to store this editor's content now.
    void saveMe(NoteWidget *pNote);

protected:
    // Closes only when maybeSave agrees; otherwise the window stays open.
    void closeEvent(QCloseEvent *pEvent) override;

private:
    QByteArray baId;
    QString sName;
};
