// Vrel::Object: the common base of every typed value.
#pragma once

#include <QObject>

namespace Vrel {

// Base of the typed values: Dictionary, List, String, Integer and Boolean.
// Callers tell the kinds apart with dynamic_cast. Values cannot be copied.
//
// Ownership: a Dictionary or List owns the values inside it and deletes them
// with itself; a value that stands alone belongs to whoever made it (or to the
// caller of VrelStream::readObject). Never give a value a QObject parent: the
// parent would delete it a second time.
//
// Thread safety: none. One thread at a time may use a value and everything
// inside it.
class Object : public QObject {
    Q_OBJECT
public:
    ~Object() override;

protected:
    // Only the concrete kinds exist; the writer refuses anything else.
    Object();
};

} // namespace Vrel
