// NoteStore: the open vault: one password-protected container file holding
// the header dictionary, the note table and one encrypted body per note.
#pragma once

#include "ka/archive.h"
#include "ka/file.h"
#include "ka/hash.h"
#include "ka/list.h"
#include "ka/streamstack.h"
#include "ka/string.h"
#include "ka/tessary.h"
#include "ka/uuid.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
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
// and makes the file durable (the container is synced and the file
// fdatasync-ed) before it returns, or, inside a batch (beginBatch), when
// the batch ends; there is no separate save step. A header value removed
// with removeHeader reaches the file with the next such write.
//
// Failures are Ka::ExceptionBase (or a subclass): the constructor throws
// when the file cannot be opened, is not a vault, or the password is wrong,
// and never writes to a file it refuses. loadNote and deleteNote report
// failure by their result and never throw. The destructor never throws.
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
    // GUI). A missing or empty (0-byte) file becomes a new vault with that
    // password; any other file must be a vault that the password opens.
    NoteStore(const Ka::String &sFileName, const Ka::String &sPassword);
    ~NoteStore() override;

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
    // Back to remote version 0, without "remoteVersion" in the header, for a
    // vault that is bound to a new remote vault.
    void resetRemoteVersion();

    // Groups operations: between beginBatch and the matching endBatch every
    // operation changes the vault in memory and writes note bodies at once,
    // but the header reaches the file only at the outermost endBatch, and
    // bodies the batch frees go only after that write. An interruption in
    // between leaves the vault as its last header write had it (at worst
    // with unused streams), so it still opens. Batches nest. The sync uses
    // them so that many imports or uploads do not rewrite the whole header
    // once per note.
    void beginBatch() { ++iBatchDepth; }
    // Writes the header when an operation of the batch changed it, and
    // throws what that write throws (the batch is over even then; the next
    // header write catches up).
    void endBatch();

    bool hasHeader(const QByteArray &baKey) const;
    // The value under the key, still owned by the store; null when absent.
    Vrel::Object *getHeader(const QByteArray &baKey) const;
    // Stores pValue under the key and takes ownership of it, also when this
    // throws (the header then keeps its old value); a different value it
    // replaces is deleted. Null is refused.
    void setHeader(const QByteArray &baKey, Vrel::Object *pValue);
    // Deletes the value and its entry; written with the next header write.
    void removeHeader(const QByteArray &baKey);

    int32_t getRemoteVersion() const { return iRemoteVersion; }
    const NoteTable &getNotes() const { return hNotes; }
    Ka::List<Ka::Uuid> getNoteIds() const { return hNotes.getKeys(); }
    int getNoteCount() const { return hNotes.getSize(); }
    Ka::String getFileName() const { return sFileName; }

signals:
    // After every header write.
    void headerChanged();

protected:
    // Makes the stream the container works on out of the opened file (which
    // stays owned by the store); for tests that put a failing stream between
    // the container and the file.
    using FileLayer = std::function<std::unique_ptr<Ka::Stream>(Ka::File &rFile)>;
    NoteStore(const Ka::String &sFileName, const Ka::String &sPassword, const FileLayer &fLayer);

private:
    Ka::Stream &containerBase(const FileLayer &fLayer);
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
    // The cipher text of one object under the vault key, as a note stream or
    // meta blob holds it.
    Ka::String sealObject(const Vrel::Object *pObject);
    // Reads the one object of a note stream or meta blob; null when none.
    Vrel::Object *openObject(Ka::StreamStack &rStack);
    // Writes the header, or only notes that it must be written while a
    // batch is open.
    void saveHeader();
    // Also frees the bodies in lFreeAfterHeader once it has written.
    void writeHeader();
    void syncFile();

    Ka::String sFileName;
    Ka::File fVault;
    std::unique_ptr<Ka::Stream> pLayer; // between file and container, for tests
    bool bNewFile = false;              // the file was missing or empty
    Ka::Tessary cVault;
    Ka::String sKey;
    Ka::String sIv;
    int32_t iRemoteVersion = 0;
    NoteTable hNotes;
    uint8_t uFlags = 0;
    Vrel::Dictionary *pHeader = nullptr;
    int iBatchDepth = 0;
    bool bHeaderPending = false;
    // Note bodies the in-memory header no longer names; freed after the
    // next header write, so that the file never names a freed body.
    std::vector<int> lFreeAfterHeader;
};

// The note record in the note table: stream id and version as 4 bytes each,
// the changed flag as 1, then name and type as length-prefixed strings.
Ka::ArchiveBase &operator<<(Ka::ArchiveBase &rAr, const NoteStore::Note &rNote);
Ka::ArchiveBase &operator>>(Ka::ArchiveBase &rAr, NoteStore::Note &rNote);
