// FindDlg: the editor's modeless find dialog.
#include "gui/finddlg.h"

#include <QTextDocument>

FindDlg::FindDlg(QWidget *pParent) : QDialog(pParent) {
    setupUi(this);
}

int FindDlg::getFindFlags() const {
    int iFlags = 0;
    if (cbCaseSensitive->isChecked())
        iFlags |= QTextDocument::FindCaseSensitively;
    if (cbReverse->isChecked())
        iFlags |= QTextDocument::FindBackward;
    if (cbWholeWords->isChecked())
        iFlags |= QTextDocument::FindWholeWords;
    return iFlags;
}

void FindDlg::onFindNext() {
    emit findNext(leText->text(), getFindFlags(), 0);
}

void FindDlg::onFindRestart() {
    emit findRestart(leText->text(), getFindFlags(), 0);
}
