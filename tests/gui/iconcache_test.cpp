// IconCache: names map to the icons stored under them; the resources the
// program names are compiled in.
#include "gui/iconcache.h"
#include "support/guitest.h"

#include <QFile>
#include <QImageReader>

class IconCacheTest : public QObject {
    Q_OBJECT
private slots:
    void lookups() {
        IconCache &cache = IconCache::getInstance();
        QVERIFY(cache.getIcon("never-added").isNull());
        QVERIFY(cache.getIcon("never-added").isNull()); // a lookup inserts nothing

        QPixmap red(8, 8), blue(8, 8);
        red.fill(Qt::red);
        blue.fill(Qt::blue);
        cache.addIcon("swatch", QIcon(red));
        cache.addIcon("swatch", QIcon(blue));
        const QImage shown = cache.getIcon("swatch").pixmap(8, 8).toImage();
        QCOMPARE(shown.pixelColor(4, 4), QColor(Qt::blue));
        cache.clear();
        QVERIFY(cache.getIcon("swatch").isNull());
    }

    // Every picture the windows ask for is in the resources and readable at
    // the tool-bar size.
    void resourcesPresent_data() {
        QTest::addColumn<QString>("sPath");
        for (const char *sName : {"pelimund.png",
                                  "pelimund.ico",
                                  "text-html.png",
                                  "folder-new.png",
                                  "document-open-folder.png",
                                  "application-exit.png",
                                  "document-new.png",
                                  "edit-delete.png",
                                  "edit-rename.png",
                                  "document-import.png",
                                  "document-export.png",
                                  "document-save.png",
                                  "document-save-all.png",
                                  "document-open.png",
                                  "network-connect.png",
                                  "configure.png",
                                  "edit-undo.png",
                                  "edit-redo.png",
                                  "edit-copy.png",
                                  "edit-cut.png",
                                  "edit-paste.png",
                                  "edit-find.png",
                                  "format-text-bold.png",
                                  "format-text-italic.png",
                                  "format-text-underline.png",
                                  "format-justify-left.png",
                                  "format-justify-center.png",
                                  "format-justify-right.png",
                                  "format-justify-fill.png",
                                  "format-list-unordered.png",
                                  "format-list-ordered.png",
                                  "insert-table.png",
                                  "edit-table-insert-row-above.png",
                                  "edit-table-insert-row-under.png",
                                  "edit-table-insert-column-left.png",
                                  "edit-table-insert-column-right.png",
                                  "edit-table-delete-column.png",
                                  "edit-table-delete-row.png"})
            QTest::newRow(sName) << QString(":/icons/") + sName;
        QTest::newRow("watermark") << QString(":/newvaultwiz/watermark.png");
    }
    void resourcesPresent() {
        QFETCH(QString, sPath);
        QVERIFY(QFile::exists(sPath));
        QImageReader reader(sPath);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        if (sPath.contains("watermark"))
            QCOMPARE(image.size(), QSize(150, 300));
        else if (!sPath.contains("pelimund"))
            QCOMPARE(image.size(), QSize(22, 22));
    }
};

PELIMUND_GUI_TEST_MAIN(IconCacheTest)
#include "iconcache_test.moc"
