// versionNumber: a version text ("1.00.03") as one comparable number.
#pragma once

#include <QtGlobal>

// first * 10000 + second * 100 + third for a text "first.second.third":
// the first number is read as strtol reads it (leading blanks and a sign
// allowed; no digits give 0), exactly one character after it is skipped,
// the second number follows, and the third only when a '.' follows the
// second. "1.00.03" gives 10003, "1.2" 10200, "3" 30000.
//
// Never reads past the terminating zero (a text that ends after the first
// number has second and third 0) and never overflows: every number is
// capped, and the result is clamped to the range of qint32, so that an
// absurdly large version still counts as newer. A null text gives 0.
qint32 versionNumber(const char *sVersion);
