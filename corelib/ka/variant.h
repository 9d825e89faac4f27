// Ka::Variant: one value of any type behind a small polymorphic holder that
// can copy and format itself.
#pragma once

#include "ka/exception.h"
#include "ka/formatter.h"
#include "ka/string.h"

#include <type_traits>
#include <typeinfo>

namespace Ka {

// The holder of a variant's value.
class VariantTypeRoot {
public:
    VariantTypeRoot() = default;
    VariantTypeRoot(const VariantTypeRoot &) = delete;
    VariantTypeRoot &operator=(const VariantTypeRoot &) = delete;
    virtual ~VariantTypeRoot() = default;

    virtual const std::type_info &getType() const = 0;
    // A new holder with a copy of the value; the caller owns it.
    virtual VariantTypeRoot *clone() const = 0;
    // Writes the value with the formatter's << for its type.
    virtual void format(Formatter &f) const = 0;
};

// T must be copyable and writable with Formatter's <<.
template <typename T>
class VariantType : public VariantTypeRoot {
public:
    explicit VariantType(const T &v) : value(v) {}

    const std::type_info &getType() const override { return typeid(T); }
    VariantTypeRoot *clone() const override { return new VariantType(value); }
    void format(Formatter &f) const override { f << value; }

    T value;
};

// Owns its holder; copies clone it. Not thread-safe.
class Variant {
public:
    Variant() = default;
    Variant(const Variant &v) : pHolder(v.pHolder ? v.pHolder->clone() : nullptr) {}
    Variant(Variant &&v) noexcept : pHolder(v.pHolder) { v.pHolder = nullptr; }
    // Holds a copy of the value. C texts and arrays of char are held as a
    // Ka::String (the constructor below), never as a pointer.
    template <typename T>
    requires(!std::is_same_v<T, Variant> && !std::is_array_v<T> && !std::is_pointer_v<T>)
        Variant(const T &v)
        : pHolder(new VariantType<T>(v)) {}
    Variant(const char *s);
    virtual ~Variant() { delete pHolder; }

    // Clones before it lets go of its own holder, so that assigning a
    // variant to itself (or a failing copy) keeps the value intact.
    Variant &operator=(const Variant &v);
    Variant &operator=(Variant &&v) noexcept;
    Variant &operator=(const String &s);

    bool isSet() const { return pHolder != nullptr; }
    // Throws ExceptionBase "No data!" for an empty variant.
    const std::type_info &getType() const;

    // The held value. Throws ExceptionBase "No data!" for an empty variant
    // and "Invalid type conversion." when it holds another type.
    template <typename T>
    T &get() {
        return holderOf<T>()->value;
    }
    template <typename T>
    const T &get() const {
        return holderOf<T>()->value;
    }

    // A held Ka::String as it is; any other value as the formatter writes
    // it ("(null)" for an empty variant).
    String toString() const;

private:
    friend class Formatter;

    template <typename T>
    VariantType<std::remove_cv_t<T>> *holderOf() const {
        if (!pHolder)
            throwNoData();
        if (pHolder->getType() != typeid(T))
            throwInvalidConversion();
        return static_cast<VariantType<std::remove_cv_t<T>> *>(pHolder);
    }
    [[noreturn]] static void throwNoData();
    [[noreturn]] static void throwInvalidConversion();

    VariantTypeRoot *pHolder = nullptr;
};

} // namespace Ka
