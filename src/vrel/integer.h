// Vrel::Integer: a signed 64-bit typed value.
#pragma once

#include "vrel/object.h"

namespace Vrel {

// A signed 64-bit number. Unlike the other scalar kinds its value can be
// changed in place, so that a holder of a pointer into a dictionary can update
// the entry without replacing it.
class Integer : public Object {
    Q_OBJECT
public:
    explicit Integer(long long iInitial);
    ~Integer() override;

    qint64 getValue() const { return iValue; }
    void setValue(qint64 iNewValue) { iValue = iNewValue; }

private:
    qint64 iValue;
};

} // namespace Vrel
