#pragma once

#include <QString>

namespace fields {

// Why a request cannot be built: the control whose text is unusable (its
// objectName, so the window can put the focus there) and what to tell the operator.
struct Refusal {
    QString field;
    QString text;
};

} // namespace fields
