// VaultTreeItemDelegate: in-place note names of at most 80 characters.
#include "gui/vaulttreeitemdelegate.h"

#include <QLineEdit>

namespace {

constexpr int kMaxNameLength = 80;

} // namespace

VaultTreeItemDelegate::VaultTreeItemDelegate(QObject *pParent) : QStyledItemDelegate(pParent) {}

QWidget *VaultTreeItemDelegate::createEditor(QWidget *pParent, const QStyleOptionViewItem &option,
                                             const QModelIndex &index) const {
    QWidget *pEditor = QStyledItemDelegate::createEditor(pParent, option, index);
    if (auto *pLine = qobject_cast<QLineEdit *>(pEditor))
        pLine->setMaxLength(kMaxNameLength);
    return pEditor;
}
