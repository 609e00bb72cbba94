#include "unitreadpanel.h"

#include "unitframes.h"

#include <link/controllerlink.h>
#include <link/messages.h>
#include <ui/refuse.h>

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace zarnet {

UnitReadPanel::UnitReadPanel(QWidget* form, ControllerLink& link, Messages& messages)
    : QObject(form), form_(form), link_(link), messages_(messages) {
    connect(form->findChild<QPushButton*>(u"RsGetCommand"_s), &QPushButton::clicked, this,
            &UnitReadPanel::requestUnitData);
}

void UnitReadPanel::requestUnitData() {
    auto text = [this](const QString& name) { return form_->findChild<QLineEdit*>(name)->text(); };
    const auto read = readUnitRead(text(u"RsGetAddText_0"_s), text(u"RsGetAddText_1"_s));
    if (const auto* refusal = std::get_if<fields::Refusal>(&read)) {
        refuse(form_, messages_, *refusal);
        return;
    }
    const UnitRead request = std::get<UnitRead>(read);
    link_.sendExpectingReply(unitReadFrame(link_.device(), request),
                             unitReplyLength(request.count));
}

void UnitReadPanel::showValues(const QList<uint32_t>& values) {
    for (int i = 0; i < values.size() && i < UnitReadFields; ++i)
        form_->findChild<QLineEdit*>(u"RsGetValText_%1"_s.arg(i))
            ->setText(QString::number(values[i]));
}

} // namespace zarnet
