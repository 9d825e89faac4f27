// ImportDlg: the remote vaults to choose from, and the new vault's password.
#include "gui/importdlg.h"

#include "sync/formatsize.h"

#include <QPushButton>

ImportDlg::ImportDlg(const VaultInfoList &lInfo, QWidget *pParent) : QDialog(pParent) {
    setupUi(this);
    twVaults->setColumnCount(2);
    twVaults->setHorizontalHeaderLabels({tr("Vault Name"), tr("Size")});
    twVaults->setRowCount(int(lInfo.size()));
    for (int iRow = 0; iRow < lInfo.size(); ++iRow) {
        const VaultInfo &info = lInfo.at(iRow);
        auto *pName = new QTableWidgetItem(info.name);
        pName->setData(Qt::UserRole, info.id);
        twVaults->setItem(iRow, 0, pName);
        twVaults->setItem(iRow, 1, new QTableWidgetItem(formatSize(info.used)));
    }
    twVaults->resizeColumnsToContents();
    twVaults->resizeRowsToContents();
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
}

void ImportDlg::getSelection(QByteArray &rId, QString &rName, QString &rPass) const {
    const QList<QTableWidgetSelectionRange> lRanges = twVaults->selectedRanges();
    if (lRanges.isEmpty())
        return;
    const QTableWidgetItem *pName = twVaults->item(lRanges.first().topRow(), 0);
    if (!pName)
        return;
    rId = pName->data(Qt::UserRole).toByteArray();
    rName = pName->text();
    rPass = lePassword->text();
}

void ImportDlg::selectionChanged() {
    buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(!twVaults->selectedRanges().isEmpty() && !lePassword->text().isEmpty());
}
