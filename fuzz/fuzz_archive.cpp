// Fuzz target for the archive reader: a string, an identifier, a note table
// and another string from any bytes end in values or a Ka exception, and
// what was read writes and reads back unchanged.
#include "../tests/support/noterecord.h"
#include "ka/archive.h"
#include "ka/membuf.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using Table = Ka::Hash<Ka::Uuid, support::NoteRecord>;

struct Contents {
    Ka::String sFirst;
    Ka::Uuid id;
    Table hNotes;
    Ka::String sLast;
};

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_archive: %s\n", sWhat);
    std::abort();
}

// Reads the contents; false when the bytes are refused. Any exception that
// is not a Ka exception escapes and counts as a crash.
bool readContents(Ka::MemBuf &buf, Contents &c) {
    Ka::Archive ar(buf, true);
    try {
        ar >> c.sFirst >> c.id >> c.hNotes >> c.sLast;
    } catch (const Ka::ExceptionBase &) {
        return false;
    }
    return true;
}

bool sameTables(const Table &a, const Table &b) {
    if (a.getSize() != b.getSize())
        return false;
    for (auto it = a.begin(); !it.isFinished(); ++it) {
        if (!b.has(it.getKey()) || !(b.get(it.getKey()) == it.getValue()))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    if (iSize > INT_MAX)
        return 0;
    Ka::MemBuf in(Ka::String(reinterpret_cast<const char *>(pData), int(iSize)));
    Contents read;
    if (!readContents(in, read))
        return 0;

    // Repeated keys are written once and a negative count as 0: never more
    // bytes than were read.
    Ka::MemBuf out;
    Ka::Archive ar(out, false);
    ar << read.sFirst << read.id << read.hNotes << read.sLast;
    if (out.getSize() > in.tell())
        failure("the values wrote to more bytes than they were read from");

    out.setPos(0);
    Contents back;
    if (!readContents(out, back) || !out.isEos())
        failure("the written values did not read back whole");
    if (back.sFirst != read.sFirst || back.id != read.id || back.sLast != read.sLast ||
        !sameTables(back.hNotes, read.hNotes))
        failure("the values read back differ from those written");
    return 0;
}
