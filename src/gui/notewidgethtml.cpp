// NoteWidgetHtml: the rich-text note editor.
#include "gui/notewidgethtml.h"

#include "gui/colorbutton.h"
#include "gui/documentslocation.h"
#include "gui/finddlg.h"
#include "gui/iconcache.h"
#include "gui/notedocument.h"
#include "gui/savewhole.h"
#include "vrel/dictionary.h"

#include <QActionGroup>
#include <QBuffer>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QMessageBox>
#include <QTextDocumentWriter>
#include <QTextList>
#include <QTextTable>
#include <QToolBar>

#include <cctype>
#include <charconv>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// Bold is a weight of 600 or more: notes written by earlier versions of the
// program store bold text as "font-weight:600", which Qt reads as 600.
constexpr int kBoldFrom = QFont::DemiBold;

// The leading decimal number of the text as the C library's strtod reads it
// (white space, sign, digits, point, exponent; "12pt" gives 12), but without
// regard to the user's locale, whose decimal separator may not be a point; 0
// when there is none or it is not finite.
double leadingNumber(const QByteArray &baText) {
    const char *p = baText.constData();
    const char *pEnd = p + baText.size();
    while (p < pEnd && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (p < pEnd && *p == '+') // from_chars takes a minus sign only
        ++p;
    double dValue = 0;
    const auto result = std::from_chars(p, pEnd, dValue, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(dValue))
        return 0;
    return dValue;
}

// The text up to its first zero byte.
QString fromUtf8UpToZero(const QByteArray &baText) {
    const qsizetype iZero = baText.indexOf('\0');
    return QString::fromUtf8(iZero < 0 ? baText : baText.left(iZero));
}

// Qt's OpenDocument writer names a span's font family (the first of its
// list) only where the older single-family property is set as well, which
// Qt's HTML reader never sets.
void setWriterFamily(QTextCharFormat &rFormat, const QStringList &lFamilies) {
    rFormat.setProperty(QTextFormat::FontFamily, lFamilies.value(0));
}

// Gives every span of a note just loaded that names its family the property
// the OpenDocument writer reads, as setFont does; the note stays unmodified,
// with nothing to undo. A note the program saved names its body's family,
// which Qt hands down to every span: adjacent spans of a block that take the
// same family take it in one merge, since every merge costs the cursor a
// search through the document's frames. A merge never reaches over a block's
// end, where it would change the paragraph mark's format as well.
void addWriterFamilies(QTextDocument &rDoc) {
    struct Span {
        int iStart, iEnd;
        QStringList lFamilies;
    };
    std::vector<Span> lSpans;
    for (QTextBlock block = rDoc.begin(); block.isValid(); block = block.next()) {
        bool bJoin = false; // the fragment before this one is in the last span
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (!format.hasProperty(QTextFormat::FontFamilies) ||
                format.hasProperty(QTextFormat::FontFamily)) {
                bJoin = false;
                continue;
            }
            QStringList lFamilies = format.fontFamilies().toStringList();
            const int iEnd = fragment.position() + fragment.length();
            if (bJoin && lSpans.back().lFamilies.value(0) == lFamilies.value(0))
                lSpans.back().iEnd = iEnd;
            else
                lSpans.push_back({fragment.position(), iEnd, std::move(lFamilies)});
            bJoin = true;
        }
    }
    if (lSpans.empty())
        return;
    // Undo is off meanwhile: a note just loaded has nothing to undo.
    rDoc.setUndoRedoEnabled(false);
    QTextCursor cursor(&rDoc);
    cursor.beginEditBlock();
    for (const Span &span : lSpans) {
        cursor.setPosition(span.iStart);
        cursor.setPosition(span.iEnd, QTextCursor::KeepAnchor);
        QTextCharFormat family;
        setWriterFamily(family, span.lFamilies);
        cursor.mergeCharFormat(family);
    }
    cursor.endEditBlock();
    rDoc.setUndoRedoEnabled(true);
    rDoc.setModified(false);
}

QIcon icon(const char *sName) {
    return IconCache::getInstance().getIcon(sName);
}

// Keeps the format guard down while the tool bars follow the text.
class GuardDown {
public:
    explicit GuardDown(bool &rGuard) : rGuard(rGuard) { rGuard = false; }
    ~GuardDown() { rGuard = true; }
    GuardDown(const GuardDown &) = delete;
    GuardDown &operator=(const GuardDown &) = delete;

private:
    bool &rGuard;
};

} // namespace

NoteWidgetHtml::NoteWidgetHtml(const QByteArray &baId, const QString &sName,
                               Vrel::Dictionary *pContent, QWidget *pParent)
    : NoteWidget(baId, sName, pParent) {
    std::unique_ptr<Vrel::Dictionary> pOwned(pContent);
    setupUi(this);
    // Focus given to the editor is meant for its text.
    setFocusProxy(teNote);
    updateTitle();
    if (pOwned)
        teNote->setHtml(fromUtf8UpToZero(pOwned->valueStr("data")));
    pOwned.reset();
    addWriterFamilies(*teNote->document());

    connect(teNote, SIGNAL(currentCharFormatChanged(QTextCharFormat)), this,
            SLOT(formatChanged(QTextCharFormat)));
    connect(teNote, SIGNAL(cursorPositionChanged()), this, SLOT(cursorPositionChanged()));
    connect(teNote->document(), SIGNAL(modificationChanged(bool)), this,
            SLOT(setWindowModified(bool)));

    auto *pFindAgain = new QAction(teNote);
    pFindAgain->setShortcut(Qt::Key_F3);
    pFindAgain->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(pFindAgain, SIGNAL(triggered()), this, SLOT(findNext()));
    teNote->addAction(pFindAgain);
}

QString NoteWidgetHtml::getType() const {
    return "html";
}

QList<QToolBar *> NoteWidgetHtml::getToolBars() {
    // Tool-bar titles and action texts are not translated.
    auto *pEdit = new QToolBar("Edit");
    pEdit->setObjectName("tbHtmlEdit");
    pEdit->addAction(icon("edit-find"), "Find", this, SLOT(find()));
    QAction *pUndo = pEdit->addAction(icon("undo"), "Undo", teNote, SLOT(undo()));
    pUndo->setEnabled(teNote->document()->isUndoAvailable());
    connect(teNote, SIGNAL(undoAvailable(bool)), pUndo, SLOT(setEnabled(bool)));
    QAction *pRedo = pEdit->addAction(icon("redo"), "Redo", teNote, SLOT(redo()));
    pRedo->setEnabled(teNote->document()->isRedoAvailable());
    connect(teNote, SIGNAL(redoAvailable(bool)), pRedo, SLOT(setEnabled(bool)));
    pEdit->addSeparator();
    for (auto [sText, sIcon, sSlot] : {std::tuple{"Copy", "edit-copy", SLOT(copy())},
                                       std::tuple{"Cut", "edit-cut", SLOT(cut())}}) {
        QAction *pAction = pEdit->addAction(icon(sIcon), sText, teNote, sSlot);
        pAction->setEnabled(false);
        connect(teNote, SIGNAL(copyAvailable(bool)), pAction, SLOT(setEnabled(bool)));
    }
    pEdit->addAction(icon("edit-paste"), "Paste", teNote, SLOT(paste()));

    auto *pFormat = new QToolBar("Formatting");
    pFormat->setObjectName("tbHtmlFormatting");
    pActBold = pFormat->addAction(icon("text-bold"), "Bold", this, SLOT(toggleBold()));
    pActItalic = pFormat->addAction(icon("text-italic"), "Italic", this, SLOT(toggleItalic()));
    pActUnderline =
        pFormat->addAction(icon("text-underline"), "Underline", this, SLOT(toggleUnderline()));
    for (QAction *pAction : {pActBold.data(), pActItalic.data(), pActUnderline.data()})
        pAction->setCheckable(true);
    pFormat->addSeparator();
    pActLeft = pFormat->addAction(icon("text-left"), "Left", this, SLOT(setJustifyLeft()));
    pActCenter = pFormat->addAction(icon("text-center"), "Center", this, SLOT(setJustifyCenter()));
    pActRight = pFormat->addAction(icon("text-right"), "Right", this, SLOT(setJustifyRight()));
    pActFill = pFormat->addAction(icon("text-fill"), "Fill", this, SLOT(setJustifyFill()));
    auto *pAlign = new QActionGroup(pFormat);
    pAlign->setExclusive(true);
    for (QAction *pAction :
         {pActLeft.data(), pActCenter.data(), pActRight.data(), pActFill.data()}) {
        pAction->setCheckable(true);
        pAlign->addAction(pAction);
    }
    pFormat->addSeparator();
    pFormat->addAction(icon("unordered-list"), "Bullet List", this, SLOT(setBulletList()));
    pFormat->addAction(icon("ordered-list"), "Numbered List", this, SLOT(setNumList()));

    auto *pFont = new QToolBar("Font Settings");
    pFont->setObjectName("tbHtmlFont");
    pFontBox = new QFontComboBox(pFont);
    pFont->addWidget(pFontBox);
    connect(pFontBox, SIGNAL(currentFontChanged(QFont)), this, SLOT(setFont(QFont)));
    pSizeBox = new QComboBox(pFont);
    pSizeBox->setEditable(true);
    pSizeBox->addItems({"6", "9", "12", "24", "36", "48", "72", "96"});
    pFont->addWidget(pSizeBox);
    // Connected after the items, whose arrival changes the edit text.
    connect(pSizeBox, SIGNAL(editTextChanged(QString)), this, SLOT(setFontSize(QString)));
    pColorBtn = new ColorButton(pFont);
    pColorBtn->setColor(QColor(0, 0, 0, 255));
    pFont->addWidget(pColorBtn);
    connect(pColorBtn, SIGNAL(pressed()), this, SLOT(pickColor()));

    auto *pTables = new QToolBar("Tables");
    pTables->setObjectName("tbHtmlTables");
    pTables->addAction(icon("insert-table"), "Insert Table", this, SLOT(insertTable()));
    pTables->addAction(icon("new-row-above"), "Insert Row Above", this, SLOT(tblNewRowAbove()));
    pTables->addAction(icon("new-row-below"), "Insert Row Below", this, SLOT(tblNewRowBelow()));
    pTables->addAction(icon("new-col-left"), "Insert Column Left", this, SLOT(tblNewColLeft()));
    pTables->addAction(icon("new-col-right"), "Insert Column Right", this, SLOT(tblNewColRight()));
    pTables->addAction(icon("delete-row"), "Delete Row", this, SLOT(tblDelRow()));
    pTables->addAction(icon("delete-col"), "Delete Column", this, SLOT(tblDelCol()));

    QTextCursor cursor = teNote->textCursor();
    cursor.movePosition(QTextCursor::Start);
    teNote->setTextCursor(cursor);
    cursorPositionChanged();
    // The new bars would otherwise show their first values until the format
    // at the cursor next changes.
    formatChanged(teNote->currentCharFormat());
    return {pEdit, pFormat, pFont, pTables};
}

Vrel::Object *NoteWidgetHtml::getData() {
    teNote->document()->setModified(false);
    auto pContent = std::make_unique<Vrel::Dictionary>();
    pContent->insert("data", noteHtml(*teNote->document()));
    return pContent.release();
}

bool NoteWidgetHtml::isModified() {
    return teNote->document()->isModified();
}

void NoteWidgetHtml::setModified(bool bModified) {
    teNote->document()->setModified(bModified);
}

void NoteWidgetHtml::exportNote() {
    const QString sOdf = tr("Oasis Open Document (*.odt)");
    const QString sPlain = tr("Plain text (*.txt)");
    QString sFilter;
    const QString sFile = QFileDialog::getSaveFileName(
        this, tr("Pelimund - Export"), documentsLocation() + "/" + getName() + ".html",
        tr("Web Page (*.html)") + ";;" + sOdf + ";;" + sPlain, &sFilter);
    if (sFile.isEmpty())
        return;
    // The file name is used as typed: the chosen filter alone picks the format.
    const QByteArray baFormat = sFilter == sOdf ? "ODF" : sFilter == sPlain ? "plaintext" : "HTML";
    // Written in memory first, then saved whole: a failed export neither
    // passes unnoticed nor leaves half of the file where an earlier one was.
    QBuffer buffer;
    QTextDocumentWriter(&buffer, baFormat).write(teNote->document());
    QString sError;
    if (!saveWhole(sFile, buffer.data(), &sError))
        QMessageBox::warning(
            this, tr("Pelimund"),
            tr("The note could not be written to \"%1\".\n\nDetails: %2").arg(sFile, sError));
}

void NoteWidgetHtml::applyCharFormat(const std::function<void(QTextCharFormat &)> &fChange) {
    if (!bFormatGuard)
        return;
    QTextCursor cursor = teNote->textCursor();
    if (cursor.hasSelection()) {
        QTextCharFormat format;
        fChange(format);
        cursor.mergeCharFormat(format);
    } else {
        QTextCharFormat format = teNote->currentCharFormat();
        fChange(format);
        teNote->setCurrentCharFormat(format);
    }
}

// With a selection the toggles read the format at the cursor (of the
// character before it), else the format for the text typed next.
QTextCharFormat NoteWidgetHtml::formatToToggle() const {
    const QTextCursor cursor = teNote->textCursor();
    return cursor.hasSelection() ? cursor.charFormat() : teNote->currentCharFormat();
}

void NoteWidgetHtml::toggleBold() {
    const bool bBold = formatToToggle().fontWeight() >= kBoldFrom;
    applyCharFormat(
        [bBold](QTextCharFormat &f) { f.setFontWeight(bBold ? QFont::Normal : QFont::Bold); });
}

void NoteWidgetHtml::toggleItalic() {
    const bool bItalic = formatToToggle().fontItalic();
    applyCharFormat([bItalic](QTextCharFormat &f) { f.setFontItalic(!bItalic); });
}

void NoteWidgetHtml::toggleUnderline() {
    const bool bUnderline = formatToToggle().fontUnderline();
    applyCharFormat([bUnderline](QTextCharFormat &f) { f.setFontUnderline(!bUnderline); });
}

void NoteWidgetHtml::setFont(const QFont &font) {
    const QStringList lFamilies = font.families();
    applyCharFormat([&lFamilies](QTextCharFormat &f) {
        f.setFontFamilies(lFamilies);
        setWriterFamily(f, lFamilies);
    });
}

void NoteWidgetHtml::setFontSize(const QString &sSize) {
    const double dSize = leadingNumber(sSize.toLocal8Bit());
    if (dSize <= 1.0)
        return;
    applyCharFormat([dSize](QTextCharFormat &f) { f.setFontPointSize(dSize); });
}

void NoteWidgetHtml::pickColor() {
    const QColor color = QColorDialog::getColor(Qt::white, this);
    // The button opens the dialog on press, so the release went to the
    // dialog and would leave the button drawn sunken.
    if (pColorBtn)
        pColorBtn->setDown(false);
    if (color.isValid())
        applyCharFormat([&color](QTextCharFormat &f) { f.setForeground(QBrush(color)); });
    teNote->setFocus();
}

void NoteWidgetHtml::applyAlignment(Qt::Alignment eAlign) {
    if (!bFormatGuard)
        return;
    QTextBlockFormat format;
    format.setAlignment(eAlign);
    teNote->textCursor().mergeBlockFormat(format);
}

void NoteWidgetHtml::setJustifyLeft() {
    applyAlignment(Qt::AlignLeft);
}

void NoteWidgetHtml::setJustifyCenter() {
    applyAlignment(Qt::AlignHCenter);
}

void NoteWidgetHtml::setJustifyRight() {
    applyAlignment(Qt::AlignRight);
}

void NoteWidgetHtml::setJustifyFill() {
    applyAlignment(Qt::AlignJustify);
}

void NoteWidgetHtml::applyList(QTextListFormat::Style eStyle) {
    if (!bFormatGuard)
        return;
    teNote->textCursor().createList(eStyle);
}

void NoteWidgetHtml::setBulletList() {
    applyList(QTextListFormat::ListDisc);
}

void NoteWidgetHtml::setNumList() {
    applyList(QTextListFormat::ListDecimal);
}

void NoteWidgetHtml::insertTable() {
    QTextCursor cursor = teNote->textCursor();
    cursor.insertTable(3, 3, QTextTableFormat());
    teNote->setTextCursor(cursor); // typing goes on in the first cell
}

void NoteWidgetHtml::applyTableEdit(
    const std::function<void(QTextTable &, const QTextTableCell &)> &fEdit) {
    const QTextCursor cursor = teNote->textCursor();
    QTextTable *pTable = cursor.currentTable();
    if (!pTable)
        return;
    fEdit(*pTable, pTable->cellAt(cursor));
}

void NoteWidgetHtml::tblNewRowAbove() {
    applyTableEdit([](QTextTable &t, const QTextTableCell &c) { t.insertRows(c.row(), 1); });
}

void NoteWidgetHtml::tblNewRowBelow() {
    applyTableEdit([](QTextTable &t, const QTextTableCell &c) { t.insertRows(c.row() + 1, 1); });
}

void NoteWidgetHtml::tblNewColLeft() {
    applyTableEdit([](QTextTable &t, const QTextTableCell &c) { t.insertColumns(c.column(), 1); });
}

void NoteWidgetHtml::tblNewColRight() {
    applyTableEdit(
        [](QTextTable &t, const QTextTableCell &c) { t.insertColumns(c.column() + 1, 1); });
}

void NoteWidgetHtml::tblDelRow() {
    applyTableEdit([](QTextTable &t, const QTextTableCell &c) { t.removeRows(c.row(), 1); });
}

void NoteWidgetHtml::tblDelCol() {
    applyTableEdit([](QTextTable &t, const QTextTableCell &c) { t.removeColumns(c.column(), 1); });
}

void NoteWidgetHtml::formatChanged(const QTextCharFormat &format) {
    GuardDown guard(bFormatGuard);
    if (pActBold)
        pActBold->setChecked(format.fontWeight() >= kBoldFrom);
    if (pActItalic)
        pActItalic->setChecked(format.fontItalic());
    if (pActUnderline)
        pActUnderline->setChecked(format.fontUnderline());
    if (pFontBox)
        pFontBox->setCurrentFont(format.font());
    if (pSizeBox) {
        // Text without a size of its own is shown in the document's font;
        // that is the size the user sees, not 0.
        const double dSize = format.fontPointSize() > 0
                                 ? format.fontPointSize()
                                 : teNote->document()->defaultFont().pointSizeF();
        pSizeBox->setEditText(QString("%1").arg(dSize));
    }
    if (pColorBtn)
        pColorBtn->setColor(format.foreground().color());
}

void NoteWidgetHtml::cursorPositionChanged() {
    GuardDown guard(bFormatGuard);
    // 0x10 is the absolute-alignment bit; left and right may carry it.
    switch (int(teNote->textCursor().blockFormat().alignment()) & 0x1F) {
    case 0x01:
    case 0x11:
        if (pActLeft)
            pActLeft->setChecked(true);
        break;
    case 0x02:
    case 0x12:
        if (pActRight)
            pActRight->setChecked(true);
        break;
    case 0x04:
        if (pActCenter)
            pActCenter->setChecked(true);
        break;
    case 0x08:
        if (pActFill)
            pActFill->setChecked(true);
        break;
    default:
        break;
    }
}

void NoteWidgetHtml::mkFindDlg() {
    if (!pFindDlg) {
        pFindDlg = new FindDlg(this);
        connect(pFindDlg, SIGNAL(findNext(QString, int, int)), this,
                SLOT(findNext(QString, int, int)));
        connect(pFindDlg, SIGNAL(findRestart(QString, int, int)), this,
                SLOT(findRestart(QString, int, int)));
    }
    pFindDlg->show();
    pFindDlg->raise();
    pFindDlg->activateWindow();
}

void NoteWidgetHtml::find() {
    mkFindDlg();
}

void NoteWidgetHtml::findNext() {
    if (!pFindDlg)
        mkFindDlg();
    else
        pFindDlg->onFindNext();
}

void NoteWidgetHtml::findNext(const QString &sText, int iFindFlags, int iMode) {
    find(sText, teNote->textCursor(), iFindFlags, iMode);
}

void NoteWidgetHtml::findRestart(const QString &sText, int iFindFlags, int iMode) {
    QTextCursor start(teNote->document());
    if (iFindFlags & QTextDocument::FindBackward)
        start.movePosition(QTextCursor::End);
    find(sText, start, iFindFlags, iMode);
}

void NoteWidgetHtml::find(const QString &sText, const QTextCursor &cStart, int iFindFlags, int) {
    const QTextDocument::FindFlags eFlags(iFindFlags);
    QTextDocument *pDoc = teNote->document();
    QTextCursor found = pDoc->find(sText, cStart, eFlags);
    if (found.isNull()) {
        QTextCursor wrapped(pDoc);
        if (eFlags & QTextDocument::FindBackward)
            wrapped.movePosition(QTextCursor::End);
        found = pDoc->find(sText, wrapped, eFlags);
    }
    if (found.isNull()) {
        QMessageBox::warning(this, tr("Pelimund"), tr("Search string not found."));
        return;
    }
    teNote->setTextCursor(found);
}
