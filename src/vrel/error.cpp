// Vrel::Error and its kinds: the failures of reading and writing typed values.
#include "vrel/error.h"

namespace Vrel {

// Out of line, so that each class has one home for its type information.
Error::~Error() = default;
FormatError::~FormatError() = default;
DeviceError::~DeviceError() = default;
ValueError::~ValueError() = default;

} // namespace Vrel
