// Vrel::Integer: a signed 64-bit typed value.
#include "vrel/integer.h"

namespace Vrel {

Integer::Integer(long long iInitial) : iValue(iInitial) {}

Integer::~Integer() = default;

} // namespace Vrel
