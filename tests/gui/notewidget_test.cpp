// NoteWidget: the title, the icon and the question before a modified note
// closes, on a minimal editor.
#include "gui/iconcache.h"
#include "gui/notewidget.h"
#include "support/editoricons.h"
#include "support/guitest.h"

#include <QAbstractButton>

namespace {

// An editor whose content is a flag; "storing" it clears the flag unless
// the store is told to fail.
class FakeNote : public NoteWidget {
public:
    using NoteWidget::NoteWidget;
    bool bModified = false;
    bool bStoreFails = false;
    int iStored = 0;

    QString getType() const override { return "html"; }
    Vrel::Object *getData() override { return nullptr; }
    bool isModified() override { return bModified; }
    void exportNote() override {}
    void setModified(bool b) override {
        bModified = b;
        setWindowModified(b);
    }
    // What the main window's save slot does.
    void store() {
        setModified(false);
        if (bStoreFails)
            setModified(true);
        else
            ++iStored;
    }
};

} // namespace

class NoteWidgetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeNote> open(const QString &sName = "Shopping") {
        auto pNote = std::make_unique<FakeNote>(QByteArray(16, '\x07'), sName);
        pNote->updateTitle();
        connect(pNote.get(), &NoteWidget::saveMe, pNote.get(),
                [](NoteWidget *p) { static_cast<FakeNote *>(p)->store(); });
        pNote->show();
        return pNote;
    }

private slots:
    void cleanupTestCase() { IconCache::getInstance().clear(); }

    void identityAndTitle() {
        auto pNote = open();
        QCOMPARE(pNote->getId(), QByteArray(16, '\x07'));
        QCOMPARE(pNote->getName(), QString("Shopping"));
        QCOMPARE(pNote->windowTitle(), QString("Shopping[*]"));
        QVERIFY(pNote->getToolBars().isEmpty());
        GuiTest::addEditorIcons();
        QVERIFY(!pNote->getIcon().isNull());

        pNote->setModified(true);
        pNote->setName("Groceries");
        QCOMPARE(pNote->getName(), QString("Groceries"));
        QCOMPARE(pNote->windowTitle(), QString("Groceries[*]"));
        QVERIFY(pNote->isWindowModified());

        // A name that holds the mark is shown as it is.
        pNote->setName("a[*]b");
        QCOMPARE(pNote->windowTitle(), QString("a[*][*]b[*]"));
    }

    void unmodifiedClosesWithoutQuestion() {
        auto pNote = open();
        QVERIFY(pNote->close());
        QCOMPARE(pNote->iStored, 0);
    }

    void questionAnswers_data() {
        QTest::addColumn<int>("eAnswer");
        QTest::addColumn<bool>("bStoreFails");
        QTest::addColumn<bool>("bClosed");
        QTest::addColumn<int>("iStored");
        QTest::newRow("save") << int(QMessageBox::Save) << false << true << 1;
        QTest::newRow("discard") << int(QMessageBox::Discard) << false << true << 0;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false << 0;
        QTest::newRow("save fails") << int(QMessageBox::Save) << true << false << 0;
    }
    void questionAnswers() {
        QFETCH(int, eAnswer);
        QFETCH(bool, bStoreFails);
        QFETCH(bool, bClosed);
        QFETCH(int, iStored);
        auto pNote = open(R"(My "list")");
        pNote->setModified(true);
        pNote->bStoreFails = bStoreFails;
        GuiTest::answerModal([&pNote, eAnswer](QWidget *pModal) {
            auto *pBox = qobject_cast<QMessageBox *>(pModal);
            QVERIFY(pBox && pBox->parentWidget() == pNote.get());
            QCOMPARE(pBox->windowTitle(), QString("Pelimund"));
            QCOMPARE(pBox->text(), QString("The note \"My \"list\"\" has changed since the last "
                                           "save.\n\nDo you want to save it now?"));
            QCOMPARE(pBox->standardButtons(),
                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
            if (eAnswer == QMessageBox::Cancel)
                pBox->close(); // closing the box counts as Cancel
            else
                pBox->button(QMessageBox::StandardButton(eAnswer))->click();
        });
        QCOMPARE(pNote->close(), bClosed);
        QCOMPARE(GuiTest::pendingAnswers(), 0);
        QCOMPARE(pNote->isVisible(), !bClosed);
        QCOMPARE(pNote->iStored, iStored);
    }
};

PELIMUND_GUI_TEST_MAIN(NoteWidgetTest)
#include "notewidget_test.moc"
