// ServerAnswer: the fill-skipping reader and the checks of each answer.
#include "sync/serveranswer.h"

#include "ka/exception.h"
#include "store/stringconv.h"
#include "vrel/vrel.h"

#include <algorithm>
#include <climits>

namespace ServerAnswer {

std::unique_ptr<Vrel::Object> read(Vrel::VrelStream &rStream) {
    for (int iFill = 0; iFill <= kMaxFill; ++iFill) {
        std::unique_ptr<Vrel::Object> pAnswer(rStream.readObject());
        if (pAnswer)
            return pAnswer;
        if (rStream.atEnd())
            throw Ka::ExceptionBase("The session ended before the answer.");
    }
    throw Ka::ExceptionBase("The server sent fill bytes instead of an answer.");
}

bool toId(const QByteArray &baText, Ka::Uuid &rId) {
    const qsizetype iEnd = baText.indexOf('\0');
    const Ka::Uuid uId(toKaString(iEnd < 0 ? baText : baText.left(iEnd)));
    if (uId == Ka::Uuid())
        return false;
    rId = uId;
    return true;
}

bool toVersion(const Vrel::Object *pValue, int32_t &rVersion) {
    const auto *pInteger = dynamic_cast<const Vrel::Integer *>(pValue);
    if (!pInteger || pInteger->getValue() < 0 || pInteger->getValue() > INT32_MAX)
        return false;
    rVersion = int32_t(pInteger->getValue());
    return true;
}

namespace {

// The id under "id" of a list entry, when the entry is a dictionary.
const Vrel::Dictionary *entryWithId(const Vrel::Object *pEntry, Ka::Uuid &rId) {
    const auto *pDict = dynamic_cast<const Vrel::Dictionary *>(pEntry);
    const auto *pText = pDict ? dynamic_cast<const Vrel::String *>(pDict->value("id")) : nullptr;
    return pText && toId(*pText, rId) ? pDict : nullptr;
}

} // namespace

std::vector<Change> changes(const Vrel::List &rList) {
    std::vector<Change> lChanges;
    for (const Vrel::Object *pEntry : rList) {
        Change change;
        const Vrel::Dictionary *pDict = entryWithId(pEntry, change.uId);
        if (!pDict || !toVersion(pDict->value("version"), change.iVersion))
            continue;
        change.bDeleted = pDict->valueBool("deleted");
        lChanges.push_back(change);
    }
    std::stable_sort(lChanges.begin(), lChanges.end(),
                     [](const Change &a, const Change &b) { return a.iVersion < b.iVersion; });
    return lChanges;
}

std::vector<Ka::Uuid> noteIds(const Vrel::List &rList) {
    std::vector<Ka::Uuid> lIds;
    for (const Vrel::Object *pEntry : rList) {
        Ka::Uuid uId;
        if (entryWithId(pEntry, uId))
            lIds.push_back(uId);
    }
    return lIds;
}

VaultInfoList vaults(const Vrel::List &rList) {
    VaultInfoList lVaults;
    for (const Vrel::Object *pEntry : rList) {
        const auto *pDict = dynamic_cast<const Vrel::Dictionary *>(pEntry);
        if (!pDict || !dynamic_cast<const Vrel::String *>(pDict->value("id")))
            continue;
        VaultInfo info;
        info.id = pDict->valueStr("id");
        info.name = QString::fromUtf8(pDict->valueStr("name"));
        info.used = std::max<qint64>(pDict->valueInt("used"), 0);
        lVaults.append(info);
    }
    return lVaults;
}

bool note(const Vrel::Object *pAnswer, Note &rNote) {
    const auto *pDict = dynamic_cast<const Vrel::Dictionary *>(pAnswer);
    if (!pDict || !toVersion(pDict->value("version"), rNote.iVersion))
        return false;
    const auto *pMeta = dynamic_cast<const Vrel::String *>(pDict->value("meta"));
    const auto *pData = dynamic_cast<const Vrel::String *>(pDict->value("data"));
    if (!pMeta || !pData)
        return false;
    rNote.baMeta = *pMeta;
    rNote.baData = *pData;
    return true;
}

} // namespace ServerAnswer
