// NoteEdit: the note editor's edit field, whose copies read files only as its
// document does.
#include "gui/noteedit.h"

#include "gui/notedocument.h"

#include <QBuffer>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextDocumentWriter>

namespace {

const QString kOdfType = "application/vnd.oasis.opendocument.text";

// A selection in the formats Qt's copies offer, made when a reader first asks
// for one: writing OpenDocument text on every copy would slow down the copy
// of a long note.
class SelectionMimeData : public QMimeData {
public:
    explicit SelectionMimeData(const QTextDocumentFragment &fragment) : fragment(fragment) {}

    QStringList formats() const override {
        if (fragment.isEmpty())
            return QMimeData::formats();
        return {"text/plain", "text/html", "text/markdown", kOdfType};
    }

protected:
    QVariant retrieveData(const QString &sType, QMetaType type) const override {
        if (!fragment.isEmpty())
            const_cast<SelectionMimeData *>(this)->fill();
        return QMimeData::retrieveData(sType, type);
    }

private:
    void fill() {
        setData("text/html", fragment.toHtml().toUtf8());
        setData("text/markdown", fragment.toMarkdown().toUtf8());
        NoteDocument copy;
        QTextCursor(&copy).insertFragment(fragment);
        QBuffer buffer;
        QTextDocumentWriter(&buffer, "ODF").write(&copy);
        setData(kOdfType, buffer.data());
        setText(fragment.toPlainText());
        fragment = QTextDocumentFragment();
    }

    QTextDocumentFragment fragment;
};

} // namespace

NoteEdit::NoteEdit(QWidget *pParent) : QTextEdit(pParent) {
    setDocument(new NoteDocument(this));
}

QMimeData *NoteEdit::createMimeDataFromSelection() const {
    return new SelectionMimeData(textCursor().selection());
}
