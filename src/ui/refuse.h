#pragma once

#include <fields/refusal.h>

class QWidget;

namespace zarnet {

class Messages;

// Tells the operator why nothing was sent and puts the focus on the field at fault.
void refuse(QWidget* form, Messages& messages, const fields::Refusal& refusal);

} // namespace zarnet
