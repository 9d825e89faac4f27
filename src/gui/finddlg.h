// FindDlg: the editor's modeless find dialog; it holds the search text and
// options and sends search requests to the editor, which does the searching.
#pragma once

#include "ui_finddlg.h"

#include <QDialog>
#include <QString>

// Close and Escape only hide the dialog; text and options stay for the next
// search. GUI thread only.
class FindDlg : public QDialog, public Ui::FindDlg {
    Q_OBJECT
public:
    explicit FindDlg(QWidget *pParent = nullptr);

    // QTextDocument::FindFlag bits: backward 0x1 (Reverse search), case
    // sensitive 0x2, whole words 0x4.
    int getFindFlags() const;

signals:
    // A search request; iMode is always 0.
    void findNext(const QString &sText, int iFindFlags, int iMode);
    void findRestart(const QString &sText, int iFindFlags, int iMode);

public slots:
    // Search on from where the editor's cursor stands (also the editor's F3).
    virtual void onFindNext();
    // Search again from the start (from the end when searching backward).
    virtual void onFindRestart();
};
