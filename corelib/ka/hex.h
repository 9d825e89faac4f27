// Ka::Hex: a filter that writes every byte as two hexadecimal digits and
// reads such digits back.
#pragma once

#include "ka/filter.h"

#include <cstdint>

namespace Ka {

// Writing puts out the high digit, then the low one; with a positive group
// size a blank goes in front of every group after the first. Reading skips
// blanks, tabs, line feeds and carriage returns and takes upper- and
// lower-case digits alike; any other character is decoded by the same
// arithmetic without an error, so Hex never throws on its own. A digit left
// without its partner at the end of the data is dropped.
//
// The stream below is not owned and must outlive the filter. Not thread-safe.
class Hex : public Filter {
public:
    // iChunk: bytes per group; 0 or negative writes one unbroken run.
    Hex(Stream &rNext, bool bUpperCase, int iChunk);
    ~Hex() override = default;

    using Filter::write;

    // Returns the bytes decoded; fewer than asked when the stream below
    // returns 0.
    int read(void *pBuf, int nBytes) override;
    // Returns nBytes (0 for a count below 1 or a null buffer).
    int write(const void *pBuf, int nBytes) override;

    void start() override;
    // Nothing is ever pending; returns the bytes encoded since start().
    int stop() override { return int(iPos); }

private:
    int iChunk;
    int64_t iPos = 0;
    char sIn[2] = {0, 0};
    int iIn = 0;
    const char *sChars;
};

} // namespace Ka
