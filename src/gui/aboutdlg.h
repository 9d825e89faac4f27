// AboutDlg: the About box: the program's name and version, its licence, the
// notices of what it is built on, and the Wire World toy.
#pragma once

#include "ui_aboutdlg.h"

#include <QDialog>

// Modal; the caller builds it on the stack and runs exec(). The licence and
// notices pages are compiled into the program ("qrc:/licenses/..."); links
// on the notices page open in the system's browser, the licence page follows
// none. The toy runs the sample board from construction, so it is already
// moving when its page is shown. GUI thread only.
class AboutDlg : public QDialog, public Ui::AboutDlg {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget *pParent = nullptr);
};
