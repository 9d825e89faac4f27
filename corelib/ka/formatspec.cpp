// Ka::FormatSpec: construction and the chainable setters.
#include "ka/formatspec.h"

namespace Ka {

FormatSpec::FormatSpec(int iWidth, int iRadix, int iAlign, bool bPlus, bool bCaps, char cFill) {
    width(iWidth).radix(iRadix).align(iAlign).plus(bPlus).caps(bCaps).fill(cFill).tokenize(true);
}

FormatSpec FormatSpec::hex(int iWidth, bool bCaps) {
    return FormatSpec(iWidth, 16, Right, false, bCaps, '0');
}

FormatSpec &FormatSpec::width(int n) {
    // The field has 8 bits: a wider request gets the widest field rather
    // than the low bits of its number.
    uWidth = uint32_t(n < 0 ? 0 : n > 255 ? 255 : n);
    return *this;
}

FormatSpec &FormatSpec::fill(char c) {
    uFill = uint32_t(static_cast<unsigned char>(c));
    return *this;
}

FormatSpec &FormatSpec::radix(int n) {
    uRadix = uint32_t(n) & 0x3F;
    return *this;
}

FormatSpec &FormatSpec::align(int n) {
    uAlign = uint32_t(n) & 0x3;
    return *this;
}

FormatSpec &FormatSpec::plus(bool bOn) {
    uPlus = bOn;
    return *this;
}

FormatSpec &FormatSpec::caps(bool bOn) {
    uCaps = bOn;
    return *this;
}

FormatSpec &FormatSpec::tokenize(bool bOn) {
    uTokenize = bOn;
    return *this;
}

} // namespace Ka
