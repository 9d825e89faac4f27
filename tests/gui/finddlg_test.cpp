// FindDlg: the flags of its check boxes and the requests its buttons send.
#include "gui/finddlg.h"
#include "support/guitest.h"

#include <QSignalSpy>

class FindDlgTest : public QObject {
    Q_OBJECT
private slots:
    void flags() {
        FindDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("Pelimund - Find"));
        QCOMPARE(dlg.getFindFlags(), 0);
        dlg.cbCaseSensitive->setChecked(true);
        dlg.cbWholeWords->setChecked(true);
        QCOMPARE(dlg.getFindFlags(), 6);
        dlg.cbCaseSensitive->setChecked(false);
        dlg.cbWholeWords->setChecked(false);
        dlg.cbReverse->setChecked(true);
        QCOMPARE(dlg.getFindFlags(), 1);
    }

    // The buttons send the text, the flags and mode 0; Enter searches on;
    // Close only hides, and the text stays.
    void requests() {
        FindDlg dlg;
        QSignalSpy next(&dlg, &FindDlg::findNext);
        QSignalSpy restart(&dlg, &FindDlg::findRestart);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.leText->setFocus();
        QTest::keyClicks(dlg.leText, "needle");
        dlg.cbReverse->setChecked(true);

        dlg.btnFindNext->click();
        QCOMPARE(next.size(), 1);
        QCOMPARE(next.at(0), (QList<QVariant>{"needle", 1, 0}));
        QTest::keyClick(dlg.leText, Qt::Key_Return);
        QCOMPARE(next.size(), 2);

        dlg.btnRestart->click();
        QCOMPARE(restart.size(), 1);
        QCOMPARE(restart.at(0), (QList<QVariant>{"needle", 1, 0}));

        dlg.btnClose->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.leText->text(), QString("needle"));
        QCOMPARE(next.size(), 2);
    }
};

PELIMUND_GUI_TEST_MAIN(FindDlgTest)
#include "finddlg_test.moc"
