// Ka::JournaledFile: a file whose changes reach the disk all at once or not
// at all, kept safe by a rollback journal beside it.
#pragma once

#include "ka/stream.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace Ka {

class File;

// A stream over a file (the data file) that keeps every write in memory
// until commit(). commit() first saves the bytes the writes replace, and
// the file's size, in a journal beside the file and makes the journal
// durable; then it writes the file and makes it durable; last it
// invalidates the journal, which is the moment the change counts. Whenever
// the process dies or the power fails, the data file therefore holds either
// the state of the last commit, or a partial change together with a valid
// journal from which recover() restores the last commit's state.
// docs/journal-format.md has the journal's bytes.
//
// Reads see the writes not yet committed. Sizes and positions are 32-bit,
// as the data file's are.
//
// Failures: the files' exceptions pass through. A commit that fails before
// it touched the data file changes nothing there; one that fails later
// writes the saved bytes back at once. Either way the writes since the last
// commit are dropped and the data file holds the last commit's state. Only
// when putting the bytes back fails too is the file left damaged
// (isDamaged()): its journal then still holds what recover() needs at the
// next opening, and every further write, size change and commit throws.
//
// Not thread-safe. The files must outlive this object.
class JournaledFile : public Stream {
public:
    // The data file, its journal, and the calls that make each durable.
    // Tests put their own in place to watch, fail or stop at every write.
    class Files {
    public:
        virtual ~Files() = default;
        virtual Stream &data() = 0;
        virtual void syncData() = 0;
        // The journal, opened on first use; null when there is none and
        // bCreate is false. A journal created here exists durably (its
        // folder is synced) before it is returned. Files that give no
        // journal even when asked to create one have their changes written
        // in place, without the guarantee (to measure what it costs).
        virtual Stream *journal(bool bCreate) = 0;
        virtual void syncJournal() = 0;
        // Closes and removes the journal, durably; nothing when there is none.
        virtual void removeJournal() = 0;
    };

    // A data file on disk (borrowed, opened for reading and writing) and its
    // journal at sJournalPath.
    //
    // Only the user's own file there is ever read or written as the journal:
    // one reached without following a link, a regular file with one name,
    // owned by the user the program runs as or by the data file's owner
    // (who may write the data file anyway; on a file system that shows
    // files under another owner, a journal of the user's own carries that
    // owner too). As it is opened it is made private to its owner (mode
    // 0600); one that cannot be (a file system that keeps no modes) is read,
    // but replaced by a new journal before a commit writes into it. Anything
    // else at the name (a link, a file another user put there, a folder, a
    // pipe) is never read, written or removed until a journal must be
    // created: its name is then removed (a link's, never what the link leads
    // to) and a new journal is made. When that name cannot be removed
    // (another user's file in a folder with the sticky bit),
    // journal(true) throws FileException(EEXIST) with kForeign and the
    // path, and nothing is written anywhere.
    //
    // A journal is created exclusively (nothing, not even a link, may stand
    // at the name then) with mode 0600. The journal held between commits is
    // used as long as sJournalPath itself, not a link there, names it; one
    // that no longer does (another program removed or replaced it) is let
    // go and looked for, or made, anew.
    class DiskFiles : public Files {
    public:
        static constexpr const char *kForeign =
            "A file that is not this vault's journal stands at the journal's name and cannot "
            "be removed: ";

        DiskFiles(File &rData, const String &sJournalPath);
        ~DiskFiles() override;
        Stream &data() override;
        void syncData() override;
        // Without bCreate: the user's own journal at the name, or null.
        Stream *journal(bool bCreate) override;
        void syncJournal() override;
        // Removes the name only of the user's own journal.
        void removeJournal() override;

    private:
        // The user's own journal at the name, opened, and bPrivate set for
        // it; null when the name holds nothing (rForeign false) or anything
        // else (rForeign true).
        std::unique_ptr<File> openOwn(bool &rForeign);

        File &rData;
        String sJournalPath;
        std::unique_ptr<File> pJournal;
        // Nobody but its owner may read pJournal.
        bool bPrivate = false;
    };

    // Changes are kept and saved in pages of iPageSize bytes (at least 1;
    // the data file's own block size is the natural choice).
    JournaledFile(Files &rFiles, int iPageSize);
    // Drops the writes not committed.
    ~JournaledFile() override;

    // Restores the data file from a valid journal (one whose checksum and
    // fields hold), then invalidates the journal; true when it did. A
    // journal that is missing, cut short or damaged is left alone: the data
    // file was not touched after it. Call it before writing anything
    // (ExceptionBase otherwise).
    bool recover();
    // Makes every write since the last commit durable, all at once. Nothing
    // happens when there is none.
    void commit();
    // Drops every write since the last commit.
    void discard();
    // Removes the journal once nothing is left for it to undo; keeps it when
    // the file is damaged.
    void removeJournal();
    bool hasChanges() const;
    bool isDamaged() const { return bDamaged; }

    using Stream::write;

    // Nothing to close: the files are the caller's.
    void close() override {}
    int read(void *pBuf, int nBytes) override;
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return int(iPos); }
    void seek(int iOffset) override;
    void setPos(int iNewPos) override;
    void setPosEnd(int iFromEnd) override;
    bool isEos() override { return iPos >= iSize; }
    bool isOpen() override { return true; }
    void flush() override {}
    bool canRead() override { return true; }
    bool canWrite() override { return !bDamaged; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return true; }
    bool isBlocking() override { return true; }
    void setBlocking(bool) override {}
    // Grows with zero bytes or cuts, as a file does; the position stays.
    void setSize(int iNewSize) override;
    int getSize() override { return int(iSize); }
    int getBlockSize() override { return iPageSize; }
    String getLocation() override { return rFiles.data().getLocation(); }

private:
    // One run of the data file's bytes as they were before the change.
    struct Saved {
        int64_t iOffset;
        String sBytes;
    };

    void requireUndamaged() const;
    // The data file's bytes at [iAt, iAt + n) as the last commit left them
    // (zero where the change cut the file or beyond its end).
    void readBase(int64_t iAt, char *pOut, int64_t n);
    char *page(int64_t iPage, bool bWhole);
    std::vector<Saved> saveReplaced();
    String journalBytes(const std::vector<Saved> &lSaved) const;
    void applyPages();
    // Writes the saved bytes back and makes them durable.
    void putBack(const std::vector<Saved> &lSaved, int64_t iOldSize);
    void invalidateJournal(Stream &rJournal);
    void forgetChanges();

    Files &rFiles;
    Stream &rData;
    const int iPageSize;
    // The data file's size at the last commit, the smallest size the
    // change has cut it to, and its size with the change.
    int64_t iBaseSize = 0;
    int64_t iKeepBelow = 0;
    int64_t iSize = 0;
    int64_t iPos = 0;
    // Changed pages, by page number; each holds iPageSize bytes.
    std::map<int64_t, std::unique_ptr<char[]>> hPages;
    bool bDamaged = false;
};

} // namespace Ka
