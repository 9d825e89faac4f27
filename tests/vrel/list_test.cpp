// Vrel::List: it deletes the elements it holds, and only those.
#include "vrel/vrel.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <memory>

namespace {

TEST(ListOwnership, DestructorDeletesElementsNotTakenOnes) {
    auto *pList = new Vrel::List;
    auto *pInner = new Vrel::Dictionary;
    pInner->insert("x", 1);
    pList->append(pInner);
    pList->append(new Vrel::Integer(2));
    QPointer<Vrel::Object> watchInner(pInner);
    std::unique_ptr<Vrel::Object> pTaken(pList->takeAt(1));
    QPointer<Vrel::Object> watchTaken(pTaken.get());
    delete pList;
    EXPECT_TRUE(watchInner.isNull());
    EXPECT_FALSE(watchTaken.isNull());
}

} // namespace
