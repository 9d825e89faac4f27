// Vrel::Dictionary: the typed inserts, the getters' results for every case, and ownership.
#include "vrel/vrel.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <memory>

namespace {

TEST(DictionaryInsert, MakesTheRightKinds) {
    Vrel::Dictionary dict;
    dict.insert("c", "abc");
    dict.insert("z", QByteArray("a\0b", 3));
    dict.insert("n", static_cast<const char *>(nullptr));
    dict.insert("i", -5);
    dict.insert("o", new Vrel::Boolean(true));

    auto *pC = dynamic_cast<Vrel::String *>(dict.value("c"));
    ASSERT_NE(nullptr, pC);
    EXPECT_EQ("abc", *pC);
    EXPECT_EQ(QByteArray("a\0b", 3), dict.valueStr("z"));
    ASSERT_NE(nullptr, dynamic_cast<Vrel::String *>(dict.value("n")));
    EXPECT_TRUE(dict.valueStr("n").isEmpty());
    ASSERT_NE(nullptr, dynamic_cast<Vrel::Integer *>(dict.value("i")));
    EXPECT_EQ(-5, dict.valueInt("i"));
    EXPECT_TRUE(dict.valueBool("o"));
    EXPECT_EQ(5, dict.size());
}

TEST(DictionaryGetters, NeutralForMissingKeysAndOtherKinds) {
    Vrel::Dictionary dict;
    dict.insert("s", "text");
    dict.insert("i", 7);
    dict.insert("big", new Vrel::Integer(1LL << 40));
    auto *pInner = new Vrel::Dictionary;
    auto *pList = new Vrel::List;
    dict.insert("d", pInner);
    dict.insert("l", pList);

    EXPECT_EQ(1LL << 40, dict.valueInt("big"));
    EXPECT_EQ(pInner, dict.valueDict("d"));
    EXPECT_EQ(pList, dict.valueList("l"));
    for (const char *sKey : {"missing", "s", "d"})
        EXPECT_EQ(0, dict.valueInt(sKey)) << sKey;
    for (const char *sKey : {"missing", "i", "l"})
        EXPECT_TRUE(dict.valueStr(sKey).isEmpty()) << sKey;
    for (const char *sKey : {"missing", "i", "s"})
        EXPECT_FALSE(dict.valueBool(sKey)) << sKey;
    EXPECT_EQ(nullptr, dict.valueDict("l"));
    EXPECT_EQ(nullptr, dict.valueDict("missing"));
    EXPECT_EQ(nullptr, dict.valueList("d"));
    EXPECT_EQ(nullptr, dict.valueList("missing"));
    EXPECT_FALSE(dict.contains("missing"));
}

TEST(DictionaryOwnership, TypedInsertDeletesTheReplacedValue) {
    Vrel::Dictionary dict;
    dict.insert("k", "first");
    QPointer<Vrel::Object> pFirst = dict.value("k");
    dict.insert("k", 2);
    EXPECT_TRUE(pFirst.isNull());
    EXPECT_EQ(2, dict.valueInt("k"));
    EXPECT_EQ(1, dict.size());
}

TEST(DictionaryOwnership, DestructorDeletesEverythingInside) {
    auto *pDict = new Vrel::Dictionary;
    auto *pList = new Vrel::List;
    auto *pDeep = new Vrel::String("deep");
    pList->append(pDeep);
    pDict->insert("l", pList);
    QPointer<Vrel::Object> watchList(pList), watchDeep(pDeep);
    delete pDict;
    EXPECT_TRUE(watchList.isNull());
    EXPECT_TRUE(watchDeep.isNull());
}

// The header writer updates "remoteVersion" through the pointer it holds.
TEST(DictionaryOwnership, IntegerChangedInPlace) {
    Vrel::Dictionary dict;
    dict.insert("remoteVersion", 3);
    static_cast<Vrel::Integer *>(dict.value("remoteVersion"))->setValue(1LL << 33);
    EXPECT_EQ(1LL << 33, dict.valueInt("remoteVersion"));
}

// The store deletes a header value itself before removing its entry; the
// inherited operations must leave that to it.
TEST(DictionaryOwnership, InheritedOperationsDoNotDelete) {
    Vrel::Dictionary dict;
    dict.insert("k", "v");
    Vrel::Object *pValue = dict.value("k");
    QPointer<Vrel::Object> watch(pValue);
    dict.remove("k");
    EXPECT_FALSE(watch.isNull());
    delete pValue;

    dict.insert("t", 1);
    std::unique_ptr<Vrel::Object> pTaken(dict.take("t"));
    EXPECT_TRUE(dict.isEmpty());
    EXPECT_NE(nullptr, dynamic_cast<Vrel::Integer *>(pTaken.get()));
}

} // namespace
