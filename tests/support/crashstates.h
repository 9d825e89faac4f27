// Crash states: every pair of file contents a crash, a killed process or a
// power cut can leave behind while a logged sequence of file events runs.
#pragma once

#include "ka/membuf.h"
#include "support/watchedfiles.h"

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace support {

// The data file and its journal (none when it does not exist).
struct DiskState {
    std::string sData;
    std::optional<std::string> sJournal;
    bool operator==(const DiskState &o) const = default;
};

// A data file and its journal in memory, for tests of the journaled file
// that need no disk. Syncing does nothing.
class MemoryFiles : public Ka::JournaledFile::Files {
public:
    explicit MemoryFiles(const DiskState &rState = DiskState());
    Ka::Stream &data() override { return mData; }
    void syncData() override {}
    Ka::Stream *journal(bool bCreate) override;
    void syncJournal() override {}
    void removeJournal() override { pJournal.reset(); }
    DiskState state() const;

private:
    Ka::MemBuf mData;
    std::unique_ptr<Ka::MemBuf> pJournal;
};

// Calls fCheck once for every distinct state the events can leave, started
// from rBefore. At each point of the sequence a file holds everything up to
// its last sync before that point, and of the events since that sync (a disk
// may reorder writes until it is told to sync):
//   - all of them (a killed process; the page cache survives),
//   - none of them, and iSubsets random subsets in their order,
//   - all but the last write, plus that write torn at a 512-byte boundary of
//     the file (a prefix of its sectors).
// Creating and removing the journal take effect at once (the files sync the
// folder before they return). Returns the number of distinct states.
int forEachCrashState(const DiskState &rBefore, const std::vector<FileEvent> &lEvents,
                      std::mt19937 &rRandom, int iSubsets,
                      const std::function<void(const DiskState &)> &fCheck);

} // namespace support
