// Vrel::Object: the common base of every typed value.
#include "vrel/object.h"

namespace Vrel {

Object::Object() = default;

Object::~Object() = default;

} // namespace Vrel
