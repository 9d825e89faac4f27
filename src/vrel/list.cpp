// Vrel::List: a typed value holding an ordered list of owned values.
#include "vrel/list.h"

namespace Vrel {

List::List() = default;

List::~List() {
    qDeleteAll(*this);
}

} // namespace Vrel
