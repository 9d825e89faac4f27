// WatchedFiles: the files under a journaled file, seen from between it and
// the disk: every write, size change, sync, creation and removal is logged,
// and a hook may fail it or stop the process right there.
#pragma once

#include "ka/journaledfile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace support {

// One thing the files were asked to do.
struct FileEvent {
    enum Kind { Write, Resize, Sync, Create, Remove };
    Kind eKind = Write;
    int iFile = 0;       // kData or kJournal
    int64_t iOffset = 0; // Write: where
    std::string sBytes;  // Write: what
    int64_t iSize = 0;   // Resize: the new size
    static constexpr int kData = 0;
    static constexpr int kJournal = 1;
};

// Forwards everything to the inner files. Before each event the hook runs
// with it: a hook that throws makes the event fail untouched (a hook may
// first hand part of a write to the inner files itself, through inner(), as
// a disk that fills up in the middle of a write does). Events that went
// through are appended to getEvents().
class WatchedFiles : public Ka::JournaledFile::Files {
public:
    using Hook = std::function<void(const FileEvent &rEvent)>;
    WatchedFiles(std::unique_ptr<Ka::JournaledFile::Files> pInner, Hook fHook = Hook());
    ~WatchedFiles() override;

    Ka::Stream &data() override;
    void syncData() override;
    Ka::Stream *journal(bool bCreate) override;
    void syncJournal() override;
    void removeJournal() override;

    Ka::JournaledFile::Files &inner() { return *pInner; }
    // The inner stream of kData or kJournal (the journal must be open).
    Ka::Stream &innerStream(int iFile);
    const std::vector<FileEvent> &getEvents() const { return lEvents; }
    void clearEvents() { lEvents.clear(); }
    void setHook(Hook f) { fHook = std::move(f); }
    // Writes seen so far, successful or not.
    int getWriteCount() const { return iWrites; }

    // Runs the hook, then the event; logs it when it went through.
    void pass(FileEvent event, const std::function<void()> &fDo);

private:
    class Stream;

    std::unique_ptr<Ka::JournaledFile::Files> pInner;
    Hook fHook;
    std::unique_ptr<Stream> pData;
    std::unique_ptr<Stream> pJournal;
    std::vector<FileEvent> lEvents;
    int iWrites = 0;
};

// A hook for a disk that fails once iBudget bytes were written: the write
// that crosses the budget hands its first bytes up to the budget to the
// inner files and throws Ka::FileException. A full disk (bFull) then refuses
// with ENOSPC only what needs more room (a write or size change past a
// file's end); a broken one refuses every further write, size change and
// sync with EIO. A negative budget never fails.
WatchedFiles::Hook failingDisk(WatchedFiles &rFiles, int64_t iBudget, bool bFull);

} // namespace support
