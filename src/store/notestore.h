// NoteStore: the open vault: one password-protected container file holding
// the header dictionary, the note table and one encrypted body per note.
#pragma once

#include "ka/archive.h"
#include "ka/file.h"
#include "ka/hash.h"
#include "ka/journaledfile.h"
#include "ka/list.h"
#include "ka/streamstack.h"
#include "ka/string.h"
#include "ka/tessary.h"
#include "ka/uuid.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace Vrel {
class Dictionary;
class Object;
} // namespace Vrel

// One object per open vault file; it owns the file, its container, the key
// derived from the password, the note table and the header dictionary. The
// file layout is described in docs/vault-format.md.
//
// Every operation that changes the vault rewrites the whole header stream
// and commits the change before it returns; there is no separate save step.
// A commit is atomic and durable: the file goes through a rollback journal
// beside it (docs/journal-format.md), so that a crash, a killed process or a
// power cut at any moment leaves the vault, when it is opened again, with
// exactly the state before the operation or exactly the state after it. A
// header value removed with removeHeader reaches the file with the next such
// operation.
//
// A batch (beginBatch ... endBatch, or a Batch guard) makes many operations
// one such change: each changes the store in memory as usual, but the header
// is written once and everything is committed at the outermost endBatch, so
// that a crash leaves the vault before the batch or after it, never in
// between. When an operation inside fails after it began to change the
// vault, or the batch is abandoned (a Batch guard unwound by an exception),
// the whole batch is undone: the store and the file are back at the state
// before beginBatch. A committed batch is as durable as any operation. The
// file keeps every write of a batch in memory until the commit, so a caller
// with much to write ends a batch and begins the next every few megabytes.
//
// One store per file: the store holds an advisory lock on the file while it
// is open, and a second store on the same file, in this process or another,
// is refused with kVaultInUse.
//
// The store writes only into the file at the vault's name. Once another
// program has deleted, replaced or moved the vault file, what the store
// holds open is no longer what a later opening finds there: every change is
// then refused with kVaultMoved, and nothing is written anywhere. The store
// stays readable, so that saveCopyAs can make a new vault of what it holds.
//
// Failures are Ka::ExceptionBase (or a subclass): the constructor throws
// when the file cannot be opened or is locked, is not a vault, or the
// password is wrong, and never writes to a file it refuses (it only puts a
// vault back to its last committed state when a journal says a change was
// cut short). An operation that fails, in memory or on the disk, throws
// and leaves the store and the file as they were before it, or, inside a
// batch, before the batch (one that fails before it changes anything, such
// as one for an unknown id, leaves the batch alone). loadNote and
// deleteNote report failure by their result and never throw. The
// destructor never throws; a batch still open then is undone.
//
// Thread safety: none. One thread at a time (the sync client calls it from
// its thread while the user is kept out of the main window).
class NoteStore : public QObject {
    Q_OBJECT
public:
    // A note's record in the note table, in the order the table stores it.
    struct Note {
        int32_t iStreamId = 0; // container stream holding the body
        int32_t iVersion = 0;  // version on the sync server; 0 when never synced
        bool bChanged = false; // changed locally since the last upload
        Ka::String sName;      // the title, UTF-8
        Ka::String sType;      // the editor type, "html" for rich text
    };
    using NoteTable = Ka::Hash<Ka::Uuid, Note>;

    // Opens the vault at sFileName with the password's bytes (UTF-8 from the
    // GUI). A missing or empty (0-byte) file, or a container that holds
    // nothing but its table of streams (every byte outside the blocks that
    // table lists is zero), becomes a new vault with that password; any
    // other file must be a vault that the password opens. Anything but a
    // regular file is refused at once (Ka::File's RegularOnly). A journal
    // beside a missing or empty file is removed, never played back. A new
    // vault's first change may be refused with kJournalBlocked.
    NoteStore(const Ka::String &sFileName, const Ka::String &sPassword);
    ~NoteStore() override;

    // The message of the Ka::FileException (code EWOULDBLOCK) thrown when
    // another store, in any program, has the vault open.
    static constexpr const char *kVaultInUse = "The vault is open in another window or program.";
    // True when a store, in this program or another, has the vault at
    // sFileName open, so that opening it would be refused with kVaultInUse.
    // Tries the lock and lets it go at once (an opening elsewhere in that
    // instant is refused). False when the file cannot be read or is not a
    // regular file (which is never opened, so a pipe cannot make this
    // wait): the opening itself then tells why.
    static bool isInUse(const Ka::String &sFileName);
    // The start of the message of the Ka::FileException (code: the system's
    // error number) thrown for a file this user cannot open, for any reason
    // but there being nothing at the name; the system's text follows.
    static constexpr const char *kVaultUnreadable =
        "The file cannot be read, so whether another program has it open cannot be told";
    // Removes the vault file at sFileName and the journal beside it, for a
    // new vault to take its place; nothing there is fine, and so is a pipe,
    // a device or a socket, which no store opens. Throws the kVaultInUse
    // exception, and removes nothing, while a store in this program or
    // another holds the vault: the file stays locked from that check until
    // its name is gone, so that no store opens it meanwhile. Removes nothing
    // either, and throws, for a file that cannot be opened and so cannot be
    // checked (kVaultUnreadable: a store elsewhere, run by a user who may
    // read it, may hold it), and for a folder (Ka::File's "Is a directory").
    // Whatever stands at the journal's name and may not be removed stays:
    // it is not the new vault's journal.
    static void removeVault(const Ka::String &sFileName);
    // Throws what removeVault would throw for sFileName, and removes and
    // keeps locked nothing; the window refuses a replace with it before it
    // lets the open vault go.
    static void checkRemovable(const Ka::String &sFileName);

    // The start of the message of the Ka::FileException (code ESTALE) that
    // refuses a change once the vault's path no longer names the file the
    // store holds open; the vault's path follows it.
    static constexpr const char *kVaultMoved =
        "The vault file was moved, replaced or deleted since it was opened: ";
    // True for that refusal.
    static bool isVaultMoved(const std::exception &e);
    // The start of the message of the Ka::FileException (code EEXIST) that
    // refuses a change when a file that is not this vault's journal stands
    // at the journal's name and cannot be removed (another user's file in a
    // folder with the sticky bit, say); the journal's path follows it.
    // Nothing is written anywhere, and the store stays readable.
    static constexpr const char *kJournalBlocked = Ka::JournaledFile::DiskFiles::kForeign;
    static bool isJournalBlocked(const std::exception &e);
    // True for kVaultMoved and kJournalBlocked: the vault cannot be written
    // at its name, but a copy saved elsewhere (saveCopyAs) can.
    static bool isRefusedHere(const std::exception &e);

    // Creates a note under uId (normally a fresh id) with its content; the
    // record starts at version 0 and changed. The content stays the caller's.
    // An id already present is replaced, its old body freed.
    void createNote(const Ka::Uuid &uId, const Ka::String &sName, const Ka::String &sType,
                    const Vrel::Object *pContent);
    // Rewrites the note's body and marks it changed. The content stays the
    // caller's.
    void saveNote(const Ka::Uuid &uId, const Vrel::Object *pContent);
    // The note's content as a new dictionary the caller owns; null for an
    // unknown id, a body that cannot be read or one that is not a dictionary.
    Vrel::Dictionary *loadNote(const Ka::Uuid &uId) noexcept;
    void renameNote(const Ka::Uuid &uId, const Ka::String &sName);
    // Deletes the note's body and record; while the vault has a "syncId",
    // the id is queued under "deletes" for the sync server. False for an
    // unknown id or a failure (what was done before a failure stays done).
    bool deleteNote(const Ka::Uuid &uId) noexcept;
    Ka::String getNoteName(const Ka::Uuid &uId) const;
    void setNoteChanged(const Ka::Uuid &uId, bool bChanged);
    // Raises the remote version to iVersion first (even when the id is
    // unknown), then sets the note's version.
    void setNoteVersion(const Ka::Uuid &uId, int32_t iVersion);
    // The note stream's stored bytes: its whole cipher text.
    Ka::String getNoteData(const Ka::Uuid &uId);
    // A new meta blob (encrypted name and type) for the sync server.
    Ka::String getNoteMeta(const Ka::Uuid &uId);
    // Stores a note downloaded from the sync server: its stored bytes as
    // they are and its name and type from the meta blob, at iVersion, not
    // changed. A blob that holds no dictionary changes nothing.
    void importNote(const Ka::Uuid &uId, const QByteArray &baData, const QByteArray &baMeta,
                    int32_t iVersion);
    // Raises the remote version (never lowers it) and writes the header.
    void setRemoteVersion(int32_t iVersion);
    // The note as the sync server now holds it: at iVersion and no longer
    // changed. Unlike setNoteVersion it leaves the remote version alone:
    // changes made elsewhere before iVersion may not have been fetched yet.
    void setNoteSynced(const Ka::Uuid &uId, int32_t iVersion);
    // Takes uId off the deletions queued under "deletes" (the sync server
    // deleted the note itself, or a change made there wins over ours);
    // nothing when it is not queued.
    void unqueueDeletion(const Ka::Uuid &uId);
    // Back to remote version 0, without "remoteVersion" in the header, for a
    // vault that is bound to a new remote vault or filled by a download.
    void resetRemoteVersion();

    // Opens a batch, or a level inside the open one (batches nest; only the
    // outermost commits). Throws when the store refuses changes.
    void beginBatch();
    // Ends a level. The outermost commits the batch: one header write, when
    // anything changed, and one commit of the file. Throws when that commit
    // fails, and when an operation inside failed and undid the batch (an
    // inner level throws then too); the store is then at the state before
    // the batch, and the level is over either way. Without an open batch it
    // does nothing.
    void endBatch();
    // Ends a level and undoes the whole batch, also when the level is an
    // inner one: the batch as one change cannot keep part of itself.
    void abandonBatch() noexcept;
    bool isInBatch() const { return iBatchDepth > 0; }
    // The open batch was undone (an operation inside failed, or an inner
    // level was abandoned): its operations are refused until it ends.
    bool isBatchUndone() const { return bBatchFailed; }

    // One level of a batch for the length of a scope: end() commits (at the
    // outermost level), leaving the scope without end() abandons the batch.
    class Batch {
    public:
        explicit Batch(NoteStore &rStore) : rStore(rStore) { rStore.beginBatch(); }
        ~Batch() {
            if (!bEnded)
                rStore.abandonBatch();
        }
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;
        void end() {
            bEnded = true;
            rStore.endBatch();
        }

    private:
        NoteStore &rStore;
        bool bEnded = false;
    };

    bool hasHeader(const QByteArray &baKey) const;
    // The value under the key, still owned by the store; null when absent.
    // Change it only through setHeader: a change made in place could not be
    // undone when the operation or batch around it fails.
    Vrel::Object *getHeader(const QByteArray &baKey) const;
    // Stores pValue under the key and takes ownership of it, also when this
    // throws (the header then keeps its old value); a different value it
    // replaces is deleted. Null is refused.
    void setHeader(const QByteArray &baKey, Vrel::Object *pValue);
    // Deletes the value and its entry; written with the next header write
    // (inside a batch: with the batch, and undone with it). Throws only
    // inside a batch, when the store refuses changes.
    void removeHeader(const QByteArray &baKey);

    // True when sPassword makes the key this vault was opened with; reads
    // nothing from the file.
    bool hasPassword(const Ka::String &sPassword) const;

    // Throws the kVaultMoved exception when the vault's path no longer names
    // the very file this store holds open (another program deleted,
    // replaced or moved it), or that file has no name left; every commit
    // checks it before it writes anything. Throws the system's error when
    // the path cannot be looked up. A look at the path and one at the file.
    void checkFile();
    // Throws what the next change would be refused with before it wrote
    // anything: kVaultMoved (checkFile), or kJournalBlocked. Makes the
    // journal when there is none, as that change would.
    void checkWritable();
    // For a vault whose file went: writes the vault as its last commit left
    // it, from the file this store holds, to sFileName, and returns a store
    // open on that copy with this vault's password. The copy is made in a
    // temporary file beside sFileName (mode 0600), made durable and renamed
    // into place, so that whatever stood at sFileName, and the journal
    // beside it, is replaced by a whole copy only; the caller has asked the
    // user. Refused as removeVault refuses (a vault held elsewhere, this
    // one's own file included, a folder, a file that cannot be read), and
    // for a file a failed change left damaged. A failure before the rename
    // leaves sFileName as it was; a copy in place that then fails to open
    // stays there.
    std::unique_ptr<NoteStore> saveCopyAs(const Ka::String &sFileName);

    int32_t getRemoteVersion() const { return iRemoteVersion; }
    const NoteTable &getNotes() const { return hNotes; }
    Ka::List<Ka::Uuid> getNoteIds() const { return hNotes.getKeys(); }
    int getNoteCount() const { return hNotes.getSize(); }
    Ka::String getFileName() const { return sFileName; }

signals:
    // After every header write.
    void headerChanged();

protected:
    // Makes the files the store works on out of the vault file and its
    // journal on disk: for tests that watch every write, make writes fail or
    // stop the process at a chosen write. Only test programs derive from the
    // store to reach it.
    using Files = Ka::JournaledFile::Files;
    using FilesLayer = std::function<std::unique_ptr<Files>(std::unique_ptr<Files> pDisk)>;
    NoteStore(const Ka::String &sFileName, const Ka::String &sPassword, const FilesLayer &fLayer);

private:
    class Change;

    // Where the journal of the vault at sFileName stands. Only the user's
    // own file there is played back, written or removed as the journal
    // (Ka::JournaledFile::DiskFiles says which files are): a vault opens as
    // it is on disk beside anything else, and its first change removes
    // that name or is refused with kJournalBlocked.
    static Ka::String journalPath(const Ka::String &sFileName);
    // The file at sFileName opened and locked for its removal; null when
    // there is nothing a store can have open. Throws as removeVault does.
    static std::unique_ptr<Ka::File> lockForRemoval(const Ka::String &sFileName);
    std::unique_ptr<Files> openFiles(const FilesLayer &fLayer);
    Ka::Stream &containerBase();
    bool holdsOnlyItsTable();
    void readVault();
    void checkNoteTable();

    void setPassword(const Ka::String &sPassword);
    void addCipherWrite(Ka::StreamStack &rStack, bool bCompress);
    void addCipherRead(Ka::StreamStack &rStack, bool bCompress);
    void writeRandomPrefix(Ka::Stream &rStream);
    void addDeflate(Ka::StreamStack &rStack);
    void openNoteStreamRead(int iStreamId, Ka::StreamStack &rStack, bool bCompress);
    // Replaces the whole content of a container stream.
    void storeNoteStream(int iStreamId, const Ka::String &sBytes);
    int createNoteStream(const Ka::String &sBytes);
    void requireNote(const Ka::Uuid &uId) const;
    void requireWritable() const;
    // After a change failed: the container reread from the file, which the
    // journaled file has put back to the last commit.
    void restoreAfterFailure() noexcept;
    // The cipher text of one object under the vault key, as a note stream or
    // meta blob holds it.
    Ka::String sealObject(const Vrel::Object *pObject);
    // Reads the one object of a note stream or meta blob; null when none.
    Vrel::Object *openObject(Ka::StreamStack &rStack);
    // Writes stream 1; rChange puts back what the header writer changes.
    void saveHeader(Change &rChange);
    // After an operation inside the batch failed: the batch is undone, and
    // every further operation of it is refused until its outermost level
    // ends.
    void failBatch() noexcept;
    void requireBatchIntact() const;
    // Changes the record of uId (throws for an unknown id) and commits.
    void changeRecord(const Ka::Uuid &uId, const std::function<void(Note &)> &fChange);
    // Hands the container's changes to the file and commits them.
    void commitFile();

    Ka::String sFileName;
    Ka::File fVault;
    std::unique_ptr<Files> pFiles;
    Ka::JournaledFile jVault; // every write of the container, committed per operation
    Ka::Tessary cVault;
    Ka::String sKey;
    Ka::String sIv;
    int32_t iRemoteVersion = 0;
    NoteTable hNotes;
    uint8_t uFlags = 0;
    Vrel::Dictionary *pHeader = nullptr;
    // A failed change could not be undone in the file: the store refuses
    // every further change (the journal restores the file at the next open).
    bool bBroken = false;
    // The open batch: the change that gathers its operations (null once an
    // operation undid it), its nesting depth, and whether it was undone.
    std::unique_ptr<Change> pBatch;
    int iBatchDepth = 0;
    bool bBatchFailed = false;
};

// The note record in the note table: stream id and version as 4 bytes each,
// the changed flag as 1, then name and type as length-prefixed strings.
Ka::ArchiveBase &operator<<(Ka::ArchiveBase &rAr, const NoteStore::Note &rNote);
Ka::ArchiveBase &operator>>(Ka::ArchiveBase &rAr, NoteStore::Note &rNote);
