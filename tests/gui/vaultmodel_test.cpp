// VaultModel: rows from a real vault, their order, what each role answers,
// and in-place rename into the store, including a rename the store refuses.
#include "gui/iconcache.h"
#include "gui/vaultmodel.h"
#include "support/editoricons.h"
#include "support/guitest.h"
#include "support/vaultfixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using GuiTest::VaultFixture;

class VaultModelTest : public QObject {
    Q_OBJECT

    static QStringList names(const VaultModel &model) {
        QStringList lNames;
        for (int i = 0; i < model.rowCount(); ++i)
            lNames << model.index(i, 0).data().toString();
        return lNames;
    }

private slots:
    void initTestCase() { GuiTest::addEditorIcons(); }
    void cleanupTestCase() { IconCache::getInstance().clear(); }

    void orderIgnoresCase() {
        VaultFixture vault;
        for (const char *sName : {"beta", "Alpha", "alpha2", "Ärger", "zeta", "Zebra", ""})
            vault.add(QString::fromUtf8(sName));
        VaultModel model(vault.pStore.get());
        QAbstractItemModelTester tester(&model);
        QCOMPARE(names(model), (QStringList{"", "Alpha", "alpha2", "beta", "Zebra", "zeta",
                                            QString::fromUtf8("Ärger")}));
    }

    void emptyAndNoStore() {
        VaultModel none(nullptr);
        QCOMPARE(none.rowCount(), 0);
        VaultFixture vault;
        vault.add("one");
        VaultModel model(vault.pStore.get());
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QCOMPARE(model.rowCount(), 1);
        model.setStore(nullptr);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(reset.size(), 1);
        QVERIFY(!model.setData(model.index(0, 0), "x"));
    }

    void roles() {
        VaultFixture vault;
        const QByteArray baFresh = vault.add("fresh");
        const QByteArray baSynced = vault.add("synced");
        vault.pStore->setNoteVersion(vault.uuid(baFresh), 4);
        vault.pStore->setNoteVersion(vault.uuid(baSynced), 7);
        vault.pStore->setNoteChanged(vault.uuid(baSynced), false);
        VaultModel model(vault.pStore.get());

        const QModelIndex fresh = model.index(0, 0);
        QCOMPARE(fresh.data(Qt::EditRole).toString(), QString("fresh"));
        QCOMPARE(fresh.data(Qt::UserRole).toByteArray(), baFresh);
        QVERIFY(!fresh.data(Qt::DecorationRole).value<QIcon>().isNull());

        QCOMPARE(model.index(0, 1).data().toString(), QString("4 (changed)"));
        QCOMPARE(model.index(1, 1).data().typeId(), QMetaType::Int);
        QCOMPARE(model.index(1, 1).data().toInt(), 7);
        QCOMPARE(model.index(1, 1).data(Qt::UserRole).toByteArray(), baSynced);
        QVERIFY(!model.index(1, 2).data().isValid());
        QCOMPARE(model.index(1, 2).data(Qt::UserRole).toByteArray(), baSynced);

        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.rowCount(fresh), 0);
        QVERIFY(!model.index(0, 0, fresh).isValid());
        QVERIFY(!model.index(2, 0).isValid());
        QVERIFY(!model.index(-1, 0).isValid());
        QVERIFY(!model.parent(fresh).isValid());
        QCOMPARE(model.flags(fresh), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        QCOMPARE(model.flags(model.index(0, 1)), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Note"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("Version"));
        QVERIFY(!model.headerData(2, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }

    // The store and its file hold the new name at once; the row stays where
    // it is until the next rebuild.
    void renameInPlace() {
        VaultFixture vault;
        vault.add("apple");
        const QByteArray baId = vault.add("banana");
        vault.add("cherry");
        VaultModel model(vault.pStore.get());
        QSignalSpy renamed(&model, &VaultModel::noteNameChanged);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        const QString sNew = QString::fromUtf8("Zwölf ✓");
        QVERIFY(model.setData(model.index(1, 0), sNew));
        QCOMPARE(names(model), (QStringList{"apple", sNew, "cherry"}));
        QCOMPARE(vault.nameOf(baId), sNew);
        QCOMPARE(renamed.size(), 1);
        QCOMPARE(renamed.at(0), (QList<QVariant>{baId, sNew}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 0));

        QVERIFY(model.setData(model.index(0, 0), QString()));
        QCOMPARE(model.index(0, 0).data().toString(), QString());
        QVERIFY(!model.setData(model.index(2, 1), "version"));
        QCOMPARE(renamed.size(), 2);

        // Committing the same name again changes nothing, not even the flag.
        vault.pStore->setNoteChanged(vault.uuid(baId), false);
        QVERIFY(!model.setData(model.index(1, 0), sNew));
        QVERIFY(!vault.pStore->getNotes().get(vault.uuid(baId)).bChanged);
        QCOMPARE(renamed.size(), 2);

        model.setStore(vault.pStore.get());
        QCOMPARE(names(model), (QStringList{"", "cherry", sNew}));
        vault.pStore.reset();
        vault.pStore = vault.open();
        QCOMPARE(vault.nameOf(baId), sNew);
    }

    // A note that went from the store behind the list's back cannot be
    // renamed: the row keeps its name and the reason is reported.
    void renameRefused() {
        VaultFixture vault;
        const QByteArray baId = vault.add("gone");
        VaultModel model(vault.pStore.get());
        QVERIFY(vault.pStore->deleteNote(vault.uuid(baId)));
        QSignalSpy renamed(&model, &VaultModel::noteNameChanged);
        QSignalSpy failed(&model, &VaultModel::renameFailed);
        QVERIFY(!model.setData(model.index(0, 0), "new"));
        QCOMPARE(model.index(0, 0).data().toString(), QString("gone"));
        QCOMPARE(renamed.size(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toByteArray(), baId);
        QVERIFY(!failed.at(0).at(1).toString().isEmpty());
    }
};

PELIMUND_GUI_TEST_MAIN(VaultModelTest)
#include "vaultmodel_test.moc"
