// VaultTreeItemDelegate: the note list's item delegate, which keeps in-place
// note names to 80 characters.
#pragma once

#include <QStyledItemDelegate>

// Installed by VaultTreeView on itself. GUI thread only.
class VaultTreeItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit VaultTreeItemDelegate(QObject *pParent = nullptr);

    // The base delegate's editor; a line edit takes at most 80 characters.
    QWidget *createEditor(QWidget *pParent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};
