// VaultTreeView: selection signal and getters, the 80-character in-place
// editor of its delegate, and the report of a rename the store refused.
#include "gui/vaultmodel.h"
#include "gui/vaulttreeitemdelegate.h"
#include "gui/vaulttreeview.h"
#include "support/guitest.h"
#include "support/vaultfixture.h"

#include <QLineEdit>
#include <QSignalSpy>

using GuiTest::VaultFixture;

class VaultTreeViewTest : public QObject {
    Q_OBJECT

    struct Shown {
        VaultFixture vault;
        QByteArray baFirst = vault.add("first");
        QByteArray baSecond = vault.add("second");
        VaultModel model{vault.pStore.get()};
        VaultTreeView view;
        Shown() {
            view.setModel(&model);
            view.resize(300, 200);
            view.show();
        }
    };

    static QLineEdit *openEditor(VaultTreeView &view, const QModelIndex &index) {
        view.setCurrentIndex(index);
        view.edit(index);
        auto *pEdit = view.findChild<QLineEdit *>();
        return pEdit && pEdit->isVisible() ? pEdit : nullptr;
    }

private slots:
    void delegateInstalled() {
        VaultTreeView view;
        QVERIFY(qobject_cast<VaultTreeItemDelegate *>(view.itemDelegate()));
        QCOMPARE(view.itemDelegate()->parent(), &view);
        QVERIFY(!view.hasSelection());
        QCOMPARE(view.getSelectedId(), QByteArray());
    }

    void selection() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.view));
        QSignalSpy changed(&s.view, &VaultTreeView::selChanged);
        QVERIFY(!s.view.hasSelection());
        QCOMPARE(s.view.getSelectedId(), QByteArray());

        // By program.
        s.view.setCurrentIndex(s.model.index(1, 0));
        QCOMPARE(changed.size(), 1);
        QVERIFY(s.view.hasSelection());
        QCOMPARE(s.view.getSelectedId(), s.baSecond);

        // By keyboard: the selection is already in place when the signal comes.
        QByteArray baSeen;
        connect(&s.view, &VaultTreeView::selChanged, &s.view,
                [&] { baSeen = s.view.getSelectedId(); });
        s.view.setFocus();
        QTest::keyClick(s.view.viewport(), Qt::Key_Up);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(baSeen, s.baFirst);

        // By mouse.
        const QRect second = s.view.visualRect(s.model.index(1, 0));
        QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(changed.size(), 3);
        QCOMPARE(baSeen, s.baSecond);

        s.view.clearSelection();
        QCOMPARE(changed.size(), 4);
        QVERIFY(!s.view.hasSelection());
        QCOMPARE(s.view.getSelectedId(), QByteArray());
    }

    void editorTakesEightyCharacters() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.view));
        QLineEdit *pEdit = openEditor(s.view, s.model.index(0, 0));
        QVERIFY(pEdit);
        QCOMPARE(pEdit->maxLength(), 80);
        pEdit->selectAll();
        QTest::keyClicks(pEdit, QString(100, 'n'));
        QTest::keyClick(pEdit, Qt::Key_Return); // commits from the event loop
        QTRY_COMPARE(s.vault.nameOf(s.baFirst), QString(80, 'n'));
    }

    // The store refuses: the row keeps its name, and once the editor has
    // closed the user reads why.
    void refusedRenameIsReported() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.view));
        QVERIFY(s.vault.pStore->deleteNote(s.vault.uuid(s.baFirst)));
        QLineEdit *pEdit = openEditor(s.view, s.model.index(0, 0));
        QVERIFY(pEdit);
        pEdit->setText("renamed");
        QString sText;
        GuiTest::answerMessageBox(QMessageBox::Ok, &sText);
        QTest::keyClick(pEdit, Qt::Key_Return);
        QVERIFY(GuiTest::waitFor([] { return GuiTest::pendingAnswers() == 0; }));
        QVERIFY2(sText.startsWith("The note could not be renamed.\n\nDetails: "),
                 qPrintable(sText));
        QCOMPARE(s.model.index(0, 0).data().toString(), QString("first"));
    }
};

PELIMUND_GUI_TEST_MAIN(VaultTreeViewTest)
#include "vaulttreeview_test.moc"
