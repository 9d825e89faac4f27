// AutoForget: which events count as use, the bounds of the idle time, and
// the signal at the end of an idle period.
#include "gui/autoforget.h"
#include "support/guitest.h"

#include <QLineEdit>
#include <QSignalSpy>

class AutoForgetTest : public QObject {
    Q_OBJECT

    // Waits until the countdown has clearly run (more than the slack of a
    // coarse timer), then returns what is left.
    static int afterAWhile(const AutoForget &forget) {
        const int iStart = forget.remainingTime();
        const bool bRun =
            QTest::qWaitFor([&] { return forget.remainingTime() < iStart - 400; }, 5000);
        return bRun ? forget.remainingTime() : -2;
    }

private slots:
    void idleTimeBounds_data() {
        QTest::addColumn<int>("iGiven");
        QTest::addColumn<int>("iTaken");
        QTest::newRow("off") << 0 << 0;
        QTest::newRow("negative is off") << -5 << 0;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("largest") << AutoForget::kMaxMinutes << AutoForget::kMaxMinutes;
        QTest::newRow("beyond") << 1000000 << AutoForget::kMaxMinutes;
        QTest::newRow("would overflow") << INT_MAX << AutoForget::kMaxMinutes;
    }
    void idleTimeBounds() {
        QFETCH(int, iGiven);
        QFETCH(int, iTaken);
        AutoForget forget;
        forget.timeoutChanged(iGiven);
        QCOMPARE(forget.minutes(), iTaken);
        if (iTaken == 0) {
            QCOMPARE(forget.remainingTime(), -1);
        } else {
            // A coarse timer may be off by 5 %.
            QVERIFY(forget.remainingTime() > iTaken * 57000);
            QVERIFY(forget.remainingTime() <= iTaken * 63000);
        }
    }

    // Key and mouse-button presses anywhere start the countdown anew; moves,
    // releases and wheel turns do not; no event is taken from its widget.
    void presses() {
        AutoForget forget;
        qApp->installEventFilter(&forget);
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));

        // Switched off, a press starts nothing.
        QTest::keyClick(&edit, Qt::Key_A);
        QCOMPARE(forget.remainingTime(), -1);

        forget.setMinuteLength(2000);
        forget.timeoutChanged(1);
        int iLeft = afterAWhile(forget);
        QTest::keyClick(&edit, Qt::Key_B);
        QVERIFY(forget.remainingTime() > iLeft);
        QCOMPARE(edit.text(), QString("ab"));

        iLeft = afterAWhile(forget);
        QTest::mouseMove(&edit, QPoint(3, 3));
        QTest::mouseMove(&edit, QPoint(9, 5));
        QWheelEvent wheel(QPointF(5, 5), edit.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&edit, &wheel);
        QVERIFY(forget.remainingTime() <= iLeft);

        iLeft = afterAWhile(forget);
        QTest::mousePress(&edit, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(forget.remainingTime() > iLeft);
        iLeft = afterAWhile(forget);
        QTest::mouseRelease(&edit, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(forget.remainingTime() <= iLeft);

        // Off again at once.
        forget.timeoutChanged(0);
        QCOMPARE(forget.remainingTime(), -1);
        QTest::keyClick(&edit, Qt::Key_C);
        QCOMPARE(forget.remainingTime(), -1);
    }

    // Each whole idle period gives one forget().
    void periods() {
        AutoForget forget;
        forget.setMinuteLength(20);
        QSignalSpy spy(&forget, SIGNAL(forget()));
        forget.timeoutChanged(1);
        QVERIFY(spy.wait(5000));
        QVERIFY(spy.wait(5000));
        forget.timeoutChanged(0);
        const int iCount = spy.size();
        QTest::qWait(100);
        QCOMPARE(spy.size(), iCount);
    }
};

PELIMUND_GUI_TEST_MAIN(AutoForgetTest)
#include "autoforget_test.moc"
