// ServerAnswer: the fill-skipping reader and the checks that keep hostile
// or broken answers from reaching the vault.
#include "sync/serveranswer.h"

#include "ka/exception.h"
#include "vrel/vrel.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray bytesOf(const Vrel::Object &rValue) {
    QByteArray ba;
    QBuffer buffer(&ba);
    buffer.open(QIODevice::WriteOnly);
    Vrel::VrelStream(&buffer).writeObject(&rValue);
    return ba;
}

// Reads one answer from the bytes; the reader's exception text, or the
// kind of value read.
std::string readFrom(QByteArray baBytes) {
    QBuffer buffer(&baBytes);
    buffer.open(QIODevice::ReadOnly);
    Vrel::VrelStream stream(&buffer);
    try {
        std::unique_ptr<Vrel::Object> pAnswer = ServerAnswer::read(stream);
        return dynamic_cast<Vrel::Integer *>(pAnswer.get()) ? "integer" : "other";
    } catch (const Ka::ExceptionBase &e) {
        return e.what();
    }
}

Vrel::Dictionary *entry(Vrel::List &rList, const QByteArray &baId, int iVersion) {
    auto *pEntry = new Vrel::Dictionary;
    rList.append(pEntry);
    pEntry->insert("id", baId);
    pEntry->insert("version", iVersion);
    return pEntry;
}

const QByteArray kId = "0f8fad5b-d9cb-469f-a165-70867728950e";

TEST(ServerAnswer, FillBytesAreSkippedButNotForEver) {
    const QByteArray baValue = bytesOf(Vrel::Integer(5));
    EXPECT_EQ(readFrom(QByteArray(ServerAnswer::kMaxFill, '\0') + baValue), "integer");
    EXPECT_EQ(readFrom(QByteArray(ServerAnswer::kMaxFill + 1, '\0') + baValue),
              "The server sent fill bytes instead of an answer.");
    EXPECT_EQ(readFrom(QByteArray(3, '\0')), "The session ended before the answer.");
}

TEST(ServerAnswer, IdsAndVersions) {
    Ka::Uuid uId;
    ASSERT_TRUE(ServerAnswer::toId(kId, uId));
    EXPECT_EQ(std::string(uId.toString().getConstStr()), kId.toStdString());
    // Up to the first zero byte; 16 raw bytes are an id as well.
    EXPECT_TRUE(ServerAnswer::toId(kId + QByteArray("\0junk", 5), uId));
    EXPECT_TRUE(ServerAnswer::toId(QByteArray(16, '\x7f'), uId));
    for (const QByteArray &baBad : {QByteArray(), QByteArray("not an id"), kId.left(35),
                                    QByteArray("00000000-0000-0080-0000-000000000000"),
                                    QByteArray("0f8fad5b-d9cb-469f-a165-70867728950g")})
        EXPECT_FALSE(ServerAnswer::toId(baBad, uId)) << baBad.toStdString();

    int32_t iVersion = -1;
    EXPECT_TRUE(
        ServerAnswer::toVersion(std::make_unique<Vrel::Integer>(2147483647).get(), iVersion));
    EXPECT_EQ(iVersion, 2147483647);
    EXPECT_FALSE(
        ServerAnswer::toVersion(std::make_unique<Vrel::Integer>(2147483648LL).get(), iVersion));
    EXPECT_FALSE(ServerAnswer::toVersion(std::make_unique<Vrel::Integer>(-1).get(), iVersion));
    EXPECT_FALSE(ServerAnswer::toVersion(std::make_unique<Vrel::String>("7").get(), iVersion));
    EXPECT_FALSE(ServerAnswer::toVersion(nullptr, iVersion));
}

TEST(ServerAnswer, ChangeListsKeepUsableEntriesOldestFirst) {
    Vrel::List list;
    entry(list, "1f8fad5b-d9cb-469f-a165-70867728950e", 9);
    entry(list, kId, 3)->insert("deleted", new Vrel::Boolean(true));
    entry(list, "2f8fad5b-d9cb-469f-a165-70867728950e", 3);
    entry(list, "broken", 4);
    entry(list, kId, -2);
    list.append(new Vrel::Integer(1));
    auto *pNoVersion = new Vrel::Dictionary;
    pNoVersion->insert("id", kId);
    list.append(pNoVersion);
    const std::vector<ServerAnswer::Change> lChanges = ServerAnswer::changes(list);
    ASSERT_EQ(lChanges.size(), 3u);
    EXPECT_EQ(lChanges[0].iVersion, 3);
    EXPECT_TRUE(lChanges[0].bDeleted);
    EXPECT_EQ(lChanges[1].iVersion, 3);
    EXPECT_FALSE(lChanges[1].bDeleted);
    EXPECT_EQ(lChanges[2].iVersion, 9);
    EXPECT_EQ(ServerAnswer::noteIds(list).size(), 5u);
}

TEST(ServerAnswer, VaultListsAndNotes) {
    Vrel::List list;
    auto *pVault = new Vrel::Dictionary;
    list.append(pVault);
    pVault->insert("id", "vault-1");
    pVault->insert("name", QByteArray("Rezepte für 4"));
    pVault->insert("used", new Vrel::Integer(-5));
    auto *pNoId = new Vrel::Dictionary;
    list.append(pNoId);
    pNoId->insert("id", 3);
    list.append(new Vrel::String("stray"));
    const VaultInfoList lVaults = ServerAnswer::vaults(list);
    ASSERT_EQ(lVaults.size(), 1);
    EXPECT_EQ(lVaults[0].id, "vault-1");
    EXPECT_EQ(lVaults[0].name, QString::fromUtf8("Rezepte für 4"));
    EXPECT_EQ(lVaults[0].used, 0);

    Vrel::Dictionary answer;
    answer.insert("version", 4);
    answer.insert("meta", "m");
    ServerAnswer::Note note;
    EXPECT_FALSE(ServerAnswer::note(&answer, note)) << "no data";
    answer.insert("data", QByteArray("d\0d", 3));
    ASSERT_TRUE(ServerAnswer::note(&answer, note));
    EXPECT_EQ(note.iVersion, 4);
    EXPECT_EQ(note.baData, QByteArray("d\0d", 3));
    EXPECT_FALSE(ServerAnswer::note(&list, note));
}

} // namespace
