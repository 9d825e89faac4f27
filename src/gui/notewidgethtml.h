// NoteWidgetHtml: the rich-text note editor (type "html"): an edit field on
// the note's HTML, four tool bars, find, and export as HTML, OpenDocument
// text or plain text.
#pragma once

#include "gui/notewidget.h"
#include "ui_notewidgethtml.h"

#include <QPointer>
#include <QTextCursor>
#include <QTextFormat>

#include <functional>

class ColorButton;
class FindDlg;
class QAction;
class QComboBox;
class QFontComboBox;
class QTextTable;
class QTextTableCell;

namespace Vrel {
class Dictionary;
} // namespace Vrel

// The note content dictionary, which carries a note between editor, main
// window and vault store, has one entry: "data", the document as HTML in
// UTF-8 bytes.
//
// The tool bars are made by getToolBars and owned by its caller; the editor
// only points into them and notices when they go. The find dialog is the
// editor's child, made on first use. GUI thread only.
class NoteWidgetHtml : public NoteWidget, public Ui::NoteWidgetHtml {
    Q_OBJECT
public:
    // Takes ownership of pContent (the note content dictionary, may be null
    // for an empty note) and deletes it once read.
    NoteWidgetHtml(const QByteArray &baId, const QString &sName, Vrel::Dictionary *pContent,
                   QWidget *pParent = nullptr);

    QString getType() const override;
    // Edit, Formatting, Font Settings and Tables, in this order; new ones on
    // every call (the fields then point into the newest).
    QList<QToolBar *> getToolBars() override;
    // A new note content dictionary, its HTML as noteHtml writes it (no zero
    // character); clears the modified flag first.
    Vrel::Object *getData() override;
    bool isModified() override;
    void exportNote() override;
    void setModified(bool bModified) override;

public slots:
    // Character formatting of the selection, or of the text typed next.
    virtual void toggleBold();
    virtual void toggleItalic();
    virtual void toggleUnderline();
    // Only the family is taken from the font.
    virtual void setFont(const QFont &font);
    // The leading decimal number of the text as a point size, when above 1.
    virtual void setFontSize(const QString &sSize);
    // Block formatting of every block the cursor touches.
    virtual void setJustifyLeft();
    virtual void setJustifyCenter();
    virtual void setJustifyRight();
    virtual void setJustifyFill();
    virtual void setBulletList();
    virtual void setNumList();
    // A 3 x 3 table at the cursor; the rest act only inside a table.
    virtual void insertTable();
    virtual void tblNewRowAbove();
    virtual void tblNewRowBelow();
    virtual void tblNewColLeft();
    virtual void tblNewColRight();
    virtual void tblDelRow();
    virtual void tblDelCol();
    // The text colour from a colour dialog.
    virtual void pickColor();
    // Bring the tool bars in line with the text at the cursor.
    virtual void formatChanged(const QTextCharFormat &format);
    virtual void cursorPositionChanged();
    // Shows the find dialog, making it on first use.
    virtual void mkFindDlg();
    virtual void find();
    // F3: search on with the dialog's text and options (opens the dialog
    // when there is none yet).
    virtual void findNext();
    virtual void findNext(const QString &sText, int iFindFlags, int iMode);
    virtual void findRestart(const QString &sText, int iFindFlags, int iMode);
    // Searches from cStart with QTextDocument::FindFlag bits, wrapping around
    // the document once; selects the match or tells the user there is none.
    virtual void find(const QString &sText, const QTextCursor &cStart, int iFindFlags, int iMode);

private:
    QTextCharFormat formatToToggle() const;
    void applyCharFormat(const std::function<void(QTextCharFormat &)> &fChange);
    void applyAlignment(Qt::Alignment eAlign);
    void applyList(QTextListFormat::Style eStyle);
    void applyTableEdit(const std::function<void(QTextTable &, const QTextTableCell &)> &fEdit);

    QPointer<QAction> pActBold, pActItalic, pActUnderline;
    QPointer<QAction> pActLeft, pActCenter, pActRight, pActFill;
    QPointer<QFontComboBox> pFontBox;
    QPointer<QComboBox> pSizeBox;
    QPointer<ColorButton> pColorBtn;
    FindDlg *pFindDlg = nullptr;
    // False while the tool bars are brought in line with the text, so that
    // their change signals do not format the text.
    bool bFormatGuard = true;
};
