// WireBoard: the generation rule, the .wires file form and hostile files.
#include "gui/wireboard.h"
#include "support/filesizelimit.h"
#include "support/guitest.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cerrno>
#include <cstring>

namespace {

// Boards as drawings, one string per row: '.' empty, '#' wire, 'H' head, 'T' tail.
WireBoard drawn(const QStringList &lRows) {
    WireBoard board(int(lRows.first().size()), int(lRows.size()));
    for (int iY = 0; iY < board.height(); ++iY)
        for (int iX = 0; iX < board.width(); ++iX)
            board.setCell(iX, iY, WireBoard::State(QString(".#HT").indexOf(lRows[iY][iX])));
    return board;
}

QStringList drawing(const WireBoard &board) {
    QStringList lRows;
    for (int iY = 0; iY < board.height(); ++iY) {
        lRows << QString();
        for (int iX = 0; iX < board.width(); ++iX)
            lRows.last() += QString(".#HT")[board.cell(iX, iY)];
    }
    return lRows;
}

// A file header laid out by hand: version, flags, then the seven fields.
QByteArray header(int iVersion, std::initializer_list<int32_t> lFields, int iFlags = 1) {
    QByteArray baHead(1, char(iVersion));
    baHead += char(iFlags);
    for (int32_t iField : lFields) {
        char aLe[4];
        qToLittleEndian(iField, aLe);
        baHead.append(aLe, 4);
    }
    return baHead;
}

} // namespace

class WireBoardTest : public QObject {
    Q_OBJECT
private slots:
    void generations_data() {
        QTest::addColumn<QStringList>("lStart");
        QTest::addColumn<int>("iSteps");
        QTest::addColumn<QStringList>("lEnd");
        QTest::newRow("electron moves") << QStringList{"TH####"} << 1 << QStringList{"#TH###"};
        QTest::newRow("three cells on") << QStringList{"TH####"} << 3 << QStringList{"###TH#"};
        QTest::newRow("gone at the end") << QStringList{"TH####"} << 6 << QStringList{"######"};
        QTest::newRow("empty stays") << QStringList{"...", ".H."} << 1 << QStringList{"...", ".T."};
        QTest::newRow("tails excite nothing")
            << QStringList{"T.T", ".#.", "T.T"} << 1 << QStringList{"#.#", ".#.", "#.#"};
        QTest::newRow("one beside") << QStringList{"H#."} << 1 << QStringList{"TH."};
        QTest::newRow("one diagonal")
            << QStringList{"..H", ".#."} << 1 << QStringList{"..T", ".H."};
        QTest::newRow("two") << QStringList{"H..", ".#.", "..H"} << 1
                             << QStringList{"T..", ".H.", "..T"};
        QTest::newRow("three") << QStringList{"H.H", ".#.", "..H"} << 1
                               << QStringList{"T.T", ".#.", "..T"};
        QTest::newRow("eight") << QStringList{"HHH", "H#H", "HHH"} << 1
                               << QStringList{"TTT", "T#T", "TTT"};
        // Heads on one edge leave the wires on the opposite edges alone.
        QTest::newRow("no wrap") << QStringList{"H...#", ".....", "#...H"} << 1
                                 << QStringList{"T...#", ".....", "#...T"};
        QTest::newRow("1 x 1") << QStringList{"H"} << 2 << QStringList{"#"};
    }
    void generations() {
        QFETCH(QStringList, lStart);
        QFETCH(int, iSteps);
        QFETCH(QStringList, lEnd);
        WireBoard board = drawn(lStart);
        for (int i = 0; i < iSteps; ++i)
            board.step();
        QCOMPARE(drawing(board), lEnd);
    }

    void fileLayout() {
        WireBoard board = drawn({"#..", ".TH"});
        board.iFlags = 0x81;
        board.iCentreX = 2;
        board.iCentreY = 0;
        board.iZoom = 16;
        board.iPanX = -24;
        board.iPanY = 5;
        const QByteArray baExpected =
            header(0, {3, 2, 2, 0, 16, -24, 5}, 0x81) + QByteArray::fromHex("010000000302");
        QCOMPARE(board.toBytes(), baExpected);
        std::optional<WireBoard> back = WireBoard::fromBytes(baExpected);
        QVERIFY(back);
        QCOMPARE(back->toBytes(), baExpected); // flag bits other than the grid's kept

        // A fresh board: 41 x 41, centred, 8 pixels per cell, grid on.
        const QByteArray baFresh = WireBoard().toBytes();
        QCOMPARE(baFresh.size(), 1711);
        QCOMPARE(baFresh.left(30), header(0, {41, 41, 20, 20, 8, 0, 0}));
    }

    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("baFile");
        QTest::addColumn<bool>("bTaken");
        const QByteArray baCells(6, '\1');
        const QByteArray baGood = header(0, {3, 2, 1, 1, 8, 0, 0}) + baCells;
        QTest::newRow("good") << baGood << true;
        QTest::newRow("1 x 1 at zoom 1") << header(0, {1, 1, 0, 0, 1, 0, 0}) + '\2' << true;
        QTest::newRow("1024 wide at zoom 64")
            << header(0, {1024, 1, 0, 0, 64, 0, 0}) + QByteArray(1024, 1) << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("header cut") << baGood.left(29) << false;
        QTest::newRow("cells cut") << baGood.left(35) << false;
        QTest::newRow("byte too many") << baGood + '\0' << false;
        QTest::newRow("version 1") << header(1, {3, 2, 1, 1, 8, 0, 0}) + baCells << false;
        QTest::newRow("width 0") << header(0, {0, 2, 0, 0, 8, 0, 0}) << false;
        // -2 x -3 would be 6 cells if the signs were not checked.
        QTest::newRow("negative") << header(0, {-2, -3, 0, 0, 8, 0, 0}) + baCells << false;
        QTest::newRow("width 1025")
            << header(0, {1025, 1, 0, 0, 8, 0, 0}) + QByteArray(1025, 0) << false;
        QTest::newRow("huge, short") << header(0, {INT32_MAX, INT32_MAX, 0, 0, 8, 0, 0}) << false;
        QTest::newRow("zoom 0") << header(0, {3, 2, 1, 1, 0, 0, 0}) + baCells << false;
        QTest::newRow("zoom 65") << header(0, {3, 2, 1, 1, 65, 0, 0}) + baCells << false;
    }
    void hostileFiles() {
        QFETCH(QByteArray, baFile);
        QFETCH(bool, bTaken);
        QCOMPARE(bool(WireBoard::fromBytes(baFile)), bTaken);
    }

    // The view a file brings is pulled onto the board. A cell counts by its
    // low four bits; above 3 they make no state, and a generation would
    // empty such a cell, so reading does it at once.
    void viewAndCellsAreReduced() {
        std::optional<WireBoard> far = WireBoard::fromBytes(
            header(0, {6, 1, 99, -5, 8, 100000, INT32_MIN}) + QByteArray::fromHex("1207f3ff3104"));
        QVERIFY(far);
        QCOMPARE(far->iCentreX, 5);
        QCOMPARE(far->iCentreY, 0);
        QCOMPARE(far->iPanX, 24); // 6 cells x 8 pixels / 2
        QCOMPARE(far->iPanY, -4);
        QCOMPARE(drawing(*far), QStringList({"H.T.#."}));
    }

    void files() {
        QTemporaryDir dir;
        const WireBoard board = drawn({"#H", "T."});
        const QString sFile = dir.filePath("board.wires");
        QString sError;
        QVERIFY(board.save(sFile, &sError));
        std::optional<WireBoard> back = WireBoard::load(sFile, &sError);
        QVERIFY(back && back->toBytes() == board.toBytes());
        QVERIFY(!WireBoard::load(dir.filePath("missing.wires"), &sError));

        // Far longer than any board: refused without being read whole.
        QFile big(dir.filePath("big.wires"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(board.toBytes()) == 34);
        QVERIFY(big.resize(30 + 1024 * 1024 + 4096));
        big.close();
        sError.clear();
        QVERIFY(!WireBoard::load(big.fileName(), &sError));
        QVERIFY(!sError.isEmpty());

        // The save goes through a temporary file beside the target; when that
        // cannot be made (the name is too long), the old file keeps its bytes.
        QFile old(dir.filePath(QString(250, 'w')));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        sError.clear();
        QVERIFY(!board.save(old.fileName(), &sError));
        QVERIFY(!sError.isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));

        // A save the disk refuses part way says why and keeps the old board,
        // which Qt's own commit would have left empty and called saved.
        const QByteArray baOld = GuiTest::fileBytes(sFile);
        {
            const support::FileSizeLimit limit(64);
            sError.clear();
            QVERIFY(!WireBoard(40, 4).save(sFile, &sError));
        }
        QCOMPARE(sError, QString::fromLocal8Bit(std::strerror(EFBIG)));
        QCOMPARE(GuiTest::fileBytes(sFile), baOld);
    }
};

PELIMUND_GUI_TEST_MAIN(WireBoardTest)
#include "wireboard_test.moc"
