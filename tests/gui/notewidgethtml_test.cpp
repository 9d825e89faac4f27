// NoteWidgetHtml: the note content round trip, the tool bars and how they
// follow the text, character and block formatting, tables, find and export.
#include "gui/colorbutton.h"
#include "gui/finddlg.h"
#include "gui/iconcache.h"
#include "gui/notewidgethtml.h"
#include "support/editoricons.h"
#include "support/guitest.h"
#include "support/tempdir.h"
#include "vrel/dictionary.h"

#include <QActionGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextList>
#include <QTextTable>
#include <QToolBar>
#include <QtEndian>

#include <zlib.h>

#include <memory>

namespace {

Vrel::Dictionary *content(const QByteArray &baHtml) {
    auto *pContent = new Vrel::Dictionary;
    pContent->insert("data", baHtml);
    return pContent;
}

// One editor with its tool bars, shown and active.
struct Editor {
    std::unique_ptr<NoteWidgetHtml> pNote;
    QList<QToolBar *> lBars;

    explicit Editor(const QByteArray &baHtml, const QString &sName = "Recipes")
        : pNote(new NoteWidgetHtml(QByteArray(16, 'i'), sName, content(baHtml))) {
        lBars = pNote->getToolBars();
        pNote->resize(500, 400);
        pNote->show();
        pNote->activateWindow();
    }
    ~Editor() { qDeleteAll(lBars); }

    QTextEdit *edit() const { return pNote->teNote; }
    QTextDocument *doc() const { return pNote->teNote->document(); }
    QAction *action(const QString &sText) const {
        for (QToolBar *pBar : lBars)
            for (QAction *pAction : pBar->actions())
                if (pAction->text() == sText)
                    return pAction;
        qFatal("no action %s", qPrintable(sText));
    }
    QComboBox *sizeBox() const {
        for (QComboBox *pBox : lBars[2]->findChildren<QComboBox *>())
            if (!qobject_cast<QFontComboBox *>(pBox))
                return pBox;
        return nullptr;
    }
    QFontComboBox *fontBox() const { return lBars[2]->findChild<QFontComboBox *>(); }
    ColorButton *colorButton() const { return lBars[2]->findChild<ColorButton *>(); }
    FindDlg *findDlg() const { return pNote->findChild<FindDlg *>(); }

    // Selects the first occurrence of sText (or puts the cursor iOffset
    // characters into it when iOffset >= 0).
    int put(const QString &sText, int iOffset = -1) const {
        const QTextCursor found = doc()->find(sText);
        if (found.isNull())
            qFatal("no text %s", qPrintable(sText));
        QTextCursor cursor(doc());
        if (iOffset >= 0) {
            cursor.setPosition(found.selectionStart() + iOffset);
        } else {
            cursor.setPosition(found.selectionStart());
            cursor.setPosition(found.selectionEnd(), QTextCursor::KeepAnchor);
        }
        edit()->setTextCursor(cursor);
        return found.selectionStart();
    }
    // The format of the character at iPos.
    QTextCharFormat formatAt(int iPos) const {
        QTextCursor cursor(doc());
        cursor.setPosition(iPos + 1);
        return cursor.charFormat();
    }
    QTextCharFormat formatOf(const QString &sText) const {
        return formatAt(doc()->find(sText).selectionStart());
    }
    QString selected() const { return edit()->textCursor().selectedText(); }
    void typeSize(const QString &sSize) const {
        sizeBox()->lineEdit()->clear();
        QTest::keyClicks(sizeBox()->lineEdit(), sSize);
    }
};

// The members of a zip archive, read from its central directory, as an
// OpenDocument reader would. Fails the test on anything malformed.
struct ZipEntry {
    QByteArray baName;
    int iMethod = -1;
    QByteArray baData; // uncompressed
};

quint32 le32(const QByteArray &ba, qsizetype i) {
    return qFromLittleEndian<quint32>(ba.constData() + i);
}
quint16 le16(const QByteArray &ba, qsizetype i) {
    return qFromLittleEndian<quint16>(ba.constData() + i);
}

QByteArray inflateRaw(const QByteArray &baIn, qsizetype iSize) {
    QByteArray baOut(iSize, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return {};
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(baIn.constData()));
    z.avail_in = uInt(baIn.size());
    z.next_out = reinterpret_cast<Bytef *>(baOut.data());
    z.avail_out = uInt(baOut.size());
    const int iResult = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return iResult == Z_STREAM_END && z.avail_out == 0 ? baOut : QByteArray();
}

QList<ZipEntry> readZip(const QByteArray &baZip) {
    QList<ZipEntry> lEntries;
    qsizetype iEnd = baZip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (iEnd < 0 || iEnd + 22 > baZip.size()) {
        qWarning("zip: no end of central directory");
        return {};
    }
    const int iCount = le16(baZip, iEnd + 10);
    qsizetype i = le32(baZip, iEnd + 16);
    for (int n = 0; n < iCount; ++n) {
        if (i + 46 > baZip.size() || le32(baZip, i) != 0x02014b50) {
            qWarning("zip: bad central directory entry");
            return {};
        }
        ZipEntry entry;
        entry.iMethod = le16(baZip, i + 10);
        const quint32 uCrc = le32(baZip, i + 16);
        const qsizetype iPacked = le32(baZip, i + 20), iSize = le32(baZip, i + 24);
        const int iName = le16(baZip, i + 28), iExtra = le16(baZip, i + 30);
        const int iComment = le16(baZip, i + 32);
        const qsizetype iLocal = le32(baZip, i + 42);
        entry.baName = baZip.mid(i + 46, iName);
        i += 46 + iName + iExtra + iComment;

        if (iLocal + 30 > baZip.size() || le32(baZip, iLocal) != 0x04034b50) {
            qWarning("zip: bad local header");
            return {};
        }
        const qsizetype iData = iLocal + 30 + le16(baZip, iLocal + 26) + le16(baZip, iLocal + 28);
        const QByteArray baPacked = baZip.mid(iData, iPacked);
        entry.baData = entry.iMethod == 0 ? baPacked : inflateRaw(baPacked, iSize);
        const quint32 uActual = quint32(
            crc32(0, reinterpret_cast<const Bytef *>(entry.baData.constData()), uInt(iSize)));
        if (entry.baData.size() != iSize || uActual != uCrc) {
            qWarning("zip: %s does not unpack to its size and checksum", entry.baName.constData());
            return {};
        }
        lEntries.append(entry);
    }
    return lEntries;
}

QByteArray fileBytes(const QString &sPath) {
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the export dialog with a file name and one of its filters.
void answerExport(const QString &sPath, const QString &sFilter) {
    GuiTest::answerModal([sPath, sFilter](QWidget *pModal) {
        auto *pDialog = qobject_cast<QFileDialog *>(pModal);
        QVERIFY(pDialog);
        QCOMPARE(pDialog->windowTitle(), QString("Pelimund - Export"));
        QCOMPARE(pDialog->nameFilters(),
                 (QStringList{"Web Page (*.html)", "Oasis Open Document (*.odt)",
                              "Plain text (*.txt)"}));
        // The filter first: choosing one rewrites the suffix of the name.
        pDialog->selectNameFilter(sFilter);
        pDialog->selectFile(sPath);
        static_cast<QDialog *>(pDialog)->accept();
    });
}

const QByteArray kFormatted =
    "<p>Plain <b>bold</b> <i>italic</i> <u>under</u> "
    "<span style=\"color:#ff0000; font-size:24pt\">red</span> Gr\xc3\xbc\xc3\x9f"
    "e \xe2\x9c\x93</p>"
    "<ul><li>one</li><li>two</li></ul>"
    "<table border=\"1\"><tr><td>c1</td><td>c2</td></tr></table>"
    "<p align=\"center\">middle</p>";

} // namespace

class NoteWidgetHtmlTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GuiTest::addEditorIcons(); }
    void cleanupTestCase() { IconCache::getInstance().clear(); }
    void init() { QTest::failOnWarning(QRegularExpression("QObject::connect|QMetaObject")); }
    void cleanup() { QCOMPARE(GuiTest::pendingAnswers(), 0); }

    void roundTrip() {
        Editor first(kFormatted);
        QCOMPARE(first.pNote->getType(), QString("html"));
        QCOMPARE(first.pNote->windowTitle(), QString("Recipes[*]"));
        QVERIFY(!first.pNote->isModified());
        first.put("Plain", 0);
        QTest::keyClicks(first.edit(), "Very ");
        QVERIFY(first.pNote->isModified());
        QVERIFY(first.pNote->isWindowModified());

        std::unique_ptr<Vrel::Object> pData(first.pNote->getData());
        QVERIFY(!first.pNote->isModified());
        QVERIFY(!first.pNote->isWindowModified());
        auto *pDict = dynamic_cast<Vrel::Dictionary *>(pData.get());
        QVERIFY(pDict);
        QCOMPARE(pDict->keys(), QList<QByteArray>{"data"});
        const QByteArray baHtml = pDict->valueStr("data");
        QVERIFY(baHtml.contains("Gr\xc3\xbc\xc3\x9f"
                                "e \xe2\x9c\x93"));
        QCOMPARE(QString::fromUtf8(baHtml), first.edit()->toHtml());

        Editor second(baHtml);
        QVERIFY(!second.pNote->isModified());
        QCOMPARE(second.doc()->toPlainText(), first.doc()->toPlainText());
        QVERIFY(second.doc()->toPlainText().startsWith("Very Plain"));
        QCOMPARE(second.edit()->toHtml(), first.edit()->toHtml());
        QCOMPARE(second.formatOf("bold").fontWeight(), int(QFont::Bold));
        QVERIFY(second.formatOf("italic").fontItalic());
        QVERIFY(second.formatOf("under").fontUnderline());
        QCOMPARE(second.formatOf("red").foreground().color(), QColor(Qt::red));
        QCOMPARE(second.formatOf("red").fontPointSize(), 24.0);
        second.put("two", 1);
        QVERIFY(second.edit()->textCursor().currentList());
        QCOMPARE(second.edit()->textCursor().currentList()->count(), 2);
        second.put("c2", 1);
        QVERIFY(second.edit()->textCursor().currentTable());
        second.put("middle", 1);
        QCOMPARE(second.edit()->textCursor().blockFormat().alignment(), Qt::AlignHCenter);
    }

    void unusualContent() {
        NoteWidgetHtml none(QByteArray(16, 'n'), "none", nullptr);
        QVERIFY(none.teNote->document()->isEmpty());
        auto *pNoData = new Vrel::Dictionary;
        pNoData->insert("other", QByteArray("<p>x</p>"));
        NoteWidgetHtml noData(QByteArray(16, 'n'), "no data", pNoData);
        QVERIFY(noData.teNote->document()->isEmpty());
        NoteWidgetHtml zero(QByteArray(16, 'z'), "zero",
                            content(QByteArray("<p>before</p>\0<p>after</p>", 27)));
        QCOMPARE(zero.teNote->toPlainText(), QString("before"));
        NoteWidgetHtml broken(QByteArray(16, 'b'), "broken", content("<p>\xff\xfe<b>bad"));
        QVERIFY(broken.teNote->toPlainText().endsWith("bad"));
    }

    void toolBars() {
        Editor e("<p align=\"right\">text</p>");
        QCOMPARE(e.lBars.size(), 4);
        const QStringList lNames{"tbHtmlEdit", "tbHtmlFormatting", "tbHtmlFont", "tbHtmlTables"};
        const QStringList lTitles{"Edit", "Formatting", "Font Settings", "Tables"};
        const QList<QStringList> lTexts{{"Find", "Undo", "Redo", "", "Copy", "Cut", "Paste"},
                                        {"Bold", "Italic", "Underline", "", "Left", "Center",
                                         "Right", "Fill", "", "Bullet List", "Numbered List"},
                                        {"", "", ""},
                                        {"Insert Table", "Insert Row Above", "Insert Row Below",
                                         "Insert Column Left", "Insert Column Right", "Delete Row",
                                         "Delete Column"}};
        for (int i = 0; i < 4; ++i) {
            QToolBar *pBar = e.lBars[i];
            QCOMPARE(pBar->objectName(), lNames[i]);
            QCOMPARE(pBar->windowTitle(), lTitles[i]);
            QCOMPARE(pBar->parent(), nullptr);
            QStringList lSeen;
            for (QAction *pAction : pBar->actions()) {
                lSeen << pAction->text();
                if (!pAction->isSeparator() && i != 2)
                    QVERIFY2(!pAction->icon().isNull(), qPrintable(pAction->text()));
            }
            QCOMPARE(lSeen, lTexts[i]);
        }
        for (const char *sText : {"Bold", "Italic", "Underline", "Left", "Center", "Right", "Fill"})
            QVERIFY(e.action(sText)->isCheckable());
        QVERIFY(!e.action("Bullet List")->isCheckable());
        QActionGroup *pGroup = e.action("Left")->actionGroup();
        QVERIFY(pGroup && pGroup->isExclusive());
        QCOMPARE(pGroup->parent(), e.lBars[1]);
        QCOMPARE(pGroup->actions().size(), 4);
        // The cursor went to the start, and the first block is right-aligned.
        QCOMPARE(e.edit()->textCursor().position(), 0);
        QVERIFY(e.action("Right")->isChecked());

        QCOMPARE(e.sizeBox()->count(), 8);
        QStringList lSizes;
        for (int i = 0; i < e.sizeBox()->count(); ++i)
            lSizes << e.sizeBox()->itemText(i);
        QCOMPARE(lSizes, (QStringList{"6", "9", "12", "24", "36", "48", "72", "96"}));
        QVERIFY(e.sizeBox()->isEditable());
        QVERIFY(e.fontBox());
        QCOMPARE(e.colorButton()->getColor(), QColor(0, 0, 0, 255));
        QVERIFY(!e.pNote->isModified());

        // Undo, Redo, Copy and Cut follow the edit field.
        QVERIFY(!e.action("Undo")->isEnabled());
        QVERIFY(!e.action("Redo")->isEnabled());
        QVERIFY(!e.action("Copy")->isEnabled());
        QVERIFY(!e.action("Cut")->isEnabled());
        QVERIFY(e.action("Paste")->isEnabled());
        e.put("text");
        QVERIFY(e.action("Copy")->isEnabled());
        QVERIFY(e.action("Cut")->isEnabled());
        QTest::keyClicks(e.edit(), "new");
        QVERIFY(e.action("Undo")->isEnabled());
        e.action("Undo")->trigger();
        QVERIFY(e.action("Redo")->isEnabled());
        QCOMPARE(e.doc()->toPlainText(), QString("text"));

        // F3 belongs to the edit field and its children.
        QAction *pF3 = nullptr;
        for (QAction *pAction : e.edit()->actions())
            if (pAction->shortcut() == QKeySequence(Qt::Key_F3))
                pF3 = pAction;
        QVERIFY(pF3);
        QCOMPARE(pF3->shortcutContext(), Qt::WidgetWithChildrenShortcut);
    }

    // Each call makes new bars; the editor then follows the newest, and bars
    // deleted before the editor leave nothing dangling.
    void toolBarsRemade() {
        Editor e("<p>plain <b>bold</b></p>");
        QList<QToolBar *> lNew = e.pNote->getToolBars();
        QCOMPARE(lNew.size(), 4);
        QVERIFY(lNew[1] != e.lBars[1]);
        qDeleteAll(e.lBars);
        e.lBars = lNew;
        e.put("bold", 2);
        QVERIFY(e.action("Bold")->isChecked());
        qDeleteAll(e.lBars);
        e.lBars.clear();
        e.put("plain", 2);
        e.put("bold", 2);
        e.pNote->toggleBold();
        QCOMPARE(e.edit()->currentCharFormat().fontWeight(), int(QFont::Normal));
    }

    // A weight of 700 (or the 600 that older notes store) counts as bold.
    void toggleBoldOnSelection() {
        Editor e("<p>plain <b>bold</b> then <span style=\"font-weight:600\">heavy</span></p>");
        const int iStart = e.put("plain");
        QTextCursor cursor(e.doc());
        cursor.setPosition(iStart);
        cursor.setPosition(e.doc()->find("bold").selectionEnd(), QTextCursor::KeepAnchor);
        e.edit()->setTextCursor(cursor);
        QVERIFY(e.action("Bold")->isChecked());
        e.action("Bold")->trigger();
        for (const char *sWord : {"plain", "bold"})
            QCOMPARE(e.formatOf(sWord).fontWeight(), int(QFont::Normal));
        e.action("Bold")->trigger();
        for (const char *sWord : {"plain", "bold"})
            QCOMPARE(e.formatOf(sWord).fontWeight(), int(QFont::Bold));

        e.put("heavy", 2);
        QVERIFY(e.action("Bold")->isChecked());
        e.put("heavy");
        e.pNote->toggleBold();
        QCOMPARE(e.formatOf("heavy").fontWeight(), int(QFont::Normal));
        QCOMPARE(e.formatOf("then").fontWeight(), int(QFont::Normal));
    }

    // Without a selection the change applies to the text typed next.
    void formatForTyping() {
        Editor e("<p>abc</p>");
        QTextCursor end(e.doc());
        end.movePosition(QTextCursor::End);
        e.edit()->setTextCursor(end);
        e.pNote->toggleBold();
        e.pNote->toggleItalic();
        e.pNote->toggleUnderline();
        e.pNote->setFont(QFont("DejaVu Serif"));
        QVERIFY(!e.pNote->isModified());
        QTest::keyClicks(e.edit(), "xyz");
        const QTextCharFormat typed = e.formatOf("xyz");
        QCOMPARE(typed.fontWeight(), int(QFont::Bold));
        QVERIFY(typed.fontItalic());
        QVERIFY(typed.fontUnderline());
        QCOMPARE(typed.fontFamilies().toStringList(), QStringList{"DejaVu Serif"});
        const QTextCharFormat before = e.formatOf("abc");
        QCOMPARE(before.fontWeight(), int(QFont::Normal));
        QVERIFY(!before.fontItalic());

        e.put("abc");
        e.pNote->toggleItalic();
        e.pNote->toggleUnderline();
        QVERIFY(e.formatOf("abc").fontItalic());
        QVERIFY(e.formatOf("abc").fontUnderline());
        QVERIFY(e.formatOf("xyz").fontItalic()); // untouched
    }

    void sizeBox_data() {
        QTest::addColumn<QString>("sTyped");
        QTest::addColumn<double>("dSize"); // 0: unchanged
        QTest::newRow("14") << "14" << 14.0;
        QTest::newRow("12pt") << "12pt" << 12.0;
        QTest::newRow("10.5") << "10.5" << 10.5;
        QTest::newRow("leading blank") << " 20" << 20.0;
        QTest::newRow("plus") << "+30" << 30.0;
        QTest::newRow("exponent") << "1.5e1" << 15.0;
        QTest::newRow("0.5") << "0.5" << 0.0;
        QTest::newRow("abc") << "abc" << 0.0;
        QTest::newRow("1") << "1" << 0.0;
        QTest::newRow("negative") << "-40" << 0.0;
        QTest::newRow("infinite") << "inf" << 0.0;
        QTest::newRow("hex") << "0x40" << 0.0;
    }
    void sizeBox() {
        QFETCH(QString, sTyped);
        QFETCH(double, dSize);
        Editor e("<p>some <span style=\"font-size:8pt\">words</span></p>");
        e.put("words");
        e.typeSize(sTyped);
        QCOMPARE(e.formatOf("words").fontPointSize(), dSize > 0 ? dSize : 8.0);
        QCOMPARE(e.formatOf("some").fontPointSize(), 0.0);
        QCOMPARE(e.pNote->isModified(), dSize > 0);
    }

    // Moving the cursor shows the format at it and changes nothing.
    void toolBarFollowsText() {
        Editor e("<p>aaa <span style=\"font-weight:700; font-style:italic; font-size:12pt; "
                 "color:#00ff00\">word</span> <span style=\"font-size:10.5pt\">half</span> "
                 "<u>plain</u></p>");
        const QString sBefore = e.edit()->toHtml();
        e.put("word", 2);
        QVERIFY(e.action("Bold")->isChecked());
        QVERIFY(e.action("Italic")->isChecked());
        QVERIFY(!e.action("Underline")->isChecked());
        QCOMPARE(e.sizeBox()->currentText(), QString("12"));
        QCOMPARE(e.colorButton()->getColor(), QColor(Qt::green));
        e.put("half", 2);
        QCOMPARE(e.sizeBox()->currentText(), QString("10.5"));
        QVERIFY(!e.action("Bold")->isChecked());
        e.put("plain", 2);
        QCOMPARE(e.sizeBox()->currentText(), QString("0"));
        QVERIFY(e.action("Underline")->isChecked());
        QVERIFY(!e.action("Italic")->isChecked());
        QCOMPARE(e.colorButton()->getColor(), QColor(Qt::black));

        // A selection over two sizes and fonts: the boxes show the format at
        // the cursor, and their change signals must not reach the text.
        e.pNote->setFont(QFont("DejaVu Serif"));
        QTextCursor cursor(e.doc());
        cursor.setPosition(e.doc()->find("word").selectionStart());
        cursor.setPosition(e.doc()->find("half").selectionEnd(), QTextCursor::KeepAnchor);
        e.edit()->setTextCursor(cursor);
        QCOMPARE(e.sizeBox()->currentText(), QString("10.5"));
        QCOMPARE(e.formatOf("word").fontPointSize(), 12.0);
        QVERIFY(!e.pNote->isModified());
        QCOMPARE(e.edit()->toHtml(), sBefore);
    }

    void alignment() {
        Editor e("<p>one</p><p>two</p><p>three</p>");
        e.put("two", 1);
        e.pNote->setJustifyCenter();
        QCOMPARE(e.edit()->textCursor().blockFormat().alignment(), Qt::AlignHCenter);
        e.pNote->setJustifyFill();
        QCOMPARE(e.edit()->textCursor().blockFormat().alignment(), Qt::AlignJustify);

        // Every block the selection touches.
        QTextCursor cursor(e.doc());
        cursor.setPosition(1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        e.edit()->setTextCursor(cursor);
        e.action("Right")->trigger();
        for (const char *sWord : {"one", "two", "three"}) {
            e.put(sWord, 1);
            QCOMPARE(e.edit()->textCursor().blockFormat().alignment(), Qt::AlignRight);
            QVERIFY(e.action("Right")->isChecked());
        }
        e.action("Left")->trigger();
        QCOMPARE(e.edit()->textCursor().blockFormat().alignment(), Qt::AlignLeft);

        // The absolute bit still reads as left or right.
        QTextBlockFormat format;
        format.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        QTextCursor(e.doc()->findBlockByNumber(0)).mergeBlockFormat(format);
        format.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        QTextCursor(e.doc()->findBlockByNumber(1)).mergeBlockFormat(format);
        e.put("one", 1);
        QVERIFY(e.action("Right")->isChecked());
        e.put("two", 1);
        QVERIFY(e.action("Left")->isChecked());
        e.put("three", 1);
        e.action("Center")->trigger();
        e.put("one", 1);
        e.put("three", 1);
        QVERIFY(e.action("Center")->isChecked());
    }

    void lists() {
        Editor e("<p>one</p><p>two</p><p>three</p>");
        QTextCursor cursor(e.doc());
        cursor.setPosition(0);
        cursor.setPosition(e.doc()->find("two").selectionEnd(), QTextCursor::KeepAnchor);
        e.edit()->setTextCursor(cursor);
        e.action("Bullet List")->trigger();
        e.put("one", 1);
        QTextList *pBullets = e.edit()->textCursor().currentList();
        QVERIFY(pBullets);
        QCOMPARE(pBullets->format().style(), QTextListFormat::ListDisc);
        QCOMPARE(pBullets->count(), 2);

        e.put("three", 1);
        e.action("Numbered List")->trigger();
        QTextList *pNumbers = e.edit()->textCursor().currentList();
        QVERIFY(pNumbers && pNumbers != pBullets);
        QCOMPARE(pNumbers->format().style(), QTextListFormat::ListDecimal);

        // No toggle: a second call makes another new list.
        e.action("Numbered List")->trigger();
        QVERIFY(e.edit()->textCursor().currentList());
        QVERIFY(e.edit()->textCursor().currentList() != pNumbers);
    }

    void tables() {
        Editor e("<p>before</p>");
        QTextCursor end(e.doc());
        end.movePosition(QTextCursor::End);
        e.edit()->setTextCursor(end);
        e.action("Insert Table")->trigger();
        QTextTable *pTable = e.edit()->textCursor().currentTable();
        QVERIFY(pTable);
        QCOMPARE(pTable->rows(), 3);
        QCOMPARE(pTable->columns(), 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                pTable->cellAt(r, c).firstCursorPosition().insertText(
                    QString("%1%2").arg(r).arg(c));
        auto cellText = [pTable](int r, int c) {
            QTextCursor cursor = pTable->cellAt(r, c).firstCursorPosition();
            cursor.setPosition(pTable->cellAt(r, c).lastCursorPosition().position(),
                               QTextCursor::KeepAnchor);
            return cursor.selectedText();
        };
        auto into = [&](int r, int c) {
            e.edit()->setTextCursor(pTable->cellAt(r, c).firstCursorPosition());
        };

        into(2, 1);
        e.action("Insert Row Below")->trigger();
        QCOMPARE(pTable->rows(), 4);
        QCOMPARE(cellText(2, 1), QString("21"));
        QCOMPARE(cellText(3, 1), QString());
        into(0, 0);
        e.action("Insert Row Above")->trigger();
        QCOMPARE(pTable->rows(), 5);
        QCOMPARE(cellText(0, 0), QString());
        QCOMPARE(cellText(1, 0), QString("00"));
        into(1, 0);
        e.action("Insert Column Left")->trigger();
        QCOMPARE(pTable->columns(), 4);
        QCOMPARE(cellText(1, 0), QString());
        QCOMPARE(cellText(1, 1), QString("00"));
        into(1, 3);
        e.action("Insert Column Right")->trigger();
        QCOMPARE(pTable->columns(), 5);
        QCOMPARE(cellText(1, 3), QString("02"));
        QCOMPARE(cellText(1, 4), QString());

        into(2, 2);
        e.action("Delete Row")->trigger();
        QCOMPARE(pTable->rows(), 4);
        QCOMPARE(cellText(2, 2), QString("21"));
        into(2, 2);
        e.action("Delete Column")->trigger();
        QCOMPARE(pTable->columns(), 4);
        QCOMPARE(cellText(2, 1), QString("20"));
        QCOMPARE(cellText(2, 2), QString("22"));

        // Outside a table the table operations change nothing.
        e.put("before", 1);
        const QString sBefore = e.edit()->toHtml();
        const int iUndo = e.doc()->availableUndoSteps();
        for (const char *sText : {"Insert Row Above", "Insert Row Below", "Insert Column Left",
                                  "Insert Column Right", "Delete Row", "Delete Column"})
            e.action(sText)->trigger();
        QCOMPARE(e.edit()->toHtml(), sBefore);
        QCOMPARE(e.doc()->availableUndoSteps(), iUndo);
    }

    void findWrapsAround() {
        Editor e("<p>alpha beta Gamma beta alpha</p>");
        e.put("Gamma", 2);
        e.pNote->findNext("beta", 0, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 17);
        e.pNote->findNext("beta", 0, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 6); // wrapped to the start
        e.pNote->findNext("beta", QTextDocument::FindBackward, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 17); // wrapped to the end
        e.pNote->findNext("beta", QTextDocument::FindBackward, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 6);

        e.pNote->findRestart("alpha", 0, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 0);
        e.pNote->findRestart("alpha", QTextDocument::FindBackward, 0);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 22);

        GuiTest::answerMessageBox(QMessageBox::Ok);
        e.pNote->findRestart("gamma", QTextDocument::FindCaseSensitively, 0);
        QCOMPARE(e.selected(), QString("alpha")); // not found: unchanged
        QCOMPARE(e.edit()->textCursor().selectionStart(), 22);
    }

    void notFound_data() {
        QTest::addColumn<QString>("sText");
        QTest::addColumn<int>("iFlags");
        QTest::newRow("missing") << "delta" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("case") << "GAMMA" << int(QTextDocument::FindCaseSensitively);
        QTest::newRow("whole words") << "amm" << int(QTextDocument::FindWholeWords);
    }
    void notFound() {
        QFETCH(QString, sText);
        QFETCH(int, iFlags);
        Editor e("<p>alpha beta Gamma</p>");
        e.put("beta");
        GuiTest::answerModal([&e](QWidget *pModal) {
            auto *pBox = qobject_cast<QMessageBox *>(pModal);
            QVERIFY(pBox);
            QCOMPARE(pBox->parentWidget(), e.pNote.get());
            QCOMPARE(pBox->windowTitle(), QString("Pelimund"));
            QCOMPARE(pBox->text(), QString("Search string not found."));
            QCOMPARE(pBox->standardButtons(), QMessageBox::Ok);
            QCOMPARE(pBox->icon(), QMessageBox::Warning);
            pBox->button(QMessageBox::Ok)->click();
        });
        e.pNote->findNext(sText, iFlags, 0);
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        QCOMPARE(e.selected(), QString("beta"));
    }

    // F3 first opens the dialog; later it searches with the dialog's text
    // and options, even with the dialog hidden.
    void findDialogAndF3() {
        Editor e("<p>one two one two</p>");
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        e.edit()->setFocus();
        e.put("one", 0);
        QVERIFY(!e.findDlg());
        QTest::keyClick(e.edit(), Qt::Key_F3);
        FindDlg *pDlg = e.findDlg();
        QVERIFY(pDlg);
        QVERIFY(pDlg->isVisible());
        QVERIFY(!e.edit()->textCursor().hasSelection());

        pDlg->leText->setText("two");
        pDlg->btnFindNext->click();
        QCOMPARE(e.edit()->textCursor().selectionStart(), 4);
        pDlg->btnClose->click();
        QVERIFY(!pDlg->isVisible());
        e.pNote->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        e.edit()->setFocus();
        QTest::keyClick(e.edit(), Qt::Key_F3);
        QCOMPARE(e.edit()->textCursor().selectionStart(), 12);
        QVERIFY(!pDlg->isVisible());

        pDlg->cbReverse->setChecked(true);
        pDlg->leText->setText("one");
        pDlg->btnRestart->click();
        QCOMPARE(e.edit()->textCursor().selectionStart(), 8);

        // The tool bar's Find shows the same dialog again.
        e.action("Find")->trigger();
        QCOMPARE(e.findDlg(), pDlg);
        QCOMPARE(e.pNote->findChildren<FindDlg *>().size(), 1);
        QVERIFY(pDlg->isVisible());
        QCOMPARE(pDlg->leText->text(), QString("one"));
    }

    void pickColor() {
        Editor e("<p>paint me</p>");
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        e.put("paint");
        GuiTest::answerModal([&e](QWidget *pModal) {
            auto *pDialog = qobject_cast<QColorDialog *>(pModal);
            QVERIFY(pDialog);
            QCOMPARE(pDialog->parentWidget(), e.pNote.get());
            QCOMPARE(pDialog->currentColor(), QColor(Qt::white));
            pDialog->setCurrentColor(QColor(10, 20, 200));
            pDialog->accept();
        });
        QTest::mousePress(e.colorButton(), Qt::LeftButton);
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        // The release went to the dialog; the button must not stay sunken.
        QVERIFY(!e.colorButton()->isDown());
        QCOMPARE(e.formatOf("paint").foreground().color(), QColor(10, 20, 200));
        QVERIFY(e.formatOf("me").foreground().style() == Qt::NoBrush);
        QCOMPARE(e.pNote->focusWidget(), e.edit());

        e.put("me");
        GuiTest::rejectModal();
        e.pNote->pickColor();
        QVERIFY(e.formatOf("me").foreground().style() == Qt::NoBrush);
        QCOMPARE(e.pNote->focusWidget(), e.edit());
    }

    void exportFormats() {
        support::TempDir dir;
        const QString sDir = QString::fromStdString(dir.getPath());
        Editor e(kFormatted, "Menu");
        const QString sText = e.doc()->toPlainText();

        answerExport(sDir + "/page.html", "Web Page (*.html)");
        e.pNote->exportNote();
        const QByteArray baHtml = fileBytes(sDir + "/page.html");
        QVERIFY(baHtml.startsWith("<!DOCTYPE HTML"));
        QVERIFY(baHtml.contains("Gr\xc3\xbc\xc3\x9f"
                                "e"));
        QTextDocument reread;
        reread.setHtml(QString::fromUtf8(baHtml));
        QCOMPARE(reread.toPlainText(), sText);

        // Plain text, although the name ends in .html.
        answerExport(sDir + "/plain.html", "Plain text (*.txt)");
        e.pNote->exportNote();
        QCOMPARE(QString::fromUtf8(fileBytes(sDir + "/plain.html")), sText);

        answerExport(sDir + "/doc.odt", "Oasis Open Document (*.odt)");
        e.pNote->exportNote();
        const QByteArray baOdt = fileBytes(sDir + "/doc.odt");
        QVERIFY(baOdt.startsWith("PK\x03\x04"));
        QCOMPARE(le16(baOdt, 8), 0);                        // the first member is stored...
        QCOMPARE(baOdt.mid(30, 8), QByteArray("mimetype")); // ...and is the mime type
        const QList<ZipEntry> lEntries = readZip(baOdt);
        QVERIFY(!lEntries.isEmpty());
        QCOMPARE(lEntries[0].baName, QByteArray("mimetype"));
        QCOMPARE(lEntries[0].iMethod, 0);
        QCOMPARE(lEntries[0].baData, QByteArray("application/vnd.oasis.opendocument.text"));
        QByteArray baContent;
        for (const ZipEntry &entry : lEntries)
            if (entry.baName == "content.xml")
                baContent = entry.baData;
        for (const char *sWord : {"bold", "italic", "middle", "c2",
                                  "Gr\xc3\xbc\xc3\x9f"
                                  "e"})
            QVERIFY2(baContent.contains(sWord), sWord);

        // The suggested name starts in the documents folder.
        GuiTest::answerModal([](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pDialog);
            QCOMPARE(pDialog->directory().absolutePath(), GuiTest::homePath() + "/Documents");
            QCOMPARE(pDialog->selectedFiles().value(0),
                     GuiTest::homePath() + "/Documents/Menu.html");
            pDialog->reject();
        });
        e.pNote->exportNote();
        QVERIFY(QDir(GuiTest::homePath() + "/Documents").isEmpty());
    }

    void exportFailureIsReported() {
        support::TempDir dir;
        const QString sPath = QString::fromStdString(dir.getPath()) + "/missing/note.html";
        Editor e("<p>text</p>");
        QString sText;
        GuiTest::answerModal([sPath, &sText](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pDialog);
            pDialog->selectFile(sPath);
            GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
            static_cast<QDialog *>(pDialog)->accept();
        });
        e.pNote->exportNote();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY2(sText.startsWith("The note could not be written to \"") &&
                     sText.contains("/missing/note.html\"."),
                 qPrintable(sText));
        QVERIFY(QDir(GuiTest::homePath() + "/Documents").isEmpty());
    }
};

PELIMUND_GUI_TEST_MAIN(NoteWidgetHtmlTest)
#include "notewidgethtml_test.moc"
