// The program's entry: prepares the process and runs the main window on the
// vault named on the command line, if any.
#include "gui/mainwnd.h"
#include "gui/productinfo.h"
#include "gui/vaultpathargument.h"
#include "ka/random.h"
#include "ka/randomcmwc.h"
#include "sync/vaultinfo.h"

#include <QApplication>

#include <ctime>
#include <memory>

int main(int argc, char **argv) {
    // Before anything draws numbers from the process-wide generator. It is
    // for what needs no secrecy: identifiers, the vault's random prefixes
    // and check words, and temporary names come from the kernel instead.
    Ka::Random::setGenerator<Ka::RandomCmwc>();
    Ka::Random::seed(int(std::time(nullptr)));

    auto pApp = std::make_unique<QApplication>(argc, argv);
    // These name the settings store.
    QApplication::setOrganizationName("Quorvane");
    QApplication::setOrganizationDomain(Product::kOrganisationDomain);
    QApplication::setApplicationName("Pelimund");
    // The sync client's vault list crosses threads by this name.
    qRegisterMetaType<VaultInfoList>("VaultInfoList");

    auto pWnd = std::make_unique<MainWnd>(vaultPathArgument(QApplication::arguments()));
    pWnd->show();
    const int iResult = QApplication::exec();
    pWnd.reset();
    pApp.reset();
    return iResult;
}
