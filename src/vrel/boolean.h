// Vrel::Boolean: a true-or-false typed value.
#pragma once

#include "vrel/object.h"

namespace Vrel {

// A truth value, fixed at construction.
class Boolean : public Object {
    Q_OBJECT
public:
    explicit Boolean(bool bInitial);
    ~Boolean() override;

    bool getValue() const { return bValue; }

private:
    bool bValue;
};

} // namespace Vrel
