// Ka::Base64: a filter that codes bytes in the standard Base64 alphabet
// (A-Z, a-z, 0-9, + and /, padded with =).
#pragma once

#include "ka/filter.h"

#include <cstdint>

namespace Ka {

// Works in one direction for its whole life: the first write or read fixes
// it, and the other direction then throws Ka::Base64Exception.
//
// Writing emits four characters for every three bytes; the last one or two
// bytes are encoded, with padding, only by stop() (called by close() and by
// the destructor). With a line length, a carriage return and line feed go
// where a line reaches that many characters, inside a group of four if it
// falls there, and the next line counts the characters after them: for a
// length of 4 or more every line but the last holds exactly that many, and
// a last line that is full ends with the break too. A line breaks at most
// once per group, so with a length of 1 to 3 the lines come out longer and
// soon hold one group each: "abcdef" at length 2 gives YW, Jj and ZGVm,
// with no break after the last.
//
// Reading skips blanks, tabs, line feeds and carriage returns and stops at
// the first padded group or at the end of the data; data that ends inside a
// group of four characters throws. Characters outside the alphabet count as
// the value 0, as the alphabet's "A" does.
//
// The stream below is not owned and must outlive the filter. The destructor
// never throws (a failure there is lost, so writers should close() or
// stop() explicitly). Not thread-safe.
class Base64 : public Filter {
public:
    // iChars: characters per line; 0 (or negative) writes one unbroken line.
    Base64(Stream &rNext, int iChars);
    ~Base64() override;

    using Filter::write;

    // Returns the characters written to the stream below by this call, not
    // the bytes taken: all input bytes are always taken.
    int write(const void *pBuf, int nBytes) override;
    // Returns the bytes decoded; fewer than asked at the end of the coded
    // data or when the stream below has nothing to give right now (it
    // returned 0 without being at its end).
    int read(void *pBuf, int nBytes) override;
    bool isOpen() override { return true; }
    bool isEos() override { return bEosIn && iBPos >= iBufFill; }

    // Starts a new line count; everything else carries on.
    void start() override { iCurChars = 0; }
    // Writing: encodes and pads the pending bytes and returns the characters
    // written in all. Otherwise returns the characters read from the stream
    // below.
    int stop() override;

private:
    enum Mode { Unused = 0, Writing = 1, Reading = 2 };

    void encodeGroup(char *aOut, int &nOut, int nPad);
    int writeOut(const char *aOut, int nOut);
    bool readGroup();

    int iBuf = 0;
    uint32_t iBits = 0;
    int iBPos = 0;
    int iBufFill = 0;
    bool bEosIn = false;
    uint32_t iTotalIn = 0;
    uint32_t iTotalOut = 0;
    unsigned char aDecode[80];
    Mode eMode = Unused;
    int iChars;
    int iCurChars = 0;
    // A group of four characters read so far: how many, and how many "=".
    int iGroupChars = 0;
    int iGroupPad = 0;
};

} // namespace Ka
