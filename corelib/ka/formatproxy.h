// Ka::String::FormatProxy: numbered-argument formatting ("%1", "%2", ...)
// of a format string, started by Ka::String::arg.
#pragma once

#include "ka/formatspec.h"
#include "ka/list.h"
#include "ka/string.h"
#include "ka/variant.h"

namespace Ka {

// Collects copies of the arguments; turning the proxy into a Ka::String
// fills them in. In the format string:
//   - "%%" is one '%';
//   - '%' and a run of decimal digits is the argument with that number
//     (1 is the first added), written as the formatter writes its type; the
//     byte that ends the digit run is written as it stands and skipped, so
//     "%1%2" gives the first argument, then "%2";
//   - every other byte is copied.
// A number outside 1 to the argument count (an empty run counts as 0, a run
// too long for an int as the largest int) throws ExceptionBase "Argument
// index %d is outside of valid range (1-%d)."; a format string ending in '%'
// throws ExceptionBase "Not a valid const_iterator.". Arguments may be used
// several times or not at all.
//
// The proxy holds its own (shared, copy-on-write) copy of the format string
// and of every argument, so it stays valid when they are temporaries.
class String::FormatProxy {
public:
    // One argument and the format it is written with.
    struct Arg {
        Variant value;
        FormatSpec format;
    };

    explicit FormatProxy(const String &sFormat) : sFormat(sFormat) {}
    FormatProxy(const FormatProxy &) = default;
    // Leaves the source without arguments, so that the list is not shared
    // and the next argument added needs no copy of the others.
    FormatProxy(FormatProxy &&o) : sFormat(o.sFormat), lArgs(o.lArgs) { o.lArgs.clear(); }
    FormatProxy &operator=(const FormatProxy &) = default;
    virtual ~FormatProxy() = default;

    // Adds one argument, written with the default format.
    template <typename T>
    FormatProxy &arg(const T &value) & {
        lArgs.append(Arg{Variant(value), FormatSpec()});
        return *this;
    }
    // On a temporary proxy the result is a proxy of its own, so that
    // `auto &&p = s.arg(1).arg(2);` does not refer to a dead temporary.
    template <typename T>
    FormatProxy arg(const T &value) && {
        lArgs.append(Arg{Variant(value), FormatSpec()});
        return static_cast<FormatProxy &&>(*this);
    }

    // The filled-in text; throws as described above.
    operator String() const;

private:
    String sFormat;
    List<Arg> lArgs;
};

template <typename T>
String::FormatProxy String::arg(const T &value) const {
    FormatProxy proxy(*this);
    proxy.arg(value);
    return proxy;
}

} // namespace Ka
