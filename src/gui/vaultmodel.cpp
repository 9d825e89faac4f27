// VaultModel: the note list of the open vault.
#include "gui/vaultmodel.h"

#include "gui/iconcache.h"
#include "store/notestore.h"
#include "store/stringconv.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <utility>
#include <vector>

VaultModel::VaultModel(NoteStore *pStore, QObject *pParent) : QAbstractItemModel(pParent) {
    setStore(pStore);
}

namespace {

// The name as the list sorts it: lower-cased. Most names are plain ASCII,
// which is lower-cased here directly; others take Qt's full case mapping.
QString sortKey(const QString &sName) {
    QString sKey = sName;
    QChar *pChar = sKey.data();
    for (qsizetype i = 0, n = sKey.size(); i < n; ++i) {
        const char16_t c = pChar[i].unicode();
        if (c >= 0x80)
            return sName.toLower();
        if (c >= 'A' && c <= 'Z')
            pChar[i] = QChar(char16_t(c + ('a' - 'A')));
    }
    return sKey;
}

} // namespace

void VaultModel::setStore(NoteStore *pNewStore) {
    beginResetModel();
    pStore = pNewStore;
    lEntries.clear();
    if (pStore) {
        const NoteStore::NoteTable &hNotes = pStore->getNotes();
        lEntries.reserve(hNotes.getSize());
        // Each name is lower-cased once, not on every comparison.
        std::vector<QString> lKeys;
        lKeys.reserve(size_t(hNotes.getSize()));
        // Every note of a vault has the same type: it is decoded once and
        // shared, and names are decoded straight from the table's bytes.
        QByteArray baLastType;
        QString sLastType;
        for (auto it = hNotes.begin(); it.isValid(); ++it) {
            const NoteStore::Note &rNote = it.getValue();
            Entry entry;
            entry.sName = QString::fromUtf8(rNote.sName.getConstStr(), rNote.sName.getSize());
            const QByteArrayView type(rNote.sType.getConstStr(), rNote.sType.getSize());
            if (type != baLastType || sLastType.isNull()) {
                baLastType = type.toByteArray();
                sLastType = QString::fromUtf8(baLastType);
            }
            entry.sType = sLastType;
            entry.baId = toByteArray(it.getKey().getRaw());
            entry.iVersion = rNote.iVersion;
            entry.bChanged = rNote.bChanged;
            lKeys.push_back(sortKey(entry.sName));
            lEntries.append(std::move(entry));
        }
        // Sorting positions moves ints instead of whole rows.
        std::vector<int> lOrder(size_t(lEntries.size()));
        std::iota(lOrder.begin(), lOrder.end(), 0);
        std::sort(lOrder.begin(), lOrder.end(),
                  [&lKeys](int a, int b) { return lKeys[size_t(a)] < lKeys[size_t(b)]; });
        QList<Entry> lSorted;
        lSorted.reserve(lEntries.size());
        for (int i : lOrder)
            lSorted.append(std::move(lEntries[i]));
        lEntries = std::move(lSorted);
    }
    endResetModel();
}

QModelIndex VaultModel::index(int iRow, int iColumn, const QModelIndex &parent) const {
    if (parent.isValid() || iRow < 0 || iRow >= lEntries.size() || iColumn < 0)
        return {};
    return createIndex(iRow, iColumn);
}

QModelIndex VaultModel::parent(const QModelIndex &) const {
    return {};
}

int VaultModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(lEntries.size());
}

int VaultModel::columnCount(const QModelIndex &) const {
    return 1;
}

QVariant VaultModel::data(const QModelIndex &index, int iRole) const {
    if (!index.isValid() || index.row() >= lEntries.size())
        return {};
    const Entry &entry = lEntries.at(index.row());
    switch (iRole) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (index.column() == 0)
            return entry.sName;
        if (index.column() == 1) {
            if (entry.bChanged)
                return tr("%1 (changed)").arg(entry.iVersion);
            return entry.iVersion;
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == 0)
            return IconCache::getInstance().getIcon("note-" + entry.sType);
        return {};
    case Qt::UserRole:
        return entry.baId;
    default:
        return {};
    }
}

Qt::ItemFlags VaultModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags eFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    return index.column() == 0 ? eFlags | Qt::ItemIsEditable : eFlags;
}

bool VaultModel::setData(const QModelIndex &index, const QVariant &value, int) {
    if (!pStore || !index.isValid() || index.column() != 0 || index.row() >= lEntries.size())
        return false;
    Entry &rEntry = lEntries[index.row()];
    const QString sName = value.toString();
    // This runs inside the view's editor commit, which must not see an
    // exception: a refused rename leaves the row and the note as they were.
    try {
        const Ka::Uuid id(toKaString(rEntry.baId));
        const Ka::String sStored = toKaString(sName.toUtf8());
        // An editor closed without a change must not mark the note changed,
        // which would upload it again at the next sync.
        if (pStore->getNoteName(id) == sStored)
            return false;
        pStore->renameNote(id, sStored);
    } catch (const std::exception &e) { // Ka::ExceptionBase is one too
        if (NoteStore::isRefusedHere(e))
            emit renameRefused(rEntry.baId, sName);
        else
            emit renameFailed(rEntry.baId, QString::fromUtf8(e.what()));
        return false;
    }
    rEntry.sName = sName;
    const QByteArray baId = rEntry.baId; // the slots may reset the model
    emit noteNameChanged(baId, sName);
    emit dataChanged(index, index);
    return true;
}

QVariant VaultModel::headerData(int iSection, Qt::Orientation eOrientation, int iRole) const {
    if (eOrientation != Qt::Horizontal || iRole != Qt::DisplayRole)
        return {};
    if (iSection == 0)
        return tr("Note");
    if (iSection == 1)
        return tr("Version");
    return {};
}
