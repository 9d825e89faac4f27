// ColorButton: repaints only on a real change, and its swatch stays
// 22 x 14 in the middle however large the button grows.
#include "gui/colorbutton.h"
#include "support/guitest.h"

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int n = 0;
    bool eventFilter(QObject *, QEvent *pEvent) override {
        if (pEvent->type() == QEvent::Paint)
            ++n;
        return false;
    }
};

// The smallest rectangle holding every pixel of the colour.
QRect areaOf(const QImage &image, const QColor &color) {
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color)
                area |= QRect(x, y, 1, 1);
    return area;
}

} // namespace

class ColorButtonTest : public QObject {
    Q_OBJECT
private slots:
    void repaintsOnlyOnChange() {
        ColorButton button;
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        PaintCounter counter;
        button.installEventFilter(&counter);
        QCoreApplication::processEvents();
        counter.n = 0;

        button.setColor(Qt::red);
        button.setColor(Qt::red);
        QVERIFY(GuiTest::waitFor([&] { return counter.n > 0; }));
        QCoreApplication::processEvents();
        QCOMPARE(counter.n, 1);
        QCOMPARE(button.getColor(), QColor(Qt::red));

        button.setColor(QColor(255, 0, 0));
        QTest::qWait(50);
        QCOMPARE(counter.n, 1);
    }

    // The panel is 22 x 14 (a pixel more where the room left is odd); its
    // one-pixel bevel leaves 20 x 12 of the colour.
    void swatchCentred_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("fill");
        QTest::newRow("minimum") << QSize() << QSize(20, 12);
        QTest::newRow("large") << QSize(200, 100) << QSize(20, 12);
        QTest::newRow("odd") << QSize(331, 41) << QSize(21, 13);
    }
    void swatchCentred() {
        QFETCH(QSize, size);
        QFETCH(QSize, fill);
        const QColor color(12, 200, 34);
        ColorButton button;
        button.setColor(color);
        button.resize(size.isValid() ? size : button.minimumSize());
        const QImage image = button.grab().toImage();
        const QRect area = areaOf(image, color);
        QCOMPARE(area.size(), fill);
        const QPoint offset = area.center() - button.rect().center();
        QVERIFY2(
            qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
            qPrintable(QString("swatch off centre by %1, %2").arg(offset.x()).arg(offset.y())));
    }

    void noColourNoSwatch() {
        ColorButton button;
        QVERIFY(!button.getColor().isValid());
        button.resize(60, 30);
        const QImage image = button.grab().toImage();
        QVERIFY(areaOf(image, Qt::black).isEmpty());
    }
};

PELIMUND_GUI_TEST_MAIN(ColorButtonTest)
#include "colorbutton_test.moc"
