// NoteWidgetHtml: the note content round trip, the tool bars and how they
// follow the text, character and block formatting, tables, find and export.
#include "gui/colorbutton.h"
#include "gui/finddlg.h"
#include "gui/iconcache.h"
#include "gui/notedocument.h"
#include "gui/notewidgethtml.h"
#include "support/child.h"
#include "support/editoricons.h"
#include "support/filesizelimit.h"
#include "support/guitest.h"
#include "support/tempdir.h"
#include "vrel/dictionary.h"

#include <QActionGroup>
#include <QBuffer>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QTextDocumentWriter>
#include <QTextList>
#include <QTextTable>
#include <QToolBar>
#include <QXmlStreamReader>
#include <QtEndian>

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
        : pNote(new NoteWidgetHtml(QByteArray(16, 'i'), sName, content(baHtml))),
          lBars(pNote->getToolBars()) {
        pNote->show();
        pNote->activateWindow();
    }
    ~Editor() { qDeleteAll(lBars); }

    QTextEdit *edit() const { return pNote->teNote; }
    QTextDocument *doc() const { return pNote->teNote->document(); }
    QTextCursor cursor() const { return pNote->teNote->textCursor(); }
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
    ColorButton *colorButton() const { return lBars[2]->findChild<ColorButton *>(); }
    FindDlg *findDlg() const { return pNote->findChild<FindDlg *>(); }

    // Selects from the start of sFrom to the end of sTo (default: sFrom), or
    // with iOffset >= 0 puts the cursor that far into sFrom.
    void put(const QString &sFrom, int iOffset = -1, const QString &sTo = {}) const {
        const QTextCursor from = doc()->find(sFrom);
        if (from.isNull())
            qFatal("no text %s", qPrintable(sFrom));
        QTextCursor c(doc());
        c.setPosition(from.selectionStart() + qMax(iOffset, 0));
        if (iOffset < 0)
            c.setPosition(sTo.isEmpty() ? from.selectionEnd() : doc()->find(sTo).selectionEnd(),
                          QTextCursor::KeepAnchor);
        edit()->setTextCursor(c);
    }
    // The format of the first character of sText.
    QTextCharFormat formatOf(const QString &sText) const {
        QTextCursor c(doc());
        c.setPosition(doc()->find(sText).selectionStart() + 1);
        return c.charFormat();
    }
};

// The members of a zip archive as its central directory lists them,
// unpacked with zlib and checked against their CRC-32; empty on any fault.
QMap<QByteArray, QByteArray> readZip(const QByteArray &baZip) {
    auto le = [&baZip](qsizetype i, int iBytes) -> quint32 {
        if (i < 0 || i + iBytes > baZip.size())
            return 0xffffffff;
        return iBytes == 2 ? qFromLittleEndian<quint16>(baZip.constData() + i)
                           : qFromLittleEndian<quint32>(baZip.constData() + i);
    };
    QMap<QByteArray, QByteArray> mMembers;
    const qsizetype iEnd = baZip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    qsizetype i = le(iEnd + 16, 4);
    for (quint32 n = 0; iEnd >= 0 && n < le(iEnd + 10, 2); ++n) {
        const qsizetype iLocal = le(i + 42, 4);
        if (le(i, 4) != 0x02014b50 || le(iLocal, 4) != 0x04034b50)
            return {};
        const quint32 iMethod = le(i + 10, 2), uCrc = le(i + 16, 4);
        const QByteArray baPacked =
            baZip.mid(iLocal + 30 + le(iLocal + 26, 2) + le(iLocal + 28, 2), le(i + 20, 4));
        QByteArray baData(le(i + 24, 4), '\0');
        if (iMethod == 0) {
            baData = baPacked;
        } else {
            z_stream z{};
            inflateInit2(&z, -MAX_WBITS);
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(baPacked.constData()));
            z.avail_in = uInt(baPacked.size());
            z.next_out = reinterpret_cast<Bytef *>(baData.data());
            z.avail_out = uInt(baData.size());
            const bool bDone = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_out == 0;
            inflateEnd(&z);
            if (!bDone)
                return {};
        }
        if (crc32(0, reinterpret_cast<const Bytef *>(baData.constData()), uInt(baData.size())) !=
            uCrc)
            return {};
        mMembers.insert(baZip.mid(i + 46, le(i + 28, 2)), baData);
        i += 46 + le(i + 28, 2) + le(i + 30, 2) + le(i + 32, 2);
    }
    return mMembers;
}

QByteArray fileBytes(const QString &sPath) {
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the export dialog with a file name and one of its filters; with
// pMessage, also the message box that follows, whose text goes there.
void answerExport(const QString &sPath, const QString &sFilter, QString *pMessage = nullptr) {
    GuiTest::answerModal([sPath, sFilter, pMessage](QWidget *pModal) {
        auto *pDialog = qobject_cast<QFileDialog *>(pModal);
        QVERIFY(pDialog);
        QCOMPARE(pDialog->windowTitle(), QString("Pelimund - Export"));
        // The filter first: choosing one rewrites the suffix of the name.
        pDialog->selectNameFilter(sFilter);
        pDialog->selectFile(sPath);
        if (pMessage)
            GuiTest::answerMessageBox(QMessageBox::Ok, pMessage);
        static_cast<QDialog *>(pDialog)->accept();
    });
}

// Lets this process map at most iMore bytes beyond what it maps now.
void capAddressSpace(rlim_t iMore) {
    QFile statm("/proc/self/statm");
    rlim_t iPages = 0;
    if (statm.open(QIODevice::ReadOnly))
        iPages = statm.readAll().split(' ').value(0).toULongLong();
    const rlim_t iCap = iPages * rlim_t(::sysconf(_SC_PAGESIZE)) + iMore;
    const rlimit limit{iCap, iCap};
    ::setrlimit(RLIMIT_AS, &limit);
}

const QByteArray kFormatted = "<p>Plain <b>bold</b> <i>italic</i> <u>under</u> "
                              "<span style=\"color:#ff0000; font-size:24pt\">red</span> "
                              "Gr\xc3\xbc\xc3\x9f"
                              "e \xe2\x9c\x93</p><ul><li>one</li><li>two</li></ul>"
                              "<table><tr><td>c1</td><td>c2</td></tr></table>"
                              "<p align=\"center\">middle</p>";

} // namespace

class NoteWidgetHtmlTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GuiTest::addEditorIcons(); }
    void cleanupTestCase() { IconCache::getInstance().clear(); }
    void init() { QTest::failOnWarning(QRegularExpression("QObject::connect|QMetaObject")); }
    void cleanup() { QCOMPARE(GuiTest::pendingAnswers(), 0); }

    void contentRoundTrip() {
        Editor first(kFormatted);
        QCOMPARE(first.pNote->windowTitle(), QString("Recipes[*]"));
        QVERIFY(!first.pNote->isModified());
        first.put("Plain", 0);
        QTest::keyClicks(first.edit(), "Very ");
        QVERIFY(first.pNote->isModified() && first.pNote->isWindowModified());

        std::unique_ptr<Vrel::Object> pData(first.pNote->getData());
        QVERIFY(!first.pNote->isModified() && !first.pNote->isWindowModified());
        auto *pDict = dynamic_cast<Vrel::Dictionary *>(pData.get());
        QVERIFY(pDict);
        QCOMPARE(pDict->keys(), QList<QByteArray>{"data"});
        const QByteArray baHtml = pDict->valueStr("data");
        QVERIFY(baHtml.contains("Very Plain") && baHtml.contains("Gr\xc3\xbc\xc3\x9f"));

        Editor second(baHtml);
        QVERIFY(!second.pNote->isModified());
        QCOMPARE(second.edit()->toHtml(), first.edit()->toHtml());
        QCOMPARE(second.formatOf("bold").fontWeight(), int(QFont::Bold));
        QVERIFY(second.formatOf("italic").fontItalic());
        QVERIFY(second.formatOf("under").fontUnderline());
        QCOMPARE(second.formatOf("red").foreground().color(), QColor(Qt::red));
        QCOMPARE(second.formatOf("red").fontPointSize(), 24.0);
        second.put("two", 1);
        QCOMPARE(second.cursor().currentList()->count(), 2);
        second.put("c2", 1);
        QVERIFY(second.cursor().currentTable());
        second.put("middle", 1);
        QCOMPARE(second.cursor().blockFormat().alignment(), Qt::AlignHCenter);

        // The text ends at a zero byte; no content is an empty note.
        NoteWidgetHtml zero(QByteArray(16, 'z'), "zero",
                            content(QByteArray("<p>before</p>\0<p>after</p>", 27)));
        QCOMPARE(zero.teNote->toPlainText(), QString("before"));
        NoteWidgetHtml none(QByteArray(16, 'n'), "none", nullptr);
        QVERIFY(none.teNote->document()->isEmpty());
    }

    void toolBars() {
        Editor e("<p align=\"right\">text</p>");
        QStringList lNames, lTitles;
        for (QToolBar *pBar : e.lBars) {
            lNames << pBar->objectName();
            lTitles << pBar->windowTitle();
            QCOMPARE(pBar->parent(), nullptr);
            for (QAction *pAction : pBar->actions())
                QVERIFY(pAction->isSeparator() || e.lBars[2] == pBar || !pAction->icon().isNull());
        }
        QCOMPARE(lNames,
                 (QStringList{"tbHtmlEdit", "tbHtmlFormatting", "tbHtmlFont", "tbHtmlTables"}));
        QCOMPARE(lTitles, (QStringList{"Edit", "Formatting", "Font Settings", "Tables"}));
        QCOMPARE(e.lBars[1]->actions().size(), 11);
        QCOMPARE(e.lBars[3]->actions().size(), 7);
        QVERIFY(e.action("Bold")->isCheckable() && !e.action("Bullet List")->isCheckable());
        QActionGroup *pGroup = e.action("Fill")->actionGroup();
        QVERIFY(pGroup && pGroup->isExclusive() && pGroup->actions().size() == 4);
        QCOMPARE(e.sizeBox()->count(), 8);
        QCOMPARE(e.sizeBox()->itemText(7), QString("96"));
        QCOMPARE(e.colorButton()->getColor(), QColor(0, 0, 0, 255));
        // The cursor went to the start, whose block is right-aligned.
        QCOMPARE(e.cursor().position(), 0);
        QVERIFY(e.action("Right")->isChecked());
        QVERIFY(!e.pNote->isModified());

        // Undo, Redo, Copy and Cut follow the edit field.
        for (const char *sText : {"Undo", "Redo", "Copy", "Cut"})
            QVERIFY2(!e.action(sText)->isEnabled(), sText);
        e.put("text");
        QVERIFY(e.action("Copy")->isEnabled() && e.action("Cut")->isEnabled());
        QTest::keyClicks(e.edit(), "new");
        e.action("Undo")->trigger();
        QVERIFY(e.action("Redo")->isEnabled());
        QCOMPARE(e.doc()->toPlainText(), QString("text"));

        const QList<QAction *> lF3 = e.edit()->actions();
        QCOMPARE(lF3.size(), 1);
        QCOMPARE(lF3[0]->shortcut(), QKeySequence(Qt::Key_F3));
        QCOMPARE(lF3[0]->shortcutContext(), Qt::WidgetWithChildrenShortcut);

        // New bars on every call; the editor follows the newest and does not
        // mind bars deleted before it.
        QList<QToolBar *> lNew = e.pNote->getToolBars();
        qDeleteAll(e.lBars);
        e.lBars = lNew;
        e.put("text", 1);
        e.pNote->toggleBold();
        QVERIFY(e.action("Bold")->isChecked());
        qDeleteAll(e.lBars);
        e.lBars.clear();
        e.pNote->toggleBold();
    }

    // A weight of 700, or the 600 that older notes store, counts as bold.
    void characterFormat() {
        Editor e("<p>plain <b>bold</b> then <span style=\"font-weight:600\">heavy</span></p>");
        e.put("plain", -1, "bold");
        QVERIFY(e.action("Bold")->isChecked());
        e.action("Bold")->trigger();
        QCOMPARE(e.formatOf("plain").fontWeight(), int(QFont::Normal));
        QCOMPARE(e.formatOf("bold").fontWeight(), int(QFont::Normal));
        e.action("Bold")->trigger();
        QCOMPARE(e.formatOf("plain").fontWeight(), int(QFont::Bold));
        e.put("then", -1, "heavy");
        e.action("Italic")->trigger();
        e.action("Underline")->trigger();
        e.action("Bold")->trigger();
        QCOMPARE(e.formatOf("heavy").fontWeight(), int(QFont::Normal));
        QVERIFY(e.formatOf("then").fontItalic() && e.formatOf("then").fontUnderline());

        // Without a selection it applies to the text typed next.
        QTextCursor end(e.doc());
        end.movePosition(QTextCursor::End);
        e.edit()->setTextCursor(end);
        const QString sBefore = e.edit()->toHtml();
        e.pNote->toggleBold();
        e.pNote->setFont(QFont("DejaVu Serif"));
        QCOMPARE(e.edit()->toHtml(), sBefore);
        QTest::keyClicks(e.edit(), "xyz");
        QCOMPARE(e.formatOf("xyz").fontWeight(), int(QFont::Bold));
        QCOMPARE(e.formatOf("xyz").fontFamilies().toStringList(), QStringList{"DejaVu Serif"});
    }

    void sizeBox_data() {
        QTest::addColumn<QString>("sTyped");
        QTest::addColumn<double>("dSize"); // 8: unchanged
        QTest::newRow("14") << "14" << 14.0;
        QTest::newRow("12pt") << "12pt" << 12.0;
        QTest::newRow("10.5") << " 10.5" << 10.5;
        QTest::newRow("plus and exponent") << "+1.5e1" << 15.0;
        for (const char *sNothing : {"0.5", "abc", "1", "-40", "inf", "0x40"})
            QTest::newRow(sNothing) << sNothing << 8.0;
    }
    void sizeBox() {
        QFETCH(QString, sTyped);
        QFETCH(double, dSize);
        Editor e("<p>some <span style=\"font-size:8pt\">words</span></p>");
        e.put("words");
        e.sizeBox()->lineEdit()->clear();
        QTest::keyClicks(e.sizeBox()->lineEdit(), sTyped);
        QCOMPARE(e.formatOf("words").fontPointSize(), dSize);
        QCOMPARE(e.formatOf("some").fontPointSize(), 0.0);
    }

    // Moving the cursor shows the format at it and changes nothing.
    void toolBarFollowsText() {
        Editor e("<p>aaa <span style=\"font-weight:700; font-style:italic; font-size:12pt; "
                 "color:#00ff00\">word</span> <span style=\"font-size:10.5pt\">half</span> "
                 "<u>plain</u></p>");
        const QString sBefore = e.edit()->toHtml();
        e.put("word", 2);
        QVERIFY(e.action("Bold")->isChecked() && e.action("Italic")->isChecked());
        QVERIFY(!e.action("Underline")->isChecked());
        QCOMPARE(e.sizeBox()->currentText(), QString("12"));
        QCOMPARE(e.colorButton()->getColor(), QColor(Qt::green));
        e.put("half", 2);
        QCOMPARE(e.sizeBox()->currentText(), QString("10.5"));
        QVERIFY(!e.action("Bold")->isChecked());
        e.put("plain", 2);
        // No size of its own: the box shows the document's font size.
        QCOMPARE(e.sizeBox()->currentText(),
                 QString("%1").arg(e.edit()->document()->defaultFont().pointSizeF()));
        QVERIFY(e.sizeBox()->currentText() != "0");
        QVERIFY(e.action("Underline")->isChecked());

        // Over two sizes and fonts the boxes show the format at the cursor;
        // their change signals must not reach the selection.
        e.pNote->setFont(QFont("DejaVu Serif"));
        e.put("word", -1, "half");
        QCOMPARE(e.sizeBox()->currentText(), QString("10.5"));
        QCOMPARE(e.edit()->toHtml(), sBefore);
        QVERIFY(!e.pNote->isModified());
    }

    void blockFormat() {
        Editor e("<p>one</p><p>two</p><p>three</p><p>four</p>");
        e.put("one", -1, "three");
        e.action("Center")->trigger();
        e.put("two", 1);
        QCOMPARE(e.cursor().blockFormat().alignment(), Qt::AlignHCenter);
        e.pNote->setJustifyFill();
        QCOMPARE(e.cursor().blockFormat().alignment(), Qt::AlignJustify);
        e.put("four", 1);
        QVERIFY(e.action("Left")->isChecked());
        e.put("three", 1);
        QVERIFY(e.action("Center")->isChecked());

        // The absolute bit still reads as left or right.
        QTextBlockFormat format;
        format.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
        QTextCursor(e.doc()->findBlockByNumber(0)).mergeBlockFormat(format);
        e.put("one", 1);
        QVERIFY(e.action("Right")->isChecked());

        e.put("one", -1, "two");
        e.action("Bullet List")->trigger();
        QTextList *pBullets = e.cursor().currentList();
        QVERIFY(pBullets && pBullets->count() == 2);
        QCOMPARE(pBullets->format().style(), QTextListFormat::ListDisc);
        e.put("three", 1);
        e.action("Numbered List")->trigger();
        QTextList *pNumbers = e.cursor().currentList();
        QCOMPARE(pNumbers->format().style(), QTextListFormat::ListDecimal);
        e.action("Numbered List")->trigger(); // no toggle: another new list
        QVERIFY(e.cursor().currentList() && e.cursor().currentList() != pNumbers);
    }

    void tables() {
        Editor e("<p>before</p>");
        e.put("before", 6);
        e.action("Insert Table")->trigger();
        QTextTable *pTable = e.cursor().currentTable();
        QVERIFY(pTable && pTable->rows() == 3 && pTable->columns() == 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                pTable->cellAt(r, c).firstCursorPosition().insertText(
                    QString("%1%2").arg(r).arg(c));
        // The rows, each as its cells' texts.
        auto rows = [pTable] {
            QStringList lRows;
            for (int r = 0; r < pTable->rows(); ++r) {
                QStringList lCells;
                for (int c = 0; c < pTable->columns(); ++c) {
                    QTextCursor cell = pTable->cellAt(r, c).firstCursorPosition();
                    cell.setPosition(pTable->cellAt(r, c).lastCursorPosition().position(),
                                     QTextCursor::KeepAnchor);
                    lCells << cell.selectedText();
                }
                lRows << lCells.join(",");
            }
            return lRows.join(" ");
        };
        auto at = [&](int r, int c, const char *sAction) {
            e.edit()->setTextCursor(pTable->cellAt(r, c).firstCursorPosition());
            e.action(sAction)->trigger();
        };
        at(2, 1, "Insert Row Below");
        at(0, 0, "Insert Row Above");
        QCOMPARE(rows(), QString(",, 00,01,02 10,11,12 20,21,22 ,,"));
        at(1, 0, "Insert Column Left");
        at(1, 3, "Insert Column Right");
        QCOMPARE(rows(), QString(",,,, ,00,01,02, ,10,11,12, ,20,21,22, ,,,,"));
        at(2, 2, "Delete Row");
        at(2, 2, "Delete Column");
        QCOMPARE(rows(), QString(",,, ,00,02, ,20,22, ,,,"));

        // Outside a table they change nothing.
        e.put("before", 1);
        const QString sBefore = e.edit()->toHtml();
        for (const char *sText : {"Insert Row Above", "Insert Row Below", "Insert Column Left",
                                  "Insert Column Right", "Delete Row", "Delete Column"})
            e.action(sText)->trigger();
        QCOMPARE(e.edit()->toHtml(), sBefore);
    }

    void findWrapsAround() {
        Editor e("<p>alpha beta Gamma beta alpha</p>");
        e.put("Gamma", 2);
        // Forward, then wrapping to the start; backward, then wrapping to the end.
        for (auto [iFlags, iFound] : {std::pair{0, 17}, {0, 6}, {1, 17}, {1, 6}}) {
            e.pNote->findNext("beta", iFlags, 0);
            QCOMPARE(e.cursor().selectionStart(), iFound);
        }
        e.pNote->findRestart("alpha", QTextDocument::FindBackward, 0);
        QCOMPARE(e.cursor().selectionStart(), 22);
        e.pNote->findRestart("alpha", 0, 0);
        QCOMPARE(e.cursor().selectionStart(), 0);

        // Not found, after the wrap too: the user is told, the selection stays.
        const std::pair<const char *, int> kMissing[] = {
            {"delta", 0},
            {"", 0},
            {"GAMMA", QTextDocument::FindCaseSensitively},
            {"amm", QTextDocument::FindWholeWords}};
        for (auto [sText, iFlags] : kMissing) {
            GuiTest::answerModal([&e](QWidget *pModal) {
                auto *pBox = qobject_cast<QMessageBox *>(pModal);
                QVERIFY(pBox && pBox->parentWidget() == e.pNote.get());
                QCOMPARE(pBox->windowTitle(), QString("Pelimund"));
                QCOMPARE(pBox->text(), QString("Search string not found."));
                QCOMPARE(pBox->standardButtons(), QMessageBox::Ok);
                pBox->button(QMessageBox::Ok)->click();
            });
            e.pNote->findNext(sText, iFlags, 0);
            QCOMPARE(GuiTest::pendingAnswers(), 0);
            QCOMPARE(e.cursor().selectedText(), QString("alpha"));
        }
    }

    // F3 first opens the dialog; later it searches with the dialog's text
    // and options, even with the dialog hidden.
    void findDialogAndF3() {
        Editor e("<p>one two one two</p>");
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        e.edit()->setFocus();
        QTest::keyClick(e.edit(), Qt::Key_F3);
        FindDlg *pDlg = e.findDlg();
        QVERIFY(pDlg && pDlg->isVisible());
        QVERIFY(!e.cursor().hasSelection());

        pDlg->leText->setText("two");
        pDlg->btnFindNext->click();
        QCOMPARE(e.cursor().selectionStart(), 4);
        pDlg->btnClose->click();
        e.pNote->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        QTest::keyClick(e.edit(), Qt::Key_F3);
        QCOMPARE(e.cursor().selectionStart(), 12);
        QVERIFY(!pDlg->isVisible());

        pDlg->cbReverse->setChecked(true);
        pDlg->leText->setText("one");
        pDlg->btnRestart->click();
        QCOMPARE(e.cursor().selectionStart(), 8);
        e.action("Find")->trigger();
        QCOMPARE(e.pNote->findChildren<FindDlg *>(), QList<FindDlg *>{pDlg});
        QVERIFY(pDlg->isVisible());
    }

    void pickColor() {
        Editor e("<p>paint me</p>");
        QVERIFY(QTest::qWaitForWindowActive(e.pNote.get()));
        e.put("paint");
        GuiTest::answerModal([&e](QWidget *pModal) {
            auto *pDialog = qobject_cast<QColorDialog *>(pModal);
            QVERIFY(pDialog && pDialog->parentWidget() == e.pNote.get());
            QCOMPARE(pDialog->currentColor(), QColor(Qt::white));
            pDialog->setCurrentColor(QColor(10, 20, 200));
            pDialog->accept();
        });
        QTest::mousePress(e.colorButton(), Qt::LeftButton);
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        // The release went to the dialog; the button must not stay sunken.
        QVERIFY(!e.colorButton()->isDown());
        QCOMPARE(e.formatOf("paint").foreground().color(), QColor(10, 20, 200));
        QCOMPARE(e.formatOf("me").foreground().style(), Qt::NoBrush);
        QCOMPARE(e.pNote->focusWidget(), e.edit());

        e.put("me");
        GuiTest::rejectModal();
        e.pNote->pickColor();
        QCOMPARE(e.formatOf("me").foreground().style(), Qt::NoBrush);
    }

    void exportFormats() {
        support::TempDir dir;
        const QString sDir = QString::fromStdString(dir.getPath());
        Editor e(kFormatted, "Menu");
        const QString sText = e.doc()->toPlainText();

        answerExport(sDir + "/page.html", "Web Page (*.html)");
        e.pNote->exportNote();
        QTextDocument reread;
        reread.setHtml(QString::fromUtf8(fileBytes(sDir + "/page.html")));
        QCOMPARE(reread.toPlainText(), sText);

        answerExport(sDir + "/plain.html", "Plain text (*.txt)");
        e.pNote->exportNote();
        QCOMPARE(QString::fromUtf8(fileBytes(sDir + "/plain.html")), sText);

        answerExport(sDir + "/doc.odt", "Oasis Open Document (*.odt)");
        e.pNote->exportNote();
        const QByteArray baOdt = fileBytes(sDir + "/doc.odt");
        // The mime type comes first and stored, as OpenDocument requires.
        QVERIFY(baOdt.startsWith("PK\x03\x04"));
        QCOMPARE(baOdt.mid(8, 2), QByteArray(2, '\0'));
        QCOMPARE(baOdt.mid(30, 8), QByteArray("mimetype"));
        const QMap<QByteArray, QByteArray> mMembers = readZip(baOdt);
        QCOMPARE(mMembers.value("mimetype"), QByteArray("application/vnd.oasis.opendocument.text"));
        for (const char *sWord : {"bold", "middle", "c2", "Gr\xc3\xbc\xc3\x9f"})
            QVERIFY2(mMembers.value("content.xml").contains(sWord), sWord);

        // The dialog starts in the documents folder at the note's name.
        GuiTest::answerModal([](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pDialog);
            QCOMPARE(pDialog->selectedFiles().value(0),
                     GuiTest::homePath() + "/Documents/Menu.html");
            pDialog->reject();
        });
        e.pNote->exportNote();

        // A file that cannot be written is reported.
        QString sMessage;
        GuiTest::answerModal([&sDir, &sMessage](QWidget *pModal) {
            auto *pDialog = qobject_cast<QFileDialog *>(pModal);
            QVERIFY(pDialog);
            pDialog->selectFile(sDir + "/missing/note.html");
            GuiTest::answerMessageBox(QMessageBox::Ok, &sMessage);
            static_cast<QDialog *>(pDialog)->accept();
        });
        e.pNote->exportNote();
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY2(sMessage.startsWith("The note could not be written to \"") &&
                     sMessage.contains("/missing/note.html\"."),
                 qPrintable(sMessage));
        QVERIFY(QDir(GuiTest::homePath() + "/Documents").isEmpty());
    }

    // A failed export names the system's reason and leaves no file. A file
    // size limit (its signal ignored) fails writes past the first bytes with
    // EFBIG as a full disk fails them with ENOSPC, for any user; a child
    // takes it, so that no other file of the test meets it.
    void exportFailureSaysWhy() {
        support::TempDir dir;
        const QString sDir = QString::fromStdString(dir.getPath());
        QVERIFY(support::passesInChild([&sDir] {
            Editor e(kFormatted);
            QString sMessage;
            answerExport(sDir + "/doc.odt", "Oasis Open Document (*.odt)", &sMessage);
            const support::FileSizeLimit limit(100);
            e.pNote->exportNote();
            return GuiTest::pendingAnswers() == 0 && QDir(sDir).isEmpty() &&
                   sMessage.endsWith("Details: " + QString::fromLocal8Bit(std::strerror(EFBIG)));
        }));
    }

    // A family picked in the font box, any but the text's, reaches the
    // OpenDocument export (its span's style, read with zlib and Qt's XML
    // reader) and the note's HTML; so it does once the note is loaded again,
    // which leaves the note as it was and unmodified.
    void fontFamilyExported() {
        support::TempDir dir;
        const auto exportedFamily = [&dir](Editor &e) {
            const QString sOdt =
                QString::fromStdString(dir.getFilePath(e.pNote->getName().toStdString() + ".odt"));
            answerExport(sOdt, "Oasis Open Document (*.odt)");
            e.pNote->exportNote();
            QXmlStreamReader xml(readZip(fileBytes(sOdt)).value("content.xml"));
            QHash<QString, QString> hFamilyOf;
            QString sStyle, sSpanStyle;
            while (!xml.atEnd()) {
                if (!xml.readNextStartElement())
                    continue;
                const QXmlStreamAttributes attributes = xml.attributes();
                if (xml.name() == u"style") {
                    sStyle = attributes.value("style:name").toString();
                } else if (xml.name() == u"text-properties") {
                    hFamilyOf[sStyle] = attributes.value("fo:font-family").toString();
                } else if (xml.name() == u"span") {
                    const QString sName = attributes.value("text:style-name").toString();
                    if (xml.readElementText() == "serif")
                        sSpanStyle = sName;
                }
            }
            return sSpanStyle.isEmpty() ? QString("(no span)") : hFamilyOf.value(sSpanStyle);
        };
        Editor e("<p>plain serif</p>");
        e.put("serif");
        auto *pBox = e.lBars[2]->findChild<QFontComboBox *>();
        pBox->setCurrentIndex(pBox->currentIndex() == 0 ? 1 : 0);
        const QString sFamily = pBox->currentText();
        QCOMPARE(exportedFamily(e), sFamily);

        std::unique_ptr<Vrel::Object> pData(e.pNote->getData());
        const QByteArray baHtml = static_cast<Vrel::Dictionary *>(pData.get())->valueStr("data");
        Editor reread(baHtml, "Again");
        QCOMPARE(reread.formatOf("serif").fontFamilies().toStringList(), QStringList{sFamily});
        QVERIFY(!reread.pNote->isModified() && !reread.doc()->isUndoAvailable());
        QCOMPARE(exportedFamily(reread), sFamily);
        pData.reset(reread.pNote->getData());
        QCOMPARE(static_cast<Vrel::Dictionary *>(pData.get())->valueStr("data"), baHtml);
    }

    // Images from regular files (path or file: URL) and from the program's
    // resources show; a file above the size limit shows as a missing one.
    void imagesFromFiles() {
        support::TempDir dir;
        const QString sPic = QString::fromStdString(dir.getFilePath("pic.png"));
        const QString sBig = QString::fromStdString(dir.getFilePath("big.png"));
        QVERIFY(QImage(3, 2, QImage::Format_RGB32).save(sPic));
        QVERIFY(QFile::copy(sPic, sBig) &&
                QFile::resize(sBig, NoteDocument::kMaxResourceBytes + 1));
        Editor e("<p>a <img src=\"" + sPic.toUtf8() + "\"> b</p>");
        const auto size = [&e](const QString &sName) {
            return e.doc()->resource(QTextDocument::ImageResource, sName).value<QImage>().size();
        };
        QCOMPARE(size(sPic), QSize(3, 2));
        QCOMPARE(size("file://" + sPic), QSize(3, 2));
        QCOMPARE(size(":/icons/pelimund.png"), QSize(64, 64));
        const QSize missing = size(sPic + ".none");
        QVERIFY(!missing.isEmpty());
        QCOMPARE(size(sBig), missing);
        QCOMPARE(size("/dev/zero"), missing);
        QCOMPARE(size("/dev/zero?x=1"), missing);
    }

    // Names written as they are, as hand-written pages do: "#" and "?" are
    // no fragment or query, and "%" is no escape. A file URL escapes them.
    // Where the bytes do not tell the format, the suffix does.
    void imagesNamedAsWritten() {
        support::TempDir dir;
        const QString sDir = QString::fromStdString(dir.getPath());
        const QStringList lNames = {"Screenshot #1.png", "what?.png", "50% off #2.png",
                                    "mit Leer #2.png"};
        for (const QString &sName : lNames)
            QVERIFY(QImage(3, 2, QImage::Format_RGB32).save(sDir + "/" + sName, "PNG"));
        QFile svg(sDir + "/late.svg");
        QVERIFY(svg.open(QIODevice::WriteOnly));
        svg.write(QByteArray(300, '\n') + "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"5\" "
                                          "height=\"7\"><rect width=\"5\" height=\"7\"/></svg>");
        svg.close();
        Editor e("<p>text</p>");
        const auto size = [&e](const QString &sName) {
            return e.doc()->resource(QTextDocument::ImageResource, sName).value<QImage>().size();
        };
        for (const QString &sName : lNames.first(3))
            QCOMPARE(size(sDir + "/" + sName), QSize(3, 2));
        QCOMPARE(size("file://" + sDir + "/mit%20Leer%20%232.png"), QSize(3, 2));
        QCOMPARE(size(sDir + "/late.svg"), QSize(5, 7));
    }

    // A note that names a device or a named pipe as an image opens with its
    // text, and is drawn, written as OpenDocument and copied. All of it runs
    // in a child process that may take no more than 2 GiB more memory and 60
    // seconds, so that reading without end or waiting for a writer fails
    // this test instead of hanging or starving the run.
    void imageOfDeviceOrPipe_data() {
        QTest::addColumn<QString>("sImage");
        QTest::newRow("device as a path") << "/dev/zero";
        QTest::newRow("named pipe as a file: URL") << "file://%1/pipe";
    }
    void imageOfDeviceOrPipe() {
        QFETCH(QString, sImage);
        support::TempDir dir;
        QCOMPARE(::mkfifo(dir.getFilePath("pipe").c_str(), 0600), 0);
        const QByteArray baHtml = "<p>kept <img src=\"" +
                                  sImage.arg(QString::fromStdString(dir.getPath())).toUtf8() +
                                  "\"> text</p>";
        QVERIFY(support::passesInChild([&] {
            capAddressSpace(rlim_t(2) << 30);
            Editor e(baHtml);
            e.pNote->grab();
            QBuffer odt;
            const bool bWritten = QTextDocumentWriter(&odt, "ODF").write(e.doc());
            e.edit()->selectAll();
            e.edit()->copy();
            const QMimeData *pCopy = QApplication::clipboard()->mimeData();
            const bool bCopied = pCopy->html().contains("kept") &&
                                 !pCopy->data("application/vnd.oasis.opendocument.text").isEmpty();
            return bWritten && bCopied && e.doc()->toPlainText() == "kept \uFFFC text";
        }));
    }
};

PELIMUND_GUI_TEST_MAIN(NoteWidgetHtmlTest)
#include "notewidgethtml_test.moc"
