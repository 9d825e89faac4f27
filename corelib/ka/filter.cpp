// Ka::Filter: closing a filter stops it before the stream below is closed.
#include "ka/filter.h"

namespace Ka {

void Filter::close() {
    stop();
    rNext.close();
}

} // namespace Ka
