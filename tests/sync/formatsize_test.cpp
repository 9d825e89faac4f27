// formatSize: binary units, one decimal, the default locale's separators.
#include "sync/formatsize.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

TEST(FormatSize, BinaryUnitsInTheDefaultLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatSize(0), "0.0 b");
    EXPECT_EQ(formatSize(500), "500.0 b");
    EXPECT_EQ(formatSize(1024), "1,024.0 b"); // exactly 1024 stays
    EXPECT_EQ(formatSize(1025), "1.0 KiB");
    EXPECT_EQ(formatSize(3 * 1024 * 1024 / 2), "1.5 MiB");
    EXPECT_EQ(formatSize(qint64(5) << 30), "5.0 GiB");
    EXPECT_EQ(formatSize(qint64(3) << 40), "3.0 TiB");
    EXPECT_EQ(formatSize(qint64(2000) << 50), "2,000.0 PiB"); // no larger unit
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatSize(1024), "1.024,0 b");
    EXPECT_EQ(formatSize(1536), "1,5 KiB");
    QLocale::setDefault(before);
}

} // namespace
