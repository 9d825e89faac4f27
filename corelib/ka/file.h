// Ka::File: a file on disk as a Ka::Stream, on the POSIX descriptor calls.
#pragma once

#include "ka/stream.h"

#include <cstdint>

namespace Ka {

// Every failure of the system calls is reported as a FileException whose
// code is errno; nothing fails silently. Operations that need a descriptor
// throw FileException "File not open." on a closed file. Sizes and
// positions are 32-bit: a file or position beyond that range is refused
// with a FileException rather than reported wrapped.
//
// The file owns its descriptor and closes it when destroyed (a failure to
// close is then swallowed; call close() to see it). flush() does nothing,
// because there is no user-space buffer; sync() makes written data durable.
// Not thread-safe.
class File : public Stream {
public:
    // Open flags, combined with |. Exclusive only counts together with Create.
    static constexpr int Read = 1;
    static constexpr int Write = 2;
    static constexpr int Create = 4;
    static constexpr int Truncate = 8;
    static constexpr int Append = 16;
    static constexpr int Exclusive = 64;
    // Opens nothing but a regular file, and never waits to open it: a
    // named pipe, a device or a socket at the name is refused without being
    // opened (opening a pipe for reading waits for a writer, reading a
    // device may never end), a folder too.
    static constexpr int RegularOnly = 128;
    // For a name the program chose itself rather than the user: a symbolic
    // link at the name is refused ("Too many levels of symbolic links",
    // ELOOP) instead of followed, and the open never waits, whatever it
    // opens. What it opened may be a pipe or a device, left non-blocking:
    // the caller looks at getInfo() before it uses the file.
    static constexpr int NoLink = 256;

    // Opens sName; a file it creates gets iMode less the umask (0600 for
    // files only their owner may read). Throws FileException "You must
    // specify Read, Write, or both when opening a file." (code 0) without
    // Read or Write, and "<system text>: <name>" with errno when the open
    // fails. With RegularOnly, a folder is refused as "Is a directory:
    // <name>" (EISDIR) and any other file that is not a regular one as "Not
    // a regular file: <name>" (code 0).
    File(const String &sName, int iFlags, int iMode = 0666);
    // Takes ownership of an open descriptor.
    explicit File(int iFd);
    ~File() override;

    using Stream::write;

    // Closes the descriptor, if any; the file counts as closed afterwards
    // even when the system reports a failure (which throws).
    void close() override;
    // Reads up to nBytes; 0 at the end of the file (which sets isEos) or
    // when a non-blocking descriptor has nothing now. A count below 1 reads
    // nothing.
    int read(void *pBuf, int nBytes) override;
    // Writes all nBytes or throws; returns nBytes.
    int write(const void *pBuf, int nBytes) override;
    int tell() override;
    void seek(int iOffset) override;
    void setPos(int iPos) override;
    // The position iPos bytes past the end (0 is the end, a negative value
    // counts back from it); a write there fills the gap with zero bytes.
    void setPosEnd(int iPos) override;
    bool isEos() override { return bEos; }
    bool isOpen() override { return fd >= 0; }
    void flush() override {}
    bool canRead() override { return true; }
    bool canWrite() override { return true; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return true; }
    bool isBlocking() override { return true; }
    // Not supported: says so on standard error and changes nothing.
    void setBlocking(bool bBlocking) override;
    // Grows with zero bytes or cuts; the position stays where it is.
    void setSize(int iSize) override;
    int getSize() override;
    int getBlockSize() override { return 4096; }
    String getLocation() override { return String("to be implemented"); }

    // The file as the system describes it (one fstat).
    struct Info {
        bool bRegular = false;
        uint64_t nNames = 0;       // its hard links
        uint32_t iOwner = 0;       // the owner's user id
        uint32_t iGroup = 0;       // its group's id
        uint32_t iPermissions = 0; // the permission bits, 07777 at most
    };
    Info getInfo();
    // Sets the permission bits (fchmod). Some file systems accept this and
    // keep the bits they had (a FAT one, whose mount decides them).
    void setPermissions(int iMode);
    // The user the program runs as (its effective user id).
    static uint32_t userId();

    // Forces the written data to the disk (fdatasync).
    void sync();
    // Takes an exclusive advisory lock on the open file (flock) without
    // waiting: false when another open of the file, in this process or
    // another, holds it. The lock goes with the descriptor (close, or the
    // death of the process).
    bool tryLock();
    // False once the file has no name left (it was removed while open):
    // what is written to it then is lost when it closes.
    bool isLinked();
    // True while sPath names this very file (the same device and inode, not
    // merely a file of that name) and the file still has a name: only then
    // does what is written to it reach whoever opens sPath. False when
    // sPath names nothing or another file, and when the file's name is gone
    // (a network file system may say so with ESTALE). Without
    // bThroughLink, a symbolic link at sPath is another file, even one that
    // leads here. Throws when sPath cannot be looked up for another reason
    // (a folder on the way that may not be searched): whether it names this
    // file cannot be told.
    bool isNamed(const String &sPath, bool bThroughLink = true);

    // Makes the creation or removal of files in the folder holding sPath
    // durable (fsync of the folder).
    static void syncFolderOf(const String &sPath);
    // Removes the file; false when there is none.
    static bool remove(const String &sPath);
    // Gives the file at sFrom the name sTo, in one step: whatever had that
    // name is replaced (a folder is refused).
    static void rename(const String &sFrom, const String &sTo);

    // Creates and opens (read and write) a new file named after sTemplate,
    // whose trailing X characters are replaced by random letters from the
    // kernel's source (Ka::Random::systemRand), so that nobody can guess the
    // names and take them first; sTemplate receives the name tried last. Throws
    // ExceptionBase "Invalid temporary filename template." when the
    // template does not end in X, and FileException "Failed to create
    // unique temporary file after 1000 iterations." when every try fails.
    // The file gets iMode less the umask.
    static File tempFile(String &sTemplate, int iMode = 0666);

private:
    int requireFd() const;
    void seekTo(long long iOffset, int iWhence);

    int fd = -1;
    bool bEos = true;
};

} // namespace Ka
