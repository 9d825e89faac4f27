// NoteRecord: a record with the fields and archive form of the vault's note
// record, for testing and fuzzing the note-table operators of Ka::Archive.
#pragma once

#include "ka/archivebase.h"
#include "ka/string.h"

#include <cstdint>

namespace support {

// Field order and archive form as in the vault's note table: two int32, a
// bool, then two strings.
struct NoteRecord {
    int32_t iStreamId = 0;
    int32_t iVersion = 0;
    bool bChanged = false;
    Ka::String sName;
    Ka::String sType;

    bool operator==(const NoteRecord &o) const {
        return iStreamId == o.iStreamId && iVersion == o.iVersion && bChanged == o.bChanged &&
               sName == o.sName && sType == o.sType;
    }
};

inline Ka::ArchiveBase &operator<<(Ka::ArchiveBase &ar, const NoteRecord &r) {
    return ar << r.iStreamId << r.iVersion << r.bChanged << r.sName << r.sType;
}

inline Ka::ArchiveBase &operator>>(Ka::ArchiveBase &ar, NoteRecord &r) {
    return ar >> r.iStreamId >> r.iVersion >> r.bChanged >> r.sName >> r.sType;
}

} // namespace support
