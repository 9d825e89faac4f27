// Vrel::Dictionary: a typed value mapping byte-string keys to owned values.
#pragma once

#include "vrel/object.h"

#include <QByteArray>
#include <QHash>

namespace Vrel {

class List;

// A hash of byte-string keys to values, which the dictionary owns: its
// destructor deletes them.
//
// The inherited QHash operations keep their Qt meaning and never delete
// anything: insert of an Object* stores the pointer (take() a value it would
// replace first, or that value leaks), remove and clear drop the pointers
// (delete the values first, or take() them), take hands a value over to the
// caller. Every value must be non-null to be written, and held in one place
// only (not twice in this or in another container), or it would be deleted
// twice.
//
// The typed insert overloads make a new value and delete the one they replace,
// so a pointer to a replaced value is invalid afterwards.
//
// The getters never throw and never hand over ownership. A missing key and a
// value of another kind give the same neutral result: 0, an empty byte string,
// false or null. Callers that must tell "absent" from "zero" use contains() or
// value() with dynamic_cast.
class Dictionary : public Object, public QHash<QByteArray, Object *> {
    Q_OBJECT
public:
    Dictionary();
    ~Dictionary() override;

    using QHash<QByteArray, Object *>::insert;
    // A new String with the bytes up to the terminating zero (none for null).
    void insert(const QByteArray &baKey, const char *sValue);
    // A new String with all the bytes, zero bytes included.
    void insert(const QByteArray &baKey, const QByteArray &baValue);
    // A new Integer; use insert(key, new Integer(...)) for 64-bit values.
    void insert(const QByteArray &baKey, int iValue);
    // There is no Boolean shortcut; without this a bool would quietly become
    // an Integer. Use insert(key, new Boolean(...)).
    void insert(const QByteArray &baKey, bool bValue) = delete;

    // The Integer's value; 0 when the key is missing or holds another kind.
    qint64 valueInt(const QByteArray &baKey) const;
    // A copy of the String's bytes; empty when missing or another kind.
    QByteArray valueStr(const QByteArray &baKey) const;
    // The Boolean's value; false when missing or another kind.
    bool valueBool(const QByteArray &baKey) const;
    // The Dictionary or List under the key, still owned by this dictionary;
    // null when missing or another kind.
    Dictionary *valueDict(const QByteArray &baKey) const;
    List *valueList(const QByteArray &baKey) const;

private:
    void putOwned(const QByteArray &baKey, Object *pValue);
};

} // namespace Vrel
