// AboutDlg: the form, the version and the toy's sample board.
#include "gui/aboutdlg.h"

#include "gui/productinfo.h"

AboutDlg::AboutDlg(QWidget *pParent) : QDialog(pParent) {
    setupUi(this);
    lVersion->setText(tr("Version %1").arg(QLatin1String(Product::kVersion)));
    caWires->open(":/wireworld/binary_adder.wires");
}
