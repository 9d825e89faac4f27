// Ka::FormatSpec: how a Ka::Formatter writes the next value, packed in 32 bits.
#pragma once

#include <cstdint>

namespace Ka {

// Minimum width, fill character, radix, alignment, sign and letter case of a
// number or text, and whether reading stops at blanks. A plain value type:
// the chainable setters change this spec and return it.
class FormatSpec {
public:
    enum Align { Left = 0, Centre = 1, Right = 2 };

    // Width 0, fill blank, radix 10, right-aligned, no plus, capitals,
    // reading by tokens.
    FormatSpec() = default;
    // Reading by tokens; a width outside 0 to 255 is clamped, radix and
    // alignment keep their low 6 and 2 bits.
    FormatSpec(int iWidth, int iRadix, int iAlign, bool bPlus, bool bCaps, char cFill);

    // Hexadecimal, right-aligned, filled with '0' to the width.
    static FormatSpec hex(int iWidth, bool bCaps);

    FormatSpec &width(int n);
    FormatSpec &fill(char c);
    // Only the low 6 bits are kept; a radix outside 2 to 36 writes nothing.
    FormatSpec &radix(int n);
    // Only the low 2 bits are kept; 3 pads like Right.
    FormatSpec &align(int n);
    FormatSpec &left() { return align(Left); }
    FormatSpec &centre() { return align(Centre); }
    FormatSpec &right() { return align(Right); }
    // '+' before numbers that are not negative.
    FormatSpec &plus(bool bOn);
    // Digits above 9 as 'A' to 'Z' rather than 'a' to 'z'.
    FormatSpec &caps(bool bOn);
    // Reading skips leading blanks and stops at the next one; off, a read
    // takes everything up to the end of the stream.
    FormatSpec &tokenize(bool bOn);

    int getWidth() const { return int(uWidth); }
    char getFill() const { return char(uFill); }
    int getRadix() const { return int(uRadix); }
    int getAlign() const { return int(uAlign); }
    bool isPlus() const { return uPlus != 0; }
    bool isCaps() const { return uCaps != 0; }
    bool isTokenize() const { return uTokenize != 0; }

private:
    uint32_t uWidth : 8 = 0;
    uint32_t uFill : 8 = ' ';
    uint32_t uRadix : 6 = 10;
    uint32_t uAlign : 2 = Right;
    uint32_t uPlus : 1 = 0;
    uint32_t uCaps : 1 = 1;
    uint32_t uTokenize : 1 = 1;
};

static_assert(sizeof(FormatSpec) == 4, "a format spec is one 32-bit word");

} // namespace Ka
