// Crash states: replaying logged events on copies of the files, with the
// freedom a disk has before it is told to sync.
#include "support/crashstates.h"

#include "support/bytes.h"

#include <algorithm>
#include <set>
#include <utility>

namespace support {

namespace {

using File = std::optional<std::string>;

// Applies one event to a file's contents; a write keeps only its first
// iKeep bytes when iKeep is not negative.
void apply(File &rFile, const FileEvent &rEvent, int64_t iKeep = -1) {
    switch (rEvent.eKind) {
    case FileEvent::Write: {
        if (!rFile)
            return;
        const size_t n = iKeep < 0 ? rEvent.sBytes.size() : size_t(iKeep);
        const size_t iEnd = size_t(rEvent.iOffset) + n;
        if (rFile->size() < iEnd)
            rFile->resize(iEnd, '\0');
        std::copy_n(rEvent.sBytes.data(), n, rFile->begin() + rEvent.iOffset);
        break;
    }
    case FileEvent::Resize:
        if (rFile)
            rFile->resize(size_t(rEvent.iSize), '\0');
        break;
    case FileEvent::Create:
        if (!rFile)
            rFile = std::string();
        break;
    case FileEvent::Remove:
        rFile.reset();
        break;
    case FileEvent::Sync:
        break;
    }
}

// The contents a crash may leave of one file: its synced contents plus
// some of the events since its last sync.
std::vector<File> variants(const File &rBase, const std::vector<const FileEvent *> &lPending,
                           std::mt19937 &rRandom, int iSubsets) {
    std::vector<File> lOut{rBase};
    if (lPending.empty())
        return lOut;
    auto replay = [&](const std::vector<bool> &lTake, int64_t iLastKeep) {
        File file = rBase;
        for (size_t i = 0; i < lPending.size(); ++i) {
            if (lTake[i])
                apply(file, *lPending[i], i + 1 == lPending.size() ? iLastKeep : -1);
        }
        return file;
    };
    lOut.push_back(replay(std::vector<bool>(lPending.size(), true), -1));
    std::bernoulli_distribution coin(0.5);
    for (int s = 0; s < iSubsets; ++s) {
        std::vector<bool> lTake(lPending.size());
        for (size_t i = 0; i < lTake.size(); ++i)
            lTake[i] = coin(rRandom);
        lOut.push_back(replay(lTake, -1));
    }
    // The last write torn at sector boundaries of the file.
    const FileEvent &rLast = *lPending.back();
    if (rLast.eKind == FileEvent::Write) {
        const int64_t iFrom = rLast.iOffset, iTo = rLast.iOffset + int64_t(rLast.sBytes.size());
        std::vector<int64_t> lCuts;
        for (int64_t c = (iFrom / 512 + 1) * 512; c < iTo; c += 512)
            lCuts.push_back(c - iFrom);
        std::shuffle(lCuts.begin(), lCuts.end(), rRandom);
        lCuts.resize(std::min<size_t>(lCuts.size(), 4));
        for (int64_t iKeep : lCuts)
            lOut.push_back(replay(std::vector<bool>(lPending.size(), true), iKeep));
    }
    return lOut;
}

} // namespace

MemoryFiles::MemoryFiles(const DiskState &rState) : mData(toKa(rState.sData)) {
    if (rState.sJournal)
        pJournal = std::make_unique<Ka::MemBuf>(toKa(*rState.sJournal));
}

Ka::Stream *MemoryFiles::journal(bool bCreate) {
    if (!pJournal && bCreate)
        pJournal = std::make_unique<Ka::MemBuf>();
    return pJournal.get();
}

DiskState MemoryFiles::state() const {
    DiskState state{toStd(mData.getString()), std::nullopt};
    if (pJournal)
        state.sJournal = toStd(pJournal->getString());
    return state;
}

int forEachCrashState(const DiskState &rBefore, const std::vector<FileEvent> &lEvents,
                      std::mt19937 &rRandom, int iSubsets,
                      const std::function<void(const DiskState &)> &fCheck) {
    File aBase[2] = {File(rBefore.sData), rBefore.sJournal};
    std::vector<const FileEvent *> aPending[2];
    std::set<std::pair<size_t, size_t>> lSeen;
    const std::hash<std::string> hash;
    int iStates = 0;
    for (size_t k = 0;; ++k) {
        const std::vector<File> lData = variants(aBase[0], aPending[0], rRandom, iSubsets);
        const std::vector<File> lJournal = variants(aBase[1], aPending[1], rRandom, iSubsets);
        // Each data variant with some journal variant, and every journal
        // variant with some data variant.
        std::uniform_int_distribution<size_t> pickJournal(0, lJournal.size() - 1);
        std::uniform_int_distribution<size_t> pickData(0, lData.size() - 1);
        std::vector<std::pair<size_t, size_t>> lPairs;
        for (size_t i = 0; i < lData.size(); ++i)
            lPairs.emplace_back(i, i < lJournal.size() ? i : pickJournal(rRandom));
        for (size_t j = lData.size(); j < lJournal.size(); ++j)
            lPairs.emplace_back(pickData(rRandom), j);
        for (const auto &[i, j] : lPairs) {
            DiskState state{*lData[i], lJournal[j]};
            const std::pair<size_t, size_t> key(hash(state.sData),
                                                state.sJournal ? hash(*state.sJournal) + 1 : 0);
            if (lSeen.insert(key).second) {
                ++iStates;
                fCheck(state);
            }
        }
        if (k == lEvents.size())
            break;
        const FileEvent &rEvent = lEvents[k];
        const int f = rEvent.iFile == FileEvent::kData ? 0 : 1;
        switch (rEvent.eKind) {
        case FileEvent::Sync:
            for (const FileEvent *p : aPending[f])
                apply(aBase[f], *p);
            aPending[f].clear();
            break;
        case FileEvent::Create:
        case FileEvent::Remove:
            aPending[f].clear();
            apply(aBase[f], rEvent);
            break;
        default:
            aPending[f].push_back(&rEvent);
        }
    }
    return iStates;
}

} // namespace support
