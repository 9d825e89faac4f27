// VaultTreeView: the note dock's view of the note list.
#include "gui/vaulttreeview.h"

#include "gui/vaultmodel.h"
#include "gui/vaulttreeitemdelegate.h"

#include <QMessageBox>

VaultTreeView::VaultTreeView(QWidget *pParent) : QTreeView(pParent) {
    setItemDelegate(new VaultTreeItemDelegate(this));
}

void VaultTreeView::setModel(QAbstractItemModel *pModel) {
    if (auto *pOld = qobject_cast<VaultModel *>(model()))
        disconnect(pOld, &VaultModel::renameFailed, this, &VaultTreeView::showRenameFailure);
    QTreeView::setModel(pModel);
    if (auto *pVault = qobject_cast<VaultModel *>(pModel))
        connect(pVault, &VaultModel::renameFailed, this, &VaultTreeView::showRenameFailure,
                Qt::QueuedConnection);
}

bool VaultTreeView::hasSelection() const {
    return selectionModel() && !selectionModel()->selectedIndexes().isEmpty();
}

QByteArray VaultTreeView::getSelectedId() const {
    if (!selectionModel())
        return {};
    const QModelIndexList lSelected = selectionModel()->selectedIndexes();
    if (lSelected.isEmpty() || !lSelected.first().model())
        return {};
    return lSelected.first().data(Qt::UserRole).toByteArray();
}

void VaultTreeView::selectionChanged(const QItemSelection &selected,
                                     const QItemSelection &deselected) {
    QTreeView::selectionChanged(selected, deselected);
    emit selChanged();
}

void VaultTreeView::showRenameFailure(const QByteArray &, const QString &sReason) {
    QMessageBox::warning(this, tr("Pelimund"),
                         tr("The note could not be renamed.\n\nDetails: %1").arg(sReason));
}
