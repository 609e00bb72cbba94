#include "refuse.h"

#include <link/messages.h>

#include <QWidget>

namespace zarnet {

void refuse(QWidget* form, Messages& messages, const fields::Refusal& refusal) {
    messages.error(refusal.text);
    if (auto* field = form->findChild<QWidget*>(refusal.field))
        field->setFocus();
}

} // namespace zarnet
