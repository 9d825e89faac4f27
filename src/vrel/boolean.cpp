// Vrel::Boolean: a true-or-false typed value.
#include "vrel/boolean.h"

namespace Vrel {

Boolean::Boolean(bool bInitial) : bValue(bInitial) {}

Boolean::~Boolean() = default;

} // namespace Vrel
