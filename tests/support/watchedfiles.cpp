// WatchedFiles: logging and hooking every event on the way to the inner files.
#include "support/watchedfiles.h"

#include "ka/exception.h"
#include "support/forwardingstream.h"

#include <algorithm>

#include <cerrno>

namespace support {

// A stream that passes its writes and size changes through the watcher.
class WatchedFiles::Stream : public ForwardingStream {
public:
    Stream(WatchedFiles &rOwner, Ka::Stream &rInner, int iFile)
        : ForwardingStream(rInner), rOwner(rOwner), iFile(iFile) {}

    using Ka::Stream::write;

    int write(const void *pBuf, int nBytes) override {
        FileEvent event;
        event.eKind = FileEvent::Write;
        event.iFile = iFile;
        event.iOffset = rInner.tell();
        event.sBytes.assign(static_cast<const char *>(pBuf), size_t(std::max(nBytes, 0)));
        int iDone = 0;
        rOwner.pass(std::move(event), [&] { iDone = rInner.write(pBuf, nBytes); });
        return iDone;
    }
    void setSize(int iSize) override {
        FileEvent event;
        event.eKind = FileEvent::Resize;
        event.iFile = iFile;
        event.iSize = iSize;
        rOwner.pass(std::move(event), [&] { rInner.setSize(iSize); });
    }

private:
    WatchedFiles &rOwner;
    int iFile;
};

WatchedFiles::WatchedFiles(std::unique_ptr<Ka::JournaledFile::Files> pInner, Hook fHook)
    : pInner(std::move(pInner)), fHook(std::move(fHook)) {
    pData = std::make_unique<Stream>(*this, this->pInner->data(), FileEvent::kData);
}

WatchedFiles::~WatchedFiles() = default;

void WatchedFiles::pass(FileEvent event, const std::function<void()> &fDo) {
    if (event.eKind == FileEvent::Write)
        ++iWrites;
    if (fHook)
        fHook(event);
    fDo();
    lEvents.push_back(std::move(event));
}

Ka::Stream &WatchedFiles::data() {
    return *pData;
}

Ka::Stream &WatchedFiles::innerStream(int iFile) {
    return iFile == FileEvent::kData ? pData->inner() : pJournal->inner();
}

void WatchedFiles::syncData() {
    FileEvent event;
    event.eKind = FileEvent::Sync;
    event.iFile = FileEvent::kData;
    pass(std::move(event), [&] { pInner->syncData(); });
}

// Asked of the inner files every time: they make a journal that another
// program removed anew, and the watch follows it.
Ka::Stream *WatchedFiles::journal(bool bCreate) {
    Ka::Stream *pFound = pInner->journal(false);
    if (!pFound && bCreate) {
        FileEvent event;
        event.eKind = FileEvent::Create;
        event.iFile = FileEvent::kJournal;
        pass(std::move(event), [&] { pFound = pInner->journal(true); });
    }
    if (!pFound)
        pJournal.reset();
    else if (!pJournal || &pJournal->inner() != pFound)
        pJournal = std::make_unique<Stream>(*this, *pFound, FileEvent::kJournal);
    return pJournal.get();
}

void WatchedFiles::syncJournal() {
    FileEvent event;
    event.eKind = FileEvent::Sync;
    event.iFile = FileEvent::kJournal;
    pass(std::move(event), [&] { pInner->syncJournal(); });
}

void WatchedFiles::removeJournal() {
    FileEvent event;
    event.eKind = FileEvent::Remove;
    event.iFile = FileEvent::kJournal;
    pass(std::move(event), [&] {
        pJournal.reset();
        pInner->removeJournal();
    });
}

WatchedFiles::Hook failingDisk(WatchedFiles &rFiles, int64_t iBudget, bool bFull) {
    auto pLeft = std::make_shared<int64_t>(iBudget);
    return [&rFiles, pLeft, bFull](const FileEvent &rEvent) {
        if (*pLeft < 0 || rEvent.eKind == FileEvent::Create || rEvent.eKind == FileEvent::Remove)
            return;
        const int iError = bFull ? ENOSPC : EIO;
        const auto fail = [iError] {
            throw Ka::FileException(
                iError, "%s", iError == ENOSPC ? "No space left on device" : "Input/output error");
        };
        if (*pLeft > 0) {
            if (rEvent.eKind != FileEvent::Write)
                return;
            const int64_t n = int64_t(rEvent.sBytes.size());
            if (n <= *pLeft) {
                *pLeft -= n;
                return;
            }
            Ka::Stream &rInner = rFiles.innerStream(rEvent.iFile);
            rInner.setPos(int(rEvent.iOffset));
            rInner.write(rEvent.sBytes.data(), int(*pLeft));
            *pLeft = 0;
            fail();
        }
        if (!bFull)
            fail();
        const int64_t iHave = rFiles.innerStream(rEvent.iFile).getSize();
        if ((rEvent.eKind == FileEvent::Write &&
             rEvent.iOffset + int64_t(rEvent.sBytes.size()) > iHave) ||
            (rEvent.eKind == FileEvent::Resize && rEvent.iSize > iHave))
            fail();
    };
}

} // namespace support
