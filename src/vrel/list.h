// Vrel::List: a typed value holding an ordered list of owned values.
#pragma once

#include "vrel/object.h"

#include <QList>

namespace Vrel {

// An ordered list of values, which the list owns: its destructor deletes them.
// The inherited QList operations keep their Qt meaning and never delete
// anything: removeAt, clear, replace and the like merely drop the pointers
// (delete the values first, or use takeAt to keep them). Every element must be
// non-null to be written, and held in one place only (not twice in this or in
// another container), or it would be deleted twice.
class List : public Object, public QList<Object *> {
    Q_OBJECT
public:
    List();
    ~List() override;
};

} // namespace Vrel
