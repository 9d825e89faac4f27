// Vrel::Error and its kinds: the failures of reading and writing typed values.
#pragma once

#include <stdexcept>

namespace Vrel {

// Base of everything the typed-value library throws; what() names the problem.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~Error() override;
};

// The bytes read are not a valid value: an unknown tag, data that ends inside
// a value, nesting too deep, a length or count above the limit, or a missing
// value inside a list or dictionary.
class FormatError : public Error {
public:
    using Error::Error;
    ~FormatError() override;
};

// The device failed: a read reported an error, or a write was refused or
// shortened.
class DeviceError : public Error {
public:
    using Error::Error;
    ~DeviceError() override;
};

// A value that the format cannot hold was given to the writer: a null or
// unknown kind of element, nesting too deep (a container inside itself
// included), or a length or count above the limit.
class ValueError : public Error {
public:
    using Error::Error;
    ~ValueError() override;
};

} // namespace Vrel
