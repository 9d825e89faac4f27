// Test helpers: the text and code of an expected exception and a
// container's values in iteration order.
#pragma once

#include "ka/exception.h"
#include "ka/string.h"
#include "support/fragile.h"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace support {

// The message and code of the E that f throws; "(no exception)" and -1 when
// it throws none.
template <typename E = Ka::ExceptionBase, typename F>
std::pair<std::string, int> failureOf(F f) {
    try {
        f();
    } catch (const E &e) {
        return {e.what(), e.getErrorCode()};
    }
    return {"(no exception)", -1};
}

template <typename E = Ka::ExceptionBase, typename F>
std::string messageOf(F f) {
    return failureOf<E>(f).first;
}

// The values of a Ka container, read through its const iterators.
template <typename C>
auto valuesOf(const C &c) {
    std::vector<std::decay_t<decltype(*c.begin())>> out;
    for (auto it = c.begin(); it != c.end(); ++it)
        out.push_back(*it);
    return out;
}

// The same for a container of Ka::String, as standard strings.
template <typename C>
std::vector<std::string> textsOf(const C &c) {
    std::vector<std::string> out;
    for (auto it = c.begin(); it != c.end(); ++it)
        out.emplace_back((*it).getConstStr(), size_t((*it).getSize()));
    return out;
}

} // namespace support
