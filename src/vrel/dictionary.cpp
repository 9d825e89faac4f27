// Vrel::Dictionary: a typed value mapping byte-string keys to owned values.
#include "vrel/dictionary.h"

#include "vrel/boolean.h"
#include "vrel/integer.h"
#include "vrel/list.h"
#include "vrel/string.h"

#include <memory>

namespace Vrel {

Dictionary::Dictionary() = default;

Dictionary::~Dictionary() {
    qDeleteAll(*this);
}

void Dictionary::insert(const QByteArray &baKey, const char *sValue) {
    putOwned(baKey, new String(sValue));
}

void Dictionary::insert(const QByteArray &baKey, const QByteArray &baValue) {
    putOwned(baKey, new String(baValue));
}

void Dictionary::insert(const QByteArray &baKey, int iValue) {
    putOwned(baKey, new Integer(iValue));
}

qint64 Dictionary::valueInt(const QByteArray &baKey) const {
    const auto *pValue = dynamic_cast<const Integer *>(value(baKey));
    return pValue ? pValue->getValue() : 0;
}

QByteArray Dictionary::valueStr(const QByteArray &baKey) const {
    const auto *pValue = dynamic_cast<const String *>(value(baKey));
    return pValue ? QByteArray(*pValue) : QByteArray();
}

bool Dictionary::valueBool(const QByteArray &baKey) const {
    const auto *pValue = dynamic_cast<const Boolean *>(value(baKey));
    return pValue && pValue->getValue();
}

Dictionary *Dictionary::valueDict(const QByteArray &baKey) const {
    return dynamic_cast<Dictionary *>(value(baKey));
}

List *Dictionary::valueList(const QByteArray &baKey) const {
    return dynamic_cast<List *>(value(baKey));
}

// Takes ownership of pValue at once, so that it is not lost if the hash
// cannot grow.
void Dictionary::putOwned(const QByteArray &baKey, Object *pValue) {
    std::unique_ptr<Object> pNew(pValue);
    Object *&rSlot = (*this)[baKey];
    delete rSlot;
    rSlot = pNew.release();
}

} // namespace Vrel
