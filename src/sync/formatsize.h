// formatSize: a byte count as a short text for people ("1.5 MiB").
#pragma once

#include <QString>

// One decimal in the default locale, with its group separators, and the
// largest unit (b, KiB, MiB, GiB, TiB, PiB) that leaves more than 1024 of
// it; exactly 1024 stays in the smaller unit.
QString formatSize(qint64 iBytes);
