// formatSize: the byte count in binary units.
#include "sync/formatsize.h"

#include <iterator>

QString formatSize(qint64 iBytes) {
    static const char *const aUnits[] = {"b", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double dValue = double(iBytes);
    size_t iUnit = 0;
    while (dValue > 1024 && iUnit + 1 < std::size(aUnits)) {
        dValue /= 1024;
        ++iUnit;
    }
    return QStringLiteral("%L1 %2").arg(dValue, 0, 'f', 1).arg(QLatin1String(aUnits[iUnit]));
}
