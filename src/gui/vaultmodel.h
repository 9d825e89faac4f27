// VaultModel: the flat list of the open vault's notes for the note dock,
// sorted by name without regard to case, with in-place rename.
#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QList>
#include <QString>

class NoteStore;

// One row per note, built from the store's note table by setStore; rows are
// copies, so the model never reads the store except to rebuild and to rename.
// Column 0 shows the name and the type icon; column 1 (not declared, but
// answered) holds the server version. Every column's user role (32) holds the
// note id: the 16 raw bytes of its Ka::Uuid.
//
// The store is not owned and must outlive the model's use of it: the owner
// calls setStore(nullptr) before deleting it. A rename that the store refuses
// (it throws) is caught here: the row keeps its old name, setData returns
// false and renameFailed carries the reason; VaultTreeView shows it to the
// user once the editor has closed. A refusal because the vault file went
// comes as renameRefused instead. GUI thread only.
class VaultModel : public QAbstractItemModel {
    Q_OBJECT
public:
    struct Entry {
        QString sName;         // decoded from the store's UTF-8
        QString sType;         // the editor type, "html"
        QByteArray baId;       // the 16 raw bytes of the note's Ka::Uuid
        int iVersion = 0;      // the note's server version
        bool bChanged = false; // changed since the last upload
    };

    VaultModel(NoteStore *pStore, QObject *pParent = nullptr);

    // Rebuilds every row from the store's note table; null empties the list.
    void setStore(NoteStore *pNewStore);

    QModelIndex index(int iRow, int iColumn,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int iRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Renames the note of a column-0 index in the store at once; false when
    // the name is the one stored already. The row is not sorted again until
    // the next setStore.
    bool setData(const QModelIndex &index, const QVariant &value,
                 int iRole = Qt::EditRole) override;
    QVariant headerData(int iSection, Qt::Orientation eOrientation,
                        int iRole = Qt::DisplayRole) const override;

signals:
    // After an in-place rename, with the note id and the new name.
    void noteNameChanged(const QByteArray &baId, const QString &sName);
    // An in-place rename failed; sReason is the store's message.
    void renameFailed(const QByteArray &baId, const QString &sReason);
    // An in-place rename to sName was refused because the vault cannot be
    // written at its name (NoteStore::isRefusedHere): the window offers to
    // save the vault anew, as for every such change.
    void renameRefused(const QByteArray &baId, const QString &sName);

private:
    NoteStore *pStore = nullptr;
    QList<Entry> lEntries;
};
