// readRegularFile: a file is read to its end whatever size it reports, and
// given up once it passes the limit.
#include "gui/readregularfile.h"
#include "support/guitest.h"

#include <QFile>

class ReadRegularFileTest : public QObject {
    Q_OBJECT
private slots:
    // /proc reports 0 bytes for files that hold more.
    void sizeReportedTooSmall() {
        QFile version("/proc/version");
        QVERIFY(version.open(QIODevice::ReadOnly));
        QCOMPARE(version.size(), 0);
        const QByteArray baContent = version.readAll();
        QVERIFY(!baContent.isEmpty());
        QCOMPARE(readRegularFile(version.fileName(), baContent.size()), baContent);
        QCOMPARE(readRegularFile(version.fileName(), baContent.size() - 1), std::nullopt);
    }
};

PELIMUND_GUI_TEST_MAIN(ReadRegularFileTest)
#include "readregularfile_test.moc"
