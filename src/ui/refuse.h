#pragma once

#include <core/refusal.h>

#include <QString>

class QWidget;

namespace zarnet {

class Messages;

// Tells the operator why nothing was sent and puts the focus on the field at fault.
void refuse(QWidget* field, Messages& messages, const fields::Refusal& refusal);

// The same for a field whose leaving rule could not use its text: called while
// the focus leaves it. A click that took the focus away is dropped, so the
// request behind it is not sent, and the focus comes back to the field.
void refuseLeaving(QWidget* field, Messages& messages, const QString& text);

} // namespace zarnet
