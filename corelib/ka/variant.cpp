// Ka::Variant: copying, type checks and the text form.
#include "ka/variant.h"

#include "ka/membuf.h"

namespace Ka {

Variant::Variant(const char *s) : pHolder(new VariantType<String>(String(s))) {}

Variant &Variant::operator=(const Variant &v) {
    VariantTypeRoot *pNew = v.pHolder ? v.pHolder->clone() : nullptr;
    delete pHolder;
    pHolder = pNew;
    return *this;
}

Variant &Variant::operator=(Variant &&v) noexcept {
    if (this != &v) {
        delete pHolder;
        pHolder = v.pHolder;
        v.pHolder = nullptr;
    }
    return *this;
}

Variant &Variant::operator=(const String &s) {
    return *this = Variant(s);
}

const std::type_info &Variant::getType() const {
    if (!pHolder)
        throwNoData();
    return pHolder->getType();
}

String Variant::toString() const {
    if (pHolder && pHolder->getType() == typeid(String))
        return get<String>();
    MemBuf mbText;
    Formatter f(mbText);
    f << *this;
    return mbText.getString();
}

void Variant::throwNoData() {
    throw ExceptionBase("No data!");
}

void Variant::throwInvalidConversion() {
    throw ExceptionBase("Invalid type conversion.");
}

Formatter &Formatter::operator<<(const Variant &v) {
    if (v.pHolder)
        v.pHolder->format(*this);
    else
        writeAligned("(null)", 6);
    return *this;
}

} // namespace Ka
