// Vrel::String: a typed value holding a byte string.
#include "vrel/string.h"

#include <utility>

namespace Vrel {

String::String(const char *sValue) : QByteArray(sValue) {}

String::String(QByteArray baValue) : QByteArray(std::move(baValue)) {}

String::~String() = default;

} // namespace Vrel
